// Skeleton and vertex weights of the reference exporter over a host scene:
// bone order and rest pose, null bones, and the per-corner influence rules.
#include <gtest/gtest.h>

#include <initializer_list>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

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

std::vector<std::string> tokens(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string token; in >> token;) out.push_back(token);
    return out;
}

// The weights and influences of a corner are its point's.
const RefPointWeights& weights_of(const RefFixture& f, const ExportCorner& corner) {
    static const RefPointWeights none{};
    const RefPointWeights* weights = ref_point_weights(f.state, corner.point);
    EXPECT_NE(weights, nullptr) << "a corner's point has weights";
    return weights != nullptr ? *weights : none;
}

const char* influence_name(const RefFixture& f, const ExportCorner& corner, int slot) {
    const RefWeightMap* map = ref_influence(f.state, weights_of(f, corner), slot);
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
    EXPECT_EQ(ref_influence(f.state, weights_of(f, f.state.geometry.polygons.at(0).corners[0]), 0), nullptr);
    EXPECT_EQ(ref_collect_bones(f.state), EXPORT_NO_SERVICE);
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
        const ExportCorner& corner = f.polygon(t.mesh, t.polygon).corners[0];
        EXPECT_STREQ(influence_name(f, corner, 0), "m4");
        EXPECT_STREQ(influence_name(f, corner, 1), "m3");
        EXPECT_STREQ(influence_name(f, corner, 2), "m2");
        EXPECT_NEAR(weights_of(f, corner).weights[0], 0.4 / 0.85, 1e-6);
        EXPECT_NEAR(weights_of(f, corner).weights[1], 0.25 / 0.85, 1e-6);
        EXPECT_NEAR(weights_of(f, corner).weights[2], 0.2 / 0.85, 1e-6);
        // Corners of other points have no influence.
        EXPECT_EQ(ref_influence(f.state, weights_of(f, f.polygon(t.mesh, t.polygon).corners[1]), 0), nullptr);
        EXPECT_EQ(weights_of(f, f.polygon(t.mesh, t.polygon).corners[1]).weights[0], 0.0f);
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
        const ExportCorner& corner = f.polygon(t.mesh, t.polygon).corners[0];
        EXPECT_STREQ(influence_name(f, corner, 0), "high");
        EXPECT_STREQ(influence_name(f, corner, 1), "low");
        EXPECT_EQ(ref_influence(f.state, weights_of(f, corner), 2), nullptr);
        EXPECT_NEAR(weights_of(f, corner).weights[0], 0.75, 1e-7);
        EXPECT_NEAR(weights_of(f, corner).weights[1], 0.25, 1e-7);
        EXPECT_EQ(weights_of(f, corner).weights[2], 0.0f);
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
        const ExportPolygon& polygon = f.polygon(t.mesh, t.polygon);
        EXPECT_STREQ(influence_name(f, polygon.corners[0], 0), "half");
        EXPECT_EQ(weights_of(f, polygon.corners[0]).weights[0], 1.0f);
        EXPECT_EQ(ref_influence(f.state, weights_of(f, polygon.corners[0]), 1), nullptr);
        // Only a zero: the map stays in slot 0 with weight 0.
        EXPECT_STREQ(influence_name(f, polygon.corners[1], 0), "zero");
        EXPECT_EQ(weights_of(f, polygon.corners[1]).weights[0], 0.0f);
    }
}

// A negative, NaN or infinite weight is no value at all: the point's other
// weights are normalised without it, and it neither takes a slot nor shows
// up in the vertex line.
TEST(RefSkeleton, WeightsThatAreNotFiniteAndNonNegativeAreNoValue) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* what;
        float first, second;
    };
    for (const Case& c : {Case{"negative after", 0.3f, -0.5f}, Case{"negative first", -0.5f, 0.3f},
                          Case{"NaN after", 0.3f, nan}, Case{"NaN first", nan, 0.3f},
                          Case{"infinity", inf, 0.3f}, Case{"minus infinity", 0.3f, -inf}}) {
        SCOPED_TRACE(c.what);
        RefFixture f;
        Triangle t = add_triangle(f);
        t.mesh.weight("first", t.corner[0], c.first).weight("second", t.corner[0], c.second);
        // A point whose only value is unusable is a point without weights.
        const bool first_usable = c.first == 0.3f;
        t.mesh.weight("second", t.corner[1], first_usable ? c.second : c.first);
        const ItemId object = f.builder.object("rig", t.mesh);
        f.builder.bone(object, "a").weight_map("first");
        f.builder.bone(object, "b").weight_map("second");
        ASSERT_NO_FATAL_FAILURE(f.collect(object));
        const ExportPolygon& polygon = f.polygon(t.mesh, t.polygon);
        const RefPointWeights& weighted = weights_of(f, polygon.corners[0]);
        EXPECT_STREQ(influence_name(f, polygon.corners[0], 0), first_usable ? "first" : "second");
        EXPECT_EQ(weighted.weights[0], 1.0f);
        EXPECT_EQ(ref_influence(f.state, weighted, 1), nullptr);
        EXPECT_EQ(weighted.weights[1], 0.0f);
        EXPECT_EQ(ref_influence(f.state, weights_of(f, polygon.corners[1]), 0), nullptr);

        // Corners are written 2, 1, 0: corner 0 links the one usable bone
        // with weight 1, corner 1 has no link at all.
        const std::string linked_node = first_usable ? "0" : "1";
        f.state.verify_uv = 0;  // the triangle has no UVs
        const std::vector<std::string> lines = reftest::section(f.write(), "triangles");
        ASSERT_EQ(lines.size(), 4u);
        const std::vector<std::string> corner0 = tokens(lines[3]);
        ASSERT_EQ(corner0.size(), 12u) << lines[3];
        EXPECT_EQ(corner0[0], linked_node);
        EXPECT_EQ(std::vector<std::string>(corner0.begin() + 9, corner0.end()),
                  (std::vector<std::string>{"1", linked_node, "1.000000"}));
        const std::vector<std::string> corner1 = tokens(lines[2]);
        EXPECT_EQ(corner1.size(), 9u) << lines[2];
        EXPECT_EQ(corner1.at(0), "0");
    }
}

// A host whose parents form a loop (bone "a" the parent of "b" and "b" of
// "a"): the climb to the top of the chain must end, and the file's nodes
// must still form a tree. The loop is laid over the host's item records.
struct LoopedItems {
    static inline LWItemInfo items{};
    static inline const LWItemInfo* host = nullptr;
    static inline LWItemID a = nullptr, b = nullptr;
    static inline long parent_calls = 0;
    // Far more than any bounded walk asks; past it the loop gives way so a
    // test of an unbounded climb ends in a failure instead of hanging.
    static constexpr long kRunaway = 1000000;

    static LWItemID parent(LWItemID item) {
        if (++parent_calls > kRunaway) return nullptr;
        if (item == a) return b;
        return host->parent(item);
    }
    static const LWItemInfo* over(const LWItemInfo* real, LWItemID looped_a, LWItemID looped_b) {
        host = real;
        items = *real;
        items.parent = parent;
        a = looped_a;
        b = looped_b;
        parent_calls = 0;
        return &items;
    }
};

TEST(RefSkeleton, AParentLoopEndsTheClimbAndIsNotWrittenAsOne) {
    RefFixture f;
    Triangle t = add_triangle(f);
    const ItemId object = f.builder.object("rig", t.mesh);
    const ItemId a = f.builder.bone(object, "a").weight_map("a");
    const ItemId b = f.builder.bone(object, "b", a).weight_map("b");
    ASSERT_NO_FATAL_FAILURE(f.prepare(object));
    f.state.item_info = LoopedItems::over(f.state.item_info, reftest::lw_item(a), reftest::lw_item(b));
    ASSERT_EQ(ref_allocate(f.state), EXPORT_OK);
    ASSERT_EQ(ref_collect(f.state), EXPORT_OK);
    EXPECT_LT(LoopedItems::parent_calls, LoopedItems::kRunaway) << "the climb went round the loop";

    ASSERT_EQ(f.state.bone_count, 2);
    ASSERT_NE(f.bone("a"), nullptr);
    ASSERT_NE(f.bone("b"), nullptr);
    // Each bone names the other as parent; only the one recorded second
    // keeps its parent in the file, the first becomes a root.
    const std::vector<std::string> nodes = reftest::section(f.write(), "nodes");
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[0].substr(nodes[0].size() - 3), " -1") << nodes[0];
    EXPECT_EQ(nodes[1].substr(nodes[1].size() - 2), " 0") << nodes[1];
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

    const ExportCorner& corner = f.polygon(t.mesh, t.polygon).corners[0];
    EXPECT_STREQ(influence_name(f, corner, 0), "shared");
    EXPECT_EQ(weights_of(f, corner).weights[0], 1.0f);
    EXPECT_EQ(ref_influence(f.state, weights_of(f, corner), 1), nullptr);
}

}  // namespace
