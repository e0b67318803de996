// Camera-facing 3D sprite: the material's textures lit by the scene's
// ambient colour and lights, plus emission, with the material's transparency.
#include <common/material.glsl>
#include <common/lighting.glsl>
#include <common/model_surface.glsl>
#include <common/lit_surface.glsl>

void main() { gl_FragColor = lit_surface(); }
