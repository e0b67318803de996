// Camera-facing 3D sprite: the material's textures lit by the scene's
// ambient colour and lights, plus emission, with the material's transparency.
#include <common/material.glsl>
#include <common/lighting.glsl>

varying vec3 v_world_position;
varying vec3 v_world_normal;
varying vec2 v_texcoord0;
varying vec2 v_texcoord1;

#include <common/lit_surface.glsl>

void main() { gl_FragColor = lit_surface(); }
