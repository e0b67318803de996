// libFuzzer target for the cheap checks the decoder runs before a file
// reaches Assimp or SDL2_image: the model content guards and the picture
// header check. The first byte of an input picks the name the file goes by
// (the guards of formats without a signature go by it), the rest is the
// file. Every verdict must come with a reason exactly when it refuses.
// Relies on assets/input_guards.cpp and assets/picture_decode.cpp.
#include "assets/input_guards.h"
#include "assets/picture_decode.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

const char* const NAMES[] = {"model.stl", "model.off",   "model.ply",   "model.x", "model.md5mesh",
                             "model.smd", "picture.tga", "picture.png", nullptr};
constexpr size_t NAME_COUNT = sizeof NAMES / sizeof NAMES[0];

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const char* name = NAMES[data[0] % NAME_COUNT];
    std::string reason;
    const bool passes = model_content_guard(data + 1, size - 1, name, &reason);
    check(passes == reason.empty());
    reason.clear();
    const char* format = nullptr;
    const bool taken = picture_header_check(data + 1, size - 1, name, &format, &reason);
    check(taken ? format != nullptr && reason.empty() : !reason.empty());
    return 0;
}
