// Writes 8-bit RGBA pictures as PNG files with libpng.
#pragma once

#include <cstdint>

// rows: height rows of width RGBA texels, first row at the top of the picture.
// Returns false (after one line on stderr, program as its prefix) when the
// file cannot be written.
bool write_png_rgba(const char* path, const uint8_t* rows, int width, int height,
                    const char* program = "vexa-snapshot");
