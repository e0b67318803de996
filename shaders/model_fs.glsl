// Model meshes, static or skinned: the material's textures lit by the
// scene's ambient colour and lights, plus emission, with the material's
// transparency as alpha.
#include <common/material.glsl>
#include <common/lighting.glsl>
#include <common/model_surface.glsl>

uniform sampler2D shader_texture_ids[NUMERO_MAXIMO_TEXTURAS_POR_MATERIAL];
uniform vec3 posicion_camara_world;

void main() {
    vec4 surface = vec4(1.0);
#ifdef ACTIVAR_TEXTURA
    if (g_DatosMaterial.numTextures > 0) {
        surface *= texture2D(shader_texture_ids[0], v_texcoord0);
    }
    if (g_DatosMaterial.numTextures > 1) {
        surface *= texture2D(shader_texture_ids[1], v_texcoord1);
    }
#endif
    // A degenerate normal would make every light term undefined.
    float normal_length = length(v_world_normal);
    vec3 n = normal_length > 0.0 ? v_world_normal / normal_length : vec3(0.0, 0.0, 1.0);
    vec3 eye_offset = posicion_camara_world - v_world_position;
    float eye_distance = length(eye_offset);
    vec3 to_eye = eye_distance > 0.0 ? eye_offset / eye_distance : n;

    LIGHTING light = evaluate_lights(v_world_position, n, to_eye);
    vec3 colour = surface.rgb * (g_LightModel.ambient + light.diffuse) +
                  g_DatosMaterial.specular * light.specular + g_DatosMaterial.emission;
    gl_FragColor = vec4(colour, surface.a * g_DatosMaterial.transparency);
}
