// The decoder's answer as bytes (see decoded_model.h): its length, then
// fixed-size values as they lie in memory (both ends are the same build),
// arrays and strings behind a 64-bit count. Owns no globals.
#include "assets/decoded_model.h"

#include <cstring>
#include <type_traits>
#include <unistd.h>
#include <utility>

namespace {

// Hands every piece of the answer to put (counting it, or sending it).
struct WRITER {
    void (*put)(void* sink, const void* bytes, size_t size);
    void* sink;

    template <class T> void value(const T& v) {
        static_assert(std::is_trivially_copyable_v<T>);
        put(sink, &v, sizeof(T));
    }
    template <class T> void array(const std::vector<T>& v) {
        value(uint64_t(v.size()));
        put(sink, v.data(), v.size() * sizeof(T));
    }
    void text(const std::string& s) {
        value(uint64_t(s.size()));
        put(sink, s.data(), s.size());
    }
    // A list of records, each written by LAYOUT::fields.
    template <class LAYOUT, class T> void list(const std::vector<T>& v) {
        value(uint64_t(v.size()));
        for (const T& item : v) {
            LAYOUT::fields(*this, item);
        }
    }
};

// Small pieces gather in a buffer; large arrays go to the descriptor as they
// are, so the answer is never copied whole.
struct FD_SINK {
    int fd;
    bool ok = true;
    std::vector<uint8_t> buffer;
    std::vector<uint8_t>* memory = nullptr; // set: the answer is kept here, not sent

    void write_all(const void* bytes, size_t size) {
        const uint8_t* p = static_cast<const uint8_t*>(bytes);
        if (memory) {
            memory->insert(memory->end(), p, p + size);
            return;
        }
        while (ok && size > 0) {
            ssize_t n = ::write(fd, p, size);
            if (n <= 0) {
                ok = false;
                return;
            }
            p += n;
            size -= size_t(n);
        }
    }
    void flush() {
        write_all(buffer.data(), buffer.size());
        buffer.clear();
    }
    static void put(void* sink, const void* bytes, size_t size) {
        FD_SINK& s = *static_cast<FD_SINK*>(sink);
        if (size == 0) {
            return; // an empty array may have no storage at all
        }
        if (s.buffer.size() + size > (1 << 16)) {
            s.flush();
        }
        if (size > (1 << 16)) {
            s.write_all(bytes, size);
        } else {
            const uint8_t* p = static_cast<const uint8_t*>(bytes);
            s.buffer.insert(s.buffer.end(), p, p + size);
        }
    }
};

void count_bytes(void* sink, const void*, size_t size) {
    *static_cast<uint64_t*>(sink) += size;
}

// The fewest bytes a record laid out by LAYOUT takes in an answer: that of
// a default record, whose arrays, strings and lists are empty.
template <class LAYOUT, class T> uint64_t smallest_encoding() {
    static const uint64_t bytes = [] {
        uint64_t size = 0;
        WRITER counter{count_bytes, &size};
        const T empty{};
        LAYOUT::fields(counter, empty);
        return size;
    }();
    return bytes;
}

struct READER {
    const uint8_t* at;
    size_t left;
    bool ok = true;

    bool take(void* to, size_t bytes) {
        if (!ok || bytes > left) {
            ok = false;
            return false;
        }
        if (bytes == 0) {
            return true; // an empty array may have no storage at all
        }
        std::memcpy(to, at, bytes);
        at += bytes;
        left -= bytes;
        return true;
    }
    template <class T> void value(T& v) { take(&v, sizeof(T)); }
    // A count of items of at least item_bytes each that the bytes left can hold.
    uint64_t count(size_t item_bytes) {
        uint64_t n = 0;
        value(n);
        if (ok && n > left / (item_bytes ? item_bytes : 1)) {
            ok = false;
        }
        return ok ? n : 0;
    }
    template <class T> void array(std::vector<T>& v) {
        v.resize(size_t(count(sizeof(T))));
        take(v.data(), v.size() * sizeof(T));
    }
    void text(std::string& s) {
        s.resize(size_t(count(1)));
        take(s.data(), s.size());
    }
    // A list's count is bounded by its record's smallest encoding, so the
    // records made never take more than a few times the answer's own bytes
    // (4 at most: an empty string costs 8 bytes here and 32 in memory).
    template <class LAYOUT, class T> void list(std::vector<T>& v) {
        v.resize(size_t(count(size_t(smallest_encoding<LAYOUT, T>()))));
        for (T& item : v) {
            if (!ok) {
                return;
            }
            LAYOUT::fields(*this, item);
        }
    }
};

// One description of the layout, used for both directions: a LAYOUT names
// the fields of one kind of record, in the order they travel.
struct TEXT_LAYOUT {
    template <class IO, class T> static void fields(IO& io, T& s) { io.text(s); }
};
struct NODE_LAYOUT {
    template <class IO, class T> static void fields(IO& io, T& n) {
        io.text(n.name);
        io.value(n.parent);
        io.value(n.pivot);
    }
};
struct PIECE_LAYOUT {
    template <class IO, class T> static void fields(IO& io, T& piece) {
        io.value(piece.material);
        io.array(piece.indices);
    }
};
struct PART_LAYOUT {
    template <class IO, class T> static void fields(IO& io, T& p) {
        io.value(p.node);
        io.value(p.skin);
        io.array(p.vertices);
        io.template list<PIECE_LAYOUT>(p.pieces);
    }
};
struct MATERIAL_LAYOUT {
    template <class IO, class T> static void fields(IO& io, T& mat) {
        io.value(mat.diffuse);
        io.value(mat.specular);
        io.value(mat.emission);
        io.value(mat.alpha);
        io.value(mat.transparent);
        io.value(mat.two_sided);
        io.value(mat.width);
        io.value(mat.height);
        io.array(mat.pixels);
    }
};
struct SKIN_LAYOUT {
    template <class IO, class T> static void fields(IO& io, T& s) { io.array(s.joints); }
};
struct FRAMES_LAYOUT {
    template <class IO, class T> static void fields(IO& io, T& frames) { io.array(frames); }
};
struct CLIP_LAYOUT {
    template <class IO, class T> static void fields(IO& io, T& c) {
        io.text(c.name);
        io.value(c.seconds);
        io.value(c.frame_count);
        io.template list<FRAMES_LAYOUT>(c.per_skin);
    }
};

template <class IO, class MODEL_T> void transfer(IO& io, MODEL_T& m) {
    io.template list<NODE_LAYOUT>(m.nodes);
    io.template list<PART_LAYOUT>(m.parts);
    io.template list<MATERIAL_LAYOUT>(m.materials);
    io.template list<SKIN_LAYOUT>(m.skins);
    io.template list<CLIP_LAYOUT>(m.clips);
    io.value(m.bounds_min);
    io.value(m.bounds_max);
    io.value(m.joint_count);
    io.template list<TEXT_LAYOUT>(m.warnings);
}

// A picture's answer: its size, then its RGBA rows.
template <class IO, class PICTURE_T> void transfer_picture(IO& io, PICTURE_T& p) {
    io.value(p.width);
    io.value(p.height);
    io.array(p.pixels);
}

// The status, then the result (transferred by move) or the reason.
template <class IO, class RESULT, class MOVE>
void answer_body(IO& io, DECODE_STATUS status, RESULT& result, const std::string& reason,
                 MOVE move) {
    io.value(uint8_t(status));
    if (status == DECODE_LOADED) {
        move(io, result);
    } else {
        io.text(reason);
    }
}

template <class RESULT, class MOVE>
bool send_answer(int fd, DECODE_STATUS status, const RESULT& result, const std::string& reason,
                 MOVE move, std::vector<uint8_t>* memory = nullptr) {
    uint64_t size = 0;
    WRITER counter{count_bytes, &size};
    answer_body(counter, status, result, reason, move);
    FD_SINK sink{fd, true, {}, memory};
    if (memory) {
        memory->reserve(size_t(size) + sizeof size);
    }
    sink.buffer.reserve(1 << 16);
    WRITER w{FD_SINK::put, &sink};
    w.value(size);
    answer_body(w, status, result, reason, move);
    sink.flush();
    return sink.ok;
}

template <class RESULT, class MOVE>
bool read_answer(const uint8_t* data, size_t size, DECODE_STATUS* status, RESULT* result,
                 std::string* reason, MOVE move) {
    READER r{data, size};
    uint8_t s = 0xff;
    r.value(s);
    if (!r.ok || s > DECODE_OUT_OF_MEMORY) {
        return false;
    }
    *status = DECODE_STATUS(s);
    if (s == DECODE_LOADED) {
        move(r, *result);
    } else {
        r.text(*reason);
    }
    return r.ok && r.left == 0;
}

} // namespace

bool decoded_model_send(int fd, DECODE_STATUS status, const DECODED_MODEL& model,
                        const std::string& reason) {
    return send_answer(fd, status, model, reason, [](auto& io, auto& m) { transfer(io, m); });
}

bool decoded_model_read(const uint8_t* data, size_t size, DECODE_STATUS* status,
                        DECODED_MODEL* model, std::string* reason) {
    return read_answer(data, size, status, model, reason,
                       [](auto& io, auto& m) { transfer(io, m); });
}

bool decoded_picture_send(int fd, DECODE_STATUS status, const PICTURE& picture,
                          const std::string& reason) {
    return send_answer(fd, status, picture, reason,
                       [](auto& io, auto& p) { transfer_picture(io, p); });
}

bool decoded_picture_read(const uint8_t* data, size_t size, DECODE_STATUS* status, PICTURE* picture,
                          std::string* reason) {
    PICTURE read;
    if (!read_answer(data, size, status, &read, reason,
                     [](auto& io, auto& p) { transfer_picture(io, p); })) {
        return false;
    }
    // The picture is checked as the engine's own decoder checks it.
    if (*status == DECODE_LOADED &&
        (!picture_size_acceptable(read.width, read.height) ||
         read.pixels.size() != size_t(read.width) * size_t(read.height) * 4)) {
        return false;
    }
    *picture = std::move(read);
    return true;
}

void decoded_model_encode(DECODE_STATUS status, const DECODED_MODEL& model,
                          const std::string& reason, std::vector<uint8_t>* out) {
    send_answer(
        -1, status, model, reason, [](auto& io, auto& m) { transfer(io, m); }, out);
}

void decoded_picture_encode(DECODE_STATUS status, const PICTURE& picture, const std::string& reason,
                            std::vector<uint8_t>* out) {
    send_answer(
        -1, status, picture, reason, [](auto& io, auto& p) { transfer_picture(io, p); }, out);
}

bool ANSWER_COLLECTOR::take(const uint8_t* bytes, size_t size) {
    while (size > 0 && length_got < sizeof length) {
        length[length_got++] = *bytes++;
        --size;
        if (length_got == sizeof length) {
            std::memcpy(&expected, length, sizeof expected);
            if (expected > limit) {
                return false;
            }
        }
    }
    if (size > expected - answer->size()) {
        return false;
    }
    answer->insert(answer->end(), bytes, bytes + size);
    return true;
}
