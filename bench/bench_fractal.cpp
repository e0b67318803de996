// One 1024 x 600 fractal picture per iteration, on the scalar reference, the
// SIMD kernel on one thread and the SIMD kernel on every core, over frames
// from the first to well past the point where the view turns inside out.
#include "demo/fractal.h"

#include <benchmark/benchmark.h>

#include <cstdint>
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

void run(benchmark::State& state, FRACTAL_PATH path) {
    FRACTAL_FRAME frame = frame_number(state.range(0));
    std::vector<uint32_t> pixels(static_cast<size_t>(WIDTH) * HEIGHT);
    for (auto _ : state) {
        fractal_render(frame, pixels.data(), WIDTH, HEIGHT, path);
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * WIDTH * HEIGHT);
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
