// Window read-back and timing report (see frame_capture.h).
#include "capture/frame_capture.h"

#include "app/runtime.h"
#include "gfx/gl_dialect.h"
#include "gfx/window.h"
#include "gfx/gl.h"
#include "capture/png_writer.h"
#include "capture/screenshot.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> window_rows;
int window_width = 0, window_height = 0;
int64_t frames_wanted = 1;
int64_t frames_presented = 0;
bool record_timings = false;
std::vector<double> work_ms, frame_ms, flush_ms, swap_ms, interval_ms;
uint64_t first_present_ticks = 0, last_present_ticks = 0;
std::string gl_version; // of the context the frames were drawn with

// Runs before each present; reads the back buffer on the wanted frame.
void capture_before_present() {
    if (gl_version.empty()) {
        gl_version = gl_version_string();
    }
    if (record_timings) {
        const double f = double(SDL_GetPerformanceFrequency());
        work_ms.push_back(double(loop_timing.work_ticks) * 1000.0 / f);
        frame_ms.push_back(double(loop_timing.demo_ticks) * 1000.0 / f);
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
    if (++frames_presented != frames_wanted) {
        return;
    }
    read_window_rows(window_rows, window_width, window_height);
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return 0.0;
    }
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

} // namespace

void frame_capture_start(int64_t wanted, bool timings) {
    frames_wanted = wanted;
    record_timings = timings;
    before_present_hook = capture_before_present;
}

bool frame_capture_write(const char* path, const char* program) {
    if (window_rows.empty()) {
        std::fprintf(stderr, "%s: no frame was presented\n", program);
        return false;
    }
    return write_png_rgba(path, window_rows.data(), window_width, window_height, program);
}

void frame_capture_print_timings(const char* frame_label) {
    const double seconds =
        double(last_present_ticks - first_present_ticks) / double(SDL_GetPerformanceFrequency());
    std::printf("GL: %s\n", gl_version.empty() ? "(no frame presented)" : gl_version.c_str());
    std::printf("frames: %zu\n", work_ms.size());
    std::printf("frame work (update, clear and the frame callback): median %.2f ms, p99 %.2f ms\n",
                percentile(work_ms, 0.5), percentile(work_ms, 0.99));
    std::printf("%s: median %.2f ms, p99 %.2f ms\n", frame_label, percentile(frame_ms, 0.5),
                percentile(frame_ms, 0.99));
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
