// Picture files into IMAGEs and TEXTUREs (see picture.h). Owns no globals;
// this process checks only the file's type and size and opens it, the
// decoder process (decoder_process.h, or picture_decode.cpp here when
// import_options ask for in_process) reads and decodes it, and the flat RGBA answer, checked
// on the way in, is copied into the engine's IMAGE. Relies on
// scene/texture.h and gfx/handle_table.h for the GL texture.
#include "assets/picture.h"
#include "assets/decoder_process.h"
#include "assets/input_guards.h"
#include "assets/model_import.h"
#include "assets/neighbour_files.h"
#include "assets/picture_decode.h"

#include "gfx/gl.h"
#include "gfx/handle_table.h"
#include "scene/texture.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

// The picture's opened file, closed however the decode ends.
struct OPENED_PICTURE {
    DECODER_FILES files;
    ~OPENED_PICTURE() { close_decoder_files(&files); }
};

// Decodes data (or the file at path) into image; false with reason set.
bool decode_into_image(const char* path, const void* data, size_t size, const char* name,
                       IMAGE* image, std::string* reason) try {
    if (!path && size == 0) {
        *reason = "no picture data";
        return false;
    }
    // A file is opened here, never by name in the decoder: it gets the
    // descriptor, and no folder to read neighbours from.
    OPENED_PICTURE opened;
    const DECODER_FILES& files = opened.files;
    if (path && (!input_file_check(path, MAX_DECODER_FILE_BYTES, reason) ||
                 !open_decoder_files(path, false, &opened.files, reason))) {
        return false;
    }
    PICTURE picture;
    DECODE_STATUS status = DECODE_REFUSED;
    if (import_options.in_process) {
        std::vector<uint8_t> bytes;
        if (!path || read_descriptor(files.file, &bytes, reason)) {
            status = decode_picture(path ? bytes.data() : data, path ? bytes.size() : size, name,
                                    &picture, reason)
                         ? DECODE_LOADED
                         : DECODE_REFUSED;
        }
    } else {
        status = decode_picture_in_child(path ? &files : nullptr, data, size, name, import_options,
                                         &picture, reason);
    }
    if (status == DECODE_OUT_OF_MEMORY) {
        *reason = "the decoder ran out of memory";
    }
    if (status != DECODE_LOADED) {
        return false;
    }
    // The answer was checked on the way in (decoded_picture_read): the size
    // rule keeps the byte size far inside what resize_image takes.
    resize_image(image, picture.width, picture.height);
    std::memcpy(image->pixels, picture.pixels.data(), picture.pixels.size());
    return true;
} catch (const std::bad_alloc&) {
    *reason = "out of memory";
    return false;
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
