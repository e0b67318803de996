// Per-frame statistics of what the GL caches let through. The main loop
// clears them at the start of each pass; tests and benchmarks read them.
#pragma once

#include <cstdint>

struct FRAME_STATS {
    uint32_t state_changes; // render-state GL calls (blend, cull, depth, viewport, clear colour)
    uint32_t texture_binds; // glBindTexture through the texture cache
    uint32_t buffer_binds;  // glBindBuffer through the buffer caches
    uint32_t program_switches;
    uint32_t uploads; // buffer and texture data uploads
    uint32_t draws;   // glDrawElements / glDrawArrays
    uint32_t clears;
    uint32_t culled; // model actors not queued: their bounding sphere is wholly outside the view
};

extern FRAME_STATS frame_stats;

inline void frame_stats_reset() {
    frame_stats = FRAME_STATS{};
}
