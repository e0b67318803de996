// Opening a decoder's input (see decoder_files.h). The folder is opened
// first and the file below it, so the two cannot come from different places
// however the path's folders are renamed meanwhile; the type is checked
// before opening (a FIFO or a device is never opened at all) and again on
// the opened descriptor (a file swapped in between is caught). The folder's
// own path, read back from the opened descriptor, decides how far up the
// neighbourhood reaches.
#include "assets/decoder_files.h"

#include <cstdlib>

#if defined(__linux__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

void close_decoder_files(DECODER_FILES* files) {
    for (int fd : {files->file, files->folder}) {
        if (fd >= 0) {
            close(fd);
        }
    }
    *files = DECODER_FILES{};
}

#else

bool parent_is_neighbourhood(const std::string&, const char*) {
    return false;
}

// Files are decoded in the calling process elsewhere, through paths.
bool open_decoder_files(const char*, bool, DECODER_FILES* out, std::string* reason) {
    *out = DECODER_FILES{};
    *reason = "cannot be opened on this platform";
    return false;
}

void close_decoder_files(DECODER_FILES* files) {
    *files = DECODER_FILES{};
}

#endif
