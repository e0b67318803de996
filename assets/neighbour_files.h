// The only way the model decoder reads files: the model and its neighbours
// (the files below the folder that holds the model's folder, where exporters
// put "../textures"), regular files only. A FIFO, a device or a directory
// is refused before it is opened, so it cannot block or feed the decoder
// forever; a name that leads outside the folder (.., a symbolic link) is
// refused too. Owns no globals; POSIX file calls.
#pragma once

#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>

#include <cstdint>
#include <string>
#include <vector>

// Whole files are read at once; larger ones are refused.
constexpr uint64_t MAX_NEIGHBOUR_FILE_BYTES = uint64_t(1) << 30;

// Reads path when it is a regular file among the neighbours of a model in
// folder (folder "" allows any regular file, for the model itself). On
// failure sets reason ("is not a regular file", "lies outside the folder
// around the model", ...) and returns false.
bool read_neighbour_file(const std::string& folder, const std::string& path,
                         std::vector<uint8_t>* out, std::string* reason);

// The Assimp file system of a model file: its neighbours, read whole into
// memory.
struct NEIGHBOUR_FILES : Assimp::IOSystem {
    explicit NEIGHBOUR_FILES(std::string model_path);
    bool Exists(const char* path) const override;
    char getOsSeparator() const override { return '/'; }
    Assimp::IOStream* Open(const char* path, const char* mode) override;
    void Close(Assimp::IOStream* stream) override { delete stream; }

    std::string model; // opened whatever folder it is in
    std::string folder;
    std::string refusal; // why the model itself could not be opened, if it could not
};
