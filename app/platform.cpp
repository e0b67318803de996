// Linux platform layer (see platform.h); the Windows one is
// platform_windows.cpp, and each compiles on its own system only. The
// executable's folder, which SDL finds on both systems, is shared, and so is
// the polled folder watch of the systems without inotify.
#include "app/platform.h"

#include <SDL.h>

#include <filesystem>
#include <system_error>

std::string executable_directory() {
    // SDL resolves the executable's real path on each system (/proc/self/exe
    // on Linux, the module's file name on Windows); it may be asked before
    // SDL_Init.
    char* base = SDL_GetBasePath();
    std::string directory = base ? base : "";
    SDL_free(base);
    return directory;
}

uint64_t folder_fingerprint(const char* folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, error), end;
    if (error) {
        return 0;
    }
    // FNV-1a over each entry's path, size and time: any edit, addition,
    // removal or rename changes it.
    uint64_t hash = 1469598103934665603ull;
    const auto mix = [&hash](const void* data, size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i) {
            hash = (hash ^ bytes[i]) * 1099511628211ull;
        }
    };
    for (; it != end; it.increment(error)) {
        if (error) {
            break;
        }
        const std::string path = it->path().string();
        const uint64_t size = it->is_regular_file(error) ? uint64_t(it->file_size(error)) : 0;
        const auto time = it->last_write_time(error).time_since_epoch().count();
        mix(path.data(), path.size());
        mix(&size, sizeof size);
        mix(&time, sizeof time);
    }
    return hash;
}

#if defined(_WIN32) || defined(__EMSCRIPTEN__)
// Windows and the browser watch by polling; Linux has inotify, below.
namespace {

// The poll: the fingerprint, taken at most every 500 ms.
struct POLLED_FOLDER {
    std::string folder;
    uint64_t fingerprint = 0;
    uint64_t next_poll_ms = 0;
};

bool polled_folder_changed(POLLED_FOLDER& p) {
    const uint64_t now = SDL_GetTicks64();
    if (now < p.next_poll_ms) {
        return false;
    }
    p.next_poll_ms = now + 500;
    const uint64_t fingerprint = folder_fingerprint(p.folder.c_str());
    const bool changed = fingerprint != p.fingerprint;
    p.fingerprint = fingerprint;
    return changed;
}

} // namespace

struct FOLDER_WATCH {
    POLLED_FOLDER poll;
};

FOLDER_WATCH* folder_watch_start(const char* folder) {
    if (!folder || !std::filesystem::is_directory(folder)) {
        return nullptr;
    }
    auto* watch = new FOLDER_WATCH;
    watch->poll.folder = folder;
    watch->poll.fingerprint = folder_fingerprint(folder);
    return watch;
}

bool folder_watch_changed(FOLDER_WATCH* watch) {
    return watch && polled_folder_changed(watch->poll);
}

void folder_watch_stop(FOLDER_WATCH* watch) {
    delete watch;
}
#endif

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

#if !defined(__EMSCRIPTEN__)
#include <sys/inotify.h>

#include <utility>
#include <vector>

// inotify: one watch per folder (inotify does not recurse), the descriptor
// non-blocking so a frame never waits on it.
struct FOLDER_WATCH {
    int fd = -1;
    std::vector<std::pair<int, std::filesystem::path>> folders; // watch descriptor, folder
};

namespace {

void watch_tree(FOLDER_WATCH& watch, const std::filesystem::path& folder) {
    constexpr uint32_t MASK = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CREATE;
    const int wd = inotify_add_watch(watch.fd, folder.c_str(), MASK);
    if (wd < 0) {
        return;
    }
    watch.folders.emplace_back(wd, folder);
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_directory(error)) {
            watch_tree(watch, it->path());
        }
    }
}

void watch_new_folder(FOLDER_WATCH& watch, const inotify_event& event) {
    for (const auto& [wd, folder] : watch.folders) {
        if (wd == event.wd) {
            const std::filesystem::path added = folder / event.name; // before the list grows
            watch_tree(watch, added);
            return;
        }
    }
}

} // namespace

FOLDER_WATCH* folder_watch_start(const char* folder) {
    if (!folder || !std::filesystem::is_directory(folder)) {
        return nullptr;
    }
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    auto* watch = new FOLDER_WATCH;
    watch->fd = fd;
    watch_tree(*watch, folder);
    return watch;
}

bool folder_watch_changed(FOLDER_WATCH* watch) {
    if (!watch) {
        return false;
    }
    // Drain everything queued; which file it was does not matter, the
    // rebuild compares the programs' texts. A folder created inside is
    // watched from now on; a file is only reported once it is written
    // (IN_CREATE alone is an empty file still being written).
    alignas(inotify_event) char buffer[4096];
    bool changed = false;
    for (;;) {
        const ssize_t n = read(watch->fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if ((event->mask & IN_CREATE) && (event->mask & IN_ISDIR) && event->len > 0) {
                watch_new_folder(*watch, *event);
                changed = true;
            } else if (!(event->mask & IN_CREATE)) {
                changed = true;
            }
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    return changed;
}

void folder_watch_stop(FOLDER_WATCH* watch) {
    if (watch) {
        close(watch->fd);
        delete watch;
    }
}
#endif
#endif
