// The window record: owns the global APP_WINDOW with its SDL window and GL
// context. Relies on SDL for the window and context and on gfx/gl_dialect.h
// for the context attributes and the GL entry points. It is part of the
// device layer because the scene (viewport, 2D projection) and the render
// targets read its size.
#pragma once

#include <SDL.h>

#include <cstdint>

struct APP_WINDOW {
    float clear_red, clear_green, clear_blue;
    int32_t width;  // 1024
    int32_t height; // 600
    SDL_Window* window;
    SDL_GLContext context;
    bool present;    // the loop swaps each frame while true
    int32_t samples; // multisample samples the context really has (0: none)
};

constexpr int32_t APP_WINDOW_WIDTH = 1024;
constexpr int32_t APP_WINDOW_HEIGHT = 600;
constexpr const char* APP_WINDOW_TITLE = "Vexa Engine";

extern APP_WINDOW* app_window;

// Creates the hidden window with a context of the GL dialect in use (OpenGL
// 2.1, or ES 2.0), loads the GL entry points, clears to white and swaps once.
// On failure prints one line naming what failed with SDL's, GLEW's or the
// version check's own text and returns null.
APP_WINDOW* create_app_window(const char* title = APP_WINDOW_TITLE,
                              int32_t width = APP_WINDOW_WIDTH, int32_t height = APP_WINDOW_HEIGHT);

// Sets the window's title (a null title or no window: nothing happens).
void set_window_title(const char* title);
