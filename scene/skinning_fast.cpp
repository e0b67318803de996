// Vectorised CPU skinning (see skinning_fast.h). Highway compiles the kernel
// once per instruction set (this file re-includes itself through
// foreach_target.h) and picks the widest the CPU has on the first call. Every
// lane performs the plain loop's single-precision operations in its order,
// multiplies and adds kept apart, so results match it bit for bit.
#ifndef VEXA_SKINNING_FAST_SHARED
#define VEXA_SKINNING_FAST_SHARED

#include "scene/skinning_fast.h"

#include "gfx/vertex_buffer.h"
#include "scene/skin.h"
#include "scene/worker_pool.h"
#include "shader/limits.h"

#include <cstddef>
#include <cstring>

SKINNING_PATH skinning_path = SKINNING_FAST_ALL_THREADS;

namespace vexa_skinning {

// Floats per joint in the table: inverse bind matrix, current transform,
// normal matrix, then padding to a multiple of 16.
constexpr int32_t JOINT_FLOATS = 48;
constexpr int32_t INVERSE_BIND_AT = 0;
constexpr int32_t CURRENT_AT = 16;
constexpr int32_t NORMAL_AT = 32;

// The joints a call reads, copied side by side so one index per lane reaches
// any of their matrices; built once per call on the caller's stack and only
// read by the threads that share the vertices.
struct JOINT_TABLE {
    alignas(64) float joints[MAX_JOINTS * JOINT_FLOATS];
    float bind_shape[16];
    bool present[MAX_JOINTS]; // the skin's joint array holds a joint there
    int32_t joint_count;
    bool has_joints;
};

// The joint slot of one influence, or -1 for "no joint": the plain loop's
// test on the float index, then the null entries of the joint array.
inline int32_t joint_slot(const JOINT_TABLE& t, float index) {
    if (!t.has_joints || !(index > -1.0f && index < float(t.joint_count))) {
        return -1;
    }
    const int32_t i = int32_t(index);
    return t.present[i] ? i : -1;
}

} // namespace vexa_skinning

#endif // VEXA_SKINNING_FAST_SHARED

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "scene/skinning_fast.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace vexa_skinning {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using VF = hn::Vec<DF>;

constexpr size_t MAX_LANES = HWY_MAX_BYTES / sizeof(float);

// One block of vertices laid out field by field, a lane per vertex.
struct BLOCK {
    HWY_ALIGN float position[4][MAX_LANES];
    HWY_ALIGN float normal[3][MAX_LANES];
    HWY_ALIGN float weight[4][MAX_LANES];
    HWY_ALIGN int32_t offset[4][MAX_LANES]; // of the joint in the table, -1 for none
};

struct VEC4 {
    VF x, y, z, w;
};
struct VEC3 {
    VF x, y, z;
};

// ((m0·x + m4·y) + m8·z) + m12·w per row, as matrix_transform does; m(i)
// yields element i of each lane's matrix.
template <class ELEMENT> VEC4 transform4(const ELEMENT& m, const VEC4& v) {
    return VEC4{
        hn::Add(hn::Add(hn::Add(hn::Mul(m(0), v.x), hn::Mul(m(4), v.y)), hn::Mul(m(8), v.z)),
                hn::Mul(m(12), v.w)),
        hn::Add(hn::Add(hn::Add(hn::Mul(m(1), v.x), hn::Mul(m(5), v.y)), hn::Mul(m(9), v.z)),
                hn::Mul(m(13), v.w)),
        hn::Add(hn::Add(hn::Add(hn::Mul(m(2), v.x), hn::Mul(m(6), v.y)), hn::Mul(m(10), v.z)),
                hn::Mul(m(14), v.w)),
        hn::Add(hn::Add(hn::Add(hn::Mul(m(3), v.x), hn::Mul(m(7), v.y)), hn::Mul(m(11), v.z)),
                hn::Mul(m(15), v.w))};
}

// The upper-left 3x3 of a matrix whose columns start every stride elements.
template <int STRIDE, class ELEMENT> VEC3 transform3(const ELEMENT& m, const VEC3& v) {
    return VEC3{
        hn::Add(hn::Add(hn::Mul(m(0), v.x), hn::Mul(m(STRIDE), v.y)), hn::Mul(m(2 * STRIDE), v.z)),
        hn::Add(hn::Add(hn::Mul(m(1), v.x), hn::Mul(m(STRIDE + 1), v.y)),
                hn::Mul(m(2 * STRIDE + 1), v.z)),
        hn::Add(hn::Add(hn::Mul(m(2), v.x), hn::Mul(m(STRIDE + 2), v.y)),
                hn::Mul(m(2 * STRIDE + 2), v.z))};
}

// One influence through its joint: current · (inverse bind · P') and
// current3 · (normal matrix · N'), each lane's joint elements from element().
template <class ELEMENT>
void through_joint(const ELEMENT& element, const VEC4& p_bind, const VEC3& n_bind, VEC4& p,
                   VEC3& n) {
    const auto inverse_bind = [&](int i) { return element(INVERSE_BIND_AT + i); };
    const auto current = [&](int i) { return element(CURRENT_AT + i); };
    const auto normal = [&](int i) { return element(NORMAL_AT + i); };
    p = transform4(current, transform4(inverse_bind, p_bind));
    n = transform3<4>(current, transform3<3>(normal, n_bind));
}

// Unit length by division by the square root of N·N; lanes whose length is
// zero, infinite or NaN are left out of the mask.
hn::Mask<DF> unit(DF d, VEC3& v) {
    const VF length =
        hn::Sqrt(hn::Add(hn::Add(hn::Mul(v.x, v.x), hn::Mul(v.y, v.y)), hn::Mul(v.z, v.z)));
    v = VEC3{hn::Div(v.x, length), hn::Div(v.y, length), hn::Div(v.z, length)};
    return hn::And(hn::Gt(length, hn::Zero(d)), hn::Lt(length, hn::Inf(d)));
}

// Gathers a block's source fields (lanes beyond count get weight 0), so the
// arithmetic below can load them whole.
void load_block(const JOINT_TABLE& t, const VERTEX* s, size_t count, size_t lanes, BLOCK& b) {
    for (size_t l = 0; l < lanes; ++l) {
        const bool real = l < count;
        const VERTEX& v = s[real ? l : 0];
        for (int c = 0; c < 4; ++c) {
            b.position[c][l] = v.position[c];
            b.weight[c][l] = real ? v.joint_weights[c] : 0.0f;
            const int32_t slot = real ? joint_slot(t, v.joint_indices[c]) : -1;
            b.offset[c][l] = slot < 0 ? -1 : slot * JOINT_FLOATS;
        }
        for (int c = 0; c < 3; ++c) {
            b.normal[c][l] = v.normal[c];
        }
    }
}

void skin_block(const JOINT_TABLE& t, const VERTEX* s, VERTEX* out, size_t count) {
    const DF d;
    const DI di;
    const size_t lanes = hn::Lanes(d);
    BLOCK b;
    load_block(t, s, count, lanes, b);

    const auto bind = [&](int i) { return hn::Set(d, t.bind_shape[i]); };
    const VEC4 p_bind =
        transform4(bind, VEC4{hn::Load(d, b.position[0]), hn::Load(d, b.position[1]),
                              hn::Load(d, b.position[2]), hn::Load(d, b.position[3])});
    const VEC3 n_bind = transform3<4>(
        bind, VEC3{hn::Load(d, b.normal[0]), hn::Load(d, b.normal[1]), hn::Load(d, b.normal[2])});

    VEC4 p{hn::Zero(d), hn::Zero(d), hn::Zero(d), hn::Zero(d)};
    VEC3 n{hn::Zero(d), hn::Zero(d), hn::Zero(d)};
    for (int k = 0; k < MAX_JOINT_INFLUENCES; ++k) {
        const VF w = hn::Load(d, b.weight[k]);
        // Not greater than zero, NaN included: the influence is skipped.
        const auto take = hn::Gt(w, hn::Zero(d));
        if (hn::AllFalse(d, take)) {
            continue;
        }
        const auto offset = hn::Load(di, b.offset[k]);
        const auto jointed = hn::Gt(offset, hn::Set(di, -1));
        VEC4 pk = p_bind;
        VEC3 nk = n_bind;
        if (!hn::AllFalse(di, jointed)) {
            VEC4 pj;
            VEC3 nj;
            const int32_t first = b.offset[k][0];
            if (hn::AllTrue(di, hn::Eq(offset, hn::Set(di, first)))) {
                // Neighbouring vertices often share a joint: one broadcast
                // per element instead of a gather.
                const float* joint = t.joints + first;
                through_joint([&](int i) { return hn::Set(d, joint[i]); }, p_bind, n_bind, pj, nj);
            } else {
                const auto index = hn::IfThenElseZero(jointed, offset);
                through_joint([&](int i) { return hn::GatherIndex(d, t.joints + i, index); },
                              p_bind, n_bind, pj, nj);
            }
            const auto use = hn::RebindMask(d, jointed);
            pk = VEC4{hn::IfThenElse(use, pj.x, pk.x), hn::IfThenElse(use, pj.y, pk.y),
                      hn::IfThenElse(use, pj.z, pk.z), hn::IfThenElse(use, pj.w, pk.w)};
            nk = VEC3{hn::IfThenElse(use, nj.x, nk.x), hn::IfThenElse(use, nj.y, nk.y),
                      hn::IfThenElse(use, nj.z, nk.z)};
        }
        p = VEC4{hn::IfThenElse(take, hn::Add(p.x, hn::Mul(w, pk.x)), p.x),
                 hn::IfThenElse(take, hn::Add(p.y, hn::Mul(w, pk.y)), p.y),
                 hn::IfThenElse(take, hn::Add(p.z, hn::Mul(w, pk.z)), p.z),
                 hn::IfThenElse(take, hn::Add(p.w, hn::Mul(w, pk.w)), p.w)};
        n = VEC3{hn::IfThenElse(take, hn::Add(n.x, hn::Mul(w, nk.x)), n.x),
                 hn::IfThenElse(take, hn::Add(n.y, hn::Mul(w, nk.y)), n.y),
                 hn::IfThenElse(take, hn::Add(n.z, hn::Mul(w, nk.z)), n.z)};
    }

    // Influences that cancel leave no direction: the bind-pose normal, and
    // failing that +z, as the plain loop does.
    VEC3 fallback = n_bind;
    const auto fallback_unit = unit(d, fallback);
    const auto n_unit = unit(d, n);
    const VEC3 n_out{
        hn::IfThenElse(n_unit, n.x, hn::IfThenElse(fallback_unit, fallback.x, hn::Zero(d))),
        hn::IfThenElse(n_unit, n.y, hn::IfThenElse(fallback_unit, fallback.y, hn::Zero(d))),
        hn::IfThenElse(n_unit, n.z, hn::IfThenElse(fallback_unit, fallback.z, hn::Set(d, 1.0f)))};

    HWY_ALIGN float result[7][MAX_LANES] = {};
    hn::Store(p.x, d, result[0]);
    hn::Store(p.y, d, result[1]);
    hn::Store(p.z, d, result[2]);
    hn::Store(p.w, d, result[3]);
    hn::Store(n_out.x, d, result[4]);
    hn::Store(n_out.y, d, result[5]);
    hn::Store(n_out.z, d, result[6]);
    for (size_t l = 0; l < count; ++l) {
        for (int c = 0; c < 4; ++c) {
            out[l].position[c] = result[c][l];
        }
        for (int c = 0; c < 3; ++c) {
            out[l].normal[c] = result[4 + c][l];
        }
    }
}

void skin_range(const JOINT_TABLE* t, const VERTEX* source, VERTEX* out, int32_t begin,
                int32_t end) {
    const size_t lanes = hn::Lanes(DF());
    for (int32_t v = begin; v < end; v += int32_t(lanes)) {
        const size_t left = size_t(end - v);
        skin_block(*t, source + v, out + v, left < lanes ? left : lanes);
    }
}

} // namespace HWY_NAMESPACE
} // namespace vexa_skinning
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace vexa_skinning {

HWY_EXPORT(skin_range);

using RANGE_KERNEL = void (*)(const JOINT_TABLE*, const VERTEX*, VERTEX*, int32_t, int32_t);

// One contiguous share of the vertices per pool thread.
struct SHARED_JOB {
    RANGE_KERNEL kernel;
    const JOINT_TABLE* table;
    const VERTEX* source;
    VERTEX* out;
    int32_t count;
    int32_t share;
};

void skin_share(void* context, int thread_index) {
    const SHARED_JOB& job = *static_cast<const SHARED_JOB*>(context);
    const int64_t begin = int64_t(thread_index) * job.share;
    const int64_t end = begin + job.share < job.count ? begin + job.share : job.count;
    if (begin < end) {
        job.kernel(job.table, job.source, job.out, int32_t(begin), int32_t(end));
    }
}

} // namespace vexa_skinning

bool skin_vertices_fast(const SKIN* skin, const VERTEX* source, VERTEX* out, int32_t count,
                        bool all_threads) {
    using namespace vexa_skinning;
    if (skin->joint_count > MAX_JOINTS) {
        return false;
    }
    if (count <= 0) {
        return true;
    }
    JOINT_TABLE table;
    std::memcpy(table.bind_shape, skin->bind_shape_matrix.m, sizeof table.bind_shape);
    table.has_joints = skin->joints != nullptr;
    table.joint_count = skin->joint_count;
    for (int32_t j = 0; j < MAX_JOINTS; ++j) {
        const JOINT* joint = table.has_joints && j < skin->joint_count ? skin->joints[j] : nullptr;
        table.present[j] = joint != nullptr;
        float* row = table.joints + j * JOINT_FLOATS;
        // Absent joints are never selected, but their lanes are computed and
        // then discarded; zeros keep that arithmetic cheap.
        std::memset(row, 0, JOINT_FLOATS * sizeof(float));
        if (joint) {
            std::memcpy(row + INVERSE_BIND_AT, joint->inverse_bind_matrix.m, 16 * sizeof(float));
            std::memcpy(row + CURRENT_AT, joint->current_transform.m, 16 * sizeof(float));
            std::memcpy(row + NORMAL_AT, joint->normal_matrix, 9 * sizeof(float));
        }
    }

    // Resolved here, so the threads below never race to pick the target.
    const RANGE_KERNEL kernel = &HWY_DYNAMIC_DISPATCH(skin_range);
    if (all_threads && count >= SKINNING_SHARED_MIN_VERTICES && !worker_pool_busy()) {
        const int32_t threads = worker_pool_thread_count();
        // Shares in whole blocks of 64 vertices, so no two threads write
        // into one cache line of the other's vertices more than needed.
        int32_t share = (count + threads - 1) / threads;
        share = (share + 63) / 64 * 64;
        SHARED_JOB job{kernel, &table, source, out, count, share};
        worker_pool_run(skin_share, &job);
    } else {
        kernel(&table, source, out, 0, count);
    }
    return true;
}

#endif // HWY_ONCE
