// The render-state cache: owns the fixed-function GL state that changes while
// drawing (blending, face culling, depth test and writes, viewport, scissor,
// clear colour) and the one-time GL set-up. Every change of these states goes
// through here so a GL call is issued only when the state really differs.
#pragma once

#include <cstdint>

// Named modes callers request. MODE_UNKNOWN matches no request, so the first
// request of every mode reaches GL.
enum : int32_t {
    BLEND_OPAQUE = 0,
    BLEND_ADDITIVE = 1,
    BLEND_ALPHA = 2,
    CULL_BACK = 1,
    CULL_NONE = 2,
    DEPTH_TEST_ONLY = 1,
    DEPTH_WRITE_ONLY = 2,
    DEPTH_TEST_WRITE = 3,
    MODE_UNKNOWN = 16,
};

// Bits of RENDER_STATE::depth_bits.
constexpr uint32_t DEPTH_BIT_TEST = 1u << 0;
constexpr uint32_t DEPTH_BIT_WRITE = 1u << 1;

struct RENDER_STATE {
    uint32_t depth_bits;
    int32_t cull_mode;
    int32_t blend_mode;
    int32_t viewport_x, viewport_y, viewport_width, viewport_height;
    int32_t scissor_x, scissor_y, scissor_width, scissor_height;
    // Mirrors of single GL switches; -1 is unknown.
    int32_t cull_face_disabled;
    int32_t blend_function; // 0: alpha (SRC_ALPHA, ONE_MINUS_SRC_ALPHA); 1: additive
    int32_t blend_enabled;
    float clear_red, clear_green, clear_blue, clear_alpha;
    // Front-face winding mirror: 0 counter-clockwise (GL's default, and what
    // GL set-up asks for), 1 clockwise (a mirrored draw), -1 unknown.
    int32_t front_face_clockwise;
    // Bits of depth_bits whose GL state is unknown (render_state_forget): the
    // next request for either value reaches GL.
    uint32_t depth_unknown;
};

extern RENDER_STATE render_state;

// Restores the cache to its state at process start: every mirror unknown.
void render_state_reset();
// After GL calls made behind the cache's back (a user interface library, a
// program's own GL): every mode and mirror, the depth switches included,
// becomes unknown, so the next request of any value reaches GL. No GL call.
void render_state_forget();

// One-time GL set-up at start-up (multisampling, polygon smoothing, front
// face, the client arrays of the engine's vertex format). GL_MULTISAMPLE is
// enabled only when the context has multisample buffers.
void gl_setup(bool multisample = true);
// Engine start-up step: depth bits cleared, modes unknown, then the opaque 3D
// defaults, which therefore all reach GL.
void render_state_defaults();

void set_blend_mode(int32_t mode);
void set_cull_mode(int32_t mode);

// Mirror-level switches: change GL and the mirror but not the recorded mode.
void blending_on();
void blending_off();
void blend_function_additive();
void blend_function_alpha();
void culling_on();
void culling_off();
// Clockwise front faces for a draw whose world matrix mirrors (negative
// determinant), so it is lit and culled like its original; counter-clockwise
// otherwise. GL is called only when the winding changes.
void set_front_face_clockwise(bool clockwise);
// Blending on with the alpha function; the recorded blend mode is untouched.
void enable_alpha_blending();

void depth_test_on();
void depth_test_off();
void depth_writes_on();
void depth_writes_off();

// Sets the viewport and, independently cached, a scissor box equal to it.
void set_viewport(int32_t x, int32_t y, int32_t width, int32_t height);
void set_clear_colour(float red, float green, float blue, float alpha);
// Clears colour and depth; turns depth writes on first because glClear
// honours the depth mask.
void clear_frame(float red, float green, float blue);

void apply_opaque_3d_defaults();
// The render-state halves of the 2D pass.
void enter_2d_state();
void leave_2d_state();
