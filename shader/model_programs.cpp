// The two model program slots (see model_programs.h). Owns nothing beyond
// what it stores into program_model and program_skinned_model.
#include "shader/model_programs.h"

#include "shader/program.h"

namespace {

// A program that failed to build keeps its matrix location at -1.
bool linked(const SHADER_PROGRAM* program) {
    return program && program->matrix_locations.model_view_projection != -1;
}

SHADER_PROGRAM* build_slot(SHADER_PROGRAM*& slot, const char* vertex_file) {
    if (!slot) {
        slot = build_program(new SHADER_PROGRAM, shader_file_path(vertex_file).c_str(),
                             shader_file_path(MODEL_FS_FILE).c_str());
        // build_program leaves the new program in use behind the cache's back.
        current_program = nullptr;
    }
    return slot;
}

} // namespace

bool create_model_programs() {
    bool model_ok = linked(build_slot(program_model, MODEL_VS_FILE));
    bool skinned_ok = linked(build_slot(program_skinned_model, MODEL_SKINNED_VS_FILE));
    return model_ok && skinned_ok;
}

SHADER_PROGRAM* model_program(bool gpu_skinned) {
    return gpu_skinned ? build_slot(program_skinned_model, MODEL_SKINNED_VS_FILE)
                       : build_slot(program_model, MODEL_VS_FILE);
}
