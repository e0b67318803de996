// The quiet decoder under assets/picture.h, for callers that word their own
// message (the model decoder warns once per picture and carries on).
// Relies on SDL2_image; owns nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A decoded picture: width x height RGBA pixels, rows top to bottom.
struct PICTURE {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;
};

// 1 to 16384 pixels a side and 64 M pixels in all: what GL 2.1 drivers take,
// and far below what a forged header could ask a decoder to allocate.
bool picture_size_acceptable(int64_t width, int64_t height);

// Which of the accepted formats data holds ("PNG", "JPG", "GIF", "BMP",
// "TGA"; TGA has no signature and is taken only when name ends in .tga) and
// the size its header declares. False with reason set when data is none of
// them or its header is damaged or declares a size the engine does not take,
// so no such picture ever reaches a decoder.
bool picture_header_check(const uint8_t* data, size_t size, const char* name, const char** format,
                          std::string* reason);

// Checks the header, then decodes size bytes at data into out; name gives
// the TGA hint. On failure sets reason, leaves out as it was and returns false.
bool decode_picture(const void* data, size_t size, const char* name, PICTURE* out,
                    std::string* reason);
