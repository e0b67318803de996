// Guarded reading of the model and its neighbours (see neighbour_files.h).
// The type is checked twice: lstat-free stat before opening (so a FIFO is
// never opened at all), then fstat on the opened descriptor (so a file
// swapped in between is caught); O_NONBLOCK keeps even that open from waiting.
#include "assets/neighbour_files.h"

#include <assimp/MemoryIOWrapper.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>

namespace {

std::string real_path(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// The tree a model's neighbours live in: the folder above the model's, so
// that the sibling folders exporters name ("../textures/wood.png") are in.
std::string neighbourhood(const std::string& folder) {
    std::string root = real_path(folder);
    size_t slash = root.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : root.substr(0, slash);
}

bool inside(const std::string& folder, const std::string& file) {
    return folder.empty() ||
           (file.size() > folder.size() && file.compare(0, folder.size(), folder) == 0 &&
            (folder.back() == '/' || file[folder.size()] == '/'));
}

} // namespace

bool read_neighbour_file(const std::string& folder, const std::string& path,
                         std::vector<uint8_t>* out, std::string* reason) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        *reason = "cannot be found";
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        *reason = S_ISDIR(status.st_mode) ? "is a directory, not a file" : "is not a regular file";
        return false;
    }
    if (!folder.empty() && !inside(neighbourhood(folder), real_path(path))) {
        *reason = "lies outside the folder around the model";
        return false;
    }
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *reason = "cannot be opened";
        return false;
    }
    bool ok = fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    if (!ok) {
        *reason = "is not a regular file";
    } else if (uint64_t(status.st_size) > MAX_NEIGHBOUR_FILE_BYTES) {
        *reason = "is larger than 1 GB";
        ok = false;
    }
    if (ok) {
        out->resize(size_t(status.st_size));
        size_t got = 0;
        while (got < out->size()) {
            ssize_t n = read(fd, out->data() + got, out->size() - got);
            if (n <= 0) {
                break;
            }
            got += size_t(n);
        }
        out->resize(got);
    }
    close(fd);
    return ok;
}

NEIGHBOUR_FILES::NEIGHBOUR_FILES(std::string model_path) : model(std::move(model_path)) {
    size_t slash = model.rfind('/');
    folder = slash == std::string::npos ? std::string(".") : model.substr(0, slash + 1);
}

bool NEIGHBOUR_FILES::Exists(const char* path) const {
    struct stat status;
    return path && stat(path, &status) == 0 && S_ISREG(status.st_mode) &&
           (model == path || inside(neighbourhood(folder), real_path(path)));
}

Assimp::IOStream* NEIGHBOUR_FILES::Open(const char* path, const char* mode) {
    if (!path || !mode || mode[0] != 'r') {
        return nullptr; // the decoder writes nothing
    }
    std::vector<uint8_t> bytes;
    std::string reason;
    bool is_model = model == path;
    if (!read_neighbour_file(is_model ? std::string() : folder, path, &bytes, &reason)) {
        if (is_model) {
            refusal = reason;
        }
        return nullptr;
    }
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.empty() ? 1 : bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), copy.get());
    return new Assimp::MemoryIOStream(copy.release(), bytes.size(), true);
}
