// Render targets against the recording GL stand-in: the framebuffer cache,
// what create_screen_targets builds and in which order, the screen quad's
// exact vertices, and the completeness query on drivers without the core
// entry point.
#include "gfx/frame_stats.h"
#include "gfx/handle_table.h"
#include "gfx/render_target.h"
#include "tests/support/debug_death.h"
#include "tests/support/fake_gl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using fake_gl::call;
using LOG = std::vector<std::string>;

namespace {

class RENDER_TARGETS : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_gl::reset();
        render_targets_reset();
        handle_tables_reset();
        frame_stats_reset();
        gl_context_alive = true;
    }
    void TearDown() override {
        gl_context_alive = false;
        __glewCheckFramebufferStatus = saved_core;
        __glewCheckFramebufferStatusEXT = saved_ext;
    }
    PFNGLCHECKFRAMEBUFFERSTATUSPROC saved_core = __glewCheckFramebufferStatus;
    PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC saved_ext = __glewCheckFramebufferStatusEXT;
};

// The lines of log from the first one equal to first, n of them.
LOG lines_from(const LOG& log, const std::string& first, size_t n) {
    auto it = std::find(log.begin(), log.end(), first);
    size_t left = size_t(log.end() - it);
    return LOG(it, it + std::min(n, left));
}

// The framebuffer half of the render-target pattern for a w x h target.
LOG framebuffer_calls(int w, int h) {
    return LOG{
        call("glGenFramebuffersEXT", 1),
        call("glBindFramebufferEXT", GLenum(GL_FRAMEBUFFER_EXT), 1u),
        call("glGenRenderbuffersEXT", 1),
        call("glBindRenderbufferEXT", GLenum(GL_RENDERBUFFER_EXT), 1u),
        call("glRenderbufferStorageEXT", GLenum(GL_RENDERBUFFER_EXT), GLenum(GL_DEPTH_COMPONENT), w,
             h),
        call("glFramebufferRenderbufferEXT", GLenum(GL_FRAMEBUFFER_EXT),
             GLenum(GL_DEPTH_ATTACHMENT_EXT), GLenum(GL_RENDERBUFFER_EXT), 1u),
    };
}

LOG attach_calls(GLuint colour) {
    return LOG{
        call("glFramebufferTexture2DEXT", GLenum(GL_FRAMEBUFFER_EXT),
             GLenum(GL_COLOR_ATTACHMENT0_EXT), GLenum(GL_TEXTURE_2D), colour, 0),
        call("glCheckFramebufferStatus", GLenum(GL_FRAMEBUFFER)),
        call("glBindFramebufferEXT", GLenum(GL_FRAMEBUFFER_EXT), 0u),
    };
}

LOG concat(LOG a, const LOG& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST_F(RENDER_TARGETS, framebuffer_cache_starts_unknown_and_skips_repeats) {
    framebuffer_unbind(); // the cache starts at -1, so this reaches GL
    framebuffer_unbind();
    framebuffer_bind(3);
    framebuffer_bind(3);
    framebuffer_unbind();
    EXPECT_EQ(fake_gl::take(), (LOG{
                                   call("glBindFramebufferEXT", GLenum(GL_FRAMEBUFFER_EXT), 0u),
                                   call("glBindFramebufferEXT", GLenum(GL_FRAMEBUFFER_EXT), 3u),
                                   call("glBindFramebufferEXT", GLenum(GL_FRAMEBUFFER_EXT), 0u),
                               }));
    EXPECT_EQ(bound_framebuffer, 0);
}

TEST_F(RENDER_TARGETS, screen_targets_make_three_textures_then_the_framebuffer_and_the_quad) {
    create_screen_targets(1024, 600);
    LOG log = fake_gl::take();

    EXPECT_EQ(screen_targets.colour_texture, 0u);
    EXPECT_EQ(screen_targets.second_texture, 1u);
    EXPECT_EQ(screen_targets.third_texture, 2u);
    ASSERT_EQ(texture_table.slots.size(), 3u);
    for (const HANDLE_SLOT& s : texture_table.slots) {
        EXPECT_EQ(s.kind, SLOT_TEXTURE);
    }
    EXPECT_EQ(live_texture_count, 3);
    EXPECT_EQ(
        std::count(log.begin(), log.end(),
                   call("glTexImage2D", GLenum(GL_TEXTURE_2D), 0, GLint(GL_RGBA), 1024, 600, 0,
                        GLenum(GL_RGBA), GLenum(GL_UNSIGNED_BYTE), fake_gl::DATA{nullptr})),
        3);

    // All three textures come before the framebuffer, which wraps the first.
    LOG expected = concat(framebuffer_calls(1024, 600), attach_calls(1));
    EXPECT_EQ(lines_from(log, expected[0], expected.size()), expected);
    size_t last_texture = 0, framebuffer = 0;
    for (size_t k = 0; k < log.size(); ++k) {
        if (log[k] == call("glGenTextures", 1)) {
            last_texture = k;
        } else if (log[k] == expected[0]) {
            framebuffer = k;
        }
    }
    EXPECT_LT(last_texture, framebuffer);
    EXPECT_EQ(screen_targets.framebuffer, 1u);
    EXPECT_EQ(screen_targets.depth_buffer, 1u);
    EXPECT_EQ(screen_targets.status, GLenum(GL_FRAMEBUFFER_COMPLETE));
    EXPECT_EQ(bound_framebuffer, 0);

    // The quad: slot 0 of each buffer table, static storage, quad indices.
    EXPECT_EQ(screen_targets.quad_vertices.slot, 0);
    EXPECT_EQ(screen_targets.quad_indices.slot, 0);
    EXPECT_EQ(screen_targets.quad_vertices.usage, USAGE_STATIC);
    EXPECT_EQ(std::vector<uint16_t>(screen_targets.quad_indices.data,
                                    screen_targets.quad_indices.data + 6),
              (std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));
    EXPECT_EQ(log.back(), call("glBufferSubData", GLenum(GL_ARRAY_BUFFER), 0LL, 352LL,
                               fake_gl::DATA{screen_targets.quad_vertices.data}));
}

TEST_F(RENDER_TARGETS, screen_quad_covers_the_window_with_flipped_texture_rows) {
    create_screen_targets(1024, 600);
    // What reached GL with the last upload: the four vertices.
    std::vector<unsigned char> sent = fake_gl::state().last_data;
    ASSERT_EQ(sent.size(), 4 * sizeof(VERTEX));
    VERTEX v[4];
    std::memcpy(v, sent.data(), sent.size());
    const float expected[4][6] = {
        {0, 599, 0, 1, 0, 0},
        {0, 0, 0, 1, 0, 1},
        {1023, 0, 0, 1, 1, 1},
        {1023, 599, 0, 1, 1, 0},
    };
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(v[i].position[0], expected[i][0]);
        EXPECT_EQ(v[i].position[1], expected[i][1]);
        EXPECT_EQ(v[i].position[2], expected[i][2]);
        EXPECT_EQ(v[i].position[3], expected[i][3]);
        EXPECT_EQ(v[i].texcoord0[0], expected[i][4]);
        EXPECT_EQ(v[i].texcoord0[1], expected[i][5]);
        EXPECT_EQ(v[i].normal[0], 0.0f); // untouched fields are zero, not garbage
    }
}

TEST_F(RENDER_TARGETS, empty_window_size_skips_texture_storage_but_builds_the_framebuffer) {
    create_screen_targets(0, 600);
    LOG log = fake_gl::take();
    for (const std::string& line : log) {
        EXPECT_EQ(line.rfind("glTexImage2D", 0), std::string::npos) << line;
    }
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         call("glRenderbufferStorageEXT", GLenum(GL_RENDERBUFFER_EXT),
                              GLenum(GL_DEPTH_COMPONENT), 0, 600)),
              1);
    EXPECT_EQ(live_texture_count, 3);
}

TEST_F(RENDER_TARGETS, scene_target_makes_framebuffer_and_depth_before_its_texture) {
    RENDER_TARGET t = render_target_create(4096, 4096);
    LOG texture = fake_gl::texture_create_calls(1, 4096, 4096, GL_NEAREST_MIPMAP_NEAREST,
                                                GL_NEAREST, GL_CLAMP_TO_EDGE, GL_RGBA, nullptr);
    EXPECT_EQ(fake_gl::take(),
              concat(concat(framebuffer_calls(4096, 4096), texture), attach_calls(1)));
    EXPECT_EQ(t.framebuffer, 1u);
    EXPECT_EQ(t.depth_buffer, 1u);
    EXPECT_EQ(t.colour_texture, 0u);
    EXPECT_EQ(t.status, GLenum(GL_FRAMEBUFFER_COMPLETE));
}

TEST_F(RENDER_TARGETS, completeness_query_falls_back_to_ext_and_never_calls_null) {
    __glewCheckFramebufferStatus = nullptr;
    EXPECT_EQ(framebuffer_check_status(), GLenum(GL_FRAMEBUFFER_COMPLETE_EXT));
    EXPECT_EQ(fake_gl::take(),
              (LOG{call("glCheckFramebufferStatusEXT", GLenum(GL_FRAMEBUFFER_EXT))}));

    __glewCheckFramebufferStatusEXT = nullptr;
    RENDER_TARGET t = render_target_create(8, 8);
    EXPECT_EQ(t.status, 0u);
    for (const std::string& line : fake_gl::take()) {
        EXPECT_EQ(line.rfind("glCheckFramebufferStatus", 0), std::string::npos) << line;
    }
    EXPECT_EQ(bound_framebuffer, 0);
}

TEST_F(RENDER_TARGETS, writing_the_quad_before_it_exists_is_refused) {
    EXPECT_DEBUG_DEATH(write_quad_vertices(0, 0, 1, 1, 0, 0, 1, 1), "before create_screen_targets");
    EXPECT_TRUE(fake_gl::log().empty());
    EXPECT_EQ(screen_targets.quad_vertices.data, nullptr);
}
