// The render-state cache, call by call against the recording GL stand-in.
#include "gfx/gl.h"
#include "gfx/render_state.h"
#include "tests/support/fake_gl.h"

#include <gtest/gtest.h>

#include <cmath>

using fake_gl::call;
using LOG = std::vector<std::string>;

namespace {
class RENDER_STATE_TEST : public ::testing::Test {
  protected:
    void SetUp() override {
        render_state_reset();
        fake_gl::reset();
    }
};
} // namespace

TEST_F(RENDER_STATE_TEST, gl_setup_enables_the_vertex_format_arrays_and_leaves_client_unit_1) {
    gl_setup(true);
    EXPECT_EQ(fake_gl::take(), (LOG{
                                   call("glEnable", GL_MULTISAMPLE),
                                   call("glHint", GL_POLYGON_SMOOTH_HINT, GL_NICEST),
                                   call("glEnable", GL_POLYGON_SMOOTH),
                                   call("glFrontFace", GL_CCW),
                                   call("glEnableClientState", GL_VERTEX_ARRAY),
                                   call("glEnableClientState", GL_NORMAL_ARRAY),
                                   call("glClientActiveTexture", GL_TEXTURE0),
                                   call("glEnableClientState", GL_TEXTURE_COORD_ARRAY),
                                   call("glClientActiveTexture", GL_TEXTURE1),
                                   call("glEnableClientState", GL_TEXTURE_COORD_ARRAY),
                               }));
    EXPECT_EQ(fake_gl::state().error_reads, 7);
    gl_setup(false);
    EXPECT_EQ(fake_gl::take().front(), call("glHint", GL_POLYGON_SMOOTH_HINT, GL_NICEST));
}

TEST_F(RENDER_STATE_TEST, start_up_defaults_reach_gl_because_every_mode_starts_unknown) {
    render_state_defaults();
    EXPECT_EQ(fake_gl::take(), (LOG{
                                   call("glEnable", GL_DEPTH_TEST),
                                   call("glDepthMask", GLboolean(GL_TRUE)),
                                   call("glDisable", GL_BLEND),
                                   call("glEnable", GL_CULL_FACE),
                               }));
    render_state_defaults();
    // Modes are forgotten, but the mirrors remember GL: nothing is resent
    // except the depth bits, which the defaults clear on purpose.
    EXPECT_EQ(fake_gl::take(), (LOG{
                                   call("glEnable", GL_DEPTH_TEST),
                                   call("glDepthMask", GLboolean(GL_TRUE)),
                               }));
}

TEST_F(RENDER_STATE_TEST, blend_mode_changes_issue_only_the_switches_that_differ) {
    set_blend_mode(BLEND_ADDITIVE);
    EXPECT_EQ(fake_gl::take(),
              (LOG{call("glEnable", GL_BLEND), call("glBlendFunc", GL_SRC_ALPHA, GL_ONE)}));
    set_blend_mode(BLEND_ADDITIVE);
    EXPECT_TRUE(fake_gl::take().empty());

    set_blend_mode(BLEND_OPAQUE);
    set_blend_mode(BLEND_ALPHA);
    EXPECT_EQ(fake_gl::take(), (LOG{call("glDisable", GL_BLEND), call("glEnable", GL_BLEND),
                                    call("glBlendFunc", GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)}));

    set_blend_mode(BLEND_ADDITIVE);
    set_blend_mode(BLEND_OPAQUE);
    fake_gl::take();
    // The additive function is still set in GL: only blending is re-enabled.
    set_blend_mode(BLEND_ADDITIVE);
    EXPECT_EQ(fake_gl::take(), (LOG{call("glEnable", GL_BLEND)}));
}

TEST_F(RENDER_STATE_TEST, mirror_level_changes_leave_the_recorded_mode_alone) {
    set_blend_mode(BLEND_OPAQUE);
    enable_alpha_blending();
    fake_gl::take();
    EXPECT_EQ(render_state.blend_mode, BLEND_OPAQUE);
    // The recorded mode still matches, so GL keeps what the mirror-level caller set.
    set_blend_mode(BLEND_OPAQUE);
    EXPECT_TRUE(fake_gl::take().empty());
    EXPECT_EQ(render_state.blend_enabled, 1);

    set_cull_mode(CULL_BACK);
    culling_off();
    set_cull_mode(CULL_BACK);
    EXPECT_EQ(fake_gl::take(),
              (LOG{call("glEnable", GL_CULL_FACE), call("glDisable", GL_CULL_FACE)}));
}

TEST_F(RENDER_STATE_TEST, clear_turns_depth_writes_on_first_and_keeps_them_on) {
    depth_writes_off();
    fake_gl::take();
    clear_frame(1.0f, 0.0f, 0.0f);
    EXPECT_EQ(fake_gl::take(), (LOG{
                                   call("glClearColor", 1.0f, 0.0f, 0.0f, 1.0f),
                                   call("glDepthMask", GLboolean(GL_TRUE)),
                                   call("glClear", GLbitfield(0x4100)),
                               }));
    clear_frame(1.0f, 0.0f, 0.0f);
    EXPECT_EQ(fake_gl::take(), (LOG{call("glClear", GLbitfield(0x4100))}));
    EXPECT_TRUE(render_state.depth_bits & DEPTH_BIT_WRITE);
}

TEST_F(RENDER_STATE_TEST, viewport_scissor_and_clear_colour_are_sent_only_on_change) {
    set_viewport(0, 0, 1024, 600);
    set_viewport(0, 0, 1024, 600);
    EXPECT_EQ(fake_gl::take(),
              (LOG{call("glViewport", 0, 0, 1024, 600), call("glScissor", 0, 0, 1024, 600)}));
    set_viewport(0, 0, 4096, 4096);
    EXPECT_EQ(fake_gl::take().size(), 2u);

    set_clear_colour(0.5f, 0.5f, 0.5f, 1.0f);
    set_clear_colour(0.5f, 0.5f, 0.5f, 1.0f);
    EXPECT_EQ(fake_gl::take().size(), 1u);
    // A NaN never compares equal, so it is always passed on.
    set_clear_colour(NAN, 0.5f, 0.5f, 1.0f);
    set_clear_colour(NAN, 0.5f, 0.5f, 1.0f);
    EXPECT_EQ(fake_gl::take().size(), 2u);
}

TEST_F(RENDER_STATE_TEST, the_2d_state_round_trip_ends_opaque_3d_with_depth_writes_unchanged) {
    apply_opaque_3d_defaults();
    depth_writes_off();
    fake_gl::take();
    enter_2d_state();
    EXPECT_EQ(fake_gl::take(), (LOG{
                                   call("glDisable", GL_CULL_FACE),
                                   call("glDisable", GL_DEPTH_TEST),
                                   call("glEnable", GL_BLEND),
                                   call("glBlendFunc", GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA),
                               }));
    leave_2d_state();
    EXPECT_EQ(fake_gl::take(), (LOG{
                                   call("glEnable", GL_CULL_FACE),
                                   call("glEnable", GL_DEPTH_TEST),
                                   call("glDisable", GL_BLEND),
                               }));
    EXPECT_EQ(render_state.blend_mode, BLEND_OPAQUE);
    EXPECT_EQ(render_state.cull_mode, CULL_BACK);
    EXPECT_FALSE(render_state.depth_bits & DEPTH_BIT_WRITE);
}
