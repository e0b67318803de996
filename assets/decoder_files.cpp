// Opening a decoder's input (see decoder_files.h). The folder is opened
// first and the file below it, so the two cannot come from different places
// however the path's folders are renamed meanwhile; the type is checked
// before opening (a FIFO or a device is never opened at all) and again on
// the opened descriptor (a file swapped in between is caught). The folder's
// own path, read back from the opened descriptor, decides how far up the
// neighbourhood reaches.
#include "assets/decoder_files.h"

#include "assets/neighbour_files.h"

#include <cstdlib>

#if defined(__linux__)
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace {

// The path an opened folder has now, "" when /proc cannot tell.
std::string folder_path(int folder) {
    char link[64], target[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", folder);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    return n > 0 && target[0] == '/' ? std::string(target, size_t(n)) : std::string();
}

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool is_root(int folder) {
    struct stat here, root;
    return fstat(folder, &here) == 0 && stat("/", &root) == 0 && same_file(here, root);
}

} // namespace

bool parent_is_neighbourhood(const std::string& real_folder, const char* home) {
    // Depth of the parent: /a/b/c has parent /a/b at depth 2.
    const size_t slash = real_folder.rfind('/');
    if (slash == std::string::npos || slash == 0) {
        return false; // the folder is / or a top-level folder: its parent is /
    }
    const std::string parent = real_folder.substr(0, slash);
    const bool top_level = parent.find('/', 1) == std::string::npos;
    const bool a_home =
        (home && *home && parent == home) ||
        (parent.rfind("/home/", 0) == 0 && parent.find('/', 6) == std::string::npos);
    return !top_level && !a_home;
}

bool open_decoder_files(const char* path, bool with_neighbours, DECODER_FILES* out,
                        std::string* reason) {
    *out = DECODER_FILES{};
    const std::string whole = path ? path : "";
    const size_t slash = whole.rfind('/');
    const std::string folder_name = slash == std::string::npos ? std::string(".")
                                    : slash == 0               ? std::string("/")
                                                               : whole.substr(0, slash);
    const std::string base = slash == std::string::npos ? whole : whole.substr(slash + 1);
    const int folder = open(folder_name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat before, opened;
    if (folder < 0 || base.empty() || fstatat(folder, base.c_str(), &before, 0) != 0) {
        *reason = base.empty() ? "is a directory, not a file" : "cannot be found";
    } else if (!S_ISREG(before.st_mode)) {
        *reason = S_ISDIR(before.st_mode) ? "is a directory, not a file" : "is not a regular file";
    } else if ((out->file = openat(folder, base.c_str(),
                                   O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)) < 0) {
        *reason = "cannot be opened";
    } else if (fstat(out->file, &opened) != 0 || !S_ISREG(opened.st_mode) ||
               !same_file(before, opened)) {
        *reason = "is not a regular file";
    } else if (uint64_t(opened.st_size) > MAX_DECODER_FILE_BYTES) {
        *reason = "is larger than 1 GB";
    } else {
        reason->clear();
    }
    if (!reason->empty()) {
        if (folder >= 0) {
            close(folder);
        }
        close_decoder_files(out);
        return false;
    }
    out->name = base;
    if (!with_neighbours || is_root(folder)) {
        close(folder);
        return true;
    }
    // The parent only where its path is known and the rule allows it, and
    // only when ".." of the opened folder is that very folder (no mount or
    // rename in between).
    const std::string real = folder_path(folder);
    if (!real.empty() && parent_is_neighbourhood(real, std::getenv("HOME"))) {
        const int parent = openat(folder, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (parent >= 0 && folder_path(parent) == real.substr(0, real.rfind('/'))) {
            close(folder);
            out->folder = parent;
            out->name = real.substr(real.rfind('/') + 1) + "/" + base;
            return true;
        }
        if (parent >= 0) {
            close(parent);
        }
    }
    out->folder = folder;
    return true;
}

bool look_at_descriptor(int fd, size_t size, bool (*look)(const uint8_t*, size_t, void*),
                        void* user, bool* answer) {
    void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (map == MAP_FAILED) {
        return false;
    }
    *answer = look(static_cast<const uint8_t*>(map), size, user);
    munmap(map, size);
    return true;
}

// Reading below a folder: a neighbour is looked up with O_PATH first, which
// never opens the file itself, so a FIFO or a device is refused before any
// open could block or act; the open for reading follows and must find the
// same file.
namespace {

int open_below(int folder, const std::string& path, uint64_t flags) {
    if (folder < 0) {
        errno = EXDEV;
        return -1;
    }
    open_how how{};
    how.flags = flags | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    int fd;
    while ((fd = int(syscall(SYS_openat2, folder, path.c_str(), &how, sizeof how))) < 0 &&
           errno == EINTR) {
    }
    return fd;
}

} // namespace

bool read_below(int folder, const std::string& path, std::vector<uint8_t>* out,
                std::string* reason) {
    const int where = open_below(folder, path, O_PATH);
    struct stat looked, opened;
    if (where < 0) {
        *reason = errno == EXDEV || errno == ELOOP ? "lies outside the folder around the model"
                                                   : "is missing";
        return false;
    }
    const bool regular = fstat(where, &looked) == 0 && S_ISREG(looked.st_mode);
    close(where);
    if (!regular) {
        *reason = decoder_type_refusal(looked);
        return false;
    }
    const int fd = open_below(folder, path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        *reason = "cannot be opened";
        return false;
    }
    bool ok =
        fstat(fd, &opened) == 0 && opened.st_dev == looked.st_dev && opened.st_ino == looked.st_ino;
    if (!ok) {
        *reason = "is not a regular file";
    } else {
        ok = read_descriptor(fd, out, reason);
    }
    close(fd);
    return ok;
}

std::string find_below(int folder, const std::string& path) {
    const int where = open_below(folder, path, O_PATH);
    if (where >= 0) {
        close(where);
        return path;
    }
    return find_ignoring_case(open_below(folder, listing_folder(path), O_RDONLY | O_DIRECTORY),
                              path);
}

bool exists_below(int folder, const std::string& path) {
    const int where = open_below(folder, path, O_PATH);
    struct stat status;
    const bool regular = where >= 0 && fstat(where, &status) == 0 && S_ISREG(status.st_mode);
    if (where >= 0) {
        close(where);
    }
    return regular;
}

#endif
