// vexa-view's fixed passes in a build without the engine's read-back (no
// libpng, as in the browser): the passes run, but there is no picture to
// write and no timing report, so asking for either fails before the window
// opens instead of ending without the file the caller waits for.
#include "viewer/fixed_passes.h"

#include "app/runtime.h"

#include <cstdio>

bool viewer_fixed_passes_supported(const char* window_path, bool timings) {
    if (window_path || timings) {
        std::fprintf(stderr,
                     "vexa-view: %s needs frame capture, which this build does not have "
                     "(no libpng)\n",
                     window_path ? "--window" : "--timings");
        return false;
    }
    return true;
}

bool viewer_run_fixed_passes(int64_t frames, const char*, bool) {
    run_loop(frames);
    return true;
}
