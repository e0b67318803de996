// Real-GL test fixture: one hidden 1024 x 600 SDL window with an OpenGL 2.1
// context for the whole test binary (Mesa llvmpipe under Xvfb in CI), plus
// pixel read-back. Tests that derive from GL_TEST skip when no context can be
// created, so a plain ctest without a display still runs the rest. Under
// scripts/with-display.sh (and so in the test command) VEXA_REQUIRE_GL is set
// and a missing context is a failure: they can never pass by being skipped.
#pragma once

#include "gfx/gl.h"
#include "tests/support/require_gl.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

// Creates the window and context on first use; false when that failed.
bool gl_fixture_init();
SDL_Window* gl_fixture_window();

// Reads w x h RGBA pixels of the bound framebuffer, bottom row first as GL
// returns them. pixel(x, y) below counts y from the window's top.
std::vector<uint8_t> gl_read_pixels(int x, int y, int w, int h);

struct RGBA {
    int r, g, b, a;
};
// The pixel at window column x and row y counted from the top.
RGBA gl_pixel(int x, int y);

class GL_TEST : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!gl_fixture_init()) {
            GL_SKIP_OR_FAIL("no OpenGL 2.1 context available");
        }
    }
};
