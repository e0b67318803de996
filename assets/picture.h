// Picture files into the engine's IMAGE and TEXTURE records, through
// SDL2_image (PNG, JPEG, GIF, BMP, TGA, each header checked first; other
// formats are refused): RGBA, row 0 at the top. A path must name a regular file.
#pragma once

// Pictures are decoded in the decoder process too: this header names the
// decoder of the package a program is built against (packaged_decoder).
#include "assets/model_import.h"

#include <cstddef>

struct IMAGE;
struct TEXTURE;

// Decodes path into image (its previous pixels are freed). On failure prints
// one line on stderr naming the file and the reason, leaves image as it was
// and returns false.
bool load_picture(const char* path, IMAGE* image);
bool load_picture_from_memory(const void* data, size_t size, const char* name, IMAGE* image);

// A new TEXTURE with its GL texture holding the picture, or null (one line on
// stderr) on failure.
TEXTURE* load_texture(const char* path);
TEXTURE* load_texture_from_memory(const void* data, size_t size, const char* name);
