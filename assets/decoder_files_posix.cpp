// The file reading the Linux decoder and the browser's in-page decode share
// (decoder_files.h, neighbour_files.h): POSIX calls only. How a neighbour's
// folder is opened differs (openat2 below a descriptor on Linux, a checked
// relative name in the page's file system), so each half opens its own
// folders and hands them here.
#include "assets/decoder_files.h"
#include "assets/neighbour_files.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

const char* decoder_type_refusal(const struct stat& status) {
    return S_ISDIR(status.st_mode) ? "is a directory, not a file" : "is not a regular file";
}

void close_decoder_files(DECODER_FILES* files) {
    for (int fd : {files->file, files->folder}) {
        if (fd >= 0) {
            close(fd);
        }
    }
    *files = DECODER_FILES{};
}

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

std::string listing_folder(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

std::string find_ignoring_case(int listing, const std::string& path) {
    DIR* entries = listing >= 0 ? fdopendir(listing) : nullptr;
    if (!entries) {
        if (listing >= 0) {
            close(listing);
        }
        return std::string();
    }
    const size_t slash = path.rfind('/');
    const std::string parent =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string found;
    int checked = 0;
    for (const dirent* entry; found.empty() && checked < 10000 && (entry = readdir(entries));
         ++checked) {
        if (strcasecmp(entry->d_name, name.c_str()) == 0) {
            found = parent + entry->d_name;
        }
    }
    closedir(entries);
    return found;
}
