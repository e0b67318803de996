// The model decoder's file system (see neighbour_files.h), on every
// platform: the reading below a folder it relies on is each platform's own
// (decoder_files.cpp on Linux, decoder_platform_*.cpp elsewhere).
#include "assets/neighbour_files.h"

#include <assimp/MemoryIOWrapper.h>

#include <memory>

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
    return files.name == path || exists_below(files.folder, path);
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
