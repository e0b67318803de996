// Picture files into IMAGEs and TEXTUREs (see picture.h). Owns no globals;
// the file is read through the regular-file guard, decoded by
// picture_decode.cpp and copied into the engine's IMAGE. Relies on
// scene/texture.h and gfx/handle_table.h for the GL texture.
#include "assets/picture.h"
#include "assets/neighbour_files.h"
#include "assets/picture_decode.h"

#include "gfx/gl.h"
#include "gfx/handle_table.h"
#include "scene/texture.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Decodes data (or the file at path) into image; false with reason set.
bool decode_into_image(const char* path, const void* data, size_t size, const char* name,
                       IMAGE* image, std::string* reason) {
    std::vector<uint8_t> bytes;
    if (!data) {
        if (!read_regular_file(path, &bytes, reason)) {
            return false;
        }
        data = bytes.data();
        size = bytes.size();
    }
    PICTURE picture;
    if (!decode_picture(data, size, name, &picture, reason)) {
        return false;
    }
    // The size rule keeps the byte size far inside what resize_image takes.
    resize_image(image, picture.width, picture.height);
    std::memcpy(image->pixels, picture.pixels.data(), picture.pixels.size());
    return true;
}

} // namespace

bool load_picture(const char* path, IMAGE* image) {
    std::string reason;
    if (!path || !decode_into_image(path, nullptr, 0, path, image, &reason)) {
        std::fprintf(stderr, "%s: %s\n", path ? path : "(null)", reason.c_str());
        return false;
    }
    return true;
}

bool load_picture_from_memory(const void* data, size_t size, const char* name, IMAGE* image) {
    name = name ? name : "(picture in memory)";
    std::string reason = "no picture data";
    if (!data || !decode_into_image(nullptr, data, size, name, image, &reason)) {
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
