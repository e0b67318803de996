// Draw properties, textures and images: DRAW_PROPERTIES (the draw modes that
// begin every material, draw entry and drawable object), TEXTURE (a texture
// table slot plus a dirty flag) and IMAGE (the picture in main memory the
// TEXTURE owns). Owns the count of live TEXTUREs; relies on
// gfx/handle_table.h for GL textures and their per-unit bind cache.
#pragma once

#include <cstdint>

struct SCENE;

// In a mode handed down as an override: no override, the next level's own
// mode applies.
constexpr int32_t INHERIT = 256;

// Picture byte orders of IMAGE::pixel_order.
enum : int32_t {
    PIXEL_ORDER_RGBA = 0,
    PIXEL_ORDER_BGRA = 1,
};

struct DRAW_PROPERTIES {
    int32_t cull_mode = 1;          // CULL_BACK or CULL_NONE
    int32_t depth_mode = 3;         // bit 0: depth test, bit 1: depth writes
    int32_t blend_mode = 0;         // 0 none/automatic, BLEND_ADDITIVE, BLEND_ALPHA
    bool transparent = false;       // belongs in the transparent draw list
    float alpha = 1.0f;             // opacity factor
    float colour[4] = {1, 1, 1, 1}; // tint (red, green, blue, alpha); 2D sprites apply it
};

struct DRAWABLE_OBJECT : DRAW_PROPERTIES {
    SCENE* scene = nullptr; // the scene that created the object; not owned
};

// Rows from top to bottom, 4 bytes per pixel. Owns its pixels.
struct IMAGE {
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0; // bytes per row
    int32_t texture_width = 0;
    int32_t texture_height = 0;
    int32_t bits_per_pixel = 0;
    uint8_t* pixels = nullptr; // stride x height bytes; null when the picture is empty
    int32_t byte_size = 0;
    int32_t pixel_order = PIXEL_ORDER_RGBA;

    IMAGE() = default;
    IMAGE(const IMAGE&) = delete;
    IMAGE& operator=(const IMAGE&) = delete;
    ~IMAGE();
};

// The owner writes the IMAGE's pixels and sets dirty; the next bind uploads
// the whole picture. Owns its IMAGE; its GL texture is released by the
// material that owns it (release_material_textures), not by the destructor.
struct TEXTURE {
    int32_t words[4] = {0, 0, 0, 0}; // zeroed, read by nothing
    int32_t borrowed = 0;            // nonzero: a material listing it does not own it
    int32_t spare = 0;               // zeroed, read by nothing
    IMAGE* image;                    // owned, never null
    int32_t slot = -1;               // texture table slot; -1: no GL texture yet
    bool spare_flag = false;         // zeroed, read by nothing
    bool dirty = false;              // the picture must be uploaded at the next bind
    // Rows run from the bottom up (a render target's picture, as GL draws
    // it): 2D sprites flip it so it shows upright.
    bool bottom_up = false;

    TEXTURE();
    TEXTURE(const TEXTURE&) = delete;
    TEXTURE& operator=(const TEXTURE&) = delete;
    ~TEXTURE();
};

// TEXTUREs alive now (statistics only).
extern int32_t live_texture_objects;

// Gives texture's IMAGE a new w x h RGBA picture (contents undefined; the
// previous pixels are freed), then hands it to texture_take_picture.
// A picture whose byte size does not fit 32 bits is refused: one line on
// stderr, nothing changes, false.
bool create_image(TEXTURE* texture, int w, int h);
// The IMAGE half of create_image: a new w x h RGBA picture, contents
// undefined, refused the same way.
bool resize_image(IMAGE* image, int w, int h);
// The GL half: a texture without a GL texture gets one holding its picture
// now (linear filters, mirrored repeat; storage only when the picture is not
// empty); one that has a GL texture is marked dirty so the next bind
// re-specifies it.
void texture_take_picture(TEXTURE* texture);

// A new TEXTURE holding a w x h RGBA picture made in code, all pixels
// transparent black: write texture->image->pixels (row 0 at the top, 4
// bytes per pixel); its first draw uploads them, and later changes are
// uploaded after setting texture->dirty. Null (one line on stderr) when a
// side is not positive or the picture is too large.
TEXTURE* create_texture(int w, int h);
// Deletes a texture the application holds (from create_texture,
// load_texture or anywhere else): its GL texture, its picture and the
// record. Call it once nothing draws the texture any more (sprites and
// materials that showed it may still be destroyed). Null: nothing.
void release_texture(TEXTURE* texture);

// Binds texture on unit (0 or 1) through the bind cache and, when dirty,
// uploads its whole picture. A texture without a GL texture is skipped.
void bind_texture(TEXTURE* texture, int unit);

// Start-of-process state of the live count.
void textures_reset();
