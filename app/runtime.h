// Start-up, the main loop and the program's exit status. Owns the order in
// which every global engine object is created and the per-pass sequence
// input -> update -> draw -> pace -> present. Relies on every subsystem.
#pragma once

#include <cstdint>

// Steps up to the event set-up: SDL, console, window and context, input
// records, exit handlers. False (after one line on stderr) on failure.
bool runtime_startup();
// GL set-up and the engine's global objects, in their fixed order.
void engine_setup();
// Everything before the first loop pass: runtime, engine, demonstration,
// priority, showing the window. False on failure.
bool app_startup();

// One pass of the main loop. False when the loop has ended.
bool loop_pass();
// Runs passes until the loop ends or max_passes have run (negative: no
// limit); returns the number of passes run.
int64_t run_loop(int64_t max_passes = -1);

// The whole program: start-up, loop; the exit status (0, or 1 when start-up failed).
int app_main();

// CPU time of the last drawing pass, in performance-counter ticks: the work
// before the pacer's sleep (update, clear, picture and render), and the
// demonstration's frame alone. Read by the snapshot tool's timing report.
struct LOOP_TIMING {
    uint64_t work_ticks;
    uint64_t update_ticks;
    uint64_t demo_ticks;
    uint64_t flush_ticks; // handing the frame to the driver (software GL rasterises here)
    uint64_t swap_ticks;  // the previous pass's present
};
extern LOOP_TIMING loop_timing;

// Called in each drawing pass after pacing, just before the frame is
// presented (the snapshot tool reads the frame back here). Null by default.
extern void (*before_present_hook)();
