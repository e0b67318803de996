// The demonstration's entry points, called by the runtime through its
// application description: set-up once after the engine set-up, and the
// frame once per running loop pass.
#pragma once

#include <cstdint>

#include "app/application.h"
#include "demo/fractal.h"

bool demo_setup();
void demo_frame();
// The demonstration as an application: the default window and shader
// directory, demo_setup and demo_frame as its callbacks.
APPLICATION demo_application();
// Back to the start-of-process state: no sprite, the shared quad released,
// the fast path, the fractal state zero. The sprite belongs to the layer it
// was added to and is left to its owner.
void demo_reset();

// The sprite's picture as last computed (width x height RGBA texels, row 0
// first), or null when there is none.
const uint32_t* demo_picture(int* width, int* height);

struct TEXTURE;
// The sprite's texture (picture and GL texture slot), or null when there is no sprite.
TEXTURE* demo_texture();

// Chooses how the picture is computed (the fast path on all threads by
// default; the scalar reference gives the same bytes).
void demo_use_path(FRACTAL_PATH path);
