// The quiet picture decoder (see picture_decode.h): the header is checked
// against an allow-list of formats and the size rule first, SDL2_image
// decodes, SDL converts to R, G, B, A bytes. Makes no engine object, so the
// decoder process uses it without the engine's GL. Owns no globals.
#include "assets/picture_decode.h"

#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <strings.h>

namespace {

constexpr int MAX_PICTURE_SIDE = 16384;
constexpr int64_t MAX_PICTURE_PIXELS = int64_t(8192) * 8192;
constexpr const char* SIZE_RULE = "; the engine takes 1 to 16384 pixels a side, 64 M in all";

bool name_ends_with(const char* name, const char* extension) {
    size_t n = name ? std::strlen(name) : 0, e = std::strlen(extension);
    return n >= e && strcasecmp(name + n - e, extension) == 0;
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

// The JPEG frame header's size: every segment is walked (fill bytes and
// markers without a length included) up to the first start-of-frame marker.
bool jpeg_size(const uint8_t* d, size_t size, int64_t* w, int64_t* h) {
    size_t at = 2;
    for (;;) {
        while (at < size && d[at] != 0xFF) {
            ++at; // entropy-coded bytes between restart markers
        }
        while (at < size && d[at] == 0xFF) {
            ++at; // a marker may be preceded by any number of fill bytes
        }
        if (at >= size) {
            return false;
        }
        uint8_t type = d[at++];
        if (type == 0x01 || (type >= 0xD0 && type <= 0xD8)) {
            continue; // no length
        }
        if (type == 0xD9 || at + 2 > size) {
            return false; // the picture ends before any frame header
        }
        uint32_t length = big_endian(d + at, 2);
        if (type >= 0xC0 && type <= 0xCF && type != 0xC4 && type != 0xC8 && type != 0xCC) {
            if (at + 7 > size) {
                return false;
            }
            *h = big_endian(d + at + 3, 2);
            *w = big_endian(d + at + 5, 2);
            return true;
        }
        if (length < 2) {
            return false;
        }
        at += length;
    }
}

// The GIF screen and the first image's size (the one SDL2_image decodes);
// the larger of each side counts.
bool gif_size(const uint8_t* d, size_t size, int64_t* w, int64_t* h) {
    if (size < 13) {
        return false;
    }
    *w = little_endian(d + 6, 2);
    *h = little_endian(d + 8, 2);
    size_t at = 13 + ((d[10] & 0x80) ? 3u << ((d[10] & 7) + 1) : 0u);
    while (at < size) {
        if (d[at] == 0x2C) {
            if (at + 10 > size) {
                return false;
            }
            *w = std::max<int64_t>(*w, little_endian(d + at + 5, 2));
            *h = std::max<int64_t>(*h, little_endian(d + at + 7, 2));
            return true;
        }
        if (d[at] != 0x21 || at + 2 >= size) {
            return false;
        }
        at += 2; // extension introducer and label, then sub-blocks up to an empty one
        while (at < size && d[at] != 0) {
            at += size_t(d[at]) + 1;
        }
        ++at;
    }
    return false;
}

bool tga_header(const uint8_t* d, size_t size) {
    const uint8_t type = d[2] & ~8; // 8: run-length encoded
    return size >= 18 && d[1] <= 1 && (type == 1 || type == 2 || type == 3) &&
           (d[16] == 8 || d[16] == 15 || d[16] == 16 || d[16] == 24 || d[16] == 32);
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

} // namespace

bool picture_size_acceptable(int64_t w, int64_t h) {
    return w >= 1 && h >= 1 && w <= MAX_PICTURE_SIDE && h <= MAX_PICTURE_SIDE &&
           w * h <= MAX_PICTURE_PIXELS;
}

bool picture_header_check(const uint8_t* d, size_t size, const char* name, const char** format,
                          std::string* reason) {
    int64_t w = 0, h = 0;
    bool found = false;
    *format = nullptr;
    if (size >= 24 && std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0 &&
        std::memcmp(d + 12, "IHDR", 4) == 0) {
        *format = "PNG";
        w = big_endian(d + 16, 4);
        h = big_endian(d + 20, 4);
        found = true;
    } else if (size >= 4 && d[0] == 0xFF && d[1] == 0xD8) {
        *format = "JPG";
        found = jpeg_size(d, size, &w, &h);
    } else if (size >= 6 &&
               (std::memcmp(d, "GIF87a", 6) == 0 || std::memcmp(d, "GIF89a", 6) == 0)) {
        *format = "GIF";
        found = gif_size(d, size, &w, &h);
    } else if (size >= 26 && d[0] == 'B' && d[1] == 'M') {
        *format = "BMP";
        if (little_endian(d + 14, 4) == 12) { // the old OS/2 header: 16-bit sides
            w = little_endian(d + 18, 2);
            h = little_endian(d + 20, 2);
        } else {
            w = int32_t(little_endian(d + 18, 4));
            int32_t rows = int32_t(little_endian(d + 22, 4)); // negative: top-down rows
            h = rows < 0 ? -int64_t(rows) : rows;
        }
        found = true;
    } else if (size >= 18 && name_ends_with(name, ".tga") && tga_header(d, size)) {
        *format = "TGA";
        w = little_endian(d + 12, 2);
        h = little_endian(d + 14, 2);
        found = true;
    }
    if (!*format) {
        *reason = "is not a PNG, JPEG, GIF, BMP or TGA picture";
        return false;
    }
    if (!found) {
        *reason = std::string("is a damaged ") + *format + " picture (no size in its header)";
        return false;
    }
    if (!picture_size_acceptable(w, h)) {
        *reason =
            "declares a " + std::to_string(w) + " x " + std::to_string(h) + " picture" + SIZE_RULE;
        return false;
    }
    return true;
}

bool decode_picture(const void* data, size_t size, const char* name, PICTURE* out,
                    std::string* reason) {
    if (!data || size == 0 || size > size_t(INT32_MAX)) {
        *reason = "no picture data";
        return false;
    }
    const char* format = nullptr;
    if (!picture_header_check(static_cast<const uint8_t*>(data), size, name, &format, reason)) {
        return false;
    }
    // The format the header showed, not the name's: SDL2_image must not try
    // another decoder on the same bytes.
    SDL_Surface* decoded = IMG_LoadTyped_RW(SDL_RWFromConstMem(data, int(size)), 1, format);
    if (!decoded) {
        *reason = sdl_reason("not a picture SDL2_image can read", IMG_GetError());
        return false;
    }
    int w = decoded->w;
    int h = decoded->h;
    if (!picture_size_acceptable(w, h)) {
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
    const size_t stride = size_t(w) * 4;
    try {
        out->pixels.resize(stride * size_t(h));
    } catch (...) {
        SDL_FreeSurface(rgba);
        throw;
    }
    SDL_LockSurface(rgba);
    for (int y = 0; y < h; ++y) {
        std::memcpy(out->pixels.data() + stride * size_t(y),
                    static_cast<const uint8_t*>(rgba->pixels) + size_t(rgba->pitch) * size_t(y),
                    stride);
    }
    SDL_UnlockSurface(rgba);
    SDL_FreeSurface(rgba);
    out->width = w;
    out->height = h;
    return true;
}
