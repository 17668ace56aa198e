// Euler-angle conversion after Shoemake, "Euler Angle Conversion" (Graphics
// Gems IV), with the intermediate values held as floats; the host's
// heading/pitch/bank matrix; products, 4x4 inverse and vector helpers.
#include "rotation.h"

#include <cmath>

namespace {

// Order-code decoding tables: safe maps the axis field 3 back to X, next
// gives the axis after an axis (and after that again for index 3).
constexpr int EULER_SAFE[4] = {0, 1, 2, 0};
constexpr int EULER_NEXT[4] = {1, 2, 0, 1};

// 16 x FLT_EPSILON = 2^-19: below this the middle angle sits on a pole and
// the first and third angles cannot be told apart.
constexpr double GIMBAL_LIMIT = 1.0 / 524288.0;

constexpr int W = 3;

struct EulerOrderParts {
    int i;  // first axis
    int j;  // second axis
    int k;  // the remaining axis
    int parity;
    int repetition;
    int frame;
};

EulerOrderParts decode_order(int order) noexcept {
    EulerOrderParts parts;
    parts.frame = order & 1;
    parts.repetition = (order >> 1) & 1;
    parts.parity = (order >> 2) & 1;
    parts.i = EULER_SAFE[(order >> 3) & 3];
    parts.j = EULER_NEXT[parts.i + parts.parity];
    parts.k = EULER_NEXT[parts.i + 1 - parts.parity];
    return parts;
}

// The order travels in a float; an out-of-range value must not reach the
// (undefined) float-to-int conversion.
int order_from_w(float w) noexcept {
    if (!(w > -2147483648.0f && w < 2147483648.0f)) return 0;
    return static_cast<int>(w);
}

float sin_f(double angle) noexcept { return static_cast<float>(std::sin(angle)); }
float cos_f(double angle) noexcept { return static_cast<float>(std::cos(angle)); }
float atan2_f(double y, double x) noexcept { return static_cast<float>(std::atan2(y, x)); }

// g++ 12.2 at -O2 and above drops a double -> float -> double round trip
// when its SLP vectorizer pairs two such values stored side by side in
// doubles (seen in matrix_to_hpb); the file's six decimals depend on that
// rounding, so float results leave through a volatile.
double widen(float value) noexcept {
    volatile float kept = value;
    return kept;
}

template <int N, typename Matrix>
void multiply(const Matrix& a, const Matrix& b, Matrix& out_c) noexcept {
    Matrix product;
    for (int r = 0; r < N; ++r) {
        for (int c = 0; c < N; ++c) {
            long double sum = 0.0L;
            for (int t = 0; t < N; ++t)
                sum += static_cast<long double>(a.m[r][t]) * static_cast<long double>(b.m[t][c]);
            product.m[r][c] = static_cast<float>(sum);
        }
    }
    out_c = product;
}

// A matrix whose row and column 3 are zeros (of either sign) around a 1 in
// the corner, with a finite upper-left 3x3: a rotation as the exporters
// build them.
bool is_pure_rotation(const Mat4& m) noexcept {
    if (m.m[W][W] != 1.0f) return false;
    for (int i = 0; i < 3; ++i) {
        if (m.m[i][W] != 0.0f || m.m[W][i] != 0.0f) return false;
        for (int j = 0; j < 3; ++j) {
            if (!std::isfinite(m.m[i][j])) return false;
        }
    }
    return true;
}

// One product term of a sum, rounded as the matrix products round it: the
// float product is exact in double, and the sum's +0 start turns an exact
// -0 into +0 (a tiny product that only rounds to zero keeps its sign).
float single_term(float a, float b) noexcept {
    return static_cast<float>(static_cast<double>(a) * static_cast<double>(b) + 0.0);
}

// Two product terms, summed as the matrix products sum them.
float two_terms(float a, float b, float c, float d) noexcept {
    long double sum = 0.0L;
    sum += static_cast<long double>(a) * static_cast<long double>(b);
    sum += static_cast<long double>(c) * static_cast<long double>(d);
    return static_cast<float>(sum);
}

// Determinant of the 3x3 left when row `row` and column `col` are struck out.
float minor_det(const Mat4& m, int row, int col) noexcept {
    float e[9];
    int n = 0;
    for (int r = 0; r < 4; ++r) {
        if (r == row) continue;
        for (int c = 0; c < 4; ++c) {
            if (c != col) e[n++] = m.m[r][c];
        }
    }
    return mat3_det(e[0], e[1], e[2], e[3], e[4], e[5], e[6], e[7], e[8]);
}

}  // namespace

Mat4 euler_to_matrix(const EulerAngles& angles) noexcept {
    const EulerOrderParts o = decode_order(order_from_w(angles.w));
    float x = angles.x;
    float y = angles.y;
    float z = angles.z;
    if (o.frame == 1) {
        const float t = x;
        x = z;
        z = t;
    }
    if (o.parity == 1) {
        x = -x;
        y = -y;
        z = -z;
    }
    const float ci = cos_f(x), cj = cos_f(y), ch = cos_f(z);
    const float si = sin_f(x), sj = sin_f(y), sh = sin_f(z);
    const float cc = ci * ch, cs = ci * sh, sc = si * ch, ss = si * sh;
    const int i = o.i, j = o.j, k = o.k;

    Mat4 m;
    if (o.repetition == 1) {
        m.m[i][i] = cj;
        m.m[i][j] = sj * si;
        m.m[i][k] = sj * ci;
        m.m[j][i] = sj * sh;
        m.m[j][j] = cc - cj * ss;
        m.m[j][k] = -cj * cs - sc;
        m.m[k][i] = -sj * ch;
        m.m[k][j] = cj * sc + cs;
        m.m[k][k] = cj * cc - ss;
    } else {
        m.m[i][i] = cj * ch;
        m.m[i][j] = sj * sc - cs;
        m.m[i][k] = sj * cc + ss;
        m.m[j][i] = cj * sh;
        m.m[j][j] = sj * ss + cc;
        m.m[j][k] = sj * cs - sc;
        m.m[k][i] = -sj;
        m.m[k][j] = cj * si;
        m.m[k][k] = cj * ci;
    }
    for (int t = 0; t < 3; ++t) {
        m.m[W][t] = 0.0f;
        m.m[t][W] = 0.0f;
    }
    m.m[W][W] = 1.0f;
    return m;
}

EulerAngles matrix_to_euler(const Mat4& m, int order) noexcept {
    const EulerOrderParts o = decode_order(order);
    const int i = o.i, j = o.j, k = o.k;
    const auto& M = m.m;
    EulerAngles e;
    if (o.repetition == 1) {
        const double sy = std::sqrt(static_cast<double>(M[i][j] * M[i][j] + M[i][k] * M[i][k]));
        if (sy > GIMBAL_LIMIT) {
            e.x = atan2_f(M[i][j], M[i][k]);
            e.y = atan2_f(sy, M[i][i]);
            e.z = atan2_f(M[j][i], -M[k][i]);
        } else {
            e.x = atan2_f(-M[j][k], M[j][j]);
            e.y = atan2_f(sy, M[i][i]);
            e.z = 0.0f;
        }
    } else {
        const double cy = std::sqrt(static_cast<double>(M[i][i] * M[i][i] + M[j][i] * M[j][i]));
        if (cy > GIMBAL_LIMIT) {
            e.x = atan2_f(M[k][j], M[k][k]);
            e.y = atan2_f(-M[k][i], cy);
            e.z = atan2_f(M[j][i], M[i][i]);
        } else {
            e.x = atan2_f(-M[j][k], M[j][j]);
            e.y = atan2_f(-M[k][i], cy);
            e.z = 0.0f;
        }
    }
    if (o.parity == 1) {
        e.x = -e.x;
        e.y = -e.y;
        e.z = -e.z;
    }
    if (o.frame == 1) {
        const float t = e.x;
        e.x = e.z;
        e.z = t;
    }
    e.w = static_cast<float>(order);
    return e;
}

// bank x pitch x heading, each product rounded as mat3_multiply rounds it.
// Most terms of the two products are exact zeros; the running sums start
// from +0, never become -0 and so are left unchanged by a zero term, which
// lets the closed form below drop those terms without changing a bit. Only
// the two-term sums still need the extended precision. Non-finite angles
// (where 0 x NaN terms matter) take the full products.
void hpb_to_matrix(const double hpb[3], Mat4& out_matrix) noexcept {
    const float sh = sin_f(hpb[0]), ch = cos_f(hpb[0]);
    const float sp = sin_f(hpb[1]), cp = cos_f(hpb[1]);
    const float sb = sin_f(hpb[2]), cb = cos_f(hpb[2]);
    Mat3 r;
    if (std::isfinite(hpb[0]) && std::isfinite(hpb[1]) && std::isfinite(hpb[2])) {
        const Mat3 p{{{single_term(cb, 1.0f), single_term(sb, cp), single_term(sb, sp)},
                      {single_term(-sb, 1.0f), single_term(cb, cp), single_term(cb, sp)},
                      {0.0f, single_term(-sp, 1.0f), single_term(cp, 1.0f)}}};
        for (int row = 0; row < 3; ++row) {
            r.m[row][0] = two_terms(p.m[row][0], ch, p.m[row][2], sh);
            r.m[row][1] = single_term(p.m[row][1], 1.0f);
            r.m[row][2] = two_terms(p.m[row][0], -sh, p.m[row][2], ch);
        }
    } else {
        Mat3 bank, pitch, heading;
        mat3_set(bank, cb, sb, 0.0f, -sb, cb, 0.0f, 0.0f, 0.0f, 1.0f);
        mat3_set(pitch, 1.0f, 0.0f, 0.0f, 0.0f, cp, sp, 0.0f, -sp, cp);
        mat3_set(heading, ch, 0.0f, -sh, 0.0f, 1.0f, 0.0f, sh, 0.0f, ch);
        mat3_multiply(bank, pitch, r);
        mat3_multiply(r, heading, r);
    }
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) out_matrix.m[row][col] = r.m[row][col];
    }
}

void matrix_to_hpb(const Mat4& m, double out_hpb[3]) noexcept {
    const auto& R = m.m;
    // Rounding can push a pure +-90 degree pitch just past +-1, where asin
    // has no value.
    float a = -R[2][1];
    if (R[2][1] > 1.0f) a = -1.0f;
    if (R[2][1] < -1.0f) a = 1.0f;
    const double p = widen(static_cast<float>(std::asin(static_cast<double>(a))));
    // p is a float value, so even at +-90 degrees |c| is about 4.4e-8, never
    // 0: the divisions below need no pole branch.
    const double c = std::cos(p);
    out_hpb[0] = widen(atan2_f(R[2][0] / c, R[2][2] / c));
    out_hpb[1] = p;
    out_hpb[2] = widen(atan2_f(R[0][1] / c, R[1][1] / c));
}

void hpb_to_smd_rotation(const double hpb[3], double out_rotation[3]) noexcept {
    const EulerAngles e{static_cast<float>(hpb[0]), static_cast<float>(hpb[1]),
                        static_cast<float>(hpb[2]), static_cast<float>(EULER_YXZ_ROTATING)};
    const EulerAngles f = matrix_to_euler(euler_to_matrix(e), EULER_XZY_STATIC);
    // Negated as a whole, zeros included: a bone without rotation is written
    // as -0.000000 -0.000000 0.000000.
    out_rotation[0] = widen(-f.x);
    out_rotation[1] = widen(-f.y);
    out_rotation[2] = widen(-f.z);
}

void smd_rotation_to_hpb(const double rotation[3], double out_hpb[3]) noexcept {
    const EulerAngles e{static_cast<float>(-rotation[0]), static_cast<float>(-rotation[1]),
                        static_cast<float>(-rotation[2]), static_cast<float>(EULER_XZY_STATIC)};
    const EulerAngles f = matrix_to_euler(euler_to_matrix(e), EULER_YXZ_ROTATING);
    out_hpb[0] = widen(f.x);
    out_hpb[1] = widen(f.y);
    out_hpb[2] = widen(f.z);
}

void mat3_multiply(const Mat3& a, const Mat3& b, Mat3& out_c) noexcept {
    multiply<3>(a, b, out_c);
}

void mat4_multiply(const Mat4& a, const Mat4& b, Mat4& out_c) noexcept {
    if (!is_pure_rotation(a) || !is_pure_rotation(b)) {
        multiply<4>(a, b, out_c);
        return;
    }
    // Every term that involves row or column 3 is a product with a zero
    // factor and a finite other one, so it is a zero; a sum that starts from
    // +0 is never -0 and a zero term leaves it as it is. That makes the
    // upper-left block a 3x3 product, the border +0 and the corner 1, to the
    // bit.
    Mat4 product;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            long double sum = 0.0L;
            for (int t = 0; t < 3; ++t)
                sum += static_cast<long double>(a.m[r][t]) * static_cast<long double>(b.m[t][c]);
            product.m[r][c] = static_cast<float>(sum);
        }
        product.m[r][W] = 0.0f;
        product.m[W][r] = 0.0f;
    }
    product.m[W][W] = 1.0f;
    out_c = product;
}

void mat4_identity(Mat4& out_m) noexcept {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) out_m.m[r][c] = r == c ? 1.0f : 0.0f;
    }
}

void mat3_set(Mat3& out_m,
              float m00, float m01, float m02,
              float m10, float m11, float m12,
              float m20, float m21, float m22) noexcept {
    out_m = Mat3{{{m00, m01, m02}, {m10, m11, m12}, {m20, m21, m22}}};
}

void mat4_set(Mat4& out_m,
              float m00, float m01, float m02, float m03,
              float m10, float m11, float m12, float m13,
              float m20, float m21, float m22, float m23,
              float m30, float m31, float m32, float m33) noexcept {
    out_m = Mat4{{{m00, m01, m02, m03}, {m10, m11, m12, m13},
                  {m20, m21, m22, m23}, {m30, m31, m32, m33}}};
}

void mat4_scale(Mat4& m, float factor) noexcept {
    for (auto& row : m.m) {
        for (float& entry : row) entry *= factor;
    }
}

float mat2_det(float a, float b, float c, float d) noexcept {
    return a * d - b * c;
}

float mat3_det(float m0, float m1, float m2,
               float m3, float m4, float m5,
               float m6, float m7, float m8) noexcept {
    return m0 * mat2_det(m4, m7, m5, m8) - m1 * mat2_det(m3, m6, m5, m8) +
           m2 * mat2_det(m3, m6, m4, m7);
}

float mat4_det(const Mat4& m) noexcept {
    return m.m[0][0] * minor_det(m, 0, 0) - m.m[0][1] * minor_det(m, 0, 1) +
           m.m[0][2] * minor_det(m, 0, 2) - m.m[0][3] * minor_det(m, 0, 3);
}

void mat4_adjugate(const Mat4& m, Mat4& out_adjugate) noexcept {
    Mat4 adjugate;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            const float minor = minor_det(m, c, r);
            adjugate.m[r][c] = (r + c) % 2 == 0 ? minor : -minor;
        }
    }
    out_adjugate = adjugate;
}

int mat4_invert(const Mat4& m, Mat4& out_inverse) noexcept {
    const float det = mat4_det(m);
    // A NaN determinant is treated as singular too.
    if (!(std::fabs(static_cast<double>(det)) >= 1e-6)) return ROTATION_SINGULAR;
    Mat4 inverse;
    mat4_adjugate(m, inverse);
    mat4_scale(inverse, 1.0f / det);
    out_inverse = inverse;
    return ROTATION_OK;
}

float vec3_dot(const float a[3], const float b[3]) noexcept {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void vec3_cross(const float a[3], const float b[3], float out_c[3]) noexcept {
    const float x = a[1] * b[2] - a[2] * b[1];
    const float y = a[2] * b[0] - a[0] * b[2];
    const float z = a[0] * b[1] - a[1] * b[0];
    out_c[0] = x;
    out_c[1] = y;
    out_c[2] = z;
}

void vec3_normalize(float v[3]) noexcept {
    const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length > 0.0f) {
        v[0] /= length;
        v[1] /= length;
        v[2] /= length;
    }
}
