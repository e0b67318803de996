// Vector arithmetic on VECTOR2, VECTOR3 and VECTOR4: sums, differences,
// scaling, dot and cross products, length, normalising and linear
// interpolation. Owns nothing; relies on the value types of math/matrix.h
// and on sqrt. Every operation rounds to single precision after each step,
// in the order written (the build forbids contraction into fused
// multiply-adds), so results are the same on every compiler and CPU.
#pragma once

#include "math/matrix.h"

#include <cmath>

struct VECTOR2 {
    float x, y;
};

constexpr VECTOR2 operator+(VECTOR2 a, VECTOR2 b) {
    return {a.x + b.x, a.y + b.y};
}
constexpr VECTOR2 operator-(VECTOR2 a, VECTOR2 b) {
    return {a.x - b.x, a.y - b.y};
}
constexpr VECTOR2 operator-(VECTOR2 a) {
    return {-a.x, -a.y};
}
constexpr VECTOR2 operator*(VECTOR2 a, float s) {
    return {a.x * s, a.y * s};
}
constexpr VECTOR2 operator*(float s, VECTOR2 a) {
    return a * s;
}
constexpr VECTOR2& operator+=(VECTOR2& a, VECTOR2 b) {
    return a = a + b;
}
constexpr VECTOR2& operator-=(VECTOR2& a, VECTOR2 b) {
    return a = a - b;
}
constexpr VECTOR2& operator*=(VECTOR2& a, float s) {
    return a = a * s;
}

constexpr VECTOR3 operator+(VECTOR3 a, VECTOR3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
constexpr VECTOR3 operator-(VECTOR3 a, VECTOR3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
constexpr VECTOR3 operator-(VECTOR3 a) {
    return {-a.x, -a.y, -a.z};
}
constexpr VECTOR3 operator*(VECTOR3 a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
constexpr VECTOR3 operator*(float s, VECTOR3 a) {
    return a * s;
}
constexpr VECTOR3& operator+=(VECTOR3& a, VECTOR3 b) {
    return a = a + b;
}
constexpr VECTOR3& operator-=(VECTOR3& a, VECTOR3 b) {
    return a = a - b;
}
constexpr VECTOR3& operator*=(VECTOR3& a, float s) {
    return a = a * s;
}

constexpr VECTOR4 operator+(VECTOR4 a, VECTOR4 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w};
}
constexpr VECTOR4 operator-(VECTOR4 a, VECTOR4 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w};
}
constexpr VECTOR4 operator-(VECTOR4 a) {
    return {-a.x, -a.y, -a.z, -a.w};
}
constexpr VECTOR4 operator*(VECTOR4 a, float s) {
    return {a.x * s, a.y * s, a.z * s, a.w * s};
}
constexpr VECTOR4 operator*(float s, VECTOR4 a) {
    return a * s;
}
constexpr VECTOR4& operator+=(VECTOR4& a, VECTOR4 b) {
    return a = a + b;
}
constexpr VECTOR4& operator-=(VECTOR4& a, VECTOR4 b) {
    return a = a - b;
}
constexpr VECTOR4& operator*=(VECTOR4& a, float s) {
    return a = a * s;
}

// Summed left to right: ((x·x + y·y) + z·z) + w·w.
constexpr float dot(VECTOR2 a, VECTOR2 b) {
    return a.x * b.x + a.y * b.y;
}
constexpr float dot(VECTOR3 a, VECTOR3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
constexpr float dot(VECTOR4 a, VECTOR4 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}

// Right-handed: cross((1,0,0), (0,1,0)) = (0,0,1).
constexpr VECTOR3 cross(VECTOR3 a, VECTOR3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
// The z of the 3D cross product of (a, 0) and (b, 0): positive when b lies
// counter-clockwise of a.
constexpr float cross(VECTOR2 a, VECTOR2 b) {
    return a.x * b.y - a.y * b.x;
}

inline float length(VECTOR2 a) {
    return std::sqrt(dot(a, a));
}
inline float length(VECTOR3 a) {
    return std::sqrt(dot(a, a));
}
inline float length(VECTOR4 a) {
    return std::sqrt(dot(a, a));
}

// a scaled to length 1. A zero-length (or non-finite) vector has no
// direction: the result is the zero vector instead of NaNs that would
// spread through every later transform.
template <typename V> V normalize_vector(V a) {
    const float l = length(a);
    if (!(l > 0.0f) || !std::isfinite(l)) {
        return V{};
    }
    return a * (1.0f / l);
}
inline VECTOR2 normalize(VECTOR2 a) {
    return normalize_vector(a);
}
inline VECTOR3 normalize(VECTOR3 a) {
    return normalize_vector(a);
}
inline VECTOR4 normalize(VECTOR4 a) {
    return normalize_vector(a);
}

// a + (b − a)·t per component: exactly a at t = 0; t outside 0..1
// extrapolates. (For single floats the standard library's std::lerp, which
// <cmath> also places in the global namespace, is the one.)
constexpr VECTOR2 lerp(VECTOR2 a, VECTOR2 b, float t) {
    return a + (b - a) * t;
}
constexpr VECTOR3 lerp(VECTOR3 a, VECTOR3 b, float t) {
    return a + (b - a) * t;
}
constexpr VECTOR4 lerp(VECTOR4 a, VECTOR4 b, float t) {
    return a + (b - a) * t;
}
