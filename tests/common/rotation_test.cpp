// Rotation conversions: the SMD rotation triple, the heading/pitch/bank
// matrix and general Euler angles. Expected values come from the
// written-out formulas, hand computations, or the double-precision
// reference (rotation_reference.h), never from the functions under test.
#include "rotation.h"

#include <gtest/gtest.h>

#include "rotation_reference.h"

using namespace rotation_reference;

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
