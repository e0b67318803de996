// Sprites and drawable images: DRAWABLE_IMAGE_BASE (a textured quad kept as a
// one-mesh MODEL that owns its picture), SPRITE_BASE, SPRITE2D (drawn in the
// 2D pass in window pixels) and SHARED_QUAD. Owns the global `shared_quad`
// made at start-up; relies on scene/model.h, scene/texture.h, the buffer
// caches and the program set (program_sprite3d, program_sprites2d).
#pragma once

#include "gfx/vertex_buffer.h"
#include "scene/actor.h"
#include "scene/model.h"
#include "scene/texture.h"

#include <cstdint>

struct SCENE;

// The quad's vertices: 0 (-w/2, -h/2), 1 (-w/2, +h/2), 2 (+w/2, +h/2),
// 3 (+w/2, -h/2), with the indices 0 1 2 0 2 3. Its one material draws with
// program_sprite3d, no culling, depth test without writes, transparent, and
// has one TEXTURE that gets its GL texture from create_image.
struct DRAWABLE_IMAGE_BASE {
    bool geometry_changed = true;
    bool flip_horizontal = false;
    bool flip_vertical = false;
    MODEL model;

    DRAWABLE_IMAGE_BASE();
    DRAWABLE_IMAGE_BASE(const DRAWABLE_IMAGE_BASE&) = delete;
    DRAWABLE_IMAGE_BASE& operator=(const DRAWABLE_IMAGE_BASE&) = delete;
    virtual ~DRAWABLE_IMAGE_BASE(); // destroy_model
};

struct SPRITE_BASE : DRAWABLE_IMAGE_BASE, DRAWABLE_OBJECT {
    SPRITE_BASE() = default;
    ~SPRITE_BASE() override = default;
};

// Drawn with position x and y (truncated toward zero), scale x and y and the
// hidden flag of its ACTOR part; z and rotation are not used.
struct SPRITE2D : ACTOR, SPRITE_BASE {
    explicit SPRITE2D(SCENE* scene);
    ~SPRITE2D() override; // hides itself first; does not unlink itself
};

// A separate 16 x 16 white textured quad made at start-up; nothing draws it.
struct SHARED_QUAD {
    bool flag_a = false;
    bool flag_b = true;
    float values[4] = {1, 0, 0, 1};
    VERTEXBUFFER vertices; // reserved with dynamic usage, never written
    INDEXBUFFER indices;   // 0 1 2 0 2 3
    int32_t texture_slot = -1;

    SHARED_QUAD();
    SHARED_QUAD(const SHARED_QUAD&) = delete;
    SHARED_QUAD& operator=(const SHARED_QUAD&) = delete;
    ~SHARED_QUAD(); // releases its texture
};

extern SHARED_QUAD* shared_quad;

// The image's texture (its first material's first texture), or null.
TEXTURE* drawable_image_texture(DRAWABLE_IMAGE_BASE* image);

// Shows texture on the sprite (any drawable image) in place of its own
// picture, which is released; the sprite is drawn at the texture's size.
// The texture stays the caller's (see material_set_texture).
void sprite_set_texture(DRAWABLE_IMAGE_BASE* sprite, TEXTURE* texture);

// Positions of a w x h quad centred on the origin (and the fixed normal
// slots), then set_texture_rect(0, 1, 1, 0).
void set_quad_size(DRAWABLE_IMAGE_BASE* image, float w, float h);
// u of the left edge a, v of vertices 0 and 3 b, u of the right edge c, v of
// vertices 1 and 2 d; the flips exchange a with c and b with d. Uploads.
void set_texture_rect(DRAWABLE_IMAGE_BASE* image, float a, float b, float c, float d);

// Draws the top-left src_w x src_h pixels of the image's picture as a
// rectangle at (x, y) in window pixels, scaled; a flip grows it to the left
// (or upwards) and mirrors it. Runs inside the 2D pass; applies no material
// state. An image without a picture draws nothing. tint (red, green, blue,
// alpha) multiplies the picture; null is white.
void draw_sprite_2d(DRAWABLE_IMAGE_BASE* image, int x, int y, float scale_x, float scale_y,
                    int src_w, int src_h, const float* tint = nullptr);

// The layer walk's step for one SPRITE2D: nothing when hidden, otherwise
// draw_sprite_2d with its position truncated toward zero, its scale, its
// whole picture and its tint (`colour`).
void draw_sprite2d_actor(SPRITE2D* sprite);

// Draws a layer's list of 2D sprites (linked through ACTOR::next) in order.
// With fewer than two shown, each goes through draw_sprite2d_actor. Otherwise
// the quads are written into one stream buffer and every run of neighbours
// showing the same texture is one draw: the same picture as sprite by sprite
// (same vertices, order and texture binds) with a draw per run instead of
// per sprite, and no sprite's own buffer touched.
void draw_sprite2d_list(SPRITE2D* first);

// Start-of-process state for tests: the batch buffers forgotten (their slots
// are not released; the handle tables are reset separately).
void sprite_batch_reset();
