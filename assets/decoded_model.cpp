// The decoder's answer as bytes (see decoded_model.h): fixed-size values as
// they lie in memory (both ends are the same program build), arrays and
// strings behind a 64-bit count. Owns no globals.
#include "assets/decoded_model.h"

#include <cstring>
#include <type_traits>

namespace {

struct WRITER {
    std::vector<uint8_t>* out;

    template <class T> void value(const T& v) {
        static_assert(std::is_trivially_copyable_v<T>);
        const uint8_t* p = reinterpret_cast<const uint8_t*>(&v);
        out->insert(out->end(), p, p + sizeof(T));
    }
    template <class T> void array(const std::vector<T>& v) {
        value(uint64_t(v.size()));
        const uint8_t* p = reinterpret_cast<const uint8_t*>(v.data());
        out->insert(out->end(), p, p + v.size() * sizeof(T));
    }
    void text(const std::string& s) {
        value(uint64_t(s.size()));
        out->insert(out->end(), s.begin(), s.end());
    }
    // A list of records, each written by f.
    template <class T, class F> void list(const std::vector<T>& v, F f) {
        value(uint64_t(v.size()));
        for (const T& item : v) {
            f(item);
        }
    }
};

struct READER {
    const uint8_t* at;
    size_t left;
    bool ok = true;

    bool take(void* to, size_t bytes) {
        if (!ok || bytes > left) {
            ok = false;
            return false;
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

} // namespace

void decoded_model_write(DECODE_STATUS status, const DECODED_MODEL& model,
                         const std::string& reason, std::vector<uint8_t>* bytes) {
    WRITER w{bytes};
    w.value(uint8_t(status));
    if (status == DECODE_LOADED) {
        transfer(w, model);
    } else {
        w.text(reason);
    }
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
