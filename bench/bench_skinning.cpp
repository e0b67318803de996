// CPU skinning of one 50 000-vertex model with four influences per vertex
// and 40 joints, per iteration: the plain loop, the vectorised path on one
// thread and the vectorised path shared with the worker pool. Argument 0
// scatters the joints at random over the vertices (no two neighbours alike);
// argument 1 gives runs of 32 neighbouring vertices the same joints, as a
// mesh ordered along its surface does. A second argument of 1 makes every
// matrix affine (last row 0 0 0 1), as rigid, scaled and sheared joints are;
// 0 leaves the last rows random too.
#include "gfx/vertex_buffer.h"
#include "scene/builders.h"
#include "scene/model.h"
#include "scene/model_actor.h"
#include "scene/skeleton.h"
#include "scene/skinning_fast.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int32_t VERTICES = 50000;
constexpr int32_t JOINTS = 40;

struct SKINNED_MODEL {
    std::vector<JOINT> joints;
    SKIN* skin = nullptr;
    MODEL model;
    MODEL_ACTOR actor;

    SKINNED_MODEL(bool runs, bool affine) : joints(JOINTS) {
        std::mt19937 rng(50000);
        std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
        const auto fill = [&](float* f, int n) {
            for (int i = 0; i < n; ++i) {
                f[i] = unit(rng);
            }
        };
        skin = build_skin(JOINTS);
        fill(skin->bind_shape_matrix.m, 16);
        for (int32_t j = 0; j < JOINTS; ++j) {
            joint_init(&joints[size_t(j)], j);
            fill(joints[size_t(j)].current_transform.m, 16);
            fill(joints[size_t(j)].inverse_bind_matrix.m, 16);
            fill(joints[size_t(j)].normal_matrix, 9);
            skin->joints[j] = &joints[size_t(j)];
        }
        if (affine) {
            const auto last_row = [](float* m) {
                m[3] = m[7] = m[11] = 0.0f;
                m[15] = 1.0f;
            };
            last_row(skin->bind_shape_matrix.m);
            for (JOINT& joint : joints) {
                last_row(joint.current_transform.m);
                last_row(joint.inverse_bind_matrix.m);
            }
        }
        const size_t bytes = size_t(VERTICES) * sizeof(VERTEX);
        model.source_vertices.data = static_cast<VERTEX*>(std::calloc(1, bytes));
        model.vertices.data = static_cast<VERTEX*>(std::calloc(1, bytes));
        model.source_vertices.count = model.vertices.count = VERTICES;
        float shared[4] = {};
        for (int32_t v = 0; v < VERTICES; ++v) {
            VERTEX& s = model.source_vertices.data[v];
            fill(s.position, 3);
            s.position[3] = 1.0f;
            fill(s.normal, 3);
            if (!runs || v % 32 == 0) {
                for (float& index : shared) {
                    index = float(rng() % JOINTS);
                }
            }
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) {
                s.joint_indices[k] = shared[k];
                s.joint_weights[k] = 0.1f + 0.9f * (unit(rng) * 0.5f + 0.5f);
                sum += s.joint_weights[k];
            }
            for (float& w : s.joint_weights) {
                w /= sum;
            }
        }
        std::memcpy(static_cast<void*>(model.vertices.data), model.source_vertices.data, bytes);
        actor.model = &model;
        actor.skin = skin;
    }
    ~SKINNED_MODEL() {
        actor.model = nullptr;
        destroy_skin(skin);
    }
};

void run(benchmark::State& state, SKINNING_PATH path) {
    SKINNED_MODEL m(state.range(0) != 0, state.range(1) != 0);
    const SKINNING_PATH before = skinning_path;
    skinning_path = path;
    for (auto _ : state) {
        skin_vertices_cpu(&m.actor);
        benchmark::DoNotOptimize(m.model.vertices.data);
        benchmark::ClobberMemory();
    }
    skinning_path = before;
    state.SetItemsProcessed(state.iterations() * VERTICES);
}

void skinning_plain(benchmark::State& state) {
    run(state, SKINNING_PLAIN);
}
void skinning_fast_one_thread(benchmark::State& state) {
    run(state, SKINNING_FAST_ONE_THREAD);
}
void skinning_fast_all_threads(benchmark::State& state) {
    run(state, SKINNING_FAST_ALL_THREADS);
}

} // namespace

BENCHMARK(skinning_plain)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(skinning_fast_one_thread)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(skinning_fast_all_threads)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
