// Vectorised CPU skinning (see skinning_fast.h). Highway compiles the kernel
// once per instruction set (this file re-includes itself through
// foreach_target.h) and picks the widest the CPU has on the first call. Every
// lane performs the plain loop's single-precision operations in its order,
// multiplies and adds kept apart, so results match it bit for bit; the only
// operations left out are last rows of affine matrices where they provably
// return w unchanged (see skin_group).
#ifdef __EMSCRIPTEN__
// The web build has no Highway: every model takes the plain loop.
#include "scene/skinning_fast.h"

SKINNING_PATH skinning_path = SKINNING_PLAIN;

bool skin_vertices_fast(const SKIN*, const VERTEX*, VERTEX*, int32_t, bool) {
    return false;
}
#else

#ifndef VEXA_SKINNING_FAST_SHARED
#define VEXA_SKINNING_FAST_SHARED

#include "scene/skinning_fast.h"

#include "gfx/vertex_buffer.h"
#include "scene/skin.h"
#include "scene/worker_pool.h"
#include "shader/limits.h"

#include <cstddef>
#include <cstring>
#include <limits>

SKINNING_PATH skinning_path = SKINNING_FAST_ALL_THREADS;

namespace vexa_skinning {

// Floats per joint in the table: inverse bind matrix, current transform,
// normal matrix, then padding to a multiple of 16.
constexpr int32_t JOINT_FLOATS = 48;
static_assert(JOINT_FLOATS == 32 + 16, "the kernel forms row offsets with two shifts");
constexpr int32_t INVERSE_BIND_AT = 0;
constexpr int32_t CURRENT_AT = 16;
constexpr int32_t NORMAL_AT = 32;
constexpr int32_t ELEMENTS = NORMAL_AT + 9;
constexpr int32_t LOOKUP_JOINTS = 48;
static_assert(LOOKUP_JOINTS >= MAX_JOINTS);

// The joints a call reads, copied side by side so one index per lane reaches
// any of their matrices; built once per call on the caller's stack and only
// read by the threads that share the vertices.
struct JOINT_TABLE {
    alignas(64) float joints[MAX_JOINTS * JOINT_FLOATS];
    // The same elements transposed, element by element, for lookups inside
    // vector registers: LOOKUP_JOINTS joints, zeros past the last.
    alignas(64) float by_element[ELEMENTS][LOOKUP_JOINTS];
    int32_t joint_count;
    float bind_shape[16];
    float joint_limit; // an index below this (and above -1) names a joint
    bool affine;       // every matrix's last row is 0 0 0 1
};

// VERTEX fields in floats from the start of the record.
constexpr int32_t VERTEX_FLOATS = int32_t(sizeof(VERTEX) / sizeof(float));
constexpr int32_t POSITION_AT = int32_t(offsetof(VERTEX, position) / sizeof(float));
constexpr int32_t NORMAL_FIELD_AT = int32_t(offsetof(VERTEX, normal) / sizeof(float));
constexpr int32_t INDICES_AT = int32_t(offsetof(VERTEX, joint_indices) / sizeof(float));
constexpr int32_t WEIGHTS_AT = int32_t(offsetof(VERTEX, joint_weights) / sizeof(float));
static_assert(sizeof(VERTEX) % sizeof(float) == 0);

} // namespace vexa_skinning

#endif // VEXA_SKINNING_FAST_SHARED

// Vectors of run-time length (SVE, RVV) cannot be held in records or arrays,
// which the kernel does; NEON serves every 64-bit ARM core instead.
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128 | HWY_RVV)
#endif
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

struct VEC4 {
    VF x, y, z, w;
};
struct VEC3 {
    VF x, y, z;
};

// ((m0·x + m4·y) + m8·z) + m12·w per row, as matrix_transform does; m(i)
// yields element i of each lane's matrix. AFFINE leaves out the last row and
// passes w through: see skin_group for when that is exact.
template <bool AFFINE, class ELEMENT> VEC4 transform4(const ELEMENT& m, const VEC4& v) {
    const auto row = [&](int r) {
        return hn::Add(
            hn::Add(hn::Add(hn::Mul(m(r), v.x), hn::Mul(m(r + 4), v.y)), hn::Mul(m(r + 8), v.z)),
            hn::Mul(m(r + 12), v.w));
    };
    return VEC4{row(0), row(1), row(2), AFFINE ? v.w : row(3)};
}

// The upper-left 3x3 of a matrix whose columns start every STRIDE elements.
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
struct JOINTED {
    VEC4 p;
    VEC3 n;
};
template <bool AFFINE, class ELEMENT>
JOINTED through_joint(const ELEMENT& element, const VEC4& p_bind, const VEC3& n_bind) {
    const auto inverse_bind = [&](int i) { return element(INVERSE_BIND_AT + i); };
    const auto current = [&](int i) { return element(CURRENT_AT + i); };
    const auto normal = [&](int i) { return element(NORMAL_AT + i); };
    return JOINTED{transform4<AFFINE>(current, transform4<AFFINE>(inverse_bind, p_bind)),
                   transform3<4>(current, transform3<3>(normal, n_bind))};
}

// Unit length by division by the square root of N·N; lanes whose length is
// zero, infinite or NaN are left out of the mask.
hn::Mask<DF> unit(DF d, VEC3& v) {
    const VF length =
        hn::Sqrt(hn::Add(hn::Add(hn::Mul(v.x, v.x), hn::Mul(v.y, v.y)), hn::Mul(v.z, v.z)));
    v = VEC3{hn::Div(v.x, length), hn::Div(v.y, length), hn::Div(v.z, length)};
    return hn::And(hn::Gt(length, hn::Zero(d)), hn::Lt(length, hn::Inf(d)));
}

// The fields of one group of vertices, a lane per vertex.
struct GROUP {
    VEC4 position;
    VEC3 normal;
    VF index[MAX_JOINT_INFLUENCES];
    VF weight[MAX_JOINT_INFLUENCES];
};

// Each field gathered at 22-float strides, lane l from vertex vertex[l] of
// the group; lanes past the last vertex repeat it.
GROUP gather_group(DF d, const float* source, size_t count, hn::Vec<DI> vertex) {
    const DI di;
    const auto lane = hn::Min(vertex, hn::Set(di, int32_t(count) - 1));
    const auto at = hn::Mul(lane, hn::Set(di, VERTEX_FLOATS));
    const auto field = [&](int32_t f) { return hn::GatherIndex(d, source + f, at); };
    return GROUP{
        VEC4{field(POSITION_AT), field(POSITION_AT + 1), field(POSITION_AT + 2),
             field(POSITION_AT + 3)},
        VEC3{field(NORMAL_FIELD_AT), field(NORMAL_FIELD_AT + 1), field(NORMAL_FIELD_AT + 2)},
        {field(INDICES_AT), field(INDICES_AT + 1), field(INDICES_AT + 2), field(INDICES_AT + 3)},
        {field(WEIGHTS_AT), field(WEIGHTS_AT + 1), field(WEIGHTS_AT + 2), field(WEIGHTS_AT + 3)}};
}

#if HWY_TARGET != HWY_SCALAR && !HWY_HAVE_SCALABLE
// Vectors of 1, 2 or 4 blocks of four floats: four fields of each vertex are
// loaded as one block and four such vectors transposed block by block, so
// lane 4b + j holds vertex jB + b of the group (B blocks per vector).
constexpr size_t BLOCKS = hn::MaxLanes(DF()) / 4;
using D128 = hn::Full128<float>;

// Block b: the four floats at field of vertex first + b (the last vertex
// for lanes past it).
template <class D>
hn::Vec<D> load_blocks([[maybe_unused]] D d, const float* source, size_t first, size_t count,
                       int32_t field) {
    const auto block = [&](size_t b) {
        const size_t v = first + b < count ? first + b : count - 1;
        return hn::LoadU(D128(), source + v * VERTEX_FLOATS + field);
    };
    if constexpr (BLOCKS == 1) {
        return block(0);
    } else if constexpr (BLOCKS == 2) {
        return hn::Combine(d, block(1), block(0));
    } else {
        const hn::Half<D> dh;
        return hn::Combine(d, hn::Combine(dh, block(3), block(2)),
                           hn::Combine(dh, block(1), block(0)));
    }
}

// Writes floats (3 or 4) of block b to field of vertex first + b, for the
// group's vertices only; the rest of the record is left as it was.
template <class D>
void store_blocks([[maybe_unused]] D d, hn::Vec<D> v, float* out, size_t first, size_t count,
                  int32_t field, size_t floats) {
    const auto block = [&](size_t b, hn::Vec<D128> x) {
        if (first + b < count) {
            float* at = out + (first + b) * VERTEX_FLOATS + field;
            if (floats == 4) {
                hn::StoreU(x, D128(), at);
            } else {
                hn::BlendedStore(x, hn::FirstN(D128(), floats), D128(), at);
            }
        }
    };
    if constexpr (BLOCKS == 1) {
        block(0, v);
    } else if constexpr (BLOCKS == 2) {
        block(0, hn::LowerHalf(v));
        block(1, hn::UpperHalf(D128(), v));
    } else {
        const hn::Half<D> dh;
        const auto low = hn::LowerHalf(v);
        const auto high = hn::UpperHalf(dh, v);
        block(0, hn::LowerHalf(low));
        block(1, hn::UpperHalf(D128(), low));
        block(2, hn::LowerHalf(high));
        block(3, hn::UpperHalf(D128(), high));
    }
}

// 4x4 transpose inside every block: afterwards v[j] holds, block by block,
// lane j of the four inputs' blocks.
template <class D> void transpose_blocks(D d, hn::Vec<D> v[4]) {
    const hn::Repartition<uint64_t, D> du;
    const auto ab_low = hn::BitCast(du, hn::InterleaveLower(d, v[0], v[1]));
    const auto ce_low = hn::BitCast(du, hn::InterleaveLower(d, v[2], v[3]));
    const auto ab_high = hn::BitCast(du, hn::InterleaveUpper(d, v[0], v[1]));
    const auto ce_high = hn::BitCast(du, hn::InterleaveUpper(d, v[2], v[3]));
    v[0] = hn::BitCast(d, hn::InterleaveLower(du, ab_low, ce_low));
    v[1] = hn::BitCast(d, hn::InterleaveUpper(du, ab_low, ce_low));
    v[2] = hn::BitCast(d, hn::InterleaveLower(du, ab_high, ce_high));
    v[3] = hn::BitCast(d, hn::InterleaveUpper(du, ab_high, ce_high));
}

GROUP load_group(DF d, const float* source, size_t count) {
    // Sixteen lanes: fifteen gathers take fewer shuffles than 48 block
    // inserts and four transposes (4-7 % faster overall on the development
    // machine). The lanes keep the order the blocks would give them (lane
    // 4b + j holds vertex 4j + b), which store_group undoes.
    if constexpr (BLOCKS == 4) {
        const DI di;
        const auto l = hn::Iota(di, 0);
        return gather_group(
            d, source, count,
            hn::Add(hn::ShiftLeft<2>(hn::And(l, hn::Set(di, 3))), hn::ShiftRight<2>(l)));
    }
    const auto field = [&](int32_t at, size_t j) {
        return load_blocks(d, source, j * BLOCKS, count, at);
    };
    // The normal's fourth float belongs to the next field: loaded, never used.
    VF position[4] = {field(POSITION_AT, 0), field(POSITION_AT, 1), field(POSITION_AT, 2),
                      field(POSITION_AT, 3)};
    VF normal[4] = {field(NORMAL_FIELD_AT, 0), field(NORMAL_FIELD_AT, 1), field(NORMAL_FIELD_AT, 2),
                    field(NORMAL_FIELD_AT, 3)};
    VF index[4] = {field(INDICES_AT, 0), field(INDICES_AT, 1), field(INDICES_AT, 2),
                   field(INDICES_AT, 3)};
    VF weight[4] = {field(WEIGHTS_AT, 0), field(WEIGHTS_AT, 1), field(WEIGHTS_AT, 2),
                    field(WEIGHTS_AT, 3)};
    transpose_blocks(d, position);
    transpose_blocks(d, normal);
    transpose_blocks(d, index);
    transpose_blocks(d, weight);
    return GROUP{VEC4{position[0], position[1], position[2], position[3]},
                 VEC3{normal[0], normal[1], normal[2]},
                 {index[0], index[1], index[2], index[3]},
                 {weight[0], weight[1], weight[2], weight[3]}};
}

void store_group(DF d, const VEC4& p, const VEC3& n, float* out, size_t count) {
    VF position[4] = {p.x, p.y, p.z, p.w};
    VF normal[4] = {n.x, n.y, n.z, hn::Zero(d)};
    transpose_blocks(d, position);
    transpose_blocks(d, normal);
    for (size_t j = 0; j < 4; ++j) {
        store_blocks(d, position[j], out, j * BLOCKS, count, POSITION_AT, 4);
        store_blocks(d, normal[j], out, j * BLOCKS, count, NORMAL_FIELD_AT, 3);
    }
}

#else
// Single lanes and vectors of run-time length: the fields are gathered (see
// gather_group) and the results written back one vertex at a time.
GROUP load_group(DF d, const float* source, size_t count) {
    return gather_group(d, source, count, hn::Iota(DI(), 0));
}

void store_group(DF d, const VEC4& p, const VEC3& n, float* out, size_t count) {
    constexpr size_t MAX_LANES = HWY_MAX_BYTES / sizeof(float);
    HWY_ALIGN float positions[MAX_LANES * 4];
    HWY_ALIGN float normals[MAX_LANES * 3];
    hn::StoreInterleaved4(p.x, p.y, p.z, p.w, d, positions);
    hn::StoreInterleaved3(n.x, n.y, n.z, d, normals);
    for (size_t l = 0; l < count; ++l) {
        float* vertex = out + l * VERTEX_FLOATS;
        std::memcpy(vertex + POSITION_AT, positions + 4 * l, 4 * sizeof(float));
        std::memcpy(vertex + NORMAL_FIELD_AT, normals + 3 * l, 3 * sizeof(float));
    }
}
#endif

#if HWY_TARGET != HWY_SCALAR && !HWY_HAVE_SCALABLE
// Whether each lane's joint element can be looked up in at most three
// registers of the transposed table, cheaper than a gather.
bool lookups_fit(const JOINT_TABLE& t) {
    constexpr int32_t lanes = int32_t(hn::MaxLanes(DF()));
    return t.joint_count <= 3 * lanes && t.joint_count <= LOOKUP_JOINTS;
}

// Element i of each lane's joint (slot 0 .. joint_count - 1), picked out of
// one, two or three registers of the transposed table.
auto lookup_element(const JOINT_TABLE& t, hn::Vec<DI> slot) {
    const DF d;
    const DI di;
    constexpr int32_t lanes = int32_t(hn::MaxLanes(DF()));
    const int32_t registers = (t.joint_count + lanes - 1) / lanes;
    const auto lane = hn::IndicesFromVec(d, hn::And(slot, hn::Set(di, lanes - 1)));
    const auto second = hn::RebindMask(d, hn::Gt(slot, hn::Set(di, lanes - 1)));
    const auto third = hn::RebindMask(d, hn::Gt(slot, hn::Set(di, 2 * lanes - 1)));
    return [&t, registers, slot, lane, second, third](int i) {
        const DF d;
        const float* row = t.by_element[i];
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX3
        // Sixteen lanes: one two-register permute covers joints 0 .. 31, a
        // permute merged under a mask the rest.
        if (registers > 1) {
            VF v{_mm512_permutex2var_ps(hn::Load(d, row).raw, slot.raw,
                                        hn::Load(d, row + lanes).raw)};
            if (registers > 2) {
                v.raw = _mm512_mask_permutexvar_ps(v.raw, third.raw, slot.raw,
                                                   hn::Load(d, row + 2 * lanes).raw);
            }
            return v;
        }
#else
        (void)slot;
#endif
        VF v = hn::TableLookupLanes(hn::Load(d, row), lane);
        if (registers > 1) {
            v = hn::IfThenElse(second, hn::TableLookupLanes(hn::Load(d, row + lanes), lane), v);
        }
        if (registers > 2) {
            v = hn::IfThenElse(third, hn::TableLookupLanes(hn::Load(d, row + 2 * lanes), lane), v);
        }
        return v;
    };
}
#else
bool lookups_fit(const JOINT_TABLE&) {
    return false;
}
auto lookup_element(const JOINT_TABLE&, hn::Vec<DI>) {
    return [](int) { return hn::Zero(DF()); };
}
#endif

// The skinned position and normal of each lane's vertex, by the plain
// loop's operations; AFFINE leaves out the last rows of the position
// transforms (see skin_group).
struct SKINNED {
    VEC4 p;
    VEC3 n;
};
template <bool AFFINE> HWY_FLATTEN SKINNED skin_lanes(const JOINT_TABLE& t, const GROUP& g) {
    const DF d;
    const DI di;
    const auto bind = [&](int i) { return hn::Set(d, t.bind_shape[i]); };
    const VEC4 p_bind = transform4<AFFINE>(bind, g.position);
    const VEC3 n_bind = transform3<4>(bind, g.normal);

    VEC4 p{hn::Zero(d), hn::Zero(d), hn::Zero(d), hn::Zero(d)};
    VEC3 n{hn::Zero(d), hn::Zero(d), hn::Zero(d)};
    for (int k = 0; k < MAX_JOINT_INFLUENCES; ++k) {
        const VF w = g.weight[k];
        // Not greater than zero, NaN included: the influence is skipped.
        const auto take = hn::Gt(w, hn::Zero(d));
        if (hn::AllFalse(d, take)) {
            continue;
        }
        VEC4 pk = p_bind;
        VEC3 nk = n_bind;
        const VF index = g.index[k];
        const float first_index = hn::GetLane(index);
        // Neighbouring vertices often share a joint: when every lane holds
        // the first lane's index, one scalar test and one broadcast per
        // element serve them all.
        if (hn::AllTrue(d, hn::Eq(index, hn::Set(d, first_index)))) {
            // -1, NaN and indices past the joint array name no joint.
            if (first_index > -1.0f && first_index < t.joint_limit) {
                const float* joint = t.joints + int32_t(first_index) * JOINT_FLOATS;
                const JOINTED j = through_joint<AFFINE>([&](int i) { return hn::Set(d, joint[i]); },
                                                        p_bind, n_bind);
                pk = j.p;
                nk = j.n;
            }
        } else if (const auto jointed = hn::And(hn::Gt(index, hn::Set(d, -1.0f)),
                                                hn::Lt(index, hn::Set(d, t.joint_limit)));
                   !hn::AllFalse(d, jointed)) {
            // Each lane's own joint: a lookup in registers, or a gather.
            const auto slot = hn::ConvertTo(di, hn::IfThenElseZero(jointed, index));
            const JOINTED j = lookups_fit(t)
                                  ? through_joint<AFFINE>(lookup_element(t, slot), p_bind, n_bind)
                                  : through_joint<AFFINE>(
                                        [&](int i) {
                                            // Row offset slot * 48 as slot * 32 + slot * 16.
                                            const auto offset = hn::Add(hn::ShiftLeft<5>(slot),
                                                                        hn::ShiftLeft<4>(slot));
                                            return hn::GatherIndex(d, t.joints + i, offset);
                                        },
                                        p_bind, n_bind);
            const VEC4& pj = j.p;
            const VEC3& nj = j.n;
            if (hn::AllTrue(d, jointed)) {
                pk = pj;
                nk = nj;
            } else {
                pk = VEC4{hn::IfThenElse(jointed, pj.x, pk.x), hn::IfThenElse(jointed, pj.y, pk.y),
                          hn::IfThenElse(jointed, pj.z, pk.z), hn::IfThenElse(jointed, pj.w, pk.w)};
                nk = VEC3{hn::IfThenElse(jointed, nj.x, nk.x), hn::IfThenElse(jointed, nj.y, nk.y),
                          hn::IfThenElse(jointed, nj.z, nk.z)};
            }
        }
        const VEC4 p_sum{hn::Add(p.x, hn::Mul(w, pk.x)), hn::Add(p.y, hn::Mul(w, pk.y)),
                         hn::Add(p.z, hn::Mul(w, pk.z)), hn::Add(p.w, hn::Mul(w, pk.w))};
        const VEC3 n_sum{hn::Add(n.x, hn::Mul(w, nk.x)), hn::Add(n.y, hn::Mul(w, nk.y)),
                         hn::Add(n.z, hn::Mul(w, nk.z))};
        if (hn::AllTrue(d, take)) {
            p = p_sum;
            n = n_sum;
            continue;
        }
        p = VEC4{hn::IfThenElse(take, p_sum.x, p.x), hn::IfThenElse(take, p_sum.y, p.y),
                 hn::IfThenElse(take, p_sum.z, p.z), hn::IfThenElse(take, p_sum.w, p.w)};
        n = VEC3{hn::IfThenElse(take, n_sum.x, n.x), hn::IfThenElse(take, n_sum.y, n.y),
                 hn::IfThenElse(take, n_sum.z, n.z)};
    }

    // Influences that cancel leave no direction: the bind-pose normal, and
    // failing that +z, as the plain loop does.
    const auto n_unit = unit(d, n);
    if (!hn::AllTrue(d, n_unit)) {
        VEC3 fallback = n_bind;
        const auto fallback_unit = unit(d, fallback);
        n = VEC3{hn::IfThenElse(n_unit, n.x, hn::IfThenElseZero(fallback_unit, fallback.x)),
                 hn::IfThenElse(n_unit, n.y, hn::IfThenElseZero(fallback_unit, fallback.y)),
                 hn::IfThenElse(n_unit, n.z,
                                hn::IfThenElse(fallback_unit, fallback.z, hn::Set(d, 1.0f)))};
    }
    return SKINNED{p, n};
}

// One group of up to Lanes(d) vertices, each lane doing the plain loop's
// operations for its vertex.
//
// When every matrix's last row is exactly 0 0 0 1 (t.affine), the last row
// of a position transform, ((0·x + 0·y) + 0·z) + 1·w, is w bit for bit
// whenever x, y and z are finite and w is a normal number: 0 times a finite
// number is +0 or -0 (exactly, denormals included), sums of zeros are zeros,
// a zero plus a nonzero w is w in every rounding mode, and 1·w is w (a
// normal w stays clear of flush-to-zero). A -0 in the row counts as 0. So
// the bind-shape, inverse-bind and current transforms all pass the source w
// through, and the lanes' sums p.w + weight·w run as in the plain loop.
//
// Which lanes met those conditions is read off the finished p.x: a product
// with an infinity or NaN is one again (0·inf is NaN), and so is a sum with
// one, so a non-finite x, y, z or w entering a transform makes every row of
// its result non-finite, x included; an influence's non-finite x makes p.x
// non-finite through its positive weight, and p.x stays so. A finite p.x
// therefore proves that every x, y, z the shortened rows met was finite (a
// lane that takes no influence has p = 0 whatever w is). A group with any
// lane failing is computed again in full.
void skin_group(const JOINT_TABLE& t, const float* source, float* out, size_t count) {
    const DF d;
    const GROUP g = load_group(d, source, count);
    SKINNED r = t.affine ? skin_lanes<true>(t, g) : skin_lanes<false>(t, g);
    if (t.affine) {
        const VF smallest_normal = hn::Set(d, std::numeric_limits<float>::min());
        const auto exact =
            hn::And(hn::IsFinite(r.p.x), hn::Ge(hn::Abs(g.position.w), smallest_normal));
        if (!hn::AllTrue(d, exact)) {
            r = skin_lanes<false>(t, g);
        }
    }
    store_group(d, r.p, r.n, out, count);
}

void skin_range(const JOINT_TABLE* t, const VERTEX* source, VERTEX* out, int32_t begin,
                int32_t end) {
    const size_t lanes = hn::Lanes(DF());
    for (int32_t v = begin; v < end; v += int32_t(lanes)) {
        const size_t left = size_t(end - v);
        // The vertex records are read and written as the floats they hold.
        skin_group(*t, reinterpret_cast<const float*>(source + v),
                   reinterpret_cast<float*>(out + v), left < lanes ? left : lanes);
    }
}

} // namespace HWY_NAMESPACE
} // namespace vexa_skinning
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace vexa_skinning {

HWY_EXPORT(skin_range);

using RANGE_KERNEL = void (*)(const JOINT_TABLE*, const VERTEX*, VERTEX*, int32_t, int32_t);

// Compared as numbers: a -0 is as good as a 0 (see skin_group).
bool last_row_is_0001(const float* m) {
    return m[3] == 0.0f && m[7] == 0.0f && m[11] == 0.0f && m[15] == 1.0f;
}

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
    // Without joints the plain loop has nothing to index; an entry of the
    // joint array without a joint is bad data. Both are left to it.
    if (!skin->joints || skin->joint_count <= 0) {
        return false;
    }
    JOINT_TABLE table;
    std::memcpy(table.bind_shape, skin->bind_shape_matrix.m, sizeof table.bind_shape);
    table.joint_limit = float(skin->joint_count);
    for (int32_t j = 0; j < skin->joint_count; ++j) {
        const JOINT* joint = skin->joints[j];
        if (!joint) {
            return false;
        }
        float* row = table.joints + j * JOINT_FLOATS;
        std::memcpy(row + INVERSE_BIND_AT, joint->inverse_bind_matrix.m, 16 * sizeof(float));
        std::memcpy(row + CURRENT_AT, joint->current_transform.m, 16 * sizeof(float));
        std::memcpy(row + NORMAL_AT, joint->normal_matrix, 9 * sizeof(float));
    }
    table.joint_count = skin->joint_count;
    table.affine = last_row_is_0001(table.bind_shape);
    for (int32_t j = 0; j < skin->joint_count; ++j) {
        const float* row = table.joints + j * JOINT_FLOATS;
        table.affine = table.affine && last_row_is_0001(row + INVERSE_BIND_AT) &&
                       last_row_is_0001(row + CURRENT_AT);
    }
    std::memset(table.by_element, 0, sizeof table.by_element);
    for (int32_t e = 0; e < ELEMENTS; ++e) {
        for (int32_t j = 0; j < skin->joint_count; ++j) {
            table.by_element[e][j] = table.joints[j * JOINT_FLOATS + e];
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
#endif // __EMSCRIPTEN__
