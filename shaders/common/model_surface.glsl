// What the lit vertex stages (models, 3D sprites) hand to their fragment stage: the
// world-space position and normal for lighting and the two texture
// coordinate sets, already shifted by the material's animation offsets.
#ifndef VEXA_MODEL_SURFACE_GLSL
#define VEXA_MODEL_SURFACE_GLSL

varying vec3 v_world_position;
varying vec3 v_world_normal;
varying vec2 v_texcoord0;
varying vec2 v_texcoord1;

#endif
