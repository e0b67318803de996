// The part every lit vertex stage shares (models and 3D sprites): from an
// object-space position and normal to clip space and the world-space surface
// the fragment stage lights. The skinned stage calls it with the deformed vertex.
#ifndef VEXA_MODEL_VERTEX_GLSL
#define VEXA_MODEL_VERTEX_GLSL

#include <common/material.glsl>
#include <common/model_surface.glsl>

uniform mat4 ModelViewProjectionMatrix;
uniform mat4 WorldMatrix;
uniform mat4 NormalMatrix;
// Per coordinate set, 1.0 while its texture's rows run bottom-up (a render
// texture): v is mirrored so that picture shows upright too.
uniform vec2 texture_rows_bottom_up;

void emit_model_vertex(vec4 position, vec3 normal) {
    v_world_position = (WorldMatrix * position).xyz;
    v_world_normal = (NormalMatrix * vec4(normal, 0.0)).xyz;
    v_texcoord0 = gl_MultiTexCoord0.xy;
    v_texcoord1 = gl_MultiTexCoord1.xy;
#if ANIMACION_DE_TEXTURA_ACTIVA
    v_texcoord0 += g_DatosMaterial.offset_animacion0;
    v_texcoord1 += g_DatosMaterial.offset_animacion1;
#endif
    v_texcoord0.y = mix(v_texcoord0.y, 1.0 - v_texcoord0.y, texture_rows_bottom_up.x);
    v_texcoord1.y = mix(v_texcoord1.y, 1.0 - v_texcoord1.y, texture_rows_bottom_up.y);
    gl_Position = ModelViewProjectionMatrix * position;
}

#endif
