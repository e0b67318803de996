// The quiet decoder under assets/picture.h, for callers that word their own
// message (the model importer warns once per picture and carries on).
// Relies on SDL2_image; owns nothing.
#pragma once

#include <cstddef>
#include <string>

struct IMAGE;
struct TEXTURE;

// Decodes the file at path (data null) or size bytes at data into image as
// RGBA rows top to bottom; name (or path) gives the format hint (".tga").
// On failure sets reason, leaves image as it was and returns false.
bool decode_picture(const char* path, const void* data, size_t size, const char* name, IMAGE* image,
                    std::string* reason);
