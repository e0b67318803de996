// The interior test of the fractal's fast path: points well inside the main
// cardioid or the period-2 disc of the Mandelbrot set, whose iteration count
// is the cap without iterating. One definition for every kernel: it is
// written once on double operands and works unchanged on GCC vector types
// (__m128d, __m256d, __m512d), where it gives a lane mask (all ones inside).
#pragma once

// How far inside the two components a point must lie to be skipped: the
// attracting fixed point (cardioid) or 2-cycle (disc) has a multiplier of
// modulus at most this.
constexpr double FRACTAL_INTERIOR_MARGIN = 0.995;

// Why a skipped point's count is exactly the cap (32) of the picture's own
// single-precision iteration, rounding included.
//
// Cardioid. c = mu / 2 - mu^2 / 4 with |mu| <= r makes z* = mu / 2 a fixed
// point with multiplier mu. Solving for mu, mu = 1 - s with s the principal
// square root of W = 1 - 4c, and |mu|^2 = 1 - 2 Re s + |W| with
// Re s = sqrt((|W| + Re W) / 2). So |mu| <= r is
//   1 - r^2 + |W| <= sqrt(2 (|W| + Re W)),
// and, both sides being non-negative, squaring and moving the terms without
// the root to one side gives L = |W|^2 + (1 - r^2)^2 - 2 Re W <= 2 r^2 |W|:
// true when L <= 0, otherwise when L^2 <= 4 r^4 |W|^2. No square root and no
// division, so the test costs a few multiplies per lane. The cardioid lies in
// |c| <= 3/4, so requiring |c|^2 <= 1 too loses nothing and turns NaN and
// infinite positions away (their test would otherwise read inf <= inf).
//
// Disc. For |c + 1| <= 1/4 the 2-cycle has multiplier 4 (c + 1); the test is
// |c + 1|^2 <= (r / 4)^2, which also turns NaN and infinity away.
//
// Why the count is exactly 32. For c in either component the exact orbit of 0
// lies in the filled Julia set, inside |z| <= 1/2 + sqrt(1/4 + |c|): at most
// 3/2 for the cardioid (|c| <= 3/4) and 1.73 for the disc (|c| <= 5/4), far
// from the escape radius 2. The picture's iteration starts exactly on that
// orbit (its first step gives x = cx, y = cy) and each later step rounds:
// with |z| below 2, x' = float(double(double(xx - yy) + cx)), xx and yy the
// squares rounded to float, is off z^2 + c by under 6 * 2^-24, and
// y' = float(double(2xy + cy)) by under 2.1 * 2^-24. How far the orbit
// carries those errors depends on |2z| along it, which has no closed bound
// near the components' edges; so that the rounded orbit too stays inside for
// 32 steps, for every c the test passes, is shown by computation rather than
// estimated: `vexa-fractal-check --prove` covers the test's whole region with
// cells and bounds, by ball arithmetic with those rounding terms, every orbit
// the single-precision iteration can take from any c of a cell; all of them
// stay within |z| <= 1.99 up to z31, so the escape test (xx + yy < 4) never
// fires and the count reaches the cap. The proof still goes through at r = 1
// (the closed components) and fails at 1.01, so 0.995 is not at its edge.
// scripts/check-fractal-frames.sh confirms it point by point on whole frames:
// every skipped point of frames 1 .. 3000 (and of every 97th frame up to
// 20000) has the reference count 32, and every picture is byte-identical.
//
// The test itself is evaluated in double from the stored float cx, cy; its
// rounding (about 1e-15 relative) moves the effective margin by as much, and
// the proof widens the margin by 1e-9 to cover it.
//
// Operands and result go by reference: a wide vector passed or returned by
// value would need the kernel's instruction set in this plain function's
// calling convention. Always inlined, it compiles as part of each kernel.
template <class REAL, class MASK>
[[gnu::always_inline]] inline void fractal_interior(const REAL& cx, const REAL& cy, MASK& inside) {
    constexpr double r2 = FRACTAL_INTERIOR_MARGIN * FRACTAL_INTERIOR_MARGIN;
    constexpr double slack = (1.0 - r2) * (1.0 - r2);
    constexpr double four_r4 = 4.0 * r2 * r2;
    constexpr double disc_radius2 = r2 / 16.0;

    const REAL w_real = 1.0 - 4.0 * cx;
    const REAL w_imag = 4.0 * cy;
    const REAL w_norm2 = w_real * w_real + w_imag * w_imag;
    const REAL l = w_norm2 + slack - 2.0 * w_real;
    const auto in_cardioid =
        (cx * cx + cy * cy <= 1.0) & ((l <= 0.0) | (l * l <= four_r4 * w_norm2));
    const REAL shifted = cx + 1.0;
    const auto in_disc = shifted * shifted + cy * cy <= disc_radius2;
    inside = MASK(in_cardioid | in_disc);
}
