// Render targets on real OpenGL: the framebuffers built by the engine are
// complete, take clears and draws through the engine's buffers, land in their
// colour texture and leave the window's framebuffer alone.
#include "gfx/handle_table.h"
#include "gfx/render_target.h"
#include "gfx/vertex_buffer.h"
#include "tests/support/gl_fixture.h"

#include <cstdlib>
#include <vector>

namespace {

class RENDER_TARGETS_GL : public GL_TEST {
  protected:
    void SetUp() override {
        GL_TEST::SetUp();
        if (IsSkipped()) {
            return;
        }
        render_targets_reset();
        handle_tables_reset();
        while (glGetError() != GL_NO_ERROR) {
        }
        // Plain fixed-function drawing whatever earlier tests left behind.
        glUseProgram(0);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        glDisable(GL_BLEND);
        glDisable(GL_TEXTURE_2D);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glViewport(0, 0, 1024, 600);
    }
    void TearDown() override {
        if (!gl_context_alive) {
            return;
        }
        // Give the GL objects back and leave the default bindings.
        framebuffer_unbind();
        for (uint32_t slot = 0; slot < texture_table.slots.size(); ++slot) {
            texture_release(slot);
        }
        if (screen_targets.framebuffer != 0) {
            glDeleteFramebuffersEXT(1, &screen_targets.framebuffer);
            glDeleteRenderbuffersEXT(1, &screen_targets.depth_buffer);
        }
        screen_targets.quad_vertices = VERTEXBUFFER{};
        screen_targets.quad_indices = INDEXBUFFER{};
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        glDisableClientState(GL_VERTEX_ARRAY);
        glColor4f(1, 1, 1, 1);
        render_targets_reset();
        handle_tables_reset();
    }
};

void expect_near(RGBA p, int r, int g, int b) {
    EXPECT_NEAR(p.r, r, 1);
    EXPECT_NEAR(p.g, g, 1);
    EXPECT_NEAR(p.b, b, 1);
}

// Fills the left half of the viewport with the current colour through a
// quad in the engine's buffers and vertex format.
void draw_left_half(VERTEXBUFFER& v, INDEXBUFFER& i) {
    v.reserve_quad(USAGE_STATIC);
    i.reserve_quad();
    const float corners[4][2] = {{-1, -1}, {-1, 1}, {0, 1}, {0, -1}};
    for (int k = 0; k < 4; ++k) {
        v.data[k].position[0] = corners[k][0];
        v.data[k].position[1] = corners[k][1];
        v.data[k].position[2] = 0;
        v.data[k].position[3] = 1;
    }
    for (int k = 0; k < 6; ++k) {
        i.data[k] = QUAD_INDICES[k];
    }
    v.upload(4);
    i.upload(6);
    glEnableClientState(GL_VERTEX_ARRAY);
    draw_buffers(v, i);
}

} // namespace

TEST_F(RENDER_TARGETS_GL, screen_framebuffer_is_complete_and_renders_into_its_texture) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);

    create_screen_targets(1024, 600);
    EXPECT_EQ(screen_targets.status, GLenum(GL_FRAMEBUFFER_COMPLETE));
    EXPECT_EQ(bound_framebuffer, 0);

    framebuffer_bind(screen_targets.framebuffer);
    EXPECT_EQ(glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT), GLenum(GL_FRAMEBUFFER_COMPLETE_EXT));
    glClearColor(0.25f, 0.5f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor4f(0, 1, 0, 1);
    VERTEXBUFFER v;
    INDEXBUFFER i;
    draw_left_half(v, i);
    expect_near(gl_pixel(100, 300), 0, 255, 0);
    expect_near(gl_pixel(900, 300), 64, 128, 255);
    framebuffer_unbind();

    // The window's own framebuffer kept its black.
    expect_near(gl_pixel(100, 300), 0, 0, 0);
    expect_near(gl_pixel(900, 300), 0, 0, 0);

    // The picture is in the colour texture.
    std::vector<unsigned char> texels(size_t(1024) * 600 * 4);
    texture_bind(0, screen_targets.colour_texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    auto texel = [&](int x, int y) {
        const unsigned char* p = &texels[(size_t(y) * 1024 + size_t(x)) * 4];
        return RGBA{p[0], p[1], p[2], p[3]};
    };
    expect_near(texel(100, 300), 0, 255, 0);
    expect_near(texel(900, 300), 64, 128, 255);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(RENDER_TARGETS_GL, render_target_made_framebuffer_first_is_complete) {
    RENDER_TARGET t = render_target_create(256, 256);
    EXPECT_EQ(t.status, GLenum(GL_FRAMEBUFFER_COMPLETE));
    framebuffer_bind(t.framebuffer);
    EXPECT_EQ(glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT), GLenum(GL_FRAMEBUFFER_COMPLETE_EXT));
    glViewport(0, 0, 256, 256);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    std::vector<uint8_t> p = gl_read_pixels(128, 128, 1, 1);
    EXPECT_EQ(p[0], 255);
    EXPECT_EQ(p[1], 0);
    framebuffer_unbind();
    glDeleteFramebuffersEXT(1, &t.framebuffer);
    glDeleteRenderbuffersEXT(1, &t.depth_buffer);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
