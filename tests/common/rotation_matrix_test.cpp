// Matrix and vector arithmetic of the rotation library: products,
// determinants and inverse, vectors. Expected values come from the
// written-out sums, hand computations, or the double-precision reference
// (rotation_reference.h), never from the functions under test.
#include "rotation.h"

#include <gtest/gtest.h>

#include "rotation_reference.h"

using namespace rotation_reference;

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
