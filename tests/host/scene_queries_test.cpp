// What the scene model answers for the services (scene_queries.cpp, the
// pixel maps of images.h, the cached item transform of motion.h), checked
// directly rather than through an SDK record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "images.h"
#include "motion.h"
#include "scene.h"
#include "scene_builder.h"

namespace lwhost {
namespace {

std::vector<std::string> names_of(const std::vector<const VertexMap*>& maps) {
    std::vector<std::string> names;
    for (const VertexMap* map : maps) names.push_back(map->name);
    return names;
}

TEST(SceneQueries, LiveCountsAndBoundsSkipDeletedElements) {
    Scene scene;
    SceneBuilder b(scene);
    auto mesh = b.mesh("/models/box.lwo");
    mesh.point(-1, 2, 3);
    mesh.point(4, -5, 6);
    mesh.point(100, 100, -100);  // deleted below: must not widen the box
    mesh.triangle(0, 1, 2);
    mesh.triangle(2, 1, 0);
    Layer& layer = mesh.current_layer();
    layer.points[2].deleted = true;
    layer.polygons[0].deleted = true;
    EXPECT_EQ(layer.live_point_count(), 2u);
    EXPECT_EQ(layer.live_polygon_count(), 1u);

    BoundingBox box;
    box.add_live_points(layer);
    EXPECT_EQ(box.points, 2u);
    const double expected[6] = {-1, 4, -5, 2, 3, 6};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(box.minmax[k], expected[k]) << k;

    // A second layer widens the same box; an empty layer leaves it alone.
    BoundingBox empty;
    empty.add_live_points(Layer{});
    EXPECT_EQ(empty.points, 0u);
    mesh.layer(3).point(-10, 0, 0);
    box.add_live_points(mesh.current_layer());
    EXPECT_EQ(box.points, 3u);
    EXPECT_EQ(box.minmax[0], -10);
    EXPECT_EQ(box.minmax[1], 4);
}

TEST(SceneQueries, LayersAreFoundByTheirFileNumber) {
    Scene scene;
    SceneBuilder b(scene);
    auto mesh = b.mesh("/models/layers.lwo");
    mesh.layer(4, "four");
    const MeshObject& object = mesh.object();
    ASSERT_EQ(object.layers.size(), 2u);  // layer 0 made with the mesh, then 4
    EXPECT_EQ(object.layer_index_numbered(4), 1);
    EXPECT_EQ(object.layer_numbered(4)->name, "four");
    EXPECT_EQ(object.layer_numbered(2), nullptr);
    EXPECT_EQ(object.layer_index_numbered(2), -1);
    EXPECT_EQ(object.layer_number_end(), 5);
    EXPECT_EQ(MeshObject{}.layer_number_end(), 0);
}

TEST(SceneQueries, FirstMapOfATypeInLayerOrder) {
    Scene scene;
    SceneBuilder b(scene);
    auto mesh = b.mesh("/models/maps.lwo");
    mesh.point(0, 0, 0);
    mesh.weight("w0", 0, 1.0f);
    mesh.layer(1).point(0, 0, 0);
    mesh.uv("second", 0, 0, 0);
    mesh.layer(0).uv("first", 0, 0, 0);
    const VertexMap* uv = mesh.object().first_vmap(kTexUV);
    ASSERT_NE(uv, nullptr);
    EXPECT_EQ(uv->name, "first");
    EXPECT_EQ(mesh.object().first_vmap(fourcc('M', 'O', 'R', 'F')), nullptr);
}

TEST(SceneQueries, TheKeptMapListFollowsNewMapsAndObjectFiles) {
    Scene scene;
    SceneBuilder b(scene);
    auto first = b.mesh("/models/a.lwo");
    first.point(0, 0, 0);
    first.uv("B", 0, 0, 0).weight("W", 0, 1.0f).uv("A", 0, 0, 0);
    const std::vector<const VertexMap*>* kept = &scene.vmap_list(kTexUV);
    EXPECT_EQ(names_of(*kept), (std::vector<std::string>{"B", "A"}));
    EXPECT_EQ(&scene.vmap_list(kTexUV), kept) << "asked again, the same list";
    EXPECT_EQ(names_of(scene.vmap_list(0)), (std::vector<std::string>{"B", "W", "A"}));
    EXPECT_TRUE(scene.vmap_list(fourcc('M', 'O', 'R', 'F')).empty());

    // A map added to an existing layer, then a new object file.
    first.uv("C", 0, 0, 0);
    EXPECT_EQ(names_of(scene.vmap_list(kTexUV)), (std::vector<std::string>{"B", "A", "C"}));
    auto second = b.mesh("/models/b.lwo");
    second.point(0, 0, 0);
    second.uv("A", 0, 0, 0).uv("D", 0, 0, 0);
    EXPECT_EQ(names_of(scene.vmap_list(kTexUV)), (std::vector<std::string>{"B", "A", "C", "D"}));
    EXPECT_EQ(names_of(scene.vmap_list(kTexUV)), names_of(scene.vmaps_of_type(kTexUV)));

    // An object file that goes takes its maps with it.
    scene.meshes.pop_back();
    EXPECT_EQ(names_of(scene.vmap_list(kTexUV)), (std::vector<std::string>{"B", "A", "C"}));
}

TEST(SceneQueries, TheNameLayoutShowsForAnObjectFile) {
    Scene scene;
    SceneBuilder b(scene);
    auto shown = b.mesh("/models/Shown.lwo");
    auto hidden = b.mesh("C:\\models\\plain.name.lwo");
    b.object("Hero", shown);
    b.object("Double", shown);
    EXPECT_EQ(scene.mesh_user_name(shown.index()), "Hero");
    EXPECT_EQ(scene.mesh_user_name(hidden.index()), "plain.name");
    EXPECT_EQ(scene.mesh_user_name(7), "");
    EXPECT_EQ(scene.mesh_user_name(-1), "");
}

TEST(PixmapStore, HandlesOfDestroyedMapsAreRefusedAlsoWhenTheSlotIsReused) {
    PixmapStore store;
    const std::uintptr_t first = store.create(2, 3, int(PixelType::RGBAFP));
    ASSERT_NE(first, 0u);
    Pixmap* map = store.find(first);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->pixel_bytes, 16);
    EXPECT_EQ(map->bytes.size(), 2u * 3u * 16u);
    store.destroy(first);
    EXPECT_EQ(store.find(first), nullptr);
    const std::uintptr_t second = store.create(1, 1, int(PixelType::Grey8));
    ASSERT_NE(second, 0u);
    EXPECT_NE(second, first) << "same slot, new generation";
    EXPECT_EQ(store.find(first), nullptr);
    EXPECT_NE(store.find(second), nullptr);
    store.destroy(first);  // stale: the new map stays
    EXPECT_NE(store.find(second), nullptr);
    EXPECT_EQ(store.find(second + 1), nullptr);
    EXPECT_EQ(store.find(0), nullptr);
    EXPECT_EQ(store.find(second & 0xFFFFFFFFu), nullptr) << "no kind tag";
}

TEST(PixmapStore, RefusesSizesAndTypesItCannotHold) {
    PixmapStore store;
    EXPECT_EQ(store.create(0, 1, 0), 0u);
    EXPECT_EQ(store.create(1, 65536, 0), 0u);
    EXPECT_EQ(store.create(1, 1, 7), 0u);   // the special type has no layout
    EXPECT_EQ(store.create(1, 1, -1), 0u);
    EXPECT_EQ(store.create(65535, 65535, int(PixelType::RGBAFP)), 0u);  // past 1 GiB
    EXPECT_NE(store.create(65535, 1, int(PixelType::RGB24)), 0u);
}

TEST(PixmapStore, ResampleIsNearestNeighbourAndColoursConvertToRgb) {
    PixmapStore store;
    const std::uintptr_t grey = store.create(2, 1, int(PixelType::Grey8));
    store.find(grey)->bytes = {10, 200};
    const std::uintptr_t wide = store.resample(grey, 4, 2);
    ASSERT_NE(wide, 0u);
    EXPECT_EQ(store.find(wide)->bytes, (std::vector<std::uint8_t>{10, 10, 200, 200, 10, 10, 200, 200}));
    EXPECT_EQ(store.find(grey)->rgb24(), (std::vector<std::uint8_t>{10, 10, 10, 200, 200, 200}));
    store.destroy(wide);
    EXPECT_EQ(store.resample(wide, 1, 1), 0u);

    const std::uintptr_t floats = store.create(1, 1, int(PixelType::RGBFP));
    const float rgb[3] = {-0.5f, 0.5f, 2.0f};  // clamped, then rounded: 0.5 * 255 + 0.5 = 128
    std::memcpy(store.find(floats)->pixel(0, 0), rgb, sizeof rgb);
    EXPECT_EQ(store.find(floats)->rgb24(), (std::vector<std::uint8_t>{0, 128, 255}));
    EXPECT_EQ(store.find(floats)->pixel(1, 0), nullptr);
}

TEST(WorldTransformCache, RecomputesForAnotherTimeOrItem) {
    Scene scene;
    SceneBuilder b(scene);
    auto mesh = b.mesh("/models/m.lwo");
    const ItemId a = b.object("a", mesh).position({1, 0, 0});
    const ItemId c = b.object("c", mesh).position({0, 2, 0});
    scene.item(a)->motion[kPositionX].set_key(1.0, 5.0);
    WorldTransformCache cache;
    const double origin[3] = {0, 0, 0};
    double out[3];
    cache.at(scene, a, 0.0).apply(origin, out);
    EXPECT_DOUBLE_EQ(out[0], 1.0);
    cache.at(scene, a, 1.0).apply(origin, out);
    EXPECT_DOUBLE_EQ(out[0], 5.0);
    cache.at(scene, c, 1.0).apply(origin, out);
    EXPECT_DOUBLE_EQ(out[0], 0.0);
    EXPECT_DOUBLE_EQ(out[1], 2.0);
}

}  // namespace
}  // namespace lwhost
