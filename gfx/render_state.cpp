// The render-state cache (see render_state.h). Relies on gfx/gl.h for the GL
// entry points and the error-flag helper, and counts what it lets through in
// frame_stats.
#include "gfx/render_state.h"

#include "gfx/frame_stats.h"
#include "gfx/gl.h"
#include "gfx/gl_dialect.h"

#include <limits>

namespace {

constexpr RENDER_STATE initial_state() {
    RENDER_STATE s{};
    s.depth_bits = 0;
    s.cull_mode = MODE_UNKNOWN;
    s.blend_mode = MODE_UNKNOWN;
    s.viewport_x = s.viewport_y = s.viewport_width = s.viewport_height = -1;
    s.scissor_x = s.scissor_y = s.scissor_width = s.scissor_height = -1;
    s.cull_face_disabled = -1;
    s.blend_function = -1;
    s.blend_enabled = -1;
    s.clear_red = s.clear_green = s.clear_blue = s.clear_alpha = -1.0f;
    s.front_face_clockwise = 0; // GL starts counter-clockwise, and gl_setup keeps it so
    s.depth_unknown = 0;
    return s;
}

// Counts one state change and checks the GL error flag after it.
void changed() {
    ++frame_stats.state_changes;
    gl_check();
}

} // namespace

RENDER_STATE render_state = initial_state();
FRAME_STATS frame_stats;

void render_state_reset() {
    render_state = initial_state();
}

void render_state_forget() {
    RENDER_STATE& s = render_state;
    s.cull_mode = s.blend_mode = MODE_UNKNOWN;
    s.viewport_x = s.viewport_y = s.viewport_width = s.viewport_height = -1;
    s.scissor_x = s.scissor_y = s.scissor_width = s.scissor_height = -1;
    s.cull_face_disabled = s.blend_function = s.blend_enabled = -1;
    s.front_face_clockwise = -1;
    // A NaN equals nothing, so any clear colour is sent again.
    s.clear_red = s.clear_green = s.clear_blue = s.clear_alpha =
        std::numeric_limits<float>::quiet_NaN();
    // depth_bits has no unknown value of its own (its users compare it whole).
    s.depth_unknown = DEPTH_BIT_TEST | DEPTH_BIT_WRITE;
}

namespace {

// ES 2.0 has no multisample switch (a multisampled surface always
// multisamples), no polygon smoothing and no client arrays: the vertex
// layout's generic attribute arrays are enabled once instead.
void gl_setup_es() {
    glFrontFace(GL_CCW);
    gl_check();
    for (GLuint a = 0; a < VERTEX_ATTRIBUTE_COUNT; ++a) {
        glEnableVertexAttribArray(a);
        gl_check();
    }
}

} // namespace

void gl_setup(bool multisample) {
    if (gl_dialect_es()) {
        gl_setup_es();
        return;
    }
    if (multisample) {
        glEnable(GL_MULTISAMPLE);
    }
    glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
    glEnable(GL_POLYGON_SMOOTH);
    glFrontFace(GL_CCW);
    render_state.front_face_clockwise = 0;
    gl_check();
    glEnableClientState(GL_VERTEX_ARRAY);
    gl_check();
    glEnableClientState(GL_NORMAL_ARRAY);
    gl_check();
    glClientActiveTexture(GL_TEXTURE0);
    gl_check();
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    gl_check();
    // The client-active unit is left at 1; bind_vertex_format selects the
    // unit it needs each time.
    glClientActiveTexture(GL_TEXTURE1);
    gl_check();
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    gl_check();
}

void render_state_defaults() {
    render_state.depth_bits = 0;
    render_state.cull_mode = MODE_UNKNOWN;
    render_state.blend_mode = MODE_UNKNOWN;
    apply_opaque_3d_defaults();
}

void blending_on() {
    if (render_state.blend_enabled != 1) {
        render_state.blend_enabled = 1;
        glEnable(GL_BLEND);
        changed();
    }
}

void blending_off() {
    if (render_state.blend_enabled != 0) {
        render_state.blend_enabled = 0;
        glDisable(GL_BLEND);
        changed();
    }
}

void blend_function_additive() {
    if (render_state.blend_function != 1) {
        render_state.blend_function = 1;
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        changed();
    }
}

void blend_function_alpha() {
    if (render_state.blend_function != 0) {
        render_state.blend_function = 0;
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        changed();
    }
}

void culling_on() {
    if (render_state.cull_face_disabled != 0) {
        render_state.cull_face_disabled = 0;
        glEnable(GL_CULL_FACE);
        changed();
    }
}

void set_front_face_clockwise(bool clockwise) {
    const int32_t wanted = clockwise ? 1 : 0;
    if (render_state.front_face_clockwise != wanted) {
        render_state.front_face_clockwise = wanted;
        glFrontFace(clockwise ? GL_CW : GL_CCW);
        changed();
    }
}

void culling_off() {
    if (render_state.cull_face_disabled != 1) {
        render_state.cull_face_disabled = 1;
        glDisable(GL_CULL_FACE);
        changed();
    }
}

void enable_alpha_blending() {
    blending_on();
    blend_function_alpha();
}

void set_blend_mode(int32_t mode) {
    if (render_state.blend_mode == mode) {
        return;
    }
    render_state.blend_mode = mode;
    switch (mode) {
    case BLEND_OPAQUE:
        blending_off();
        break;
    case BLEND_ADDITIVE:
        blending_on();
        blend_function_additive();
        break;
    case BLEND_ALPHA:
        enable_alpha_blending();
        break;
    default:
        // An unknown mode only forgets the recorded one, so the next real
        // request reaches the mirrors again.
        break;
    }
}

void set_cull_mode(int32_t mode) {
    if (render_state.cull_mode == mode) {
        return;
    }
    render_state.cull_mode = mode;
    if (mode == CULL_BACK) {
        culling_on();
    } else if (mode == CULL_NONE) {
        culling_off();
    }
}

void depth_test_on() {
    if (!(render_state.depth_bits & DEPTH_BIT_TEST) ||
        (render_state.depth_unknown & DEPTH_BIT_TEST)) {
        render_state.depth_unknown &= ~DEPTH_BIT_TEST;
        render_state.depth_bits |= DEPTH_BIT_TEST;
        glEnable(GL_DEPTH_TEST);
        changed();
    }
}

void depth_test_off() {
    if ((render_state.depth_bits & DEPTH_BIT_TEST) ||
        (render_state.depth_unknown & DEPTH_BIT_TEST)) {
        render_state.depth_unknown &= ~DEPTH_BIT_TEST;
        render_state.depth_bits &= ~DEPTH_BIT_TEST;
        glDisable(GL_DEPTH_TEST);
        changed();
    }
}

void depth_writes_on() {
    if (!(render_state.depth_bits & DEPTH_BIT_WRITE) ||
        (render_state.depth_unknown & DEPTH_BIT_WRITE)) {
        render_state.depth_unknown &= ~DEPTH_BIT_WRITE;
        render_state.depth_bits |= DEPTH_BIT_WRITE;
        glDepthMask(GL_TRUE);
        changed();
    }
}

void depth_writes_off() {
    if ((render_state.depth_bits & DEPTH_BIT_WRITE) ||
        (render_state.depth_unknown & DEPTH_BIT_WRITE)) {
        render_state.depth_unknown &= ~DEPTH_BIT_WRITE;
        render_state.depth_bits &= ~DEPTH_BIT_WRITE;
        glDepthMask(GL_FALSE);
        changed();
    }
}

void set_viewport(int32_t x, int32_t y, int32_t width, int32_t height) {
    RENDER_STATE& s = render_state;
    if (s.viewport_x != x || s.viewport_y != y || s.viewport_width != width ||
        s.viewport_height != height) {
        s.viewport_x = x;
        s.viewport_y = y;
        s.viewport_width = width;
        s.viewport_height = height;
        glViewport(x, y, width, height);
        changed();
    }
    // The scissor box follows the viewport; the scissor test itself stays off.
    if (s.scissor_x != x || s.scissor_y != y || s.scissor_width != width ||
        s.scissor_height != height) {
        s.scissor_x = x;
        s.scissor_y = y;
        s.scissor_width = width;
        s.scissor_height = height;
        glScissor(x, y, width, height);
        changed();
    }
}

void set_clear_colour(float red, float green, float blue, float alpha) {
    RENDER_STATE& s = render_state;
    // Float comparison on purpose: a NaN never equals the mirror, so it is
    // always passed on.
    if (!(s.clear_red == red && s.clear_green == green && s.clear_blue == blue &&
          s.clear_alpha == alpha)) {
        s.clear_red = red;
        s.clear_green = green;
        s.clear_blue = blue;
        s.clear_alpha = alpha;
        glClearColor(red, green, blue, alpha);
        changed();
    }
}

void clear_frame(float red, float green, float blue) {
    set_clear_colour(red, green, blue, 1.0f);
    depth_writes_on();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    ++frame_stats.clears;
    gl_check();
}

void apply_opaque_3d_defaults() {
    depth_test_on();
    depth_writes_on();
    set_blend_mode(BLEND_OPAQUE);
    set_cull_mode(CULL_BACK);
}

void enter_2d_state() {
    set_cull_mode(CULL_NONE);
    depth_test_off();
    set_blend_mode(BLEND_ALPHA);
}

void leave_2d_state() {
    set_cull_mode(CULL_BACK);
    depth_test_on();
    set_blend_mode(BLEND_OPAQUE);
}
