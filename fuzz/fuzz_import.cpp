// libFuzzer target for model import from memory, decoded in-process. The first byte of an input
// picks the format hint (glTF binary and text, OBJ, IQM, MD5, SMD, MS3D,
// OFF), the rest is the file. Collada and X are left out: Assimp's own
// readers for them allocate whatever a file's counts say (2 to 4 GB from a
// 3 KB file, past the fuzzer's memory limit) and the X reader leaks when it
// gives up; no check of ours runs before those allocations. Every model that loads is checked
// against the importer's promises and released. Relies on the importer, the
// engine's scene sources and the recording GL stand-in (no context needed).
#include "assets/model_import.h"

#include "gfx/gl.h"
#include "gfx/handle_table.h"
#include "scene/model.h"
#include "scene/skin.h"
#include "scene/texture.h"
#include "shader/limits.h"
#include "tests/support/fake_gl.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace fake_gl {
extern bool muted; // the stand-in formats and logs nothing while set
}

namespace {

const char* const HINTS[] = {"glb", "gltf",    "obj", "dae",  "x",
                             "iqm", "md5mesh", "smd", "ms3d", "off"};
constexpr size_t HINT_COUNT = sizeof HINTS / sizeof HINTS[0];

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void check_model(const IMPORTED_MODEL& m) {
    check(m.root != nullptr && !m.actors.empty() && m.actors.front() == m.root);
    for (const MODEL* model : m.models) {
        check(model->vertices.count >= 1 && model->vertices.count <= 65536);
        for (const MESH* mesh = model->meshes; mesh; mesh = mesh->next) {
            check(mesh->material != nullptr && mesh->indices.count % 3 == 0);
            for (int32_t i = 0; i < mesh->indices.count; ++i) {
                check(int32_t(mesh->indices.data[i]) < model->vertices.count);
            }
        }
        for (int32_t v = 0; v < model->vertices.count; ++v) {
            const VERTEX& x = model->vertices.data[v];
            check(std::isfinite(x.position[0]) && std::isfinite(x.position[1]) &&
                  std::isfinite(x.position[2]));
        }
    }
    for (const SKIN* skin : m.skins) {
        check(skin->joint_count <= MAX_JOINTS);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    static bool ready = [] {
        handle_tables_reset();
        gl_context_alive = true;
        fake_gl::muted = true;
        import_options.in_process = true; // the fuzzer watches Assimp itself
        return true;
    }();
    (void)ready;
    IMPORTED_MODEL model;
    if (import_model_from_memory(data + 1, size - 1, HINTS[data[0] % HINT_COUNT], "fuzz", &model)) {
        check_model(model);
    }
    release_imported_model(&model);
    check(model.root == nullptr && live_texture_objects == 0);
    return 0;
}
