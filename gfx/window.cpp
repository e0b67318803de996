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
bool create_window_and_context(APP_WINDOW& w, const char* title, uint32_t flags) {
    const int tries[][2] = {{4, 1}, {2, 1}, {0, 1}, {0, 0}};
    for (const auto& t : tries) {
        gl_dialect_context_attributes(t[0]);
        if (!t[1]) {
            SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, 0);
        }
        w.window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w.width,
                                    w.height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | flags);
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

APP_WINDOW* create_app_window(const char* title, int32_t width, int32_t height, uint32_t flags) {
    static APP_WINDOW record;
    APP_WINDOW& w = record;
    w = APP_WINDOW{};
    w.width = width;
    w.height = height;
    w.present = true;
    w.window_width = width;
    w.window_height = height;

    if (!create_window_and_context(w, title, flags)) {
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
    if (flags & SDL_WINDOW_ALLOW_HIGHDPI) {
        int32_t old_width = 0, old_height = 0;
        app_window = &w;
        window_follow_size(old_width, old_height);
    }

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

bool window_follow_size(int32_t& old_width, int32_t& old_height) {
    APP_WINDOW* w = app_window;
    if (!w || !w->window) {
        return false;
    }
    int points_w = 0, points_h = 0, pixels_w = 0, pixels_h = 0;
    SDL_GetWindowSize(w->window, &points_w, &points_h);
    SDL_GL_GetDrawableSize(w->window, &pixels_w, &pixels_h);
    // A minimised window may report nothing: keep the last real size.
    if (points_w <= 0 || points_h <= 0 || pixels_w <= 0 || pixels_h <= 0) {
        return false;
    }
    w->window_width = points_w;
    w->window_height = points_h;
    if (pixels_w == w->width && pixels_h == w->height) {
        return false;
    }
    old_width = w->width;
    old_height = w->height;
    w->width = pixels_w;
    w->height = pixels_h;
    return true;
}
