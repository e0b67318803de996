// The texture and buffer handle tables: owns the three global slot tables
// (textures, vertex buffers, index buffers) and the bind caches for texture
// units 0 and 1, GL_ARRAY_BUFFER and GL_ELEMENT_ARRAY_BUFFER. Engine objects
// keep slot indices, never GL names. Relies on gfx/gl.h (gl_check and
// gl_context_alive) and counts its binds in frame_stats.
#pragma once

#include "gfx/gl.h"

#include <cstdint>
#include <vector>

// Slot kinds, one numbering shared by all three tables.
enum : int32_t {
    SLOT_RESERVED = 0, // just handed out; the creator sets the real kind next
    SLOT_FREE = 1,     // released; its index is on the free stack
    SLOT_VERTEX_BUFFER = 2,
    SLOT_INDEX_BUFFER = 3,
    SLOT_TEXTURE = 4,
};

// "No slot" as kept in an object's slot field.
constexpr uint32_t NO_SLOT = 0xFFFFFFFFu;

// Texture units with a bind-cache entry.
constexpr int MAX_TEXTURE_UNITS = 2;

struct HANDLE_SLOT {
    int32_t kind;
    uint32_t name; // GL object name; 0 when the slot holds none
};
static_assert(sizeof(HANDLE_SLOT) == 8);

// Slots grow on demand and are never removed, so indices stay valid for the
// life of their owner; entries may move, so nobody keeps their addresses.
struct HANDLE_TABLE {
    std::vector<HANDLE_SLOT> slots;
    std::vector<uint32_t> free_stack; // last released is handed out first
};
using TEXTURE_TABLE = HANDLE_TABLE;
using BUFFER_TABLE = HANDLE_TABLE;

// A cache entry that names no GL object: after bind_caches_forget the next
// bind of anything, 0 included, reaches GL.
constexpr GLuint UNKNOWN_BINDING = 0xFFFFFFFFu;

// GL names last bound through the caches; 0 at start-up.
struct BIND_CACHE {
    GLuint textures[MAX_TEXTURE_UNITS];
    GLuint array_buffer;
    GLuint element_buffer;
};

// The tables are never destroyed: buffers embedded in static objects release
// their slots from destructors that run at process exit, in any order.
extern TEXTURE_TABLE& texture_table;
extern BUFFER_TABLE& vertex_buffer_table;
extern BUFFER_TABLE& index_buffer_table;
extern BIND_CACHE bind_cache;
extern int32_t live_texture_count; // statistics only

// Empties the three tables and zeroes the caches and the texture count. The
// GL objects the tables named are forgotten, not deleted.
void handle_tables_reset();
// After GL binds made behind the caches' back: every entry becomes
// UNKNOWN_BINDING. No GL call.
void bind_caches_forget();

// Pops the last released index, or appends a slot; either way the slot is
// {SLOT_RESERVED, 0}.
uint32_t slot_alloc(HANDLE_TABLE& table);

// The slot at index, or null when index is out of range. Never asserts, so
// tests and draw code may ask about any index.
const HANDLE_SLOT* slot_find(const HANDLE_TABLE& table, uint32_t index);

// GL names held by a slot; 0 when the index is out of range.
GLuint texture_gl_name(uint32_t slot);
GLuint vertex_buffer_gl_name(uint32_t slot);
GLuint index_buffer_gl_name(uint32_t slot);

// Binds the texture in slot on unit (0 or 1) unless the unit's cache entry
// already holds its name. On a hit no GL call is made, so the active texture
// unit stays where the last miss left it. An out-of-range unit or slot is a
// caller error: asserts in debug builds, does nothing in release builds.
void texture_bind(int unit, uint32_t slot);

// Binds no texture on each unit that holds the texture in slot. Before
// drawing into a framebuffer with that texture attached: WebGL refuses every
// draw while the attachment is also bound for sampling (a feedback loop),
// where desktop GL would draw. No GL call when no unit holds it.
void texture_unbind_everywhere(uint32_t slot);

// Allocates a texture slot, generates its GL name, binds it on unit 0, sets
// the filters and wrap mode (S and T alike) and specifies RGBA storage of
// width x height from pixels in pixel_format (GL_RGBA or GL_BGRA, unsigned
// bytes; pixels may be null). Storage is skipped unless width and height are
// both > 0. Returns the slot index.
uint32_t texture_create(int width, int height, GLint min_filter, GLint mag_filter, GLint wrap,
                        GLenum pixel_format, const void* pixels);

// Before new storage of width x height for the texture bound on the active
// unit: on ES 2.0 sets its minification filter and wrap (S and T) to the
// ones it was made with, fitted to the new size as texture_create fits them
// (a side that is not a power of two: clamped, no mipmap filter), so a
// picture that changes size keeps being sampled. Nothing on OpenGL 2.1.
void texture_fit_parameters(int width, int height, GLint min_filter, GLint wrap);

// Deletes the texture in slot (GL call only while a context exists), clears
// every bind-cache entry holding its name and puts the slot on the free
// stack. Ignored on an empty table or a slot already free; an out-of-range
// slot is a caller error (assert in debug builds, no-op in release).
void texture_release(uint32_t slot);

// Frees a buffer slot of table: deletes its GL buffer while a context exists,
// clears the buffer cache entries holding its name and pushes the index on
// the free stack. Same guards as texture_release.
void buffer_slot_release(BUFFER_TABLE& table, uint32_t slot);

// Bind slot of the vertex (index) buffer table to GL_ARRAY_BUFFER
// (GL_ELEMENT_ARRAY_BUFFER) unless the cache already holds its name. An
// out-of-range slot is a caller error (assert in debug builds, no-op in release).
void vertex_buffer_bind(uint32_t slot);
void index_buffer_bind(uint32_t slot);
