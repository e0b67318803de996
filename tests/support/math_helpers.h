// Small matrix builders the math tests share, and reference matrices built
// independently of the engine's math to check it against.
#pragma once

#include "math/matrix.h"

#include <gtest/gtest.h>

#include <cmath>

inline MATRIX4 identity() {
    MATRIX4 m;
    matrix_identity(m);
    return m;
}

inline MATRIX4 translation(float x, float y, float z) {
    MATRIX4 m = identity();
    m.m[12] = x;
    m.m[13] = y;
    m.m[14] = z;
    return m;
}

// Reference matrices computed without the engine's math, row-major in double:
// the textbook right-handed rotation turns counter-clockwise seen from the tip
// of its axis (0 x, 1 y, 2 z).
struct REF4 {
    double m[4][4];
};

inline REF4 ref_translation(double x, double y, double z) {
    REF4 r{};
    for (int i = 0; i < 4; ++i) {
        r.m[i][i] = 1.0;
    }
    r.m[0][3] = x;
    r.m[1][3] = y;
    r.m[2][3] = z;
    return r;
}

inline REF4 ref_rotation(int axis, double degrees) {
    const double a = degrees * 3.14159265358979323846 / 180.0;
    const int i = (axis + 1) % 3, j = (axis + 2) % 3;
    REF4 r = ref_translation(0, 0, 0);
    r.m[i][i] = std::cos(a);
    r.m[i][j] = -std::sin(a);
    r.m[j][i] = std::sin(a);
    r.m[j][j] = std::cos(a);
    return r;
}

inline REF4 operator*(const REF4& a, const REF4& b) {
    REF4 r{};
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            for (int k = 0; k < 4; ++k) {
                r.m[row][col] += a.m[row][k] * b.m[k][col];
            }
        }
    }
    return r;
}

// Element (row, col) of a column-major MATRIX4 is m[col * 4 + row].
inline ::testing::AssertionResult matrix_near(const MATRIX4& got, const REF4& want,
                                              double tolerance) {
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            const double g = got.m[col * 4 + row];
            if (!(std::fabs(g - want.m[row][col]) <= tolerance)) {
                return ::testing::AssertionFailure() << "row " << row << ", column " << col << ": "
                                                     << g << " instead of " << want.m[row][col];
            }
        }
    }
    return ::testing::AssertionSuccess();
}
