// Motion evaluation: envelope values (Envelope::evaluate, declared in
// scene.h), an item's channels at a time, and the item transforms that
// "LW Item Info 3" `param`, "LW Bone Info 3" `restParam` and the mesh info's
// `pntOtherPos` report.
//
// Conventions (all double precision):
//   - Rotations are heading, pitch, bank in radians. The orientation matrix,
//     for column vectors and item -> parent space, is
//         M(h, p, b) = Ry(h) . Rx(p) . Rz(b)
//     so its columns are the item's +X, +Y, +Z axes in the parent's space.
//   - An item maps its own coordinates to its parent's coordinates by
//         x_parent = Position + Mpiv . Mrot . (Scale o (x_local - Pivot))
//     with Mrot = M(rotation channels) and Mpiv = M(pivot rotation). The
//     pivot rotation is the outer of the two: the keyed rotation turns the
//     item about the axes the pivot rotation has set, so an item with a pivot
//     rotation and zero keys shows just the pivot rotation, and its heading
//     key turns it about its own (pivot-rotated) up axis. This is also the
//     order the plug-ins compose "rotation followed by pivot rotation" in.
//   - "Parent coordinates" are the coordinates the parent's own points live
//     in, so a chain composes as world = local(root) . ... . local(item).
//     A root bone's position is therefore in its object's coordinates.
//   - A channel without keys gives 0 (position, rotation) or 1 (scale),
//     except that a bone without position or rotation keys holds its rest
//     position and rest rotation.
#pragma once

#include "scene.h"

namespace lwhost {

// An affine map of column vectors: x' = linear . x + offset.
struct Transform {
    double linear[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    double offset[3] = {0, 0, 0};

    void apply(const double in[3], double out[3]) const;          // point
    void apply_linear(const double in[3], double out[3]) const;   // direction
};

// outer . inner: first inner, then outer.
Transform compose(const Transform& outer, const Transform& inner);

// M(h, p, b) = Ry(h) . Rx(p) . Rz(b), column-vector form (see above).
void hpb_matrix(const double hpb[3], double out[3][3]);

// Value of one channel (kPositionX .. kScaleZ) of an item at `time` seconds,
// with the defaults above when the channel has no keys.
double channel_value(const Item& item, int channel, double time);

// x_parent = local(x) for the item's channels at `time`.
Transform item_local_transform(const Item& item, double time);

// Item coordinates -> world coordinates at `time`, through the parent chain.
// Unknown items give the identity. A parent chain that loops (a broken
// scene) is cut after 65536 steps rather than hanging.
Transform item_world_transform(const Scene& scene, ItemId item, double time);

// An item's world transform, kept for the item and time last asked for, so a
// scan over every point of a mesh walks the item chain once. Keys changed
// between two questions for the same time are not seen: the holder asks
// again at another time, or uses a new cache.
class WorldTransformCache {
public:
    const Transform& at(const Scene& scene, ItemId item, double time);

private:
    bool valid_ = false;
    ItemId item_ = 0;
    double time_ = 0.0;
    Transform world_;
};

// A bone's coordinates -> world coordinates in the rest pose: the rest
// position and rotation of the bone and of each parent bone (scale 1, their
// pivots and pivot rotations as set), then the world transform at time 0 of
// the first parent that is not a bone (normally the owning object).
// Non-bones give item_world_transform at time 0.
Transform bone_rest_world_transform(const Scene& scene, ItemId bone);

// Item parameter at `time`, as "LW Item Info 3" `param` reports it; `param`
// is an LWIP_* value:
//   LWIP_POSITION, LWIP_ROTATION, LWIP_SCALING: the channels (see above);
//   LWIP_PIVOT, LWIP_PIVOT_ROT: the item's pivot and pivot rotation;
//   LWIP_W_POSITION: world position of the item's pivot (its origin as
//     Layout shows it), i.e. the parent's world transform of Position;
//   LWIP_RIGHT/UP/FORWARD: the item's +X/+Y/+Z axes in world space, scale
//     included (the columns of the world transform's linear part);
//   LWIP_W_RIGHT/W_UP/W_FORWARD: the world's +X/+Y/+Z axes in item space
//     (columns of the inverse linear part; zero when it is singular).
// Unknown items or parameters give (0, 0, 0).
void item_param(const Scene& scene, ItemId item, int param, double time, double out[3]);

}  // namespace lwhost
