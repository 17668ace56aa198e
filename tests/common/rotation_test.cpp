// Rotation math: expected values come from the written-out formulas, hand
// computations, or a double-precision reference built here from elementary
// right-handed axis rotations, never from the functions under test.
#include "rotation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <utility>

namespace {

constexpr double PI = std::numbers::pi;
constexpr double HALF_PI = PI / 2.0;

// ---- Double-precision reference -------------------------------------------

struct D3 {
    double m[3][3];
};

D3 multiply(const D3& a, const D3& b) {
    D3 c{};
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col)
            for (int t = 0; t < 3; ++t) c.m[r][col] += a.m[r][t] * b.m[t][col];
    return c;
}

// Right-handed rotation about axis 0, 1 or 2, column-vector convention.
D3 axis_rotation(int axis, double angle) {
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
D3 reference_hpb(double h, double p, double b) {
    const double sh = std::sin(h), ch = std::cos(h), sp = std::sin(p), cp = std::cos(p);
    const double sb = std::sin(b), cb = std::cos(b);
    return D3{{{cb * ch + sb * sp * sh, sb * cp, sb * sp * ch - cb * sh},
               {cb * sp * sh - sb * ch, cb * cp, sb * sh + cb * sp * ch},
               {cp * sh, -sp, cp * ch}}};
}

// The Euler order as its name reads: axes of the first, second and third
// rotation, each applied about the static axes; a rotating frame is the static
// order read backwards, which takes the angles in reverse.
D3 reference_euler(int order, double x, double y, double z) {
    const int first = (order >> 3) & 3, odd = (order >> 2) & 1, repeated = (order >> 1) & 1;
    const int rotating = order & 1;
    const int second = odd ? (first + 2) % 3 : (first + 1) % 3;
    const int third = repeated ? first : 3 - first - second;
    if (rotating) std::swap(x, z);
    return multiply(axis_rotation(third, z), multiply(axis_rotation(second, y), axis_rotation(first, x)));
}

// The file's axes are the host's with Y and Z exchanged.
D3 exchange_y_z(const D3& a) {
    const int map[3] = {0, 2, 1};
    D3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.m[i][j] = a.m[map[i]][map[j]];
    return r;
}

D3 transpose(const D3& a) {
    D3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.m[i][j] = a.m[j][i];
    return r;
}

// Largest difference over the upper-left 3x3 (Mat4 or D3 on the right).
template <typename Matrix>
double max_difference(const D3& a, const Matrix& b) {
    double worst = 0.0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) worst = std::fmax(worst, std::fabs(a.m[i][j] - b.m[i][j]));
    return worst;
}

// Difference of two angles, folded into [-pi, pi].
double angle_difference(double a, double b) {
    return std::remainder(a - b, 2.0 * PI);
}

Mat4 to_mat4(const D3& a) {
    Mat4 m;
    mat4_identity(m);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m.m[i][j] = static_cast<float>(a.m[i][j]);
    return m;
}

// The closed forms of the host-to-file conversion, in double.
void closed_form_smd(double h, double p, double b, double out[3]) {
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
bool is_float_value(double v) {
    return static_cast<double>(static_cast<float>(v)) == v;
}

}  // namespace

// ---- SMD rotation conversions -------------------------------------------------

TEST(SmdRotation, NoRotationIsWrittenWithSignedZeros) {
    const double zero[3] = {0.0, 0.0, 0.0};
    double rotation[3] = {1.0, 1.0, 1.0};
    hpb_to_smd_rotation(zero, rotation);
    EXPECT_EQ(0.0, rotation[0]);
    EXPECT_EQ(0.0, rotation[1]);
    EXPECT_EQ(0.0, rotation[2]);
    EXPECT_TRUE(std::signbit(rotation[0]));
    EXPECT_TRUE(std::signbit(rotation[1]));
    EXPECT_FALSE(std::signbit(rotation[2]));

    double hpb[3] = {1.0, 1.0, 1.0};
    smd_rotation_to_hpb(rotation, hpb);
    EXPECT_EQ(0.0, hpb[0]);
    EXPECT_EQ(0.0, hpb[1]);
    EXPECT_EQ(0.0, hpb[2]);
}

TEST(SmdRotation, SingleAxisRotations) {
    for (double angle : {-2.9, -1.2, -0.3, 0.25, 1.0, 1.5, 2.2, 3.1}) {
        SCOPED_TRACE(angle);
        {  // Heading only: rz = atan2(-sh, ch) = -h.
            const double hpb[3] = {angle, 0.0, 0.0};
            double r[3];
            hpb_to_smd_rotation(hpb, r);
            EXPECT_EQ(0.0, r[0]);
            EXPECT_EQ(0.0, r[1]);
            EXPECT_NEAR(-angle, r[2], 1e-6);
            double back[3];
            smd_rotation_to_hpb(r, back);
            EXPECT_NEAR(angle, back[0], 1e-6);
            EXPECT_EQ(0.0, back[1]);
            EXPECT_EQ(0.0, back[2]);
        }
        if (std::fabs(angle) < HALF_PI) {  // Pitch only: rx = -p.
            const double hpb[3] = {0.0, angle, 0.0};
            double r[3];
            hpb_to_smd_rotation(hpb, r);
            EXPECT_NEAR(-angle, r[0], 1e-6);
            EXPECT_EQ(0.0, r[1]);
            EXPECT_EQ(0.0, r[2]);
        }
        if (std::fabs(angle) < HALF_PI) {  // Bank only: ry = -b.
            const double hpb[3] = {0.0, 0.0, angle};
            double r[3];
            hpb_to_smd_rotation(hpb, r);
            EXPECT_EQ(0.0, r[0]);
            EXPECT_NEAR(-angle, r[1], 1e-6);
            EXPECT_EQ(0.0, r[2]);
        }
    }
}

TEST(SmdRotation, MatchesClosedForms) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<double> full(-PI, PI), half(-HALF_PI, HALF_PI);
    int compared = 0;
    for (int n = 0; n < SAMPLES; ++n) {
        const double hpb[3] = {full(rng), half(rng), full(rng)};
        double expected[3];
        closed_form_smd(hpb[0], hpb[1], hpb[2], expected);
        // Near either pole the float angles lose digits; the matrix test
        // below covers those rotations.
        if (std::cos(hpb[1]) < 0.05 || std::cos(expected[1]) < 0.05) continue;
        double r[3];
        hpb_to_smd_rotation(hpb, r);
        for (int a = 0; a < 3; ++a)
            ASSERT_NEAR(0.0, angle_difference(expected[a], r[a]), 2e-5)
                << "component " << a << " of " << hpb[0] << " " << hpb[1] << " " << hpb[2];
        ++compared;
    }
    EXPECT_GT(compared, SAMPLES * 3 / 4);

    // Bank of 90 degrees with no pitch puts the file's ry on its pole:
    // rz is then exactly 0 and rx takes the heading.
    for (double h : {-2.5, -0.4, 0.0, 0.9, 2.8}) {
        SCOPED_TRACE(h);
        const double hpb[3] = {h, 0.0, HALF_PI};
        double expected[3], r[3];
        closed_form_smd(h, 0.0, HALF_PI, expected);
        hpb_to_smd_rotation(hpb, r);
        EXPECT_EQ(0.0, r[2]);
        EXPECT_NEAR(0.0, angle_difference(expected[0], r[0]), 1e-5);
        EXPECT_NEAR(-HALF_PI, r[1], 1e-5);
    }
}

TEST(SmdRotation, MeansFileAxisRotationsOfTheHostMatrix) {
    // Rz(rz) Ry(ry) Rx(rx) equals the host matrix transposed to column-vector
    // form with Y and Z exchanged, at every pitch including the poles.
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> full(-PI, PI), half(-HALF_PI, HALF_PI);
    for (int n = 0; n < SAMPLES; ++n) {
        const double hpb[3] = {full(rng), half(rng), full(rng)};
        double r[3];
        hpb_to_smd_rotation(hpb, r);
        const D3 file = multiply(axis_rotation(2, r[2]), multiply(axis_rotation(1, r[1]), axis_rotation(0, r[0])));
        const D3 host = exchange_y_z(transpose(reference_hpb(hpb[0], hpb[1], hpb[2])));
        ASSERT_LT(max_difference(host, file), 2e-6) << hpb[0] << " " << hpb[1] << " " << hpb[2];
    }
}

TEST(SmdRotation, ResultsAreFloatValues) {
    std::mt19937 rng(31);
    std::uniform_real_distribution<double> any(-PI, PI);
    for (int n = 0; n < SAMPLES; ++n) {
        const double in[3] = {any(rng), any(rng), any(rng)};
        double r[3], hpb[3], angles[3];
        hpb_to_smd_rotation(in, r);
        smd_rotation_to_hpb(in, hpb);
        matrix_to_hpb(to_mat4(reference_hpb(in[0], in[1], in[2])), angles);
        for (int a = 0; a < 3; ++a) {
            ASSERT_TRUE(is_float_value(r[a])) << r[a];
            ASSERT_TRUE(is_float_value(hpb[a])) << hpb[a];
            ASSERT_TRUE(is_float_value(angles[a])) << angles[a];
        }
    }
}

TEST(SmdRotation, RoundTripsInPrincipalRanges) {
    std::mt19937 rng(2024);
    std::uniform_real_distribution<double> full(-PI, PI), half(-HALF_PI, HALF_PI);
    int compared = 0;
    for (int n = 0; n < SAMPLES; ++n) {
        {  // host -> file -> host
            const double hpb[3] = {full(rng), half(rng), full(rng)};
            // Stay clear of the host pole (cos p) and the file pole (cos ry).
            const double cos_ry = std::sqrt(1.0 - std::pow(std::cos(hpb[1]) * std::sin(hpb[2]), 2));
            if (std::cos(hpb[1]) > 0.05 && cos_ry > 0.05) {
                double r[3], back[3];
                hpb_to_smd_rotation(hpb, r);
                smd_rotation_to_hpb(r, back);
                for (int a = 0; a < 3; ++a)
                    ASSERT_NEAR(0.0, angle_difference(hpb[a], back[a]), 2e-5)
                        << "component " << a << " of " << hpb[0] << " " << hpb[1] << " " << hpb[2];
                ++compared;
            }
        }
        {  // file -> host -> file
            const double r[3] = {full(rng), half(rng), full(rng)};
            const D3 file = multiply(axis_rotation(2, r[2]), multiply(axis_rotation(1, r[1]), axis_rotation(0, r[0])));
            const double r21 = exchange_y_z(file).m[1][2];  // host m[2][1] = -sin p
            if (std::cos(r[1]) > 0.05 && std::sqrt(1.0 - r21 * r21) > 0.05) {
                double hpb[3], back[3];
                smd_rotation_to_hpb(r, hpb);
                hpb_to_smd_rotation(hpb, back);
                for (int a = 0; a < 3; ++a)
                    ASSERT_NEAR(0.0, angle_difference(r[a], back[a]), 2e-5)
                        << "component " << a << " of " << r[0] << " " << r[1] << " " << r[2];
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, SAMPLES * 3 / 2);
}

// ---- Heading/pitch/bank matrix ------------------------------------------------

TEST(HpbMatrix, RowsAndEulerEquivalent) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> any(-4.0, 4.0);
    for (int n = 0; n < SAMPLES; ++n) {
        const double hpb[3] = {any(rng), any(rng), any(rng)};
        Mat4 m;
        mat4_set(m, 9, 9, 9, 5, 9, 9, 9, 6, 9, 9, 9, 7, 1, 2, 3, 4);
        hpb_to_matrix(hpb, m);
        ASSERT_LT(max_difference(reference_hpb(hpb[0], hpb[1], hpb[2]), m), 1e-6);
        // Row 3 and column 3 are not the rotation's business.
        ASSERT_EQ(5.0f, m.m[0][3]);
        ASSERT_EQ(6.0f, m.m[1][3]);
        ASSERT_EQ(7.0f, m.m[2][3]);
        ASSERT_EQ(1.0f, m.m[3][0]);
        ASSERT_EQ(4.0f, m.m[3][3]);

        // Code 17 reads (h, p, b) as Y, new X, new Z: the same rotation for
        // column vectors, i.e. the transpose.
        const EulerAngles e{static_cast<float>(hpb[0]), static_cast<float>(hpb[1]),
                            static_cast<float>(hpb[2]), static_cast<float>(EULER_YXZ_ROTATING)};
        const Mat4 euler = euler_to_matrix(e);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) ASSERT_NEAR(m.m[i][j], euler.m[j][i], 1e-6);
    }
}

// The matrix is defined as bank x pitch x heading through mat3_multiply;
// whatever shortcut builds it must give the same bits, signed zeros and
// float underflow included.
TEST(HpbMatrix, SameBitsAsTheDefiningProducts) {
    auto defined = [](const double hpb[3]) {
        const float sh = static_cast<float>(std::sin(hpb[0])), ch = static_cast<float>(std::cos(hpb[0]));
        const float sp = static_cast<float>(std::sin(hpb[1])), cp = static_cast<float>(std::cos(hpb[1]));
        const float sb = static_cast<float>(std::sin(hpb[2])), cb = static_cast<float>(std::cos(hpb[2]));
        Mat3 bank, pitch, heading, r;
        mat3_set(bank, cb, sb, 0.0f, -sb, cb, 0.0f, 0.0f, 0.0f, 1.0f);
        mat3_set(pitch, 1.0f, 0.0f, 0.0f, 0.0f, cp, sp, 0.0f, -sp, cp);
        mat3_set(heading, ch, 0.0f, -sh, 0.0f, 1.0f, 0.0f, sh, 0.0f, ch);
        mat3_multiply(bank, pitch, r);
        mat3_multiply(r, heading, r);
        return r;
    };
    auto check = [&](const double hpb[3]) {
        Mat4 m;
        mat4_identity(m);
        hpb_to_matrix(hpb, m);
        const Mat3 want = defined(hpb);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                const bool both_nan = std::isnan(want.m[i][j]) && std::isnan(m.m[i][j]);
                ASSERT_TRUE(both_nan || std::memcmp(&want.m[i][j], &m.m[i][j], sizeof(float)) == 0)
                    << "entry " << i << j << " of " << hpb[0] << " " << hpb[1] << " " << hpb[2] << ": "
                    << want.m[i][j] << " vs " << m.m[i][j];
            }
    };
    const double special[] = {0.0, -0.0, 1e-30, -1e-30, 1e-300, HALF_PI, -HALF_PI, PI, -PI, 2 * PI, 1e10,
                              std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()};
    for (double h : special)
        for (double p : special)
            for (double b : special) {
                const double hpb[3] = {h, p, b};
                check(hpb);
            }
    std::mt19937 rng(23);
    std::uniform_real_distribution<double> any(-7.0, 7.0);
    for (int n = 0; n < 20 * SAMPLES; ++n) {
        const double hpb[3] = {any(rng), any(rng), any(rng)};
        check(hpb);
    }
}

TEST(HpbMatrix, AnglesOfMatrix) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> full(-PI, PI), half(-1.5, 1.5);
    for (int n = 0; n < SAMPLES; ++n) {
        const double hpb[3] = {full(rng), half(rng), full(rng)};
        double out[3];
        matrix_to_hpb(to_mat4(reference_hpb(hpb[0], hpb[1], hpb[2])), out);
        for (int a = 0; a < 3; ++a)
            ASSERT_NEAR(0.0, angle_difference(hpb[a], out[a]), 2e-5)
                << "component " << a << " of " << hpb[0] << " " << hpb[1] << " " << hpb[2];
    }

    // m[2][1] = -sin p rounded just past -1 or +1: pitch is exactly the
    // float nearest +-90 degrees, heading and bank stay numbers.
    const float pole_pitch = static_cast<float>(std::asin(1.0));
    for (float r21 : {std::nextafter(-1.0f, -2.0f), -1.0f, 1.0f, std::nextafter(1.0f, 2.0f)}) {
        SCOPED_TRACE(r21);
        Mat4 m = to_mat4(reference_hpb(0.4, r21 < 0 ? HALF_PI : -HALF_PI, -0.7));
        m.m[2][1] = r21;
        double out[3];
        matrix_to_hpb(m, out);
        EXPECT_EQ(static_cast<double>(r21 < 0 ? pole_pitch : -pole_pitch), out[1]);
        EXPECT_TRUE(std::isfinite(out[0]));
        EXPECT_TRUE(std::isfinite(out[2]));
    }
}

// ---- General Euler angles ----------------------------------------------------------

TEST(EulerAngles, MatrixOfEveryOrder) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> any(-PI, PI);
    for (int order = 0; order < 24; ++order) {
        SCOPED_TRACE(order);
        for (int n = 0; n < 100; ++n) {
            const EulerAngles e{static_cast<float>(any(rng)), static_cast<float>(any(rng)),
                                static_cast<float>(any(rng)), static_cast<float>(order)};
            const Mat4 m = euler_to_matrix(e);
            ASSERT_LT(max_difference(reference_euler(order, e.x, e.y, e.z), m), 1e-6);
            for (int t = 0; t < 3; ++t) {
                ASSERT_EQ(0.0f, m.m[3][t]);
                ASSERT_EQ(0.0f, m.m[t][3]);
            }
            ASSERT_EQ(1.0f, m.m[3][3]);
        }
    }

    // The order is the float w truncated.
    const EulerAngles truncated{0.3f, -0.2f, 1.1f, 17.9f};
    EXPECT_LT(max_difference(reference_euler(17, 0.3f, -0.2f, 1.1f), euler_to_matrix(truncated)), 1e-6);
}

TEST(EulerAngles, RoundTripEveryOrder) {
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> full(-PI, PI), half(-HALF_PI, HALF_PI), upper(0.0, PI);
    for (int order = 0; order < 24; ++order) {
        SCOPED_TRACE(order);
        const bool repeated = (order >> 1) & 1, odd = (order >> 2) & 1;
        int compared = 0;
        for (int n = 0; n < 150; ++n) {
            // Repeated orders keep the middle angle in [0, pi] (negated for
            // odd parity), the others in [-pi/2, pi/2]; all stay clear of
            // their poles.
            double y = repeated ? upper(rng) : half(rng);
            if ((repeated ? std::sin(y) : std::cos(y)) < 0.05) continue;
            if (repeated && odd) y = -y;
            const EulerAngles e{static_cast<float>(full(rng)), static_cast<float>(y),
                                static_cast<float>(full(rng)), static_cast<float>(order)};
            const EulerAngles back = matrix_to_euler(euler_to_matrix(e), order);
            ASSERT_EQ(static_cast<float>(order), back.w);
            ASSERT_NEAR(0.0, angle_difference(e.x, back.x), 2e-5) << e.x << " " << e.y << " " << e.z;
            ASSERT_NEAR(0.0, angle_difference(e.y, back.y), 2e-5) << e.x << " " << e.y << " " << e.z;
            ASSERT_NEAR(0.0, angle_difference(e.z, back.z), 2e-5) << e.x << " " << e.y << " " << e.z;
            ++compared;
        }
        EXPECT_GT(compared, 100);
    }
}

TEST(EulerAngles, GimbalBranch) {
    const float limit = std::ldexp(1.0f, -19);
    const float pi_2 = static_cast<float>(HALF_PI);
    {  // No repetition (order 0: X, Y, Z): cy = sqrt(m00^2 + m10^2).
        Mat4 m;
        mat4_set(m, 0, 0, 0, 0, limit, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 1);
        EulerAngles e = matrix_to_euler(m, 0);
        EXPECT_EQ(0.0f, e.z);   // on the pole: z is dropped
        EXPECT_EQ(-pi_2, e.x);  // atan2(-m12, m11)
        m.m[1][0] = 2.0f * limit;
        e = matrix_to_euler(m, 0);
        EXPECT_EQ(pi_2, e.z);  // atan2(m10, m00)
        EXPECT_EQ(0.0f, e.x);  // atan2(m21, m22)
    }
    {  // Repetition (order 2: X, Y, X): sy = sqrt(m01^2 + m02^2).
        Mat4 m;
        mat4_set(m, 1, limit, 0, 0, 1, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1);
        EulerAngles e = matrix_to_euler(m, 2);
        EXPECT_EQ(0.0f, e.z);
        EXPECT_EQ(pi_2, e.x);  // atan2(-m12, m11)
        m.m[0][1] = 2.0f * limit;
        e = matrix_to_euler(m, 2);
        EXPECT_EQ(pi_2, e.x);  // atan2(m01, m02)
        EXPECT_EQ(pi_2, e.z);  // atan2(m10, -m20)
        EXPECT_NEAR(0.0, e.y, 1e-5);
    }
    {  // A real rotation on the pole: Rz(z) Ry(90) Rx(x) = Ry(90) Rx(x - z).
        const EulerAngles pole{0.7f, pi_2, -0.4f, 0.0f};
        const EulerAngles e = matrix_to_euler(euler_to_matrix(pole), 0);
        EXPECT_EQ(0.0f, e.z);
        EXPECT_NEAR(1.1, e.x, 1e-5);
        EXPECT_NEAR(HALF_PI, e.y, 1e-5);
        EXPECT_LT(max_difference(reference_euler(0, 0.7, HALF_PI, -0.4), euler_to_matrix(e)), 1e-5);
    }
    {  // Repeated axis with no middle turn: Rx(z) Rx(x) = Rx(x + z).
        const EulerAngles flat{0.5f, 0.0f, 0.8f, 2.0f};
        const EulerAngles e = matrix_to_euler(euler_to_matrix(flat), 2);
        EXPECT_EQ(0.0f, e.z);
        EXPECT_EQ(0.0f, e.y);
        EXPECT_NEAR(1.3, e.x, 1e-6);
    }
}

// ---- Products ------------------------------------------------------------------------

// The product as defined: every 4x4 sum from +0 in extended precision,
// rounded once. Any shortcut the library takes must give the same bits.
TEST(MatrixProduct, SameBitsAsTheFullSums) {
    auto full = [](const Mat4& a, const Mat4& b) {
        Mat4 c;
        for (int r = 0; r < 4; ++r)
            for (int col = 0; col < 4; ++col) {
                long double sum = 0.0L;
                for (int t = 0; t < 4; ++t) sum += static_cast<long double>(a.m[r][t]) * b.m[t][col];
                c.m[r][col] = static_cast<float>(sum);
            }
        return c;
    };
    auto same_bits = [](const Mat4& x, const Mat4& y) {
        for (int r = 0; r < 4; ++r)
            for (int col = 0; col < 4; ++col) {
                const float u = x.m[r][col], v = y.m[r][col];
                if (!(std::isnan(u) && std::isnan(v)) && std::memcmp(&u, &v, sizeof u) != 0) return false;
            }
        return true;
    };
    std::mt19937 rng(31);
    std::uniform_real_distribution<float> value(-2.0f, 2.0f);
    std::uniform_int_distribution<int> pick(0, 9);
    const float inf = std::numeric_limits<float>::infinity();
    auto random_matrix = [&] {
        Mat4 m;
        for (int r = 0; r < 3; ++r)
            for (int col = 0; col < 3; ++col) {
                const int p = pick(rng);
                m.m[r][col] = p == 0 ? 0.0f : p == 1 ? -0.0f : p == 2 ? 1e-30f : value(rng);
            }
        // Mostly a pure rotation's border, with signed zeros; sometimes not.
        for (int i = 0; i < 3; ++i) {
            m.m[i][3] = pick(rng) < 5 ? 0.0f : -0.0f;
            m.m[3][i] = pick(rng) < 5 ? 0.0f : -0.0f;
        }
        m.m[3][3] = 1.0f;
        switch (pick(rng)) {
        case 0: m.m[pick(rng) % 3][3] = value(rng); break;
        case 1: m.m[3][3] = 2.0f; break;
        case 2: m.m[pick(rng) % 3][pick(rng) % 3] = pick(rng) < 5 ? inf : std::nanf(""); break;
        default: break;
        }
        return m;
    };
    for (int n = 0; n < 20 * SAMPLES; ++n) {
        const Mat4 a = random_matrix(), b = random_matrix();
        Mat4 c;
        mat4_multiply(a, b, c);
        ASSERT_TRUE(same_bits(full(a, b), c)) << "sample " << n;
    }
}

TEST(MatrixProduct, KnownProductsAndAliasing) {
    Mat4 a, b, c;
    mat4_set(a, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    mat4_set(b, 2, 0, 1, 0, 0, 1, 0, 3, 1, 0, 0, 1, 0, 2, 1, 0);
    const float ab[4][4] = {{5, 10, 5, 9}, {17, 22, 13, 25}, {29, 34, 21, 41}, {41, 46, 29, 57}};
    const float ba[4][4] = {{11, 14, 17, 20}, {44, 48, 52, 56}, {14, 16, 18, 20}, {19, 22, 25, 28}};
    auto expect_equal = [](const float expected[4][4], const Mat4& m) {
        for (int r = 0; r < 4; ++r)
            for (int col = 0; col < 4; ++col) EXPECT_EQ(expected[r][col], m.m[r][col]) << r << "," << col;
    };

    mat4_multiply(a, b, c);
    expect_equal(ab, c);
    mat4_multiply(b, a, c);
    expect_equal(ba, c);
    {  // Result into the left operand.
        Mat4 left = a;
        mat4_multiply(left, b, left);
        expect_equal(ab, left);
    }
    {  // Result into the right operand.
        Mat4 right = b;
        mat4_multiply(a, right, right);
        expect_equal(ab, right);
    }
    {  // Squaring in place: B x B.
        const float bb[4][4] = {{5, 0, 2, 1}, {0, 7, 3, 3}, {2, 2, 2, 0}, {1, 2, 0, 7}};
        Mat4 square = b;
        mat4_multiply(square, square, square);
        expect_equal(bb, square);
    }
    {  // The identity on either side.
        Mat4 identity;
        mat4_identity(identity);
        mat4_multiply(identity, a, c);
        expect_equal(a.m, c);
        mat4_multiply(a, identity, c);
        expect_equal(a.m, c);
    }
    {  // Row vectors: translating then scaling moves the translation too.
        Mat4 translate, scale;
        mat4_set(translate, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1);
        mat4_set(scale, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1);
        mat4_multiply(translate, scale, c);
        EXPECT_EQ(2.0f, c.m[3][0]);
        EXPECT_EQ(4.0f, c.m[3][1]);
        EXPECT_EQ(6.0f, c.m[3][2]);
    }
    {  // Sums are formed wide and rounded once: 1 + 2^25 - 2^25 is 1, where a
       // float running sum would lose the 1.
        const float big = std::ldexp(1.0f, 25);
        Mat4 wide, ones;
        mat4_set(wide, 1, big, -big, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
        mat4_set(ones, 1, 0, 0, 0, 1, 1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 1);
        mat4_multiply(wide, ones, c);
        EXPECT_EQ(1.0f, c.m[0][0]);

        Mat3 wide3, ones3, c3;
        mat3_set(wide3, 1, big, -big, 0, 1, 0, 0, 0, 1);
        mat3_set(ones3, 1, 0, 0, 1, 1, 0, 1, 0, 1);
        mat3_multiply(wide3, ones3, c3);
        EXPECT_EQ(1.0f, c3.m[0][0]);
    }
    {  // 3x3: known product, then into each operand.
        Mat3 p, q, r;
        mat3_set(p, 1, 2, 0, 0, 1, 3, 4, 0, 1);
        mat3_set(q, 2, 1, 0, 0, 1, 1, 1, 0, 2);
        const float pq[3][3] = {{2, 3, 2}, {3, 1, 7}, {9, 4, 2}};
        mat3_multiply(p, q, r);
        Mat3 left = p, right = q;
        mat3_multiply(left, q, left);
        mat3_multiply(p, right, right);
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                EXPECT_EQ(pq[i][j], r.m[i][j]);
                EXPECT_EQ(pq[i][j], left.m[i][j]);
                EXPECT_EQ(pq[i][j], right.m[i][j]);
            }
        }
    }
}

// ---- Determinants and inverse --------------------------------------------------------

TEST(MatrixInverse, DeterminantsAndInverse) {
    EXPECT_EQ(-2.0f, mat2_det(1, 2, 3, 4));
    EXPECT_EQ(-85.0f, mat3_det(2, -1, 3, 0, 4, 1, 5, 2, -2));

    Mat4 u;
    mat4_set(u, 1, 2, 0, 1, 0, 1, 3, 0, 0, 0, 1, 2, 1, 0, 0, 1);
    EXPECT_EQ(-12.0f, mat4_det(u));
    {  // Known inverse (exact fractions).
        const double expected[4][4] = {{-1.0 / 12, 1.0 / 6, -0.5, 13.0 / 12},
                                       {0.5, 0, 0, -0.5},
                                       {-1.0 / 6, 1.0 / 3, 0, 1.0 / 6},
                                       {1.0 / 12, -1.0 / 6, 0.5, -1.0 / 12}};
        Mat4 inverse;
        ASSERT_EQ(ROTATION_OK, mat4_invert(u, inverse));
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) EXPECT_NEAR(expected[r][c], inverse.m[r][c], 1e-6) << r << "," << c;
        // Adjugate = det x inverse.
        Mat4 adjugate;
        mat4_adjugate(u, adjugate);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) EXPECT_NEAR(-12.0 * expected[r][c], adjugate.m[r][c], 1e-5);
        // In place.
        Mat4 same = u;
        ASSERT_EQ(ROTATION_OK, mat4_invert(same, same));
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) EXPECT_EQ(inverse.m[r][c], same.m[r][c]);
    }
    {  // Rigid motion in row-vector form: the inverse is [R^T 0; -t R^T 1].
        const double angle = 0.5;
        const float cs = static_cast<float>(std::cos(angle)), sn = static_cast<float>(std::sin(angle));
        Mat4 rigid, inverse;
        mat4_set(rigid, cs, sn, 0, 0, -sn, cs, 0, 0, 0, 0, 1, 0, 3, -2, 5, 1);
        ASSERT_EQ(ROTATION_OK, mat4_invert(rigid, inverse));
        const double tx = 3, ty = -2, tz = 5, c = std::cos(angle), s = std::sin(angle);
        const double expected[4][4] = {{c, -s, 0, 0}, {s, c, 0, 0}, {0, 0, 1, 0},
                                       {-(tx * c + ty * s), -(-tx * s + ty * c), -tz, 1}};
        for (int r = 0; r < 4; ++r)
            for (int col = 0; col < 4; ++col) EXPECT_NEAR(expected[r][col], inverse.m[r][col], 1e-5);
    }
    {  // Determinant below 1e-6 leaves the output alone; above it inverts.
        Mat4 singular, out;
        mat4_set(singular, 1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 1, 1, 0, 0, 1);
        mat4_identity(out);
        out.m[3][0] = 42.0f;
        const Mat4 before = out;
        EXPECT_EQ(ROTATION_SINGULAR, mat4_invert(singular, out));
        Mat4 tiny;
        mat4_set(tiny, 0.1f, 0, 0, 0, 0, 0.1f, 0, 0, 0, 0, 0.1f, 0, 0, 0, 0, 1e-4f);  // det 1e-7
        EXPECT_EQ(ROTATION_SINGULAR, mat4_invert(tiny, out));
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) EXPECT_EQ(before.m[r][c], out.m[r][c]);

        tiny.m[3][3] = 1e-2f;  // det 1e-5
        EXPECT_EQ(ROTATION_OK, mat4_invert(tiny, out));
        EXPECT_NEAR(10.0, out.m[0][0], 1e-4);
        EXPECT_NEAR(100.0, out.m[3][3], 1e-3);
        EXPECT_EQ(0.0f, out.m[3][0]);
    }
}

// ---- Vectors ----------------------------------------------------------------------------

TEST(Vec3, DotCrossNormalize) {
    const float a[3] = {1, 2, 3}, b[3] = {4, 5, 6};
    EXPECT_EQ(32.0f, vec3_dot(a, b));

    float c[3];
    vec3_cross(a, b, c);
    EXPECT_EQ(-3.0f, c[0]);
    EXPECT_EQ(6.0f, c[1]);
    EXPECT_EQ(-3.0f, c[2]);
    {  // Right-handed basis: x cross y = z, y cross z = x.
        const float x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, z[3] = {0, 0, 1};
        vec3_cross(x, y, c);
        EXPECT_EQ(1.0f, c[2]);
        EXPECT_EQ(0.0f, c[0]);
        vec3_cross(y, z, c);
        EXPECT_EQ(1.0f, c[0]);
        EXPECT_EQ(0.0f, c[1]);
    }
    {  // Result into an operand.
        float left[3] = {1, 2, 3};
        vec3_cross(left, b, left);
        EXPECT_EQ(-3.0f, left[0]);
        EXPECT_EQ(6.0f, left[1]);
        EXPECT_EQ(-3.0f, left[2]);
        float right[3] = {4, 5, 6};
        vec3_cross(a, right, right);
        EXPECT_EQ(-3.0f, right[0]);
        EXPECT_EQ(6.0f, right[1]);
        EXPECT_EQ(-3.0f, right[2]);
    }

    float v[3] = {3, 4, 0};
    vec3_normalize(v);
    EXPECT_FLOAT_EQ(0.6f, v[0]);
    EXPECT_FLOAT_EQ(0.8f, v[1]);
    EXPECT_EQ(0.0f, v[2]);
    float down[3] = {0, 0, -2};
    vec3_normalize(down);
    EXPECT_EQ(-1.0f, down[2]);
    float zero[3] = {0, 0, 0};
    vec3_normalize(zero);
    EXPECT_EQ(0.0f, zero[0]);
    EXPECT_EQ(0.0f, zero[1]);
    EXPECT_EQ(0.0f, zero[2]);
    EXPECT_FALSE(std::isnan(zero[0]));
}
