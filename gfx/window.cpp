// Window and GL context creation (see window.h).
#include "gfx/window.h"

#include "gfx/gl.h"
#include "gfx/gl_dialect.h"
#include "gfx/render_state.h"

#include <cstdio>

APP_WINDOW* app_window = nullptr;

namespace {

// A software rasteriser may offer no accelerated or multisample visuals:
// try 4x, then 2x, then no multisampling, then without the accelerated-visual
// requirement.
bool create_window_and_context(APP_WINDOW& w, const char* title) {
    const int tries[][2] = {{4, 1}, {2, 1}, {0, 1}, {0, 0}};
    for (const auto& t : tries) {
        gl_dialect_context_attributes(t[0]);
        if (!t[1]) {
            SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, 0);
        }
        w.window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w.width,
                                    w.height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!w.window) {
            continue;
        }
        w.context = SDL_GL_CreateContext(w.window);
        if (w.context) {
            return true;
        }
        SDL_DestroyWindow(w.window);
        w.window = nullptr;
    }
    return false;
}

} // namespace

APP_WINDOW* create_app_window(const char* title, int32_t width, int32_t height) {
    static APP_WINDOW record;
    APP_WINDOW& w = record;
    w = APP_WINDOW{};
    w.width = width;
    w.height = height;
    w.present = true;

    if (!create_window_and_context(w, title)) {
        std::fprintf(stderr, "vexa: cannot create the window and its %s context: %s\n",
                     gl_dialect_es() ? "OpenGL ES 2.0" : "OpenGL", SDL_GetError());
        return nullptr;
    }
    if (SDL_GL_MakeCurrent(w.window, w.context) != 0) {
        std::fprintf(stderr, "vexa: cannot make the OpenGL context current: %s\n", SDL_GetError());
        return nullptr;
    }
    // A refused swap interval is not an error: the pacer alone holds the rate.
    SDL_GL_SetSwapInterval(1);
    char why[256];
    if (!gl_dialect_load_entry_points(why, sizeof why)) {
        std::fprintf(stderr, "vexa: cannot load the OpenGL entry points: %s\n", why);
        return nullptr;
    }
    if (!gl_dialect_version_ok(why, sizeof why)) {
        std::fprintf(stderr, "vexa: the OpenGL context is too old: %s\n", why);
        return nullptr;
    }
    gl_context_alive = true;
    int buffers = 0, samples = 0;
    SDL_GL_GetAttribute(SDL_GL_MULTISAMPLEBUFFERS, &buffers);
    SDL_GL_GetAttribute(SDL_GL_MULTISAMPLESAMPLES, &samples);
    w.samples = buffers > 0 ? samples : 0;

    w.clear_red = w.clear_green = w.clear_blue = 0.7f;
    clear_frame(1.0f, 1.0f, 1.0f);
    SDL_GL_SwapWindow(w.window);
    app_window = &w;
    return &w;
}

void set_window_title(const char* title) {
    if (app_window && app_window->window && title) {
        SDL_SetWindowTitle(app_window->window, title);
    }
}
