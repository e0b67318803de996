// The model programs an application opts into: fills the program slots
// program_model (static meshes and meshes skinned on the CPU) and
// program_skinned_model (meshes skinned on the GPU) from the model shaders
// of the shader directory. Start-up leaves both slots empty: the first model
// draw builds the one it needs (model_program), or the application builds
// both at once; owns no further state.
// Relies on build_program (shader/program.h) and a current GL context.
#pragma once

// File pairs of the two programs inside the shader directory (the fragment
// stage is shared).
constexpr const char* MODEL_VS_FILE = "model_vs.glsl";
constexpr const char* MODEL_SKINNED_VS_FILE = "model_skinned_vs.glsl";
constexpr const char* MODEL_FS_FILE = "model_fs.glsl";

// Builds whichever of the two slots is still empty. True when both programs
// linked (a failure is reported on stderr by build_program; the slot then
// holds a program whose locations are all -1, so its draws send nothing).
bool create_model_programs();

struct SHADER_PROGRAM;
// The program a model mesh draws with (gpu_skinned: program_skinned_model,
// else program_model), built now when its slot is still empty. A program
// that failed to build is returned as it is (build_failed set), not rebuilt.
SHADER_PROGRAM* model_program(bool gpu_skinned);
