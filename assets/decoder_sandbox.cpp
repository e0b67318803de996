// The decode child's lock (see decoder_sandbox.h). Linux: prctl, Landlock
// by its system calls (glibc has no wrappers), seccomp-bpf through
// libseccomp. A decoder that is taken over after this can read what it was
// handed and the folder tree below DECODER_FOLDER_FD, allocate memory within
// its limits, write its answer and end; anything else fails or kills it.
#include "assets/decoder_sandbox.h"

#if defined(__linux__)
#include <linux/filter.h>
#include <linux/landlock.h>
#include <linux/seccomp.h>
#include <seccomp.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>
#include <initializer_list>
#include <vector>

// The thread sanitizer's runtime starts a background thread and maps its
// shadow on demand, so its build runs the decoder without the system-call
// filter (the other layers stay); the address sanitizer's runtime works
// within the list plus the few calls added for it below.
#if defined(__SANITIZE_THREAD__)
#define VEXA_NO_SYSCALL_FILTER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VEXA_NO_SYSCALL_FILTER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VEXA_ADDRESS_CHECKER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEXA_ADDRESS_CHECKER 1
#endif
#endif

namespace {

// Rights a Landlock rule set of each ABI version knows; all of them are
// handled, so every right not granted below is refused. Bits past the
// header's (truncate, device ioctl) are named here for older headers.
uint64_t landlock_rights(long abi) {
    uint64_t rights = (uint64_t(1) << 13) - 1; // ABI 1: execute .. make symbolic link
    if (abi >= 2) {
        rights |= uint64_t(1) << 13; // refer
    }
    if (abi >= 3) {
        rights |= uint64_t(1) << 14; // truncate
    }
    if (abi >= 5) {
        rights |= uint64_t(1) << 15; // ioctl on devices
    }
    return rights;
}

bool landlock(int folder_fd) {
    const long abi =
        syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1) {
        return false;
    }
    landlock_ruleset_attr ruleset{};
    ruleset.handled_access_fs = landlock_rights(abi);
    const int rules = int(syscall(SYS_landlock_create_ruleset, &ruleset, sizeof ruleset, 0));
    if (rules < 0) {
        return false;
    }
    bool ok = true;
    if (folder_fd >= 0) {
        landlock_path_beneath_attr beneath{};
        beneath.allowed_access = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
        beneath.parent_fd = folder_fd;
        ok = syscall(SYS_landlock_add_rule, rules, LANDLOCK_RULE_PATH_BENEATH, &beneath, 0) == 0;
    }
    ok = ok && syscall(SYS_landlock_restrict_self, rules, 0) == 0;
    close(rules);
    return ok;
}

#ifndef VEXA_NO_SYSCALL_FILTER
// Stands for the child's own pid in the prepared program: far above any pid
// (pid_max is at most 2^22), and patched before the program is loaded.
constexpr uint32_t OWN_PID = 0x7ffffff3u;

// The filter as a BPF program, built once by decoder_lock_prepare.
std::vector<sock_filter> prepared;

// The allow-list, compiled by libseccomp into a BPF program (about a
// millisecond, so the server does it once for all its children). Everything
// not named kills the process (the caller reports "the decoder tried a
// forbidden operation"); a few calls libraries make to look for files only
// fail, so a library that probes for a settings file carries on.
std::vector<sock_filter> compile_filter() {
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_KILL_PROCESS);
    if (!filter) {
        return {};
    }
    const int folder_fd = DECODER_FOLDER_FD;
    bool ok = true;
    // A call allowed always, or only when its argument number arg compared
    // by compare (masked by mask, for MASKED_EQ) gives value.
    auto allow = [&](int call, int arg = -1, scmp_compare compare = SCMP_CMP_EQ, uint64_t mask = 0,
                     uint64_t value = 0) {
        const scmp_arg_cmp test{unsigned(arg), compare, mask, value};
        ok =
            ok && seccomp_rule_add_array(filter, SCMP_ACT_ALLOW, call, arg < 0 ? 0 : 1, &test) == 0;
    };
    auto allow_if = [&](int call, int arg, uint64_t value) {
        allow(call, arg, SCMP_CMP_EQ, value, 0);
    };
    auto fail = [&](int call) {
        // Calls this architecture does not have (open on arm64) are skipped.
        seccomp_rule_add(filter, SCMP_ACT_ERRNO(EACCES), call, 0);
    };
    // The file and its neighbours: reading the descriptors handed over,
    // opening below the folder (openat2, whose RESOLVE_BENEATH the caller's
    // code asks for and Landlock enforces) and listing it (names that differ
    // only in case).
    for (int call : {SCMP_SYS(read), SCMP_SYS(pread64), SCMP_SYS(readv), SCMP_SYS(lseek),
                     SCMP_SYS(close), SCMP_SYS(fstat), SCMP_SYS(getdents64)}) {
        allow(call);
    }
    allow_if(SCMP_SYS(openat2), 0, uint64_t(folder_fd));
    for (int command : {F_GETFD, F_GETFL, F_SETFD}) { // fdopendir's checks
        allow_if(SCMP_SYS(fcntl), 1, uint64_t(command));
    }
    // glibc's fstat is newfstatat(fd, "", AT_EMPTY_PATH); by name it fails.
    allow(SCMP_SYS(newfstatat), 3, SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH);
    // The answer on 1 and a library's complaint on 2 (/dev/null).
    for (int call : {SCMP_SYS(write), SCMP_SYS(writev)}) {
#ifdef VEXA_ADDRESS_CHECKER
        allow(call); // the sanitizer tests memory by writing it into a pipe of its own
#else
        allow_if(call, 0, 1);
        allow_if(call, 0, 2);
#endif
    }
    // Memory, never executable: the allocator's heap and maps.
    allow(SCMP_SYS(brk));
    allow(SCMP_SYS(munmap));
    allow(SCMP_SYS(mremap));
    allow(SCMP_SYS(madvise));
    allow(SCMP_SYS(mmap), 2, SCMP_CMP_MASKED_EQ, PROT_EXEC, 0);
    allow(SCMP_SYS(mprotect), 2, SCMP_CMP_MASKED_EQ, PROT_EXEC, 0);
    // Ending: normally, or by a signal to itself (abort, a failed
    // assertion), which the caller reports as a crash.
    for (int call :
         {SCMP_SYS(exit_group), SCMP_SYS(exit), SCMP_SYS(rt_sigreturn), SCMP_SYS(rt_sigprocmask),
          SCMP_SYS(rt_sigaction), SCMP_SYS(getpid), SCMP_SYS(gettid)}) {
        allow(call);
    }
    allow_if(SCMP_SYS(tgkill), 0, OWN_PID);
    // Waiting on a lock nobody else holds, clocks and random numbers
    // (std::random_device, hash seeds).
    for (int call : {SCMP_SYS(futex), SCMP_SYS(clock_gettime), SCMP_SYS(gettimeofday),
                     SCMP_SYS(getrandom), SCMP_SYS(sched_yield)}) {
        allow(call);
    }
#ifdef VEXA_ADDRESS_CHECKER
    // The address sanitizer's runtime: its own signal stack, limits, the pipe
    // it checks memory with and the mapping list it reads (by name, which
    // fails) when it reports.
    for (int call : {SCMP_SYS(sigaltstack), SCMP_SYS(prlimit64), SCMP_SYS(getrlimit),
                     SCMP_SYS(sched_getaffinity), SCMP_SYS(pipe2)}) {
        allow(call);
    }
#endif
    for (int call : {SCMP_SYS(open), SCMP_SYS(openat), SCMP_SYS(creat), SCMP_SYS(stat),
                     SCMP_SYS(lstat), SCMP_SYS(access), SCMP_SYS(faccessat), SCMP_SYS(faccessat2),
                     SCMP_SYS(readlink), SCMP_SYS(readlinkat), SCMP_SYS(statx)}) {
        fail(call);
    }
    // The program comes out as raw instructions written to a file.
    std::vector<sock_filter> program;
    const int out = memfd_create("vexa-filter", MFD_CLOEXEC);
    if (ok && out >= 0 && seccomp_export_bpf(filter, out) == 0) {
        const off_t size = lseek(out, 0, SEEK_CUR);
        program.resize(size_t(size) / sizeof(sock_filter));
        const size_t bytes = program.size() * sizeof(sock_filter);
        if (size <= 0 || pread(out, program.data(), bytes, 0) != ssize_t(bytes)) {
            program.clear();
        }
    }
    if (out >= 0) {
        close(out);
    }
    seccomp_release(filter);
    return program;
}

bool seccomp_filter() {
    std::vector<sock_filter> program = prepared.empty() ? compile_filter() : prepared;
    if (program.empty()) {
        return false;
    }
    const uint32_t self = uint32_t(getpid());
    for (sock_filter& instruction : program) {
        if (instruction.k == OWN_PID) {
            instruction.k = self;
        }
    }
    sock_fprog loaded{uint16_t(program.size()), program.data()};
    return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &loaded, 0, 0) == 0;
}
#endif

} // namespace

void decoder_lock_prepare() {
#ifndef VEXA_NO_SYSCALL_FILTER
    prepared = compile_filter();
#endif
}

uint32_t decoder_lock(int folder_fd) {
    uint32_t layers = 0;
    // The program may have raised its own priority (the frame loop's);
    // decoding gets the normal share again. Lowering needs no privilege.
    if (getpriority(PRIO_PROCESS, 0) < 0) {
        setpriority(PRIO_PROCESS, 0, 0);
    }
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0) {
        layers |= SANDBOX_NO_NEW_PRIVS;
    }
    if (landlock(folder_fd)) {
        layers |= SANDBOX_LANDLOCK;
    }
#ifdef VEXA_NO_SYSCALL_FILTER
    layers |= SANDBOX_SECCOMP; // left out on purpose, see above: not a missing layer
#else
    if ((layers & SANDBOX_NO_NEW_PRIVS) && seccomp_filter()) {
        layers |= SANDBOX_SECCOMP;
    }
#endif
    return layers;
}

#else

void decoder_lock_prepare() {}

uint32_t decoder_lock(int) {
    return 0;
}

#endif
