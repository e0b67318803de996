// vexa-snapshot: starts the real engine and demonstration, runs N loop
// passes, and writes the window's picture (read back just before the last
// frame is presented) and/or the sprite's picture as computed, as PNG files.
// With --timings it also reports the per-frame work time and the frame rate.
#include "app/pacer.h"
#include "app/runtime.h"
#include "demo/demo.h"
#include "gfx/gl.h"
#include "gfx/window.h"
#include "tools/png_writer.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> window_rows;
int64_t frames_wanted = 1;
int64_t frames_presented = 0;
bool report_timings = false;
std::vector<double> work_ms, demo_ms, flush_ms, swap_ms, interval_ms;
uint64_t first_present_ticks = 0, last_present_ticks = 0;

// Runs before each present; reads the back buffer on the last frame.
void capture_before_present() {
    if (report_timings) {
        const double f = double(SDL_GetPerformanceFrequency());
        work_ms.push_back(double(loop_timing.work_ticks) * 1000.0 / f);
        demo_ms.push_back(double(loop_timing.demo_ticks) * 1000.0 / f);
        flush_ms.push_back(double(loop_timing.flush_ticks) * 1000.0 / f);
        swap_ms.push_back(double(loop_timing.swap_ticks) * 1000.0 / f);
        const uint64_t now = SDL_GetPerformanceCounter();
        if (last_present_ticks) {
            interval_ms.push_back(double(now - last_present_ticks) * 1000.0 / f);
        }
        last_present_ticks = now;
        if (!first_present_ticks) {
            first_present_ticks = last_present_ticks;
        }
    }
    if (++frames_presented != frames_wanted || !app_window) {
        return;
    }
    const int w = app_window->width, h = app_window->height;
    std::vector<uint8_t> bottom_up(size_t(w) * size_t(h) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, bottom_up.data());
    gl_check();
    window_rows.resize(bottom_up.size());
    const size_t stride = size_t(w) * 4;
    for (int y = 0; y < h; ++y) {
        std::memcpy(&window_rows[size_t(y) * stride], &bottom_up[size_t(h - 1 - y) * stride],
                    stride);
    }
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return 0.0;
    }
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

// Prints the per-frame CPU time (median and 99th percentile, the pacer's
// sleep excluded) and the frame rate held over the run.
void print_timings() {
    const double seconds =
        double(last_present_ticks - first_present_ticks) / double(SDL_GetPerformanceFrequency());
    std::printf("frames: %zu\n", work_ms.size());
    std::printf("frame work (update + clear + picture + render): median %.2f ms, p99 %.2f ms\n",
                percentile(work_ms, 0.5), percentile(work_ms, 0.99));
    std::printf("demonstration frame (picture + render): median %.2f ms, p99 %.2f ms\n",
                percentile(demo_ms, 0.5), percentile(demo_ms, 0.99));
    std::printf("flush before the pacer's sleep: median %.2f ms, p99 %.2f ms\n",
                percentile(flush_ms, 0.5), percentile(flush_ms, 0.99));
    std::printf("present (buffer swap): median %.2f ms, p99 %.2f ms\n", percentile(swap_ms, 0.5),
                percentile(swap_ms, 0.99));
    // A frame period is 16.7 ms; an interval of 25 ms or more means the
    // pacer dropped at least one frame.
    const auto late =
        std::count_if(interval_ms.begin(), interval_ms.end(), [](double ms) { return ms >= 25.0; });
    std::printf("frame intervals: median %.2f ms, p99 %.2f ms, %ld of %zu with dropped frames\n",
                percentile(interval_ms, 0.5), percentile(interval_ms, 0.99), long(late),
                interval_ms.size());
    if (work_ms.size() > 1 && seconds > 0) {
        std::printf("frame rate held: %.2f frames per second\n",
                    double(work_ms.size() - 1) / seconds);
    }
}

int usage() {
    std::fprintf(stderr, "usage: vexa-snapshot [--frames N] [--window FILE.png] "
                         "[--picture FILE.png] [--timings]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const char* window_path = nullptr;
    const char* picture_path = nullptr;
    for (int i = 1; i < argc; ++i) {
        const bool has_value = i + 1 < argc;
        if (!std::strcmp(argv[i], "--frames") && has_value) {
            char* end = nullptr;
            frames_wanted = std::strtoll(argv[++i], &end, 10);
            if (*end || frames_wanted < 1) {
                return usage();
            }
        } else if (!std::strcmp(argv[i], "--window") && has_value) {
            window_path = argv[++i];
        } else if (!std::strcmp(argv[i], "--picture") && has_value) {
            picture_path = argv[++i];
        } else if (!std::strcmp(argv[i], "--timings")) {
            report_timings = true;
        } else {
            return usage();
        }
    }
    if (!app_startup(demo_application())) {
        return 1;
    }
    before_present_hook = capture_before_present;
    run_loop(frames_wanted);
    if (report_timings) {
        print_timings();
    }
    bool ok = true;
    if (window_path) {
        if (window_rows.empty()) {
            std::fprintf(stderr, "vexa-snapshot: no frame was presented\n");
            ok = false;
        } else {
            ok = write_png_rgba(window_path, window_rows.data(), app_window->width,
                                app_window->height) &&
                 ok;
        }
    }
    if (picture_path) {
        int w = 0, h = 0;
        const uint32_t* picture = demo_picture(&w, &h);
        if (!picture) {
            std::fprintf(stderr, "vexa-snapshot: the demonstration has no picture\n");
            ok = false;
        } else {
            // Texels are stored little-endian as red, green, blue, alpha bytes.
            ok =
                write_png_rgba(picture_path, reinterpret_cast<const uint8_t*>(picture), w, h) && ok;
        }
    }
    return ok ? 0 : 1;
}
