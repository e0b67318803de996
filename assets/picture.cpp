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
constexpr const char* SIZE_RULE = "; the engine takes 1 to 16384 pixels a side, 64 M in all";

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

bool acceptable_size(int64_t w, int64_t h) {
    return w >= 1 && h >= 1 && w <= MAX_PICTURE_SIDE && h <= MAX_PICTURE_SIDE &&
           w * h <= MAX_PICTURE_PIXELS;
}

uint32_t big_endian(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) {
        v = v << 8 | p[i];
    }
    return v;
}

uint32_t little_endian(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes; i-- > 0;) {
        v = v << 8 | p[i];
    }
    return v;
}

// The size a picture's header declares, read before decoding so a forged
// header cannot make the decoder allocate gigabytes first (PNG, BMP, TGA,
// JPEG; other formats are judged after decoding). False when none is found.
bool declared_size(SDL_RWops* rw, const char* hint, int64_t* w, int64_t* h) {
    Sint64 start = SDL_RWtell(rw);
    uint8_t head[32] = {};
    size_t got = SDL_RWread(rw, head, 1, sizeof head);
    bool found = false;
    if (got >= 24 && std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0) {
        *w = big_endian(head + 16, 4);
        *h = big_endian(head + 20, 4);
        found = true;
    } else if (got >= 26 && head[0] == 'B' && head[1] == 'M') {
        *w = int32_t(little_endian(head + 18, 4));
        int32_t rows = int32_t(little_endian(head + 22, 4)); // negative: top-down rows
        *h = rows < 0 ? -int64_t(rows) : rows;
        found = true;
    } else if (got >= 18 && std::strcmp(hint, "TGA") == 0) {
        *w = little_endian(head + 12, 2);
        *h = little_endian(head + 14, 2);
        found = true;
    } else if (got >= 4 && head[0] == 0xFF && head[1] == 0xD8) {
        // Walk the JPEG segments to the first start-of-frame marker.
        Sint64 at = start + 2;
        for (int segments = 0; segments < 1000 && !found; ++segments) {
            uint8_t marker[9];
            if (SDL_RWseek(rw, at, RW_SEEK_SET) < 0 || SDL_RWread(rw, marker, 1, 9) != 9 ||
                marker[0] != 0xFF) {
                break;
            }
            uint8_t type = marker[1];
            if (type >= 0xC0 && type <= 0xCF && type != 0xC4 && type != 0xC8 && type != 0xCC) {
                *h = big_endian(marker + 5, 2);
                *w = big_endian(marker + 7, 2);
                found = true;
            }
            at += 2 + big_endian(marker + 2, 2);
        }
    }
    SDL_RWseek(rw, start, RW_SEEK_SET);
    return found;
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
    int64_t declared_w = 0, declared_h = 0;
    if (declared_size(rw, hint, &declared_w, &declared_h) &&
        !acceptable_size(declared_w, declared_h)) {
        *reason = "declares a " + std::to_string(declared_w) + " x " + std::to_string(declared_h) +
                  " picture" + SIZE_RULE;
        SDL_RWclose(rw);
        return false;
    }
    SDL_Surface* decoded = IMG_LoadTyped_RW(rw, 1, hint[0] ? hint : nullptr);
    if (!decoded) {
        *reason = sdl_reason("not a picture SDL2_image can read", IMG_GetError());
        return false;
    }
    int w = decoded->w;
    int h = decoded->h;
    if (!acceptable_size(w, h)) {
        *reason = "is a " + std::to_string(w) + " x " + std::to_string(h) + " picture" + SIZE_RULE;
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
    // The size rule keeps the byte size far inside what resize_image takes.
    try {
        resize_image(image, w, h);
    } catch (...) {
        SDL_FreeSurface(rgba);
        throw;
    }
    const size_t stride = size_t(image->stride);
    SDL_LockSurface(rgba);
    for (int y = 0; y < h; ++y) {
        std::memcpy(image->pixels + stride * size_t(y),
                    static_cast<const uint8_t*>(rgba->pixels) + size_t(rgba->pitch) * size_t(y),
                    stride);
    }
    SDL_UnlockSurface(rgba);
    SDL_FreeSurface(rgba);
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

TEXTURE* load_texture(const char* path) {
    TEXTURE* texture = new TEXTURE;
    if (!load_picture(path, texture->image)) {
        delete texture;
        return nullptr;
    }
    texture_take_picture(texture);
    return texture;
}

TEXTURE* load_texture_from_memory(const void* data, size_t size, const char* name) {
    TEXTURE* texture = new TEXTURE;
    if (!load_picture_from_memory(data, size, name, texture->image)) {
        delete texture;
        return nullptr;
    }
    texture_take_picture(texture);
    return texture;
}
