// One 1024 x 600 fractal picture per iteration, on the scalar reference, the
// SIMD kernel on one thread and the SIMD kernel on every core, over frames
// from the first to well past the point where the view turns inside out. The
// fast paths also report how many times faster than the scalar path they are
// on the same frame (x_scalar) and refuse to report when their bytes differ.
#include "demo/fractal.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <vector>

namespace {

constexpr int WIDTH = 1024;
constexpr int HEIGHT = 600;

FRACTAL_FRAME frame_number(int64_t n) {
    FRACTAL_DEMO demo;
    FRACTAL_FRAME frame;
    for (int64_t i = 0; i < n; ++i) {
        frame = fractal_frame_advance(demo, true, WIDTH, HEIGHT);
    }
    return frame;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The scalar picture of a frame and its time (best of three), computed once
// per frame for the whole program.
struct SCALAR_RESULT {
    std::vector<uint32_t> pixels;
    double seconds = 0.0;
};

const SCALAR_RESULT& scalar_result(int64_t n) {
    static std::map<int64_t, SCALAR_RESULT> results;
    SCALAR_RESULT& result = results[n];
    if (result.pixels.empty()) {
        const FRACTAL_FRAME frame = frame_number(n);
        result.pixels.resize(static_cast<size_t>(WIDTH) * HEIGHT);
        result.seconds = 1e30;
        for (int i = 0; i < 3; ++i) {
            const auto start = std::chrono::steady_clock::now();
            fractal_render(frame, result.pixels.data(), WIDTH, HEIGHT, FRACTAL_SCALAR);
            result.seconds = std::min(result.seconds, seconds_since(start));
        }
    }
    return result;
}

void run(benchmark::State& state, FRACTAL_PATH path) {
    FRACTAL_FRAME frame = frame_number(state.range(0));
    std::vector<uint32_t> pixels(static_cast<size_t>(WIDTH) * HEIGHT);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        fractal_render(frame, pixels.data(), WIDTH, HEIGHT, path);
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    const double per_picture = seconds_since(start) / double(state.iterations());
    state.SetItemsProcessed(state.iterations() * WIDTH * HEIGHT);
    if (path != FRACTAL_SCALAR) {
        const SCALAR_RESULT& scalar = scalar_result(state.range(0));
        if (pixels != scalar.pixels) {
            state.SkipWithError("the fast path's picture differs from the scalar one");
            return;
        }
        state.counters["x_scalar"] = scalar.seconds / per_picture;
    }
}

void fractal_scalar(benchmark::State& state) {
    run(state, FRACTAL_SCALAR);
}
void fractal_fast_one_thread(benchmark::State& state) {
    run(state, FRACTAL_FAST_ONE_THREAD);
}
void fractal_fast_all_threads(benchmark::State& state) {
    run(state, FRACTAL_FAST_ALL_THREADS);
}

} // namespace

BENCHMARK(fractal_scalar)->Arg(1)->Arg(200)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(fractal_fast_one_thread)
    ->Arg(1)
    ->Arg(200)
    ->Arg(500)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(fractal_fast_all_threads)
    ->Arg(1)
    ->Arg(200)
    ->Arg(500)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
