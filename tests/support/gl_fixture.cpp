// Real-GL test fixture (see gl_fixture.h).
#include "tests/support/gl_fixture.h"

#include <cstdio>

namespace {
SDL_Window* window = nullptr;
SDL_GLContext context = nullptr;
int state = 0; // 0 untried, 1 ready, -1 failed
} // namespace

bool gl_fixture_init() {
    if (state != 0) {
        return state > 0;
    }
    state = -1;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "gl fixture: SDL_Init failed: %s\n", SDL_GetError());
        return false;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    window = SDL_CreateWindow("Vexa Engine tests", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                              1024, 600, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) {
        std::fprintf(stderr, "gl fixture: SDL_CreateWindow failed: %s\n", SDL_GetError());
        return false;
    }
    context = SDL_GL_CreateContext(window);
    if (!context || SDL_GL_MakeCurrent(window, context) != 0) {
        std::fprintf(stderr, "gl fixture: no GL context: %s\n", SDL_GetError());
        return false;
    }
    glewExperimental = GL_TRUE;
    GLenum err = glewInit();
    if (err != GLEW_OK) {
        std::fprintf(stderr, "gl fixture: glewInit failed: %s\n", glewGetErrorString(err));
        return false;
    }
    glGetError(); // glewInit may leave GL_INVALID_ENUM behind
    gl_context_alive = true;
    state = 1;
    return true;
}

SDL_Window* gl_fixture_window() {
    return window;
}

std::vector<uint8_t> gl_read_pixels(int x, int y, int w, int h) {
    std::vector<uint8_t> out(size_t(w) * size_t(h) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    return out;
}

RGBA gl_pixel(int x, int y) {
    auto p = gl_read_pixels(x, 600 - 1 - y, 1, 1);
    return RGBA{p[0], p[1], p[2], p[3]};
}
