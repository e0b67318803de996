// The small platform layer: what the engine asks of the operating system
// beyond SDL. On Linux (platform.cpp) the priority raise lowers the nice
// value where allowed and closed standard descriptors are given a file (the
// terminal for standard output) before anything opens one; on Windows (platform_windows.cpp) the
// process takes the high priority class and standard output is reopened on the console "CON" only
// when it goes nowhere.
#pragma once

#include <cstdint>
#include <string>

// Raises the process's scheduling priority; false when not allowed (not an error).
bool raise_process_priority();
// Makes standard input, output and error name a file when they are closed,
// so no file opened later takes their number: standard output goes to the
// terminal when there is one (the console), the others and an output
// without a terminal to /dev/null. The runtime calls it before anything else.
void attach_console_output();
// SIGTERM and SIGINT (Ctrl+C, Ctrl+Break and closing the console on Windows)
// end the program the way closing the window does.
void install_quit_signal_handlers();
// The folder of the running program's executable, ending in a separator
// (empty when the system does not say): installed programs find their data
// relative to it, wherever the prefix was installed or moved to.
std::string executable_directory();
// The SDL video driver the engine's GL loading needs, or null for SDL's
// choice. The SDL_VIDEODRIVER environment variable still wins.
const char* preferred_video_driver();

// Watches a folder and its subfolders for files that change: inotify on
// Linux (writes finished, files moved in, out or deleted), elsewhere a poll
// of the files' sizes and modification times at most twice a second. Null
// (not an error) when the folder cannot be watched.
struct FOLDER_WATCH;
FOLDER_WATCH* folder_watch_start(const char* folder);
// True when something changed since the last call (or the start); never
// blocks.
bool folder_watch_changed(FOLDER_WATCH* watch);
void folder_watch_stop(FOLDER_WATCH* watch);
// The poll every platform can use: a fingerprint of the names, sizes and
// modification times of the files under folder (0 when it cannot be read).
uint64_t folder_fingerprint(const char* folder);
