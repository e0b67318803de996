// Frame pacing. Owns the global FRAME_PACER; reads time through the time
// source of gfx/stopwatch.h. All arithmetic is unsigned 64-bit on raw
// counter ticks; products wrap and quotients truncate.
#pragma once

#include "gfx/stopwatch.h"

#include <cstdint>

struct FRAME_PACER {
    int32_t target_rate;    // frames per second
    uint64_t next_deadline; // counter value at which the frame should be presented
    int32_t yield_countdown;
};
extern FRAME_PACER frame_pacer;

// Restores the process-start state (countdown 4, deadline 0, rate 60).
void pacer_reset();
// Start-up: next deadline 0, target rate 60.
void pacer_defaults();
// Milliseconds to sleep before presenting this frame; 0 means do not sleep.
int32_t pacer_step();
