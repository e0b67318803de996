// The frame clock (see frame_clock.h). Owns frame_clock; no allocation.
#include "gfx/frame_clock.h"

#include "gfx/stopwatch.h"

FRAME_CLOCK frame_clock;

void frame_clock_tick() {
    FRAME_CLOCK& c = frame_clock;
    const uint64_t now = time_source.counter();
    if (c.last_tick != 0 && now > c.last_tick) {
        c.intervals[c.next] = now - c.last_tick;
        c.next = (c.next + 1) % FRAME_CLOCK_SAMPLES;
        c.count = c.count < FRAME_CLOCK_SAMPLES ? c.count + 1 : FRAME_CLOCK_SAMPLES;
    }
    c.last_tick = now;
}

float frame_rate() {
    const FRAME_CLOCK& c = frame_clock;
    uint64_t total = 0;
    for (int32_t i = 0; i < c.count; ++i) {
        total += c.intervals[i];
    }
    if (total == 0) {
        return 0.0f;
    }
    return float(double(c.count) * double(time_source.frequency()) / double(total));
}

float frame_time() {
    const FRAME_CLOCK& c = frame_clock;
    if (c.count == 0) {
        return 0.0f;
    }
    const int32_t last = (c.next + FRAME_CLOCK_SAMPLES - 1) % FRAME_CLOCK_SAMPLES;
    return float(double(c.intervals[last]) / double(time_source.frequency()));
}

void frame_clock_reset() {
    frame_clock = FRAME_CLOCK{};
}
