// AVX-512 band kernel of the fractal: patches of 8 columns x 4 rows, one
// unit of 8 float lanes per row. The new x is computed in zmm double lanes,
// the new y in float lanes with a check that sends the rare lanes where that
// could differ back to double lanes. Owns no state; relies on the caller
// having checked avx512f/vl/dq and fma and set the default FP environment.
#include "demo/fractal_kernels.h"

#include "demo/fractal.h"
// The interior test is compiled for this kernel's level, so its wide vector
// operations are AVX-512 instructions rather than pieces of SSE2 ones.
#pragma GCC push_options
#pragma GCC target("avx512f,avx512vl,avx512dq,fma")
#include "demo/fractal_interior.h"
#pragma GCC pop_options

#include <immintrin.h>

#include <cfloat>
#include <cmath>
#include <cstddef>

#define VEXA_AVX512 __attribute__((target("avx512f,avx512vl,avx512dq,fma")))

namespace {

constexpr int LANES = 8;
// One unit per row of the band: four independent chains cover the latency of
// the conversions and fused operations without spilling registers.
constexpr int UNITS = FRACTAL_BAND_ROWS;

// The new y is float(double(2x * y + cy)). Conversions between float and
// double lanes are the kernel's bottleneck, so it takes the float fma r,
// which rounds the exact S = 2x * y + cy once, and proves lane by lane that
// r is the same value, falling back to double lanes where it cannot.
//
// Rounding to float is monotone and every midpoint between two floats is a
// double, so double(S) rounds like S unless double(S) is a midpoint m with
// S != m. Then |S - m| <= ulp_double(m) / 2 = 2^-30 g, g the float spacing
// at m (m has 25 significant bits, so it is no power of two). The tie at m
// goes to the even neighbour; if |r| is a power of two and m lies above it, r
// is that neighbour, so failures have |m - r| = h = ulp(pred(|r|)) / 2, and
// the residual rho = S - r has |rho| in h (1 +- 2^-29).
//
// double(S) != S needs more than 53 bits for 2x * y (at most 48) plus cy (24):
// |cy| > 16 |2xy| or |2xy| > 2^27 |cy|. The rows taking this path have
// |cy| >= 2^-20 and live points have |2xy| <= xx + yy < 4.01, so only the first
// is possible. It gives |cy - r| < |cy| / 8: the check runs on lanes with
// |float(cy - r)| <= |cy| / 8, where r and cy are within a factor 2, so cy - r
// is exact (Sterbenz) and fma(2x, y, cy - r) is rho rounded once (relative
// error 2^-24). A lane is redone when |rho| * 2^24 (1 + 2^-20) has the
// exponent of pred(|r|), that is |rho| in [h, 2h) / (1 + 2^-20): every failure
// with margin, and almost nothing else.
//
// h is a normal float: a non-zero S is a multiple of 2^-68 in these rows (cy
// has its last bit at or above 2^-43; a product big enough to cancel it is
// >= 2^-21 and has its last bit at or above 2^-68), so |r| >= 2^-68. A zero r
// needs no check (S then lies within 2^-150 of zero and double(S) rounds to
// the same zero), and cy = 0 makes double(S) exact outright.
constexpr float FLOAT_Y_MIN_CY = 0x1p-20f;
constexpr float WINDOW_SCALE = 0x1p24f * (1.0f + 0x1p-20f);
constexpr int EXPONENT_FIELD = 0x7F800000;
constexpr int MAGNITUDE = 0x7FFFFFFF;

bool float_y_row(float cy) {
    float magnitude = std::fabs(cy);
    return cy == 0.0f || (magnitude >= FLOAT_Y_MIN_CY && magnitude <= FLT_MAX);
}

// The zero-masking forms of the conversions: GCC 12 warns that the plain
// forms read an uninitialised placeholder. With a full mask they compile to
// the same unmasked instructions.
VEXA_AVX512 inline __m512d widen(__m256 v) {
    return _mm512_maskz_cvtps_pd(0xFF, v);
}
VEXA_AVX512 inline __m256 narrow(__m512d v) {
    return _mm512_maskz_cvtpd_ps(0xFF, v);
}

VEXA_AVX512 inline __mmask8 lanes_below(int count) {
    if (count >= LANES) {
        return 0xFF;
    }
    return count <= 0 ? 0 : static_cast<__mmask8>((1u << count) - 1u);
}

// The imaginary part of one unit's row, in the forms the y step uses.
struct ROW_CY {
    __m256 value;
    __m256 eighth; // |cy| / 8
    __m512d wide;  // the value in double lanes, for the interior test
};

VEXA_AVX512 inline ROW_CY row_cy(float cy) {
    return {_mm256_set1_ps(cy), _mm256_set1_ps(std::fabs(cy) * 0.125f),
            _mm512_set1_pd(static_cast<double>(cy))};
}

// float(double(twice_x * y + cy)) for 8 lanes; only lanes in check_lanes are
// guaranteed (the others are finished points whose values are not used).
template <bool FLOAT_Y>
VEXA_AVX512 inline __m256 new_y(__m256 twice_x, __m256 y, const ROW_CY& cy, __mmask8 check_lanes) {
    if constexpr (FLOAT_Y) {
        const __m256i exponent_field = _mm256_set1_epi32(EXPONENT_FIELD);
        const __m256i magnitude = _mm256_set1_epi32(MAGNITUDE);
        const __m256i minus_one = _mm256_set1_epi32(-1);

        __m256 r = _mm256_fmadd_ps(twice_x, y, cy.value);
        __m256 step = _mm256_sub_ps(cy.value, r);
        __m256 rho = _mm256_fmadd_ps(twice_x, y, step);
        __m256 step_size =
            _mm256_castsi256_ps(_mm256_and_si256(_mm256_castps_si256(step), magnitude));
        __mmask8 near_cy = _mm256_mask_cmp_ps_mask(check_lanes, step_size, cy.eighth, _CMP_LE_OQ);
        // Subtracting 1 from the bits steps |r| down to pred(|r|) and keeps
        // the sign out of the exponent field; the sign of rho is masked too.
        __m256i scaled = _mm256_castps_si256(_mm256_mul_ps(rho, _mm256_set1_ps(WINDOW_SCALE)));
        __m256i pred = _mm256_add_epi32(_mm256_castps_si256(r), minus_one);
        __mmask8 redo =
            _mm256_mask_testn_epi32_mask(near_cy, _mm256_xor_si256(scaled, pred), exponent_field);
        if (redo == 0) {
            return r;
        }
    }
    // The exact product of two floats fits a double, so the fma rounds once,
    // exactly like the add it replaces.
    return narrow(_mm512_fmadd_pd(widen(twice_x), widen(y), widen(cy.value)));
}

template <bool FLOAT_Y>
VEXA_AVX512 void block(const FRACTAL_ROW_ARGS& args, const ROW_CY* cy, int rows, int first,
                       uint32_t* out) {
    const __m256 four = _mm256_set1_ps(4.0f);
    const __m256 two = _mm256_set1_ps(2.0f);
    const __m256i one = _mm256_set1_epi32(1);
    const __m512d one_d = _mm512_set1_pd(1.0);
    const __m512d iota = _mm512_set_pd(7.0, 6.0, 5.0, 4.0, 3.0, 2.0, 1.0, 0.0);

    // Every row of the patch shares its 8 columns. cx is stored as a float,
    // then widened again for the double update.
    __m512d j = _mm512_add_pd(_mm512_set1_pd(static_cast<double>(first)), iota);
    const __m256 cx_f =
        narrow(_mm512_add_pd(_mm512_set1_pd(args.r0), _mm512_mul_pd(j, _mm512_set1_pd(args.dx))));
    const __m512d cx = widen(cx_f);
    const __mmask8 columns = lanes_below(args.width - first);

    // The first iteration starts from x = y = 0, which never escapes, and
    // gives x = 0 - 0 + cx and y = 2 * 0 * 0 + cy: adding 0 reproduces those
    // sums exactly (-0 + 0 is +0 there too), so the loop starts at k = 1.
    const __m256 zero = _mm256_setzero_ps();
    const __m256i cap = _mm256_set1_epi32(FRACTAL_MAX_ITERATIONS);
    __m256 x[UNITS];
    __m256 y[UNITS];
    __m256i k[UNITS];
    __mmask8 valid[UNITS];
    __mmask8 live[UNITS];
    for (int u = 0; u < UNITS; ++u) {
        x[u] = _mm256_add_ps(cx_f, zero);
        y[u] = _mm256_add_ps(cy[u].value, zero);
        valid[u] = u < rows ? columns : 0;
        // Points of the interior never escape: their count is the cap from
        // the start and they take no part in the iteration. A patch wholly
        // inside leaves the loop at its first test.
        __m512i inside_lanes;
        fractal_interior(cx, cy[u].wide, inside_lanes);
        __mmask8 inside = _mm512_test_epi64_mask(inside_lanes, inside_lanes);
        k[u] = _mm256_mask_mov_epi32(one, inside, cap);
        live[u] = valid[u] & static_cast<__mmask8>(~inside);
    }

    for (int step = 1; step < FRACTAL_MAX_ITERATIONS; ++step) {
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
        }
        // At k = 32 the points stop; the position after it is never used.
        if (step == FRACTAL_MAX_ITERATIONS - 1) {
            break;
        }
        for (int u = 0; u < UNITS; ++u) {
            // 2x is exact in float for every live lane (|x| < 2 there).
            __m256 twice_x = _mm256_mul_ps(x[u], two);
            // The new x chains two roundings in double before the one to
            // float. The fused forms round exactly like the separate steps
            // and run beside the conversions: a product with 1.0 is exact, so
            // each fma rounds once, just as the add or subtract it replaces.
            __m512d new_x =
                _mm512_fmadd_pd(_mm512_fnmadd_pd(widen(yy[u]), one_d, widen(xx[u])), one_d, cx);
            y[u] = new_y<FLOAT_Y>(twice_x, y[u], cy[u], live[u]);
            x[u] = narrow(new_x);
        }
    }

    // k - 1 (0 .. 31) indexes the 32 texels of k = 1 .. 32.
    const __m512i texels_low = _mm512_loadu_si512(args.texels + 1);
    const __m512i texels_high = _mm512_loadu_si512(args.texels + 17);
    for (int u = 0; u < UNITS; ++u) {
        __m512i index = _mm512_castsi256_si512(_mm256_sub_epi32(k[u], one));
        __m512i texel = _mm512_permutex2var_epi32(texels_low, index, texels_high);
        if (valid[u] != 0) {
            uint32_t* row = out + static_cast<size_t>(u) * static_cast<size_t>(args.width);
            _mm512_mask_storeu_epi32(row + first, valid[u], texel);
        }
    }
}

} // namespace

VEXA_AVX512 void fractal_band_avx512(const FRACTAL_ROW_ARGS& args, const float* cy, int rows,
                                     uint32_t* out) {
    ROW_CY row_cys[UNITS];
    // The float y path is proven for most rows only (see new_y); a band with
    // one of the others, near the real axis at most, takes double lanes.
    bool float_y = true;
    for (int u = 0; u < UNITS; ++u) {
        float value = u < rows ? cy[u] : 0.0f;
        row_cys[u] = row_cy(value);
        float_y = float_y && float_y_row(value);
    }
    for (int first = 0; first < args.width; first += LANES) {
        if (float_y) {
            block<true>(args, row_cys, rows, first, out);
        } else {
            block<false>(args, row_cys, rows, first, out);
        }
    }
}

VEXA_AVX512 void fractal_new_y_avx512(const float* twice_x, const float* y, float cy, float* out,
                                      int count) {
    ROW_CY row = row_cy(cy);
    bool float_y = float_y_row(cy);
    for (int i = 0; i + LANES <= count; i += LANES) {
        __m256 a = _mm256_loadu_ps(twice_x + i);
        __m256 b = _mm256_loadu_ps(y + i);
        __m256 result = float_y ? new_y<true>(a, b, row, 0xFF) : new_y<false>(a, b, row, 0xFF);
        _mm256_storeu_ps(out + i, result);
    }
}
