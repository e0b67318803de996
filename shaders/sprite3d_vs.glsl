// Camera-facing 3D sprite: world-space position and normal for lighting and
// the two texture coordinate sets shifted by the material's animation offsets.
#include <common/material.glsl>

uniform mat4 ModelViewProjectionMatrix;
uniform mat4 WorldMatrix;
uniform mat4 NormalMatrix;

varying vec3 v_world_position;
varying vec3 v_world_normal;
varying vec2 v_texcoord0;
varying vec2 v_texcoord1;

void main() {
    v_world_position = (WorldMatrix * gl_Vertex).xyz;
    v_world_normal = (NormalMatrix * vec4(gl_Normal, 0.0)).xyz;
    v_texcoord0 = gl_MultiTexCoord0.xy;
    v_texcoord1 = gl_MultiTexCoord1.xy;
#if ANIMACION_DE_TEXTURA_ACTIVA
    v_texcoord0 += g_DatosMaterial.offset_animacion0;
    v_texcoord1 += g_DatosMaterial.offset_animacion1;
#endif
    gl_Position = ModelViewProjectionMatrix * gl_Vertex;
}
