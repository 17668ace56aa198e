// A double-precision reference for the rotation tests, built here from
// elementary right-handed axis rotations and written-out formulas, never
// from the functions under test.
#pragma once

#include "rotation.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <utility>

namespace rotation_reference {

constexpr double PI = std::numbers::pi;
constexpr double HALF_PI = PI / 2.0;

// ---- Double-precision reference -------------------------------------------

struct D3 {
    double m[3][3];
};

inline D3 multiply(const D3& a, const D3& b) {
    D3 c{};
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col)
            for (int t = 0; t < 3; ++t) c.m[r][col] += a.m[r][t] * b.m[t][col];
    return c;
}

// Right-handed rotation about axis 0, 1 or 2, column-vector convention.
inline D3 axis_rotation(int axis, double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    const int u = (axis + 1) % 3, v = (axis + 2) % 3;
    D3 r{};
    r.m[axis][axis] = 1.0;
    r.m[u][u] = c;
    r.m[u][v] = -s;
    r.m[v][u] = s;
    r.m[v][v] = c;
    return r;
}

// The host's heading/pitch/bank matrix, rows as written out for the host.
inline D3 reference_hpb(double h, double p, double b) {
    const double sh = std::sin(h), ch = std::cos(h), sp = std::sin(p), cp = std::cos(p);
    const double sb = std::sin(b), cb = std::cos(b);
    return D3{{{cb * ch + sb * sp * sh, sb * cp, sb * sp * ch - cb * sh},
               {cb * sp * sh - sb * ch, cb * cp, sb * sh + cb * sp * ch},
               {cp * sh, -sp, cp * ch}}};
}

// The Euler order as its name reads: axes of the first, second and third
// rotation, each applied about the static axes; a rotating frame is the static
// order read backwards, which takes the angles in reverse.
inline D3 reference_euler(int order, double x, double y, double z) {
    const int first = (order >> 3) & 3, odd = (order >> 2) & 1, repeated = (order >> 1) & 1;
    const int rotating = order & 1;
    const int second = odd ? (first + 2) % 3 : (first + 1) % 3;
    const int third = repeated ? first : 3 - first - second;
    if (rotating) std::swap(x, z);
    return multiply(axis_rotation(third, z), multiply(axis_rotation(second, y), axis_rotation(first, x)));
}

// The file's axes are the host's with Y and Z exchanged.
inline D3 exchange_y_z(const D3& a) {
    const int map[3] = {0, 2, 1};
    D3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.m[i][j] = a.m[map[i]][map[j]];
    return r;
}

inline D3 transpose(const D3& a) {
    D3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.m[i][j] = a.m[j][i];
    return r;
}

// Largest difference over the upper-left 3x3 (Mat4 or D3 on the right).
template <typename Matrix>
inline double max_difference(const D3& a, const Matrix& b) {
    double worst = 0.0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) worst = std::fmax(worst, std::fabs(a.m[i][j] - b.m[i][j]));
    return worst;
}

// Difference of two angles, folded into [-pi, pi].
inline double angle_difference(double a, double b) {
    return std::remainder(a - b, 2.0 * PI);
}

inline Mat4 to_mat4(const D3& a) {
    Mat4 m;
    mat4_identity(m);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m.m[i][j] = static_cast<float>(a.m[i][j]);
    return m;
}

// The closed forms of the host-to-file conversion, in double.
inline void closed_form_smd(double h, double p, double b, double out[3]) {
    const double sh = std::sin(h), ch = std::cos(h), sp = std::sin(p), cp = std::cos(p);
    const double sb = std::sin(b), cb = std::cos(b);
    const double x = sp * sb * sh + cb * ch, z = sp * sb * ch - cb * sh;
    const double length = std::sqrt(x * x + z * z);
    out[1] = std::atan2(-cp * sb, length);
    if (length > 1.0 / 524288.0) {
        out[0] = std::atan2(-sp, cp * cb);
        out[2] = std::atan2(z, x);
    } else {
        out[0] = std::atan2(-(sp * cb * ch + sb * sh), cp * ch);
        out[2] = 0.0;
    }
}

constexpr int SAMPLES = 3000;

// The conversions hand out float results widened to double.
inline bool is_float_value(double v) {
    return static_cast<double>(static_cast<float>(v)) == v;
}

}  // namespace rotation_reference
