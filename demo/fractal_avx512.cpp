// AVX-512 row kernel of the fractal: units of 8 points, single-precision
// values in ymm lanes and the two chained updates in zmm double lanes. Owns no
// state; relies on the caller having checked avx512f/vl/dq and set the
// default floating-point environment.
#include "demo/fractal_kernels.h"

#include <immintrin.h>

#define VEXA_AVX512 __attribute__((target("avx512f,avx512vl,avx512dq")))

namespace {

// The zero-masking forms of the conversions: GCC 12 warns that the plain
// forms read an uninitialised placeholder. With a full mask they compile to
// the same unmasked instructions.
VEXA_AVX512 inline __m512d widen(__m256 v) {
    return _mm512_maskz_cvtps_pd(0xFF, v);
}
VEXA_AVX512 inline __m256 narrow(__m512d v) {
    return _mm512_maskz_cvtpd_ps(0xFF, v);
}

constexpr int LANES = 8;
// Units in flight per block: enough independent chains to cover the
// float/double conversion latency without spilling registers. Wider blocks
// and refilling finished units measured no faster on this kernel.
constexpr int UNITS = 4;
constexpr int BLOCK = LANES * UNITS;

VEXA_AVX512 inline __mmask8 lanes_below(int count) {
    if (count >= LANES) {
        return 0xFF;
    }
    return count <= 0 ? 0 : static_cast<__mmask8>((1u << count) - 1u);
}

VEXA_AVX512 void block(const FRACTAL_ROW_ARGS& args, __m512d cy, int first, uint32_t* out) {
    const __m256 four = _mm256_set1_ps(4.0f);
    const __m256 two = _mm256_set1_ps(2.0f);
    const __m256i one = _mm256_set1_epi32(1);
    const __m512d one_d = _mm512_set1_pd(1.0);
    const __m512d iota = _mm512_set_pd(7.0, 6.0, 5.0, 4.0, 3.0, 2.0, 1.0, 0.0);
    const __m512d r0 = _mm512_set1_pd(args.r0);
    const __m512d dx = _mm512_set1_pd(args.dx);

    __m512d cx[UNITS];
    __m256 x[UNITS];
    __m256 y[UNITS];
    __m256i k[UNITS];
    __mmask8 valid[UNITS];
    __mmask8 live[UNITS];
    for (int u = 0; u < UNITS; ++u) {
        int column = first + u * LANES;
        __m512d j = _mm512_add_pd(_mm512_set1_pd(static_cast<double>(column)), iota);
        // cx is stored as a float, then widened again for the double update.
        cx[u] = widen(narrow(_mm512_add_pd(r0, _mm512_mul_pd(j, dx))));
        x[u] = _mm256_setzero_ps();
        y[u] = _mm256_setzero_ps();
        k[u] = _mm256_setzero_si256();
        valid[u] = lanes_below(args.width - column);
        live[u] = valid[u];
    }

    for (int step = 0; step < 32; ++step) {
        unsigned any = 0;
        __m256 xx[UNITS];
        __m256 yy[UNITS];
        for (int u = 0; u < UNITS; ++u) {
            // One float multiply or add rounds exactly like the double one
            // rounded to float, so these stay in single lanes.
            xx[u] = _mm256_mul_ps(x[u], x[u]);
            yy[u] = _mm256_mul_ps(y[u], y[u]);
            // "Not >= 4" keeps NaN lanes running, as the scalar test does.
            live[u] =
                _mm256_mask_cmp_ps_mask(live[u], _mm256_add_ps(xx[u], yy[u]), four, _CMP_NGE_UQ);
            any |= live[u];
        }
        if (any == 0) {
            break;
        }
        for (int u = 0; u < UNITS; ++u) {
            k[u] = _mm256_mask_add_epi32(k[u], live[u], k[u], one);
            // 2x is exact in float for every live lane (|x| < 2 there), so
            // the doubling costs one narrow multiply instead of a wide add.
            __m512d twice_xd = widen(_mm256_mul_ps(x[u], two));
            __m512d yd = widen(y[u]);
            __m512d xxd = widen(xx[u]);
            __m512d yyd = widen(yy[u]);
            // Both updates chain two roundings in double before the one to
            // float. The fused forms round exactly like the separate steps
            // and run beside the conversions: 2x * y of two floats is exact
            // in double, and so is a product with 1.0, so each fma rounds
            // once, just as the add or subtract it replaces.
            __m512d new_y = _mm512_fmadd_pd(twice_xd, yd, cy);
            __m512d new_x = _mm512_fmadd_pd(_mm512_fnmadd_pd(yyd, one_d, xxd), one_d, cx[u]);
            x[u] = narrow(new_x);
            y[u] = narrow(new_y);
        }
    }

    // k - 1 (0 .. 31) indexes the 32 texels of k = 1 .. 32.
    const __m512i texels_low = _mm512_loadu_si512(args.texels + 1);
    const __m512i texels_high = _mm512_loadu_si512(args.texels + 17);
    for (int u = 0; u < UNITS; ++u) {
        __m512i index = _mm512_castsi256_si512(_mm256_sub_epi32(k[u], one));
        __m512i texel = _mm512_permutex2var_epi32(texels_low, index, texels_high);
        if (valid[u] != 0) {
            _mm512_mask_storeu_epi32(out + first + u * LANES, valid[u], texel);
        }
    }
}

} // namespace

VEXA_AVX512 void fractal_row_avx512(const FRACTAL_ROW_ARGS& args, double cy, uint32_t* out) {
    const __m512d cy_lanes = _mm512_set1_pd(cy);
    for (int first = 0; first < args.width; first += BLOCK) {
        block(args, cy_lanes, first, out);
    }
}
