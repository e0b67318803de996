// The fractal demonstration's arithmetic: the global FRACTAL_DEMO state
// (phase, drift, colour factor), the per-frame constants derived from it and
// the escape-time picture written into a caller-owned buffer of 32-bit texels.
// Relies on demo/worker_pool for the all-threads path; touches no GL.
#pragma once

#include <cstdint>

// What one frame's picture is computed from. Every value is single precision
// as stored; the per-pixel arithmetic widens them to double.
struct FRACTAL_FRAME {
    float phase = 0.0f;        // phase after this frame's advance
    int32_t colour_factor = 0; // low byte of sin(previous phase) * 255
    float r0 = 0.0f;           // real part at the first column
    float r1 = 0.0f;           // real part at the last column
    float i0 = 0.0f;           // imaginary part at the first row
    float i1 = 0.0f;           // imaginary part at the last row
    float dx = 0.0f;           // real step per column
    float dy = 0.0f;           // imaginary step per row
};

// The demonstration's animation state; both accumulators grow without bound.
struct FRACTAL_DEMO {
    float phase = 0.0f;
    float drift = 0.0f;
    int32_t colour_factor = 0;
};

enum FRACTAL_PATH {
    FRACTAL_SCALAR,           // the one-pixel-at-a-time reference
    FRACTAL_FAST_ONE_THREAD,  // SIMD kernel on the calling thread only
    FRACTAL_FAST_ALL_THREADS, // SIMD kernel, rows shared with the worker pool
};

enum FRACTAL_ISA {
    FRACTAL_ISA_AUTO,   // the widest level this CPU runs
    FRACTAL_ISA_SSE2,   // 4 float lanes, 2 double lanes
    FRACTAL_ISA_AVX2,   // 4 float lanes, 4 double lanes
    FRACTAL_ISA_AVX512, // 8 float lanes, 8 double lanes
};

constexpr int FRACTAL_MAX_ITERATIONS = 32;

extern FRACTAL_DEMO fractal_demo;

// Back to the start-of-process state: phase, drift and colour factor zero.
void fractal_demo_reset();

// The state part of one demonstration frame: the colour factor from the old
// phase, the phase advance and, only when there is a picture to compute, the
// frame constants for a width x height picture and the drift advance. Without
// a picture the returned frame carries just phase and colour factor.
FRACTAL_FRAME fractal_frame_advance(FRACTAL_DEMO& demo, bool has_picture, int width, int height);

// The texel for an iteration count k: alpha 255, blue k * colour factor,
// green phase * k, red k / phase, each the low byte of the truncated value.
uint32_t fractal_texel(int k, float phase, int32_t colour_factor);

// The reference's own pieces, for checking the fast path point by point: the
// point of a row and column of the picture (single precision, as stored) and
// its iteration count (1 .. 32) as the scalar reference computes it. The
// count needs the default floating-point environment (the caller's).
float fractal_column_real(const FRACTAL_FRAME& frame, int column);
float fractal_row_imaginary(const FRACTAL_FRAME& frame, int row);
int fractal_escape_count(float cx, float cy);

// True when this CPU (and OS) can run the kernel of the given level.
bool fractal_isa_supported(FRACTAL_ISA isa);

// The level FRACTAL_ISA_AUTO resolves to.
FRACTAL_ISA fractal_best_isa();

// Writes width x height texels, row 0 first, with no gap between rows. Every
// path and level gives the same bytes. Returns false, writing nothing, when
// pixels is null, a size is not positive, or the forced level is not
// supported here. A picture still being computed in the background is
// finished first. Not reentrant: one caller at a time (the main thread).
bool fractal_render(const FRACTAL_FRAME& frame, uint32_t* pixels, int width, int height,
                    FRACTAL_PATH path, FRACTAL_ISA isa = FRACTAL_ISA_AUTO);

// The fast path on the worker pool in the background: start returns at once,
// with the picture being written by the workers (the bytes are those of
// fractal_render); the buffer must be left alone until fractal_render_finish,
// which lets the calling thread take the rows not yet claimed and returns when
// the picture is complete (at once when none is in progress). A start while a
// picture is in progress finishes that one first. Start returns false, and
// starts nothing, for the arguments fractal_render refuses. Same single
// caller as fractal_render.
bool fractal_render_start(const FRACTAL_FRAME& frame, uint32_t* pixels, int width, int height,
                          FRACTAL_ISA isa = FRACTAL_ISA_AUTO);
void fractal_render_finish();
// True when no background picture is in progress or every row of the one in
// progress is written, so that fractal_render_finish only collects the
// workers; never waits itself.
bool fractal_render_done();
