// The demonstration through the real program start-up on real GL (Mesa
// llvmpipe under Xvfb): the texture GL holds after a frame is the computed
// picture, the picture is the scalar reference's, and the window shows it.
#include "app/runtime.h"
#include "gfx/window.h"
#include "demo/demo.h"
#include "demo/fractal.h"
#include "gfx/gl.h"
#include "gfx/handle_table.h"
#include "scene/texture.h"
#include "tests/support/require_gl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool started = false;
std::vector<uint8_t> window_pixels; // bottom row first, as GL returns them

void capture_window() {
    const int w = app_window->width, h = app_window->height;
    window_pixels.assign(size_t(w) * size_t(h) * 4, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, window_pixels.data());
}

// The picture the scalar reference computes for frame n of a fresh run.
std::vector<uint32_t> reference_picture(int frame, int width, int height) {
    FRACTAL_DEMO state;
    FRACTAL_FRAME f{};
    for (int i = 0; i < frame; ++i) {
        f = fractal_frame_advance(state, true, width, height);
    }
    std::vector<uint32_t> pixels(size_t(width) * size_t(height));
    fractal_render(f, pixels.data(), width, height, FRACTAL_SCALAR);
    return pixels;
}

class DEMO_GL : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        started = app_startup(demo_application());
        before_present_hook = capture_window;
    }
    void SetUp() override {
        if (!started) {
            GL_SKIP_OR_FAIL("the program could not start (no display?)");
        }
    }
};

} // namespace

TEST_F(DEMO_GL, after_a_real_frame_gl_holds_exactly_the_scalar_reference_picture) {
    ASSERT_EQ(run_loop(1), 1);
    int w = 0, h = 0;
    const uint32_t* picture = demo_picture(&w, &h);
    ASSERT_NE(picture, nullptr);
    ASSERT_EQ(w, 1024);
    ASSERT_EQ(h, 600);
    const std::vector<uint32_t> reference = reference_picture(1, w, h);
    EXPECT_EQ(std::memcmp(picture, reference.data(), reference.size() * 4), 0);

    TEXTURE* texture = demo_texture();
    ASSERT_NE(texture, nullptr);
    std::vector<uint32_t> from_gl(size_t(w) * size_t(h), 0);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture_gl_name(uint32_t(texture->slot)));
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, from_gl.data());
    // Leave the engine's bind cache true to GL.
    glBindTexture(GL_TEXTURE_2D, bind_cache.textures[0]);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(std::memcmp(from_gl.data(), reference.data(), reference.size() * 4), 0);
}

TEST_F(DEMO_GL, the_window_shows_the_picture_first_row_at_the_top_within_filtering) {
    ASSERT_GE(run_loop(2), 1);
    int w = 0, h = 0;
    const uint32_t* picture = demo_picture(&w, &h);
    ASSERT_NE(picture, nullptr);
    ASSERT_EQ(window_pixels.size(), size_t(w) * size_t(h) * 4);
    // The sprite spans window pixels 0..w-1 with linear filtering: a window
    // pixel lies between the texels around the same position. Compare each
    // sampled pixel with the range of the 3 x 3 texels around it.
    int checked = 0, outside = 0;
    for (int y = 1; y < h - 1; y += 7) {
        for (int x = 1; x < w - 1; x += 5) {
            const uint8_t* p = &window_pixels[(size_t(h - 1 - y) * size_t(w) + size_t(x)) * 4];
            for (int c = 0; c < 3; ++c) {
                int lo = 255, hi = 0;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const uint32_t t = picture[size_t(y + dy) * size_t(w) + size_t(x + dx)];
                        const int v = int((t >> (8 * c)) & 0xFF);
                        lo = std::min(lo, v);
                        hi = std::max(hi, v);
                    }
                }
                ++checked;
                if (p[c] + 2 < lo || p[c] > hi + 2) {
                    ++outside;
                }
            }
        }
    }
    EXPECT_GT(checked, 10000);
    EXPECT_EQ(outside, 0) << outside << " of " << checked << " channel samples off the picture";
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
