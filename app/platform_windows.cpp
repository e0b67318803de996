// Windows platform layer (see platform.h): the process priority class, the
// console as standard output, and the console's Ctrl+C and close events.
// The Linux layer is platform.cpp; each file compiles on its own system only.
#if defined(_WIN32)
#include "app/platform.h"

#include "app/input.h"

#include <cstdio>
#include <io.h>
#include <windows.h>

bool raise_process_priority() {
    return SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS) != 0;
}

void attach_console_output() {
    // Output the user sent somewhere (a file, a pipe, a console) stays there.
    const HANDLE current = GetStdHandle(STD_OUTPUT_HANDLE);
    if (current != nullptr && current != INVALID_HANDLE_VALUE && _fileno(stdout) >= 0 &&
        _get_osfhandle(_fileno(stdout)) != -1) {
        return;
    }
    // Otherwise the console device, the parent's console if this process has
    // none. Without any console there is nothing to open: freopen would fail
    // and leave standard output closed, so it stays as it is.
    if (!GetConsoleWindow() && !AttachConsole(ATTACH_PARENT_PROCESS)) {
        return;
    }
    if (!std::freopen("CON", "w", stdout)) {
        return;
    }
}

namespace {
BOOL WINAPI on_console_event(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        request_quit_from_signal();
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The system ends the process as soon as this handler returns, so it
        // waits here while the loop ends and the program exits normally (the
        // system allows a few seconds).
        request_quit_from_signal();
        Sleep(INFINITE);
        return TRUE;
    default:
        return FALSE;
    }
}
} // namespace

void install_quit_signal_handlers() {
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

const char* preferred_video_driver() {
    return nullptr; // SDL's own windows driver, whose contexts GLEW loads from
}
#endif
