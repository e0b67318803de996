// Heap allocation counter for the unit tests: owns the counting state behind
// the malloc and operator new replacements of alloc_counter.cpp, the only
// place in the unit-test binary that replaces them. Relies on glibc's
// internal allocator names; sanitizer builds own malloc, so there it is off.
#pragma once

namespace alloc_counter {

// False in sanitizer builds and without glibc (the Windows build): nothing is
// replaced and nothing is counted.
bool available();

// Starts counting the heap allocations made by the calling thread, or by
// every thread of the process when all_threads is set (worker threads
// included). Allocations made while counting are still served normally.
void start(bool all_threads = false);

// Stops counting and returns the number of allocations since start.
unsigned long stop();

} // namespace alloc_counter
