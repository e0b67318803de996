// Vertex and index buffers (see vertex_buffer.h). Owns no globals; each
// buffer owns its CPU copy and one slot of vertex_buffer_table or
// index_buffer_table. Binds go through the caches of gfx/handle_table.h;
// uploads and draws are counted in frame_stats.
#include "gfx/vertex_buffer.h"

#include "gfx/frame_stats.h"
#include "gfx/gl_dialect.h"
#include "gfx/handle_table.h"

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace {

// What distinguishes the two buffer kinds for the shared storage steps.
struct BUFFER_KIND {
    BUFFER_TABLE& table;
    int32_t slot_kind;
    GLenum target;
    void (*bind)(uint32_t slot);
};

BUFFER_KIND vertex_kind() {
    return {vertex_buffer_table, SLOT_VERTEX_BUFFER, GL_ARRAY_BUFFER, vertex_buffer_bind};
}

BUFFER_KIND index_kind() {
    return {index_buffer_table, SLOT_INDEX_BUFFER, GL_ELEMENT_ARRAY_BUFFER, index_buffer_bind};
}

// Byte size of count elements, or false when count is negative or the size
// does not fit the 32-bit capacity field.
template <class ELEMENT> bool element_bytes(int32_t count, uint32_t& bytes) {
    if (count < 0) {
        return false;
    }
    uint64_t wide = uint64_t(count) * sizeof(ELEMENT);
    if (wide > UINT32_MAX) {
        return false;
    }
    bytes = uint32_t(wide);
    return true;
}

template <class ELEMENT>
void reserve_elements(NAMED_BUFFER<ELEMENT>& b, const BUFFER_KIND& kind, int32_t count,
                      int32_t dynamic) {
    uint32_t bytes = 0;
    bool ok = element_bytes<ELEMENT>(count, bytes);
    assert(ok && "buffer element count out of range");
    if (!ok) {
        return;
    }
    // 1. A slot with a GL buffer name.
    if (b.slot == -1) {
        uint32_t slot = slot_alloc(kind.table);
        GLuint name = 0;
        glGenBuffers(1, &name);
        gl_check();
        kind.table.slots[slot] = HANDLE_SLOT{kind.slot_kind, name};
        b.slot = int32_t(slot);
    }
    // 2. Grow the CPU copy; the GL storage must follow.
    if (b.capacity < bytes) {
        void* grown = std::realloc(b.data, bytes);
        if (!grown) {
            throw std::bad_alloc();
        }
        // Zeroed so no uninitialised bytes ever reach GL through upload.
        std::memset(static_cast<unsigned char*>(grown) + b.capacity, 0, bytes - b.capacity);
        b.data = static_cast<ELEMENT*>(grown);
        b.capacity = bytes;
        b.usage = dynamic != 0 ? USAGE_DYNAMIC : USAGE_STATIC;
        b.needs_storage = 1;
    }
    b.count = count;
    // 3. Specify the GL storage once per growth.
    if (b.needs_storage) {
        kind.bind(uint32_t(b.slot));
        glBufferData(kind.target, GLsizeiptr(b.capacity), nullptr,
                     b.usage != USAGE_STATIC ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
        gl_check();
        b.needs_storage = 0;
    }
}

template <class ELEMENT>
void upload_elements(NAMED_BUFFER<ELEMENT>& b, const BUFFER_KIND& kind, int32_t count,
                     bool fresh = false) {
    uint32_t bytes = 0;
    bool ok = b.slot != -1 && element_bytes<ELEMENT>(count, bytes) && bytes <= b.capacity;
    assert(ok && "upload without a buffer or beyond its reserved size");
    if (!ok) {
        return;
    }
    kind.bind(uint32_t(b.slot));
    const GLenum usage = b.usage != USAGE_STATIC ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW;
    if (fresh) {
        // New storage of the size sent, filled in the same call: a driver
        // that clears new storage (software GL does) clears only what is
        // used. Storage smaller than the reserve is made whole again before
        // the next plain upload or growth.
        glBufferData(kind.target, GLsizeiptr(bytes), b.data, usage);
        gl_check();
        b.needs_storage = bytes < b.capacity ? 1 : 0;
    } else {
        if (b.needs_storage) {
            glBufferData(kind.target, GLsizeiptr(b.capacity), nullptr, usage);
            gl_check();
            b.needs_storage = 0;
        }
        glBufferSubData(kind.target, 0, GLsizeiptr(bytes), b.data);
        gl_check();
    }
    ++frame_stats.uploads;
    ++b.uploads;
}

template <class ELEMENT> void release_slot(NAMED_BUFFER<ELEMENT>& b, BUFFER_TABLE& table) {
    if (b.slot != -1) {
        buffer_slot_release(table, uint32_t(b.slot));
        b.slot = -1;
    }
}

} // namespace

template <class ELEMENT>
NAMED_BUFFER<ELEMENT>::NAMED_BUFFER(NAMED_BUFFER&& other) noexcept
    : slot(std::exchange(other.slot, -1)), data(std::exchange(other.data, nullptr)),
      capacity(std::exchange(other.capacity, 0u)),
      usage(std::exchange(other.usage, int32_t(USAGE_NONE))),
      needs_storage(std::exchange(other.needs_storage, uint8_t(0))),
      count(std::exchange(other.count, 0)), uploads(std::exchange(other.uploads, 0u)) {}

template <class ELEMENT>
NAMED_BUFFER<ELEMENT>& NAMED_BUFFER<ELEMENT>::operator=(NAMED_BUFFER&& other) noexcept {
    if (this != &other) {
        std::free(data);
        slot = std::exchange(other.slot, -1);
        data = std::exchange(other.data, nullptr);
        capacity = std::exchange(other.capacity, 0u);
        usage = std::exchange(other.usage, int32_t(USAGE_NONE));
        needs_storage = std::exchange(other.needs_storage, uint8_t(0));
        count = std::exchange(other.count, 0);
        uploads = std::exchange(other.uploads, 0u) + 1; // a different copy: never the old stamp
    }
    return *this;
}

template <class ELEMENT> NAMED_BUFFER<ELEMENT>::~NAMED_BUFFER() {
    if (data) {
        std::free(data);
        data = nullptr;
        capacity = 0;
        usage = USAGE_NONE;
    }
}

template struct NAMED_BUFFER<VERTEX>;
template struct NAMED_BUFFER<uint16_t>;

VERTEXBUFFER& VERTEXBUFFER::operator=(VERTEXBUFFER&& other) noexcept {
    if (this != &other) {
        release_slot(*this, vertex_buffer_table);
        NAMEDBUFFERVERT::operator=(std::move(other));
    }
    return *this;
}

VERTEXBUFFER::~VERTEXBUFFER() {
    release_slot(*this, vertex_buffer_table);
}

void VERTEXBUFFER::reserve(int32_t n, int32_t dynamic) {
    reserve_elements(*this, vertex_kind(), n, dynamic);
}

void VERTEXBUFFER::upload(int32_t n) {
    upload_elements(*this, vertex_kind(), n);
}

void VERTEXBUFFER::upload_fresh(int32_t n) {
    upload_elements(*this, vertex_kind(), n, true);
}

INDEXBUFFER& INDEXBUFFER::operator=(INDEXBUFFER&& other) noexcept {
    if (this != &other) {
        release_slot(*this, index_buffer_table);
        NAMEDBUFFERIDX::operator=(std::move(other));
    }
    return *this;
}

INDEXBUFFER::~INDEXBUFFER() {
    release_slot(*this, index_buffer_table);
}

void INDEXBUFFER::reserve(int32_t n, int32_t dynamic) {
    reserve_elements(*this, index_kind(), n, dynamic);
}

void INDEXBUFFER::upload(int32_t n) {
    upload_elements(*this, index_kind(), n);
}

namespace {

void attribute_pointer(GLuint location, GLint size, size_t offset) {
    glVertexAttribPointer(location, size, GL_FLOAT, GL_FALSE, VERTEX_STRIDE,
                          reinterpret_cast<const void*>(offset));
    gl_check();
}

// ES: the same four arrays as generic attributes at the locations the
// programs were linked with (their arrays stay enabled from GL set-up).
void bind_vertex_attributes() {
    attribute_pointer(ATTRIBUTE_POSITION, 4, offsetof(VERTEX, position));
    attribute_pointer(ATTRIBUTE_NORMAL, 3, offsetof(VERTEX, normal));
    attribute_pointer(ATTRIBUTE_TEXCOORD0, 2, offsetof(VERTEX, texcoord0));
    attribute_pointer(ATTRIBUTE_TEXCOORD1, 2, offsetof(VERTEX, texcoord1));
}

} // namespace

void bind_vertex_format() {
    if (gl_dialect_es()) {
        bind_vertex_attributes();
        return;
    }
    glVertexPointer(4, GL_FLOAT, VERTEX_STRIDE,
                    reinterpret_cast<const void*>(offsetof(VERTEX, position)));
    gl_check();
    glNormalPointer(GL_FLOAT, VERTEX_STRIDE,
                    reinterpret_cast<const void*>(offsetof(VERTEX, normal)));
    gl_check();
    glClientActiveTexture(GL_TEXTURE0);
    gl_check();
    glTexCoordPointer(2, GL_FLOAT, VERTEX_STRIDE,
                      reinterpret_cast<const void*>(offsetof(VERTEX, texcoord0)));
    gl_check();
    glClientActiveTexture(GL_TEXTURE1);
    gl_check();
    glTexCoordPointer(2, GL_FLOAT, VERTEX_STRIDE,
                      reinterpret_cast<const void*>(offsetof(VERTEX, texcoord1)));
    gl_check();
}

void draw_buffers(const VERTEXBUFFER& vertices, const INDEXBUFFER& indices, void (*bind_format)()) {
    if (vertices.slot == -1 || indices.slot == -1 || indices.count <= 0) {
        return;
    }
    vertex_buffer_bind(uint32_t(vertices.slot));
    index_buffer_bind(uint32_t(indices.slot));
    if (bind_format) {
        bind_format();
    }
    glDrawElements(GL_TRIANGLES, indices.count, GL_UNSIGNED_SHORT, nullptr);
    gl_check();
    ++frame_stats.draws;
}
