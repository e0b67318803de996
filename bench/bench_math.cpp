// Cost of the per-node math: product, local transform, inverse (the normal matrix of every draw)
// and one push/mult/pop round on a model-sized stack. Owns a private stack per benchmark.
#include "math/matrix_stack.h"

#include <benchmark/benchmark.h>

namespace {

MATRIX4 sample_matrix() {
    MATRIX4 m;
    matrix_compose(1.5f, -2.0f, 3.25f, 10.0f, 20.0f, 30.0f, 1.1f, 0.9f, 1.2f, m);
    return m;
}

void bm_matrix_multiply(benchmark::State& state) {
    MATRIX4 a = sample_matrix();
    MATRIX4 b = sample_matrix();
    MATRIX4 out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
        matrix_multiply(out, a, b);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(bm_matrix_multiply);

void bm_matrix_compose(benchmark::State& state) {
    float angle = 10.0f;
    MATRIX4 out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(angle);
        matrix_compose(1.0f, 2.0f, 3.0f, angle, 20.0f, 30.0f, 1.0f, 2.0f, 1.0f, out);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(bm_matrix_compose);

void bm_matrix_invert(benchmark::State& state) {
    MATRIX4 in = sample_matrix();
    MATRIX4 out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(in);
        benchmark::DoNotOptimize(matrix_invert(in, out));
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(bm_matrix_invert);

void bm_matrix_stack_push_mult_pop(benchmark::State& state) {
    MATRIX_STACK* stack = matrix_stack_create(MODEL_STACK_CAPACITY, new MATRIX_STACK);
    MATRIX4 local = sample_matrix();
    for (auto _ : state) {
        benchmark::DoNotOptimize(local);
        matrix_stack_push(stack);
        matrix_stack_mult(stack, local);
        benchmark::DoNotOptimize(*stack->top);
        matrix_stack_pop(stack);
    }
    matrix_stack_destroy(stack);
}
BENCHMARK(bm_matrix_stack_push_mult_pop);

} // namespace
