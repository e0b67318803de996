// Reading the window back just before a chosen frame is presented, and the
// per-frame CPU-time report, for the tools that run a fixed number of loop
// passes (vexa-snapshot, vexa-view). Owns the captured rows and the timing
// samples; relies on the runtime's before-present hook and loop timing.
#pragma once

#include <cstdint>

// Installs the before-present hook: the frames_wanted-th presented frame is
// read back; with timings on, every frame's loop timing is recorded.
void frame_capture_start(int64_t frames_wanted, bool timings);

// Writes the captured frame as a PNG file. False (one line on stderr, with
// program as its prefix) when no frame was captured or the file cannot be
// written.
bool frame_capture_write(const char* path, const char* program);

// Prints the recorded timings on stdout: the context's GL_VERSION, frame count, median and 99th
// percentile of the work before the pacer's sleep, of the application's
// frame (named frame_label), of the flush and of the present, the frame
// intervals and the frame rate held.
void frame_capture_print_timings(const char* frame_label);
