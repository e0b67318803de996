// libFuzzer target for the caller's side of the decoder: arbitrary bytes as
// the decoder's answer (its length already taken off), read, checked and,
// when every check passes, built into the engine's objects and released.
// The first byte of an input picks a model or a picture answer. A decoder
// that was taken over can send exactly this; it must end in a refusal or a
// sound model, never a crash, an over-read or an allocation beyond a few
// times the answer's size. Relies on the importer and the engine's scene
// sources with the recording GL stand-in (no context needed); Assimp never
// runs here.
#include "assets/decoded_model.h"
#include "assets/model_import.h"

#include "gfx/gl.h"
#include "gfx/handle_table.h"
#include "scene/texture.h"
#include "tests/support/fake_gl.h"

#include <cstdint>
#include <cstdlib>

namespace fake_gl {
extern bool muted; // the stand-in formats and logs nothing while set
}

namespace {

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
    static bool ready = [] {
        handle_tables_reset();
        gl_context_alive = true;
        fake_gl::muted = true;
        return true;
    }();
    (void)ready;
    DECODE_STATUS status = DECODE_REFUSED;
    std::string reason;
    if (data[0] & 1) {
        PICTURE picture;
        if (decoded_picture_read(data + 1, size - 1, &status, &picture, &reason) &&
            status == DECODE_LOADED) {
            check(picture_size_acceptable(picture.width, picture.height) &&
                  picture.pixels.size() == size_t(picture.width) * size_t(picture.height) * 4);
        }
        return 0;
    }
    DECODED_MODEL decoded;
    if (!decoded_model_read(data + 1, size - 1, &status, &decoded, &reason) ||
        status != DECODE_LOADED) {
        return 0;
    }
    IMPORTED_MODEL model;
    if (decoded_model_build(decoded, &model, &reason)) {
        check(model.root != nullptr && !model.models.empty());
    } else {
        check(model.root == nullptr && model.models.empty() && !reason.empty());
    }
    release_imported_model(&model);
    check(live_texture_objects == 0);
    return 0;
}
