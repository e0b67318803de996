// vexa-fractal-check: compares the fast path's picture with the scalar
// reference, byte for byte, over a range of frames, at every instruction-set
// level this CPU runs, and checks point by point that every point the fast
// path skips as interior has the reference count 32 (minutes per thousand
// frames). With --prove it shows the skip exact for every point the interior
// test can pass, frame or no frame. Relies on the fractal's public functions
// only; touches no GL.
#include "demo/fractal.h"
#include "demo/fractal_interior.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int WIDTH = 1024;
constexpr int HEIGHT = 600;

struct FRAME_CHECK {
    int64_t iterations = 0;         // the reference's, over the whole picture
    int64_t skipped_iterations = 0; // 32 for every point the interior test takes
    int64_t wrong_skips = 0;        // skipped points whose reference count is not 32
    int differing_levels = 0;       // levels whose picture differs from the reference
};

// The reference picture point by point (what the scalar path computes), with
// the interior test's verdict on every point.
FRAME_CHECK check_frame(int64_t n, const FRACTAL_FRAME& frame, std::vector<uint32_t>& reference,
                        std::vector<uint32_t>& fast) {
    FRAME_CHECK check;
    for (int i = 0; i < HEIGHT; ++i) {
        const float cy = fractal_row_imaginary(frame, i);
        for (int j = 0; j < WIDTH; ++j) {
            const float cx = fractal_column_real(frame, j);
            const int k = fractal_escape_count(cx, cy);
            bool inside = false;
            fractal_interior(static_cast<double>(cx), static_cast<double>(cy), inside);
            check.iterations += k;
            if (inside) {
                check.skipped_iterations += FRACTAL_MAX_ITERATIONS;
                if (k != FRACTAL_MAX_ITERATIONS) {
                    if (++check.wrong_skips <= 5) {
                        std::printf(
                            "frame %lld: point (%.9g, %.9g) skipped as interior, count %d\n",
                            static_cast<long long>(n), cx, cy, k);
                    }
                }
            }
            reference[size_t(i) * WIDTH + size_t(j)] =
                fractal_texel(k, frame.phase, frame.colour_factor);
        }
    }
    // Every level this processor runs; where it runs none of the x86 levels
    // (ARM64, WebAssembly without SIMD), the fast path's own choice.
    bool any_level = false;
    for (FRACTAL_ISA isa :
         {FRACTAL_ISA_SSE2, FRACTAL_ISA_AVX2, FRACTAL_ISA_AVX512, FRACTAL_ISA_AUTO}) {
        if (!fractal_isa_supported(isa) || (isa == FRACTAL_ISA_AUTO && any_level)) {
            continue;
        }
        any_level = true;
        const FRACTAL_PATH path = isa == FRACTAL_ISA_AUTO || isa == fractal_best_isa()
                                      ? FRACTAL_FAST_ALL_THREADS
                                      : FRACTAL_FAST_ONE_THREAD;
        fractal_render(frame, fast.data(), WIDTH, HEIGHT, path, isa);
        if (fast != reference) {
            ++check.differing_levels;
            std::printf("frame %lld: level %d differs from the reference\n",
                        static_cast<long long>(n), int(isa));
        }
    }
    return check;
}

// The proof covers the plane around both components with square cells of
// points c. A cell the interior test cannot pass anywhere is dropped (interval
// arithmetic on the test's own formula, with the margin widened by far more
// than the test's rounding). For the other cells, ball arithmetic bounds every
// orbit the picture's single-precision iteration can take from any c of the
// cell: z1 = c exactly (the first step adds zeros), then each step maps the
// ball B(m, rho) to B(m^2 + c0, 2 |m| rho + rho^2 + rho_c) and adds the
// iteration's rounding. With |z| and |z'| at most LIMIT that rounding is below
// 2^-21: x' = float(double(double(xx - yy) + cx)) with xx, yy the products
// rounded to float is off z^2 + c by at most 2^-24 (x^2 + y^2) for the
// squares plus 2^-24 |x'| for the last rounding (the double steps add about
// 2^-52), together under 6 * 2^-24; y' = float(double(2xy + cy)) rounds the
// exact product once in double and once to float, under 2.1 * 2^-24; the
// complex error is under 6.4 * 2^-24. When the balls of z1 .. z31 all stay
// within |z| <= LIMIT, every escape test sees xx + yy <= 1.99^2 (1 + 2^-22)
// < 4 and every c of the cell reaches the cap. A cell that fails is split in
// four, down to cells smaller than the float spacing; the proof holds when no
// such cell fails.
constexpr double LIMIT = 1.99;
constexpr double STEP_ROUNDING = 0x1p-21;
constexpr double SLACK = 1e-12; // covers the rounding of the bound computations themselves

struct INTERVAL {
    double low, high;
};

INTERVAL square(INTERVAL v) {
    const double a = v.low * v.low, b = v.high * v.high;
    if (v.low <= 0.0 && v.high >= 0.0) {
        return {0.0, std::max(a, b)};
    }
    return {std::min(a, b), std::max(a, b)};
}

// False only when no c of the cell can pass the interior test.
double proof_margin = FRACTAL_INTERIOR_MARGIN;

bool test_can_pass(double x0, double y0, double size) {
    const double r = proof_margin + 1e-9;
    const INTERVAL cx{x0, x0 + size}, cy{y0, y0 + size};
    // The disc: the cell's nearest point to -1.
    const double nx = std::clamp(-1.0, cx.low, cx.high) + 1.0;
    const double ny = std::clamp(0.0, cy.low, cy.high);
    if (nx * nx + ny * ny <= (r / 4) * (r / 4) + SLACK) {
        return true;
    }
    // The cardioid: L <= 2 r^2 |W| somewhere in the cell.
    const INTERVAL w_real{1.0 - 4.0 * cx.high, 1.0 - 4.0 * cx.low};
    const INTERVAL w_real2 = square(w_real), w_imag2 = square({4.0 * cy.low, 4.0 * cy.high});
    const INTERVAL norm2{w_real2.low + w_imag2.low, w_real2.high + w_imag2.high};
    const double l_low = norm2.low + (1 - r * r) * (1 - r * r) - 2.0 * w_real.high;
    return l_low <= 2.0 * r * r * std::sqrt(norm2.high) + SLACK;
}

bool orbits_stay_inside(double x0, double y0, double size) {
    const double c_real = x0 + size / 2, c_imag = y0 + size / 2;
    const double rho_c = size * 0.7071067811865476 * (1 + SLACK) + SLACK;
    double m_real = c_real, m_imag = c_imag, rho = rho_c;
    for (int n = 1; n < FRACTAL_MAX_ITERATIONS; ++n) {
        if (std::hypot(m_real, m_imag) * (1 + SLACK) + rho > LIMIT) {
            return false;
        }
        if (n == FRACTAL_MAX_ITERATIONS - 1) {
            break;
        }
        const double modulus = std::hypot(m_real, m_imag);
        const double next_real = m_real * m_real - m_imag * m_imag + c_real;
        const double next_imag = 2.0 * m_real * m_imag + c_imag;
        rho = (2.0 * modulus * rho + rho * rho + rho_c) * (1 + SLACK) + SLACK + STEP_ROUNDING;
        m_real = next_real;
        m_imag = next_imag;
    }
    return true;
}

struct PROOF {
    int64_t cells_proved = 0;
    int64_t cells_failed = 0;
    double smallest_cell = 1.0;
};

void prove_cell(double x0, double y0, double size, PROOF& proof) {
    // A few counterexamples settle it; the rest would only take time.
    if (proof.cells_failed >= 5 || !test_can_pass(x0, y0, size)) {
        return;
    }
    if (orbits_stay_inside(x0, y0, size)) {
        ++proof.cells_proved;
        proof.smallest_cell = std::min(proof.smallest_cell, size);
        return;
    }
    // Below the float spacing of the region there is nothing left to split.
    if (size < 0x1p-26) {
        ++proof.cells_failed;
        std::printf("not shown: cell at (%.9g, %.9g), size %g\n", x0, y0, size);
        return;
    }
    const double half = size / 2;
    prove_cell(x0, y0, half, proof);
    prove_cell(x0 + half, y0, half, proof);
    prove_cell(x0, y0 + half, half, proof);
    prove_cell(x0 + half, y0 + half, half, proof);
}

// Both components lie in -1.25 <= re c <= 0.25, |im c| <= 0.75.
int prove() {
    PROOF proof;
    constexpr int CELLS = 64;
    constexpr double SIZE = 1.5 / CELLS;
    for (int i = 0; i < CELLS; ++i) {
        for (int j = 0; j < CELLS; ++j) {
            prove_cell(-1.25 + j * SIZE, -0.75 + i * SIZE, SIZE, proof);
        }
    }
    std::printf("interior test with margin %g: %lld cells shown to reach the cap (smallest "
                "%g), %lld not shown\n",
                proof_margin, static_cast<long long>(proof.cells_proved), proof.smallest_cell,
                static_cast<long long>(proof.cells_failed));
    return proof.cells_failed == 0 ? 0 : 1;
}

bool parse(const char* text, int64_t& value) {
    char* end = nullptr;
    value = std::strtoll(text, &end, 10);
    return *end == '\0' && value >= 1;
}

int usage() {
    std::fprintf(stderr, "usage: vexa-fractal-check [--first N] [--last N] [--every N] "
                         "[--verbose] | --prove [MARGIN]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    int64_t first = 1, last = 3000, every = 1;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        const bool has_value = i + 1 < argc;
        if (!std::strcmp(argv[i], "--first") && has_value) {
            if (!parse(argv[++i], first)) {
                return usage();
            }
        } else if (!std::strcmp(argv[i], "--last") && has_value) {
            if (!parse(argv[++i], last)) {
                return usage();
            }
        } else if (!std::strcmp(argv[i], "--every") && has_value) {
            if (!parse(argv[++i], every)) {
                return usage();
            }
        } else if (!std::strcmp(argv[i], "--verbose")) {
            verbose = true;
        } else if (!std::strcmp(argv[i], "--prove") && i == 1) {
            // A margin given after it tries the proof for another margin.
            if (argc == 3) {
                char* end = nullptr;
                proof_margin = std::strtod(argv[2], &end);
                if (*end || !(proof_margin > 0.0)) {
                    return usage();
                }
            } else if (argc != 2) {
                return usage();
            }
            return prove();
        } else {
            return usage();
        }
    }

    std::vector<uint32_t> reference(size_t(WIDTH) * HEIGHT), fast(reference.size());
    std::vector<uint32_t> scalar(reference.size());
    FRACTAL_DEMO demo;
    int64_t frames = 0, differing_frames = 0, wrong_skips = 0;
    int64_t iterations = 0, skipped = 0;
    for (int64_t n = 1; n <= last; ++n) {
        // Every frame's state step runs: phase and drift accumulate.
        const FRACTAL_FRAME frame = fractal_frame_advance(demo, true, WIDTH, HEIGHT);
        if (n < first || (n - first) % every != 0) {
            continue;
        }
        FRAME_CHECK check = check_frame(n, frame, reference, fast);
        // Now and then the scalar path itself, to keep this program's
        // reference honest.
        if (frames % 100 == 0) {
            fractal_render(frame, scalar.data(), WIDTH, HEIGHT, FRACTAL_SCALAR);
            if (scalar != reference) {
                std::printf("frame %lld: the scalar path differs from this program's reference\n",
                            static_cast<long long>(n));
                ++check.differing_levels;
            }
        }
        ++frames;
        differing_frames += check.differing_levels != 0;
        wrong_skips += check.wrong_skips;
        iterations += check.iterations;
        skipped += check.skipped_iterations;
        if (verbose) {
            std::printf("frame %lld: %.1f %% of %lld iterations skipped\n",
                        static_cast<long long>(n),
                        100.0 * double(check.skipped_iterations) / double(check.iterations),
                        static_cast<long long>(check.iterations));
        } else if (frames % 250 == 0) {
            std::fprintf(stderr, "... frame %lld\n", static_cast<long long>(n));
        }
    }
    std::printf("frames %lld .. %lld every %lld: %lld checked, %lld differing, %lld points "
                "wrongly skipped, %.1f %% of all iterations skipped\n",
                static_cast<long long>(first), static_cast<long long>(last),
                static_cast<long long>(every), static_cast<long long>(frames),
                static_cast<long long>(differing_frames), static_cast<long long>(wrong_skips),
                iterations ? 100.0 * double(skipped) / double(iterations) : 0.0);
    return differing_frames == 0 && wrong_skips == 0 ? 0 : 1;
}
