// The time source and stopwatches: performance-counter stopwatches and the
// frame timer that keeps the last durations. Owns the global time source
// (SDL's performance counter, replaceable by tests). Below the scene, which
// times its update and render passes with them, and the runtime's pacer.
#pragma once

#include <cstdint>

// Where the stopwatches and the pacer read time. Tests install their own.
struct TIME_SOURCE {
    uint64_t (*counter)();
    uint64_t (*frequency)();
};
extern TIME_SOURCE time_source;
void time_source_use_sdl();

struct STOPWATCH {
    uint64_t start;
    uint64_t frequency;
    uint64_t accumulated;
    bool running;
};

void stopwatch_create(STOPWATCH& watch);
void stopwatch_restart(STOPWATCH& watch);
// (now - start + accumulated) * 1000 / frequency, truncated to its low 32 bits.
int32_t stopwatch_elapsed_ms(const STOPWATCH& watch);

// A stopwatch that keeps the last `count` durations in microseconds.
struct FRAME_TIMER {
    STOPWATCH watch;
    int32_t maximum;
    int32_t minimum;
    int32_t* samples; // ring; -1 marks an empty slot
    int32_t count;
    int32_t index;
};

constexpr int32_t FRAME_TIMER_SAMPLES = 10;

// False when the sample ring cannot be allocated; the timer then still
// measures but keeps no samples (count 0).
bool frame_timer_create(FRAME_TIMER& timer, int32_t count = FRAME_TIMER_SAMPLES);
void frame_timer_reset(FRAME_TIMER& timer);
void frame_timer_begin(FRAME_TIMER& timer);
void frame_timer_end(FRAME_TIMER& timer);
void frame_timer_destroy(FRAME_TIMER& timer);
