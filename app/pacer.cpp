// Frame pacer (see pacer.h). Relies on the replaceable time source of
// gfx/stopwatch.h.
#include "app/pacer.h"

FRAME_PACER frame_pacer = {60, 0, 4};

void pacer_reset() {
    frame_pacer = FRAME_PACER{60, 0, 4};
}

void pacer_defaults() {
    frame_pacer.next_deadline = 0;
    frame_pacer.target_rate = 60;
}

int32_t pacer_step() {
    FRAME_PACER& p = frame_pacer;
    const uint64_t f = time_source.frequency();
    const uint64_t now = time_source.counter();
    // The rate is widened with its sign, as a signed-to-unsigned conversion.
    const uint64_t rate = static_cast<uint64_t>(static_cast<int64_t>(p.target_rate));
    const uint64_t period = rate ? f / rate : 0;
    p.next_deadline += period;
    if (now <= p.next_deadline) {
        const uint64_t ms = ((p.next_deadline - now) * 1000) / f;
        if (ms != 0) {
            p.yield_countdown = 4;
            return static_cast<int32_t>(ms);
        }
        if (--p.yield_countdown <= 0) {
            p.yield_countdown = 4;
        }
        return 0;
    }
    // Behind: drop the missed frames by moving the deadline to the first
    // period boundary after now. Computed by division rather than a loop so
    // a zero period or a huge stall cannot spin.
    if (period == 0) {
        p.next_deadline = now;
    } else {
        p.next_deadline += ((now - p.next_deadline) / period + 1) * period;
    }
    if (--p.yield_countdown > 0) {
        return 0;
    }
    p.yield_countdown = 4;
    return 1;
}
