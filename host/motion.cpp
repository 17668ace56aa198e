#include "motion.h"

#include <algorithm>
#include <cmath>

#include "lwrender.h"

namespace lwhost {

// ---------------------------------------------------------------------------
// Envelopes
//
// The reference evaluator's rules: the later key of an interval picks the
// curve; each key's own type decides its tangents; times outside the keys
// follow the pre/post behaviours.

namespace {

bool uses_tcb_tangents(SpanType shape) { return shape == SpanType::TCB || shape == SpanType::Linear; }
bool uses_stored_tangents(SpanType shape) { return shape == SpanType::Hermite || shape == SpanType::Bezier1D; }

// A 2D Bezier handle turned into a slope per whole interval. Offsets in time
// very close to zero would make it infinite; the reference evaluator then
// scales by 1e5 instead of dividing.
double handle_slope(double value_offset, double time_offset, double span) {
    double slope = value_offset * span;
    return std::fabs(time_offset) > 1e-5 ? slope / time_offset : slope * 1e5;
}

// Tangent leaving key a towards key a + 1.
double outgoing(const Envelope& env, std::size_t a) {
    const std::vector<Key>& keys = env.keys;
    const Key& from = keys[a];
    const Key& to = keys[a + 1];
    double span = to.time - from.time;
    double rise = to.value - from.value;
    if (uses_tcb_tangents(from.shape)) {
        bool tcb = from.shape == SpanType::TCB;
        const KeyParams& p = env.params(from);
        double tension = tcb ? p.tension() : 0.0, continuity = tcb ? p.continuity() : 0.0,
               bias = tcb ? p.bias() : 0.0;
        double alpha = (1 - tension) * (1 + continuity) * (1 + bias);
        double beta = (1 - tension) * (1 - continuity) * (1 - bias);
        if (a == 0) return beta * rise;
        const Key& before = keys[a - 1];
        return span / (to.time - before.time) * (alpha * (from.value - before.value) + beta * rise);
    }
    if (uses_stored_tangents(from.shape)) {
        double tangent = env.params(from).param[1];
        if (a > 0) tangent *= span / (to.time - keys[a - 1].time);
        return tangent;
    }
    if (from.shape == SpanType::Bezier2D) {
        const KeyParams& p = env.params(from);
        return handle_slope(p.param[3], p.param[2], span);
    }
    return 0.0;  // stepped
}

// Tangent arriving at key b from key b - 1.
double incoming(const Envelope& env, std::size_t b) {
    const std::vector<Key>& keys = env.keys;
    const Key& from = keys[b - 1];
    const Key& to = keys[b];
    double span = to.time - from.time;
    double rise = to.value - from.value;
    bool has_next = b + 1 < keys.size();
    if (uses_tcb_tangents(to.shape)) {
        bool tcb = to.shape == SpanType::TCB;
        const KeyParams& p = env.params(to);
        double tension = tcb ? p.tension() : 0.0, continuity = tcb ? p.continuity() : 0.0,
               bias = tcb ? p.bias() : 0.0;
        double gamma = (1 - tension) * (1 - continuity) * (1 + bias);
        double delta = (1 - tension) * (1 + continuity) * (1 - bias);
        if (!has_next) return gamma * rise;
        const Key& after = keys[b + 1];
        return span / (after.time - from.time) * (gamma * rise + delta * (after.value - to.value));
    }
    if (uses_stored_tangents(to.shape)) {
        double tangent = env.params(to).param[0];
        if (has_next) tangent *= span / (keys[b + 1].time - from.time);
        return tangent;
    }
    if (to.shape == SpanType::Bezier2D) {
        const KeyParams& p = env.params(to);
        return handle_slope(p.param[1], p.param[0], span);
    }
    return 0.0;
}

double cubic_bezier(double p0, double p1, double p2, double p3, double u) {
    double w = 1 - u;
    return w * w * w * p0 + 3 * u * w * w * p1 + 3 * u * u * w * p2 + u * u * u * p3;
}

// The 2D Bezier interval from keys[b - 1] to keys[b]: find the curve
// parameter whose time is `time` (bisection; the time component rises from
// the first key to the second for any sensible handles), then its value.
double bezier2d_value(const Envelope& env, std::size_t b, double time) {
    const Key& from = env.keys[b - 1];
    const Key& to = env.keys[b];
    const KeyParams& out = env.params(from);
    const KeyParams& in = env.params(to);
    double span = to.time - from.time;
    double t1, v1;
    if (from.shape == SpanType::Bezier2D) {
        t1 = from.time + out.param[2];
        v1 = from.value + out.param[3];
    } else {
        // Only a stored outgoing tangent counts: a TCB key's second parameter
        // is its continuity, and linear or stepped keys have none.
        t1 = from.time + span / 3.0;
        v1 = from.value + (uses_stored_tangents(from.shape) ? out.param[1] : 0.0) / 3.0;
    }
    double t2 = to.time + in.param[0];
    double v2 = to.value + in.param[1];
    double lo = 0.0, hi = 1.0;
    for (int step = 0; step < 60; ++step) {
        double mid = 0.5 * (lo + hi);
        if (cubic_bezier(from.time, t1, t2, to.time, mid) < time)
            lo = mid;
        else
            hi = mid;
    }
    return cubic_bezier(from.value, v1, v2, to.value, 0.5 * (lo + hi));
}

// Index of the first key after `time` (keys.size() when none is), trying
// the hinted span and the one after it before searching.
std::size_t key_after(const std::vector<Key>& keys, double time, std::size_t& hint) {
    for (std::size_t a = hint; a < hint + 2 && a + 1 < keys.size(); ++a) {
        if (keys[a].time <= time && time < keys[a + 1].time) {
            hint = a;
            return a + 1;
        }
    }
    auto after = std::upper_bound(keys.begin(), keys.end(), time,
                                  [](double t, const Key& key) { return t < key.time; });
    std::size_t b = std::size_t(after - keys.begin());
    if (b > 0) hint = b - 1;
    return b;
}

// Value inside [first key, last key].
double value_within(const Envelope& env, double time, std::size_t& hint) {
    const std::vector<Key>& keys = env.keys;
    std::size_t b = key_after(keys, time, hint);
    if (b == 0) return keys.front().value;
    if (b == keys.size()) return keys.back().value;
    const Key& from = keys[b - 1];
    if (from.time == time) return from.value;
    const Key& to = keys[b];
    double s = (time - from.time) / (to.time - from.time);
    switch (to.shape) {
    case SpanType::Linear:
        return from.value + s * (to.value - from.value);
    case SpanType::Stepped:
        return from.value;
    case SpanType::Bezier2D:
        return bezier2d_value(env, b, time);
    case SpanType::TCB:
    case SpanType::Hermite:
    case SpanType::Bezier1D:
        break;
    }
    double h1 = 2 * s * s * s - 3 * s * s + 1;
    double h2 = -2 * s * s * s + 3 * s * s;
    double h3 = s * s * s - 2 * s * s + s;
    double h4 = s * s * s - s * s;
    return h1 * from.value + h2 * to.value + h3 * outgoing(env, b - 1) + h4 * incoming(env, b);
}

}  // namespace

double Envelope::evaluate(double time, double fallback) const {
    if (keys.empty()) return fallback;
    const Key& first = keys.front();
    const Key& last = keys.back();
    if (keys.size() == 1) return first.value;
    bool before = time < first.time;
    if (!before && !(time > last.time)) return value_within(*this, time, span_hint);

    Behavior behavior = before ? pre : post;
    switch (behavior) {
    case Behavior::Reset:
        return 0.0;
    case Behavior::Constant:
        return before ? first.value : last.value;
    case Behavior::Linear:
        if (before)
            return first.value + (time - first.time) * outgoing(*this, 0) / (keys[1].time - first.time);
        return last.value +
               (time - last.time) * incoming(*this, keys.size() - 1) / (last.time - keys[keys.size() - 2].time);
    case Behavior::Repeat:
    case Behavior::Oscillate:
    case Behavior::OffsetRepeat:
        break;
    }

    double length = last.time - first.time;
    if (!(length > 0)) return value_within(*this, first.time, span_hint);
    double cycles = std::floor((time - first.time) / length);
    double wrapped = std::clamp(time - length * cycles, first.time, last.time);
    if (behavior == Behavior::Oscillate) {
        if (std::fmod(std::fabs(cycles), 2.0) == 1.0) wrapped = first.time + last.time - wrapped;
        return value_within(*this, wrapped, span_hint);
    }
    double offset = behavior == Behavior::OffsetRepeat ? cycles * (last.value - first.value) : 0.0;
    return value_within(*this, wrapped, span_hint) + offset;
}

// ---------------------------------------------------------------------------
// Transforms

void Transform::apply(const double in[3], double out[3]) const {
    double result[3];
    for (int r = 0; r < 3; ++r)
        result[r] = linear[r][0] * in[0] + linear[r][1] * in[1] + linear[r][2] * in[2] + offset[r];
    std::copy(result, result + 3, out);
}

void Transform::apply_linear(const double in[3], double out[3]) const {
    double result[3];
    for (int r = 0; r < 3; ++r) result[r] = linear[r][0] * in[0] + linear[r][1] * in[1] + linear[r][2] * in[2];
    std::copy(result, result + 3, out);
}

Transform compose(const Transform& outer, const Transform& inner) {
    Transform result;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            double sum = 0;
            for (int k = 0; k < 3; ++k) sum += outer.linear[r][k] * inner.linear[k][c];
            result.linear[r][c] = sum;
        }
    }
    outer.apply(inner.offset, result.offset);
    return result;
}

void hpb_matrix(const double hpb[3], double out[3][3]) {
    double ch = std::cos(hpb[0]), sh = std::sin(hpb[0]);
    double cp = std::cos(hpb[1]), sp = std::sin(hpb[1]);
    double cb = std::cos(hpb[2]), sb = std::sin(hpb[2]);
    out[0][0] = ch * cb + sh * sp * sb;
    out[0][1] = -ch * sb + sh * sp * cb;
    out[0][2] = sh * cp;
    out[1][0] = cp * sb;
    out[1][1] = cp * cb;
    out[1][2] = -sp;
    out[2][0] = -sh * cb + ch * sp * sb;
    out[2][1] = sh * sb + ch * sp * cb;
    out[2][2] = ch * cp;
}

double channel_value(const Item& item, int channel, double time) {
    if (channel < 0 || channel >= kChannelCount) return 0.0;
    double fallback = channel >= kScaleX ? 1.0 : 0.0;
    if (item.type == ItemType::Bone) {
        if (channel <= kPositionZ) fallback = item.bone.rest_position[channel - kPositionX];
        else if (channel <= kBank) fallback = item.bone.rest_rotation[channel - kHeading];
    }
    return item.motion[std::size_t(channel)].evaluate(time, fallback);
}

namespace {

Transform local_transform(const Item& item, const double position[3], const double rotation[3],
                          const double scale[3]) {
    double turn[3][3], pivot_turn[3][3];
    hpb_matrix(rotation, turn);
    hpb_matrix(item.pivot_rotation, pivot_turn);
    Transform local;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            double sum = 0;
            for (int k = 0; k < 3; ++k) sum += pivot_turn[r][k] * turn[k][c];
            local.linear[r][c] = sum * scale[c];
        }
    }
    double shifted[3];
    local.apply_linear(item.pivot, shifted);
    for (int r = 0; r < 3; ++r) local.offset[r] = position[r] - shifted[r];
    return local;
}

// Longer parent chains than this can only be loops in a broken scene.
constexpr std::size_t kMaxChainDepth = std::size_t(1) << 16;

// Composes the world transforms of `item`'s ancestors onto `transform`.
Transform world_of_chain(const Scene& scene, Transform transform, ItemId parent, double time) {
    for (std::size_t steps = 0; parent != 0 && steps < kMaxChainDepth; ++steps) {
        const Item* up = scene.item(parent);
        if (!up) break;
        transform = compose(item_local_transform(*up, time), transform);
        parent = up->parent;
    }
    return transform;
}

Transform rest_local_transform(const Item& bone) {
    const double unit[3] = {1, 1, 1};
    return local_transform(bone, bone.bone.rest_position, bone.bone.rest_rotation, unit);
}

// Inverse of a 3x3 matrix by cofactors; false when it is (near) singular.
bool invert3(const double m[3][3], double out[3][3]) {
    double cof[3][3];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
            cof[r][c] = m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1];
        }
    }
    double det = m[0][0] * cof[0][0] + m[0][1] * cof[0][1] + m[0][2] * cof[0][2];
    if (!(std::fabs(det) > 1e-300)) return false;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) out[r][c] = cof[c][r] / det;
    return true;
}

}  // namespace

Transform item_local_transform(const Item& item, double time) {
    double position[3], rotation[3], scale[3];
    for (int k = 0; k < 3; ++k) {
        position[k] = channel_value(item, kPositionX + k, time);
        rotation[k] = channel_value(item, kHeading + k, time);
        scale[k] = channel_value(item, kScaleX + k, time);
    }
    return local_transform(item, position, rotation, scale);
}

Transform item_world_transform(const Scene& scene, ItemId id, double time) {
    const Item* item = scene.item(id);
    if (!item) return Transform{};
    return world_of_chain(scene, item_local_transform(*item, time), item->parent, time);
}

const Transform& WorldTransformCache::at(const Scene& scene, ItemId item, double time) {
    if (!valid_ || item_ != item || time_ != time) {
        world_ = item_world_transform(scene, item, time);
        item_ = item;
        time_ = time;
        valid_ = true;
    }
    return world_;
}

Transform bone_rest_world_transform(const Scene& scene, ItemId id) {
    const Item* item = scene.item(id);
    if (!item) return Transform{};
    if (item->type != ItemType::Bone) return item_world_transform(scene, id, 0.0);
    Transform transform = rest_local_transform(*item);
    ItemId parent = item->parent;
    for (std::size_t steps = 0; parent != 0 && steps < kMaxChainDepth; ++steps) {
        const Item* up = scene.item(parent);
        if (!up) break;
        if (up->type != ItemType::Bone) return world_of_chain(scene, transform, parent, 0.0);
        transform = compose(rest_local_transform(*up), transform);
        parent = up->parent;
    }
    return transform;
}

namespace {

// The parameter into `out`, which must not alias the item.
void item_param_into(const Scene& scene, const Item& item, int param, double time, double out[3]) {
    switch (param) {
    case LWIP_POSITION:
    case LWIP_ROTATION:
    case LWIP_SCALING: {
        int first = param == LWIP_POSITION ? kPositionX : param == LWIP_ROTATION ? kHeading : kScaleX;
        for (int k = 0; k < 3; ++k) out[k] = channel_value(item, first + k, time);
        return;
    }
    case LWIP_PIVOT:
        std::copy(item.pivot, item.pivot + 3, out);
        return;
    case LWIP_PIVOT_ROT:
        std::copy(item.pivot_rotation, item.pivot_rotation + 3, out);
        return;
    default:
        break;
    }
    Transform world = item_world_transform(scene, item.id, time);
    switch (param) {
    case LWIP_W_POSITION:
        world.apply(item.pivot, out);
        return;
    case LWIP_RIGHT:
    case LWIP_UP:
    case LWIP_FORWARD: {
        int axis = param - LWIP_RIGHT;
        for (int r = 0; r < 3; ++r) out[r] = world.linear[r][axis];
        return;
    }
    case LWIP_W_RIGHT:
    case LWIP_W_UP:
    case LWIP_W_FORWARD: {
        double inverse[3][3];
        if (!invert3(world.linear, inverse)) return;
        int axis = param - LWIP_W_RIGHT;
        for (int r = 0; r < 3; ++r) out[r] = inverse[r][axis];
        return;
    }
    default:
        return;
    }
}

}  // namespace

// Callers may pass a field of the item itself as `out` (a bone's rest values
// recorded from its current pose), so the value is made aside first.
void item_param(const Scene& scene, ItemId id, int param, double time, double out[3]) {
    double value[3] = {0.0, 0.0, 0.0};
    if (const Item* item = scene.item(id)) item_param_into(scene, *item, param, time, value);
    std::copy(value, value + 3, out);
}

}  // namespace lwhost
