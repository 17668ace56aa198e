// Envelope evaluation and item transforms. Expected values are worked out by
// hand from the envelope rules (tangent formulas, Hermite basis at s = 0.5:
// h1 = h2 = 0.5, h3 = 0.125, h4 = -0.125) or, for transforms, from 4x4
// matrices built here from axis rotations, independently of motion.cpp.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "lwrender.h"
#include "motion.h"
#include "scene.h"
#include "scene_builder.h"

namespace lwhost {
namespace {

constexpr double kPi = 3.14159265358979323846;

Key key(double time, double value, SpanType shape = SpanType::TCB) {
    Key k;
    k.time = time;
    k.value = value;
    k.shape = shape;
    return k;
}

Envelope envelope(std::initializer_list<Key> keys, Behavior pre = Behavior::Constant,
                  Behavior post = Behavior::Constant) {
    Envelope env;
    env.keys = keys;
    env.pre = pre;
    env.post = post;
    return env;
}

TEST(EnvelopeTest, NoKeysAndOneKey) {
    Envelope empty;
    EXPECT_EQ(empty.evaluate(3.0, 7.5), 7.5);
    EXPECT_EQ(empty.evaluate(-1.0, 1.0), 1.0);

    // One key holds at all times, whatever the behaviours say.
    Envelope one = envelope({key(2.0, 4.0)}, Behavior::Reset, Behavior::OffsetRepeat);
    EXPECT_EQ(one.evaluate(-10.0, 0.0), 4.0);
    EXPECT_EQ(one.evaluate(2.0, 0.0), 4.0);
    EXPECT_EQ(one.evaluate(50.0, 0.0), 4.0);
}

TEST(EnvelopeTest, LinearAndSteppedSpans) {
    Envelope linear = envelope({key(0.0, 0.0, SpanType::Linear), key(2.0, 10.0, SpanType::Linear)});
    EXPECT_DOUBLE_EQ(linear.evaluate(0.5, 0.0), 2.5);
    EXPECT_DOUBLE_EQ(linear.evaluate(1.5, 0.0), 7.5);
    EXPECT_EQ(linear.evaluate(2.0, 0.0), 10.0);

    // Stepped holds the earlier key's value up to the later key's time.
    Envelope stepped = envelope({key(0.0, 5.0), key(1.0, 7.0, SpanType::Stepped), key(2.0, 1.0, SpanType::Linear)});
    EXPECT_EQ(stepped.evaluate(0.0, 0.0), 5.0);
    EXPECT_EQ(stepped.evaluate(0.99, 0.0), 5.0);
    EXPECT_EQ(stepped.evaluate(1.0, 0.0), 7.0);
    EXPECT_DOUBLE_EQ(stepped.evaluate(1.5, 0.0), 4.0);  // linear from 7 to 1

    // The later key's type picks the curve: a linear key after a TCB key.
    Envelope mixed = envelope({key(0.0, 1.0, SpanType::TCB), key(4.0, 3.0, SpanType::Linear)});
    EXPECT_DOUBLE_EQ(mixed.evaluate(1.0, 0.0), 1.5);
}

TEST(EnvelopeTest, TcbWithUnevenSpacing) {
    // Keys (0, 0), (1, 2), (3, 1), all TCB with zero tension, continuity, bias.
    Envelope env = envelope({key(0.0, 0.0), key(1.0, 2.0), key(3.0, 1.0)});
    // Interval 0-1: out at key 0 (no previous) = 2; in at key 1 with next
    // = 1/3 * (2 + (1 - 2)) = 1/3. At s = 0.5: 1 + 0.125*2 - 0.125/3.
    EXPECT_NEAR(env.evaluate(0.5, 0.0), 1.0 + 0.25 - 0.125 / 3.0, 1e-12);
    // Interval 1-3: out at key 1 = 2/3 * (2 + (1 - 2)) = 2/3; in at key 2
    // (no next) = -1. At s = 0.5: 1.5 + 0.125*2/3 + 0.125.
    EXPECT_NEAR(env.evaluate(2.0, 0.0), 1.5 + 0.125 * 2.0 / 3.0 + 0.125, 1e-12);
    EXPECT_EQ(env.evaluate(1.0, 0.0), 2.0);

    // Tension 0.5 on the middle key halves both of its tangents:
    // in at key 1 = 1/6, out at key 1 = 1/3.
    env.edit_params(1).tension() = 0.5;
    EXPECT_NEAR(env.evaluate(0.5, 0.0), 1.0 + 0.25 - 0.125 / 6.0, 1e-12);
    EXPECT_NEAR(env.evaluate(2.0, 0.0), 1.5 + 0.125 / 3.0 + 0.125, 1e-12);

    // Continuity and bias: key 1 with c = 0.5, b = -0.5.
    // out: alpha = 1.5*0.5 = 0.75, beta = 0.5*1.5 = 0.75 -> 2/3*(0.75*2 + 0.75*(-1)) = 0.5.
    // in:  gamma = 0.5*0.5 = 0.25, delta = 1.5*1.5 = 2.25 -> 1/3*(0.25*2 + 2.25*(-1)) = -7/12.
    env.edit_params(1).tension() = 0.0;
    env.edit_params(1).continuity() = 0.5;
    env.edit_params(1).bias() = -0.5;
    EXPECT_NEAR(env.evaluate(0.5, 0.0), 1.0 + 0.25 + 0.125 * 7.0 / 12.0, 1e-12);
    EXPECT_NEAR(env.evaluate(2.0, 0.0), 1.5 + 0.125 * 0.5 + 0.125, 1e-12);
}

// Keys stay in time order however they arrive; a key at an existing time
// replaces that key's value and keeps its shape.
TEST(EnvelopeTest, SetKeyKeepsTimeOrder) {
    Envelope env;
    env.set_key(1.0, 10.0);
    env.set_key(2.0, 20.0, SpanType::Linear);  // appended
    env.set_key(0.5, 5.0);                     // before the first
    env.set_key(1.5, 15.0);                    // between
    env.set_key(2.0, 21.0, SpanType::Stepped); // same time as the last: replaced
    env.set_key(1.0, 11.0);                    // same time inside: replaced
    ASSERT_EQ(4u, env.keys.size());
    const double times[] = {0.5, 1.0, 1.5, 2.0}, values[] = {5.0, 11.0, 15.0, 21.0};
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(times[k], env.keys[k].time);
        EXPECT_EQ(values[k], env.keys[k].value);
    }
    EXPECT_EQ(SpanType::Linear, env.keys[3].shape);
}

// A key's parameters are a row of its envelope that moves with the key;
// keys without a row have all parameters 0.
TEST(EnvelopeTest, ParametersStayWithTheirKey) {
    Envelope env;
    env.set_key(1.0, 10.0, SpanType::Hermite);
    env.set_key(2.0, 20.0, SpanType::Hermite);
    env.edit_params(1).param[0] = 5.0;
    env.set_key(0.5, 1.0);                      // inserted before both
    env.set_key(2.0, 21.0, SpanType::Stepped);  // the value replaced
    ASSERT_EQ(env.keys.size(), 3u);
    EXPECT_EQ(env.params(env.keys[2]).param[0], 5.0);
    EXPECT_EQ(env.keys[2].shape, SpanType::Hermite);
    EXPECT_EQ(env.params(env.keys[1]).param[0], 0.0);
    EXPECT_EQ(&env.edit_params(2), &env.params(env.keys[2])) << "a key keeps its one row";
    EXPECT_EQ(env.param_rows.size(), 1u);

    Key stray = env.keys[2];
    stray.param_row = 7;
    EXPECT_EQ(env.params(stray).param[0], 0.0) << "a row the envelope does not have reads as zeros";
    env.keys[0].param_row = 9;
    env.edit_params(0).tension() = 0.25;
    EXPECT_EQ(env.params(env.keys[0]).tension(), 0.25) << "and gets a row of its own when edited";
    EXPECT_EQ(env.params(env.keys[2]).param[0], 5.0);
    EXPECT_THROW(env.edit_params(3), std::out_of_range);
}

// An array that must grow for an appended key grows by no more than the
// keys announced after it, and never by more than doubling.
TEST(EnvelopeTest, KeyArraysGrowForTheKeysAnnounced) {
    Envelope exact;  // every frame of 0..1000, each time told how many follow
    for (int k = 0; k <= 1000; ++k) exact.set_key(k / 24.0, 0.5 * k, SpanType::TCB, std::size_t(1000 - k));
    ASSERT_EQ(exact.keys.size(), 1001u);
    EXPECT_EQ(exact.keys.capacity(), 1001u) << "no room left over";
    for (int k : {0, 1, 511, 512, 513, 1000}) {
        EXPECT_EQ(exact.keys[std::size_t(k)].time, k / 24.0);
        EXPECT_EQ(exact.keys[std::size_t(k)].value, 0.5 * k);
    }

    // Told of far more keys than come, or of none: room for at most as
    // many keys again as the array holds.
    for (std::size_t announced : {std::size_t(1000000), Envelope::kUnknownLaterKeys}) {
        Envelope env;
        for (int k = 0; k < 300; ++k) {
            env.set_key(k, k, SpanType::TCB, announced);
            ASSERT_LE(env.keys.capacity(), 2 * env.keys.size()) << k;
        }
    }
}

// Evaluation remembers the last span as a starting guess; the value must
// not depend on the order of the times asked for, nor break when keys are
// edited or removed behind it.
TEST(EnvelopeTest, ValueDoesNotDependOnEvaluationOrder) {
    Envelope env;
    for (int k = 0; k <= 40; ++k) env.set_key(0.25 * k, std::sin(0.7 * k), k % 5 == 0 ? SpanType::Linear : SpanType::TCB);
    std::vector<double> times;
    for (int n = -8; n <= 90; ++n) times.push_back(0.125 * n);  // before, on and between keys, and after
    Envelope fresh = env;
    std::vector<double> in_order;
    for (double t : times) in_order.push_back(env.evaluate(t, 0.0));
    for (std::size_t i = times.size(); i-- > 0;) {
        fresh.span_hint = 0;
        ASSERT_EQ(in_order[i], env.evaluate(times[i], 0.0)) << "backwards at " << times[i];
        ASSERT_EQ(in_order[i], fresh.evaluate(times[i], 0.0)) << "cold at " << times[i];
    }

    // The hint now points near the end; shrink the keys under it.
    env.evaluate(9.9, 0.0);
    env.keys.resize(3);
    EXPECT_EQ(env.evaluate(0.5, 0.0), env.keys[2].value);  // the last key's time
    EXPECT_EQ(env.evaluate(9.9, 0.0), env.keys[2].value);  // past the end: held
    env.keys.resize(2);
    EXPECT_DOUBLE_EQ(env.evaluate(0.125, 0.0), 0.5 * (env.keys[0].value + env.keys[1].value)) << "two keys meet halfway";
}

TEST(EnvelopeTest, HermiteAndBezierSpans) {
    // Hermite tangents are stored (param[0] in, param[1] out) and scaled by
    // the interval's share of the neighbouring span.
    Envelope hermite = envelope({key(0.0, 0.0, SpanType::Hermite), key(1.0, 1.0, SpanType::Hermite),
                                 key(3.0, 0.0, SpanType::Hermite)});
    hermite.edit_params(0).param[1] = 1.0;
    hermite.edit_params(1).param[0] = 2.0;  // scaled by 1/3 (next key exists)
    EXPECT_NEAR(hermite.evaluate(0.5, 0.0), 0.5 + 0.125 * 1.0 - 0.125 * 2.0 / 3.0, 1e-12);

    // 2D Bezier with handles a third of the interval away in time: the time
    // curve is then linear, so u = s and the value is the cubic Bezier of
    // 0, 0 + 2, 3 + 0, 3 at u = 0.5: 0.375*2 + 0.375*3 + 0.125*3 = 2.25.
    Envelope bezier = envelope({key(0.0, 0.0, SpanType::Bezier2D), key(3.0, 3.0, SpanType::Bezier2D)});
    bezier.edit_params(0).param[2] = 1.0;   // out time offset
    bezier.edit_params(0).param[3] = 2.0;   // out value offset
    bezier.edit_params(1).param[0] = -1.0;  // in time offset
    bezier.edit_params(1).param[1] = 0.0;   // in value offset
    EXPECT_NEAR(bezier.evaluate(1.5, 0.0), 2.25, 1e-9);
    // At u = 0.25 (t = 0.75): 0.421875*2 + 0.140625*3 + 0.015625*3 = 1.3125.
    EXPECT_NEAR(bezier.evaluate(0.75, 0.0), 1.3125, 1e-9);

    // A 2D Bezier key after a Hermite key takes that key's stored outgoing
    // tangent / 3 as the first handle: handle value 0 + 3/3 = 1.
    // At u = 0.5: 0.375*1 + 0.375*3 + 0.125*3 = 1.875.
    Envelope after_hermite = envelope({key(0.0, 0.0, SpanType::Hermite), key(3.0, 3.0, SpanType::Bezier2D)});
    after_hermite.edit_params(0).param[1] = 3.0;
    after_hermite.edit_params(1).param[0] = -1.0;
    EXPECT_NEAR(after_hermite.evaluate(1.5, 0.0), 1.875, 1e-9);
    // After a TCB key the handle is level (value 0) whatever its continuity,
    // which shares the outgoing tangent's place: 0.375*3 + 0.125*3 = 1.5.
    // A linear key has no tangent either.
    for (SpanType before : {SpanType::TCB, SpanType::Linear}) {
        Envelope flat = envelope({key(0.0, 0.0, before), key(3.0, 3.0, SpanType::Bezier2D)});
        flat.edit_params(0).continuity() = 3.0;
        flat.edit_params(1).param[0] = -1.0;
        EXPECT_NEAR(flat.evaluate(1.5, 0.0), 1.5, 1e-9) << int(before);
    }
}

TEST(EnvelopeTest, Behaviors) {
    // Keys (1, 10) and (3, 14), linear: L = 2, rise 4.
    auto make = [](Behavior pre, Behavior post) {
        return envelope({key(1.0, 10.0, SpanType::Linear), key(3.0, 14.0, SpanType::Linear)}, pre, post);
    };
    {
        Envelope env = make(Behavior::Reset, Behavior::Reset);
        EXPECT_EQ(env.evaluate(0.0, 99.0), 0.0);
        EXPECT_EQ(env.evaluate(5.0, 99.0), 0.0);
    }
    {
        Envelope env = make(Behavior::Constant, Behavior::Constant);
        EXPECT_EQ(env.evaluate(0.0, 0.0), 10.0);
        EXPECT_EQ(env.evaluate(4.0, 0.0), 14.0);
    }
    {
        Envelope env = make(Behavior::Repeat, Behavior::Repeat);
        EXPECT_DOUBLE_EQ(env.evaluate(4.5, 0.0), 13.0);   // 4.5 -> 2.5
        EXPECT_DOUBLE_EQ(env.evaluate(5.5, 0.0), 11.0);   // 5.5 -> 1.5
        EXPECT_DOUBLE_EQ(env.evaluate(-0.5, 0.0), 11.0);  // -0.5 -> 1.5
        EXPECT_DOUBLE_EQ(env.evaluate(0.5, 0.0), 13.0);   // 0.5 -> 2.5
    }
    {
        Envelope env = make(Behavior::Oscillate, Behavior::Oscillate);
        EXPECT_DOUBLE_EQ(env.evaluate(4.5, 0.0), 11.0);   // odd cycle: 2.5 mirrored to 1.5
        EXPECT_DOUBLE_EQ(env.evaluate(5.5, 0.0), 11.0);   // even cycle: 1.5
        EXPECT_DOUBLE_EQ(env.evaluate(6.5, 0.0), 13.0);   // even cycle: 2.5
        EXPECT_DOUBLE_EQ(env.evaluate(0.5, 0.0), 11.0);   // cycle -1: 2.5 mirrored to 1.5
    }
    {
        Envelope env = make(Behavior::OffsetRepeat, Behavior::OffsetRepeat);
        EXPECT_DOUBLE_EQ(env.evaluate(4.5, 0.0), 17.0);   // 13 + 1*4
        EXPECT_DOUBLE_EQ(env.evaluate(7.5, 0.0), 23.0);   // 11 + 3*4
        EXPECT_DOUBLE_EQ(env.evaluate(0.5, 0.0), 9.0);    // 13 - 1*4
        EXPECT_DOUBLE_EQ(env.evaluate(-2.5, 0.0), 3.0);   // 11 - 2*4
    }
    {
        // Linear keys: both end slopes are 4 / 2.
        Envelope env = make(Behavior::Linear, Behavior::Linear);
        EXPECT_DOUBLE_EQ(env.evaluate(0.0, 0.0), 8.0);
        EXPECT_DOUBLE_EQ(env.evaluate(4.0, 0.0), 16.0);
    }
    {
        // Linear behaviour on a curve follows the end tangents: keys
        // (0, 0), (1, 2), (3, 1) TCB: out at key 0 = 2 over 1 s; in at the
        // last key = -1 over 2 s.
        Envelope env = envelope({key(0.0, 0.0), key(1.0, 2.0), key(3.0, 1.0)}, Behavior::Linear, Behavior::Linear);
        EXPECT_DOUBLE_EQ(env.evaluate(-1.0, 0.0), -2.0);
        EXPECT_DOUBLE_EQ(env.evaluate(5.0, 0.0), 0.0);
    }
    {
        // Repeat lands a wrapped time on the first key's curve too.
        Envelope env = envelope({key(0.0, 0.0), key(1.0, 2.0), key(3.0, 1.0)}, Behavior::Repeat, Behavior::Repeat);
        EXPECT_NEAR(env.evaluate(3.5, 0.0), env.evaluate(0.5, 0.0), 1e-12);
        EXPECT_NEAR(env.evaluate(3.5, 0.0), 1.0 + 0.25 - 0.125 / 3.0, 1e-12);
    }
}

// --- transforms --------------------------------------------------------------

using M4 = std::array<std::array<double, 4>, 4>;

M4 identity4() {
    M4 m{};
    for (int i = 0; i < 4; ++i) m[i][i] = 1;
    return m;
}

M4 mul(const M4& a, const M4& b) {
    M4 m{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            for (int k = 0; k < 4; ++k) m[r][c] += a[r][k] * b[k][c];
    return m;
}

// Rotation by `angle` about coordinate axis `axis` (0 x, 1 y, 2 z), for
// column vectors, right-hand rule about that axis.
M4 rotate(int axis, double angle) {
    M4 m = identity4();
    int i = (axis + 1) % 3, j = (axis + 2) % 3;
    m[i][i] = std::cos(angle);
    m[i][j] = -std::sin(angle);
    m[j][i] = std::sin(angle);
    m[j][j] = std::cos(angle);
    return m;
}

// Heading about Y, then pitch about X, then bank about Z, applied bank first.
M4 hpb(const Vec3& a) { return mul(mul(rotate(1, a[0]), rotate(0, a[1])), rotate(2, a[2])); }

M4 translate(const Vec3& t) {
    M4 m = identity4();
    for (int i = 0; i < 3; ++i) m[i][3] = t[std::size_t(i)];
    return m;
}

M4 scaling(const Vec3& s) {
    M4 m = identity4();
    for (int i = 0; i < 3; ++i) m[i][i] = s[std::size_t(i)];
    return m;
}

Vec3 neg(const Vec3& v) { return {-v[0], -v[1], -v[2]}; }

// Local -> parent: T(position) . R(pivot rotation) . R(rotation) . S . T(-pivot).
M4 local(const Vec3& position, const Vec3& rotation, const Vec3& scale, const Vec3& pivot, const Vec3& pivot_rot) {
    return mul(mul(mul(mul(translate(position), hpb(pivot_rot)), hpb(rotation)), scaling(scale)), translate(neg(pivot)));
}

Vec3 transform_point(const M4& m, const Vec3& p) {
    Vec3 out{};
    for (int r = 0; r < 3; ++r) out[std::size_t(r)] = m[r][0] * p[0] + m[r][1] * p[1] + m[r][2] * p[2] + m[r][3];
    return out;
}

void expect_vec(const double* got, const Vec3& want, double tolerance = 1e-12) {
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], want[std::size_t(k)], tolerance) << "component " << k;
}

TEST(ItemParamTest, NestedItemsWithPivotsAndRotations) {
    Scene scene;
    SceneBuilder b(scene);
    const Vec3 p_pos{1, 2, 3}, p_rot{0.3, 0.2, 0.1}, p_scale{2, 1, 0.5}, p_pivot{0.5, 0, 0}, p_pivrot{0.4, 0, 0};
    const Vec3 c_pos{0, 1, 0}, c_rot{0.5, -0.3, 0.7}, c_pivot{0, 0, 1}, c_pivrot{0, 0.2, -0.1};
    ItemId parent = b.null_object("parent").position(p_pos).rotation(p_rot).scale(p_scale).pivot(p_pivot).pivot_rotation(p_pivrot);
    ItemId child = b.null_object("child").parent(parent).position(c_pos).rotation(c_rot).pivot(c_pivot).pivot_rotation(c_pivrot);

    M4 world = mul(local(p_pos, p_rot, p_scale, p_pivot, p_pivrot), local(c_pos, c_rot, {1, 1, 1}, c_pivot, c_pivrot));
    double out[3];

    item_param(scene, child, LWIP_W_POSITION, 0.0, out);
    expect_vec(out, transform_point(world, c_pivot));
    item_param(scene, parent, LWIP_W_POSITION, 0.0, out);
    expect_vec(out, p_pos);

    // Axes: columns of the world matrix (scale included).
    for (int axis = 0; axis < 3; ++axis) {
        item_param(scene, child, LWIP_RIGHT + axis, 0.0, out);
        expect_vec(out, {world[0][axis], world[1][axis], world[2][axis]});
    }
    // World axes in item space: the linear part maps each back to the world axis.
    for (int axis = 0; axis < 3; ++axis) {
        item_param(scene, child, LWIP_W_RIGHT + axis, 0.0, out);
        for (int r = 0; r < 3; ++r) {
            double mapped = world[r][0] * out[0] + world[r][1] * out[1] + world[r][2] * out[2];
            EXPECT_NEAR(mapped, r == axis ? 1.0 : 0.0, 1e-12);
        }
    }

    // The Item Info recipe: world = sum (p - pivot)_k * axis_k + W_POSITION.
    const Vec3 p{0.3, -1.2, 2.5};
    double axes[3][3], origin[3];
    for (int axis = 0; axis < 3; ++axis) item_param(scene, child, LWIP_RIGHT + axis, 0.0, axes[axis]);
    item_param(scene, child, LWIP_W_POSITION, 0.0, origin);
    Vec3 want = transform_point(world, p);
    for (int r = 0; r < 3; ++r) {
        double sum = origin[r];
        for (int k = 0; k < 3; ++k) sum += (p[std::size_t(k)] - c_pivot[std::size_t(k)]) * axes[k][r];
        EXPECT_NEAR(sum, want[std::size_t(r)], 1e-12);
    }

    // Plain values.
    item_param(scene, child, LWIP_POSITION, 0.0, out);
    expect_vec(out, c_pos);
    item_param(scene, child, LWIP_ROTATION, 0.0, out);
    expect_vec(out, c_rot);
    item_param(scene, parent, LWIP_SCALING, 0.0, out);
    expect_vec(out, p_scale);
    item_param(scene, child, LWIP_SCALING, 0.0, out);
    expect_vec(out, {1, 1, 1});
    item_param(scene, child, LWIP_PIVOT, 0.0, out);
    expect_vec(out, c_pivot);
    item_param(scene, child, LWIP_PIVOT_ROT, 0.0, out);
    expect_vec(out, c_pivrot);
}

TEST(ItemParamTest, PivotRotationIsOutsideTheKeyedRotation) {
    Scene scene;
    SceneBuilder b(scene);
    ItemId item = b.null_object("door").pivot_rotation({kPi / 2, 0, 0});
    double out[3];
    // Pivot heading 90 alone turns +Z to +X.
    item_param(scene, item, LWIP_FORWARD, 0.0, out);
    expect_vec(out, {1, 0, 0});
    // A pitch of 90 tilts +Z down to -Y; the item's +X is then turned by the
    // pivot heading to -Z. (With the opposite order +X would end at +Y.)
    b.item(item).rotation({0, kPi / 2, 0});
    item_param(scene, item, LWIP_FORWARD, 0.0, out);
    expect_vec(out, {0, -1, 0});
    item_param(scene, item, LWIP_RIGHT, 0.0, out);
    expect_vec(out, {0, 0, -1});
}

TEST(ItemParamTest, ChannelsAtTimeAndBoneRestFallback) {
    Scene scene;
    SceneBuilder b(scene);
    b.fps(10);
    ItemId object = b.null_object("rig");
    ItemId bone = b.bone(object, "arm").rest({1, 2, 3}, {0.1, 0.2, 0.3});
    double out[3];

    // No keys: rest position and rotation, unit scale.
    item_param(scene, bone, LWIP_POSITION, 5.0, out);
    expect_vec(out, {1, 2, 3});
    item_param(scene, bone, LWIP_ROTATION, 5.0, out);
    expect_vec(out, {0.1, 0.2, 0.3});
    item_param(scene, bone, LWIP_SCALING, 5.0, out);
    expect_vec(out, {1, 1, 1});

    // Keys on one channel: that channel follows them, the others keep rest.
    b.key(bone, kPositionY, 0, 0.0, SpanType::Linear).key(bone, kPositionY, 10, 4.0, SpanType::Linear);
    b.key(bone, kBank, 0, 1.0);
    item_param(scene, bone, LWIP_POSITION, 0.5, out);  // frame 5
    expect_vec(out, {1, 2, 3});
    out[0] = 0;
    item_param(scene, bone, LWIP_POSITION, 0.25, out);
    expect_vec(out, {1, 1, 3});
    item_param(scene, bone, LWIP_ROTATION, 0.25, out);
    expect_vec(out, {0.1, 0.2, 1.0});

    // A non-bone without keys sits at the origin.
    item_param(scene, object, LWIP_POSITION, 0.0, out);
    expect_vec(out, {0, 0, 0});

    // The output may be the bone's own rest field (recording rest from pose).
    Item& arm = *scene.item(bone);
    item_param(scene, bone, LWIP_ROTATION, 0.0, arm.bone.rest_rotation);
    expect_vec(arm.bone.rest_rotation, {0.1, 0.2, 1.0});
    scene.item(bone)->motion[kBank].keys.clear();
    item_param(scene, bone, LWIP_ROTATION, 0.0, arm.bone.rest_rotation);
    expect_vec(arm.bone.rest_rotation, {0.1, 0.2, 1.0});
}

TEST(ItemParamTest, RestWorldTransformAndBadInput) {
    Scene scene;
    SceneBuilder b(scene);
    ItemId object = b.null_object("rig").position({0, 0, 5});
    ItemId root = b.bone(object, "root").rest({1, 0, 0}, {kPi / 2, 0, 0});
    ItemId tip = b.bone(object, "tip", root).rest({0, 0, 2}, {0, 0, 0});
    // Keys move the bones away from rest; the rest transform ignores them,
    // and takes the object at time 0 even when it moves later.
    b.key_at_time(root, kPositionX, 0.0, 9.0).key_at_time(object, kPositionZ, 1.0, 50.0);
    double at[3];
    const double base[3] = {0, 0, 0};
    bone_rest_world_transform(scene, tip).apply(base, at);
    expect_vec(at, {3, 0, 5});  // (0,0,5) + (1,0,0) + heading 90 of (0,0,2)

    // Unknown items give zeros or the identity; a parent loop ends.
    double out[3] = {7, 7, 7};
    item_param(scene, 0x10000099u, LWIP_W_POSITION, 0.0, out);
    expect_vec(out, {0, 0, 0});
    item_param(scene, object, 99, 0.0, out);
    expect_vec(out, {0, 0, 0});
    ItemId a = b.null_object("a"), c = b.null_object("c");
    scene.set_parent(a, c);
    scene.item(c)->parent = a;  // set_parent refuses a loop: made by hand
    scene.item(a)->children.push_back(c);
    item_param(scene, a, LWIP_W_POSITION, 0.0, out);  // must return
    EXPECT_FALSE(check_scene(scene).empty());

    // A zero scale has no inverse: the world axes in item space are zero.
    ItemId flat = b.null_object("flat").scale({1, 0, 1});
    item_param(scene, flat, LWIP_W_UP, 0.0, out);
    expect_vec(out, {0, 0, 0});
}

}  // namespace
}  // namespace lwhost
