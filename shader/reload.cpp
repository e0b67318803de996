// Live rebuilding of changed programs (see reload.h).
#include "shader/reload.h"

#include "shader/model_programs.h"
#include "shader/program.h"
#include "shader/source.h"

#include <string>

uint32_t shader_program_generation = 0;

namespace {

struct WATCHED_SLOT {
    SHADER_PROGRAM** slot;
    const char* vertex_file; // names inside the shader directory
    const char* fragment_file;
    // The stage texts of the last failed rebuild: the same text again is not
    // rebuilt, so its message is not repeated at every later change.
    std::string failed_vertex, failed_fragment;
};

WATCHED_SLOT watched_slots[] = {
    {&program_sprite3d, "sprite3d_vs.glsl", "sprite3d_fs.glsl", {}, {}},
    {&program_sprites2d, "2d_sprites_vs.glsl", "2d_sprites_fs.glsl", {}, {}},
    {&program_primitives2d, "2d_passthrough_vs.glsl", "2d_primitives_fs.glsl", {}, {}},
    {&program_primitives3d, "3d_primitives_vs.glsl", "3d_primitives_fs.glsl", {}, {}},
    {&program_model, MODEL_VS_FILE, MODEL_FS_FILE, {}, {}},
    {&program_skinned_model, MODEL_SKINNED_VS_FILE, MODEL_FS_FILE, {}, {}},
    {&program_shapes2d, SHAPES_VS_FILE, SHAPES_FS_FILE, {}, {}},
};

// The text a stage of the file would have now; empty when it cannot be read
// (reported by the assembly).
std::string current_text(const std::string& path, unsigned type) {
    SHADER_STAGE stage;
    stage.type = type;
    return assemble_stage_text(path.c_str(), &stage) ? stage.text : std::string();
}

std::string built_text(const SHADER_PROGRAM* program, int index) {
    const SHADER_STAGE* stage = program->stages;
    for (int i = 0; stage && i < index; ++i) {
        stage = stage->next;
    }
    return stage ? stage->text : std::string();
}

// True when the slot's program was replaced.
bool reload_slot(WATCHED_SLOT& w) {
    SHADER_PROGRAM* program = *w.slot;
    if (!program) {
        return false; // never built (a model program nothing has drawn yet)
    }
    const std::string vertex_path = shader_file_path(w.vertex_file);
    const std::string fragment_path = shader_file_path(w.fragment_file);
    const std::string vertex = current_text(vertex_path, GL_VERTEX_SHADER);
    const std::string fragment = current_text(fragment_path, GL_FRAGMENT_SHADER);
    if (vertex.empty() || fragment.empty()) {
        return false; // a file gone or mid-save: keep what runs
    }
    // The text in use, or one that already failed (here or at start-up), is
    // not built again: the same text gives the same program or the same
    // message.
    const bool as_built = vertex == built_text(program, 0) && fragment == built_text(program, 1);
    const bool failed_before = vertex == w.failed_vertex && fragment == w.failed_fragment;
    if (as_built || failed_before) {
        return false;
    }
    SHADER_PROGRAM* fresh =
        build_program(new SHADER_PROGRAM, vertex_path.c_str(), fragment_path.c_str());
    if (fresh->build_failed) {
        // build_program has printed the driver's message; the old program
        // stays in use.
        w.failed_vertex = vertex;
        w.failed_fragment = fragment;
        delete_program_gl_objects(*fresh);
        delete fresh;
        return false;
    }
    w.failed_vertex.clear();
    w.failed_fragment.clear();
    swap_program_contents(*program, *fresh);
    delete_program_gl_objects(*fresh); // the old GL objects, now in fresh
    delete fresh;
    return true;
}

} // namespace

int reload_changed_programs() {
    refresh_file_cache();
    int replaced = 0;
    for (WATCHED_SLOT& w : watched_slots) {
        replaced += reload_slot(w) ? 1 : 0;
    }
    if (replaced > 0) {
        ++shader_program_generation;
    }
    // build_program leaves GL with its program in use behind the mirror, and
    // a replaced program has a new GL name at the old address: the next
    // use_program must reach GL.
    current_program = nullptr;
    return replaced;
}
