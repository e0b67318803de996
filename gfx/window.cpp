// Window and GL context creation (see window.h).
#include "gfx/window.h"

#include "gfx/gl.h"
#include "gfx/render_state.h"

#include <cstdio>
#include <cstring>

APP_WINDOW* app_window = nullptr;

namespace {

// Sets the context attributes for one try; samples 0 asks for no multisampling.
void set_attributes(int samples) {
    SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, samples > 0 ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, samples);
}

// A software rasteriser may offer no accelerated or multisample visuals:
// try 4x, then 2x, then no multisampling, then without the accelerated-visual
// requirement.
bool create_window_and_context(APP_WINDOW& w, const char* title) {
    const int tries[][2] = {{4, 1}, {2, 1}, {0, 1}, {0, 0}};
    for (const auto& t : tries) {
        set_attributes(t[0]);
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

// The context must offer OpenGL 2.1 and GLSL 1.20.
bool version_ok(char* why, size_t size) {
    const char* gl = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    const char* sl = reinterpret_cast<const char*>(glGetString(GL_SHADING_LANGUAGE_VERSION));
    int gmaj = 0, gmin = 0, smaj = 0, smin = 0;
    if (gl) {
        std::sscanf(gl, "%d.%d", &gmaj, &gmin);
    }
    if (sl) {
        std::sscanf(sl, "%d.%d", &smaj, &smin);
    }
    if (gmaj * 100 + gmin < 201 || smaj * 100 + smin < 120) {
        std::snprintf(why, size, "OpenGL %s with GLSL %s, need OpenGL 2.1 and GLSL 1.20",
                      gl ? gl : "(unknown)", sl ? sl : "(none)");
        return false;
    }
    return true;
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
        std::fprintf(stderr, "vexa: cannot create the window and its OpenGL context: %s\n",
                     SDL_GetError());
        return nullptr;
    }
    if (SDL_GL_MakeCurrent(w.window, w.context) != 0) {
        std::fprintf(stderr, "vexa: cannot make the OpenGL context current: %s\n", SDL_GetError());
        return nullptr;
    }
    // A refused swap interval is not an error: the pacer alone holds the rate.
    SDL_GL_SetSwapInterval(1);
    glewExperimental = GL_TRUE;
    const GLenum glew = glewInit();
    if (glew != GLEW_OK) {
        std::fprintf(stderr, "vexa: cannot load the OpenGL entry points (GLEW): %s\n",
                     reinterpret_cast<const char*>(glewGetErrorString(glew)));
        return nullptr;
    }
    // glewInit may leave an error behind on some drivers.
    glGetError();
    char why[256];
    if (!version_ok(why, sizeof why)) {
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
