// The decoder process: the one file that knows how a decode is isolated on
// this platform. Owns one global: the decoder server (below).
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
// Starting the program costs tens of milliseconds (the dynamic loader maps
// and relocates Assimp, SDL2_image and the seventy libraries they pull in),
// where decoding a small model costs a few. So it is started once, as a
// server (vexa-decode --serve) that has everything loaded and stays
// single-threaded with no GL, and every decode runs in a child forked from
// it: the same isolation and limits (the child applies them to itself before
// it reads a byte) for the price of a fork. Forking is sound there, unlike in
// the caller. A request is one message on a socket pair carrying descriptors,
// never a path: the model's file (opened here, so a relative name means this
// process's working folder), the answer pipe's write end and the folder its
// neighbours may be read from (decoder_files.h). The server answers with the
// child's pid and a pidfd for it (so the caller can kill it without racing
// its reaping), then with its wait status. A decode that cannot use the server
// (another thread's decode holds it, or the server is gone or refuses) spawns
// the program for itself, watched through a pidfd too; a status that cannot
// be read is a failure.
//
// Each decode child locks itself in (decoder_sandbox.h) before it reads a
// byte, at normal priority. Forked children share the server's address
// layout and stack canary, so the server is replaced by a fresh one after a
// child crashed and every decodes_per_server decodes. The server and spawned
// decoders get a process group of their own: Ctrl+C in a terminal goes to
// the program's group only, and the program ends the import quietly.
//
// Linux only: decoder_platform_windows.cpp does the same with a Job object,
// decoder_platform_web.cpp decodes in the page's own process.
#include "assets/decoder_child.h"
#include "assets/decoder_process.h"

#include "assets/decoder_sandbox.h"
#include "assets/model_decode.h"
#include "assets/neighbour_files.h"
#include "assets/picture_decode.h"

#include <algorithm>
#include <atomic>
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
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <malloc.h>
#include <mutex>

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
using CLOCK = std::chrono::steady_clock;

double seconds_since(CLOCK::time_point start) {
    return std::chrono::duration<double>(CLOCK::now() - start).count();
}

// The pidfd calls by number: glibc 2.36's <sys/pidfd.h> declares them
// without C linkage for C++.
int open_pidfd(pid_t pid) {
    return int(syscall(SYS_pidfd_open, pid, 0));
}

void kill_by_pidfd(int pidfd) {
    syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0);
}
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
    int answer = -1;     // read end of the decoder's standard output
    int pidfd = -1;      // the caller's handle on it
    bool served = false; // a child of the server, which reports its status
};

// The server's protocol. A request: SERVE_REQUEST (kind: a DECODE_KIND),
// then the file's name below its folder (when has_name) and the hint, in
// one message carrying two or three descriptors: the file's input (the
// opened file, or a memory file), the answer pipe's write end and, when
// has_folder, the folder its neighbours may be read from. Replies:
// REPLY_STARTED with the child's pid and a pidfd attached, then REPLY_ENDED
// with its wait status; or REPLY_FAILED with an errno.
struct SERVE_REQUEST {
    uint64_t memory_limit_bytes = 0;
    double seconds_limit = 0.0;
    uint32_t name_size = 0;
    uint32_t hint_size = 0;
    uint32_t has_name = 0;
    uint32_t has_folder = 0;
    uint32_t sandbox = 0; // a DECODER_SANDBOX value
    uint32_t kind = DECODE_KIND_MODEL;
};
constexpr int MAX_FDS = 3;
enum : int32_t { REPLY_STARTED = 1, REPLY_ENDED = 2, REPLY_FAILED = 3 };
struct SERVE_REPLY {
    int32_t kind = 0;
    int32_t value = 0;
};
constexpr size_t MAX_REQUEST = sizeof(SERVE_REQUEST) + 2 * PATH_MAX;

// Sends bytes with up to MAX_FDS descriptors attached; false when the other
// end is gone. Never raises SIGPIPE.
bool send_with_fds(int socket, const void* bytes, size_t size, const int* fds, int fd_count) {
    iovec part{const_cast<void*>(bytes), size};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(MAX_FDS * sizeof(int))] = {};
    if (fd_count > 0) {
        message.msg_control = control;
        message.msg_controllen = CMSG_SPACE(size_t(fd_count) * sizeof(int));
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(size_t(fd_count) * sizeof(int));
        std::memcpy(CMSG_DATA(header), fds, size_t(fd_count) * sizeof(int));
    }
    ssize_t n;
    while ((n = sendmsg(socket, &message, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
    }
    return n == ssize_t(size);
}

// Receives one message of at most size bytes and the descriptors attached
// (up to MAX_FDS; -1 for those missing, any beyond closed). Returns its
// length, 0 when the other end is gone, -1 on an error.
ssize_t receive_with_fds(int socket, void* bytes, size_t size, int fds[MAX_FDS]) {
    std::fill(fds, fds + MAX_FDS, -1);
    iovec part{bytes, size};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(2 * MAX_FDS * sizeof(int))];
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n;
    while ((n = recvmsg(socket, &message, MSG_CMSG_CLOEXEC)) < 0 && errno == EINTR) {
    }
    int got = 0;
    for (cmsghdr* header = n >= 0 ? CMSG_FIRSTHDR(&message) : nullptr; header;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS) {
            continue;
        }
        const size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(header) + i * sizeof(int), sizeof fd);
            if (got < MAX_FDS) {
                fds[got++] = fd;
            } else {
                close(fd);
            }
        }
    }
    return n;
}

struct DECODER_SERVER {
    pid_t pid = -1;
    int pidfd = -1;  // the caller's handle on it: killed and waited for by this, not by pid
    int socket = -1; // the caller's end
    std::string program;
    int32_t decodes = 0; // started by this server; a fresh one takes over at decodes_per_server
};
std::mutex server_lock;
DECODER_SERVER server; // guarded by server_lock

// The wait status of the child behind pidfd once it has ended (waiting up
// to ms, -1: for good); false when it has not ended or its status is lost
// (reaped elsewhere: the host ignores SIGCHLD or waits for any child).
bool pidfd_status(int pidfd, int ms, int* status) {
    if (ms >= 0) {
        pollfd p{pidfd, POLLIN, 0};
        int ready;
        while ((ready = poll(&p, 1, ms)) < 0 && errno == EINTR) {
        }
        if (ready <= 0) {
            return false;
        }
    }
    siginfo_t info{};
    int done;
    while ((done = waitid(idtype_t(P_PIDFD), id_t(pidfd), &info, WEXITED)) < 0 && errno == EINTR) {
    }
    if (done != 0 || info.si_pid == 0) {
        return false;
    }
    *status = info.si_code == CLD_EXITED ? W_EXITCODE(info.si_status, 0) : info.si_status;
    return true;
}

void stop_server(DECODER_SERVER& s) {
    if (s.socket >= 0) {
        close(s.socket); // the server ends when its socket does
    }
    if (s.pidfd >= 0) {
        int status;
        kill_by_pidfd(s.pidfd);
        pidfd_status(s.pidfd, -1, &status);
        close(s.pidfd);
    }
    s = DECODER_SERVER{};
}

// Spawns program with the given descriptors as its 0, 1 and 2 (and folder,
// when not -1, as its DECODER_FOLDER_FD), default signal handling, a process
// group of its own (Ctrl+C in a terminal is the program's to handle, not the
// decoder's) and nothing else of the caller's. Returns the pid and a pidfd
// for it, or -1 with errno's message in *error.
pid_t spawn_program(const std::vector<const char*>& argv, int in, int out, int err, int folder,
                    int* pidfd, std::string* error) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in, 0);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    posix_spawn_file_actions_adddup2(&actions, err, 2);
    if (folder >= 0) {
        posix_spawn_file_actions_adddup2(&actions, folder, DECODER_FOLDER_FD);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                              POSIX_SPAWN_SETPGROUP);
    pid_t pid = -1;
    int failed = posix_spawn(&pid, argv[0], &actions, &attributes,
                             const_cast<char* const*>(argv.data()), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) {
        *error = std::strerror(failed);
        return -1;
    }
    // The child cannot have been reaped yet unless the host program reaps
    // every child (or ignores SIGCHLD); then its status would be lost anyway.
    *pidfd = open_pidfd(pid);
    if (*pidfd < 0) {
        // Not reaped by anyone yet (or pidfd_open would have found it), so
        // the pid is still its own.
        kill(pid, SIGKILL);
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        *error = "its end cannot be watched";
        return -1;
    }
    return pid;
}

SPAWNED spawn_decoder(const std::string& program, DECODE_KIND kind, const DECODER_FILES* files,
                      int input, const char* hint, const IMPORT_OPTIONS& options,
                      DECODER_SANDBOX sandbox, std::string* reason) {
    SPAWNED child;
    int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
    int pipe_ends[2] = {-1, -1};
    if (quiet < 0 || pipe2(pipe_ends, O_CLOEXEC) != 0) {
        *reason = "the decoder cannot be started (no file descriptors)";
    } else {
        fcntl(pipe_ends[0], F_SETPIPE_SZ, 1 << 20); // fewer wake-ups for large answers
        const std::string memory = std::to_string(options.memory_limit_bytes);
        const std::string seconds = std::to_string(options.seconds_limit);
        const std::string mode = std::to_string(int(sandbox));
        std::vector<const char*> argv = {program.c_str(), "--memory",  memory.c_str(), "--seconds",
                                         seconds.c_str(), "--sandbox", mode.c_str()};
        if (hint) {
            argv.insert(argv.end(), {"--hint", hint});
        }
        if (kind == DECODE_KIND_PICTURE) {
            argv.push_back("--picture");
        }
        const int folder = files ? files->folder : -1;
        if (folder >= 0) {
            argv.push_back("--folder");
        }
        // The name as the value of --name, so that no file name reads as an option.
        if (files) {
            argv.insert(argv.end(), {"--name", files->name.c_str()});
        } else {
            argv.push_back("-");
        }
        argv.push_back(nullptr);
        // The answer says everything: the decoder's stderr goes nowhere.
        std::string error;
        child.pid = spawn_program(argv, input, pipe_ends[1], quiet, folder, &child.pidfd, &error);
        if (child.pid < 0) {
            *reason = "the decoder " + program + " cannot be started (" + error + ")";
        } else {
            child.answer = pipe_ends[0];
            pipe_ends[0] = -1;
        }
    }
    for (int fd : {quiet, pipe_ends[0], pipe_ends[1]}) {
        if (fd >= 0) {
            close(fd);
        }
    }
    return child;
}

bool start_server(DECODER_SERVER& s, const std::string& program) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
        return false;
    }
    int quiet = open("/dev/null", O_RDWR | O_CLOEXEC);
    std::string error;
    int pidfd = -1;
    pid_t pid = quiet < 0 ? -1
                          : spawn_program({program.c_str(), "--serve", nullptr}, ends[1], quiet,
                                          quiet, -1, &pidfd, &error);
    close(ends[1]);
    if (quiet >= 0) {
        close(quiet);
    }
    if (pid < 0) {
        close(ends[0]);
        return false;
    }
    s.pid = pid;
    s.pidfd = pidfd;
    s.socket = ends[0];
    s.program = program;
    return true;
}

// Waits up to ms for a reply of the server; false when none came or the
// server is gone. A descriptor attached comes back in *fd (-1 if none).
bool receive_reply(int socket, int ms, SERVE_REPLY* reply, int* fd) {
    pollfd p{socket, POLLIN, 0};
    int ready;
    while ((ready = poll(&p, 1, ms)) < 0 && errno == EINTR) {
    }
    if (ready <= 0) {
        return false;
    }
    int fds[MAX_FDS];
    ssize_t n = receive_with_fds(socket, reply, sizeof *reply, fds);
    for (int i = 1; i < MAX_FDS; ++i) {
        if (fds[i] >= 0) {
            close(fds[i]);
        }
    }
    if (fd) {
        *fd = fds[0];
    } else if (fds[0] >= 0) {
        close(fds[0]);
    }
    return n == ssize_t(sizeof *reply);
}

// How waiting for the decoder ended. GONE: the server is of no use (only
// waits on the server end so; the decode is then spawned instead).
// NO_ROOM: this process could not allocate room for the answer.
// Waits for the server's next reply the way an answer is waited for: asking
// keep_waiting every POLL_MS and within the decode's time limit.
ENDED wait_reply(int socket, const IMPORT_OPTIONS& options, CLOCK::time_point start,
                 SERVE_REPLY* reply, int* fd) {
    for (;;) {
        pollfd p{socket, POLLIN, 0};
        const int ready = poll(&p, 1, POLL_MS);
        if (ready > 0) {
            return receive_reply(socket, 0, reply, fd) ? ENDED::ANSWERED : ENDED::GONE;
        }
        if (ready < 0 && errno != EINTR) {
            return ENDED::GONE;
        }
        if (options.keep_waiting && !options.keep_waiting(options.user)) {
            return ENDED::ABANDONED;
        }
        if (seconds_since(start) > options.seconds_limit) {
            return ENDED::TIME;
        }
    }
}

// A decode through the server, which must be running. ANSWERED: *child holds the
// child's pid, pidfd and answer pipe. GONE: the server is of no use (it has
// been stopped, unless it only refused with an errno); the caller spawns the
// decoder instead. ABANDONED, TIME: the server never started the decode and
// has been stopped.
ENDED served_decoder(DECODER_SERVER& s, DECODE_KIND kind, const DECODER_FILES* files, int input,
                     const char* hint, const IMPORT_OPTIONS& options, DECODER_SANDBOX sandbox,
                     CLOCK::time_point start, SPAWNED* child) {
    int pipe_ends[2];
    if (pipe2(pipe_ends, O_CLOEXEC) != 0) {
        return ENDED::GONE;
    }
    fcntl(pipe_ends[0], F_SETPIPE_SZ, 1 << 20); // fewer wake-ups for large answers
    SERVE_REQUEST request;
    request.memory_limit_bytes = options.memory_limit_bytes;
    request.seconds_limit = options.seconds_limit;
    request.has_name = files != nullptr;
    request.has_folder = files && files->folder >= 0;
    request.sandbox = uint32_t(sandbox);
    request.kind = kind;
    const char* name = files ? files->name.c_str() : "";
    request.name_size = uint32_t(std::strlen(name));
    request.hint_size = hint ? uint32_t(std::strlen(hint)) : 0;
    std::vector<char> message(sizeof request);
    std::memcpy(message.data(), &request, sizeof request);
    message.insert(message.end(), name, name + request.name_size);
    message.insert(message.end(), hint, hint + request.hint_size);
    const int fds[MAX_FDS] = {input, pipe_ends[1], request.has_folder ? files->folder : -1};
    SERVE_REPLY reply;
    int pidfd = -1;
    const bool sent =
        message.size() <= MAX_REQUEST &&
        send_with_fds(s.socket, message.data(), message.size(), fds, request.has_folder ? 3 : 2);
    close(pipe_ends[1]);
    // A server still loading its libraries answers once it has.
    const ENDED waited = sent ? wait_reply(s.socket, options, start, &reply, &pidfd) : ENDED::GONE;
    if (waited == ENDED::ANSWERED && reply.kind == REPLY_STARTED && pidfd >= 0) {
        child->pid = pid_t(reply.value);
        child->pidfd = pidfd;
        child->answer = pipe_ends[0];
        child->served = true;
        ++s.decodes;
        return ENDED::ANSWERED;
    }
    if (pidfd >= 0) {
        close(pidfd);
    }
    close(pipe_ends[0]);
    if (waited != ENDED::ANSWERED || reply.kind != REPLY_FAILED) {
        stop_server(s);
    }
    return waited == ENDED::ANSWERED ? ENDED::GONE : waited;
}

// The served child's wait status: its second reply. Like a spawned decoder,
// one that has closed its output ends at once, and one that does not within
// a second, or was not answered, is killed first. False when the server
// gave no status (it is then stopped).
bool served_status(DECODER_SERVER& s, const SPAWNED& child, bool answered, int* status) {
    SERVE_REPLY reply;
    bool got = answered && receive_reply(s.socket, 1000, &reply, nullptr);
    if (!got) {
        kill_by_pidfd(child.pidfd);
        got = receive_reply(s.socket, 5000, &reply, nullptr);
    }
    if (!got || reply.kind != REPLY_ENDED) {
        stop_server(s);
        return false;
    }
    *status = reply.value;
    return true;
}

// The largest answer this process takes: the settable cap, and never more
// than the decoder's memory could have held.
// Reads the decoder's answer until it closes its output, or until a limit
// ends it (then it is killed by the caller). The collector holds the answer
// to the length it claims and to answer_limit (decoded_model.h).
ENDED read_answer(const SPAWNED& child, const IMPORT_OPTIONS& options, CLOCK::time_point start,
                  std::vector<uint8_t>* answer) try {
    ANSWER_COLLECTOR collector;
    collector.limit = answer_limit(options);
    collector.answer = answer;
    std::vector<uint8_t> chunk(size_t(1) << 18);
    for (;;) {
        pollfd p{child.answer, POLLIN, 0};
        if (poll(&p, 1, POLL_MS) > 0) {
            const ssize_t n = read(child.answer, chunk.data(), chunk.size());
            if (n > 0 && !collector.take(chunk.data(), size_t(n))) {
                return ENDED::TOO_LONG_ANSWER;
            }
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
                return ENDED::ANSWERED; // a short answer fails its reading
            }
        }
        if (options.keep_waiting && !options.keep_waiting(options.user)) {
            return ENDED::ABANDONED;
        }
        if (seconds_since(start) > options.seconds_limit) {
            return ENDED::TIME;
        }
        // Checked here as well as by the decoder's own address-space limit,
        // which a sanitizer build cannot use.
        if (resident_bytes(child.pid) > options.memory_limit_bytes) {
            return ENDED::MEMORY;
        }
    }
} catch (const std::bad_alloc&) {
    answer->clear();
    answer->shrink_to_fit();
    return ENDED::NO_ROOM;
}

// The decoder's exit statuses beside 0 (decoded, every layer in place) and
// EXIT_BAD_REQUEST, each plus the mask of the sandbox layers missing:
// decoded without them, or refused to start without them.
constexpr int EXIT_DECODED_WITHOUT = 16;
constexpr int EXIT_REFUSED_WITHOUT = 24;

std::string layer_words(uint32_t missing) {
    std::string words;
    const std::pair<uint32_t, const char*> names[] = {{SANDBOX_NO_NEW_PRIVS, "no-new-privileges"},
                                                      {SANDBOX_LANDLOCK, "Landlock"},
                                                      {SANDBOX_SECCOMP, "the system-call filter"}};
    for (const auto& [bit, name] : names) {
        if (missing & bit) {
            words += (words.empty() ? "" : ", ") + std::string(name);
        }
    }
    return words;
}

DECODER_SANDBOX sandbox_mode(const IMPORT_OPTIONS& options) {
    const char* chosen = std::getenv("VEXA_DECODER_SANDBOX");
    if (chosen && !std::strcmp(chosen, "required")) {
        return DECODER_SANDBOX_REQUIRED;
    }
    if (chosen && !std::strcmp(chosen, "off")) {
        return DECODER_SANDBOX_OFF;
    }
    return options.sandbox;
}

// Each missing layer is said once per program, the first time a decode
// runs without it.
std::atomic<uint32_t> reported_missing{0};

void report_missing(uint32_t missing) {
    const uint32_t fresh = missing & ~reported_missing.fetch_or(missing);
    if (fresh) {
        std::fprintf(stderr, "warning: files are decoded without %s (not offered here)\n",
                     layer_words(fresh).c_str());
    }
}

// Waits for a spawned decoder's end (a second once it has answered, else it
// is killed first). False when its status is lost.
bool spawned_status(const SPAWNED& child, bool answered, int* status) {
    if (answered && pidfd_status(child.pidfd, 1000, status)) {
        return true;
    }
    kill_by_pidfd(child.pidfd);
    return pidfd_status(child.pidfd, -1, status);
}

// The wording of a decoder's end that is not a clean exit; "" for one.
std::string failure_words(int status, const IMPORT_OPTIONS& options) {
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        if (signal == SIGXCPU || signal == SIGKILL) { // SIGKILL: the CPU limit's hard end
            return "the decoder used up its " + seconds_words(options.seconds_limit) +
                   " of CPU time";
        }
        if (signal == SIGSYS) {
            return "the decoder tried a forbidden operation (a system call outside its "
                   "allow-list)";
        }
        if (const char* name = signal_name(signal)) {
            return std::string("the decoder crashed (") + name + ")";
        }
        return "the decoder crashed (signal " + std::to_string(signal) + ")";
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code >= EXIT_REFUSED_WITHOUT && code < EXIT_REFUSED_WITHOUT + 8) {
        return "the decoder's sandbox cannot be set up here (no " +
               layer_words(uint32_t(code - EXIT_REFUSED_WITHOUT)) + ")";
    }
    if (code >= EXIT_DECODED_WITHOUT && code < EXIT_DECODED_WITHOUT + 8) {
        report_missing(uint32_t(code - EXIT_DECODED_WITHOUT));
        return std::string();
    }
    if (code != 0) {
        return "the decoder failed (exit status " + std::to_string(code) + ")";
    }
    return std::string();
}

#endif

} // namespace

uint32_t (*decoder_lock_function)(int folder_fd) = nullptr;
void (*decoder_lock_prepare_function)() = nullptr;
void (*decoder_after_lock)(const char* name) = nullptr;
uint64_t decoder_folder_handle = 0;

#if defined(__linux__)

// One decode in the decoder program (decoder_process.h).
DECODE_STATUS run_decoder(DECODE_KIND kind, const DECODER_FILES* files, const void* data,
                          size_t size, const char* hint, const IMPORT_OPTIONS& options,
                          std::vector<uint8_t>* answer, std::string* reason) {
    const std::string program = find_decoder(options);
    if (!executable(program)) {
        *reason = "the decoder vexa-decode cannot be found";
        return DECODE_REFUSED;
    }
    // The opened file itself, or the bytes in memory as a file.
    const int input = files ? files->file : memory_file(data, size);
    if (input < 0) {
        *reason = "the decoder cannot be started (no file descriptors)";
        return DECODE_REFUSED;
    }
    const DECODER_SANDBOX sandbox = sandbox_mode(options);
    // The server, unless another thread's decode holds it; otherwise a
    // process of its own. A server of another decoder program (the setting
    // changed) is replaced.
    const CLOCK::time_point start = CLOCK::now();
    std::unique_lock<std::mutex> hold(server_lock, std::try_to_lock);
    SPAWNED child;
    ENDED served = ENDED::GONE;
    if (hold.owns_lock() && server.pid > 0 && server.program != program) {
        stop_server(server);
    }
    if (hold.owns_lock() && (server.pid > 0 || start_server(server, program))) {
        served = served_decoder(server, kind, files, input, hint, options, sandbox, start, &child);
    }
    if (served == ENDED::ABANDONED || served == ENDED::TIME) {
        if (!files) {
            close(input);
        }
        return unanswered(served, options, reason);
    }
    if (child.pid < 0) {
        if (hold.owns_lock()) {
            hold.unlock();
        }
        child = spawn_decoder(program, kind, files, input, hint, options, sandbox, reason);
    }
    if (!files) {
        close(input);
    }
    if (child.pid < 0) {
        return DECODE_REFUSED;
    }
    ENDED ended = read_answer(child, options, start, answer);
    close(child.answer);
    int status = 0;
    const bool known = child.served
                           ? served_status(server, child, ended == ENDED::ANSWERED, &status)
                           : spawned_status(child, ended == ENDED::ANSWERED, &status);
    close(child.pidfd);
    // A fresh server, with a fresh address layout and stack canary, after a
    // decode that crashed (it may have been probing the layout) and every
    // decodes_per_server decodes; it loads while this answer is read.
    if (child.served && server.pid > 0 &&
        ((known && WIFSIGNALED(status)) || server.decodes >= options.decodes_per_server)) {
        stop_server(server);
        start_server(server, program);
    }
    if (ended != ENDED::ANSWERED) {
        return unanswered(ended, options, reason);
    }
    if (!known) {
        *reason = child.served ? "the decoder failed (its server stopped answering)"
                               : "the decoder failed (its end could not be observed)";
        return DECODE_REFUSED;
    }
    *reason = failure_words(status, options);
    if (!reason->empty()) {
        return DECODE_REFUSED;
    }
    return DECODE_LOADED;
}

int decoder_main(DECODE_KIND kind, const char* name, bool has_folder, const char* hint,
                 uint64_t memory_limit_bytes, double seconds_limit, DECODER_SANDBOX sandbox) {
    // Limits and the lock first, before a byte of the file is read.
    // Nothing of the caller's but what it handed over stays open.
    close_range(has_folder ? DECODER_FOLDER_FD + 1 : DECODER_FOLDER_FD, ~0u, 0);
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
    uint32_t missing = 0;
    if (sandbox != DECODER_SANDBOX_OFF) {
        const uint32_t layers =
            decoder_lock_function ? decoder_lock_function(has_folder ? DECODER_FOLDER_FD : -1) : 0;
        missing = SANDBOX_ALL_LAYERS & ~layers;
        if (missing && sandbox == DECODER_SANDBOX_REQUIRED) {
            return EXIT_REFUSED_WITHOUT + int(missing);
        }
    }
    if (decoder_after_lock) {
        decoder_after_lock(name ? name : "");
    }
    std::vector<uint8_t> input;
    std::string reason;
    DECODE_STATUS status = DECODE_REFUSED;
    DECODER_FILES files;
    files.file = 0;
    files.folder = has_folder ? DECODER_FOLDER_FD : -1;
    files.name = name ? name : "";
    DECODED_MODEL model;
    PICTURE picture;
    try {
        if (!name) {
            uint8_t buffer[1 << 16];
            for (ssize_t n; (n = read(0, buffer, sizeof buffer)) > 0;) {
                input.insert(input.end(), buffer, buffer + n);
            }
            if (input.empty()) {
                return EXIT_BAD_REQUEST;
            }
        }
        if (kind == DECODE_KIND_PICTURE) {
            // The picture is the handed descriptor (or the bytes in memory);
            // its name, or the hint, only tells TGA.
            status = (!name || read_descriptor(0, &input, &reason)) &&
                             decode_picture(input.data(), input.size(), name ? name : hint,
                                            &picture, &reason)
                         ? DECODE_LOADED
                         : DECODE_REFUSED;
        } else {
            status = decode_model(name ? &files : nullptr, input.data(), input.size(), hint, &model,
                                  &reason);
        }
    } catch (const std::bad_alloc&) {
        status = DECODE_OUT_OF_MEMORY;
    }
    if (status == DECODE_OUT_OF_MEMORY) {
        model = DECODED_MODEL{};
        picture = PICTURE{};
    }
    const bool sent = kind == DECODE_KIND_PICTURE ? decoded_picture_send(1, status, picture, reason)
                                                  : decoded_model_send(1, status, model, reason);
    if (!sent) {
        return 1;
    }
    return missing ? EXIT_DECODED_WITHOUT + int(missing) : 0;
}

int decoder_serve() {
    // The socket is standard input; nothing else of the caller's stays open.
    close_range(3, ~0u, 0);
    if (decoder_lock_prepare_function) {
        decoder_lock_prepare_function();
    }
    const int socket = 0;
    for (;;) {
        alignas(SERVE_REQUEST) char message[MAX_REQUEST + 1];
        int fds[MAX_FDS];
        ssize_t n = receive_with_fds(socket, message, sizeof message, fds);
        if (n <= 0) {
            std::_Exit(0); // the caller is gone (or the socket broke)
        }
        SERVE_REQUEST request;
        std::memcpy(&request, message, std::min(sizeof request, size_t(n)));
        const bool valid =
            size_t(n) >= sizeof request && fds[0] >= 0 && fds[1] >= 0 &&
            (fds[2] >= 0) == (request.has_folder != 0) && request.name_size <= PATH_MAX &&
            request.hint_size <= PATH_MAX &&
            size_t(n) == sizeof request + request.name_size + request.hint_size &&
            request.memory_limit_bytes > 0 && request.seconds_limit > 0.0 &&
            request.sandbox <= DECODER_SANDBOX_OFF &&
            (request.kind == DECODE_KIND_MODEL || request.kind == DECODE_KIND_PICTURE);
        SERVE_REPLY reply;
        pid_t child = -1;
        int error = EINVAL;
        const pid_t self = getpid();
        if (valid) {
            child = fork();
            error = errno;
            if (child == 0) {
                // A server killed by the caller takes its decode with it.
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                if (getppid() != self) {
                    std::_Exit(1);
                }
                // The decode's process: its input and answer in place of the
                // socket and the server's /dev/null, its folder on
                // DECODER_FOLDER_FD; the rest is closed by decoder_main
                // before a byte of the file is read.
                dup2(fds[0], 0);
                dup2(fds[1], 1);
                if (fds[2] >= 0) {
                    dup2(fds[2], DECODER_FOLDER_FD);
                }
                std::string name(message + sizeof request, request.name_size);
                std::string hint(message + sizeof request + request.name_size, request.hint_size);
                std::_Exit(
                    decoder_main(DECODE_KIND(request.kind),
                                 request.has_name ? name.c_str() : nullptr, request.has_folder != 0,
                                 hint.empty() ? nullptr : hint.c_str(), request.memory_limit_bytes,
                                 request.seconds_limit, DECODER_SANDBOX(request.sandbox)));
            }
        }
        for (int fd : fds) {
            if (fd >= 0) {
                close(fd);
            }
        }
        int pidfd = child > 0 ? open_pidfd(child) : -1;
        if (child > 0 && pidfd < 0) {
            error = errno;
        }
        if (pidfd < 0) {
            reply.kind = REPLY_FAILED;
            reply.value = error;
            if (child > 0) {
                kill(child, SIGKILL); // not reaped yet: the pid is still its own
            }
        } else {
            reply.kind = REPLY_STARTED;
            reply.value = int32_t(child);
        }
        send_with_fds(socket, &reply, sizeof reply, &pidfd, pidfd >= 0 ? 1 : 0);
        if (pidfd >= 0) {
            close(pidfd);
        }
        if (child > 0) {
            int status = 0;
            while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            if (reply.kind == REPLY_STARTED) {
                reply.kind = REPLY_ENDED;
                reply.value = int32_t(status);
                send_with_fds(socket, &reply, sizeof reply, nullptr, 0);
            }
        }
    }
}

void decoder_prepare(const IMPORT_OPTIONS& options) {
    const std::string program = find_decoder(options);
    std::lock_guard<std::mutex> hold(server_lock);
    if (server.pid < 0 && executable(program)) {
        start_server(server, program);
    }
}

#endif
