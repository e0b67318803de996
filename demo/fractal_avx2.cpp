// AVX2 band kernel of the fractal: units of 4 points, single-precision values
// in xmm lanes and the two chained updates in ymm double lanes. Owns no state;
// relies on the caller having checked avx2 and set the default floating-point
// environment.
#include "demo/fractal_kernels.h"

// The interior test is compiled for this kernel's level, so its wide vector
// operations are AVX2 instructions rather than pieces of SSE2 ones.
#pragma GCC push_options
#pragma GCC target("avx2")
#include "demo/fractal_interior.h"
#pragma GCC pop_options

#include <cstddef>

#include <immintrin.h>

#define VEXA_AVX2 __attribute__((target("avx2")))

namespace {

constexpr int LANES = 4;
// Units in flight per block: enough independent chains to cover the
// float/double conversion latency within the 16 ymm registers.
constexpr int UNITS = 4;
constexpr int BLOCK = LANES * UNITS;

VEXA_AVX2 void block(const FRACTAL_ROW_ARGS& args, __m256d cy, int first, uint32_t* out) {
    const __m128 four = _mm_set1_ps(4.0f);
    const __m128 two = _mm_set1_ps(2.0f);
    const __m256d iota = _mm256_set_pd(3.0, 2.0, 1.0, 0.0);
    const __m128i iota_int = _mm_set_epi32(3, 2, 1, 0);
    const __m256d r0 = _mm256_set1_pd(args.r0);
    const __m256d dx = _mm256_set1_pd(args.dx);
    const __m256i halves = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);

    __m256d cx[UNITS];
    __m128 x[UNITS];
    __m128 y[UNITS];
    __m128i k[UNITS];
    __m128i valid[UNITS];
    __m128 live[UNITS];
    for (int u = 0; u < UNITS; ++u) {
        int column = first + u * LANES;
        __m256d j = _mm256_add_pd(_mm256_set1_pd(static_cast<double>(column)), iota);
        // cx is stored as a float, then widened again for the double update.
        cx[u] = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_add_pd(r0, _mm256_mul_pd(j, dx))));
        x[u] = _mm_setzero_ps();
        y[u] = _mm_setzero_ps();
        // Points of the interior never escape: their count is the cap from
        // the start and they take no part in the iteration. The 64-bit lane
        // masks are packed to 32 bits.
        __m256i inside_lanes;
        fractal_interior(cx[u], cy, inside_lanes);
        __m128i inside = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(inside_lanes, halves));
        k[u] = _mm_and_si128(inside, _mm_set1_epi32(32));
        valid[u] = _mm_cmpgt_epi32(_mm_set1_epi32(args.width - column), iota_int);
        live[u] = _mm_castsi128_ps(_mm_andnot_si128(inside, valid[u]));
    }

    for (int step = 0; step < 32; ++step) {
        __m128 any = _mm_setzero_ps();
        __m128 xx[UNITS];
        __m128 yy[UNITS];
        for (int u = 0; u < UNITS; ++u) {
            // One float multiply or add rounds exactly like the double one
            // rounded to float, so these stay in single lanes.
            xx[u] = _mm_mul_ps(x[u], x[u]);
            yy[u] = _mm_mul_ps(y[u], y[u]);
            // "Not >= 4" keeps NaN lanes running, as the scalar test does.
            live[u] = _mm_and_ps(live[u], _mm_cmp_ps(_mm_add_ps(xx[u], yy[u]), four, _CMP_NGE_UQ));
            any = _mm_or_ps(any, live[u]);
        }
        if (_mm_movemask_ps(any) == 0) {
            break;
        }
        for (int u = 0; u < UNITS; ++u) {
            // A live lane is all ones, that is -1: subtracting counts it.
            k[u] = _mm_sub_epi32(k[u], _mm_castps_si128(live[u]));
            // 2x is exact in float for every live lane (|x| < 2 there), so
            // the doubling costs one narrow multiply instead of a wide add.
            __m256d twice_xd = _mm256_cvtps_pd(_mm_mul_ps(x[u], two));
            __m256d yd = _mm256_cvtps_pd(y[u]);
            __m256d xxd = _mm256_cvtps_pd(xx[u]);
            __m256d yyd = _mm256_cvtps_pd(yy[u]);
            // Both updates chain two roundings in double before the one to float.
            __m256d new_y = _mm256_add_pd(_mm256_mul_pd(twice_xd, yd), cy);
            __m256d new_x = _mm256_add_pd(_mm256_sub_pd(xxd, yyd), cx[u]);
            x[u] = _mm256_cvtpd_ps(new_x);
            y[u] = _mm256_cvtpd_ps(new_y);
        }
    }

    const int* texels = reinterpret_cast<const int*>(args.texels);
    for (int u = 0; u < UNITS; ++u) {
        int* target = reinterpret_cast<int*>(out + first + u * LANES);
        __m128i texel = _mm_i32gather_epi32(texels, k[u], 4);
        int mask = _mm_movemask_ps(_mm_castsi128_ps(valid[u]));
        if (mask == 0xF) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(target), texel);
        } else if (mask != 0) {
            _mm_maskstore_epi32(target, valid[u], texel);
        }
    }
}

VEXA_AVX2 void row(const FRACTAL_ROW_ARGS& args, double cy, uint32_t* out) {
    const __m256d cy_lanes = _mm256_set1_pd(cy);
    for (int first = 0; first < args.width; first += BLOCK) {
        block(args, cy_lanes, first, out);
    }
}

} // namespace

VEXA_AVX2 void fractal_band_avx2(const FRACTAL_ROW_ARGS& args, const float* cy, int rows,
                                 uint32_t* out) {
    for (int i = 0; i < rows; ++i) {
        row(args, cy[i], out + static_cast<size_t>(i) * static_cast<size_t>(args.width));
    }
}
