// rotation: the small matrix and Euler-angle library every plug-in carries to
// move orientations between the host's heading/pitch/bank and the rx, ry, rz
// of SMD bone lines, plus the 4x4 inverse the pose sampler needs and the three
// vector helpers of the normal computation.
//
// Conventions
//
//   Mat3, Mat4   32-bit floats, row-major, element m[row][column]; a Mat4's
//                entry (r, c) is float number 4r + c of the storage.
//   Host side    heading, pitch, bank in radians, rotations about the host's
//                Y, X and Z axes (left-handed, Y up), passed as `double hpb[3]`
//                in that order. The hpb matrices use the row-vector convention:
//                a point is v x M, so A x B applies A first, and a translation
//                sits in row 3.
//   Euler side   the Euler functions read the same storage as column-vector
//                matrices, axes X = 0, Y = 1, Z = 2, W = 3. An order code is
//                8 * first axis + 4 * parity + 2 * repetition + frame
//                (euler_order_code); the 24 codes 0..23 are all orders.
//   SMD side     rx, ry, rz in radians about the file's X, Y, Z axes (Z up),
//                passed as `double rotation[3]`.
//   Precision    sines, cosines, Euler angles and matrix entries are floats,
//                so that the six-decimal angles written to SMD files agree to
//                the last digit; trigonometry runs in double on the float
//                values and is rounded to float when stored.
//
// Interface (all noexcept, nothing allocates, nothing is owned)
//
//   euler_to_matrix(angles)          Mat4 of the Euler angles x, y, z in the
//                                    order int(angles.w); the fourth row and
//                                    column are those of the identity.
//   matrix_to_euler(m, order)        Euler angles of m's rotation in `order`,
//                                    w = order. x and z lie in [-pi, pi]; y
//                                    in [-pi/2, pi/2] without repetition, in
//                                    [0, pi] with repetition and even parity,
//                                    in [-pi, 0] with repetition and odd
//                                    parity. At the gimbal pole (|cos y| or
//                                    |sin y| <= 2^-19) z is 0 and x carries
//                                    the whole turn.
//   hpb_to_matrix(hpb, out_matrix)   writes the host rotation into the upper
//                                    left 3x3 of out_matrix; row 3 and column
//                                    3 are left as they were, so start from
//                                    mat4_identity for a pure rotation.
//   matrix_to_hpb(m, out_hpb)        heading, pitch, bank of m's upper-left
//                                    3x3 (floats widened to double); pitch is
//                                    clamped to +-pi/2 when rounding pushes
//                                    m[2][1] past +-1.
//   hpb_to_smd_rotation(hpb, out_rotation)   host triple -> SMD rx, ry, rz.
//   smd_rotation_to_hpb(rotation, out_hpb)   SMD rx, ry, rz -> host triple.
//                                    The two are inverse inside the principal
//                                    ranges, up to float rounding.
//   mat3_multiply(a, b, out_c)       out_c = a x b; each entry summed in long
//   mat4_multiply(a, b, out_c)       double and rounded once; out_c may be a
//                                    or b.
//   mat4_identity(out_m)             out_m = identity.
//   mat3_set(out_m, 9 values)        all entries, in row order.
//   mat4_set(out_m, 16 values)       all entries, in row order.
//   mat4_scale(m, factor)            every entry of m times factor.
//   mat2_det(a, b, c, d)             a d - b c.
//   mat3_det(m0 .. m8)               determinant of the row-major 3x3 m0..m8.
//   mat4_det(m)                      determinant, first-row expansion.
//   mat4_adjugate(m, out_adjugate)   transposed cofactor matrix; may alias.
//   mat4_invert(m, out_inverse)      ROTATION_OK and out_inverse = m^-1, or
//                                    ROTATION_SINGULAR when |det m| < 1e-6,
//                                    out_inverse then untouched; may alias.
//   vec3_dot(a, b)                   a . b in float.
//   vec3_cross(a, b, out_c)          a x b; out_c may be a or b.
//   vec3_normalize(v)                v / |v| when |v| > 0, else v unchanged.
#pragma once

// Result codes of mat4_invert.
constexpr int ROTATION_OK = 0;
constexpr int ROTATION_SINGULAR = 1;  // |determinant| below 1e-6; output untouched

struct Mat3 {
    float m[3][3];
};

struct Mat4 {
    float m[4][4];
};

// x, y, z in radians; w is the order code, kept as a float because the
// record is four floats, and read back by truncation.
struct EulerAngles {
    float x;
    float y;
    float z;
    float w;
};

// first_axis 0, 1, 2 (X, Y, Z); parity 0 even, 1 odd; repetition 0 no, 1 yes;
// frame 0 static, 1 rotating.
constexpr int euler_order_code(int first_axis, int parity, int repetition, int frame) noexcept {
    return 8 * first_axis + 4 * parity + 2 * repetition + frame;
}

enum EulerOrder : int {
    // Static X, then Z, then Y: the SMD file's rotation order, angles negated.
    EULER_XZY_STATIC = euler_order_code(0, 1, 0, 0),
    // Y, then the new X, then the new Z: the host's heading, pitch, bank.
    EULER_YXZ_ROTATING = euler_order_code(2, 0, 0, 1),
};
static_assert(EULER_XZY_STATIC == 4 && EULER_YXZ_ROTATING == 17);

Mat4 euler_to_matrix(const EulerAngles& angles) noexcept;
EulerAngles matrix_to_euler(const Mat4& m, int order) noexcept;

void hpb_to_matrix(const double hpb[3], Mat4& out_matrix) noexcept;
void matrix_to_hpb(const Mat4& m, double out_hpb[3]) noexcept;

void hpb_to_smd_rotation(const double hpb[3], double out_rotation[3]) noexcept;
void smd_rotation_to_hpb(const double rotation[3], double out_hpb[3]) noexcept;

void mat3_multiply(const Mat3& a, const Mat3& b, Mat3& out_c) noexcept;
void mat4_multiply(const Mat4& a, const Mat4& b, Mat4& out_c) noexcept;

void mat4_identity(Mat4& out_m) noexcept;
void mat3_set(Mat3& out_m,
              float m00, float m01, float m02,
              float m10, float m11, float m12,
              float m20, float m21, float m22) noexcept;
void mat4_set(Mat4& out_m,
              float m00, float m01, float m02, float m03,
              float m10, float m11, float m12, float m13,
              float m20, float m21, float m22, float m23,
              float m30, float m31, float m32, float m33) noexcept;

void mat4_scale(Mat4& m, float factor) noexcept;
float mat2_det(float a, float b, float c, float d) noexcept;
float mat3_det(float m0, float m1, float m2,
               float m3, float m4, float m5,
               float m6, float m7, float m8) noexcept;
float mat4_det(const Mat4& m) noexcept;
void mat4_adjugate(const Mat4& m, Mat4& out_adjugate) noexcept;
int mat4_invert(const Mat4& m, Mat4& out_inverse) noexcept;

float vec3_dot(const float a[3], const float b[3]) noexcept;
void vec3_cross(const float a[3], const float b[3], float out_c[3]) noexcept;
void vec3_normalize(float v[3]) noexcept;
