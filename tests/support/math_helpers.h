// Small matrix builders the math tests share.
#pragma once

#include "math/matrix.h"

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
