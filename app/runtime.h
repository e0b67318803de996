// Start-up, the main loop and the program's exit status. Owns the order in
// which every global engine object is created, the application description
// in use and the per-pass sequence input -> update -> clear -> the
// application's frame -> pace -> present. Relies on every engine subsystem;
// knows the application only through its APPLICATION description.
#pragma once

#include "app/application.h"

#include <cstdint>

// Why a description cannot run (no title, a size that is not positive, no
// frame callback), or null when it can.
const char* application_fault(const APPLICATION& app);

// Makes app the description the loop and start-up call (its callbacks, the
// event listener, the shader directory: "shaders" when it names none),
// without starting anything. The description is copied; the strings it
// points at are not.
void app_use(const APPLICATION& app);
// The description in use (no frame callback until app_use).
const APPLICATION& app_in_use();

// Steps up to the event set-up: SDL, the window and context of the
// description in use, input records, exit handlers. False (after one line on
// stderr) on failure.
bool runtime_startup();
// GL set-up and the engine's global objects, in their fixed order.
void engine_setup();
// The engine set-up, app_scene (a new SCENE, its target deferred) unless
// one exists, then the set-up callback of the description in use. A
// provided scene the callback replaced without using is deleted. False
// (after one line on stderr) when the callback returns false.
bool application_setup();
// Everything before the first loop pass with app's description: the
// standard descriptors made valid (attach_console_output), refusal of a bad
// description, the shader folder found when it names none (none found: one
// line, false), runtime, engine, the application's set-up, priority,
// showing the window. False (after one line on stderr) on failure.
bool app_startup(const APPLICATION& app);

// One pass of the main loop. False when the loop has ended.
bool loop_pass();
// Runs passes until the loop ends or max_passes have run (negative: no
// limit); returns the number of passes run.
int64_t run_loop(int64_t max_passes = -1);

// CPU time of the last drawing pass, in performance-counter ticks: the work
// before the pacer's sleep (update, clear, the application's frame), and the
// application's frame alone. Read by the snapshot tool's timing report.
struct LOOP_TIMING {
    uint64_t work_ticks;
    uint64_t update_ticks;
    uint64_t demo_ticks;  // the application's frame callback
    uint64_t flush_ticks; // handing the frame to the driver (software GL rasterises here)
    uint64_t swap_ticks;  // the previous pass's present
};
extern LOOP_TIMING loop_timing;

// Called in each drawing pass after pacing, just before the frame is
// presented (the snapshot tool reads the frame back here). Null by default.
extern void (*before_present_hook)();
// Called in each drawing pass just before and just after the application's
// frame callback: a layer drawn over the scene (vexa::imgui) begins its
// frame before the callback and draws it after. Null by default.
extern void (*frame_begin_hook)();
extern void (*frame_end_hook)();
// The same moment, kept for the engine's own screenshots
// (capture/screenshot.h), so a program's or tool's before_present_hook
// never displaces them; runs first. Null until a screenshot is asked for.
extern void (*screenshot_present_hook)();
