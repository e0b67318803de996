// The measured frame rate: owns the global FRAME_CLOCK, fed once per
// presented frame by the main loop, and read by applications and the
// frame-rate display. Reads time through the time source of gfx/stopwatch.h.
#pragma once

#include <cstdint>

// Intervals between the last presented frames, averaged for a steady reading.
constexpr int32_t FRAME_CLOCK_SAMPLES = 30;

struct FRAME_CLOCK {
    uint64_t last_tick = 0;                       // counter at the last frame; 0: none yet
    uint64_t intervals[FRAME_CLOCK_SAMPLES] = {}; // counter ticks, ring
    int32_t count = 0;                            // intervals held, up to FRAME_CLOCK_SAMPLES
    int32_t next = 0;                             // ring position written next
};
extern FRAME_CLOCK frame_clock;

// Called by the loop once per presented frame.
void frame_clock_tick();
// Frames per second over the last FRAME_CLOCK_SAMPLES frames (fewer at
// start); 0 until two frames were presented.
float frame_rate();
// Seconds between the last two presented frames; 0 until then.
float frame_time();
// Start-of-process state.
void frame_clock_reset();
