// Picture files into IMAGEs and TEXTUREs (see picture.h). Owns no globals;
// SDL2_image decodes, SDL converts to R, G, B, A bytes, and the rows are
// copied top to bottom into the engine's IMAGE. Relies on scene/texture.h and
// gfx/handle_table.h for the GL texture.
#include "assets/picture.h"
#include "assets/picture_decode.h"

#include "gfx/gl.h"
#include "gfx/handle_table.h"
#include "scene/texture.h"

#include <SDL.h>
#include <SDL_image.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

// Larger pictures are refused: they would not fit the texture sizes GL 2.1
// drivers offer, and a forged header must not make us allocate gigabytes.
constexpr int MAX_PICTURE_SIDE = 16384;
constexpr int64_t MAX_PICTURE_PIXELS = int64_t(8192) * 8192;

// The extension of name, upper case, as SDL2_image names its formats ("TGA"):
// formats without a signature (TGA) are only recognised through it.
void format_hint(const char* name, char* out, size_t size) {
    out[0] = '\0';
    const char* dot = name ? std::strrchr(name, '.') : nullptr;
    if (!dot || std::strchr(dot, '/')) {
        return;
    }
    size_t n = 0;
    for (const char* c = dot + 1; *c && n + 1 < size; ++c) {
        out[n++] = char(std::toupper(static_cast<unsigned char>(*c)));
    }
    out[n] = '\0';
}

std::string sdl_reason(const char* what, const char* detail) {
    std::string reason = what;
    if (detail && *detail) {
        reason += " (";
        reason += detail;
        reason += ")";
    }
    return reason;
}

// Decodes rw (closed here) into image.
bool decode(SDL_RWops* rw, const char* name, IMAGE* image, std::string* reason) {
    if (!rw) {
        *reason = sdl_reason("cannot be opened", SDL_GetError());
        return false;
    }
    char hint[8];
    format_hint(name, hint, sizeof hint);
    SDL_Surface* decoded = IMG_LoadTyped_RW(rw, 1, hint[0] ? hint : nullptr);
    if (!decoded) {
        *reason = sdl_reason("not a picture SDL2_image can read", IMG_GetError());
        return false;
    }
    int w = decoded->w;
    int h = decoded->h;
    if (w < 1 || h < 1 || w > MAX_PICTURE_SIDE || h > MAX_PICTURE_SIDE ||
        int64_t(w) * h > MAX_PICTURE_PIXELS) {
        *reason = "a " + std::to_string(w) + " x " + std::to_string(h) +
                  " picture is larger than the engine takes";
        SDL_FreeSurface(decoded);
        return false;
    }
    // RGBA32 is the byte order R, G, B, A in memory whatever the host's endianness.
    SDL_Surface* rgba = SDL_ConvertSurfaceFormat(decoded, SDL_PIXELFORMAT_RGBA32, 0);
    SDL_FreeSurface(decoded);
    if (!rgba) {
        *reason = sdl_reason("cannot be converted to RGBA", SDL_GetError());
        return false;
    }
    size_t stride = size_t(w) * 4;
    uint8_t* pixels = static_cast<uint8_t*>(std::malloc(stride * size_t(h)));
    if (!pixels) {
        SDL_FreeSurface(rgba);
        throw std::bad_alloc();
    }
    SDL_LockSurface(rgba);
    for (int y = 0; y < h; ++y) {
        std::memcpy(pixels + stride * size_t(y),
                    static_cast<const uint8_t*>(rgba->pixels) + size_t(rgba->pitch) * size_t(y),
                    stride);
    }
    SDL_UnlockSurface(rgba);
    SDL_FreeSurface(rgba);

    std::free(image->pixels);
    image->width = image->texture_width = w;
    image->height = image->texture_height = h;
    image->stride = int32_t(stride);
    image->bits_per_pixel = 32;
    image->pixels = pixels;
    image->byte_size = int32_t(stride * size_t(h));
    image->pixel_order = PIXEL_ORDER_RGBA;
    return true;
}

} // namespace

bool decode_picture(const char* path, const void* data, size_t size, const char* name, IMAGE* image,
                    std::string* reason) {
    if (!data) {
        return decode(path ? SDL_RWFromFile(path, "rb") : nullptr, name ? name : path, image,
                      reason);
    }
    if (size == 0 || size > size_t(INT32_MAX)) {
        *reason = "no picture data";
        return false;
    }
    return decode(SDL_RWFromConstMem(data, int(size)), name, image, reason);
}

bool load_picture(const char* path, IMAGE* image) {
    std::string reason;
    if (!decode_picture(path, nullptr, 0, path, image, &reason)) {
        std::fprintf(stderr, "%s: %s\n", path ? path : "(null)", reason.c_str());
        return false;
    }
    return true;
}

bool load_picture_from_memory(const void* data, size_t size, const char* name, IMAGE* image) {
    name = name ? name : "(picture in memory)";
    std::string reason = "no picture data";
    if (!data || !decode_picture(nullptr, data, size, name, image, &reason)) {
        std::fprintf(stderr, "%s: %s\n", name, reason.c_str());
        return false;
    }
    return true;
}

TEXTURE* texture_from_image(TEXTURE* texture) {
    const IMAGE& image = *texture->image;
    texture->slot = int32_t(texture_create(image.width, image.height, GL_LINEAR, GL_LINEAR,
                                           GL_MIRRORED_REPEAT, GL_RGBA, image.pixels));
    texture->dirty = false;
    return texture;
}

TEXTURE* load_texture(const char* path) {
    TEXTURE* texture = new TEXTURE;
    if (!load_picture(path, texture->image)) {
        delete texture;
        return nullptr;
    }
    return texture_from_image(texture);
}

TEXTURE* load_texture_from_memory(const void* data, size_t size, const char* name) {
    TEXTURE* texture = new TEXTURE;
    if (!load_picture_from_memory(data, size, name, texture->image)) {
        delete texture;
        return nullptr;
    }
    return texture_from_image(texture);
}
