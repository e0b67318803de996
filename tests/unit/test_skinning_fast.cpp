// The vectorised skinning path against the plain loop: byte-for-byte equal
// vertex arrays on every instruction set Highway built and this CPU runs, on
// one thread and shared with the worker pool, for odd vertex counts, for
// affine and general skins, and for random data full of the cases the loop
// treats specially (zero, negative and NaN weights, -1, fractional and
// out-of-range joint indices, normals that vanish or overflow, denormals, odd
// w and overflowing coordinates) and on skinned models of the Assimp test
// corpus, read here with Assimp directly; skins it does not take are left to
// the loop.
#include "gfx/vertex_buffer.h"
#include "scene/builders.h"
#include "scene/model.h"
#include "scene/model_actor.h"
#include "scene/skeleton.h"
#include "scene/skinning_fast.h"
#include "scene/worker_pool.h"
#include "shader/limits.h"
#include "tests/support/alloc_counter.h"

#if defined(VEXA_TESTS_HAVE_ASSIMP)
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#endif
#include <gtest/gtest.h>
#if defined(VEXA_TESTS_HAVE_HIGHWAY)
#include <hwy/targets.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

struct RANDOM_SKIN {
    std::mt19937 rng;
    std::vector<JOINT> joints;
    SKIN* skin = nullptr;

    // Affine: every last row 0 0 0 1 (some zeros negative), as the fast path
    // shortens; otherwise random as the rest.
    RANDOM_SKIN(uint32_t seed, int32_t joint_count, bool affine = false)
        : rng(seed), joints(size_t(joint_count)) {
        skin = build_skin(int32_t(joints.size()));
        fill(skin->bind_shape_matrix.m, 16);
        for (size_t j = 0; j < joints.size(); ++j) {
            joint_init(&joints[j], int32_t(j));
            fill(joints[j].current_transform.m, 16);
            fill(joints[j].inverse_bind_matrix.m, 16);
            fill(joints[j].normal_matrix, 9);
            skin->joints[j] = &joints[j];
        }
        if (affine) {
            last_row(skin->bind_shape_matrix.m);
            for (JOINT& joint : joints) {
                last_row(joint.current_transform.m);
                last_row(joint.inverse_bind_matrix.m);
            }
        }
    }
    ~RANDOM_SKIN() { destroy_skin(skin); }

    float uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }
    bool one_in(int n) { return rng() % uint32_t(n) == 0; }
    void fill(float* f, int n) {
        for (int i = 0; i < n; ++i) {
            f[i] = uniform(-2.0f, 2.0f);
        }
    }
    void last_row(float* m) {
        m[3] = one_in(4) ? -0.0f : 0.0f;
        m[7] = one_in(4) ? -0.0f : 0.0f;
        m[11] = 0.0f;
        m[15] = 1.0f;
    }

    volatile float zero = 0.0f;

    // Mostly plausible skinned vertices, with every special case sprinkled in.
    VERTEX vertex() {
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const float inf = std::numeric_limits<float>::infinity();
        VERTEX v{};
        fill(v.position, 3);
        v.position[3] = one_in(8) ? uniform(-1.0f, 1.0f) : 1.0f;
        fill(v.normal, 3);
        if (one_in(20)) {
            v.normal[0] = v.normal[1] = v.normal[2] = 0.0f; // no bind-pose direction either
        } else if (one_in(30)) {
            v.normal[1] = 3e38f; // length overflows
        } else if (one_in(30)) {
            v.normal[2] = 1e-40f; // denormal
            v.normal[0] = v.normal[1] = 0.0f;
        }
        if (one_in(50)) {
            v.position[0] = one_in(2) ? inf : 1e-41f;
        }
        // What the shortened last rows must not meet: a w that is zero,
        // denormal or not finite, coordinates whose transforms overflow. The
        // NaN is the one the CPU makes itself: which of two different NaNs a
        // sum passes on is left open, and compilers swap the operands.
        if (one_in(40)) {
            const float odd_w[] = {0.0f, -0.0f, 1e-40f, inf, zero * inf};
            v.position[3] = odd_w[rng() % 5];
        } else if (one_in(40)) {
            v.position[rng() % 3] = uniform(1e37f, 3e38f);
        }
        for (int k = 0; k < 4; ++k) {
            const uint32_t r = rng() % 100;
            const float n = float(joints.size());
            v.joint_indices[k] = r < 70   ? float(rng() % joints.size())
                                 : r < 85 ? -1.0f
                                 : r < 90 ? uniform(-1.0f, n)    // fractional, truncated
                                 : r < 95 ? n + float(rng() % 5) // past the array
                                          : nan;
            const uint32_t s = rng() % 100;
            v.joint_weights[k] = s < 60   ? uniform(0.0f, 1.0f)
                                 : s < 80 ? 0.0f
                                 : s < 85 ? -0.0f
                                 : s < 90 ? -uniform(0.0f, 1.0f)
                                 : s < 95 ? nan
                                          : 1e-39f;
        }
        return v;
    }
};

bool same_bytes(const std::vector<VERTEX>& a, const std::vector<VERTEX>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(VERTEX)) == 0);
}

// The model's drawn vertices after skinning along path; the fields skinning
// must not touch start out as a pattern different from the source's.
std::vector<VERTEX> skinned(SKIN* skin, const std::vector<VERTEX>& source, SKINNING_PATH path) {
    MODEL model;
    const size_t bytes = source.size() * sizeof(VERTEX) + 1;
    model.source_vertices.data = static_cast<VERTEX*>(std::malloc(bytes));
    model.vertices.data = static_cast<VERTEX*>(std::malloc(bytes));
    if (!source.empty()) {
        std::memcpy(model.source_vertices.data, source.data(), source.size() * sizeof(VERTEX));
    }
    std::memset(static_cast<void*>(model.vertices.data), 0x5a, bytes);
    model.source_vertices.count = model.vertices.count = int32_t(source.size());
    MODEL_ACTOR actor;
    actor.model = &model;
    actor.skin = skin;
    const SKINNING_PATH before = skinning_path;
    skinning_path = path;
    skin_vertices_cpu(&actor);
    skinning_path = before;
    actor.model = nullptr;
    return std::vector<VERTEX>(model.vertices.data, model.vertices.data + source.size());
}

#if defined(VEXA_TESTS_HAVE_ASSIMP)
MATRIX4 column_major(const aiMatrix4x4& m) {
    MATRIX4 r;
    for (unsigned c = 0; c < 4; ++c) {
        for (unsigned row = 0; row < 4; ++row) {
            r.m[c * 4 + row] = m[row][c];
        }
    }
    return r;
}

// The first skinned mesh of a corpus file in its bind pose: bone offsets as
// inverse bind matrices, the bone nodes' global transforms as current
// transforms, the four strongest influences of each vertex renormalised.
struct CORPUS_MODEL {
    std::vector<JOINT> joints;
    SKIN* skin = nullptr;
    std::vector<VERTEX> vertices;
    ~CORPUS_MODEL() { destroy_skin(skin); }

    bool load(const std::string& path) {
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(path, aiProcess_Triangulate);
        const aiMesh* mesh = nullptr;
        for (unsigned m = 0; scene && m < scene->mNumMeshes && !mesh; ++m) {
            if (scene->mMeshes[m]->mNumBones > 0) {
                mesh = scene->mMeshes[m];
            }
        }
        if (!mesh || mesh->mNumBones > unsigned(MAX_JOINTS)) {
            return false;
        }
        joints.resize(mesh->mNumBones);
        skin = build_skin(int32_t(mesh->mNumBones));
        matrix_identity(skin->bind_shape_matrix);
        std::vector<std::vector<std::pair<float, int>>> influences(mesh->mNumVertices);
        for (unsigned b = 0; b < mesh->mNumBones; ++b) {
            const aiBone* bone = mesh->mBones[b];
            JOINT& joint = joints[b];
            joint_init(&joint, int32_t(b));
            joint.inverse_bind_matrix = column_major(bone->mOffsetMatrix);
            aiMatrix4x4 global;
            for (const aiNode* node = scene->mRootNode->FindNode(bone->mName); node;
                 node = node->mParent) {
                global = node->mTransformation * global;
            }
            joint.current_transform = column_major(global);
            for (int i = 0; i < 9; ++i) {
                joint.normal_matrix[i] = joint.inverse_bind_matrix.m[(i / 3) * 4 + i % 3];
            }
            skin->joints[b] = &joint;
            for (unsigned w = 0; w < bone->mNumWeights; ++w) {
                const aiVertexWeight& vw = bone->mWeights[w];
                if (vw.mVertexId < mesh->mNumVertices) {
                    influences[vw.mVertexId].emplace_back(vw.mWeight, int(b));
                }
            }
        }
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
            const aiVector3D p = mesh->mVertices[v];
            const aiVector3D n = mesh->mNormals ? mesh->mNormals[v] : aiVector3D(0, 0, 1);
            VERTEX vertex{{p.x, p.y, p.z, 1.0f}, {n.x, n.y, n.z}, {}, {}, {}, {}, {}};
            auto& list = influences[v];
            std::sort(list.begin(), list.end(), std::greater<>());
            float sum = 0.0f;
            for (size_t k = 0; k < 4 && k < list.size(); ++k) {
                sum += list[k].first;
            }
            for (size_t k = 0; k < 4; ++k) {
                const bool used = k < list.size() && sum > 0.0f;
                vertex.joint_indices[k] = used ? float(list[k].second) : -1.0f;
                vertex.joint_weights[k] = used ? list[k].first / sum : 0.0f;
            }
            vertices.push_back(vertex);
        }
        return true;
    }
};
#endif

// The instruction sets the fast path was built for, and making one of them
// (0: the best the CPU has) the one it runs. Without Highway (the browser
// build) it has one build, the portable one.
#if defined(VEXA_TESTS_HAVE_HIGHWAY)
std::vector<int64_t> built_targets() {
    return hwy::SupportedAndGeneratedTargets();
}
void choose_target(int64_t target) {
    hwy::SetSupportedTargetsForTest(target);
    hwy::GetChosenTarget().Update(hwy::SupportedTargets());
}
const char* target_name(int64_t target) {
    return hwy::TargetName(target);
}
#else
std::vector<int64_t> built_targets() {
    return {0};
}
void choose_target(int64_t) {}
const char* target_name(int64_t) {
    return "portable";
}
#endif

} // namespace

TEST(SKINNING_FAST, equals_the_plain_loop_byte_for_byte_on_every_instruction_set) {
    // Past the sharing threshold, so the all-threads path does share.
    const int32_t counts[] = {0, 1, 17, 1003, SKINNING_SHARED_MIN_VERTICES + 77};
    const std::vector<int64_t> targets = built_targets();
    ASSERT_FALSE(targets.empty());
    std::vector<VERTEX> source;
    for (int64_t target : targets) {
        choose_target(target);
        // Joint counts that fit one, two and three vector registers or none;
        // skins with and without the affine shortcut.
        for (int32_t joints : {40, 20, 13, 3}) {
            for (bool affine : {false, true}) {
                RANDOM_SKIN random(uint32_t(16 + joints), joints, affine);
                const float shared[4] = {2.0f, float(joints - 1), -1.0f, 0.0f};
                const float n = float(joints);
                const float odd_shared[4] = {-0.5f, n - 0.5f, std::nanf(""), n};
                for (int32_t count : counts) {
                    source.clear();
                    for (int32_t v = 0; v < count; ++v) {
                        source.push_back(random.vertex());
                        // Stretches where neighbours share their joints, as in real meshes.
                        if (v >= 256 && v < 512) {
                            std::memcpy(source.back().joint_indices, shared, sizeof shared);
                        } else if (v >= 512 && v < 640) {
                            std::memcpy(source.back().joint_indices, odd_shared, sizeof odd_shared);
                        }
                    }
                    const std::vector<VERTEX> plain = skinned(random.skin, source, SKINNING_PLAIN);
                    for (SKINNING_PATH path :
                         {SKINNING_FAST_ONE_THREAD, SKINNING_FAST_ALL_THREADS}) {
                        const std::vector<VERTEX> fast = skinned(random.skin, source, path);
                        EXPECT_TRUE(same_bytes(plain, fast))
                            << target_name(target) << ", " << joints << " joints, "
                            << (affine ? "affine, " : "") << count << " vertices, path " << path;
                    }
                }
            }
        }
    }
    choose_target(0);
}

TEST(SKINNING_FAST, skins_it_cannot_take_are_left_to_the_plain_loop) {
    VERTEX v{};
    SKIN* skin = build_skin(MAX_JOINTS + 1);
    EXPECT_FALSE(skin_vertices_fast(skin, &v, &v, 1, false));
    destroy_skin(skin);
    RANDOM_SKIN random(7, MAX_JOINTS);
    random.skin->joints[7] = nullptr; // an entry without a joint
    EXPECT_FALSE(skin_vertices_fast(random.skin, &v, &v, 1, false));
    std::vector<VERTEX> source(33);
    for (VERTEX& s : source) {
        s = random.vertex();
    }
    const std::vector<VERTEX> plain = skinned(random.skin, source, SKINNING_PLAIN);
    const std::vector<VERTEX> fast = skinned(random.skin, source, SKINNING_FAST_ONE_THREAD);
    EXPECT_TRUE(same_bytes(plain, fast));
}

TEST(SKINNING_FAST, skinning_a_large_model_again_allocates_nothing) {
    if (!alloc_counter::available()) {
        GTEST_SKIP() << "allocations are not counted in this build (sanitizers, or no glibc)";
    }
    RANDOM_SKIN random(5, MAX_JOINTS);
    std::vector<VERTEX> source(size_t(SKINNING_SHARED_MIN_VERTICES) * 2);
    for (VERTEX& v : source) {
        v = random.vertex();
    }
    std::vector<VERTEX> out = source;
    const int32_t count = int32_t(source.size());
    ASSERT_TRUE(skin_vertices_fast(random.skin, source.data(), out.data(), count, true));
    alloc_counter::start(true);
    skin_vertices_fast(random.skin, source.data(), out.data(), count, true);
    skin_vertices_fast(random.skin, source.data(), out.data(), count, false);
    EXPECT_EQ(alloc_counter::stop(), 0ul);
}

TEST(SKINNING_FAST, equals_the_plain_loop_byte_for_byte_on_skinned_corpus_models) {
#if !defined(VEXA_TESTS_HAVE_ASSIMP)
    GTEST_SKIP() << "built without Assimp (the Windows and ARM64 cross builds), which reads "
                    "the corpus models";
#else
    const std::string corpus = "/usr/share/assimp/models/";
    for (const char* file : {"FBX/animation_with_skeleton.fbx", "X/anim_test.x",
                             "glTF2/simple_skin/simple_skin.gltf", "SMD/WusonSMD.smd"}) {
        CORPUS_MODEL model;
        ASSERT_TRUE(model.load(corpus + file)) << file;
        const std::vector<VERTEX> plain = skinned(model.skin, model.vertices, SKINNING_PLAIN);
        for (SKINNING_PATH path : {SKINNING_FAST_ONE_THREAD, SKINNING_FAST_ALL_THREADS}) {
            const std::vector<VERTEX> fast = skinned(model.skin, model.vertices, path);
            EXPECT_TRUE(same_bytes(plain, fast)) << file << ", path " << path;
        }
    }
#endif
}

TEST(SKINNING_FAST, skins_on_the_calling_thread_while_the_pool_runs_another_job) {
    RANDOM_SKIN random(9, MAX_JOINTS);
    std::vector<VERTEX> source(size_t(SKINNING_SHARED_MIN_VERTICES) * 2);
    for (VERTEX& v : source) {
        v = random.vertex();
    }
    const std::vector<VERTEX> plain = skinned(random.skin, source, SKINNING_PLAIN);
    // A background job holding the pool, as the fractal's next picture does.
    std::atomic<bool> release{false};
    worker_pool_start(
        [](void* context, int) {
            while (!static_cast<std::atomic<bool>*>(context)->load()) {
                std::this_thread::yield();
            }
        },
        &release);
    EXPECT_TRUE(worker_pool_busy());
    const std::vector<VERTEX> fast = skinned(random.skin, source, SKINNING_FAST_ALL_THREADS);
    release = true;
    worker_pool_join();
    EXPECT_FALSE(worker_pool_busy());
    EXPECT_TRUE(same_bytes(plain, fast));
}
