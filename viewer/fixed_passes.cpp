// vexa-view's fixed passes with the engine's read-back: the picture and the
// timing report.
#include "viewer/fixed_passes.h"

#include "app/runtime.h"
#include "capture/frame_capture.h"

bool viewer_fixed_passes_supported(const char*, bool) {
    return true;
}

bool viewer_run_fixed_passes(int64_t frames, const char* window_path, bool timings) {
    frame_capture_start(frames, timings);
    run_loop(frames);
    if (timings) {
        frame_capture_print_timings("viewer frame (controls + scene drawing)");
    }
    return !window_path || frame_capture_write(window_path, "vexa-view");
}
