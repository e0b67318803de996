// SSE2 band kernel of the fractal, the level every x86-64 has: units of 4
// points, single-precision values in one xmm, the two chained updates in two
// xmm of doubles. Owns no state; relies on the caller having set the default
// floating-point environment.
#include "demo/fractal_kernels.h"

#include "demo/fractal_interior.h"

#include <cstddef>

#include <emmintrin.h>

namespace {

constexpr int LANES = 4;
// Units in flight per block: enough independent chains to cover the
// float/double conversion latency within the 16 xmm registers.
constexpr int UNITS = 2;
constexpr int BLOCK = LANES * UNITS;

// Four floats to four doubles, low pair and high pair.
inline void widen(__m128 v, __m128d& low, __m128d& high) {
    low = _mm_cvtps_pd(v);
    high = _mm_cvtps_pd(_mm_movehl_ps(v, v));
}

inline __m128 narrow(__m128d low, __m128d high) {
    return _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high));
}

void block(const FRACTAL_ROW_ARGS& args, __m128d cy, int first, uint32_t* out) {
    const __m128 four = _mm_set1_ps(4.0f);
    const __m128i iota_int = _mm_set_epi32(3, 2, 1, 0);
    const __m128d r0 = _mm_set1_pd(args.r0);
    const __m128d dx = _mm_set1_pd(args.dx);

    __m128d cx_low[UNITS];
    __m128d cx_high[UNITS];
    __m128 x[UNITS];
    __m128 y[UNITS];
    __m128i k[UNITS];
    __m128 live[UNITS];
    for (int u = 0; u < UNITS; ++u) {
        int column = first + u * LANES;
        __m128d j_low = _mm_set_pd(column + 1.0, column + 0.0);
        __m128d j_high = _mm_set_pd(column + 3.0, column + 2.0);
        // cx is stored as a float, then widened again for the double update.
        __m128 cx =
            narrow(_mm_add_pd(r0, _mm_mul_pd(j_low, dx)), _mm_add_pd(r0, _mm_mul_pd(j_high, dx)));
        widen(cx, cx_low[u], cx_high[u]);
        x[u] = _mm_setzero_ps();
        y[u] = _mm_setzero_ps();
        // Points of the interior never escape: their count is the cap from
        // the start and they take no part in the iteration. The 64-bit lane
        // masks of the two halves are packed to 32 bits.
        __m128i inside_low, inside_high;
        fractal_interior(cx_low[u], cy, inside_low);
        fractal_interior(cx_high[u], cy, inside_high);
        __m128 inside = _mm_shuffle_ps(_mm_castsi128_ps(inside_low), _mm_castsi128_ps(inside_high),
                                       _MM_SHUFFLE(2, 0, 2, 0));
        k[u] = _mm_and_si128(_mm_castps_si128(inside), _mm_set1_epi32(32));
        live[u] = _mm_andnot_ps(inside, _mm_castsi128_ps(_mm_cmpgt_epi32(
                                            _mm_set1_epi32(args.width - column), iota_int)));
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
            live[u] = _mm_and_ps(live[u], _mm_cmpnge_ps(_mm_add_ps(xx[u], yy[u]), four));
            any = _mm_or_ps(any, live[u]);
        }
        if (_mm_movemask_ps(any) == 0) {
            break;
        }
        for (int u = 0; u < UNITS; ++u) {
            // A live lane is all ones, that is -1: subtracting counts it.
            k[u] = _mm_sub_epi32(k[u], _mm_castps_si128(live[u]));
            __m128d xd[2], yd[2], xxd[2], yyd[2];
            widen(x[u], xd[0], xd[1]);
            widen(y[u], yd[0], yd[1]);
            widen(xx[u], xxd[0], xxd[1]);
            widen(yy[u], yyd[0], yyd[1]);
            // Both updates chain two roundings in double before the one to float.
            __m128d new_y[2], new_x[2];
            for (int h = 0; h < 2; ++h) {
                new_y[h] = _mm_add_pd(_mm_mul_pd(_mm_add_pd(xd[h], xd[h]), yd[h]), cy);
            }
            new_x[0] = _mm_add_pd(_mm_sub_pd(xxd[0], yyd[0]), cx_low[u]);
            new_x[1] = _mm_add_pd(_mm_sub_pd(xxd[1], yyd[1]), cx_high[u]);
            x[u] = narrow(new_x[0], new_x[1]);
            y[u] = narrow(new_y[0], new_y[1]);
        }
    }

    alignas(16) uint32_t counts[BLOCK];
    for (int u = 0; u < UNITS; ++u) {
        _mm_store_si128(reinterpret_cast<__m128i*>(counts + u * LANES), k[u]);
    }
    int count = args.width - first < BLOCK ? args.width - first : BLOCK;
    for (int n = 0; n < count; ++n) {
        out[first + n] = args.texels[counts[n]];
    }
}

void row(const FRACTAL_ROW_ARGS& args, double cy, uint32_t* out) {
    const __m128d cy_lanes = _mm_set1_pd(cy);
    for (int first = 0; first < args.width; first += BLOCK) {
        block(args, cy_lanes, first, out);
    }
}

} // namespace

void fractal_band_sse2(const FRACTAL_ROW_ARGS& args, const float* cy, int rows, uint32_t* out) {
    for (int i = 0; i < rows; ++i) {
        row(args, cy[i], out + static_cast<size_t>(i) * static_cast<size_t>(args.width));
    }
}
