// The decoder's answer as bytes (see decoded_model.h): its length, then
// fixed-size values as they lie in memory (both ends are the same build),
// arrays and strings behind a 64-bit count. Owns no globals.
#include "assets/decoded_model.h"

#include <cstring>
#include <unistd.h>
#include <type_traits>

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
    // A list of records, each written by f.
    template <class T, class F> void list(const std::vector<T>& v, F f) {
        value(uint64_t(v.size()));
        for (const T& item : v) {
            f(item);
        }
    }
};

// Small pieces gather in a buffer; large arrays go to the descriptor as they
// are, so the answer is never copied whole.
struct FD_SINK {
    int fd;
    bool ok = true;
    std::vector<uint8_t> buffer;

    void write_all(const void* bytes, size_t size) {
        const uint8_t* p = static_cast<const uint8_t*>(bytes);
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
    template <class T, class F> void list(std::vector<T>& v, F f) {
        // Every record takes at least 8 bytes, so the count is bounded too.
        v.resize(size_t(count(8)));
        for (T& item : v) {
            if (!ok) {
                return;
            }
            f(item);
        }
    }
};

// One description of the layout, used for both directions.
template <class IO, class MODEL_T> void transfer(IO& io, MODEL_T& m) {
    io.list(m.nodes, [&](auto& n) {
        io.text(n.name);
        io.value(n.parent);
        io.value(n.pivot);
    });
    io.list(m.parts, [&](auto& p) {
        io.value(p.node);
        io.value(p.skin);
        io.array(p.vertices);
        io.list(p.pieces, [&](auto& piece) {
            io.value(piece.material);
            io.array(piece.indices);
        });
    });
    io.list(m.materials, [&](auto& mat) {
        io.value(mat.diffuse);
        io.value(mat.specular);
        io.value(mat.emission);
        io.value(mat.alpha);
        io.value(mat.transparent);
        io.value(mat.two_sided);
        io.value(mat.width);
        io.value(mat.height);
        io.array(mat.pixels);
    });
    io.list(m.skins, [&](auto& s) { io.array(s.joints); });
    io.list(m.clips, [&](auto& c) {
        io.text(c.name);
        io.value(c.seconds);
        io.value(c.frame_count);
        io.list(c.per_skin, [&](auto& frames) { io.array(frames); });
    });
    io.value(m.bounds_min);
    io.value(m.bounds_max);
    io.value(m.joint_count);
    io.list(m.warnings, [&](auto& w) { io.text(w); });
}

template <class WRITER_T>
void write_answer(WRITER_T& w, DECODE_STATUS status, const DECODED_MODEL& model,
                  const std::string& reason) {
    w.value(uint8_t(status));
    if (status == DECODE_LOADED) {
        transfer(w, model);
    } else {
        w.text(reason);
    }
}

} // namespace

bool decoded_model_send(int fd, DECODE_STATUS status, const DECODED_MODEL& model,
                        const std::string& reason) {
    uint64_t size = 0;
    WRITER counter{count_bytes, &size};
    write_answer(counter, status, model, reason);
    FD_SINK sink{fd, true, {}};
    sink.buffer.reserve(1 << 16);
    WRITER w{FD_SINK::put, &sink};
    w.value(size);
    write_answer(w, status, model, reason);
    sink.flush();
    return sink.ok;
}

bool decoded_model_read(const uint8_t* data, size_t size, DECODE_STATUS* status,
                        DECODED_MODEL* model, std::string* reason) {
    READER r{data, size};
    uint8_t s = 0xff;
    r.value(s);
    if (!r.ok || s > DECODE_OUT_OF_MEMORY) {
        return false;
    }
    *status = DECODE_STATUS(s);
    if (s == DECODE_LOADED) {
        transfer(r, *model);
    } else {
        r.text(*reason);
    }
    return r.ok && r.left == 0;
}
