// The decoder process: the one file that knows how a decode is isolated on
// this platform. Owns no globals.
//
// Why a helper program (vexa-decode) and not a fork of the caller: the
// caller is a GL program with driver threads, the worker pool and SDL's
// threads; a forked child inherits their locks in whatever state they were
// and may only call async-signal-safe functions, which Assimp and SDL2_image
// are not. A launcher forked early would need every application to start it
// before its first thread. posix_spawn of a small program costs a few
// milliseconds (no copy of the caller's memory, which vfork semantics avoid),
// starts single-threaded with no GL state, and closes every descriptor it
// did not ask for. The program is looked for where an installed application
// finds it too: import_options.decoder, $VEXA_DECODER, beside the running
// program, in libexec/vexa of the prefix the program is installed in, the
// one of the package the program was built against, then in the engine's
// own install prefix (libexec/vexa).
//
// Linux only; elsewhere (Windows) files are decoded in the calling process.
#include "assets/decoder_process.h"

#include "assets/model_decode.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <malloc.h>

extern char** environ;

// The address and thread sanitizers reserve terabytes of shadow address
// space, so their builds cannot limit the decoder's address space.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VEXA_SHADOW_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VEXA_SHADOW_SANITIZER 1
#endif
#endif
#endif

namespace {

#if defined(__linux__)

constexpr int POLL_MS = 20;
constexpr int EXIT_BAD_REQUEST = 64;

bool executable(const std::string& path) {
    return !path.empty() && access(path.c_str(), X_OK) == 0;
}

std::string find_decoder(const IMPORT_OPTIONS& options) {
    if (options.decoder) {
        return options.decoder;
    }
    if (const char* from_environment = std::getenv("VEXA_DECODER")) {
        return from_environment;
    }
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        // Beside the program (the build folder, a bundle), then in the
        // libexec folder of the prefix the program is installed in.
        std::string folder(self, size_t(n));
        folder = folder.substr(0, folder.rfind('/') + 1);
        for (const char* relative : {"vexa-decode", "../libexec/vexa/vexa-decode"}) {
            if (executable(folder + relative)) {
                return folder + relative;
            }
        }
    }
    if (packaged_decoder && executable(packaged_decoder)) {
        return packaged_decoder;
    }
#ifdef VEXA_INSTALLED_DECODER
    if (executable(VEXA_INSTALLED_DECODER)) {
        return VEXA_INSTALLED_DECODER;
    }
#endif
    return std::string();
}

const char* signal_name(int signal) {
    switch (signal) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGABRT:
        return "SIGABRT";
    case SIGFPE:
        return "SIGFPE";
    case SIGILL:
        return "SIGILL";
    case SIGKILL:
        return "SIGKILL";
    case SIGTERM:
        return "SIGTERM";
    case SIGTRAP:
        return "SIGTRAP";
    default:
        return nullptr;
    }
}

std::string seconds_words(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", seconds);
    return text;
}

// Resident memory of process pid in bytes, 0 when unknown.
uint64_t resident_bytes(pid_t pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/statm", int(pid));
    std::FILE* f = std::fopen(path, "r");
    if (!f) {
        return 0;
    }
    unsigned long long size = 0, resident = 0;
    int got = std::fscanf(f, "%llu %llu", &size, &resident);
    std::fclose(f);
    return got == 2 ? uint64_t(resident) * uint64_t(sysconf(_SC_PAGESIZE)) : 0;
}

// The model held in memory, as a file the decoder reads on its standard input.
int memory_file(const void* data, size_t size) {
    int fd = memfd_create("vexa-model", MFD_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    const char* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, p + done, size - done);
        if (n <= 0) {
            close(fd);
            return -1;
        }
        done += size_t(n);
    }
    lseek(fd, 0, SEEK_SET);
    return fd;
}

struct SPAWNED {
    pid_t pid = -1;
    int answer = -1; // read end of the decoder's standard output
};

SPAWNED spawn_decoder(const std::string& program, const char* path, const void* data, size_t size,
                      const char* hint, const IMPORT_OPTIONS& options, std::string* reason) {
    SPAWNED child;
    int input = data ? memory_file(data, size) : open("/dev/null", O_RDONLY | O_CLOEXEC);
    int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
    int pipe_ends[2] = {-1, -1};
    if (input < 0 || quiet < 0 || pipe2(pipe_ends, O_CLOEXEC) != 0) {
        *reason = "the decoder cannot be started (no file descriptors)";
    } else {
        fcntl(pipe_ends[0], F_SETPIPE_SZ, 1 << 20); // fewer wake-ups for large answers
        const std::string memory = std::to_string(options.memory_limit_bytes);
        const std::string seconds = std::to_string(options.seconds_limit);
        std::vector<const char*> argv = {program.c_str(), "--memory", memory.c_str(), "--seconds",
                                         seconds.c_str()};
        if (hint) {
            argv.insert(argv.end(), {"--hint", hint});
        }
        argv.push_back(path ? path : "-");
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input, 0);
        posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 1);
        posix_spawn_file_actions_adddup2(&actions, quiet, 2); // the answer says everything
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &all);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        int error = posix_spawn(&child.pid, program.c_str(), &actions, &attributes,
                                const_cast<char* const*>(argv.data()), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        if (error != 0) {
            child.pid = -1;
            *reason =
                "the decoder " + program + " cannot be started (" + std::strerror(error) + ")";
        } else {
            child.answer = pipe_ends[0];
            pipe_ends[0] = -1;
        }
    }
    for (int fd : {input, quiet, pipe_ends[0], pipe_ends[1]}) {
        if (fd >= 0) {
            close(fd);
        }
    }
    return child;
}

enum class ENDED { ANSWERED, ABANDONED, TIME, MEMORY, TOO_LONG_ANSWER };

// Reads the decoder's answer (its length first, so the buffer is allocated
// once) until it closes its output, or until a limit ends it (then it is
// killed by the caller).
ENDED read_answer(const SPAWNED& child, const IMPORT_OPTIONS& options,
                  std::vector<uint8_t>* answer) {
    const auto start = std::chrono::steady_clock::now();
    uint8_t length[8];
    size_t length_got = 0, got = 0;
    for (;;) {
        pollfd p{child.answer, POLLIN, 0};
        if (poll(&p, 1, POLL_MS) > 0) {
            ssize_t n;
            if (length_got < sizeof length) {
                n = read(child.answer, length + length_got, sizeof length - length_got);
                length_got += size_t(std::max<ssize_t>(n, 0));
                if (length_got == sizeof length) {
                    uint64_t expected = 0;
                    std::memcpy(&expected, length, sizeof expected);
                    // The answer holds at most what the decoder's memory held.
                    if (expected > options.memory_limit_bytes) {
                        return ENDED::TOO_LONG_ANSWER;
                    }
                    answer->resize(size_t(expected));
                }
            } else if (got < answer->size()) {
                n = read(child.answer, answer->data() + got, answer->size() - got);
                got += size_t(std::max<ssize_t>(n, 0));
            } else {
                uint8_t extra;
                n = read(child.answer, &extra, 1);
                if (n > 0) {
                    return ENDED::TOO_LONG_ANSWER;
                }
            }
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
                answer->resize(got); // a short answer fails its reading
                return ENDED::ANSWERED;
            }
        }
        if (options.keep_waiting && !options.keep_waiting(options.user)) {
            return ENDED::ABANDONED;
        }
        double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (elapsed > options.seconds_limit) {
            return ENDED::TIME;
        }
        // Checked here as well as by the decoder's own address-space limit,
        // which a sanitizer build cannot use.
        if (resident_bytes(child.pid) > options.memory_limit_bytes) {
            return ENDED::MEMORY;
        }
    }
}

#endif

} // namespace

#if defined(__linux__)

DECODE_STATUS decode_in_child(const char* path, const void* data, size_t size, const char* hint,
                              const IMPORT_OPTIONS& options, DECODED_MODEL* out,
                              std::string* reason) {
    const std::string program = find_decoder(options);
    if (!executable(program)) {
        *reason = "the model decoder vexa-decode cannot be found";
        return DECODE_REFUSED;
    }
    SPAWNED child = spawn_decoder(program, path, data, size, hint, options, reason);
    if (child.pid < 0) {
        return DECODE_REFUSED;
    }
    std::vector<uint8_t> answer;
    ENDED ended = read_answer(child, options, &answer);
    close(child.answer);
    int status = 0;
    // A decoder that has closed its output ends at once; one that does not
    // within a second is stopped like one over its limits.
    for (int tries = 0; ended == ENDED::ANSWERED && tries < 1000; ++tries) {
        if (waitpid(child.pid, &status, WNOHANG) == child.pid) {
            child.pid = -1;
            break;
        }
        usleep(1000);
    }
    if (child.pid > 0) {
        kill(child.pid, SIGKILL);
        while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    switch (ended) {
    case ENDED::ABANDONED:
        reason->clear();
        return DECODE_REFUSED;
    case ENDED::MEMORY:
        return DECODE_OUT_OF_MEMORY;
    case ENDED::TIME:
        *reason = "the decoder took longer than " + seconds_words(options.seconds_limit);
        return DECODE_REFUSED;
    case ENDED::TOO_LONG_ANSWER:
        *reason = "the decoder's answer is too large";
        return DECODE_REFUSED;
    case ENDED::ANSWERED:
        break;
    }
    if (WIFSIGNALED(status)) {
        int signal = WTERMSIG(status);
        if (signal == SIGXCPU || signal == SIGKILL) { // SIGKILL: the CPU limit's hard end
            *reason =
                "the decoder used up its " + seconds_words(options.seconds_limit) + " of CPU time";
        } else if (const char* name = signal_name(signal)) {
            *reason = std::string("the decoder crashed (") + name + ")";
        } else {
            *reason = "the decoder crashed (signal " + std::to_string(signal) + ")";
        }
        return DECODE_REFUSED;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        *reason = "the decoder failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
        return DECODE_REFUSED;
    }
    DECODE_STATUS decoded = DECODE_REFUSED;
    try {
        if (!decoded_model_read(answer.data(), answer.size(), &decoded, out, reason)) {
            *out = DECODED_MODEL{};
            *reason = "the decoder's answer is damaged";
            return DECODE_REFUSED;
        }
    } catch (const std::bad_alloc&) {
        *out = DECODED_MODEL{};
        return DECODE_OUT_OF_MEMORY;
    }
    return decoded;
}

int decoder_main(const char* path, const char* hint, uint64_t memory_limit_bytes,
                 double seconds_limit) {
    // Limits first, before a byte of the file is read.
    close_range(3, ~0u, 0); // nothing of the caller's but the three it handed over
    rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    const rlim_t cpu = rlim_t(std::ceil(std::max(seconds_limit, 1.0)));
    rlimit cpu_limit{cpu, cpu + 1};
    setrlimit(RLIMIT_CPU, &cpu_limit);
#ifndef VEXA_SHADOW_SANITIZER
    // The sanitizer reserves terabytes of shadow address space; there the
    // caller's watch of resident memory is the limit.
    rlimit memory{rlim_t(memory_limit_bytes), rlim_t(memory_limit_bytes)};
    setrlimit(RLIMIT_AS, &memory);
#else
    (void)memory_limit_bytes;
#endif
#ifdef __GLIBC__
    // A fresh process pays a page fault for every page it touches, a
    // third of a decode's time on a virtual machine: blocks Assimp frees go
    // back to the heap for its next ones instead of back to the system.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, INT_MAX);
    mallopt(M_TOP_PAD, 64 << 20);
#endif
    std::vector<uint8_t> input;
    if (!path) {
        uint8_t buffer[1 << 16];
        for (ssize_t n; (n = read(0, buffer, sizeof buffer)) > 0;) {
            input.insert(input.end(), buffer, buffer + n);
        }
        if (input.empty()) {
            return EXIT_BAD_REQUEST;
        }
    }
    DECODED_MODEL model;
    std::string reason;
    DECODE_STATUS status;
    try {
        status =
            decode_model(path, path ? nullptr : input.data(), input.size(), hint, &model, &reason);
    } catch (const std::bad_alloc&) {
        status = DECODE_OUT_OF_MEMORY;
    }
    if (status == DECODE_OUT_OF_MEMORY) {
        model = DECODED_MODEL{};
    }
    return decoded_model_send(1, status, model, reason) ? 0 : 1;
}

#else

DECODE_STATUS decode_in_child(const char* path, const void* data, size_t size, const char* hint,
                              const IMPORT_OPTIONS&, DECODED_MODEL* out, std::string* reason) {
    return decode_model(path, data, size, hint, out, reason);
}

int decoder_main(const char*, const char*, uint64_t, double) {
    return 1;
}

#endif
