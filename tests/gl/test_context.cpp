// The real-GL fixture gives an OpenGL 2.1 context that draws and reads back.
#include "tests/support/gl_fixture.h"

#include <cstdio>
#include <cstring>

using CONTEXT = GL_TEST;

TEST_F(CONTEXT, provides_gl_2_1_and_reads_back_a_cleared_frame) {
    int major = 0, minor = 0;
    std::sscanf(reinterpret_cast<const char*>(glGetString(GL_VERSION)), "%d.%d", &major, &minor);
    EXPECT_GE(major * 10 + minor, 21);
    glViewport(0, 0, 1024, 600);
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    RGBA p = gl_pixel(10, 10);
    EXPECT_EQ(p.r, 0);
    EXPECT_EQ(p.g, 255);
    EXPECT_EQ(p.b, 0);
}
