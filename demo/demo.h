// The demonstration's entry points, called by the runtime through its
// application description: set-up once after the engine set-up, and the
// frame once per running loop pass.
#pragma once

#include <cstdint>

#include "app/application.h"
#include "demo/fractal.h"

bool demo_setup();
void demo_frame();
// The demonstration as an application: the default window, the shader
// directory ./shaders (or, without it, the installed one beside the
// executable: app/shader_location.h), demo_setup and demo_frame as its
// callbacks.
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

// Off: frames leave the picture as it is and do everything else as usual
// (state advance, texture marked dirty and re-uploaded, sprite drawn), so
// the picture's share of a frame can be measured. On by default.
void demo_compute_picture(bool on);

// How the frames since set-up got their pictures: copied from the one
// computed in the background, and of those, how many found it unfinished
// and had to wait (helping the workers with the rows left); or computed on
// the spot (first frame, changed state or path).
struct DEMO_PICTURE_STATS {
    uint64_t from_background = 0;
    uint64_t waited = 0;
    uint64_t on_the_spot = 0;
};
DEMO_PICTURE_STATS demo_picture_stats();
