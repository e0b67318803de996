// Vector, matrix and quaternion operations: exact elements where the rounding is fixed, the
// senses of the two rotation builders, and seeded random properties of inverse and quaternions.
#include "tests/support/math_helpers.h"
#include "math/matrix.h"
#include "math/vector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace {

bool same_bits(const MATRIX4& a, const MATRIX4& b) {
    return std::memcmp(a.m, b.m, sizeof a.m) == 0;
}

void expect_near(const MATRIX4& actual, const MATRIX4& expected, float tolerance) {
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(actual.m[i], expected.m[i], tolerance) << "element " << i;
    }
}

void expect_near(const VECTOR4& v, float x, float y, float z, float w, float tolerance) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
    EXPECT_NEAR(v.w, w, tolerance);
}

VECTOR4 transformed(const MATRIX4& m, float x, float y, float z, float w) {
    VECTOR4 out;
    matrix_transform(out, m, VECTOR4{x, y, z, w});
    return out;
}

MATRIX4 random_matrix(std::mt19937& rng) {
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    MATRIX4 m;
    for (float& e : m.m) {
        e = value(rng);
    }
    return m;
}

} // namespace

TEST(math, multiply_by_identity_returns_other_factor_and_tolerates_aliasing) {
    std::mt19937 rng(1234);
    const MATRIX4 a = random_matrix(rng);
    const MATRIX4 id = identity();
    MATRIX4 out;
    EXPECT_TRUE(same_bits(matrix_multiply(out, id, a), a));
    EXPECT_TRUE(same_bits(matrix_multiply(out, a, id), a));

    // Aliased output gives the same product as a separate one.
    const MATRIX4 b = random_matrix(rng);
    MATRIX4 separate;
    matrix_multiply(separate, a, b);
    MATRIX4 left = a;
    matrix_multiply(left, left, b);
    MATRIX4 right = b;
    matrix_multiply(right, a, right);
    EXPECT_TRUE(same_bits(left, separate));
    EXPECT_TRUE(same_bits(right, separate));
}

TEST(math, multiply_applies_right_factor_to_the_vertex_first) {
    // T(1, 0, 0)·S(2, 2, 2) scales then moves: (1, 0, 0) -> (3, 0, 0); the other order gives 4.
    MATRIX4 t = translation(1, 0, 0);
    MATRIX4 s = identity();
    matrix_scale(s, 2, 2, 2);
    MATRIX4 ts;
    matrix_multiply(ts, t, s);
    EXPECT_EQ(transformed(ts, 1, 0, 0, 1).x, 3.0f);
    MATRIX4 st;
    matrix_multiply(st, s, t);
    EXPECT_EQ(transformed(st, 1, 0, 0, 1).x, 4.0f);

    // Successive calls on one matrix act in reverse order, like the GL matrix calls.
    MATRIX4 m = identity();
    matrix_translate(m, 1, 0, 0);
    matrix_scale(m, 2, 2, 2);
    EXPECT_TRUE(same_bits(m, ts));
}

TEST(math, compose_is_translate_rotate_x_y_z_then_scale) {
    MATRIX4 m;
    matrix_compose(1, 2, 3, 0, 0, 0, 1, 1, 1, m);
    EXPECT_TRUE(same_bits(m, translation(1, 2, 3)));

    // (1, 0, 0) scaled by 2 along x, turned -90 about z (clockwise sense), then moved.
    matrix_compose(1, 2, 3, 0, 0, 90, 2, 1, 1, m);
    expect_near(transformed(m, 1, 0, 0, 1), 1, 0, 3, 1, 1e-6f);

    // z rotation acts before y rotation: (1, 0, 0) -> z90 -> (0, -1, 0), unmoved by y90.
    matrix_compose(0, 0, 0, 0, 90, 90, 1, 1, 1, m);
    expect_near(transformed(m, 1, 0, 0, 1), 0, -1, 0, 1, 1e-6f);
    // x rotation last: y90 takes (0, 0, 1) to (-1, 0, 0), which x90 leaves alone; x90 alone
    // takes (0, 1, 0) to (0, 0, -1).
    matrix_compose(0, 0, 0, 90, 90, 0, 1, 1, 1, m);
    expect_near(transformed(m, 0, 0, 1, 1), -1, 0, 0, 1, 1e-6f);
    expect_near(transformed(m, 0, 1, 0, 1), 0, 0, -1, 1, 1e-6f);
}

TEST(math, axis_angle_matrix_turns_clockwise_and_quaternion_counter_clockwise) {
    MATRIX4 r;
    matrix_from_axis_angle(r, 90, 0, 0, 1);
    EXPECT_FLOAT_EQ(r.m[1], -1.0f);
    EXPECT_FLOAT_EQ(r.m[4], 1.0f);
    EXPECT_EQ(r.m[15], 1.0f);
    EXPECT_EQ(r.m[12], 0.0f);
    expect_near(transformed(r, 1, 0, 0, 1), 0, -1, 0, 1, 1e-6f);
    // c and s are cos and sin of the double-precision angle, rounded to single precision.
    EXPECT_EQ(r.m[0], static_cast<float>(std::cos(90 * 0.017453292519943295)));

    QUATERNION q;
    quat_from_axis_angle(q, 0, 0, 1, 90);
    MATRIX4 qm;
    quat_to_matrix(qm, q);
    EXPECT_FLOAT_EQ(qm.m[1], 1.0f);
    EXPECT_FLOAT_EQ(qm.m[4], -1.0f);
    expect_near(transformed(qm, 1, 0, 0, 1), 0, 1, 0, 1, 1e-6f);

    // About x: the matrix builder takes y to -z, the quaternion takes y to +z.
    matrix_from_axis_angle(r, 90, 1, 0, 0);
    expect_near(transformed(r, 0, 1, 0, 1), 0, 0, -1, 1, 1e-6f);
    quat_from_axis_angle(q, 1, 0, 0, 90);
    expect_near(transformed(quat_to_matrix(qm, q), 0, 1, 0, 1), 0, 0, 1, 1, 1e-6f);
}

TEST(math, rotation_axis_need_not_be_unit_and_zero_axis_is_no_rotation) {
    MATRIX4 a = identity();
    MATRIX4 b = identity();
    matrix_rotate(a, 37, 1, 2, 2);
    matrix_rotate(b, 37, 1.0f / 3, 2.0f / 3, 2.0f / 3);
    expect_near(a, b, 1e-6f);

    QUATERNION qa, qb;
    quat_from_axis_angle(qa, 0, 3, 4, 50);
    quat_from_axis_angle(qb, 0, 0.6f, 0.8f, 50);
    EXPECT_NEAR(qa.w, qb.w, 1e-6f);
    EXPECT_NEAR(qa.y, qb.y, 1e-6f);
    EXPECT_NEAR(qa.z, qb.z, 1e-6f);
    EXPECT_NEAR(qa.w * qa.w + qa.x * qa.x + qa.y * qa.y + qa.z * qa.z, 1.0f, 1e-6f);

    MATRIX4 r;
    matrix_from_axis_angle(r, 45, 0, 0, 0);
    EXPECT_TRUE(same_bits(r, identity()));
    MATRIX4 m = translation(4, 5, 6);
    matrix_rotate(m, 45, 0, 0, 0);
    EXPECT_TRUE(same_bits(m, translation(4, 5, 6)));
    QUATERNION q;
    quat_from_axis_angle(q, 0, 0, 0, 45);
    EXPECT_EQ(q.w, 1.0f);
    EXPECT_EQ(q.x, 0.0f);
    EXPECT_EQ(q.y, 0.0f);
    EXPECT_EQ(q.z, 0.0f);
}

TEST(math, transpose_swaps_off_diagonal_elements) {
    MATRIX4 m;
    for (int i = 0; i < 16; ++i) {
        m.m[i] = static_cast<float>(i);
    }
    matrix_transpose(m);
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            EXPECT_EQ(m.m[4 * c + r], static_cast<float>(4 * r + c));
        }
    }
}

TEST(math, invert_translation_and_in_place_equals_separate_output) {
    MATRIX4 out;
    ASSERT_TRUE(matrix_invert(translation(1, 2, 3), out));
    EXPECT_TRUE(same_bits(out, translation(-1, -2, -3)));

    MATRIX4 m;
    matrix_compose(3, -2, 7, 10, 20, 30, 2, 0.5f, 1.5f, m);
    MATRIX4 separate;
    ASSERT_TRUE(matrix_invert(m, separate));
    MATRIX4 in_place = m;
    ASSERT_TRUE(matrix_invert(in_place, in_place));
    EXPECT_TRUE(same_bits(in_place, separate));
}

TEST(math, invert_of_singular_matrix_fails_and_leaves_output_untouched) {
    std::mt19937 rng(99);
    MATRIX4 singular = random_matrix(rng);
    for (int r = 0; r < 4; ++r) {
        singular.m[4 * 2 + r] = 0.0f;
    }
    MATRIX4 out;
    for (int i = 0; i < 16; ++i) {
        out.m[i] = static_cast<float>(i) + 0.25f;
    }
    const MATRIX4 before = out;
    EXPECT_FALSE(matrix_invert(singular, out));
    EXPECT_TRUE(same_bits(out, before));

    const MATRIX4 singular_before = singular;
    EXPECT_FALSE(matrix_invert(singular, singular));
    EXPECT_TRUE(same_bits(singular, singular_before));
}

TEST(math, inverse_times_matrix_is_identity_for_random_well_conditioned_matrices) {
    std::mt19937 rng(20240607);
    for (int trial = 0; trial < 500; ++trial) {
        // A strong diagonal keeps the random matrices far from singular.
        MATRIX4 m = random_matrix(rng);
        for (int i = 0; i < 4; ++i) {
            m.m[5 * i] += (m.m[5 * i] < 0 ? -4.0f : 4.0f);
        }
        MATRIX4 inv;
        ASSERT_TRUE(matrix_invert(m, inv));
        MATRIX4 product;
        expect_near(matrix_multiply(product, inv, m), identity(), 1e-5f);
        expect_near(matrix_multiply(product, m, inv), identity(), 1e-5f);
        if (HasFailure()) {
            FAIL() << "trial " << trial;
        }
    }
}

TEST(math, quaternion_product_matches_matrix_product_for_random_rotations) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> axis(-1.0f, 1.0f);
    std::uniform_real_distribution<float> angle(-360.0f, 360.0f);
    for (int trial = 0; trial < 500; ++trial) {
        QUATERNION a, b, ab;
        quat_from_axis_angle(a, axis(rng), axis(rng), axis(rng), angle(rng));
        quat_from_axis_angle(b, axis(rng), axis(rng), axis(rng), angle(rng));
        quat_multiply(ab, a, b);
        MATRIX4 ma, mb, mab, product;
        quat_to_matrix(ma, a);
        quat_to_matrix(mb, b);
        quat_to_matrix(mab, ab);
        expect_near(mab, matrix_multiply(product, ma, mb), 1e-5f);
        if (HasFailure()) {
            FAIL() << "trial " << trial;
        }
    }
}

TEST(math, quaternion_product_is_hamilton_and_tolerates_aliasing) {
    // i·j = k, j·i = -k.
    const QUATERNION i{0, 1, 0, 0}, j{0, 0, 1, 0};
    QUATERNION out;
    quat_multiply(out, i, j);
    EXPECT_EQ(out.w, 0.0f);
    EXPECT_EQ(out.x, 0.0f);
    EXPECT_EQ(out.y, 0.0f);
    EXPECT_EQ(out.z, 1.0f);
    quat_multiply(out, j, i);
    EXPECT_EQ(out.z, -1.0f);

    QUATERNION a{0.5f, 0.5f, -0.5f, 0.5f}, b{0.1f, 0.7f, 0.2f, -0.3f}, separate;
    quat_multiply(separate, a, b);
    quat_multiply(a, a, b);
    EXPECT_EQ(std::memcmp(&a, &separate, sizeof a), 0);
}

TEST(math, frustum_elements_and_mapped_depths) {
    MATRIX4 p;
    matrix_frustum(p, -1, 1, -1, 1, 1, 3);
    EXPECT_EQ(p.m[0], 1.0f);
    EXPECT_EQ(p.m[5], 1.0f);
    EXPECT_EQ(p.m[10], -2.0f);
    EXPECT_EQ(p.m[11], -1.0f);
    EXPECT_EQ(p.m[14], -3.0f);
    EXPECT_EQ(p.m[15], 0.0f);
    // The near plane maps to depth -1, the far plane to +1.
    VECTOR4 near_point = transformed(p, 0, 0, -1, 1);
    EXPECT_EQ(near_point.z / near_point.w, -1.0f);
    VECTOR4 far_point = transformed(p, 1, 1, -3, 1);
    EXPECT_EQ(far_point.z / far_point.w, 1.0f);
    EXPECT_EQ(far_point.x / far_point.w, 1.0f / 3.0f);

    // An off-centre frustum: elements 8 and 9, computed in double and rounded once.
    const double l = -0.1, r = 0.3, b = -0.2, t = 0.1, n = 0.1, f = 1000;
    matrix_frustum(p, l, r, b, t, n, f);
    EXPECT_EQ(p.m[8], static_cast<float>((r + l) / (r - l)));
    EXPECT_EQ(p.m[9], static_cast<float>((t + b) / (t - b)));
    EXPECT_EQ(p.m[10], static_cast<float>(-(f + n) / (f - n)));
    EXPECT_EQ(p.m[14], static_cast<float>(-2.0 * f * n / (f - n)));
}

// Equal planes come from application data (a camera with near = far, a
// one-pixel window): every build stores the infinities and NaNs the division
// gives, none stops.
TEST(math, degenerate_projections_store_the_division_results_in_every_build) {
    MATRIX4 p;
    matrix_frustum(p, -1, 1, -1, 1, 2, 2);
    EXPECT_EQ(p.m[0], 2.0f);
    EXPECT_TRUE(std::isinf(p.m[10]) && p.m[10] < 0);
    EXPECT_TRUE(std::isinf(p.m[14]) && p.m[14] < 0);
    matrix_ortho(p, 0, 0, 0, 0, 1, -1);
    EXPECT_TRUE(std::isinf(p.m[0]) && std::isinf(p.m[5]));
    EXPECT_TRUE(std::isnan(p.m[12]) && std::isnan(p.m[13]));
    EXPECT_EQ(p.m[10], 1.0f);
}

TEST(math, ortho_maps_window_corners_to_clip_corners) {
    MATRIX4 p;
    matrix_ortho(p, 0, 1023, 599, 0, 1, -1);
    EXPECT_EQ(p.m[10], 1.0f);
    EXPECT_EQ(p.m[14], 0.0f);
    EXPECT_EQ(p.m[15], 1.0f);
    EXPECT_EQ(p.m[3], 0.0f);
    expect_near(transformed(p, 0, 0, 0, 1), -1, 1, 0, 1, 0.0f);
    expect_near(transformed(p, 1023, 599, 0, 1), 1, -1, 0, 1, 1e-6f);
}

TEST(vector_arithmetic, operators_products_length_and_lerp_round_each_step) {
    const VECTOR3 a{1.0f, 2.0f, 3.0f}, b{4.0f, -5.0f, 6.0f};
    const VECTOR3 sum = a + b * 2.0f - VECTOR3{1.0f, 1.0f, 1.0f};
    EXPECT_EQ(sum.x, 8.0f);
    EXPECT_EQ(sum.y, -9.0f);
    EXPECT_EQ(sum.z, 14.0f);
    EXPECT_EQ(dot(a, b), 12.0f);
    const VECTOR3 c = cross(VECTOR3{1, 0, 0}, VECTOR3{0, 1, 0});
    EXPECT_EQ(c.z, 1.0f);
    EXPECT_EQ(dot(cross(a, b), a), 0.0f); // perpendicular to both factors
    EXPECT_EQ(cross(VECTOR2{1, 0}, VECTOR2{0, 1}), 1.0f);
    EXPECT_EQ(length(VECTOR2{3, 4}), 5.0f);
    EXPECT_EQ(length(VECTOR4{1, 1, 1, 1}), 2.0f);
    const VECTOR3 n = normalize(VECTOR3{0, 0, -7});
    EXPECT_EQ(n.z, -1.0f);
    // No direction to keep: zero, never NaN.
    const VECTOR3 zero = normalize(VECTOR3{0, 0, 0});
    EXPECT_EQ(zero.x + zero.y + zero.z, 0.0f);
    const VECTOR4 inf = normalize(VECTOR4{INFINITY, 0, 0, 0});
    EXPECT_EQ(inf.x, 0.0f);
    // Each step rounds to single precision: 0.1 + (0.7 − 0.1)·0.5 in floats.
    const float expected = 0.1f + (0.7f - 0.1f) * 0.5f;
    EXPECT_EQ(lerp(VECTOR2{0.1f, 0}, VECTOR2{0.7f, 2}, 0.5f).x, expected);
    EXPECT_EQ(lerp(VECTOR2{0.1f, 0}, VECTOR2{0.7f, 2}, 0.5f).y, 1.0f);
    EXPECT_EQ(lerp(VECTOR3{3, 0, 0}, VECTOR3{5, 0, 0}, 0.0f).x, 3.0f);
    VECTOR4 v{1, 2, 3, 4};
    v += VECTOR4{1, 1, 1, 1};
    v *= 0.5f;
    EXPECT_EQ(v.w, 2.5f);
}
