// The scene builder and the scene invariant check.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "motion.h"
#include "scene.h"
#include "scene_builder.h"

namespace lwhost {

// Reaches a map's private rows, to damage them.
struct VertexMapTestAccess {
    static BulkVector<std::uint32_t>& points(VertexMap& map) { return map.points_; }
    static BulkVector<float>& values(VertexMap& map) { return map.values_; }
};

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

TEST(SceneBuilderTest, BuildsMeshesSurfacesAndItems) {
    Scene scene;
    SceneBuilder b(scene);
    auto mesh = b.mesh("C:/models/ship.lwo");
    auto p0 = mesh.point(0, 0, 0), p1 = mesh.point(1, 0, 0), p2 = mesh.point(1, 1, 0), p3 = mesh.point(0, 1, 0);
    auto quad = mesh.quad(p0, p1, p2, p3, "Skin Mat");
    auto tri = mesh.triangle(p0, p1, p2, "Metal");
    auto patch = mesh.polygon({p0, p2, p3}, "Skin Mat", kPatch);
    mesh.part(tri, "Hull");
    mesh.uv("UVMap", p0, 0.0f, 1.0f).weight("arm", p0, 0.5f);
    mesh.uv_for_polygon("UVMap", quad, p0, 0.25f, 0.75f);

    const MeshObject& object = mesh.object();
    ASSERT_EQ(object.layers.size(), 1u);
    const Layer& layer = object.layers[0];
    EXPECT_EQ(layer.points.size(), 4u);
    ASSERT_EQ(layer.polygons.size(), 3u);
    EXPECT_EQ(layer.polygons[quad].vertex_count, 4u);
    EXPECT_EQ(layer.polygons[patch].type, kPatch);
    EXPECT_THAT(std::vector<std::uint32_t>(layer.vertices(layer.polygons[tri]), layer.vertices(layer.polygons[tri]) + 3),
                ElementsAre(p0, p1, p2));
    EXPECT_EQ(object.tags[std::size_t(layer.polygons[quad].surface_tag)], "Skin Mat");
    EXPECT_EQ(layer.polygons[patch].surface_tag, layer.polygons[quad].surface_tag);
    EXPECT_EQ(object.tags[std::size_t(layer.polygons[tri].part_tag)], "Hull");
    const VertexMap* uv = layer.find_vmap(kTexUV, "UVMap");
    ASSERT_NE(uv, nullptr);
    EXPECT_EQ(uv->dimension, 2);
    EXPECT_EQ(uv->get(p0)[1], 1.0f);
    EXPECT_EQ(uv->get_for_polygon(quad, p0)[0], 0.25f);
    EXPECT_EQ(uv->get(p1), nullptr);
    ASSERT_NE(layer.find_vmap(kWeight, "arm"), nullptr);
    EXPECT_EQ(layer.find_vmap(kWeight, "arm")->get(p0)[0], 0.5f);
    EXPECT_THROW(mesh.value(kTexUV, "UVMap", 3, p0, nullptr), std::invalid_argument);  // dimension 2

    // Layers are found or added by number; an object shows the current one.
    mesh.layer(2, "Cockpit");
    auto q = mesh.point(5, 5, 5);
    EXPECT_EQ(q, 0u);
    EXPECT_EQ(mesh.object().layers.size(), 2u);
    EXPECT_EQ(mesh.current_layer().number, 2);
    EXPECT_EQ(mesh.current_layer().name, "Cockpit");
    ItemId cockpit = b.object("cockpit", mesh);
    ItemId hull = b.object("hull", mesh, 0);
    EXPECT_EQ(scene.item(cockpit)->layer, 1);
    EXPECT_EQ(scene.layer_of(hull)->points.size(), 4u);
    mesh.layer(0);
    EXPECT_EQ(mesh.layer_index(), 0);
    EXPECT_EQ(mesh.object().layers.size(), 2u);

    // Surfaces: found or added; the same builder comes back.
    int image = b.image("skin.png", 64, 32);
    auto& skin = b.surface(mesh, "Skin Mat").smoothing_degrees(90).uv_image_layer(image, "UVMap");
    EXPECT_EQ(&b.surface(mesh, "Skin Mat"), &skin);
    EXPECT_EQ(scene.surfaces.size(), 1u);
    EXPECT_DOUBLE_EQ(skin.surface().smoothing_angle, std::acos(0.0));
    ASSERT_EQ(skin.surface().color_texture.size(), 1u);
    EXPECT_EQ(skin.surface().color_texture[0].projection, Projection::UV);
    EXPECT_EQ(skin.surface().color_texture[0].uv_map, "UVMap");
    EXPECT_EQ(scene.images[std::size_t(image)]->rgb.size(), 64u * 32u * 3u);

    // Bones, keys, settings.
    ItemId root = b.bone(hull, "root").rest({0, 0, 0}, {0, 0, 0}).weight_map("root");
    ItemId arm = b.bone(hull, "arm", root).rest({0, 0, 1}, {0.5, 0, 0}).length(0.5).weight_map("arm", true);
    EXPECT_THAT(scene.bones_of(hull), ElementsAre(root, arm));
    EXPECT_EQ(scene.item(arm)->parent, root);
    EXPECT_EQ(scene.item(arm)->bone.rest_length, 0.5);
    EXPECT_TRUE(scene.item(arm)->bone.weight_map_only);
    EXPECT_THROW(b.bone(0x20000000u, "loose"), std::invalid_argument);

    b.fps(24).preview(0, 48, 2).select(hull).select(arm).frame(12).scene_file("/scenes/ship.lws");
    b.key(arm, kHeading, 12, 0.25);
    EXPECT_DOUBLE_EQ(scene.item(arm)->motion[kHeading].keys[0].time, 0.5);
    EXPECT_DOUBLE_EQ(scene.settings.time, 0.5);
    EXPECT_EQ(scene.settings.preview_end, 48);
    EXPECT_EQ(scene.settings.preview_step, 2);
    EXPECT_THAT(scene.selection, ElementsAre(hull, arm));
    EXPECT_EQ(scene.settings.name, "ship.lws");
    EXPECT_THROW(b.select(0x10000077u), std::invalid_argument);
    EXPECT_THROW(b.fps(0), std::invalid_argument);

    EXPECT_THAT(check_scene(scene), IsEmpty());
}

TEST(SceneBuilderTest, RiggedGridForBenchmarks) {
    Scene scene;
    SceneBuilder b(scene);
    ItemId object = build_rigged_grid(b, "grid.lwo", 8, 6, 3);
    const Layer& layer = *scene.layer_of(object);
    EXPECT_EQ(layer.points.size(), 9u * 7u);
    EXPECT_EQ(layer.polygons.size(), 2u * 8u * 6u);
    EXPECT_THAT(check_scene(scene), IsEmpty());

    // Every point's weights over the three bone maps add up to 1.
    for (std::uint32_t p = 0; p < layer.points.size(); ++p) {
        double sum = 0;
        for (const char* name : {"bone0", "bone1", "bone2"})
            if (const float* w = layer.find_vmap(kWeight, name)->get(p)) sum += *w;
        EXPECT_NEAR(sum, 1.0, 1e-6) << "point " << p;
    }
    // The chain runs up the grid: bone k's base rests at y = 2k (6 rows / 3).
    const auto& bones = scene.bones_of(object);
    ASSERT_EQ(bones.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        double base[3];
        const double zero[3] = {0, 0, 0};
        bone_rest_world_transform(scene, bones[k]).apply(zero, base);
        EXPECT_NEAR(base[0], 0.0, 1e-12);
        EXPECT_NEAR(base[1], 2.0 * double(k), 1e-12);
        EXPECT_NEAR(base[2], 0.0, 1e-12);
    }
}

TEST(CheckSceneTest, ReportsEachBrokenInvariant) {
    auto build = [](Scene& scene) {
        SceneBuilder b(scene);
        auto mesh = b.mesh("a.lwo");
        auto p0 = mesh.point(0, 0, 0), p1 = mesh.point(1, 0, 0), p2 = mesh.point(0, 1, 0), p3 = mesh.point(1, 1, 0);
        auto tri = mesh.triangle(p0, p1, p2, "S");
        mesh.triangle(p1, p3, p2, "S");
        mesh.uv("UV", p0, 0, 0).uv_for_polygon("UV", tri, p1, 1, 1);
        ItemId object = b.object("a", mesh);
        b.bone(object, "root");
        b.select(object);
        return object;
    };
    {
        Scene scene;
        build(scene);
        EXPECT_THAT(check_scene(scene), IsEmpty());
    }
    auto broken = [&](auto&& damage) {
        Scene scene;
        ItemId object = build(scene);
        damage(scene, object);
        return check_scene(scene);
    };
    EXPECT_THAT(broken([](Scene& s, ItemId o) { s.layer_of(o)->vertex_pool[4] = 4; }),
                ElementsAre(HasSubstr("vertex index out of range")));
    EXPECT_THAT(broken([](Scene& s, ItemId o) { s.layer_of(o)->polygons[1].first_vertex = 5; }),
                ElementsAre(HasSubstr("vertex list past the pool")));
    EXPECT_THAT(broken([](Scene& s, ItemId o) { s.layer_of(o)->polygons[0].surface_tag = 3; }),
                ElementsAre(HasSubstr("tag index out of range")));
    // A vertex map's rows: one naming a point that has no such row, one
    // that lost its values, and a value given to a point the layer lacks.
    EXPECT_THAT(broken([](Scene& s, ItemId o) { VertexMapTestAccess::points(s.layer_of(o)->vmaps[0])[0] = 9; }),
                ElementsAre(HasSubstr("not found under its point")));
    EXPECT_THAT(broken([](Scene& s, ItemId o) { VertexMapTestAccess::values(s.layer_of(o)->vmaps[0]).pop_back(); }),
                ElementsAre(HasSubstr("rows and values differ")));
    EXPECT_THAT(broken([](Scene& s, ItemId o) {
                    const float uv[2] = {0, 0};
                    s.layer_of(o)->vmaps[0].set(9, uv);
                }),
                ElementsAre(HasSubstr("value for a point that does not exist")));
    EXPECT_THAT(broken([](Scene& s, ItemId o) {
                    const float uv[2] = {0, 0};
                    s.layer_of(o)->vmaps[0].set_for_polygon(0, 3, uv);  // point 3 is not a corner of polygon 0
                }),
                ElementsAre(HasSubstr("not in the polygon")));
    EXPECT_THAT(broken([](Scene& s, ItemId o) { s.item(o)->children.clear(); }),
                ElementsAre(HasSubstr("not listed once among its parent's children")));
    EXPECT_THAT(broken([](Scene& s, ItemId o) { s.item(o)->children.push_back(o); }),
                ElementsAre(HasSubstr("has another parent")));
    EXPECT_THAT(broken([](Scene& s, ItemId o) { s.item(s.bones_of(o)[0])->bone.object = s.add_light("l"); }),
                ElementsAre(HasSubstr("bone's object is not an object")));
    EXPECT_THAT(broken([](Scene& s, ItemId o) { s.item(o)->layer = 4; }),
                ElementsAre(HasSubstr("layer index out of range")));
    EXPECT_THAT(broken([](Scene& s, ItemId o) { s.item(o)->goal = 0x10000050u; }),
                ElementsAre(HasSubstr("goal missing")));
    EXPECT_THAT(broken([](Scene& s, ItemId) { s.selection.push_back(0x30000004u); }),
                ElementsAre(HasSubstr("selection: item 30000004 missing")));
    EXPECT_THAT(broken([](Scene& s, ItemId o) {
                    auto& keys = s.item(o)->motion[kPitch].keys;
                    keys.resize(2);
                    keys[0].time = 1.0;
                }),
                ElementsAre(HasSubstr("keys not ascending")));
    EXPECT_THAT(broken([](Scene& s, ItemId o) {
                    ItemId other = s.add_object("b");
                    s.set_parent(o, other);
                    s.item(other)->parent = o;  // set_parent refuses a loop: made by hand
                    s.item(o)->children.push_back(other);
                }),
                Contains(HasSubstr("parent chain loops")));
    EXPECT_THAT(broken([](Scene& s, ItemId) { s.add_surface(0, "T").color_texture.emplace_back().image = 2; }),
                ElementsAre(HasSubstr("image index out of range")));
}

}  // namespace
}  // namespace lwhost
