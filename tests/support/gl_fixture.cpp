// Real-GL test fixture (see gl_fixture.h).
#include "tests/support/gl_fixture.h"

#include "gfx/gl_dialect.h"

#include <cstdio>
#include <cstdlib>

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
    // VEXA_GL=gles2 runs the suite on the OpenGL ES dialect, as it does the programs.
    if (!gl_dialect_parse(std::getenv("VEXA_GL"), gl_dialect)) {
        std::fprintf(stderr, "gl fixture: VEXA_GL names no GL dialect\n");
        return false;
    }
    gl_dialect_context_attributes(0);
    if (!gl_dialect_es()) {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    }
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
    char why[256];
    if (!gl_dialect_load_entry_points(why, sizeof why)) {
        std::fprintf(stderr, "gl fixture: %s\n", why);
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
