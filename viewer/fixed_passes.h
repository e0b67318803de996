// vexa-view's fixed number of loop passes (--frames N): the window's picture
// read back before the last pass is presented (--window FILE.png) and the
// per-frame CPU-time report (--timings). Both need the engine's read-back
// (vexa::capture, libpng); a build without it (the browser's) runs the
// passes alone and refuses the two options (fixed_passes_none.cpp).
#pragma once

#include <cstdint>

// False, after one line on stderr, when the options ask for what this build
// cannot do; checked before the window opens.
bool viewer_fixed_passes_supported(const char* window_path, bool timings);

// Runs frames passes after a successful app_startup; false (one line) when
// the picture could not be written.
bool viewer_run_fixed_passes(int64_t frames, const char* window_path, bool timings);
