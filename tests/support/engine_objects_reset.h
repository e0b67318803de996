// Puts the engine's global objects back to their start-of-process state for
// tests that build them again (real GL or the recording stand-in alike): the
// shared quad and camera, render targets, handle tables, render-state cache,
// shader programs, scene globals and the model stack's contents.
#pragma once

#include "gfx/handle_table.h"
#include "gfx/render_state.h"
#include "gfx/render_target.h"
#include "math/matrix_stack.h"
#include "scene/scene.h"
#include "scene/scene_objects.h"
#include "shader/program.h"

#include <gtest/gtest.h>

inline void reset_engine_objects() {
    scene_objects_reset();
    render_targets_reset();
    handle_tables_reset();
    render_state_reset();
    reset_shader_programs();
    scene_reset();
    math_reset();
}

// The engine set-up from fresh globals on the GL in use (real or recorded):
// GL state, model stack, the program set and the scene objects.
inline void engine_setup_from_scratch() {
    reset_engine_objects();
    gl_setup(false);
    render_state_defaults();
    model_stack_create_global();
    create_program_set();
    ASSERT_TRUE(scene_objects_setup());
}
