// Linux platform layer (see platform.h); the Windows one is
// platform_windows.cpp, and each compiles on its own system only. The
// executable's folder, which SDL finds on both systems, is shared.
#include "app/platform.h"

#include <SDL.h>

std::string executable_directory() {
    // SDL resolves the executable's real path on each system (/proc/self/exe
    // on Linux, the module's file name on Windows); it may be asked before
    // SDL_Init.
    char* base = SDL_GetBasePath();
    std::string directory = base ? base : "";
    SDL_free(base);
    return directory;
}

#if !defined(_WIN32)
#include "app/input.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

bool raise_process_priority() {
    // The nearest thing to a "high" priority class: nice -10, which needs
    // privileges; without them the program runs at its normal priority. On
    // Linux a nice value belongs to a thread, and a priority class covers the
    // whole process, so every thread that exists now is raised (the GL
    // driver's rasteriser threads among them); threads started later inherit
    // it from their creator.
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) {
        return setpriority(PRIO_PROCESS, 0, -10) == 0; // this thread at least
    }
    bool all = true;
    while (const dirent* entry = readdir(tasks)) {
        char* end = nullptr;
        const long tid = std::strtol(entry->d_name, &end, 10);
        if (tid > 0 && *end == 0) {
            all = setpriority(PRIO_PROCESS, id_t(tid), -10) == 0 && all;
        }
    }
    closedir(tasks);
    return all;
}

void attach_console_output() {
    // A closed descriptor among 0 to 2 is handed to the next file anyone
    // opens (SDL's X connection, a shader file), and whatever is then
    // printed to it lands there: the X server takes it for requests and the
    // program hangs. So each gets a file before anything else is opened.
    // Standard output goes to the terminal where there is one, as a console
    // program's does; everything else to /dev/null.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        int opened = -1;
        if (fd == STDOUT_FILENO) {
            opened = open("/dev/tty", O_WRONLY | O_NOCTTY);
        }
        if (opened == -1) {
            opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        }
        // The lowest free descriptor is fd itself, as every one below it is
        // open; dup2 covers the case where that does not hold.
        if (opened != -1 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}

namespace {
extern "C" void on_quit_signal(int) {
    request_quit_from_signal();
}
} // namespace

void install_quit_signal_handlers() {
    struct sigaction action = {};
    action.sa_handler = on_quit_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

const char* preferred_video_driver() {
#if defined(__EMSCRIPTEN__)
    return nullptr; // a browser has its own video driver only
#else
    // GLEW loads the GL entry points through GLX, so the window must be an
    // X11 one; without this SDL would fall back to drivers whose contexts
    // GLEW cannot use.
    return "x11";
#endif
}
#endif
