// 2D shapes against the recording GL stand-in: a frame's shapes of every
// kind and colour gather into one vertex array drawn by one glDrawArrays at
// the next text (so the call order holds), bad sizes and coordinates draw
// nothing, and a full draw starts the next.
#include "tests/support/engine_reset.h"
#include "gfx/frame_stats.h"
#include "scene/camera.h"
#include "scene/shapes.h"
#include "scene/sprite.h"
#include "scene/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using fake_gl::call;
using LOG = std::vector<std::string>;

namespace {

class SHAPES : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_engine_for_scene_tests();
        create_program_set();
        fake_gl::take();
    }
    void TearDown() override {
        scene_reset();
        gl_context_alive = false;
    }
};

int count_calls(const LOG& log, const char* prefix) {
    return int(std::count_if(log.begin(), log.end(), [prefix](const std::string& line) {
        return line.rfind(prefix, 0) == 0;
    }));
}

int draws_in(const LOG& log) {
    return count_calls(log, "glDraw");
}

TEST_F(SHAPES, a_frame_of_shapes_is_one_draw_before_the_text_that_follows) {
    const VECTOR4 red{1, 0, 0, 1}, glass{0, 0.5f, 1, 0.25f};
    const float nan = std::nanf("");
    for (int frame = 0; frame < 2; ++frame) {
        draw_rectangle(10, 10, 40, 20, red);             // 6 vertices
        draw_rectangle_lines(10, 40, 40, 20, 2, glass);  // 4 bands: 24
        draw_rectangle_lines(10, 40, 40, 20, 15, glass); // thick enough to fill: 6
        draw_line(0, 0, 100, 50, 3, red);                // 6
        draw_circle(200, 100, 3, glass);                 // 8 edges: 24
        draw_circle_lines(200, 100, 30, 4, red);         // 48 edges: 288
        // Drawn as nothing: negative or empty sizes, NaN anywhere.
        draw_rectangle(10, 10, -5, 20, red);
        draw_rectangle(nan, 10, 5, 20, red);
        draw_rectangle_lines(10, 10, 5, 5, -1, red);
        draw_line(5, 5, 5, 5, 2, red);
        draw_line(0, 0, 10, nan, 2, red);
        draw_circle(0, 0, -1, red);
        draw_circle_lines(0, 0, 10, 2, VECTOR4{nan, 0, 0, 1});
        EXPECT_EQ(pending_shape_vertices(), 6 + 24 + 6 + 6 + 24 + 288);
        // The first frame grows the array (GL buffer storage); later ones
        // send nothing until the flush.
        EXPECT_EQ(fake_gl::take().empty(), frame == 1);
        draw_text("I", 0, 0, 1); // draws the shapes; the text is queued
        EXPECT_EQ(draws_in(fake_gl::log()), 1);
        flush_text();
        const LOG log = fake_gl::take();
        EXPECT_EQ(pending_shape_vertices(), 0);
        EXPECT_EQ(draws_in(log), 2) << "one for the shapes, one for the text";
        const auto shapes =
            std::find(log.begin(), log.end(), call("glDrawArrays", GLenum(GL_TRIANGLES), 0, 354));
        const auto text =
            std::find(log.begin(), log.end(), call("glDrawArrays", GLenum(GL_TRIANGLES), 0, 42));
        EXPECT_LT(shapes, text) << "shapes asked for first are drawn first";
        EXPECT_NE(text, log.end());
        if (frame == 1) {
            // Steady state: the whole batch is one upload and one draw in the 2D state.
            ASSERT_GE(log.size(), 16u);
            ASSERT_EQ(log[4].rfind("glBindBuffer(34962, ", 0), 0u) << log[4];
            const LOG expected = {
                call("glUseProgram", program_shapes2d->program),
                call("glDisable", GLenum(GL_CULL_FACE)),
                call("glDisable", GLenum(GL_DEPTH_TEST)),
                call("glEnable", GLenum(GL_BLEND)),
                log[4],
                "glBufferSubData(34962, 0, " + std::to_string(354 * sizeof(VERTEX)) + ", data)",
                call("glVertexPointer", 4, GLenum(GL_FLOAT), 88, 0),
                call("glNormalPointer", GLenum(GL_FLOAT), 88, 16),
                call("glClientActiveTexture", GLenum(GL_TEXTURE0)),
                call("glTexCoordPointer", 2, GLenum(GL_FLOAT), 88, 28),
                call("glClientActiveTexture", GLenum(GL_TEXTURE1)),
                call("glTexCoordPointer", 2, GLenum(GL_FLOAT), 88, 36),
                call("glDrawArrays", GLenum(GL_TRIANGLES), 0, 354),
                call("glEnable", GLenum(GL_CULL_FACE)),
                call("glEnable", GLenum(GL_DEPTH_TEST)),
                call("glDisable", GLenum(GL_BLEND)),
            };
            EXPECT_EQ(LOG(log.begin(), log.begin() + 16), expected);
        }
    }
    EXPECT_EQ(frame_stats.draws, 4);

    // Past SHAPE_VERTICES_PER_DRAW the gathered shapes are drawn and a new
    // draw starts: 4 097 rectangles of 6 vertices are two draws.
    for (int i = 0; i < SHAPE_VERTICES_PER_DRAW / 6 + 1; ++i) {
        draw_rectangle(float(i % 100), float(i / 100), 1, 1, red);
    }
    flush_shapes();
    const LOG log = fake_gl::take();
    EXPECT_EQ(draws_in(log), 2);
    EXPECT_NE(std::find(log.begin(), log.end(),
                        call("glDrawArrays", GLenum(GL_TRIANGLES), 0, SHAPE_VERTICES_PER_DRAW)),
              log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), call("glDrawArrays", GLenum(GL_TRIANGLES), 0, 6)),
              log.end());
}

// A sprite's tint goes to GL as 1 - tint once per change: white sprites
// (GLSL's starting 0) never send it, and a rebuilt program is sent it again.
TEST_F(SHAPES, a_sprite_tint_is_sent_once_per_change_and_again_after_a_rebuild) {
    fake_gl::state().uniform_locations["colour_complement"] = 7;
    SPRITE2D sprite(nullptr);
    create_image(drawable_image_texture(&sprite), 8, 8);
    begin_2d_pass();
    draw_sprite_2d(&sprite, 0, 0, 1, 1, 8, 8);
    EXPECT_EQ(count_calls(fake_gl::take(), "glUniform4fv("), 0) << "white is the default";
    sprite.colour[1] = 0.25f;
    sprite.colour[3] = std::nanf(""); // counts as 1
    for (int i = 0; i < 2; ++i) {
        draw_sprite_2d(&sprite, 0, 0, 1, 1, 8, 8, sprite.colour);
    }
    EXPECT_EQ(count_calls(fake_gl::take(), "glUniform4fv("), 1);
    const float expected[4] = {0, 0.75f, 0, 0};
    EXPECT_TRUE(std::equal(expected, expected + 4, program_sprites2d->colour_sent));

    SHADER_PROGRAM* fresh = build_program(new SHADER_PROGRAM, "shaders/2d_sprites_vs.glsl",
                                          "shaders/2d_sprites_fs.glsl");
    swap_program_contents(*program_sprites2d, *fresh);
    current_program = nullptr;
    fake_gl::take();
    draw_sprite_2d(&sprite, 0, 0, 1, 1, 8, 8, sprite.colour);
    const LOG rebuilt = fake_gl::take();
    EXPECT_EQ(count_calls(rebuilt, "glGetUniformLocation("), 1);
    EXPECT_EQ(count_calls(rebuilt, "glUniform4fv("), 1);
    draw_sprite_2d(&sprite, 0, 0, 1, 1, 8, 8); // white again
    EXPECT_EQ(count_calls(fake_gl::take(), "glUniform4fv("), 1);
    end_2d_pass();
    delete fresh;
}

} // namespace
