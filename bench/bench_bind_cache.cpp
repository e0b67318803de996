// Cost of the handle tables' hot paths: a bind-cache hit (what every repeated
// draw of the same texture or buffer pays) and a slot release/reuse cycle.
// Cache hits make no GL call, so no context is needed.
#include "gfx/handle_table.h"

#include <benchmark/benchmark.h>

namespace {

uint32_t texture_slot_with_name(GLuint name) {
    uint32_t slot = slot_alloc(texture_table);
    texture_table.slots[slot] = HANDLE_SLOT{SLOT_TEXTURE, name};
    return slot;
}

void texture_bind_cache_hit(benchmark::State& state) {
    handle_tables_reset();
    uint32_t slot = texture_slot_with_name(7);
    bind_cache.textures[0] = 7;
    for (auto _ : state) {
        texture_bind(0, slot);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(texture_bind_cache_hit);

void vertex_buffer_bind_cache_hit(benchmark::State& state) {
    handle_tables_reset();
    uint32_t slot = slot_alloc(vertex_buffer_table);
    vertex_buffer_table.slots[slot] = HANDLE_SLOT{SLOT_VERTEX_BUFFER, 9};
    bind_cache.array_buffer = 9;
    for (auto _ : state) {
        vertex_buffer_bind(slot);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(vertex_buffer_bind_cache_hit);

// Release then reuse of one slot among many: O(1), no allocation once the
// free stack has grown.
void slot_release_and_reuse(benchmark::State& state) {
    handle_tables_reset();
    for (int i = 0; i < 1024; ++i) {
        uint32_t s = slot_alloc(vertex_buffer_table);
        vertex_buffer_table.slots[s] = HANDLE_SLOT{SLOT_VERTEX_BUFFER, 0};
    }
    for (auto _ : state) {
        buffer_slot_release(vertex_buffer_table, 512);
        uint32_t s = slot_alloc(vertex_buffer_table);
        vertex_buffer_table.slots[s].kind = SLOT_VERTEX_BUFFER;
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(slot_release_and_reuse);

} // namespace
