// Render textures: RENDER_TEXTURE, an off-screen target of any size whose
// colour result is an ordinary TEXTURE (linear filtering) that sprites and
// materials show, drawn into between begin_render_texture and
// end_render_texture; and the TEXTURE of a scene's own 4096 x 4096 target.
// Owns the render texture being drawn into; relies on gfx/render_target.h
// for framebuffers, the render-state cache and the camera's 2D pass size.
#pragma once

#include "gfx/render_target.h"

#include <cstdint>

struct SCENE;
struct TEXTURE;

struct RENDER_TEXTURE {
    RENDER_TARGET target; // framebuffer, depth renderbuffer and colour texture
    TEXTURE* texture;     // the colour result; borrowed by whatever shows it
    int32_t width;
    int32_t height;
    float clear_colour[4]; // what begin_render_texture clears to; opaque black at first
};

// A width x height render texture. Null, with one line on stderr, when a
// side is not positive or GL cannot draw into such a target.
RENDER_TEXTURE* create_render_texture(int width, int height);

// Everything drawn until end_render_texture goes into target: the frame
// buffer is bound and cleared, render_scene draws with the target's size as
// its viewport and the 2D pass maps window pixels onto the target. False
// when target is null or another is already open; one line on stderr says
// so the first time for each.
bool begin_render_texture(RENDER_TEXTURE* target);
// Back to the window: its viewport and 2D pass size. Nothing when no render
// texture is open.
void end_render_texture();

// Deletes the GL objects, the TEXTURE and the record. Sprites and materials
// that show its texture must not be drawn afterwards (destroying them is
// fine). Null: nothing.
void destroy_render_texture(RENDER_TEXTURE* target);

// The render texture being drawn into, or null.
extern RENDER_TEXTURE* open_render_texture;

// The scene's own target (drawn by the one-shot render_to_texture request)
// as a TEXTURE sprites and materials can show: made on the first call, then
// the same one. Its filters become linear so it can be sampled.
TEXTURE* scene_target_texture(SCENE* scene);
