// vexa-fractal-check: compares the fast path's picture with the scalar
// reference, byte for byte, over a range of frames, at every instruction-set
// level this CPU runs, and checks point by point that every point the fast
// path skips as interior has the reference count 32. Relies on the fractal's
// public functions only; touches no GL. Minutes per thousand frames.
#include "demo/fractal.h"
#include "demo/fractal_interior.h"

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
                        std::printf("frame %lld: point (%.9g, %.9g) skipped as interior, count %d\n",
                                    static_cast<long long>(n), cx, cy, k);
                    }
                }
            }
            reference[size_t(i) * WIDTH + size_t(j)] =
                fractal_texel(k, frame.phase, frame.colour_factor);
        }
    }
    for (FRACTAL_ISA isa : {FRACTAL_ISA_SSE2, FRACTAL_ISA_AVX2, FRACTAL_ISA_AVX512}) {
        if (!fractal_isa_supported(isa)) {
            continue;
        }
        const FRACTAL_PATH path =
            isa == fractal_best_isa() ? FRACTAL_FAST_ALL_THREADS : FRACTAL_FAST_ONE_THREAD;
        fractal_render(frame, fast.data(), WIDTH, HEIGHT, path, isa);
        if (fast != reference) {
            ++check.differing_levels;
            std::printf("frame %lld: level %d differs from the reference\n",
                        static_cast<long long>(n), int(isa));
        }
    }
    return check;
}

bool parse(const char* text, int64_t& value) {
    char* end = nullptr;
    value = std::strtoll(text, &end, 10);
    return *end == '\0' && value >= 1;
}

int usage() {
    std::fprintf(stderr, "usage: vexa-fractal-check [--first N] [--last N] [--every N] "
                         "[--verbose]\n");
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
