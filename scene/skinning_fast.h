// The fast path of CPU skinning: the same arithmetic as the plain per-vertex
// loop of scene/skeleton.cpp, vectorised across vertices with Highway (widest
// instruction set chosen at run time) and shared with the worker pool for
// large models. Owns the global skinning_path; touches no GL.
#pragma once

#include <cstdint>

struct SKIN;
struct VERTEX;

enum SKINNING_PATH : int32_t {
    SKINNING_PLAIN,            // the per-vertex reference loop
    SKINNING_FAST_ONE_THREAD,  // vectorised, on the calling thread only
    SKINNING_FAST_ALL_THREADS, // vectorised, large models shared with the worker pool
};

// The path skin_vertices_cpu takes; SKINNING_FAST_ALL_THREADS unless a test
// or a benchmark forces another.
extern SKINNING_PATH skinning_path;

// Below this many vertices a model is skinned on the calling thread alone:
// waking the workers costs more than they would save.
constexpr int32_t SKINNING_SHARED_MIN_VERTICES = 8192;

// Skins count vertices from source into out (positions and normals only),
// bit for bit as the plain loop does. Returns false, having written nothing,
// for a skin the fast path does not take (no joint array, more joints than
// MAX_JOINTS, an entry without a joint); the caller then runs the plain loop. When the worker pool
// is busy with another job, the calling thread does all the work.
bool skin_vertices_fast(const SKIN* skin, const VERTEX* source, VERTEX* out, int32_t count,
                        bool all_threads);
