// The only way the model decoder reads files: the model through the
// descriptor it was handed, its neighbours only below the folder descriptor
// it was handed (decoder_files.h says which folder that is), opened with
// openat2's RESOLVE_BENEATH so that "..", an absolute name or a symbolic link
// cannot lead out of it, and regular files only: a FIFO, a device or a
// directory is refused before it is opened for reading, so it cannot block or
// feed the decoder forever. Owns no globals; POSIX file calls.
#pragma once

#include "assets/decoder_files.h"

#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>

#include <cstdint>
#include <string>
#include <vector>

// Reads the whole regular file open on fd (from its start, whatever its
// offset). On failure sets reason and returns false.
bool read_descriptor(int fd, std::vector<uint8_t>* out, std::string* reason);

// Reads the regular file path below folder (a descriptor; -1 has no
// neighbours). On failure sets reason ("is missing", "is not a regular
// file", "lies outside the folder around the model", ...) and returns false.
bool read_below(int folder, const std::string& path, std::vector<uint8_t>* out,
                std::string* reason);

// True when path below folder is a regular file.
bool exists_below(int folder, const std::string& path);

// path itself when something is there below folder, else a file in its
// folder whose name differs only in case (files made on systems whose names
// ignore case), else "".
std::string find_below(int folder, const std::string& path);

// The caller's own reading of a file it names (a picture to decode): any
// regular file, checked as open_decoder_files checks.
bool read_regular_file(const char* path, std::vector<uint8_t>* out, std::string* reason);

// The Assimp file system of a model handed over as DECODER_FILES: files.name
// is the model, read from files.file; every other name is a neighbour.
struct NEIGHBOUR_FILES : Assimp::IOSystem {
    explicit NEIGHBOUR_FILES(const DECODER_FILES& handed) : files(handed) {}
    bool Exists(const char* path) const override;
    char getOsSeparator() const override { return '/'; }
    Assimp::IOStream* Open(const char* path, const char* mode) override;
    void Close(Assimp::IOStream* stream) override { delete stream; }

    DECODER_FILES files; // not owned
    std::string refusal; // why the model itself could not be read, if it could not
};
