// What a decoder is handed instead of a path: the file, opened by the
// caller, and the folder tree its neighbours (material libraries, pictures,
// buffers) may be opened from. Every request kind opens its input with
// open_decoder_files, so no decoder ever resolves a name against its own
// folder or reaches beyond that tree. Owns no globals; each platform has
// its own implementation (decoder_process.h names them).
#pragma once

#include <fcntl.h>

#include <cstddef>
#include <cstdint>
#include <string>

// How the caller opens a file it only checks (input_guards.cpp): never
// blocking on a FIFO swapped in, never becoming a terminal, never inherited.
#if defined(_WIN32)
constexpr int DECODER_CHECK_OPEN_FLAGS = O_RDONLY | O_BINARY | O_NOINHERIT;
#else
constexpr int DECODER_CHECK_OPEN_FLAGS = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
#endif

// Whole files are read at once; larger ones are refused.
constexpr uint64_t MAX_DECODER_FILE_BYTES = uint64_t(1) << 30;

struct DECODER_FILES {
    int file = -1;    // read-only, a regular file
    int folder = -1;  // O_PATH descriptor of the neighbourhood; -1: no neighbours
    std::string name; // the file's path below folder (its bare name when there is none)
};

// Opens path (resolved against this process's working folder) as a regular
// file of at most MAX_DECODER_FILE_BYTES and, when with_neighbours, the tree
// its neighbours may come from: the folder above the file's, so that
// "../textures" is in, unless that folder is the root, a top-level folder
// (/tmp, /home) or a home folder; then the file's own folder, and no folder
// at all for a file directly under /. On failure sets reason ("cannot be
// found", "is a directory, not a file", ...) and returns false with nothing
// left open.
bool open_decoder_files(const char* path, bool with_neighbours, DECODER_FILES* out,
                        std::string* reason);
void close_decoder_files(DECODER_FILES* files);

// Maps the regular file open on fd (size bytes) read-only and sets *answer
// to look's answer on its bytes. False, *answer untouched, where it cannot
// be mapped.
bool look_at_descriptor(int fd, size_t size, bool (*look)(const uint8_t*, size_t, void*),
                        void* user, bool* answer);

// The neighbourhood rule alone, on a resolved folder path: true when the
// folder above real_folder may be read too.
bool parent_is_neighbourhood(const std::string& real_folder, const char* home);

// Shared by the halves that read files with POSIX calls (Linux, the browser;
// decoder_files_posix.cpp).
struct stat;
// Why a file of this type is refused: "is a directory, not a file" or "is
// not a regular file".
const char* decoder_type_refusal(const struct stat& status);
// The folder find_ignoring_case lists for path: its folder part, "." when it
// has none.
std::string listing_folder(const std::string& path);
// The entry of listing (path's folder, opened for reading, or -1; closed
// here) whose name matches path's last part without regard to case, as a
// path beside path; "" when none does. At most 10 000 entries are read.
std::string find_ignoring_case(int listing, const std::string& path);
