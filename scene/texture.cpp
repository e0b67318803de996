// Textures and images (see texture.h). Owns live_texture_objects; every GL
// texture goes through gfx/handle_table.h, uploads are counted in frame_stats.
#include "scene/texture.h"

#include "gfx/frame_stats.h"
#include "gfx/gl.h"
#include "gfx/handle_table.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

int32_t live_texture_objects = 0;

namespace {

// How a picture's texture is sampled; on ES a side that is not a power of
// two clamps instead, at creation and at every later upload.
constexpr GLint PICTURE_FILTER = GL_LINEAR;
constexpr GLint PICTURE_WRAP = GL_MIRRORED_REPEAT;

GLenum gl_pixel_format(const IMAGE& image) {
    return image.pixel_order == PIXEL_ORDER_BGRA ? GL_BGRA : GL_RGBA;
}

// The texture is already bound on the active unit. An empty picture (a side
// of 0) re-specifies the texture as empty too, so the previous picture is not
// shown any more; only a picture GL cannot take (a negative side, or missing
// pixels for a non-empty size) is skipped.
void upload_picture(const IMAGE& image) {
    bool empty = image.texture_width == 0 || image.height == 0;
    if (image.texture_width < 0 || image.height < 0 || (!empty && !image.pixels)) {
        return;
    }
    texture_fit_parameters(image.texture_width, image.height, PICTURE_FILTER, PICTURE_WRAP);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, image.texture_width, image.height, 0,
                 gl_pixel_format(image), GL_UNSIGNED_BYTE, image.pixels);
    gl_check();
    ++frame_stats.uploads;
}

} // namespace

IMAGE::~IMAGE() {
    std::free(pixels);
    pixels = nullptr;
}

TEXTURE::TEXTURE() : image(new IMAGE) {
    ++live_texture_objects;
}

TEXTURE::~TEXTURE() {
    delete image;
    image = nullptr;
    --live_texture_objects;
}

bool create_image(TEXTURE* texture, int w, int h) {
    if (!resize_image(texture->image, w, h)) {
        return false;
    }
    texture_take_picture(texture);
    return true;
}

bool resize_image(IMAGE* image, int w, int h) {
    int64_t stride = 4 * int64_t(w);
    int64_t bytes = w > 0 && h > 0 ? stride * h : 0;
    if (bytes > INT32_MAX) {
        std::fprintf(stderr, "vexa: a %d x %d picture is too large\n", w, h);
        return false;
    }
    uint8_t* pixels = nullptr;
    if (bytes > 0) {
        pixels = static_cast<uint8_t*>(std::malloc(size_t(bytes)));
        if (!pixels) {
            throw std::bad_alloc();
        }
    }
    std::free(image->pixels);
    image->width = w;
    image->height = h;
    image->stride = int32_t(stride);
    image->texture_width = w;
    image->texture_height = h;
    image->bits_per_pixel = 32;
    image->pixels = pixels;
    image->byte_size = int32_t(bytes);
    image->pixel_order = PIXEL_ORDER_RGBA;
    return true;
}

void texture_take_picture(TEXTURE* texture) {
    if (texture->slot != -1) {
        // Re-specified at the next bind, with the new size.
        texture->dirty = true;
        return;
    }
    const IMAGE& image = *texture->image;
    texture->slot =
        int32_t(texture_create(image.width, image.height, PICTURE_FILTER, PICTURE_FILTER,
                               PICTURE_WRAP, gl_pixel_format(image), image.pixels));
    texture->dirty = false;
}

TEXTURE* create_texture(int w, int h) {
    if (w <= 0 || h <= 0) {
        std::fprintf(stderr, "vexa: a texture needs a positive size, not %d x %d\n", w, h);
        return nullptr;
    }
    TEXTURE* texture = new TEXTURE;
    if (!resize_image(texture->image, w, h)) {
        delete texture;
        return nullptr;
    }
    std::memset(texture->image->pixels, 0, size_t(texture->image->byte_size));
    texture_take_picture(texture);
    // The caller fills the picture after this returns: its first draw
    // uploads what was written, without the caller having to ask.
    texture->dirty = true;
    return texture;
}

void release_texture(TEXTURE* texture) {
    if (!texture) {
        return;
    }
    if (texture->slot != -1) {
        texture_release(uint32_t(texture->slot));
        texture->slot = -1;
    }
    delete texture;
}

void bind_texture(TEXTURE* texture, int unit) {
    if (!texture || texture->slot == -1 || unit < 0 || unit >= MAX_TEXTURE_UNITS) {
        return;
    }
    GLuint name = texture_gl_name(uint32_t(texture->slot));
    bool already_bound = bind_cache.textures[unit] == name;
    texture_bind(unit, uint32_t(texture->slot));
    if (!texture->dirty) {
        return;
    }
    texture->dirty = false;
    // A cache hit leaves the active unit wherever the last miss put it, which
    // may be the other unit: select ours so the picture lands in this texture.
    if (already_bound) {
        glActiveTexture(GLenum(GL_TEXTURE0 + unit));
        gl_check();
    }
    upload_picture(*texture->image);
}

void textures_reset() {
    live_texture_objects = 0;
}
