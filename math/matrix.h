// The engine's value types for transforms (MATRIX4, VECTOR3, VECTOR4, QUATERNION) and the
// free functions every transform goes through. Owns no globals and no GL state; relies only
// on the C++ runtime's sqrt, sin and cos. Matrices are column-major (row r, column c at
// index 4c + r), vectors are columns (M·v), angles are in degrees, results are single precision.
#pragma once

// Handed to GL exactly as stored, with the transpose flag false.
struct MATRIX4 {
    float m[16];
};

struct VECTOR3 {
    float x, y, z;
};

struct VECTOR4 {
    float x, y, z, w;
};

// Scalar part first: a rotation of angle t about the unit axis a is (cos t/2, sin t/2 · a).
struct QUATERNION {
    float w, x, y, z;
};

void matrix_identity(MATRIX4& out);

// out = a·b, so b acts on a vertex first. The sums run k = 0..3 in single precision, which
// keeps results identical whatever the compiler vectorises. The product is formed in a local
// before it is stored, so out may alias a or b.
inline MATRIX4& matrix_multiply(MATRIX4& out, const MATRIX4& a, const MATRIX4& b) {
    MATRIX4 r;
    for (int c = 0; c < 4; ++c) {
        for (int row = 0; row < 4; ++row) {
            r.m[4 * c + row] = a.m[row] * b.m[4 * c] + a.m[4 + row] * b.m[4 * c + 1] +
                               a.m[8 + row] * b.m[4 * c + 2] + a.m[12 + row] * b.m[4 * c + 3];
        }
    }
    out = r;
    return out;
}

// m = m·T, m = m·R, m = m·S: successive calls on one matrix act on a vertex in reverse order of
// the calls, like the fixed-function GL matrix calls.
void matrix_translate(MATRIX4& m, float x, float y, float z);
void matrix_rotate(MATRIX4& m, float angle, float ax, float ay, float az);
void matrix_scale(MATRIX4& m, float sx, float sy, float sz);

// Rotation by angle (degrees) about the axis, which need not be of unit length. A positive
// angle turns clockwise seen from the tip of the axis (the opposite sense of quat_to_matrix).
// A zero-length axis gives the identity.
void matrix_from_axis_angle(MATRIX4& out, float angle, float ax, float ay, float az);

// Local transform T·Rx·Ry·Rz·S: a vertex is scaled, then rotated about z, y and x, then moved.
void matrix_compose(float px, float py, float pz, float rx, float ry, float rz, float sx, float sy,
                    float sz, MATRIX4& out);

// out = m·v; out may alias v.
void matrix_transform(VECTOR4& out, const MATRIX4& m, const VECTOR4& v);

void matrix_transpose(MATRIX4& m);

// Cofactor inverse. Returns false and leaves out untouched when the determinant is exactly 0.
// The whole input is read before out is written, so in and out may be the same matrix.
bool matrix_invert(const MATRIX4& in, MATRIX4& out);

// Projections are computed in double precision and stored as floats.
void matrix_frustum(MATRIX4& out, double left, double right, double bottom, double top,
                    double near_plane, double far_plane);
void matrix_ortho(MATRIX4& out, double left, double right, double bottom, double top,
                  double near_plane, double far_plane);

// Unit quaternion for angle (degrees, last) about the axis, which need not be of unit length.
// A zero-length axis gives the identity quaternion (1, 0, 0, 0).
void quat_from_axis_angle(QUATERNION& out, float ax, float ay, float az, float angle);

// Hamilton product out = a·b; out may alias a or b.
void quat_multiply(QUATERNION& out, const QUATERNION& a, const QUATERNION& b);

// Textbook right-handed rotation of q, which is not normalised first.
// quat_to_matrix(a·b) equals quat_to_matrix(a)·quat_to_matrix(b).
MATRIX4& quat_to_matrix(MATRIX4& out, const QUATERNION& q);
