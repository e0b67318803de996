// Vertex and index buffers: the engine's single 88-byte VERTEX format, the
// quad index list, VERTEXBUFFER / INDEXBUFFER (a CPU copy plus one slot of the
// vertex or index buffer table) and the binding of the vertex layout to the
// fixed-function arrays. Relies on gfx/handle_table.h for slots and binds.
#pragma once

#include "gfx/gl.h"

#include <cstddef>
#include <cstdint>

// Usage of a buffer's GL storage. Any non-zero request means dynamic.
enum : int32_t {
    USAGE_STATIC = 0,
    USAGE_DYNAMIC = 1,
    USAGE_NONE = 2, // no storage yet
};

// The one vertex format; the byte offsets are what bind_vertex_format and
// the skinned variant hand to GL.
struct VERTEX {
    float position[4]; // x, y, z, w
    float normal[3];
    float texcoord0[2];
    float texcoord1[2];
    float joint_indices[4]; // joint numbers as floats; -1 means no joint
    float joint_weights[4];
    uint8_t reserved[12]; // carried for the stride, read by nothing
};
static_assert(sizeof(VERTEX) == 88);
static_assert(offsetof(VERTEX, position) == 0);
static_assert(offsetof(VERTEX, normal) == 16);
static_assert(offsetof(VERTEX, texcoord0) == 28);
static_assert(offsetof(VERTEX, texcoord1) == 36);
static_assert(offsetof(VERTEX, joint_indices) == 44);
static_assert(offsetof(VERTEX, joint_weights) == 60);
static_assert(offsetof(VERTEX, reserved) == 76);

constexpr GLsizei VERTEX_STRIDE = sizeof(VERTEX);
constexpr int32_t QUAD_VERTEX_COUNT = 4;
constexpr int32_t QUAD_INDEX_COUNT = 6;
// Two counter-clockwise triangles 0-1-2 and 0-2-3.
inline constexpr uint16_t QUAD_INDICES[QUAD_INDEX_COUNT] = {0, 1, 2, 0, 2, 3};

// Shared base of the two buffer classes: owns the CPU copy (freed here) and
// declares every field; the derived classes own the slot. Callers write data
// directly and then upload.
template <class ELEMENT> struct NAMED_BUFFER {
    int32_t slot = -1;       // -1: no GL buffer yet
    ELEMENT* data = nullptr; // from realloc; null when empty
    uint32_t capacity = 0;   // bytes at data
    int32_t usage = USAGE_NONE;
    uint8_t needs_storage = 0; // GL storage must be (re)specified
    int32_t count = 0;         // elements in use
    uint32_t uploads = 0;      // of this buffer's data so far: a change stamp for copies of it

    NAMED_BUFFER() = default;
    NAMED_BUFFER(const NAMED_BUFFER&) = delete;
    NAMED_BUFFER& operator=(const NAMED_BUFFER&) = delete;
    // Moves hand the CPU copy and the slot over and leave the source empty.
    NAMED_BUFFER(NAMED_BUFFER&& other) noexcept;
    NAMED_BUFFER& operator=(NAMED_BUFFER&& other) noexcept;
    virtual ~NAMED_BUFFER();
};
extern template struct NAMED_BUFFER<VERTEX>;
extern template struct NAMED_BUFFER<uint16_t>;
using NAMEDBUFFERVERT = NAMED_BUFFER<VERTEX>;
using NAMEDBUFFERIDX = NAMED_BUFFER<uint16_t>;

// Storage protocol shared by both classes: reserve makes sure the slot, the
// CPU copy and the GL storage exist for count elements and sets count. GL
// storage is specified (glBufferData) only when the CPU copy had to grow;
// afterwards reserve makes no GL call, and changes go through upload
// (glBufferSubData). The usage takes effect only on growth. New bytes of the
// CPU copy are zeroed. Allocation failure throws std::bad_alloc.
struct VERTEXBUFFER : NAMEDBUFFERVERT {
    VERTEXBUFFER() = default;
    VERTEXBUFFER(VERTEXBUFFER&&) noexcept = default;
    VERTEXBUFFER& operator=(VERTEXBUFFER&& other) noexcept;
    ~VERTEXBUFFER() override;

    void reserve(int32_t count, int32_t dynamic);
    void reserve_quad(int32_t dynamic) { reserve(QUAD_VERTEX_COUNT, dynamic); }
    // Sends the first count vertices of the CPU copy. More than the reserved
    // capacity (or no buffer at all) is a caller error: asserts in debug
    // builds, sends nothing in release builds.
    void upload(int32_t count);
    // The same into fresh GL storage of the size sent (one glBufferData with
    // the data), so a draw still reading the old contents is not waited
    // for: for a buffer refilled several times a frame. The reserved size is
    // given back to GL at the next plain upload or growth.
    void upload_fresh(int32_t count);
};

struct INDEXBUFFER : NAMEDBUFFERIDX {
    INDEXBUFFER() = default;
    INDEXBUFFER(INDEXBUFFER&&) noexcept = default;
    INDEXBUFFER& operator=(INDEXBUFFER&& other) noexcept;
    ~INDEXBUFFER() override;

    void reserve(int32_t count, int32_t dynamic = USAGE_STATIC);
    void reserve_quad() { reserve(QUAD_INDEX_COUNT, USAGE_STATIC); }
    void upload(int32_t count);
};

// Points the vertex, normal and both texture-coordinate arrays at the VERTEX
// layout of the bound array buffer. The client states were enabled once at GL
// set-up; the client-active texture unit is left at unit 1. In the ES dialect
// the four arrays are the generic attributes of gfx/gl_dialect.h.
void bind_vertex_format();

// Draws indices.count indices of a buffer pair as triangles: binds both
// through the caches, applies bind_format (the skinned draw passes its own)
// and calls glDrawElements. A pair without GL buffers or indices draws nothing.
void draw_buffers(const VERTEXBUFFER& vertices, const INDEXBUFFER& indices,
                  void (*bind_format)() = bind_vertex_format);
