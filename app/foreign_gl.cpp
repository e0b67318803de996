// Forgetting the engine's GL caches after foreign GL (see foreign_gl.h).
#include "app/foreign_gl.h"

#include "gfx/handle_table.h"
#include "gfx/render_state.h"
#include "gfx/render_target.h"
#include "shader/program.h"

void forget_engine_gl_state() {
    render_state_forget();
    bind_caches_forget();
    framebuffer_cache_forget();
    // use_program also resends the lights on a switch, which a program
    // another library used in between does not need, but costs little.
    current_program = nullptr;
}
