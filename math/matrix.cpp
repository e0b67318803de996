// Matrix, vector and quaternion operations on caller storage. Owns no globals; nothing here
// allocates. The rounding steps (single-precision c, s, L and 1/det, double-precision
// projections) are deliberate: the shaders and the tests depend on the exact values.
#include "math/matrix.h"

#include <cmath>

namespace {

// π/180 in double precision for the matrix rotation, and rounded to single precision for the
// quaternion builder.
constexpr double DEGREES_TO_RADIANS = 0.017453292519943295;
constexpr float DEGREES_TO_RADIANS_F = 0.017453292f;

} // namespace

void matrix_identity(MATRIX4& out) {
    for (int i = 0; i < 16; ++i) {
        out.m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
    }
}

void matrix_translate(MATRIX4& m, float x, float y, float z) {
    MATRIX4 t;
    matrix_identity(t);
    t.m[12] = x;
    t.m[13] = y;
    t.m[14] = z;
    matrix_multiply(m, m, t);
}

void matrix_rotate(MATRIX4& m, float angle, float ax, float ay, float az) {
    MATRIX4 r;
    matrix_from_axis_angle(r, angle, ax, ay, az);
    matrix_multiply(m, m, r);
}

void matrix_scale(MATRIX4& m, float sx, float sy, float sz) {
    MATRIX4 s;
    matrix_identity(s);
    s.m[0] = sx;
    s.m[5] = sy;
    s.m[10] = sz;
    matrix_multiply(m, m, s);
}

void matrix_from_axis_angle(MATRIX4& out, float angle, float ax, float ay, float az) {
    const float length = std::sqrt(ax * ax + ay * ay + az * az);
    if (length == 0.0f) {
        // No axis, no rotation: dividing by zero would fill the matrix with NaN.
        matrix_identity(out);
        return;
    }
    const float x = ax / length;
    const float y = ay / length;
    const float z = az / length;
    const double theta = angle * DEGREES_TO_RADIANS;
    const float c = static_cast<float>(std::cos(theta));
    const float s = static_cast<float>(std::sin(theta));
    const float o = 1.0f - c;

    // The transpose of the textbook right-handed matrix: the actors and the camera roll are
    // built on this sense of rotation.
    float* e = out.m;
    e[0] = c + o * x * x;
    e[1] = o * x * y - s * z;
    e[2] = o * x * z + s * y;
    e[3] = 0.0f;
    e[4] = o * x * y + s * z;
    e[5] = c + o * y * y;
    e[6] = o * y * z - s * x;
    e[7] = 0.0f;
    e[8] = o * x * z - s * y;
    e[9] = o * y * z + s * x;
    e[10] = c + o * z * z;
    e[11] = 0.0f;
    e[12] = 0.0f;
    e[13] = 0.0f;
    e[14] = 0.0f;
    e[15] = 1.0f;
}

void matrix_compose(float px, float py, float pz, float rx, float ry, float rz, float sx, float sy,
                    float sz, MATRIX4& out) {
    // Built step by step rather than in closed form so every actor gets exactly the rounding of
    // the individual translate, rotate and scale calls.
    MATRIX4 m;
    matrix_identity(m);
    matrix_translate(m, px, py, pz);
    matrix_rotate(m, rx, 1.0f, 0.0f, 0.0f);
    matrix_rotate(m, ry, 0.0f, 1.0f, 0.0f);
    matrix_rotate(m, rz, 0.0f, 0.0f, 1.0f);
    matrix_scale(m, sx, sy, sz);
    out = m;
}

void matrix_transform(VECTOR4& out, const MATRIX4& m, const VECTOR4& v) {
    const float* e = m.m;
    VECTOR4 r;
    r.x = e[0] * v.x + e[4] * v.y + e[8] * v.z + e[12] * v.w;
    r.y = e[1] * v.x + e[5] * v.y + e[9] * v.z + e[13] * v.w;
    r.z = e[2] * v.x + e[6] * v.y + e[10] * v.z + e[14] * v.w;
    r.w = e[3] * v.x + e[7] * v.y + e[11] * v.z + e[15] * v.w;
    out = r;
}

void matrix_transpose(MATRIX4& m) {
    for (int c = 0; c < 4; ++c) {
        for (int r = c + 1; r < 4; ++r) {
            const float t = m.m[4 * c + r];
            m.m[4 * c + r] = m.m[4 * r + c];
            m.m[4 * r + c] = t;
        }
    }
}

bool matrix_invert(const MATRIX4& in, MATRIX4& out) {
    // Every cofactor is computed from the input before out is touched (the normal matrix is
    // inverted in place).
    const float* m = in.m;
    float inv[16];
    inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] +
             m[9] * m[7] * m[14] + m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
    inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] -
             m[8] * m[7] * m[14] - m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
    inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] +
             m[8] * m[7] * m[13] + m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
    inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] -
              m[8] * m[6] * m[13] - m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
    inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] -
             m[9] * m[3] * m[14] - m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
    inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] +
             m[8] * m[3] * m[14] + m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
    inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] -
             m[8] * m[3] * m[13] - m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
    inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] +
              m[8] * m[2] * m[13] + m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
    inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14] +
             m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
    inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] -
             m[4] * m[3] * m[14] - m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
    inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] +
              m[4] * m[3] * m[13] + m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
    inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] -
              m[4] * m[2] * m[13] - m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
    inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] -
             m[5] * m[3] * m[10] - m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
    inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10] +
             m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
    inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9] -
              m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
    inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9] +
              m[8] * m[1] * m[6] - m[8] * m[2] * m[5];

    const float det = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
    if (det == 0.0f) {
        return false;
    }
    const float r = 1.0f / det;
    for (int i = 0; i < 16; ++i) {
        out.m[i] = inv[i] * r;
    }
    return true;
}

void matrix_frustum(MATRIX4& out, double left, double right, double bottom, double top,
                    double near_plane, double far_plane) {
    // An empty volume (equal planes, which a camera's settings can produce)
    // stores infinities or NaNs; that is the caller's data, not a fault here.
    const double width = right - left;
    const double height = top - bottom;
    const double depth = far_plane - near_plane;
    for (float& e : out.m) {
        e = 0.0f;
    }
    out.m[0] = static_cast<float>(2.0 * near_plane / width);
    out.m[5] = static_cast<float>(2.0 * near_plane / height);
    out.m[8] = static_cast<float>((right + left) / width);
    out.m[9] = static_cast<float>((top + bottom) / height);
    out.m[10] = static_cast<float>(-(far_plane + near_plane) / depth);
    out.m[11] = -1.0f;
    out.m[14] = static_cast<float>(-2.0 * far_plane * near_plane / depth);
}

void matrix_ortho(MATRIX4& out, double left, double right, double bottom, double top,
                  double near_plane, double far_plane) {
    const double width = right - left;
    const double height = top - bottom;
    const double depth = far_plane - near_plane;
    for (float& e : out.m) {
        e = 0.0f;
    }
    out.m[0] = static_cast<float>(2.0 / width);
    out.m[5] = static_cast<float>(2.0 / height);
    out.m[10] = static_cast<float>(-2.0 / depth);
    out.m[12] = static_cast<float>(-(right + left) / width);
    out.m[13] = static_cast<float>(-(top + bottom) / height);
    out.m[14] = static_cast<float>(-(far_plane + near_plane) / depth);
    out.m[15] = 1.0f;
}

void quat_from_axis_angle(QUATERNION& out, float ax, float ay, float az, float angle) {
    const float length = std::sqrt(ax * ax + ay * ay + az * az);
    if (length == 0.0f) {
        // No axis, no rotation: dividing by zero would give a NaN quaternion.
        out = QUATERNION{1.0f, 0.0f, 0.0f, 0.0f};
        return;
    }
    const float theta = angle * DEGREES_TO_RADIANS_F;
    const float x = ax / length;
    const float y = ay / length;
    const float z = az / length;
    const float half = theta * 0.5f;
    const float w = std::cos(half);
    const float s = std::sin(half);
    QUATERNION q{w, s * x, s * y, s * z};
    // Renormalised so the rounding of sin, cos and the axis leaves a unit quaternion.
    const float n = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
    out = QUATERNION{q.w / n, q.x / n, q.y / n, q.z / n};
}

void quat_multiply(QUATERNION& out, const QUATERNION& a, const QUATERNION& b) {
    QUATERNION r;
    r.w = a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z;
    r.x = a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y;
    r.y = a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x;
    r.z = a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w;
    out = r;
}

MATRIX4& quat_to_matrix(MATRIX4& out, const QUATERNION& q) {
    const float w = q.w, x = q.x, y = q.y, z = q.z;
    float* e = out.m;
    e[0] = 1.0f - 2.0f * (y * y + z * z);
    e[1] = 2.0f * (x * y + z * w);
    e[2] = 2.0f * (x * z - y * w);
    e[3] = 0.0f;
    e[4] = 2.0f * (x * y - z * w);
    e[5] = 1.0f - 2.0f * (x * x + z * z);
    e[6] = 2.0f * (y * z + x * w);
    e[7] = 0.0f;
    e[8] = 2.0f * (x * z + y * w);
    e[9] = 2.0f * (y * z - x * w);
    e[10] = 1.0f - 2.0f * (x * x + y * y);
    e[11] = 0.0f;
    e[12] = 0.0f;
    e[13] = 0.0f;
    e[14] = 0.0f;
    e[15] = 1.0f;
    return out;
}
