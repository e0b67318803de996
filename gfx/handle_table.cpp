// Texture and buffer handle tables and their bind caches (see handle_table.h).
// Owns texture_table, vertex_buffer_table, index_buffer_table, bind_cache and
// live_texture_count; every GL texture and buffer bind of the engine goes
// through here. Relies on gl_context_alive to stay silent after shutdown.
#include "gfx/handle_table.h"

#include "gfx/frame_stats.h"
#include "gfx/gl_dialect.h"

#include <cassert>

// Heap objects that are never freed, so a release from a static destructor
// at exit never touches a destroyed vector.
TEXTURE_TABLE& texture_table = *new TEXTURE_TABLE;
BUFFER_TABLE& vertex_buffer_table = *new BUFFER_TABLE;
BUFFER_TABLE& index_buffer_table = *new BUFFER_TABLE;
BIND_CACHE bind_cache;
int32_t live_texture_count = 0;

namespace {

// The slot at index for an operation that changes GL or the table. An index
// out of range is a caller error: loud in debug builds, harmless in release.
HANDLE_SLOT* checked_slot(HANDLE_TABLE& table, uint32_t index) {
    bool in_range = index < table.slots.size();
    assert(in_range && "handle slot index out of range");
    return in_range ? &table.slots[index] : nullptr;
}

// GL reverts every binding of a deleted object to 0; the caches follow, so a
// recycled name is bound again when a new object gets it.
void forget_texture_name(GLuint name) {
    for (GLuint& bound : bind_cache.textures) {
        if (bound == name) {
            bound = 0;
        }
    }
}

void forget_buffer_name(GLuint name) {
    if (bind_cache.array_buffer == name) {
        bind_cache.array_buffer = 0;
    }
    if (bind_cache.element_buffer == name) {
        bind_cache.element_buffer = 0;
    }
}

void free_slot(HANDLE_TABLE& table, HANDLE_SLOT& slot, uint32_t index) {
    slot.kind = SLOT_FREE;
    slot.name = 0;
    table.free_stack.push_back(index);
}

void buffer_bind(HANDLE_TABLE& table, uint32_t slot, GLenum target, GLuint& cached) {
    const HANDLE_SLOT* s = checked_slot(table, slot);
    if (!s || cached == s->name) {
        return;
    }
    cached = s->name;
    glBindBuffer(target, s->name);
    gl_check();
    ++frame_stats.buffer_binds;
}

GLuint name_of(const HANDLE_TABLE& table, uint32_t slot) {
    const HANDLE_SLOT* s = slot_find(table, slot);
    return s ? s->name : 0;
}

} // namespace

void handle_tables_reset() {
    texture_table = TEXTURE_TABLE{};
    vertex_buffer_table = BUFFER_TABLE{};
    index_buffer_table = BUFFER_TABLE{};
    bind_cache = BIND_CACHE{};
    live_texture_count = 0;
}

void bind_caches_forget() {
    for (GLuint& bound : bind_cache.textures) {
        bound = UNKNOWN_BINDING;
    }
    bind_cache.array_buffer = bind_cache.element_buffer = UNKNOWN_BINDING;
}

uint32_t slot_alloc(HANDLE_TABLE& table) {
    if (!table.free_stack.empty()) {
        uint32_t index = table.free_stack.back();
        table.free_stack.pop_back();
        table.slots[index] = HANDLE_SLOT{SLOT_RESERVED, 0};
        return index;
    }
    table.slots.push_back(HANDLE_SLOT{SLOT_RESERVED, 0});
    return uint32_t(table.slots.size() - 1);
}

const HANDLE_SLOT* slot_find(const HANDLE_TABLE& table, uint32_t index) {
    return index < table.slots.size() ? &table.slots[index] : nullptr;
}

GLuint texture_gl_name(uint32_t slot) {
    return name_of(texture_table, slot);
}

GLuint vertex_buffer_gl_name(uint32_t slot) {
    return name_of(vertex_buffer_table, slot);
}

GLuint index_buffer_gl_name(uint32_t slot) {
    return name_of(index_buffer_table, slot);
}

void texture_bind(int unit, uint32_t slot) {
    bool unit_ok = unit >= 0 && unit < MAX_TEXTURE_UNITS;
    assert(unit_ok && "texture unit out of range");
    const HANDLE_SLOT* s = checked_slot(texture_table, slot);
    if (!unit_ok || !s || bind_cache.textures[unit] == s->name) {
        return;
    }
    bind_cache.textures[unit] = s->name;
    glActiveTexture(GLenum(GL_TEXTURE0 + unit));
    gl_check();
    glBindTexture(GL_TEXTURE_2D, s->name);
    gl_check();
    ++frame_stats.texture_binds;
}

void texture_unbind_everywhere(uint32_t slot) {
    const HANDLE_SLOT* s = checked_slot(texture_table, slot);
    for (int unit = 0; s && s->name && unit < MAX_TEXTURE_UNITS; ++unit) {
        if (bind_cache.textures[unit] == s->name) {
            bind_cache.textures[unit] = 0;
            glActiveTexture(GLenum(GL_TEXTURE0 + unit));
            gl_check();
            glBindTexture(GL_TEXTURE_2D, 0);
            gl_check();
        }
    }
}

namespace {

bool power_of_two(int n) {
    return n > 0 && (n & (n - 1)) == 0;
}

// ES 2.0 (WebGL 1) samples a texture whose sides are not powers of two only
// when it is clamped and has no mipmap filter; anything else reads as black.
// Such textures are clamped and filtered from their one level instead. A
// picture that fills its sprite looks the same either way.
void es_texture_parameters(int width, int height, GLint& min_filter, GLint& wrap) {
    if (!gl_dialect_es() || (power_of_two(width) && power_of_two(height))) {
        return;
    }
    wrap = GL_CLAMP_TO_EDGE;
    if (min_filter == GL_NEAREST_MIPMAP_NEAREST || min_filter == GL_NEAREST_MIPMAP_LINEAR) {
        min_filter = GL_NEAREST;
    } else if (min_filter == GL_LINEAR_MIPMAP_NEAREST || min_filter == GL_LINEAR_MIPMAP_LINEAR) {
        min_filter = GL_LINEAR;
    }
}

} // namespace

void texture_fit_parameters(int width, int height, GLint min_filter, GLint wrap) {
    if (!gl_dialect_es()) {
        return;
    }
    es_texture_parameters(width, height, min_filter, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min_filter);
    gl_check();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    gl_check();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    gl_check();
}

uint32_t texture_create(int width, int height, GLint min_filter, GLint mag_filter, GLint wrap,
                        GLenum pixel_format, const void* pixels) {
    es_texture_parameters(width, height, min_filter, wrap);
    uint32_t slot = slot_alloc(texture_table);
    GLuint name = 0;
    glGenTextures(1, &name);
    gl_check();
    texture_table.slots[slot] = HANDLE_SLOT{SLOT_TEXTURE, name};
    ++live_texture_count;

    // Unit 0 is selected and the name bound even when the cache already holds
    // it: a name of 0 (failed generation) would otherwise be a cache hit that
    // leaves another unit active, and the calls below would change the
    // texture bound there.
    bind_cache.textures[0] = name;
    glActiveTexture(GL_TEXTURE0);
    gl_check();
    glBindTexture(GL_TEXTURE_2D, name);
    gl_check();
    ++frame_stats.texture_binds;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min_filter);
    gl_check();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mag_filter);
    gl_check();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    gl_check();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    gl_check();
    if (width > 0 && height > 0) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, pixel_format, GL_UNSIGNED_BYTE,
                     pixels);
        gl_check();
        ++frame_stats.uploads;
    }
    return slot;
}

void texture_release(uint32_t slot) {
    if (texture_table.slots.empty()) {
        return;
    }
    HANDLE_SLOT* s = checked_slot(texture_table, slot);
    if (!s || s->kind == SLOT_FREE) {
        return;
    }
    if (s->kind == SLOT_TEXTURE) {
        if (s->name != 0) {
            forget_texture_name(s->name);
            if (gl_context_alive) {
                glDeleteTextures(1, &s->name);
                gl_check();
            }
        }
        --live_texture_count;
    }
    free_slot(texture_table, *s, slot);
}

void buffer_slot_release(BUFFER_TABLE& table, uint32_t slot) {
    if (table.slots.empty()) {
        return;
    }
    HANDLE_SLOT* s = checked_slot(table, slot);
    if (!s || s->kind == SLOT_FREE) {
        return;
    }
    if (s->name != 0) {
        forget_buffer_name(s->name);
        if (gl_context_alive) {
            glDeleteBuffers(1, &s->name);
            gl_check();
        }
    }
    free_slot(table, *s, slot);
}

void vertex_buffer_bind(uint32_t slot) {
    buffer_bind(vertex_buffer_table, slot, GL_ARRAY_BUFFER, bind_cache.array_buffer);
}

void index_buffer_bind(uint32_t slot) {
    buffer_bind(index_buffer_table, slot, GL_ELEMENT_ARRAY_BUFFER, bind_cache.element_buffer);
}
