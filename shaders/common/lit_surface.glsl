// The lit surface of the 3D sprite and model fragment stages: the material's
// own colour times its textures, the scene's ambient colour and lights,
// specular and emission, at the material's transparency. The includer declares the varyings
// v_world_position, v_world_normal, v_texcoord0 and v_texcoord1 first.
#ifndef VEXA_LIT_SURFACE_GLSL
#define VEXA_LIT_SURFACE_GLSL

uniform sampler2D shader_texture_ids[NUMERO_MAXIMO_TEXTURAS_POR_MATERIAL];
uniform vec3 posicion_camara_world;
// 1 - the material's colour: the starting 0 is white, so a program that is
// only shown white materials is sent nothing.
uniform vec4 colour_complement;

vec4 lit_surface() {
    vec4 surface = vec4(1.0) - colour_complement;
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
    // The camera sends its stored position (x, y, z); its view translates by
    // (-x, -y, +z), so the eye stands at world (x, y, -z).
    vec3 eye = vec3(posicion_camara_world.xy, -posicion_camara_world.z);
    vec3 eye_offset = eye - v_world_position;
    float eye_distance = length(eye_offset);
    vec3 to_eye = eye_distance > 0.0 ? eye_offset / eye_distance : n;

    LIGHTING light = evaluate_lights(v_world_position, n, to_eye);
    vec3 colour = surface.rgb * (g_LightModel.ambient + light.diffuse) +
                  g_DatosMaterial.specular * light.specular + g_DatosMaterial.emission;
    return vec4(colour, surface.a * g_DatosMaterial.transparency);
}

#endif
