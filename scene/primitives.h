// Primitive models with normals and texture coordinates: cube, plane,
// sphere and cylinder, centred on the origin, each one MODEL with one MESH
// and a default MATERIAL (material_set_texture gives it a picture). Texture
// coordinate v = 0 is the picture's top row, as pictures load. Owns no
// globals; relies on build_model and build_mesh (scene/builders.h).
#pragma once

#include <cstdint>

struct MODEL;

// A box of the given sides along x, y and z; each face shows the whole picture.
MODEL* build_cube(float width, float height, float length);
// A flat rectangle in the x-z plane facing +y (width along x, length along z).
MODEL* build_plane(float width, float length);
// A sphere of rings bands from pole to pole and slices around y (at least 3
// of each; fewer are raised to 3). The picture wraps once around.
MODEL* build_sphere(float radius, int32_t rings, int32_t slices);
// A capped cylinder along y, from -height/2 to +height/2, with slices sides
// (at least 3). The picture wraps once around the side; each cap shows it.
MODEL* build_cylinder(float radius, float height, int32_t slices);
