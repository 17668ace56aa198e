// Skeleton pose sampling over host scenes: which bones are collected and in
// what order, the sample arrays, and the pose of each bone checked against
// matrices the test builds from the keys itself.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "anim_fixture.h"

// The allocation-failure test below needs a failed allocation to come back
// as null under AddressSanitizer too, as it does from the C library.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

using namespace animtest;
using lwhost::SpanType;

// Bytes of memory and swap, and whether the kernel may refuse an allocation
// larger than that (it does unless overcommit is "always").
long long memory_and_swap_bytes() {
    std::ifstream info("/proc/meminfo");
    std::string key;
    long long value = 0, total = 0;
    std::string unit;
    while (info >> key >> value >> unit)
        if (key == "MemTotal:" || key == "SwapTotal:") total += value * 1024;
    return total;
}

bool kernel_refuses_huge_allocations() {
    std::ifstream mode("/proc/sys/vm/overcommit_memory");
    int overcommit = 1;
    return (mode >> overcommit) && overcommit != 1;
}

// ---- an independent model: column-vector matrices in double ---------------

struct M3 {
    double m[3][3];
};

M3 multiply(const M3& a, const M3& b) {
    M3 c{};
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k)
            for (int t = 0; t < 3; ++t) c.m[r][k] += a.m[r][t] * b.m[t][k];
    return c;
}

M3 transpose(const M3& a) {
    M3 t{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) t.m[r][c] = a.m[c][r];
    return t;
}

// Heading about +Y, pitch about +X, bank about +Z, applied bank first:
// Ry(h) Rx(p) Rz(b), columns = the item's axes in its parent's space.
M3 rotation(const lwhost::Vec3& hpb) {
    const double ch = std::cos(hpb[0]), sh = std::sin(hpb[0]);
    const double cp = std::cos(hpb[1]), sp = std::sin(hpb[1]);
    const double cb = std::cos(hpb[2]), sb = std::sin(hpb[2]);
    const M3 ry{{{ch, 0, sh}, {0, 1, 0}, {-sh, 0, ch}}};
    const M3 rx{{{1, 0, 0}, {0, cp, -sp}, {0, sp, cp}}};
    const M3 rz{{{cb, -sb, 0}, {sb, cb, 0}, {0, 0, 1}}};
    return multiply(multiply(ry, rx), rz);
}

// What the test's scene holds about one item, in the test's own terms.
struct ModelItem {
    lwhost::Vec3 position0, position10;  // keys on frames 0 and 10, linear
    lwhost::Vec3 rotation0, rotation10;
    lwhost::Vec3 scale{1, 1, 1};
    lwhost::Vec3 pivot{0, 0, 0};
    lwhost::Vec3 pivot_rotation{0, 0, 0};
    const ModelItem* parent = nullptr;

    lwhost::Vec3 at(const lwhost::Vec3& v0, const lwhost::Vec3& v10, int frame) const {
        const double s = frame / 10.0;
        return {v0[0] + s * (v10[0] - v0[0]), v0[1] + s * (v10[1] - v0[1]), v0[2] + s * (v10[2] - v0[2])};
    }
    lwhost::Vec3 position(int frame) const { return at(position0, position10, frame); }
    M3 local_rotation(int frame) const {
        return multiply(rotation(pivot_rotation), rotation(at(rotation0, rotation10, frame)));
    }
    M3 world_rotation(int frame) const {
        return parent ? multiply(parent->world_rotation(frame), local_rotation(frame)) : local_rotation(frame);
    }
    // A point of this item's space in world space.
    lwhost::Vec3 to_world(const lwhost::Vec3& p, int frame) const {
        const lwhost::Vec3 offset{(p[0] - pivot[0]) * scale[0], (p[1] - pivot[1]) * scale[1],
                                  (p[2] - pivot[2]) * scale[2]};
        const M3 turn = local_rotation(frame);
        const lwhost::Vec3 at = position(frame);
        lwhost::Vec3 out;
        for (int r = 0; r < 3; ++r)
            out[r] = at[r] + turn.m[r][0] * offset[0] + turn.m[r][1] * offset[1] + turn.m[r][2] * offset[2];
        return parent ? parent->to_world(out, frame) : out;
    }
};

void build(lwhost::SceneBuilder& b, ItemId id, const ModelItem& model) {
    using namespace lwhost;
    for (int axis = 0; axis < 3; ++axis) {
        b.key(id, kPositionX + axis, 0, model.position0[axis], SpanType::Linear);
        b.key(id, kPositionX + axis, 10, model.position10[axis], SpanType::Linear);
        b.key(id, kHeading + axis, 0, model.rotation0[axis], SpanType::Linear);
        b.key(id, kHeading + axis, 10, model.rotation10[axis], SpanType::Linear);
    }
    b.item(id).scale(model.scale).pivot(model.pivot).pivot_rotation(model.pivot_rotation);
}

void expect_rotation(const double hpb[3], const M3& expected, const std::string& what) {
    const M3 got = rotation({hpb[0], hpb[1], hpb[2]});
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(got.m[r][c], expected.m[r][c], 2e-6) << what << " [" << r << "][" << c << "]";
}

void expect_position(const double xyz[3], const lwhost::Vec3& expected, const std::string& what) {
    for (int axis = 0; axis < 3; ++axis) EXPECT_NEAR(xyz[axis], expected[axis], 1e-12) << what << " axis " << axis;
}

// ---- collection ---------------------------------------------------------------

TEST(AnimCollect, TreesComeParentFirstInTheOrderTheEnumerationReachesThem) {
    AnimFixture f;
    WalkScene s = build_walk_scene(f.builder);
    ASSERT_NO_FATAL_FAILURE(f.collect(s.object));
    EXPECT_EQ(f.state.boneCount, 6);
    EXPECT_EQ(f.state.bonesAdded, 6);
    // thigh is enumerated first, so its tree (from pelvis) comes first, in
    // child order: spine before thigh although thigh was made first.
    EXPECT_EQ(f.names(), (std::vector<std::string>{"pelvis", "spine", "head", "thigh", "tail", "tail_tip"}));
    for (int i = 0; i < f.state.bonesAdded; ++i) EXPECT_EQ(f.state.bones[i].nodeIndex, i);
    EXPECT_EQ(f.bone(s.pelvis)->parentBone, nullptr);
    EXPECT_EQ(f.bone(s.tail)->parentBone, nullptr);  // parent is the object
    EXPECT_EQ(f.bone(s.thigh)->parentBone, lw_item(s.pelvis));
    EXPECT_EQ(f.bone(s.head)->parentBone, lw_item(s.spine));
    EXPECT_EQ(f.bone(s.tail_tip)->parentBone, lw_item(s.tail));
    // Null bones: flagged, counted, still collected.
    EXPECT_EQ(f.state.nullBoneCount, 1);
    EXPECT_EQ(f.bone(s.head)->isNull, 1);
    EXPECT_EQ(f.bone(s.spine)->isNull, 0);
    // Every bone once in the map, pointing at its own record.
    for (int i = 0; i < f.state.bonesAdded; ++i) {
        void* found = nullptr;
        ASSERT_EQ(intmap_get(&f.state.boneMap, host_id_key(f.state.bones[i].id), &found), MAP_OK);
        EXPECT_EQ(found, &f.state.bones[i]);
    }
    EXPECT_EQ(f.state.boneMap.count, 6);
}

TEST(AnimCollect, ABoneUnderANonBoneStartsATreeOfItsOwn) {
    AnimFixture f;
    lwhost::MeshBuilder mesh = f.builder.mesh("C:/models/prop.lwo");
    ItemId object = f.builder.object("holder", mesh);
    ItemId arm = f.builder.bone(object, "arm").weight_map("arm");
    ItemId prop = f.builder.null_object("prop").parent(arm);
    ItemId hand = f.builder.bone(object, "hand", arm).weight_map("hand");
    ItemId grip = f.builder.bone(object, "grip").weight_map("grip");
    f.builder.item(grip).parent(prop);  // a bone whose parent is a null under a bone
    ItemId finger = f.builder.bone(object, "finger", grip);
    ASSERT_NO_FATAL_FAILURE(f.collect(object));
    // The walk does not pass through the null: grip is reached by the
    // enumeration and starts its own tree, as a root.
    EXPECT_EQ(f.names(), (std::vector<std::string>{"arm", "hand", "grip", "finger"}));
    EXPECT_EQ(f.bone(hand)->parentBone, lw_item(arm));
    EXPECT_EQ(f.bone(grip)->parentBone, nullptr);
    EXPECT_EQ(f.bone(finger)->parentBone, lw_item(grip));
    EXPECT_EQ(f.state.nullBoneCount, 1);  // finger has no weight map
}

TEST(AnimCollect, MissingServicesAndSharedBlockLeaveNoRecords) {
    {  // no "LW Bone Info 3": the records stay empty
        AnimFixture f;
        WalkScene s = build_walk_scene(f.builder);
        f.host.withhold("LW Bone Info 3");
        f.prepare(s.object);
        prepare_bones(f.state);
        EXPECT_EQ(collect_bones(&f.state), EXPORT_NO_SERVICE);
        EXPECT_EQ(f.state.boneCount, 6);
        EXPECT_EQ(f.state.bonesAdded, 0);
        for (int i = 0; i < f.state.boneCount; ++i) EXPECT_EQ(f.state.bones[i].id, nullptr);
        // Empty records are neither sampled nor written.
        ASSERT_EQ(alloc_bone_samples(f.state), EXPORT_OK);
        for (int i = 0; i < f.state.boneCount; ++i) EXPECT_FALSE(f.state.bones[i].positions);
        EXPECT_EQ(f.write(), "version 1\nnodes\n0 \"root\" -1\nend\nskeleton\n"
                             "0 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000\nend\n");
    }
    {  // no shared block: nothing is counted
        AnimFixture f;
        WalkScene s = build_walk_scene(f.builder);
        f.host.withhold("Global Render Memory");
        f.prepare(s.object);
        prepare_bones(f.state);
        EXPECT_EQ(f.state.boneCount, 0);
        EXPECT_EQ(f.state.bones, nullptr);
        EXPECT_EQ(collect_bones(&f.state), EXPORT_OK);
        EXPECT_EQ(f.state.bonesAdded, 0);
    }
    {  // an object without bones
        AnimFixture f;
        lwhost::MeshBuilder mesh = f.builder.mesh("C:/models/rock.lwo");
        ASSERT_NO_FATAL_FAILURE(f.collect(f.builder.object("rock", mesh)));
        EXPECT_EQ(f.state.boneCount, 0);
    }
    EXPECT_EQ(collect_bones(nullptr), EXPORT_NO_SERVICE);
}

TEST(AnimCollect, ReleaseFreesEverythingAndMayRepeat) {
    AnimFixture f;
    WalkScene s = build_walk_scene(f.builder);
    ASSERT_NO_FATAL_FAILURE(f.collect(s.object));
    ASSERT_NO_FATAL_FAILURE(f.sample_range());
    release_bones(f.state);
    EXPECT_EQ(f.state.bones, nullptr);
    EXPECT_EQ(f.state.boneCount, 0);
    EXPECT_EQ(f.state.boneMap.slots, nullptr);
    release_bones(f.state);
    release_export_state(f.state);
}

// ---- sample arrays --------------------------------------------------------------

TEST(AnimSamples, EachSaveGetsFreshArraysSizedByItsRange) {
    AnimFixture f;
    WalkScene s = build_walk_scene(f.builder);
    ASSERT_NO_FATAL_FAILURE(f.collect(s.object));
    f.state.firstFrame = 2;
    f.state.lastFrame = 3;
    ASSERT_NO_FATAL_FAILURE(f.sample_range());
    EXPECT_EQ(f.state.frameCount, 2);
    AnimBone* pelvis = f.bone(s.pelvis);
    EXPECT_EQ(pelvis->positions[0][0], 0.5 + 0.25);  // frame 2: key x 0.5, object at 0.25

    // Frames outside the arrays are ignored; the range's ends are recorded.
    f.state.bones[0].positions[1][0] = 99;
    LWItemMotionAccess before = Access::at(f.host, s.pelvis, 1), after = Access::at(f.host, s.pelvis, 4);
    sample_bone_pose(f.state, *pelvis, before);
    sample_bone_pose(f.state, *pelvis, after);
    EXPECT_EQ(pelvis->positions[0][0], 0.75);
    EXPECT_EQ(pelvis->positions[1][0], 99);

    // A larger second range: new zero-filled arrays, the old samples gone.
    f.state.firstFrame = 0;
    f.state.lastFrame = 4;
    ASSERT_EQ(alloc_bone_samples(f.state), EXPORT_OK);
    EXPECT_EQ(f.state.frameCount, 5);
    for (int k = 0; k < 5; ++k)
        for (int axis = 0; axis < 3; ++axis) {
            EXPECT_EQ(pelvis->positions[k][axis], 0.0);
            EXPECT_EQ(pelvis->rotations[k][axis], 0.0);
        }

    // An empty range (last below first) gives no arrays and is no failure.
    f.state.firstFrame = 5;
    f.state.lastFrame = 4;
    EXPECT_EQ(alloc_bone_samples(f.state), EXPORT_OK);
    EXPECT_EQ(f.state.frameCount, 0);
    EXPECT_FALSE(pelvis->positions);
    LWItemMotionAccess at5 = Access::at(f.host, s.pelvis, 5);
    sample_bone_pose(f.state, *pelvis, at5);  // nothing to write into
}

TEST(AnimSamples, ARangeTooWideToCountLeavesNoSamples) {
    AnimFixture f;
    WalkScene s = build_walk_scene(f.builder);
    ASSERT_NO_FATAL_FAILURE(f.collect(s.object));
    ASSERT_NO_FATAL_FAILURE(f.sample_range());
    // last - first + 1 does not fit an int: nothing is allocated and the
    // earlier samples are gone too.
    for (auto [first, last] : {std::pair{INT_MIN, INT_MAX}, std::pair{-2000000000, 2000000000}, std::pair{0, INT_MAX}}) {
        f.state.firstFrame = first;
        f.state.lastFrame = last;
        EXPECT_EQ(alloc_bone_samples(f.state), EXPORT_NO_MEMORY) << first << ".." << last;
        EXPECT_EQ(f.state.frameCount, 0);
        for (int i = 0; i < f.state.boneCount; ++i) {
            EXPECT_FALSE(f.state.bones[i].positions);
            EXPECT_FALSE(f.state.bones[i].rotations);
        }
        // Evaluations during such a range write nothing anywhere.
        for (int frame : {first, 0, last}) {
            LWItemMotionAccess access = Access::at(f.host, s.pelvis, frame);
            sample_bone_pose(f.state, *f.bone(s.pelvis), access);
        }
    }
    // Reversed extremes: an empty range, not an overflow.
    f.state.firstFrame = INT_MAX;
    f.state.lastFrame = INT_MIN;
    EXPECT_EQ(alloc_bone_samples(f.state), EXPORT_OK);
    EXPECT_EQ(f.state.frameCount, 0);
}

TEST(AnimSamples, ArraysThatCannotBeAllocatedLeaveNoRecordWithSamples) {
    // INT_MAX frames need 48 GiB per array; where the machine could hand
    // that out, the test would only fill memory.
    const long long needed = (long long)INT_MAX * 3 * (long long)sizeof(double);
    if (!kernel_refuses_huge_allocations() || memory_and_swap_bytes() >= needed)
        GTEST_SKIP() << "this machine might grant a " << needed << "-byte allocation";
    AnimFixture f;
    WalkScene s = build_walk_scene(f.builder);
    ASSERT_NO_FATAL_FAILURE(f.collect(s.object));
    ASSERT_NO_FATAL_FAILURE(f.sample_range());
    f.state.firstFrame = 0;
    f.state.lastFrame = INT_MAX - 1;
    EXPECT_EQ(alloc_bone_samples(f.state), EXPORT_NO_MEMORY);
    EXPECT_EQ(f.state.frameCount, 0);
    for (int i = 0; i < f.state.boneCount; ++i) {
        EXPECT_FALSE(f.state.bones[i].positions);
        EXPECT_FALSE(f.state.bones[i].rotations);
    }
    LWItemMotionAccess access = Access::at(f.host, s.pelvis, 1000);
    sample_bone_pose(f.state, *f.bone(s.pelvis), access);
    // The writer then lists the nodes and no pose at all.
    EXPECT_EQ(f.write().find("time"), std::string::npos);
}

// ---- the pose rule, against the test's own matrices --------------------------------

struct PoseRig {
    AnimFixture f;
    ModelItem mover, object, target_parent, target, hip, knee, foot, stray, plain;
    ItemId object_id = 0, target_id = 0, hip_id = 0, knee_id = 0, foot_id = 0, stray_id = 0, plain_id = 0;

    PoseRig() {
        // A moved, turned and scaled null carries the object, so world
        // values pass through a chain above the object as well.
        mover = {{1, 2, 3}, {1.5, 2, 3}, {0.4, -0.2, 0.1}, {0.6, -0.1, 0.2}, {2, 2, 2}, {0.1, 0.2, 0.3}, {0.05, 0.1, 0}};
        object = {{0.5, 0, -1}, {0.5, 0.25, -1}, {-0.3, 0.2, 0}, {-0.1, 0.3, 0.1}, {1, 1, 1}, {0.2, 0, 0.1}, {0.2, 0, 0}};
        object.parent = &mover;
        target_parent = {{0, 1, 0}, {0, 1, 0}, {0.9, 0.1, -0.2}, {1.1, 0.2, -0.1}, {1, 1, 1}, {0, 0, 0}, {0, 0.3, 0}};
        target = {{2, 0, 0}, {2, 0, 0}, {0.2, 0.5, 0.3}, {-0.4, 0.6, 0.2}, {1, 1, 1}, {0, 0, 0}, {0.1, 0, 0.2}};
        target.parent = &target_parent;
        hip = {{0.5, 1, -0.25}, {1, 1.5, 0}, {0.1, 0.2, 0.3}, {0.3, -0.2, 0.5}, {1, 1, 1}, {0.1, 0, 0}, {0.3, 0.2, 0.1}};
        hip.parent = &object;
        knee = {{0, -0.5, 0.1}, {0, -0.6, 0.1}, {0.2, 0.7, -0.1}, {-0.2, 0.4, 0.1}, {1, 1, 1}, {0, 0, 0}, {0, 0.25, -0.15}};
        knee.parent = &hip;
        foot = {{0, -0.4, 0}, {0, -0.4, 0}, {1.0, 1.0, 1.0}, {-1.0, 0.5, 0}, {1, 1, 1}, {0, 0, 0}, {0.5, 0, 0}};
        foot.parent = &knee;
        stray = {{0.2, 0, 0}, {0.2, 0, 0}, {0.3, 0.1, 0.2}, {0.1, 0.3, 0.4}, {1, 1, 1}, {0, 0, 0}, {0, 0, 0.4}};
        stray.parent = &knee;
        plain = {{0, 0.1, 0}, {0, 0.2, 0}, {0.5, 0, 0}, {0.7, 0, 0}, {1, 1, 1}, {0, 0, 0}, {0, 0, 0}};
        plain.parent = &knee;

        lwhost::SceneBuilder& b = f.builder;
        b.fps(25).preview(0, 10);  // before the keys: their frames are turned into seconds at once
        lwhost::MeshBuilder mesh = b.mesh("C:/models/leg.lwo");
        ItemId mover_id = b.null_object("mover");
        object_id = b.object("leg", mesh).parent(mover_id);
        ItemId target_parent_id = b.null_object("target parent");
        target_id = b.null_object("target").parent(target_parent_id);
        hip_id = b.bone(object_id, "hip").weight_map("hip");
        knee_id = b.bone(object_id, "knee", hip_id).weight_map("knee");
        foot_id = b.bone(object_id, "foot", knee_id).weight_map("foot").flags(LWITEMF_GOAL_ORIENT).goal(target_id);
        // The flag without a goal, and a goal without the flag: both follow
        // the ordinary rule.
        stray_id = b.bone(object_id, "stray", knee_id).weight_map("stray").flags(LWITEMF_GOAL_ORIENT);
        plain_id = b.bone(object_id, "plain", knee_id).weight_map("plain").goal(target_id);
        build(b, mover_id, mover);
        build(b, object_id, object);
        build(b, target_parent_id, target_parent);
        build(b, target_id, target);
        build(b, hip_id, hip);
        build(b, knee_id, knee);
        build(b, foot_id, foot);
        build(b, stray_id, stray);
        build(b, plain_id, plain);
    }
};

TEST(AnimPose, PositionsAreWorldForRootsAndParentSpaceOtherwise) {
    PoseRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.f.collect(rig.object_id));
    ASSERT_NO_FATAL_FAILURE(rig.f.sample_range());
    for (int frame : {0, 5, 10}) {
        const std::string at = " frame " + std::to_string(frame);
        // The root's origin, carried through the object, its pivot and the
        // mover's scale into world space.
        expect_position(rig.f.bone(rig.hip_id)->positions[frame], rig.object.to_world(rig.hip.position(frame), frame),
                        "hip" + at);
        expect_position(rig.f.bone(rig.knee_id)->positions[frame], rig.knee.position(frame), "knee" + at);
        expect_position(rig.f.bone(rig.foot_id)->positions[frame], rig.foot.position(frame), "foot" + at);
    }
}

TEST(AnimPose, RotationsAreTheBoneRotationFollowedByItsPivotRotation) {
    PoseRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.f.collect(rig.object_id));
    ASSERT_NO_FATAL_FAILURE(rig.f.sample_range());
    for (int frame : {0, 5, 10}) {
        const std::string at = " frame " + std::to_string(frame);
        // The root keeps its own (object-space) rotation, pivot rotation included.
        expect_rotation(rig.f.bone(rig.hip_id)->rotations[frame], rig.hip.local_rotation(frame), "hip" + at);
        expect_rotation(rig.f.bone(rig.knee_id)->rotations[frame], rig.knee.local_rotation(frame), "knee" + at);
        expect_rotation(rig.f.bone(rig.stray_id)->rotations[frame], rig.stray.local_rotation(frame), "stray" + at);
        expect_rotation(rig.f.bone(rig.plain_id)->rotations[frame], rig.plain.local_rotation(frame), "plain" + at);
    }
    // Not the raw rotation: the knee's pivot rotation changes the result.
    const double* knee = rig.f.bone(rig.knee_id)->rotations[0];
    EXPECT_GT(std::fabs(knee[1] - 0.7) + std::fabs(knee[2] + 0.1), 0.1);
}

TEST(AnimPose, AGoalOrientedBoneTakesTheGoalsWorldOrientationUnderItsParent) {
    PoseRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.f.collect(rig.object_id));
    ASSERT_NO_FATAL_FAILURE(rig.f.sample_range());
    for (int frame : {0, 5, 10}) {
        // parent world^-1 x goal world; the foot's own keys and pivot
        // rotation play no part.
        const M3 expected = multiply(transpose(rig.knee.world_rotation(frame)), rig.target.world_rotation(frame));
        expect_rotation(rig.f.bone(rig.foot_id)->rotations[frame], expected, "foot frame " + std::to_string(frame));
    }
    // The same through the building blocks: the goal's world angles.
    double world[3];
    Mat4 matrix;
    item_world_angles(rig.f.state.itemInfo, lw_item(rig.target_id), 0.0, world, matrix);
    expect_rotation(world, rig.target.world_rotation(0), "target world");
    // An item without a parent takes the fallback angles as they are.
    const double fallback[3] = {0.1, 0.2, 0.3};
    double out[3];
    Mat4 identity;
    mat4_identity(identity);
    parent_relative_angles(rig.f.state.itemInfo, lw_item(rig.f.host.scene.find_item("target parent")), 0.0, fallback,
                           identity, out);
    EXPECT_EQ(out[0], 0.1);
    EXPECT_EQ(out[1], 0.2);
    EXPECT_EQ(out[2], 0.3);
}

// The rule as written, product by product, with the library's matrix
// functions: the sampler leaves out products that cannot change a bit, and
// this holds it to that, signs of zero included.
Mat4 full_local_chain(const LWItemInfo* info, LWItemID item, bool whole_chain = true) {
    Mat4 m;
    mat4_identity(m);
    for (; item; item = whole_chain ? info->parent(item) : nullptr) {
        double pivot[3], turn[3], pivot_turn[3];
        info->param(item, LWIP_PIVOT, 0.0, pivot);
        info->param(item, LWIP_ROTATION, 0.0, turn);
        info->param(item, LWIP_PIVOT_ROT, 0.0, pivot_turn);
        Mat4 step;
        mat4_identity(step);
        for (int axis = 0; axis < 3; ++axis) step.m[3][axis] = float(-pivot[axis]);
        mat4_multiply(m, step, m);
        mat4_identity(step);
        hpb_to_matrix(turn, step);
        mat4_multiply(m, step, m);
        mat4_identity(step);
        hpb_to_matrix(pivot_turn, step);
        mat4_multiply(m, step, m);
    }
    return m;
}

// prefix + n, built by appending (g++ 12 warns falsely about "literal" + string).
std::string numbered(const char* prefix, int n) {
    std::string text(prefix);
    text += std::to_string(n);
    return text;
}

bool same_bits(const double a[3], const double b[3]) { return std::memcmp(a, b, 3 * sizeof(double)) == 0; }

TEST(AnimPose, LeftOutProductsChangeNoBitOfTheResult) {
    std::mt19937 random(20240611);
    const double special[] = {0.0, -0.0, M_PI / 2, -M_PI / 2, M_PI, 0.3, -1.2};
    auto angle = [&]() {
        std::uniform_int_distribution<int> pick(0, 9);
        const int i = pick(random);
        return i < 7 ? special[i] : std::uniform_real_distribution<double>(-3.2, 3.2)(random);
    };
    auto triple = [&](bool may_be_zero) {
        if (may_be_zero && random() % 3 == 0) return lwhost::Vec3{0, 0, 0};
        return lwhost::Vec3{angle(), angle(), angle()};
    };
    auto pivot = [&]() {
        const double values[] = {0.0, -0.0, 1.5, -2.25, 1e6};
        return lwhost::Vec3{values[random() % 5], values[random() % 5], values[random() % 5]};
    };

    AnimFixture f;
    lwhost::SceneBuilder& b = f.builder;
    b.preview(0, 0);
    lwhost::MeshBuilder mesh = b.mesh("C:/models/many.lwo");
    ItemId object = b.object("many", mesh);
    b.item(object).rotation(triple(true)).pivot(pivot()).pivot_rotation(triple(true));
    std::vector<ItemId> goals;
    for (int g = 0; g < 8; ++g) {
        ItemId up = b.null_object(numbered("up", g));
        b.item(up).rotation(triple(true)).pivot(pivot()).pivot_rotation(triple(true));
        ItemId goal = b.null_object(numbered("goal", g)).parent(up);
        b.item(goal).rotation(triple(true)).pivot(pivot()).pivot_rotation(triple(true));
        goals.push_back(goal);
    }
    std::vector<ItemId> bones;
    ItemId parent = 0;
    for (int i = 0; i < 120; ++i) {
        // Chains of up to four bones; every third bone looks at a goal.
        if (i % 4 == 0) parent = 0;
        lwhost::BoneBuilder bone = b.bone(object, numbered("b", i), parent).weight_map("w");
        bone.rotation(triple(false)).pivot(pivot()).pivot_rotation(triple(true));
        if (i % 3 == 0) bone.flags(LWITEMF_GOAL_ORIENT).goal(goals[std::size_t(i) % goals.size()]);
        bones.push_back(bone);
        parent = bone;
    }
    ASSERT_NO_FATAL_FAILURE(f.collect(object));
    ASSERT_NO_FATAL_FAILURE(f.sample_range());
    const LWItemInfo* info = f.state.itemInfo;
    for (std::size_t i = 0; i < bones.size(); ++i) {
        const LWItemID id = lw_item(bones[i]);
        double expected[3];
        if (i % 3 == 0) {
            const Mat4 goal = full_local_chain(info, info->goal(id));
            Mat4 inverse, relative;
            mat4_identity(inverse);
            mat4_invert(full_local_chain(info, info->parent(id)), inverse);
            mat4_multiply(goal, inverse, relative);
            matrix_to_hpb(relative, expected);
        } else {
            matrix_to_hpb(full_local_chain(info, id, false), expected);  // the bone alone
        }
        const double* got = f.bone(bones[i])->rotations[0];
        EXPECT_TRUE(same_bits(got, expected)) << "bone " << i << ": " << got[0] << " " << got[1] << " " << got[2]
                                              << " against " << expected[0] << " " << expected[1] << " "
                                              << expected[2];
    }
    // The chain itself, upper-left 3x3, for every goal.
    for (ItemId goal : goals) {
        Mat4 fast;
        mat4_identity(fast);
        item_chain_matrix(info, lw_item(goal), 0.0, fast);
        const Mat4 full = full_local_chain(info, lw_item(goal));
        for (int r = 0; r < 3; ++r) EXPECT_EQ(std::memcmp(fast.m[r], full.m[r], 3 * sizeof(float)), 0) << r;
    }
}

}  // namespace
