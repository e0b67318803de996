// vexa-snapshot: starts the real engine and demonstration, runs N loop
// passes, and writes the window's picture (read back just before the last
// frame is presented) and/or the sprite's picture as computed, as PNG files.
// With --timings it also reports the per-frame work time, the frame rate and
// how often a frame waited for its background picture; --no-picture leaves
// the picture as it is (everything else unchanged), for comparison.
#include "app/runtime.h"
#include "demo/demo.h"
#include "capture/frame_capture.h"
#include "capture/png_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// How the pictures of the run were made: taken finished from the background
// (and how many of those the frame had to wait for), or computed on the spot.
void print_picture_stats(bool picture_on) {
    const DEMO_PICTURE_STATS pictures = demo_picture_stats();
    std::printf("pictures: %llu from the background (%llu waited for it to finish), %llu "
                "computed on the spot%s\n",
                static_cast<unsigned long long>(pictures.from_background),
                static_cast<unsigned long long>(pictures.waited),
                static_cast<unsigned long long>(pictures.on_the_spot),
                picture_on ? "" : " (picture computation off)");
}

int usage() {
    std::fprintf(stderr, "usage: vexa-snapshot [--frames N] [--window FILE.png] "
                         "[--picture FILE.png] [--timings] [--no-picture]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    int64_t frames_wanted = 1;
    bool report_timings = false;
    bool picture_on = true;
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
        } else if (!std::strcmp(argv[i], "--no-picture")) {
            picture_on = false;
        } else {
            return usage();
        }
    }
    if (!app_startup(demo_application())) {
        return 1;
    }
    frame_capture_start(frames_wanted, report_timings);
    demo_compute_picture(picture_on);
    run_loop(frames_wanted);
    if (report_timings) {
        frame_capture_print_timings("demonstration frame (picture + render)");
        print_picture_stats(picture_on);
    }
    bool ok = !window_path || frame_capture_write(window_path, "vexa-snapshot");
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
