// The tests' decoder program (vexa-decode-probe): the real one, plus a probe
// that runs in each decode child right after its lock and tries what a
// decoder taken over by a hostile file would try. The model's file name
// chooses the attempt (probe-passwd.obj, probe-top-1234.obj, ...); any attempt that succeeds
// ends the decode with exit status 42, which the importer reports as a
// failure the test looks for. An attempt that fails lets the decode go on.
#include "assets/decoder_sandbox.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr int ESCAPED = 42;

int open_below(const char* path, uint64_t flags, uint64_t resolve) {
    open_how how{};
    how.flags = flags;
    how.mode = flags & O_CREAT ? 0600 : 0;
    how.resolve = resolve;
    return int(syscall(SYS_openat2, DECODER_FOLDER_FD, path, &how, sizeof how));
}

bool is(const char* file, const char* probe) {
    return !std::strncmp(file, probe, std::strlen(probe));
}

void escaped_if(bool opened) {
    if (opened) {
        std::_Exit(ESCAPED);
    }
}

} // namespace

void decoder_probe(const char* name) {
    const char* slash = std::strrchr(name, '/');
    const char* file = slash ? slash + 1 : name;
    if (is(file, "probe-passwd")) {
        escaped_if(open("/etc/passwd", O_RDONLY) >= 0);
        escaped_if(open_below("/etc/passwd", O_RDONLY, 0) >= 0);
    } else if (is(file, "probe-beside")) {
        // beside.txt lies one folder above the neighbourhood.
        escaped_if(open_below("../beside.txt", O_RDONLY, RESOLVE_BENEATH) >= 0);
        escaped_if(open_below("../beside.txt", O_RDONLY, 0) >= 0);
        escaped_if(open("/proc/self/fd/3/../beside.txt", O_RDONLY) >= 0);
    } else if (is(file, "probe-top")) {
        // Directly under a top-level folder: that folder is all it may read.
        escaped_if(open_below("etc/passwd", O_RDONLY, RESOLVE_BENEATH) >= 0);
        escaped_if(open_below("../etc/passwd", O_RDONLY, 0) >= 0);
    } else if (is(file, "probe-write")) {
        escaped_if(open_below("written.txt", O_WRONLY | O_CREAT, RESOLVE_BENEATH) >= 0);
        escaped_if(open("/tmp/vexa-probe-written.txt", O_WRONLY | O_CREAT, 0600) >= 0);
        escaped_if(write(0, "x", 1) > 0); // the model, opened read-only
    } else if (is(file, "probe-socket")) {
        escaped_if(socket(AF_UNIX, SOCK_STREAM, 0) >= 0);
    } else if (is(file, "probe-exec")) {
        char shell[] = "/bin/sh", flag[] = "-c", command[] = "exit 42";
        char* argv[] = {shell, flag, command, nullptr};
        execve(shell, argv, nullptr);
    }
}
