// Guarded reading of the model and its neighbours (see neighbour_files.h).
// A neighbour is looked up with O_PATH first, which never opens the file
// itself, so a FIFO or a device is refused before any open could block or
// act; the open for reading follows and must find the same file.
#include "assets/neighbour_files.h"

#include <assimp/MemoryIOWrapper.h>

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

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

const char* type_refusal(const struct stat& status) {
    return S_ISDIR(status.st_mode) ? "is a directory, not a file" : "is not a regular file";
}

} // namespace

bool read_descriptor(int fd, std::vector<uint8_t>* out, std::string* reason) {
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        *reason = "is not a regular file";
        return false;
    }
    if (uint64_t(status.st_size) > MAX_DECODER_FILE_BYTES) {
        *reason = "is larger than 1 GB";
        return false;
    }
    out->resize(size_t(status.st_size));
    size_t got = 0;
    while (got < out->size()) {
        const ssize_t n = pread(fd, out->data() + got, out->size() - got, off_t(got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += size_t(n);
    }
    out->resize(got); // a file cut short meanwhile reads as what is there
    return true;
}

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
        *reason = type_refusal(looked);
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
    const size_t slash = path.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const int listing = open_below(folder, parent, O_RDONLY | O_DIRECTORY);
    DIR* entries = listing >= 0 ? fdopendir(listing) : nullptr;
    if (!entries) {
        if (listing >= 0) {
            close(listing);
        }
        return std::string();
    }
    std::string found;
    int checked = 0;
    for (const dirent* entry; found.empty() && checked < 10000 && (entry = readdir(entries));
         ++checked) {
        if (strcasecmp(entry->d_name, name.c_str()) == 0) {
            found = (slash == std::string::npos ? std::string() : parent) + entry->d_name;
        }
    }
    closedir(entries);
    return found;
}

bool read_regular_file(const char* path, std::vector<uint8_t>* out, std::string* reason) {
    DECODER_FILES files;
    if (!open_decoder_files(path, false, &files, reason)) {
        return false;
    }
    const bool ok = read_descriptor(files.file, out, reason);
    close_decoder_files(&files);
    return ok;
}

bool NEIGHBOUR_FILES::Exists(const char* path) const {
    if (!path) {
        return false;
    }
    if (files.name == path) {
        return true;
    }
    const int where = open_below(files.folder, path, O_PATH);
    struct stat status;
    const bool regular = where >= 0 && fstat(where, &status) == 0 && S_ISREG(status.st_mode);
    if (where >= 0) {
        close(where);
    }
    return regular;
}

Assimp::IOStream* NEIGHBOUR_FILES::Open(const char* path, const char* mode) {
    if (!path || !mode || mode[0] != 'r') {
        return nullptr; // the decoder writes nothing
    }
    std::vector<uint8_t> bytes;
    std::string reason;
    const bool is_model = files.name == path;
    const bool read = is_model ? read_descriptor(files.file, &bytes, &reason)
                               : read_below(files.folder, path, &bytes, &reason);
    if (!read) {
        if (is_model) {
            refusal = reason;
        }
        return nullptr;
    }
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.empty() ? 1 : bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), copy.get());
    return new Assimp::MemoryIOStream(copy.release(), bytes.size(), true);
}
