// PNG output (screenshots and the tools' pictures), through libpng's simplified API.
#include "capture/png_writer.h"

#include <png.h>

#include <cstdio>
#include <cstring>

bool write_png_rgba(const char* path, const uint8_t* rows, int width, int height,
                    const char* program) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&image, path, 0, rows, width * 4, nullptr)) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", program, path, image.message);
        return false;
    }
    return true;
}
