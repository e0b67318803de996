// Frame pacing and stopwatches. Owns the global FRAME_PACER and the time
// source (SDL's performance counter, replaceable by tests). All arithmetic is
// unsigned 64-bit on raw counter ticks; products wrap and quotients truncate.
#pragma once

#include <cstdint>

// Where the stopwatches and the pacer read time. Tests install their own.
struct TIME_SOURCE {
    uint64_t (*counter)();
    uint64_t (*frequency)();
};
extern TIME_SOURCE time_source;
void time_source_use_sdl();

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
