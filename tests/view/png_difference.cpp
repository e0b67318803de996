// Test helper for the viewer's end-to-end tests: compares two PNG pictures of
// the same size and prints how many pixels differ by more than a tolerance in
// any channel and the largest channel difference. Relies on libpng.
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool read_rgba(const char* path, std::vector<uint8_t>* pixels, png_uint_32* w, png_uint_32* h) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path)) {
        std::fprintf(stderr, "png_difference: %s: %s\n", path, image.message);
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    pixels->resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels->data(), 0, nullptr)) {
        std::fprintf(stderr, "png_difference: %s: %s\n", path, image.message);
        return false;
    }
    *w = image.width;
    *h = image.height;
    return true;
}

} // namespace

// png_difference A.png B.png TOLERANCE: prints "<pixels over tolerance>
// <largest difference>"; status 2 when a file cannot be read or the sizes differ.
int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: png_difference A.png B.png TOLERANCE\n");
        return 2;
    }
    std::vector<uint8_t> a, b;
    png_uint_32 aw = 0, ah = 0, bw = 0, bh = 0;
    if (!read_rgba(argv[1], &a, &aw, &ah) || !read_rgba(argv[2], &b, &bw, &bh)) {
        return 2;
    }
    if (aw != bw || ah != bh) {
        std::fprintf(stderr, "png_difference: sizes differ\n");
        return 2;
    }
    const int tolerance = std::atoi(argv[3]);
    long over = 0;
    int largest = 0;
    for (size_t i = 0; i < a.size(); i += 4) {
        int worst = 0;
        for (size_t c = 0; c < 3; ++c) {
            worst = std::max(worst, std::abs(int(a[i + c]) - int(b[i + c])));
        }
        largest = std::max(largest, worst);
        over += worst > tolerance;
    }
    std::printf("%ld %d\n", over, largest);
    return 0;
}
