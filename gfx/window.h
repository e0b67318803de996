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
    int32_t width;  // drawable pixels; 1024 unless resized or high-DPI
    int32_t height; // drawable pixels; 600 unless resized or high-DPI
    SDL_Window* window;
    SDL_GLContext context;
    bool present;    // the loop swaps each frame while true
    int32_t samples; // multisample samples the context really has (0: none)
    // The window's size in screen points, where the mouse is reported; the
    // same as width and height unless the window draws at high DPI.
    int32_t window_width, window_height;
};

constexpr int32_t APP_WINDOW_WIDTH = 1024;
constexpr int32_t APP_WINDOW_HEIGHT = 600;
constexpr const char* APP_WINDOW_TITLE = "Vexa Engine";

extern APP_WINDOW* app_window;

// Creates the hidden window with a context of the GL dialect in use (OpenGL
// 2.1, or ES 2.0), loads the GL entry points, clears to white and swaps once.
// On failure prints one line naming what failed with SDL's, GLEW's or the
// version check's own text and returns null.
// flags adds SDL window flags (SDL_WINDOW_RESIZABLE, SDL_WINDOW_ALLOW_HIGHDPI);
// width and height are in screen points, and the record's width and height
// are the drawable's pixels.
APP_WINDOW* create_app_window(const char* title = APP_WINDOW_TITLE,
                              int32_t width = APP_WINDOW_WIDTH, int32_t height = APP_WINDOW_HEIGHT,
                              uint32_t flags = 0);

// Takes the window's current drawable and point sizes into the record (after
// the user resized it or it moved to a display of another density). True
// when the drawable size changed; old_width and old_height then hold the
// previous one. No GL call.
bool window_follow_size(int32_t& old_width, int32_t& old_height);

// Sets the window's title (a null title or no window: nothing happens).
void set_window_title(const char* title);
