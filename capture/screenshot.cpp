// Screenshots (see screenshot.h).
#include "capture/screenshot.h"

#include "app/runtime.h"
#include "capture/png_writer.h"
#include "gfx/gl.h"
#include "gfx/gl_dialect.h"
#include "gfx/window.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::vector<std::string> pending; // paths asked for in the frame being drawn
std::vector<uint8_t> screenshot_rows;

} // namespace

bool read_window_rows(std::vector<uint8_t>& rows, int& width, int& height) {
    if (!app_window || !gl_context_alive) {
        return false;
    }
    const int w = app_window->width, h = app_window->height;
    std::vector<uint8_t> bottom_up(size_t(w) * size_t(h) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    gl_read_from_back_buffer();
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, bottom_up.data());
    gl_check();
    rows.resize(bottom_up.size());
    const size_t stride = size_t(w) * 4;
    for (int y = 0; y < h; ++y) {
        std::memcpy(&rows[size_t(y) * stride], &bottom_up[size_t(h - 1 - y) * stride], stride);
    }
    width = w;
    height = h;
    return true;
}

bool save_screenshot(const char* path) {
    if (!path || !*path) {
        std::fprintf(stderr, "vexa: save_screenshot needs a file name\n");
        return false;
    }
    if (!app_window) {
        std::fprintf(stderr, "vexa: cannot save the screenshot %s: there is no window\n", path);
        return false;
    }
    pending.emplace_back(path);
    screenshot_present_hook = screenshots_before_present;
    return true;
}

void screenshots_before_present() {
    if (pending.empty()) {
        return;
    }
    int w = 0, h = 0;
    if (read_window_rows(screenshot_rows, w, h)) {
        // The window shows the colour only: whatever alpha the frame left in
        // the back buffer would make the file see-through where the screen
        // is not.
        for (size_t i = 3; i < screenshot_rows.size(); i += 4) {
            screenshot_rows[i] = 255;
        }
        for (const std::string& path : pending) {
            write_png_rgba(path.c_str(), screenshot_rows.data(), w, h, "vexa");
        }
    }
    pending.clear();
}
