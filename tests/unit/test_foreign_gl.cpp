// After GL drawn behind the engine's back (Dear ImGui's pass), the engine
// forgets its GL caches: every request it had cached reaches GL again, and
// forgetting itself sends nothing.
#include "app/foreign_gl.h"
#include "scene/uniforms.h"
#include "tests/support/engine_reset.h"

#include <gtest/gtest.h>

#include <algorithm>

using fake_gl::call;
using LOG = std::vector<std::string>;

TEST(FOREIGN_GL, after_forgetting_every_cached_request_reaches_gl_again) {
    reset_engine_for_scene_tests();
    const uint32_t texture =
        texture_create(4, 4, GL_LINEAR, GL_LINEAR, GL_REPEAT, GL_RGBA, nullptr);
    const uint32_t vertices = slot_alloc(vertex_buffer_table);
    const uint32_t indices = slot_alloc(index_buffer_table);
    vertex_buffer_table.slots[vertices] = {SLOT_VERTEX_BUFFER, 21};
    index_buffer_table.slots[indices] = {SLOT_INDEX_BUFFER, 22};
    SHADER_PROGRAM program;
    program.program = 9;
    const GLuint texture_name = texture_gl_name(texture);
    // Both values of each depth switch, so an unknown bit must reach GL
    // whichever value the mirror held.
    auto requests = [&](bool depth) {
        set_blend_mode(BLEND_ALPHA);
        set_cull_mode(CULL_NONE);
        depth ? depth_test_on() : depth_test_off();
        depth ? depth_writes_on() : depth_writes_off();
        set_front_face_clockwise(false);
        set_viewport(0, 0, 64, 32);
        set_clear_colour(0.25f, 0.5f, 0.75f, 1.0f);
        texture_bind(1, texture);
        texture_bind(0, texture);
        vertex_buffer_bind(vertices);
        index_buffer_bind(indices);
        framebuffer_bind(5);
        use_program(&program);
    };
    for (bool depth : {true, false}) {
        requests(depth);
        fake_gl::take();
        requests(depth);
        EXPECT_TRUE(fake_gl::take().empty()) << "cached requests made GL calls";

        forget_engine_gl_state();
        EXPECT_TRUE(fake_gl::take().empty()) << "forgetting made GL calls";
        requests(depth);
        const LOG log = fake_gl::take();
        const GLboolean mask = depth ? GL_TRUE : GL_FALSE;
        for (const std::string& wanted : {
                 call("glEnable", GL_BLEND),
                 call("glBlendFunc", GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA),
                 call("glDisable", GL_CULL_FACE),
                 call(depth ? "glEnable" : "glDisable", GL_DEPTH_TEST),
                 call("glDepthMask", mask),
                 call("glFrontFace", GL_CCW),
                 call("glViewport", 0, 0, 64, 32),
                 call("glScissor", 0, 0, 64, 32),
                 call("glClearColor", 0.25f, 0.5f, 0.75f, 1.0f),
                 call("glActiveTexture", GL_TEXTURE1),
                 call("glActiveTexture", GL_TEXTURE0),
                 call("glBindTexture", GL_TEXTURE_2D, texture_name),
                 call("glBindBuffer", GL_ARRAY_BUFFER, 21u),
                 call("glBindBuffer", GL_ELEMENT_ARRAY_BUFFER, 22u),
                 call("glUseProgram", 9u),
             }) {
            EXPECT_NE(std::find(log.begin(), log.end(), wanted), log.end())
                << wanted << " did not reach GL after the caches were forgotten";
        }
        EXPECT_EQ(std::count_if(log.begin(), log.end(),
                                [](const std::string& line) {
                                    return line.rfind("glBindFramebuffer", 0) == 0;
                                }),
                  1);
    }
}
