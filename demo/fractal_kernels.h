// Band kernels of the fractal picture, one per instruction-set level, shared
// between demo/fractal.cpp (dispatch) and demo/fractal_<level>.cpp. Each
// kernel is compiled for its level through function attributes only, so the
// binary runs on any x86-64 and picks a kernel at run time.
#pragma once

#include <cstdint>

// Rows handed out together: the AVX-512 kernel iterates an 8 x 4 patch of
// points in lockstep, which wastes fewer lanes on early escapes than a strip
// of 32 points in one row.
constexpr int FRACTAL_BAND_ROWS = 4;

// Per-frame inputs of a band, already widened to double where the arithmetic
// is double.
struct FRACTAL_ROW_ARGS {
    double r0 = 0.0;
    double dx = 0.0;
    int width = 0;
    // Texels for k = 0 .. 32; entry 0 only ever lands in lanes past the row end.
    const uint32_t* texels = nullptr;
};

// Computes rows 0 .. rows - 1 (rows <= FRACTAL_BAND_ROWS) of a band whose
// imaginary parts are cy[0 .. rows - 1] (single-precision values) into out,
// row after row, each args.width texels long.
using FRACTAL_BAND_KERNEL = void (*)(const FRACTAL_ROW_ARGS& args, const float* cy, int rows,
                                     uint32_t* out);

void fractal_band_sse2(const FRACTAL_ROW_ARGS& args, const float* cy, int rows, uint32_t* out);
void fractal_band_avx2(const FRACTAL_ROW_ARGS& args, const float* cy, int rows, uint32_t* out);
void fractal_band_avx512(const FRACTAL_ROW_ARGS& args, const float* cy, int rows, uint32_t* out);

// The AVX-512 kernel's y step on its own, for tests: out[i] = twice_x[i] *
// y[i] + cy evaluated in double and rounded to float, computed the way the
// kernel computes it (float lanes with the exactness check and its fallback).
// count is a multiple of 8.
void fractal_new_y_avx512(const float* twice_x, const float* y, float cy, float* out, int count);
