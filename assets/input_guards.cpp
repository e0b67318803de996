// Cheap checks before decoding (see input_guards.h). Each format's guard
// reads only as far as its counts, skipping comments and white space of any
// length; a count is refused when the bytes after it cannot hold that many of
// the smallest item it counts. A header a guard does not understand is left
// to the decoder, which runs limited. Owns nothing; POSIX file calls.
#include "assets/input_guards.h"

#include "assets/decoder_files.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <string_view>

namespace {

constexpr uint64_t HUGE_COUNT = UINT64_MAX;

bool ends_with(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() &&
           strncasecmp(s.data() + s.size() - tail.size(), tail.data(), tail.size()) == 0;
}

bool named(const char* name, const char* extension) {
    if (!name) {
        return false;
    }
    std::string_view n(name);
    return strcasecmp(name, extension) == 0 ||
           (n.size() > std::strlen(extension) && ends_with(n, extension) &&
            n[n.size() - std::strlen(extension) - 1] == '.');
}

// A cursor over text with tokens separated by white space (and, where a
// format says so, by punctuation of its own), comments skipped.
struct TEXT {
    const char* data;
    size_t size;
    size_t at = 0;
    const char* comment = "#"; // a token starting with one of these runs to the end of the line
    const char* punctuation = "";

    bool space(char c) const {
        return std::isspace(static_cast<unsigned char>(c)) || (c && std::strchr(punctuation, c));
    }
    void skip() {
        for (;;) {
            while (at < size && space(data[at])) {
                ++at;
            }
            bool line_comment = at < size && std::strchr(comment, data[at]) && data[at];
            if (at + 1 < size && data[at] == '/' && data[at + 1] == '/') {
                line_comment = true;
            }
            if (!line_comment) {
                return;
            }
            while (at < size && data[at] != '\n') {
                ++at;
            }
        }
    }
    std::string_view token() {
        skip();
        size_t start = at;
        if (at < size && data[at] == '"') { // a quoted name is one token
            ++at;
            while (at < size && data[at] != '"' && data[at] != '\n') {
                ++at;
            }
            at += at < size && data[at] == '"';
        } else if (at < size && (data[at] == '{' || data[at] == '}')) {
            ++at; // a brace is a token of its own
        } else {
            while (at < size && !space(data[at]) && data[at] != '{' && data[at] != '}') {
                ++at;
            }
        }
        return std::string_view(data + start, at - start);
    }
    size_t left() const { return size - at; }
    // The rest of the current line.
    void skip_line() {
        while (at < size && data[at] != '\n') {
            ++at;
        }
    }
};

// A whole number; HUGE_COUNT when it has more digits than 64 bits hold;
// false when the token is not a plain unsigned number.
bool count_of(std::string_view token, uint64_t* n) {
    if (token.empty() || token.find_first_not_of("0123456789") != std::string_view::npos) {
        return false;
    }
    *n = 0;
    for (char c : token) {
        if (*n > (HUGE_COUNT - 9) / 10) {
            *n = HUGE_COUNT;
            return true;
        }
        *n = *n * 10 + uint64_t(c - '0');
    }
    return true;
}

// Refuses count items of at least item_bytes each in the bytes left.
bool fits(uint64_t count, uint64_t item_bytes, size_t left, const char* format, const char* what,
          std::string* reason) {
    if (count <= left / item_bytes) {
        return true;
    }
    *reason = std::string("the ") + format + " file declares " +
              (count == HUGE_COUNT ? std::string("an enormous number of") : std::to_string(count)) +
              " " + what + ", more than its " + std::to_string(left) + " remaining bytes hold";
    return false;
}

// OFF: "[ST][C][N][4]OFF" (optional) then the vertex and face counts.
bool off_guard(TEXT t, const char* name, bool* known, std::string* reason) {
    std::string_view first = t.token();
    bool keyword = ends_with(first, "OFF") && first.size() <= 6;
    uint64_t counts[2];
    if (!keyword && !named(name, "off")) {
        return true;
    }
    *known = true;
    std::string_view token = keyword ? t.token() : first;
    if (!count_of(token, &counts[0]) || !count_of(t.token(), &counts[1])) {
        return true;
    }
    // A vertex takes at least "0 0 0\n", a face at least "3 0 1 2\n".
    return fits(counts[0], 6, t.left(), "OFF", "vertices", reason) &&
           fits(counts[1], 8, t.left() - counts[0] * 6, "OFF", "faces", reason);
}

int ply_type_bytes(std::string_view type) {
    static const struct {
        const char* name;
        int bytes;
    } types[] = {{"char", 1},  {"uchar", 1},   {"int8", 1},   {"uint8", 1},
                 {"short", 2}, {"ushort", 2},  {"int16", 2},  {"uint16", 2},
                 {"int", 4},   {"uint", 4},    {"int32", 4},  {"uint32", 4},
                 {"float", 4}, {"float32", 4}, {"double", 8}, {"float64", 8}};
    for (const auto& t : types) {
        if (type == t.name) {
            return t.bytes;
        }
    }
    return 1;
}

// PLY: every element's count times its smallest record, summed, against
// the bytes after "end_header".
bool ply_guard(TEXT t, std::string* reason) {
    bool ascii = true;
    uint64_t needed = 0;
    uint64_t count = 0, record = 0;
    auto close_element = [&]() {
        if (count == 0) {
            return true;
        }
        record = record ? record : 1;
        if (count > (t.size) / record || needed + count * record > t.size) {
            *reason = "the PLY header declares " +
                      (count == HUGE_COUNT ? std::string("an enormous number of")
                                           : std::to_string(count)) +
                      " elements, more than the " + std::to_string(t.size) + "-byte file holds";
            return false;
        }
        needed += count * record;
        count = record = 0;
        return true;
    };
    t.token(); // "ply"
    for (;;) {
        std::string_view word = t.token();
        if (word.empty()) {
            return true; // no end of header: the decoder refuses it
        }
        if (word == "format") {
            ascii = t.token() == "ascii";
        } else if (word == "element") {
            if (!close_element()) {
                return false;
            }
            t.token();
            if (!count_of(t.token(), &count)) {
                return true;
            }
        } else if (word == "property") {
            std::string_view type = t.token();
            if (type == "list") {
                type = t.token(); // the count's type; the items take at least nothing more
                t.token();
            }
            record += ascii ? 2 : uint64_t(ply_type_bytes(type));
        } else if (word == "end_header") {
            t.skip_line();
            if (!close_element()) {
                return false;
            }
            // Files cut a little short load (the reader keeps what is
            // there); only a count far beyond the file is a forgery.
            const uint64_t slack = t.left() + 4096;
            return needed <= t.left() + slack ||
                   fits(needed, 1, t.left() + slack, "PLY", "bytes of elements", reason);
        }
        t.skip_line();
    }
}

// Text X: the counts that open the data objects whose readers allocate
// from them, with the smallest size of what each counts.
bool x_guard(TEXT t, std::string* reason) {
    t.at = 16; // "xof 0303txt 0032"
    t.punctuation = ",;";
    t.comment = "#";
    struct TEMPLATE {
        const char* name;
        uint64_t first_bytes;  // per item of the first count
        uint64_t skip_numbers; // numbers per first item before the second count (0: none)
        uint64_t second_bytes; // per item of the second count (0: none)
    };
    static const TEMPLATE templates[] = {{"Mesh", 6, 3, 8},
                                         {"MeshNormals", 6, 3, 8},
                                         {"MeshTextureCoords", 4, 0, 0},
                                         {"MeshVertexColors", 10, 0, 0},
                                         {"MeshMaterialList", 3, 0, 2},
                                         {"SkinWeights", 4, 0, 0},
                                         {"AnimationKey", 6, 0, 0}};
    for (std::string_view word = t.token(); !word.empty(); word = t.token()) {
        const TEMPLATE* found = nullptr;
        for (const TEMPLATE& candidate : templates) {
            if (word == candidate.name) {
                found = &candidate;
            }
        }
        if (!found) {
            continue;
        }
        std::string_view next = t.token();
        if (next != "{") {
            next = t.token(); // an object name before the brace
        }
        if (next != "{") {
            continue;
        }
        uint64_t first = 0;
        std::string_view number = t.token();
        if (word == "SkinWeights" && !number.empty() && number[0] == '"') {
            number = t.token(); // the bone's name comes first
        }
        if (word == "AnimationKey") {
            number = t.token(); // the key type comes first
        }
        if (!count_of(number, &first)) {
            continue;
        }
        if (!fits(first, found->first_bytes, t.left(), "X", "items", reason)) {
            return false;
        }
        if (!found->second_bytes) {
            continue;
        }
        for (uint64_t i = 0; i < first * found->skip_numbers; ++i) {
            t.token();
        }
        uint64_t second = 0;
        if (count_of(t.token(), &second) &&
            !fits(second, found->second_bytes, t.left(), "X", "faces", reason)) {
            return false;
        }
    }
    return true;
}

// MD5 mesh and animation: every "numX N" against the whole file.
bool md5_guard(TEXT t, std::string* reason) {
    static const struct {
        const char* key;
        uint64_t bytes;
    } keys[] = {{"numJoints", 12},
                {"numMeshes", 10},
                {"numverts", 16},
                {"numtris", 12},
                {"numweights", 20},
                {"numFrames", 10},
                {"numAnimatedComponents", 2}};
    uint64_t frames = 0, components = 0;
    for (std::string_view word = t.token(); !word.empty(); word = t.token()) {
        for (const auto& key : keys) {
            uint64_t n = 0;
            if (word != key.key || !count_of(t.token(), &n)) {
                continue;
            }
            if (!fits(n, key.bytes, t.left(), "MD5", key.key + 3, reason)) {
                return false;
            }
            frames = word == "numFrames" ? n : frames;
            components = word == "numAnimatedComponents" ? n : components;
        }
    }
    // Every frame lists every animated component.
    return frames == 0 ||
           fits(components, 2 * frames, t.size, "MD5", "animated values per frame", reason);
}

// SMD: bone numbers of the "nodes" and "triangles" sections size the
// reader's bone list.
bool smd_guard(TEXT t, std::string* reason) {
    t.comment = "/";
    std::string_view section;
    for (;;) {
        t.skip();
        if (t.at >= t.size) {
            return true;
        }
        std::string_view word = t.token();
        if (word == "nodes" || word == "triangles" || word == "skeleton" || word == "end") {
            section = word;
        } else if (section == "nodes" || section == "triangles") {
            uint64_t bone = 0;
            if (count_of(word, &bone) && !fits(bone, 6, t.size, "SMD", "bones", reason)) {
                return false;
            }
        }
        t.skip_line();
    }
}

} // namespace

bool model_content_guard(const uint8_t* data, size_t size, const char* name, std::string* reason) {
    const char* text = reinterpret_cast<const char*>(data);
    TEXT t{text, size};
    std::string_view first = TEXT{text, size}.token();
    if (size >= 16 && std::memcmp(text, "xof ", 4) == 0 && std::memcmp(text + 8, "txt ", 4) == 0) {
        return x_guard(t, reason);
    }
    if (first == "ply") {
        return ply_guard(t, reason);
    }
    if (first == "MD5Version") {
        return md5_guard(t, reason);
    }
    if (first == "version") {
        return smd_guard(t, reason);
    }
    bool off = false;
    if (!off_guard(t, name, &off, reason)) {
        return false;
    }
    // Binary STL has no signature: a file named so that is not the text
    // form holds 50 bytes per triangle its count declares.
    const bool text_stl = first.size() >= 5 && strncasecmp(first.data(), "solid", 5) == 0;
    if (!off && named(name, "stl") && size >= 84 && !text_stl) {
        uint64_t triangles = uint64_t(data[80]) | uint64_t(data[81]) << 8 |
                             uint64_t(data[82]) << 16 | uint64_t(data[83]) << 24;
        return fits(triangles, 50, size - 84, "STL", "triangles", reason);
    }
    return true;
}

namespace {

// Opens path for reading when it is a regular file, not empty and at most
// max_bytes long; -1 with reason set otherwise. *bytes is its size.
int open_checked(const char* path, uint64_t max_bytes, size_t* bytes, std::string* reason) {
    struct stat status;
    if (stat(path, &status) != 0) {
        *reason = std::string("cannot be read (") + std::strerror(errno) + ")";
        return -1;
    }
    if (!S_ISREG(status.st_mode)) {
        *reason = S_ISDIR(status.st_mode) ? "is a directory, not a file" : "is not a regular file";
        return -1;
    }
    // O_NONBLOCK: a file swapped for a FIFO after the check does not block the open.
    int fd = open(path, DECODER_CHECK_OPEN_FLAGS);
    if (fd < 0) {
        *reason = std::string("cannot be read (") + std::strerror(errno) + ")";
        return -1;
    }
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        *reason = "is not a regular file";
    } else if (status.st_size == 0) {
        *reason = "is empty";
    } else if (uint64_t(status.st_size) > max_bytes) {
        *reason = "is larger than " + std::to_string(max_bytes >> 20) + " MB";
    } else {
        *bytes = size_t(status.st_size);
        return fd;
    }
    close(fd);
    return -1;
}

} // namespace

bool input_file_check(const char* path, uint64_t max_bytes, std::string* reason) {
    size_t bytes = 0;
    int fd = open_checked(path, max_bytes, &bytes, reason);
    if (fd >= 0) {
        close(fd);
    }
    return fd >= 0;
}

bool model_descriptor_guard(int fd, const char* name, std::string* reason) {
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        *reason = "is not a regular file";
        return false;
    }
    if (status.st_size == 0) {
        *reason = "is empty";
        return false;
    }
    struct LOOK {
        const char* name;
        std::string* reason;
    } look{name, reason};
    // A file that cannot be mapped is left to the decoder, which reads it.
    bool ok = true;
    look_at_descriptor(
        fd, size_t(status.st_size),
        [](const uint8_t* data, size_t size, void* user) {
            LOOK& l = *static_cast<LOOK*>(user);
            return model_content_guard(data, size, l.name, l.reason);
        },
        &look, &ok);
    return ok;
}

bool model_file_guard(const char* path, std::string* reason) {
    size_t bytes = 0;
    int fd = open_checked(path, UINT64_MAX, &bytes, reason);
    if (fd < 0) {
        return false;
    }
    const bool ok = model_descriptor_guard(fd, path, reason);
    close(fd);
    return ok;
}
