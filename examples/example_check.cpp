// Test support linked into each example; not part of what the examples show.
// Inert unless the test command names the example's check in VEXA_CHECK
// (cube, model, sprite, lights or shapes, below): then the example runs
// VEXA_CHECK_FRAMES loop passes (300 by default), its last frame is read back just before it
// is presented and checked, and a frame that fails ends the program with one
// line and status 1; one that passes ends the loop, and app_run returns 0
// (a loop that ends sooner is a failure too).
// VEXA_CHECK_HOLD=KEY (an SDL key name such as Right) holds that key down
// from the second pass on, as a user would. VEXA_CHECK_PICTURE=FILE also
// writes the frame there (binary PPM). Relies on the runtime's before-present
// hook and quit flag.
#include "app/input.h"
#include "app/runtime.h"
#include "gfx/gl.h"
#include "gfx/gl_dialect.h"
#include "gfx/window.h"

#include <SDL.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The frame as read back: width x height RGBA pixels, row 0 at the bottom.
struct FRAME {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;

    // The pixel at (x, y) counted from the top left, as the window is.
    const uint8_t* at(int x, int y) const {
        return &rgba[(size_t(height - 1 - y) * size_t(width) + size_t(x)) * 4];
    }
    // Pixels of exactly the colour (red, green, blue) in the rectangle.
    int count(int x, int y, int w, int h, const uint8_t (&colour)[3]) const {
        int n = 0;
        for (int row = y; row < y + h; ++row) {
            for (int column = x; column < x + w; ++column) {
                n += std::memcmp(at(column, row), colour, 3) == 0;
            }
        }
        return n;
    }
    // Distinct colours in the rectangle, counted up to limit.
    int colours(int x, int y, int w, int h, size_t limit = 8) const {
        std::vector<uint32_t> seen;
        for (int row = y; row < y + h && seen.size() < limit; ++row) {
            for (int column = x; column < x + w && seen.size() < limit; ++column) {
                uint32_t c;
                std::memcpy(&c, at(column, row), 4);
                bool known = false;
                for (uint32_t s : seen) {
                    known = known || s == c;
                }
                if (!known) {
                    seen.push_back(c);
                }
            }
        }
        return int(seen.size());
    }
};

// Each check: null when the frame is as the example draws it, else why not.

// examples/cube.cpp: the lit, textured cube fills the middle of the window.
const char* check_cube(const FRAME& frame) {
    return frame.colours(462, 250, 100, 100) < 8 ? "no lit cube in the middle" : nullptr;
}

// examples/model.cpp: a shaded model fills the middle of the window.
const char* check_model(const FRAME& frame) {
    return frame.colours(412, 200, 200, 200) < 8 ? "no shaded model in the middle" : nullptr;
}

// examples/sprite.cpp, with Right held: the yellow square has left its
// starting place (x 100, y 276) for the right, whole; the text is drawn.
const char* check_sprite(const FRAME& frame) {
    const uint8_t yellow[3] = {255, 210, 0}, white[3] = {255, 255, 255};
    if (frame.count(0, 250, 300, 100, yellow) ||
        frame.count(300, 250, 724, 100, yellow) < 48 * 48) {
        return "the square did not move right with the key held";
    }
    return frame.count(10, 10, 560, 16, white) < 100 ? "no text" : nullptr;
}

// examples/lights.cpp: the panel shows the lit scene, and both lights'
// colours reach the floor.
const char* check_lights(const FRAME& frame) {
    if (frame.colours(758, 10, 256, 256) < 8) {
        return "the panel does not show the scene";
    }
    int reddish = 0, bluish = 0;
    for (int y = 300; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            const uint8_t* p = frame.at(x, y);
            reddish += p[0] > p[2] + 40;
            bluish += p[2] > p[0] + 40;
        }
    }
    return reddish < 1000 || bluish < 1000 ? "the two lights do not both show" : nullptr;
}

// examples/shapes.cpp: the orange ball in the middle of the blue panel, and
// the TrueType caption lit in white at the top left.
const char* check_shapes(const FRAME& frame) {
    const uint8_t ball[3] = {255, 153, 51}, panel[3] = {51, 51, 102}, white[3] = {255, 255, 255};
    if (frame.count(492, 310, 40, 40, ball) < 1500 ||
        frame.count(600, 420, 100, 100, panel) < 9000) {
        return "no orange ball on the blue panel";
    }
    return frame.count(20, 20, 700, 40, white) < 100 ? "no caption" : nullptr;
}

struct CHECK {
    const char* name;
    const char* (*check)(const FRAME& frame);
};
const CHECK CHECKS[] = {{"cube", check_cube},
                        {"model", check_model},
                        {"sprite", check_sprite},
                        {"lights", check_lights},
                        {"shapes", check_shapes}};

const char* check_name = nullptr;
long frames_wanted = 0, frames_drawn = 0;
const char* held_key = nullptr;

void hold_key(const char* name) {
    SDL_Event event = {};
    event.type = SDL_KEYDOWN;
    event.key.state = SDL_PRESSED;
    event.key.keysym.sym = SDL_GetKeyFromName(name);
    event.key.keysym.scancode = SDL_GetScancodeFromKey(event.key.keysym.sym);
    SDL_PushEvent(&event);
}

const char* check_frame() {
    FRAME frame;
    frame.width = app_window->width;
    frame.height = app_window->height;
    frame.rgba.resize(size_t(frame.width) * size_t(frame.height) * 4);
    gl_read_from_back_buffer(); // glReadBuffer exists in OpenGL 2.1 only, not in ES or WebGL
    glReadPixels(0, 0, frame.width, frame.height, GL_RGBA, GL_UNSIGNED_BYTE, frame.rgba.data());
    if (const char* path = std::getenv("VEXA_CHECK_PICTURE")) {
        if (FILE* file = std::fopen(path, "wb")) {
            std::fprintf(file, "P6 %d %d 255\n", frame.width, frame.height);
            for (int y = 0; y < frame.height; ++y) {
                for (int x = 0; x < frame.width; ++x) {
                    std::fwrite(frame.at(x, y), 1, 3, file);
                }
            }
            std::fclose(file);
        }
    }
    for (const CHECK& check : CHECKS) {
        if (!std::strcmp(check_name, check.name)) {
            return check.check(frame);
        }
    }
    return "there is no such check";
}

void before_present() {
    if (++frames_drawn == 1 && held_key) {
        hold_key(held_key);
    }
    if (frames_drawn < frames_wanted) {
        return;
    }
    if (const char* fault = check_frame()) {
        std::fprintf(stderr, "%s example: %s\n", check_name, fault);
        std::exit(1);
    }
    app_quit = true;
}

// A loop that ended before the last frame was checked checked nothing.
void check_frames_ran() {
    if (frames_drawn < frames_wanted) {
        std::fprintf(stderr, "%s example: the loop ended after %ld of %ld frames\n", check_name,
                     frames_drawn, frames_wanted);
        std::_Exit(1);
    }
}

[[maybe_unused]] const bool installed = [] {
    check_name = std::getenv("VEXA_CHECK");
    const char* frames = std::getenv("VEXA_CHECK_FRAMES");
    frames_wanted = frames ? std::strtol(frames, nullptr, 10) : 300;
    held_key = std::getenv("VEXA_CHECK_HOLD");
    if (check_name && frames_wanted > 0) {
        before_present_hook = before_present;
        std::atexit(check_frames_ran);
    }
    return true;
}();

} // namespace
