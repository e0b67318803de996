// A hand-driven clock for tests and fuzzers: while installed, the pacer and
// the stopwatches read fake_clock_now ticks of fake_clock_frequency per second
// instead of SDL's counter.
#pragma once

#include "app/pacer.h"

#include <cstdint>

inline uint64_t fake_clock_now = 0;
inline uint64_t fake_clock_frequency = 1000;

// Installs the fake clock at tick 0 with `frequency` ticks per second.
inline void use_fake_clock(uint64_t frequency) {
    fake_clock_now = 0;
    fake_clock_frequency = frequency;
    time_source = TIME_SOURCE{[] { return fake_clock_now; }, [] { return fake_clock_frequency; }};
}
