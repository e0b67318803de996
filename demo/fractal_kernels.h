// Row kernels of the fractal picture, one per instruction-set level, shared
// between demo/fractal.cpp (dispatch) and demo/fractal_<level>.cpp. Each
// kernel is compiled for its level through function attributes only, so the
// binary runs on any x86-64 and picks a kernel at run time.
#pragma once

#include <cstdint>

// Per-frame inputs of a row, already widened to double where the arithmetic
// is double.
struct FRACTAL_ROW_ARGS {
    double r0 = 0.0;
    double dx = 0.0;
    int width = 0;
    // Texels for k = 0 .. 32; entry 0 only ever lands in lanes past the row end.
    const uint32_t* texels = nullptr;
};

// Computes one row whose imaginary part is cy (a single-precision value held
// in a double) into out[0 .. width - 1].
using FRACTAL_ROW_KERNEL = void (*)(const FRACTAL_ROW_ARGS& args, double cy, uint32_t* out);

void fractal_row_sse2(const FRACTAL_ROW_ARGS& args, double cy, uint32_t* out);
void fractal_row_avx2(const FRACTAL_ROW_ARGS& args, double cy, uint32_t* out);
void fractal_row_avx512(const FRACTAL_ROW_ARGS& args, double cy, uint32_t* out);
