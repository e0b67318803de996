// Time source and stopwatches (see stopwatch.h). Relies on SDL's
// performance counter through the replaceable time source.
#include "gfx/stopwatch.h"

#include <SDL.h>

#include <climits>
#include <cstdlib>

TIME_SOURCE time_source = {SDL_GetPerformanceCounter, SDL_GetPerformanceFrequency};

void time_source_use_sdl() {
    time_source = TIME_SOURCE{SDL_GetPerformanceCounter, SDL_GetPerformanceFrequency};
}

void stopwatch_create(STOPWATCH& watch) {
    watch.frequency = time_source.frequency();
    watch.start = time_source.counter();
    watch.accumulated = 0;
    watch.running = false;
}

void stopwatch_restart(STOPWATCH& watch) {
    watch.start = time_source.counter();
    watch.accumulated = 0;
}

int32_t stopwatch_elapsed_ms(const STOPWATCH& watch) {
    if (watch.frequency == 0) {
        return 0;
    }
    const uint64_t ticks = time_source.counter() - watch.start + watch.accumulated;
    return static_cast<int32_t>(static_cast<uint32_t>(ticks * 1000 / watch.frequency));
}

bool frame_timer_create(FRAME_TIMER& timer, int32_t count) {
    stopwatch_create(timer.watch);
    timer.samples = nullptr;
    timer.count = 0;
    if (count > 0) {
        timer.samples = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * size_t(count)));
        if (timer.samples) {
            timer.count = count;
        }
    }
    frame_timer_reset(timer);
    return timer.samples != nullptr;
}

void frame_timer_reset(FRAME_TIMER& timer) {
    for (int32_t i = 0; i < timer.count; ++i) {
        timer.samples[i] = -1;
    }
    timer.maximum = INT32_MIN;
    timer.minimum = INT32_MAX;
    timer.index = 0;
    timer.watch.start = time_source.counter();
    timer.watch.accumulated = 0;
}

void frame_timer_begin(FRAME_TIMER& timer) {
    if (timer.watch.running) {
        return;
    }
    if (++timer.index >= timer.count) {
        timer.index = 0;
    }
    timer.watch.start = time_source.counter();
    timer.watch.accumulated = 0;
    timer.watch.running = true;
}

void frame_timer_end(FRAME_TIMER& timer) {
    STOPWATCH& w = timer.watch;
    if (!w.running) {
        return;
    }
    const uint64_t ticks = time_source.counter() - w.start + w.accumulated;
    const uint64_t us = w.frequency ? ticks * 1000000 / w.frequency : 0;
    const int32_t sample = static_cast<int32_t>(static_cast<uint32_t>(us));
    if (timer.count > 0) {
        timer.samples[timer.index] = sample;
    }
    if (sample < timer.minimum) {
        timer.minimum = sample;
    }
    if (sample > timer.maximum) {
        timer.maximum = sample;
    }
    w.accumulated += time_source.counter() - w.start;
    w.start = time_source.counter();
    w.running = false;
}

void frame_timer_destroy(FRAME_TIMER& timer) {
    std::free(timer.samples);
    timer.samples = nullptr;
    timer.count = 0;
}
