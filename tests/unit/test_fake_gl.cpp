// The recorder itself: the tests of every GL sequence rely on its formatting.
#include "gfx/gl.h"
#include "tests/support/fake_gl.h"

#include <gtest/gtest.h>

TEST(fake_gl, records_calls_in_order_and_counts_error_reads_aside) {
    fake_gl::reset();
    glEnable(GL_BLEND);
    gl_check();
    glClearColor(0.7f, 1.0f, 0.0f, 1.0f);
    glUseProgram(3);
    EXPECT_EQ(fake_gl::take(), (std::vector<std::string>{
                                   "glEnable(3042)",
                                   "glClearColor(0.699999988, 1, 0, 1)",
                                   fake_gl::call("glUseProgram", 3u),
                               }));
    EXPECT_EQ(fake_gl::state().error_reads, 1);
    EXPECT_TRUE(fake_gl::log().empty());
}

TEST(fake_gl, hands_out_names_from_one_per_kind) {
    fake_gl::reset();
    GLuint t[2] = {0, 0}, b = 0;
    glGenTextures(2, t);
    glGenBuffers(1, &b);
    EXPECT_EQ(t[0], 1u);
    EXPECT_EQ(t[1], 2u);
    EXPECT_EQ(b, 1u);
    fake_gl::state().uniform_locations["mvp"] = 7;
    EXPECT_EQ(glGetUniformLocation(1, "mvp"), 7);
    EXPECT_EQ(glGetUniformLocation(1, "absent"), -1);
}
