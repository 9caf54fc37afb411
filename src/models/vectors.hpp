// Small 3-vector and rotation helpers of the geometric models. Vectors are std::array<double, 3>
// (x, y, z); every helper is a plain function so that the formulas of the models read as written.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>

namespace quelmar::models {

using Vec3 = std::array<double, 3>;
using Mat3 = std::array<std::array<double, 3>, 3>; // [row][column]

// Scalar product r1 . r2.
inline double scapro(const Vec3& r1, const Vec3& r2) {
    return r1[0] * r2[0] + r1[1] * r2[1] + r1[2] * r2[2];
}

// Vector product r1 x r2.
inline Vec3 vecpro(const Vec3& r1, const Vec3& r2) {
    return {r1[1] * r2[2] - r1[2] * r2[1], r1[2] * r2[0] - r1[0] * r2[2], r1[0] * r2[1] - r1[1] * r2[0]};
}

// Linear combination a1 r1 + a2 r2.
inline Vec3 veclin(const Vec3& r1, const Vec3& r2, double a1, double a2) {
    return {a1 * r1[0] + a2 * r2[0], a1 * r1[1] + a2 * r2[1], a1 * r1[2] + a2 * r2[2]};
}

// a1 r1, and the in-place form.
inline Vec3 veccoe(const Vec3& r1, double a1) {
    return {a1 * r1[0], a1 * r1[1], a1 * r1[2]};
}
inline void veccoe1(Vec3& r1, double a1) {
    for (double& c : r1) c *= a1;
}

inline Vec3 vecsub(const Vec3& r1, const Vec3& r2) {
    return {r1[0] - r2[0], r1[1] - r2[1], r1[2] - r2[2]};
}
inline Vec3 vecadd(const Vec3& r1, const Vec3& r2) {
    return {r1[0] + r2[0], r1[1] + r2[1], r1[2] + r2[2]};
}

// Euclidean length.
inline double norm(const Vec3& r) {
    return std::sqrt(scapro(r, r));
}

// rn = r / |r|; returns |r|. A zero vector gives non-finite components (there is no direction).
inline double normvec(const Vec3& r, Vec3& rn) {
    const double xnr = norm(r);
    rn = {r[0] / xnr, r[1] / xnr, r[2] / xnr};
    return xnr;
}
inline Vec3 unit(const Vec3& r) {
    Vec3 rn;
    normvec(r, rn);
    return rn;
}
inline void normvec1(Vec3& r) {
    normvec(r, r);
}

// Frame rotations by the angle a (radians) about x and about z:
//   rot1: rows (1, 0, 0), (0, cos a, sin a), (0, -sin a, cos a)
//   rot3: rows (cos a, sin a, 0), (-sin a, cos a, 0), (0, 0, 1)
inline Mat3 rot1(double a) {
    const double c = std::cos(a), s = std::sin(a);
    return {{{1.0, 0.0, 0.0}, {0.0, c, s}, {0.0, -s, c}}};
}
inline Mat3 rot3(double a) {
    const double c = std::cos(a), s = std::sin(a);
    return {{{c, s, 0.0}, {-s, c, 0.0}, {0.0, 0.0, 1.0}}};
}

// Matrix products: a b, and a applied to a vector.
inline Mat3 mpro(const Mat3& a, const Mat3& b) {
    Mat3 c{};
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t l = 0; l < 3; ++l)
            c[i][l] = a[i][0] * b[0][l] + a[i][1] * b[1][l] + a[i][2] * b[2][l];
    return c;
}
inline Vec3 mpro(const Mat3& a, const Vec3& r) {
    return {a[0][0] * r[0] + a[0][1] * r[1] + a[0][2] * r[2],
            a[1][0] * r[0] + a[1][1] * r[1] + a[1][2] * r[2],
            a[2][0] * r[0] + a[2][1] * r[1] + a[2][2] * r[2]};
}

} // namespace quelmar::models
