// The fractal demonstration's arithmetic: frame state steps, probe texels of
// the 1024 x 600 picture, and every SIMD level and thread split against the
// scalar reference, byte for byte.
#include "demo/fractal.h"
#include "demo/fractal_interior.h"
#include "demo/fractal_kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr int WIDTH = 1024;
constexpr int HEIGHT = 600;

struct TEXEL {
    int red, green, blue, alpha;
};

TEXEL unpack(uint32_t texel) {
    return {int(texel & 0xFF), int(texel >> 8 & 0xFF), int(texel >> 16 & 0xFF), int(texel >> 24)};
}

void expect_texel(uint32_t texel, int red, int green, int blue) {
    TEXEL t = unpack(texel);
    EXPECT_EQ(t.red, red);
    EXPECT_EQ(t.green, green);
    EXPECT_EQ(t.blue, blue);
    EXPECT_EQ(t.alpha, 255);
}

// The constants of frame n (counted from 1) of a fresh demonstration.
FRACTAL_FRAME frame_number(int n, FRACTAL_DEMO* state_after = nullptr) {
    FRACTAL_DEMO demo;
    FRACTAL_FRAME frame;
    for (int i = 0; i < n; ++i) {
        frame = fractal_frame_advance(demo, true, WIDTH, HEIGHT);
    }
    if (state_after) {
        *state_after = demo;
    }
    return frame;
}

// Rows 0 .. rows - 1 of the full picture: a row depends only on i0, dy and
// its index, so the rest need not be computed.
std::vector<uint32_t> top_rows(const FRACTAL_FRAME& frame, int rows) {
    std::vector<uint32_t> pixels(static_cast<size_t>(WIDTH) * rows);
    EXPECT_TRUE(fractal_render(frame, pixels.data(), WIDTH, rows, FRACTAL_SCALAR));
    return pixels;
}

uint32_t at(const std::vector<uint32_t>& pixels, int row, int column) {
    return pixels[static_cast<size_t>(row) * WIDTH + column];
}

std::vector<FRACTAL_ISA> supported_levels() {
    std::vector<FRACTAL_ISA> levels;
    for (FRACTAL_ISA isa : {FRACTAL_ISA_SSE2, FRACTAL_ISA_AVX2, FRACTAL_ISA_AVX512}) {
        if (fractal_isa_supported(isa)) {
            levels.push_back(isa);
        }
    }
    return levels;
}

// Every fast path at every level this CPU runs must equal the scalar picture.
void expect_fast_paths_match_scalar(const FRACTAL_FRAME& frame, int width, int height,
                                    const char* what) {
    size_t size = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<uint32_t> reference(size, 0u);
    ASSERT_TRUE(fractal_render(frame, reference.data(), width, height, FRACTAL_SCALAR));
    for (FRACTAL_ISA isa : supported_levels()) {
        for (FRACTAL_PATH path : {FRACTAL_FAST_ONE_THREAD, FRACTAL_FAST_ALL_THREADS}) {
            std::vector<uint32_t> fast(size + 1, 0xDEADBEEFu);
            ASSERT_TRUE(fractal_render(frame, fast.data(), width, height, path, isa));
            size_t first_difference = 0;
            while (first_difference < size &&
                   fast[first_difference] == reference[first_difference]) {
                ++first_difference;
            }
            EXPECT_EQ(first_difference, size)
                << what << ": level " << isa << ", path " << path << ", first differing texel "
                << first_difference << " of " << width << " x " << height;
            EXPECT_EQ(fast[size], 0xDEADBEEFu) << what << ": wrote past the picture";
        }
    }
}

} // namespace

TEST(fractal, reset_returns_to_program_start) {
    fractal_demo.phase = 3.0f;
    fractal_demo.drift = 0.5f;
    fractal_demo.colour_factor = 7;
    fractal_demo_reset();
    EXPECT_EQ(fractal_demo.phase, 0.0f);
    EXPECT_EQ(fractal_demo.drift, 0.0f);
    EXPECT_EQ(fractal_demo.colour_factor, 0);
}

TEST(fractal, first_frames_have_the_reference_probe_texels) {
    FRACTAL_DEMO demo;
    FRACTAL_FRAME frame = fractal_frame_advance(demo, true, WIDTH, HEIGHT);
    EXPECT_EQ(frame.colour_factor, 0);
    EXPECT_EQ(frame.phase, 0.01f);
    std::vector<uint32_t> picture = top_rows(frame, 301);
    expect_texel(at(picture, 0, 0), 100, 0, 0);
    expect_texel(at(picture, 300, 512), 128, 0, 0); // k = 32: 3200 mod 256

    frame = fractal_frame_advance(demo, true, WIDTH, HEIGHT);
    EXPECT_EQ(frame.colour_factor, 2);
    picture = top_rows(frame, 1);
    expect_texel(at(picture, 0, 0), 50, 0, 2);

    frame = fractal_frame_advance(demo, true, WIDTH, HEIGHT);
    EXPECT_EQ(frame.colour_factor, 5);
    picture = top_rows(frame, 301);
    expect_texel(at(picture, 300, 512), 42, 0, 160);
}

TEST(fractal, frame_100_has_accumulated_phase_drift_and_colour) {
    FRACTAL_DEMO demo;
    FRACTAL_FRAME frame = frame_number(100, &demo);
    // 0.9999993 and 0.10000002 to the printed digits; the exact single values
    // carry the accumulated rounding of a hundred additions.
    EXPECT_EQ(demo.phase, 0x1.ffffeap-1f);
    EXPECT_EQ(demo.drift, 0x1.9999ap-4f);
    EXPECT_NEAR(demo.phase, 0.9999993, 5e-8);
    EXPECT_NEAR(demo.drift, 0.10000002, 5e-9);
    EXPECT_EQ(demo.colour_factor, 213);
    EXPECT_EQ(frame.phase, demo.phase);
    expect_texel(at(top_rows(frame, 1), 0, 0), 1, 0, 213);
}

TEST(fractal, negative_sine_gives_low_byte_of_colour_factor) {
    FRACTAL_DEMO demo;
    demo.phase = 3.5467f; // sin = -0.3941, times 255 = -100.5
    fractal_frame_advance(demo, true, WIDTH, HEIGHT);
    EXPECT_EQ(demo.colour_factor, 156);

    demo.phase = 4.0f; // sin = -0.7568, times 255 = -192.98
    fractal_frame_advance(demo, false, WIDTH, HEIGHT);
    EXPECT_EQ(demo.colour_factor, 64);
    EXPECT_EQ(unpack(fractal_texel(1, 1.0f, -100)).blue, 156);
}

TEST(fractal, texel_bytes_wrap_beyond_int_range_without_undefined_casts) {
    // 31 * 100000008 = 3100000248, beyond int32: its low byte is 248.
    EXPECT_EQ(unpack(fractal_texel(31, 100000008.0f, 0)).green, 248);
    EXPECT_EQ(unpack(fractal_texel(31, 100000008.0f, 0)).red, 0);
    // A colour factor whose product with k leaves int32 still keeps its low byte.
    EXPECT_EQ(unpack(fractal_texel(32, 1.0f, 0x7FFFFFFF)).blue, 0xE0);
    // Values with no integer part at all (phase 0, NaN) give 0, never garbage.
    TEXEL zero_phase = unpack(fractal_texel(5, 0.0f, 0));
    EXPECT_EQ(zero_phase.red, 0);
    EXPECT_EQ(zero_phase.green, 0);
    EXPECT_EQ(unpack(fractal_texel(5, NAN, 0)).red, 0);
    EXPECT_EQ(unpack(fractal_texel(5, -1.0f, 0)).green, 251); // -5 -> 0xFB
}

TEST(fractal, frame_without_picture_advances_phase_but_not_drift) {
    FRACTAL_DEMO demo;
    demo.phase = 0.5f;
    demo.drift = 0.25f;
    FRACTAL_FRAME frame = fractal_frame_advance(demo, false, WIDTH, HEIGHT);
    EXPECT_EQ(demo.phase, static_cast<float>(0.5 + static_cast<double>(0.01f)));
    EXPECT_EQ(demo.drift, 0.25f);
    EXPECT_EQ(demo.colour_factor, static_cast<int>(static_cast<float>(std::sin(0.5)) * 255.0));
    EXPECT_EQ(frame.phase, demo.phase);

    fractal_frame_advance(demo, true, WIDTH, HEIGHT);
    EXPECT_EQ(demo.drift, static_cast<float>(0.25 + static_cast<double>(0.001f)));
}

TEST(fractal, view_spans_follow_drift_and_first_row_is_top_of_buffer) {
    FRACTAL_DEMO demo;
    demo.drift = 0.3f;
    FRACTAL_FRAME frame = fractal_frame_advance(demo, true, WIDTH, HEIGHT);
    double s2 = static_cast<float>(std::sin(static_cast<double>(frame.phase)));
    EXPECT_EQ(frame.i0, static_cast<float>(0.3f - 1.0));
    EXPECT_EQ(frame.i1, static_cast<float>(1.0 - 0.3f));
    EXPECT_EQ(frame.r0, static_cast<float>(0.3f - 2.0 - s2));
    EXPECT_EQ(frame.r1, static_cast<float>(static_cast<double>(0.7f) - 0.3f - s2));
    EXPECT_EQ(frame.dy,
              static_cast<float>(static_cast<float>(double(frame.i1) - frame.i0) / 599.0));

    // The view is symmetric about the real axis, so a flipped picture would
    // look the same; halving dy makes it lopsided. Row 0 of the buffer must be
    // the row at i0 and the last row the one at i0 + 599 dy.
    FRACTAL_FRAME lopsided = frame;
    lopsided.dy = frame.dy * 0.5f;
    std::vector<uint32_t> picture(static_cast<size_t>(WIDTH) * HEIGHT);
    ASSERT_TRUE(fractal_render(lopsided, picture.data(), WIDTH, HEIGHT, FRACTAL_FAST_ALL_THREADS));
    std::vector<uint32_t> first(WIDTH), last(WIDTH);
    ASSERT_TRUE(fractal_render(lopsided, first.data(), WIDTH, 1, FRACTAL_SCALAR));
    FRACTAL_FRAME last_row = lopsided;
    last_row.i0 = static_cast<float>(double(lopsided.i0) + 599.0 * double(lopsided.dy));
    ASSERT_TRUE(fractal_render(last_row, last.data(), WIDTH, 1, FRACTAL_SCALAR));
    EXPECT_TRUE(std::equal(first.begin(), first.end(), picture.begin()));
    EXPECT_TRUE(std::equal(last.begin(), last.end(), picture.end() - WIDTH));
    EXPECT_FALSE(first == last);
}

TEST(fractal, fast_paths_equal_scalar_over_early_and_mirrored_frames) {
    for (int n : {1, 2, 500, 1000, 1350, 2000}) {
        FRACTAL_FRAME frame = frame_number(n);
        // The top rows and a band through the middle, where most points stay
        // inside the set; after frame 1000 the view is mirrored.
        expect_fast_paths_match_scalar(frame, WIDTH, 6, "top rows");
        FRACTAL_FRAME middle = frame;
        middle.i0 = static_cast<float>(double(frame.i0) + 292.0 * double(frame.dy));
        expect_fast_paths_match_scalar(middle, WIDTH, 16, "middle rows");
    }
}

TEST(fractal, fast_paths_equal_scalar_for_ragged_and_degenerate_sizes) {
#if defined(__x86_64__)
    ASSERT_TRUE(fractal_isa_supported(FRACTAL_ISA_SSE2)); // every x86-64 has it
#elif defined(__wasm_simd128__)
    // The SSE2 kernel is built for WebAssembly SIMD, which this build requires.
    ASSERT_TRUE(fractal_isa_supported(FRACTAL_ISA_SSE2));
#else
    // The x86 kernels are not built here; claiming one would dispatch to nothing.
    ASSERT_FALSE(fractal_isa_supported(FRACTAL_ISA_SSE2));
#endif
    FRACTAL_DEMO demo;
    for (int i = 0; i < 40; ++i) {
        fractal_frame_advance(demo, true, 37, 29);
    }
    // Widths that leave partial vectors and partial blocks at every level.
    for (int width : {1, 3, 5, 37, 45}) {
        FRACTAL_DEMO copy = demo;
        FRACTAL_FRAME frame = fractal_frame_advance(copy, true, width, 29);
        expect_fast_paths_match_scalar(frame, width, 29, "ragged width");
    }
    // A single column or row has no step, so its one point sits at (r0, i0)
    // like the first point of a wider picture, instead of at NaN.
    FRACTAL_DEMO wide_state = demo;
    FRACTAL_FRAME single = fractal_frame_advance(demo, true, 1, 1);
    FRACTAL_FRAME wide = fractal_frame_advance(wide_state, true, 3, 2);
    EXPECT_EQ(single.dx, 0.0f);
    EXPECT_EQ(single.dy, 0.0f);
    uint32_t texel = 0;
    uint32_t wide_texels[6] = {};
    ASSERT_TRUE(fractal_render(single, &texel, 1, 1, FRACTAL_SCALAR));
    ASSERT_TRUE(fractal_render(wide, wide_texels, 3, 2, FRACTAL_SCALAR));
    EXPECT_EQ(texel, wide_texels[0]);
    expect_fast_paths_match_scalar(single, 1, 1, "single point");
}

TEST(fractal, render_refuses_missing_buffer_and_empty_sizes) {
    FRACTAL_FRAME frame = frame_number(1);
    uint32_t texel = 0x12345678u;
    EXPECT_FALSE(fractal_render(frame, nullptr, 4, 4, FRACTAL_FAST_ALL_THREADS));
    EXPECT_FALSE(fractal_render(frame, &texel, 0, 1, FRACTAL_SCALAR));
    EXPECT_FALSE(fractal_render(frame, &texel, 1, -3, FRACTAL_FAST_ONE_THREAD));
    EXPECT_EQ(texel, 0x12345678u);
    EXPECT_TRUE(fractal_render(frame, &texel, 1, 1, FRACTAL_FAST_ONE_THREAD));
    EXPECT_NE(texel, 0x12345678u);
}

TEST(fractal, full_picture_matches_scalar_at_best_level_on_all_threads) {
    FRACTAL_FRAME frame = frame_number(1000);
    size_t size = static_cast<size_t>(WIDTH) * HEIGHT;
    std::vector<uint32_t> reference(size), fast(size);
    ASSERT_TRUE(fractal_render(frame, reference.data(), WIDTH, HEIGHT, FRACTAL_SCALAR));
    ASSERT_TRUE(fractal_render(frame, fast.data(), WIDTH, HEIGHT, FRACTAL_FAST_ALL_THREADS));
    EXPECT_TRUE(reference == fast);
}

TEST(fractal, background_pictures_equal_scalar_and_a_new_start_finishes_the_old_one) {
    const size_t size = static_cast<size_t>(WIDTH) * HEIGHT;
    const FRACTAL_FRAME first = frame_number(2);
    const FRACTAL_FRAME second = frame_number(1350); // mirrored view
    std::vector<uint32_t> first_reference(size), second_reference(size);
    ASSERT_TRUE(fractal_render(first, first_reference.data(), WIDTH, HEIGHT, FRACTAL_SCALAR));
    ASSERT_TRUE(fractal_render(second, second_reference.data(), WIDTH, HEIGHT, FRACTAL_SCALAR));

    std::vector<uint32_t> a(size + 1, 0xDEADBEEFu), b(size, 0u), c(size, 0u);
    ASSERT_TRUE(fractal_render_start(first, a.data(), WIDTH, HEIGHT));
    // Starting another picture completes the first before reusing the pool.
    ASSERT_TRUE(fractal_render_start(second, b.data(), WIDTH, HEIGHT));
    EXPECT_TRUE(std::equal(first_reference.begin(), first_reference.end(), a.begin()));
    EXPECT_EQ(a[size], 0xDEADBEEFu) << "wrote past the picture";
    // So does a plain render.
    ASSERT_TRUE(fractal_render(first, c.data(), WIDTH, HEIGHT, FRACTAL_FAST_ALL_THREADS));
    EXPECT_TRUE(b == second_reference);
    EXPECT_TRUE(c == first_reference);

    ASSERT_TRUE(fractal_render_start(second, c.data(), WIDTH, HEIGHT));
    fractal_render_finish();
    EXPECT_TRUE(c == second_reference);
    fractal_render_finish(); // nothing in progress: returns at once

    // Refused arguments start nothing.
    uint32_t texel = 0x12345678u;
    EXPECT_FALSE(fractal_render_start(first, nullptr, WIDTH, HEIGHT));
    EXPECT_FALSE(fractal_render_start(first, &texel, 0, 1));
    fractal_render_finish();
    EXPECT_EQ(texel, 0x12345678u);
}

TEST(fractal, rows_near_the_real_axis_and_non_finite_views_match_scalar) {
    // Rows with |cy| below 2^-20 (and cy = 0) take the AVX-512 kernel's
    // double y step; bands straddle the switch so both kinds share a band.
    FRACTAL_FRAME axis = frame_number(1);
    axis.i0 = -0x1p-22f;
    axis.dy = 0x1.8p-25f;
    expect_fast_paths_match_scalar(axis, WIDTH, 30, "rows near the real axis");

    // NaN and infinite positions keep their lanes running (k = 32) or escape
    // at once, in every path alike.
    FRACTAL_FRAME nan_rows = frame_number(1);
    nan_rows.i0 = NAN;
    expect_fast_paths_match_scalar(nan_rows, 64, 2, "NaN rows");
    FRACTAL_FRAME infinite = frame_number(1);
    infinite.r0 = -INFINITY;
    infinite.i0 = INFINITY;
    expect_fast_paths_match_scalar(infinite, 64, 2, "infinite view");
    FRACTAL_FRAME huge_step = frame_number(1);
    huge_step.dx = 3e38f; // cx overflows to infinity from the second column on
    expect_fast_paths_match_scalar(huge_step, 64, 2, "overflowing columns");
}

#if defined(__x86_64__) // the AVX-512 kernel exists in x86-64 builds only
// The AVX-512 kernel computes the new y in float lanes and redoes in double
// the lanes where rounding the exact sum once could differ from rounding it to
// double and then to float. These inputs put the double sum exactly on a
// midpoint between two floats while the exact sum lies just off it, so the
// shortcut alone would be wrong in roughly half of them.
TEST(fractal, avx512_y_step_rounds_like_double_in_double_rounding_cases) {
    if (!fractal_isa_supported(FRACTAL_ISA_AVX512)) {
        GTEST_SKIP() << "no AVX-512 on this CPU";
    }
    auto reference = [](float twice_x, float y, float cy) {
        return static_cast<float>(static_cast<double>(twice_x) * static_cast<double>(y) +
                                  static_cast<double>(cy));
    };
    auto same_bits = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; };

    int cases = 0;
    int double_rounding_cases = 0;
    // cy in several binades and both signs, including 2^-20, the smallest
    // |cy| of the float path, and 1.5, where sums cross into the next binade.
    for (float cy : {1.0f + 0x1p-23f, -1.0f - 0x1p-22f, 1.5f, 0x1.345678p-20f, -0x1.fffffep-3f,
                     0x1p-20f, 1.75f}) {
        float spacing = std::ldexp(1.0f, std::ilogb(cy) - 23);
        std::vector<float> twice_x, y;
        // 2x * y = P (1 - 2^-2k): P an odd multiple of half the spacing, so
        // cy + P is a midpoint, and the tail P 2^-2k is below half a double
        // ulp of it. Powers of two spread the product over both factors.
        for (int odd = 1; odd <= 15; odd += 2) {
            for (int k = 16; k <= 20; ++k) {
                for (int shift = -2; shift <= 2; ++shift) {
                    for (float sign : {1.0f, -1.0f}) {
                        float p = sign * static_cast<float>(odd) * spacing * 0.5f;
                        twice_x.push_back(std::ldexp(p * (1.0f + std::ldexp(1.0f, -k)), shift));
                        y.push_back(std::ldexp(1.0f - std::ldexp(1.0f, -k), -shift));
                        twice_x.push_back(std::ldexp(p * (1.0f - std::ldexp(1.0f, -k)), shift));
                        y.push_back(std::ldexp(1.0f + std::ldexp(1.0f, -k), -shift));
                    }
                }
            }
        }
        // Ordinary lanes in the same vectors must keep their own results.
        for (int i = 0; i < 16; ++i) {
            twice_x.push_back(0.37f * static_cast<float>(i) - 2.9f);
            y.push_back(1.3f - 0.11f * static_cast<float>(i));
        }
        while (twice_x.size() % 8 != 0) {
            twice_x.push_back(0.5f);
            y.push_back(0.25f);
        }
        std::vector<float> out(twice_x.size());
        fractal_new_y_avx512(twice_x.data(), y.data(), cy, out.data(),
                             static_cast<int>(out.size()));
        for (size_t i = 0; i < out.size(); ++i) {
            float expected = reference(twice_x[i], y[i], cy);
            ++cases;
            if (!same_bits(std::fma(twice_x[i], y[i], cy), expected)) {
                ++double_rounding_cases;
            }
            EXPECT_TRUE(same_bits(out[i], expected))
                << "2x = " << twice_x[i] << ", y = " << y[i] << ", cy = " << cy << ": got "
                << out[i] << ", double evaluation gives " << expected;
        }
    }
    // The inputs really exercise the fallback, not just the easy path.
    EXPECT_GT(double_rounding_cases, cases / 4);
}
#endif

// The fast path gives points well inside the main cardioid and the period-2
// disc the count 32 without iterating. Windows straddling the edge of that
// interior (the multiplier's modulus at the margin) hold points on both
// sides; every skipped one must have the reference count 32, and every path
// must still give the scalar picture.
TEST(fractal, points_skipped_as_interior_reach_the_cap_and_keep_the_scalar_picture) {
    const double r = FRACTAL_INTERIOR_MARGIN;
    std::vector<std::pair<double, double>> edge_points;
    for (double angle : {0.05, 0.6, 1.3, 2.2, 3.0, 3.14159}) {
        // c = mu / 2 - mu^2 / 4 for the multiplier mu = r e^(i angle)
        const double mu_real = r * std::cos(angle), mu_imag = r * std::sin(angle);
        edge_points.push_back({mu_real / 2 - (mu_real * mu_real - mu_imag * mu_imag) / 4,
                               mu_imag / 2 - mu_real * mu_imag / 2});
        // the disc's edge, |c + 1| = r / 4
        edge_points.push_back({-1.0 + r / 4 * std::cos(angle), r / 4 * std::sin(angle)});
    }
    for (const auto& [real, imaginary] : edge_points) {
        FRACTAL_FRAME window = frame_number(1);
        window.dx = 2e-5f;
        window.dy = 2e-5f;
        window.r0 = static_cast<float>(real - 32 * double(window.dx));
        window.i0 = static_cast<float>(imaginary - 4 * double(window.dy));
        int skipped = 0, not_skipped = 0;
        for (int i = 0; i < 8; ++i) {
            const float cy = fractal_row_imaginary(window, i);
            for (int j = 0; j < 64; ++j) {
                const float cx = fractal_column_real(window, j);
                bool inside = false;
                fractal_interior(double(cx), double(cy), inside);
                if (inside) {
                    ++skipped;
                    EXPECT_EQ(fractal_escape_count(cx, cy), FRACTAL_MAX_ITERATIONS)
                        << "skipped point (" << cx << ", " << cy << ")";
                } else {
                    ++not_skipped;
                }
            }
        }
        EXPECT_GT(skipped, 0) << "window at (" << real << ", " << imaginary << ")";
        EXPECT_GT(not_skipped, 0) << "window at (" << real << ", " << imaginary << ")";
        expect_fast_paths_match_scalar(window, 64, 8, "edge of the skipped interior");
    }
    // Far inside, outside, and positions that are no number at all.
    bool inside = false;
    fractal_interior(0.0, 0.0, inside);
    EXPECT_TRUE(inside);
    fractal_interior(-1.0, 0.0, inside);
    EXPECT_TRUE(inside);
    for (double outside : {0.3, -2.0, double(NAN), double(INFINITY), -double(INFINITY)}) {
        fractal_interior(outside, 0.0, inside);
        EXPECT_FALSE(inside) << outside;
        fractal_interior(0.0, outside == 0.3 ? 0.9 : outside, inside);
        EXPECT_FALSE(inside) << outside;
    }
}
