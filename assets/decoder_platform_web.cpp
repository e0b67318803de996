// The decoder in the browser: the platform half of assets/ that Linux has in
// decoder_process.cpp and decoder_files.cpp (CMake builds one or the other).
// Owns no globals but the hooks decoder_main.cpp would set.
//
// A page starts no processes, so files are decoded in the page's own, which
// is the sandbox here: the browser keeps the page to its own memory and to
// the files in its file system. Everything else is as in the decoder
// program: the same guards on the file's bytes (size, format, counts), the
// same neighbour rule (relative names below the model's folder, no ".."),
// and the answer is encoded as the decoder sends it and read back through
// the same bounded reader and checks, so a decoded model reaches the engine
// only in the shape an answer from another process would have.
#include "assets/decoder_process.h"
#include "assets/model_decode.h"
#include "assets/neighbour_files.h"
#include "assets/picture_decode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

uint32_t (*decoder_lock_function)(int folder_fd) = nullptr;
void (*decoder_lock_prepare_function)() = nullptr;
void (*decoder_after_lock)(const char* name) = nullptr;
uint64_t decoder_folder_handle = 0;

namespace {

// Relative names without "..": the page's file system has no links to
// follow out of a folder, so the name alone keeps the read below it.
bool below(const std::string& path) {
    if (path.empty() || path[0] == '/') {
        return false;
    }
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find('/', start);
        end = end == std::string::npos ? path.size() : end;
        if (path.compare(start, end - start, "..") == 0 && end - start == 2) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

template <class RESULT, class ENCODE, class READ>
DECODE_STATUS through_answer(DECODE_STATUS status, RESULT* result, const IMPORT_OPTIONS& options,
                             std::string* reason, ENCODE encode, READ read) try {
    std::vector<uint8_t> bytes;
    encode(status, *result, *reason, &bytes);
    *result = RESULT{};
    std::vector<uint8_t> answer;
    ANSWER_COLLECTOR collector;
    collector.limit = std::min(options.answer_limit_bytes, options.memory_limit_bytes);
    collector.answer = &answer;
    if (!collector.take(bytes.data(), bytes.size())) {
        *reason = "the decoder's answer is too large (over " +
                  std::to_string(collector.limit >> 20) + " MB, or more than it announced)";
        return DECODE_REFUSED;
    }
    bytes = std::vector<uint8_t>();
    DECODE_STATUS decoded = DECODE_REFUSED;
    if (!read(answer.data(), answer.size(), &decoded, result, reason)) {
        *result = RESULT{};
        *reason = "the decoder's answer is damaged";
        return DECODE_REFUSED;
    }
    return decoded;
} catch (const std::bad_alloc&) {
    *result = RESULT{};
    *reason = "not enough memory for the decoder's answer";
    return DECODE_REFUSED;
}

} // namespace

// --- Files (decoder_files.h, neighbour_files.h) ---

bool parent_is_neighbourhood(const std::string&, const char*) {
    return false; // neighbours come from the model's own folder only
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
    struct stat status;
    if (base.empty() || stat(whole.c_str(), &status) != 0) {
        *reason = base.empty() ? "is a directory, not a file" : "cannot be found";
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        *reason = decoder_type_refusal(status);
        return false;
    }
    if (uint64_t(status.st_size) > MAX_DECODER_FILE_BYTES) {
        *reason = "is larger than 1 GB";
        return false;
    }
    out->file = open(whole.c_str(), O_RDONLY | O_CLOEXEC);
    if (out->file < 0) {
        *reason = "cannot be opened";
        return false;
    }
    out->name = base;
    if (with_neighbours) {
        out->folder = open(folder_name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    reason->clear();
    return true;
}

bool look_at_descriptor(int fd, size_t size, bool (*look)(const uint8_t*, size_t, void*),
                        void* user, bool* answer) {
    // The page's files live in memory already: a copy is what a map would be.
    std::vector<uint8_t> bytes;
    std::string reason;
    if (!read_descriptor(fd, &bytes, &reason) || bytes.size() != size) {
        return false;
    }
    *answer = look(bytes.data(), bytes.size(), user);
    return true;
}

bool read_below(int folder, const std::string& path, std::vector<uint8_t>* out,
                std::string* reason) {
    if (folder < 0 || !below(path)) {
        *reason = "lies outside the folder around the model";
        return false;
    }
    struct stat status;
    if (fstatat(folder, path.c_str(), &status, 0) != 0) {
        *reason = "is missing";
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        *reason = decoder_type_refusal(status);
        return false;
    }
    const int fd = openat(folder, path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *reason = "cannot be opened";
        return false;
    }
    const bool ok = read_descriptor(fd, out, reason);
    close(fd);
    return ok;
}

std::string find_below(int folder, const std::string& path) {
    struct stat status;
    if (folder < 0 || !below(path)) {
        return std::string();
    }
    if (fstatat(folder, path.c_str(), &status, 0) == 0) {
        return path;
    }
    return find_ignoring_case(
        openat(folder, listing_folder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), path);
}

bool exists_below(int folder, const std::string& path) {
    struct stat status;
    return folder >= 0 && below(path) && fstatat(folder, path.c_str(), &status, 0) == 0 &&
           S_ISREG(status.st_mode);
}

// --- The decode (decoder_process.h): in this process ---

DECODE_STATUS decode_in_child(const DECODER_FILES* files, const void* data, size_t size,
                              const char* hint, const IMPORT_OPTIONS& options, DECODED_MODEL* out,
                              std::string* reason) {
    DECODE_STATUS status;
    try {
        status = decode_model(files, data, size, hint, out, reason);
    } catch (const std::bad_alloc&) {
        status = DECODE_OUT_OF_MEMORY;
    }
    if (status == DECODE_OUT_OF_MEMORY) {
        *out = DECODED_MODEL{};
        return status;
    }
    return through_answer(status, out, options, reason, decoded_model_encode, decoded_model_read);
}

DECODE_STATUS decode_picture_in_child(const DECODER_FILES* files, const void* data, size_t size,
                                      const char* name, const IMPORT_OPTIONS& options, PICTURE* out,
                                      std::string* reason) {
    DECODE_STATUS status = DECODE_REFUSED;
    try {
        std::vector<uint8_t> bytes;
        if (!files || read_descriptor(files->file, &bytes, reason)) {
            status = decode_picture(files ? bytes.data() : data, files ? bytes.size() : size,
                                    files ? files->name.c_str() : name, out, reason)
                         ? DECODE_LOADED
                         : DECODE_REFUSED;
        }
    } catch (const std::bad_alloc&) {
        *out = PICTURE{};
        return DECODE_OUT_OF_MEMORY;
    }
    return through_answer(status, out, options, reason, decoded_picture_encode,
                          decoded_picture_read);
}

int decoder_main(DECODE_KIND, const char*, bool, const char*, uint64_t, double, DECODER_SANDBOX) {
    return 1; // no decoder program in the browser
}

int decoder_serve() {
    return 1;
}

void decoder_prepare(const IMPORT_OPTIONS&) {}
