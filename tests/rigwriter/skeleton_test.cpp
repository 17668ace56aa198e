// Skeleton and vertex weights of the reference exporter over a host scene:
// bone order and rest pose, null bones, and the per-corner influence rules.
#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "ref_fixture.h"

namespace {

using lwhost::ItemId;
using lwhost::MeshBuilder;
using reftest::RefFixture;

// One triangle on its own points, so that each test block weights point 0.
struct Triangle {
    MeshBuilder mesh;
    std::uint32_t corner[3];
    std::uint32_t polygon;
};

Triangle add_triangle(RefFixture& f) {
    Triangle t{f.builder.mesh("C:/models/rig.lwo"), {}, 0};
    t.corner[0] = t.mesh.point(0, 0, 0);
    t.corner[1] = t.mesh.point(1, 0, 0);
    t.corner[2] = t.mesh.point(0, 1, 0);
    t.polygon = t.mesh.triangle(t.corner[0], t.corner[1], t.corner[2], "Skin");
    return t;
}

// The weights and influences of a corner are its point's.
const RefPoint& point_of(const RefCorner& corner) { return *corner.point; }

const char* influence_name(const RefCorner& corner, int slot) {
    const RefWeightMap* map = point_of(corner).influences[slot];
    return map != nullptr ? map->name.c_str() : "(none)";
}

TEST(RefSkeleton, RecordsBonesDepthFirstWithParentsBeforeChildren) {
    RefFixture f;
    Triangle t = add_triangle(f);
    const ItemId object = f.builder.object("rig", t.mesh).position({1, 2, 3});
    // Created out of node order, so the host's bone list differs from it.
    const ItemId a = f.builder.bone(object, "A").rest({0.5, 0, 0}, {0, 0, 0}).weight_map("A");
    const ItemId b = f.builder.bone(object, "B").rest({-1, 0, 0}, {0, 0, 0}).weight_map("B");
    const ItemId a1 = f.builder.bone(object, "A1", a).rest({0, 0, 0.25}, {0, 0, 0}).weight_map("A1");
    const ItemId b1 = f.builder.bone(object, "B1", b).rest({0, 0, 1}, {0, 0, 0});
    const ItemId a2 = f.builder.bone(object, "A2", a).rest({0, 0.75, 0}, {0, 0, 0}).weight_map("A2");
    const ItemId a1a = f.builder.bone(object, "A1a", a1).rest({0, 0, 2}, {0, 0, 0}).weight_map("A1a");
    ASSERT_NO_FATAL_FAILURE(f.collect(object));

    ASSERT_EQ(f.state.bone_count, 6);
    const std::pair<const char*, ItemId> expected[] = {{"A", a},   {"A1", a1}, {"A1a", a1a},
                                                        {"A2", a2}, {"B", b},   {"B1", b1}};
    for (int i = 0; i < 6; ++i) {
        const RefBone& bone = f.state.bones[static_cast<std::size_t>(i)];
        EXPECT_EQ(bone.name, expected[i].first) << "node " << i;
        EXPECT_EQ(bone.id, reftest::lw_item(expected[i].second)) << "node " << i;
        EXPECT_EQ(bone.index, i);
    }
    EXPECT_EQ(f.bone("A")->parent_id, nullptr);
    EXPECT_EQ(f.bone("B")->parent_id, nullptr);
    EXPECT_EQ(f.bone("A1a")->parent_id, reftest::lw_item(a1));
    EXPECT_EQ(f.bone("A2")->parent_id, reftest::lw_item(a));
    EXPECT_EQ(f.bone("B1")->parent_id, reftest::lw_item(b));

    // Root bones carry their rest world position (the object stands at
    // 1, 2, 3), child bones the rest position relative to their parent.
    const double* root = f.bone("A")->position;
    EXPECT_DOUBLE_EQ(root[0], 1.5);
    EXPECT_DOUBLE_EQ(root[1], 2.0);
    EXPECT_DOUBLE_EQ(root[2], 3.0);
    const double* child = f.bone("A1a")->position;
    EXPECT_DOUBLE_EQ(child[0], 0.0);
    EXPECT_DOUBLE_EQ(child[2], 2.0);
    EXPECT_DOUBLE_EQ(f.bone("B")->position[0], 0.0);

    EXPECT_EQ(f.state.null_bone_count, 1);
    EXPECT_TRUE(f.bone("B1")->weight_map.empty());
    EXPECT_EQ(f.bone("A2")->weight_map, "A2");
}

TEST(RefSkeleton, RotationIsTheRestRotationFollowedByThePivotRotation) {
    RefFixture f;
    Triangle t = add_triangle(f);
    const ItemId object = f.builder.object("rig", t.mesh);
    // Two turns about the same axis add up.
    f.builder.bone(object, "heading").rest({0, 0, 0}, {0.3, 0, 0}).pivot_rotation({0.2, 0, 0}).weight_map("w");
    f.builder.bone(object, "plain").rest({0, 0, 0}, {0.1, -0.4, 0.25}).weight_map("w");
    ASSERT_NO_FATAL_FAILURE(f.collect(object));

    const double* heading = f.bone("heading")->rotation;
    EXPECT_NEAR(heading[0], 0.5, 1e-6);
    EXPECT_NEAR(heading[1], 0.0, 1e-6);
    EXPECT_NEAR(heading[2], 0.0, 1e-6);
    const double* plain = f.bone("plain")->rotation;
    EXPECT_NEAR(plain[0], 0.1, 1e-6);
    EXPECT_NEAR(plain[1], -0.4, 1e-6);
    EXPECT_NEAR(plain[2], 0.25, 1e-6);
}

TEST(RefSkeleton, WithoutBoneInfoNoBonesAreRecorded) {
    RefFixture f;
    Triangle t = add_triangle(f);
    t.mesh.weight("w", t.corner[0], 1.0f);
    const ItemId object = f.builder.object("rig", t.mesh);
    f.builder.bone(object, "root").weight_map("w");
    f.host.withhold("LW Bone Info 3");
    ASSERT_NO_FATAL_FAILURE(f.collect(object));
    EXPECT_EQ(f.state.bone_count, 0);
    EXPECT_EQ(point_of(f.state.polygons.at(0).corners[0]).influences[0], nullptr);
    EXPECT_EQ(ref_collect_bones(f.state), REF_NO_SERVICE);
}

TEST(RefSkeleton, KeepsThreeInfluencesByTheFirstSmallerSlotRule) {
    {
        // Five maps in scene order with 0.3, 0.1, 0.2, 0.25, 0.4: the 0.25
        // replaces the 0.1 (the first smaller slot), the 0.4 the 0.3.
        RefFixture f;
        Triangle t = add_triangle(f);
        const float values[5] = {0.3f, 0.1f, 0.2f, 0.25f, 0.4f};
        for (int k = 0; k < 5; ++k) t.mesh.weight("m" + std::to_string(k), t.corner[0], values[k]);
        const ItemId object = f.builder.object("rig", t.mesh);
        for (int k = 0; k < 5; ++k) f.builder.bone(object, "b" + std::to_string(k)).weight_map("m" + std::to_string(k));
        ASSERT_NO_FATAL_FAILURE(f.collect(object));
        const RefCorner& corner = f.polygon(t.mesh, t.polygon).corners[0];
        EXPECT_STREQ(influence_name(corner, 0), "m4");
        EXPECT_STREQ(influence_name(corner, 1), "m3");
        EXPECT_STREQ(influence_name(corner, 2), "m2");
        EXPECT_NEAR(point_of(corner).weights[0], 0.4 / 0.85, 1e-6);
        EXPECT_NEAR(point_of(corner).weights[1], 0.25 / 0.85, 1e-6);
        EXPECT_NEAR(point_of(corner).weights[2], 0.2 / 0.85, 1e-6);
        // Corners of other points have no influence.
        EXPECT_EQ(point_of(f.polygon(t.mesh, t.polygon).corners[1]).influences[0], nullptr);
        EXPECT_EQ(point_of(f.polygon(t.mesh, t.polygon).corners[1]).weights[0], 0.0f);
    }
    {
        // 0.2 then 0.6: sorted largest first and normalised.
        RefFixture f;
        Triangle t = add_triangle(f);
        t.mesh.weight("low", t.corner[0], 0.2f).weight("high", t.corner[0], 0.6f);
        const ItemId object = f.builder.object("rig", t.mesh);
        f.builder.bone(object, "a").weight_map("low");
        f.builder.bone(object, "b").weight_map("high");
        ASSERT_NO_FATAL_FAILURE(f.collect(object));
        const RefCorner& corner = f.polygon(t.mesh, t.polygon).corners[0];
        EXPECT_STREQ(influence_name(corner, 0), "high");
        EXPECT_STREQ(influence_name(corner, 1), "low");
        EXPECT_EQ(point_of(corner).influences[2], nullptr);
        EXPECT_NEAR(point_of(corner).weights[0], 0.75, 1e-7);
        EXPECT_NEAR(point_of(corner).weights[1], 0.25, 1e-7);
        EXPECT_EQ(point_of(corner).weights[2], 0.0f);
    }
    {
        // A zero weight holds a slot only until another value comes.
        RefFixture f;
        Triangle t = add_triangle(f);
        t.mesh.weight("zero", t.corner[0], 0.0f).weight("half", t.corner[0], 0.5f);
        t.mesh.weight("zero", t.corner[1], 0.0f);
        const ItemId object = f.builder.object("rig", t.mesh);
        f.builder.bone(object, "a").weight_map("zero");
        f.builder.bone(object, "b").weight_map("half");
        ASSERT_NO_FATAL_FAILURE(f.collect(object));
        const RefPolygon& polygon = f.polygon(t.mesh, t.polygon);
        EXPECT_STREQ(influence_name(polygon.corners[0], 0), "half");
        EXPECT_EQ(point_of(polygon.corners[0]).weights[0], 1.0f);
        EXPECT_EQ(point_of(polygon.corners[0]).influences[1], nullptr);
        // Only a zero: the map stays in slot 0 with weight 0.
        EXPECT_STREQ(influence_name(polygon.corners[1], 0), "zero");
        EXPECT_EQ(point_of(polygon.corners[1]).weights[0], 0.0f);
    }
    {
        // Weights that sum to zero are left as they are, not divided.
        RefFixture f;
        Triangle t = add_triangle(f);
        t.mesh.weight("plus", t.corner[0], 0.5f).weight("minus", t.corner[0], -0.5f);
        const ItemId object = f.builder.object("rig", t.mesh);
        f.builder.bone(object, "a").weight_map("plus");
        f.builder.bone(object, "b").weight_map("minus");
        ASSERT_NO_FATAL_FAILURE(f.collect(object));
        const RefCorner& corner = f.polygon(t.mesh, t.polygon).corners[0];
        EXPECT_EQ(point_of(corner).weights[0], 0.5f);
        EXPECT_EQ(point_of(corner).weights[1], 0.0f);
        EXPECT_EQ(point_of(corner).weights[2], -0.5f);
        EXPECT_STREQ(influence_name(corner, 2), "minus");
    }
}

TEST(RefSkeleton, OnlyMapsThatABoneNamesInfluenceAndTheLaterBoneKeepsASharedMap) {
    RefFixture f;
    Triangle t = add_triangle(f);
    t.mesh.weight("unused", t.corner[0], 0.9f).weight("shared", t.corner[0], 0.4f);
    const ItemId object = f.builder.object("rig", t.mesh);
    f.builder.bone(object, "first").weight_map("shared");
    f.builder.bone(object, "second").weight_map("shared");
    f.builder.bone(object, "null");
    ASSERT_NO_FATAL_FAILURE(f.collect(object));

    ASSERT_EQ(f.state.weight_maps.size(), 2u);
    EXPECT_EQ(f.state.weight_maps[0].name, "unused");
    EXPECT_EQ(f.state.weight_maps[1].name, "shared");
    void* found = nullptr;
    ASSERT_EQ(strmap_get(&f.state.weight_bone_map, "shared", &found, map_string_hash("shared")), MAP_OK);
    EXPECT_EQ(static_cast<const RefBone*>(found)->name, "second");
    EXPECT_EQ(f.state.null_bone_count, 1);

    const RefCorner& corner = f.polygon(t.mesh, t.polygon).corners[0];
    EXPECT_STREQ(influence_name(corner, 0), "shared");
    EXPECT_EQ(point_of(corner).weights[0], 1.0f);
    EXPECT_EQ(point_of(corner).influences[1], nullptr);
}

}  // namespace
