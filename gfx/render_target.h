// Off-screen render targets: owns the bound-framebuffer cache through which
// every framebuffer bind goes, the window-sized SCREEN_TARGETS (three colour
// textures, a framebuffer with a depth renderbuffer, the screen quad) and the
// framebuffer + depth renderbuffer + colour texture pattern other targets
// reuse. Relies on gfx/handle_table.h and gfx/vertex_buffer.h.
#pragma once

#include "gfx/gl.h"
#include "gfx/handle_table.h"
#include "gfx/vertex_buffer.h"

#include <cstdint>

// One framebuffer object with a depth renderbuffer and a colour texture.
struct RENDER_TARGET {
    GLuint framebuffer = 0;
    GLuint depth_buffer = 0;
    uint32_t colour_texture = NO_SLOT; // texture_table slot
    GLenum status = 0; // completeness as GL reported it; 0 when it could not be asked
};

struct SCREEN_TARGETS {
    uint32_t colour_texture = NO_SLOT; // colour attachment 0 of framebuffer
    uint32_t second_texture = NO_SLOT; // spare full-screen targets, same parameters
    uint32_t third_texture = NO_SLOT;
    GLuint framebuffer = 0;
    GLuint depth_buffer = 0;
    GLenum status = 0;
    VERTEXBUFFER quad_vertices; // covers the window in 2D-pass pixel coordinates
    INDEXBUFFER quad_indices;
};

extern SCREEN_TARGETS screen_targets;
// GL name last bound through framebuffer_bind / framebuffer_unbind; -1 at
// start-up so the first request always reaches GL.
extern int32_t bound_framebuffer;

// Restores the cache to -1 and screen_targets to empty. The quad's slots and
// the GL objects are forgotten, not released: call handle_tables_reset too.
void render_targets_reset();

// After a framebuffer bind behind the cache's back: the cache becomes -1,
// so the next bind or unbind reaches GL. No GL call.
void framebuffer_cache_forget();

void framebuffer_bind(GLuint name);
void framebuffer_unbind();

// Completeness of the bound framebuffer. Asks the core entry point, or the
// EXT one when the driver lacks ARB_framebuffer_object; 0 when neither exists.
GLenum framebuffer_check_status();

// A colour texture for a render target: nearest filtering (the minification
// filter names mipmaps that are never made), clamped, RGBA storage of the
// given size unless either side is <= 0. Bound on unit 0. Returns its slot.
uint32_t render_target_texture_create(int width, int height);

// A colour texture that is sampled: linear filters (no mipmaps), clamped,
// RGBA storage of the given size. Bound on unit 0. Returns its slot.
uint32_t sampled_target_texture_create(int width, int height);
// Makes a render target's colour texture, made with nearest filters that
// name mipmaps it never has (GL then samples it as black), samplable: linear
// minification and magnification. Binds it on unit 0.
void render_target_texture_make_sampled(uint32_t slot);

// The render-target pattern in two halves so the colour texture may be made
// before or after the framebuffer. begin: generates and binds the framebuffer
// and attaches a new depth renderbuffer of the given size (left bound).
// finish: attaches colour_slot as colour attachment 0, records the status and
// unbinds the framebuffer.
void render_target_begin(RENDER_TARGET& target, int width, int height);
void render_target_finish(RENDER_TARGET& target, uint32_t colour_slot);

// A whole target: framebuffer and depth renderbuffer first, then its colour
// texture (the scene's render-to-texture target is made this way).
RENDER_TARGET render_target_create(int width, int height);

// A whole target whose colour texture is sampled (sampled_target_texture_create).
RENDER_TARGET sampled_render_target_create(int width, int height);
// Deletes the framebuffer, the depth renderbuffer and the colour texture
// (GL calls only while a context exists) and leaves target empty; the
// framebuffer cache forgets the name when it held it.
void render_target_destroy(RENDER_TARGET& target);

// Start-up: three window-sized textures, the framebuffer with its depth
// renderbuffer and the first texture attached, and the screen quad.
void create_screen_targets(int width, int height);

// Writes the screen quad's four vertices (position and texture coordinate 0;
// z = 0, w = 1) and uploads them: vertex 0 (xa, ya | ua, va), 1 (xa, yb | ua,
// vb), 2 (xb, yb | ub, vb), 3 (xb, ya | ub, va). Before create_screen_targets
// it is a caller error (assert in debug builds, no-op in release).
void write_quad_vertices(float xa, float ya, float xb, float yb, float ua, float va, float ub,
                         float vb);
