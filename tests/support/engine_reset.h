// Returns every engine global the scene tests touch to its start-of-process
// state, then runs the engine set-up steps those tests build on (render-state
// defaults, model stack, default camera, shared quad), against the recorder.
#pragma once

#include "gfx/window.h"
#include "gfx/frame_stats.h"
#include "gfx/gl.h"
#include "gfx/handle_table.h"
#include "gfx/render_state.h"
#include "gfx/render_target.h"
#include "math/matrix_stack.h"
#include "scene/scene.h"
#include "scene/scene_objects.h"
#include "shader/program.h"
#include "tests/support/engine_objects_reset.h"
#include "tests/support/fake_gl.h"

inline void reset_engine_for_scene_tests() {
    fake_gl::reset();
    reset_engine_objects();
    model_stack_create_global();
    frame_stats_reset();
    gl_context_alive = true;
    render_state_defaults();
    scene_objects_setup();
}
