// Vertex maps: sparse rows in first-given order, lookups, renumbering at a
// mesh edit's commit, a layer's maps by (type, name), and the scene's map
// list as "Scene Objects 4" serves it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <lwmeshedt.h>
#include <lwmeshes.h>

#include "host.h"
#include "mesh_edit.h"
#include "scene.h"
#include "scene_builder.h"

namespace lwhost {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using PointRow = std::pair<std::uint32_t, float>;
using CornerRow = std::tuple<std::uint32_t, std::uint32_t, float>;

// Rows of a one-dimensional map, as stored.
std::vector<PointRow> rows_of(const VertexMap& map) {
    std::vector<PointRow> rows;
    for (const VertexMap::PointValue row : map.point_values()) rows.emplace_back(row.point, row.value[0]);
    return rows;
}
std::vector<CornerRow> corner_rows_of(const VertexMap& map) {
    std::vector<CornerRow> rows;
    for (const VertexMap::PolygonValue row : map.polygon_values())
        rows.emplace_back(row.polygon, row.point, row.value[0]);
    return rows;
}
// The first float of a value, -1 when there is none.
float value_at(const VertexMap& map, std::uint32_t point) {
    const float* v = map.get(point);
    return v ? *v : -1.0f;
}
float value_at(const VertexMap& map, std::uint32_t polygon, std::uint32_t point) {
    const float* v = map.get_for_polygon(polygon, point);
    return v ? *v : -1.0f;
}

TEST(VertexMapTest, ValuesKeepTheOrderTheyWereFirstGivenIn) {
    VertexMap map(kTexUV, "UV", 2);
    const float a[2] = {1, 2}, b[2] = {3, 4}, c[2] = {5, 6}, d[2] = {7, 8};
    map.set(5, a);
    map.set(2, b);  // out of order
    map.set(9, c);
    map.set(2, d);  // overwritten in place
    ASSERT_NE(map.get(2), nullptr);
    EXPECT_EQ(map.get(2)[1], 8.0f);
    EXPECT_EQ(map.get(3), nullptr);
    EXPECT_EQ(map.get(10), nullptr);
    EXPECT_EQ(map.get(VertexMap::kNone), nullptr);
    std::vector<std::uint32_t> order;
    for (const auto row : map.point_values()) order.push_back(row.point);
    EXPECT_THAT(order, ElementsAre(5u, 2u, 9u));

    map.set(5, nullptr);  // removed; given again, it comes last
    map.set(4, nullptr);  // no value: nothing to remove
    EXPECT_EQ(map.get(5), nullptr);
    EXPECT_EQ(map.value_count(), 2u);
    map.set(5, b);
    order.clear();
    for (const auto row : map.point_values()) order.push_back(row.point);
    EXPECT_THAT(order, ElementsAre(2u, 9u, 5u));
    EXPECT_EQ(value_at(map, 5), 3.0f);
    EXPECT_EQ(map.storage_fault(), nullptr);
}

TEST(VertexMapTest, AppendsThenAnOutOfOrderWriteThenMoreAppends) {
    VertexMap map(kWeight, "w", 1);
    for (std::uint32_t p = 0; p < 1000; ++p) {  // a run without gaps: no index
        const float w = float(p);
        map.set(p, &w);
    }
    const std::size_t run_bytes = map.memory_bytes();
    EXPECT_EQ(value_at(map, 999), 999.0f);
    EXPECT_EQ(map.memory_bytes(), run_bytes);
    for (std::uint32_t p = 2000; p < 3000; p += 2) {  // past the highest point: appends
        const float w = float(p);
        map.set(p, &w);
    }
    const std::size_t appended_bytes = map.memory_bytes();
    const float early = -5.0f, again = -6.0f;
    map.set(1500, &early);  // below the highest point: the index is built now
    EXPECT_GT(map.memory_bytes(), appended_bytes);
    map.set(1500, &again);
    for (std::uint32_t p = 3000; p < 4000; ++p) {
        const float w = float(p);
        map.set(p, &w);
    }
    for (std::uint32_t p = 0; p < 4100; ++p) {
        float want = p < 1000 || p >= 3000 ? float(p) : p >= 2000 && p % 2 == 0 ? float(p) : -1.0f;
        if (p == 1500) want = -6.0f;
        if (p >= 4000) want = -1.0f;
        ASSERT_EQ(value_at(map, p), want) << p;
    }
    EXPECT_EQ(map.value_count(), 1000u + 500u + 1u + 1000u);
    const auto rows = rows_of(map);
    EXPECT_EQ(rows[999], PointRow(999, 999.0f));
    EXPECT_EQ(rows[1000], PointRow(2000, 2000.0f));
    EXPECT_EQ(rows[1500], PointRow(1500, -6.0f));
    EXPECT_EQ(rows.back(), PointRow(3999, 3999.0f));
    EXPECT_EQ(map.storage_fault(), nullptr);
}

// Random writes and removals against a plain model of the same rules.
TEST(VertexMapTest, AgreesWithASimpleModelUnderRandomWrites) {
    std::mt19937 random(7);
    VertexMap map(kWeight, "w", 1);
    std::vector<PointRow> model;  // in stored order
    std::vector<CornerRow> corner_model;
    auto find = [&](std::uint32_t point) {
        return std::find_if(model.begin(), model.end(), [&](const PointRow& r) { return r.first == point; });
    };
    auto find_corner = [&](std::uint32_t polygon, std::uint32_t point) {
        return std::find_if(corner_model.begin(), corner_model.end(), [&](const CornerRow& r) {
            return std::get<0>(r) == polygon && std::get<1>(r) == point;
        });
    };
    std::uint32_t next = 0, next_polygon = 0;
    auto agree = [&] {
        ASSERT_EQ(rows_of(map), model);
        ASSERT_EQ(corner_rows_of(map), corner_model);
        ASSERT_EQ(map.storage_fault(), nullptr);
        for (std::uint32_t point = 0; point < next + 2; ++point) {
            auto at = find(point);
            ASSERT_EQ(value_at(map, point), at == model.end() ? -1.0f : at->second) << point;
        }
        for (const auto& [polygon, point, v] : corner_model) ASSERT_EQ(value_at(map, polygon, point), v);
        EXPECT_EQ(map.get_for_polygon(next_polygon + 1, 0), nullptr);
    };
    for (int step = 0; step < 20000; ++step) {
        const int what = int(random() % 10);
        const float value = float(step);
        if (what < 5) {  // mostly past the highest point so far, sometimes with a gap; else anywhere
            const std::uint32_t point = what < 3 ? (next += 1 + random() % 3) : random() % (next + 2);
            map.set(point, &value);
            if (auto at = find(point); at != model.end()) at->second = value;
            else model.emplace_back(point, value);
        } else if (what < 7) {  // remove
            const std::uint32_t point = random() % (next + 2);
            map.set(point, nullptr);
            if (auto at = find(point); at != model.end()) model.erase(at);
        } else if (what < 9) {  // a corner, mostly of the polygon added last
            const std::uint32_t polygon = random() % 4 == 0 ? random() % (next_polygon + 1) : next_polygon;
            const std::uint32_t point = random() % 40;
            if (polygon == next_polygon && random() % 8 == 0) ++next_polygon;
            map.set_for_polygon(polygon, point, &value);
            if (auto at = find_corner(polygon, point); at != corner_model.end()) std::get<2>(*at) = value;
            else corner_model.emplace_back(polygon, point, value);
        } else {
            const std::uint32_t polygon = random() % (next_polygon + 1), point = random() % 40;
            map.set_for_polygon(polygon, point, nullptr);
            if (auto at = find_corner(polygon, point); at != corner_model.end()) corner_model.erase(at);
        }
        if (step % 1000 == 999) {
            SCOPED_TRACE("step " + std::to_string(step));
            ASSERT_NO_FATAL_FAILURE(agree());
        }
    }
    // Most values removed: the rows shrink, and what is left is still found.
    for (std::size_t k = 0; k < model.size(); ++k)
        if (k % 4 != 0) map.set(model[k].first, nullptr);
    for (std::size_t k = 0; k < corner_model.size(); ++k)
        if (k % 4 != 0) map.set_for_polygon(std::get<0>(corner_model[k]), std::get<1>(corner_model[k]), nullptr);
    for (std::size_t k = model.size(); k-- > 0;)
        if (k % 4 != 0) model.erase(model.begin() + std::ptrdiff_t(k));
    for (std::size_t k = corner_model.size(); k-- > 0;)
        if (k % 4 != 0) corner_model.erase(corner_model.begin() + std::ptrdiff_t(k));
    ASSERT_NO_FATAL_FAILURE(agree());
    EXPECT_EQ(map.value_count(), model.size());
    EXPECT_EQ(map.polygon_value_count(), corner_model.size());
}

TEST(VertexMapTest, PerPolygonValuesByPolygonAndPoint) {
    VertexMap map(kTexUV, "UV", 2);
    const float a[2] = {0.1f, 0.2f}, b[2] = {0.3f, 0.4f};
    map.set_for_polygon(3, 7, a);
    map.set_for_polygon(3, 2, b);
    map.set_for_polygon(1, 7, b);  // an earlier polygon, same point
    EXPECT_EQ(value_at(map, 3, 7), 0.1f);
    EXPECT_EQ(value_at(map, 1, 7), 0.3f);
    EXPECT_EQ(map.get_for_polygon(3, 5), nullptr);
    EXPECT_EQ(map.get_for_polygon(2, 7), nullptr);
    EXPECT_EQ(map.get(7), nullptr);  // per-point values are apart
    map.set_for_polygon(3, 7, nullptr);
    EXPECT_EQ(map.get_for_polygon(3, 7), nullptr);
    EXPECT_EQ(map.polygon_value_count(), 2u);
    // A polygon with many corners, given one by one.
    for (std::uint32_t k = 0; k < 100; ++k) {
        const float uv[2] = {float(k), 0};
        map.set_for_polygon(9, 1000 - k, uv);
    }
    for (std::uint32_t k = 0; k < 100; ++k) ASSERT_EQ(value_at(map, 9, 1000 - k), float(k));
    const auto rows = corner_rows_of(map);
    ASSERT_EQ(rows.size(), 102u);
    EXPECT_EQ(rows[0], CornerRow(3, 2, 0.3f));
    EXPECT_EQ(rows[1], CornerRow(1, 7, 0.3f));
    EXPECT_EQ(rows[2], CornerRow(9, 1000, 0.0f));
    EXPECT_EQ(map.storage_fault(), nullptr);
}

TEST(VertexMapTest, RenumberingKeepsWhatStaysInOrder) {
    VertexMap map(kWeight, "w", 1);
    for (std::uint32_t p : {4u, 0u, 3u, 1u, 5u}) {
        const float w = float(p);
        map.set(p, &w);
        map.set_for_polygon(p / 2, p, &w);  // polygons 2, 0, 1, 0, 2
    }
    // Points 1 and 3 go; polygon 1 goes; point 5 is past the list.
    map.renumber({0, -1, 1, -1, 2}, {0, -1, 1});
    EXPECT_THAT(rows_of(map), ElementsAre(PointRow(2, 4.0f), PointRow(0, 0.0f)));
    EXPECT_THAT(corner_rows_of(map), ElementsAre(CornerRow(1, 2, 4.0f), CornerRow(0, 0, 0.0f)));
    EXPECT_EQ(value_at(map, 2), 4.0f);
    EXPECT_EQ(value_at(map, 1), -1.0f);
    EXPECT_EQ(value_at(map, 1, 2), 4.0f);
    EXPECT_EQ(map.storage_fault(), nullptr);
}

TEST(VertexMapTest, MemoryFollowsTheValuesNotThePoints) {
    Layer layer;
    layer.points.resize(1000000);
    VertexMap& map = layer.vmap(kTexUV, "sparse", 2);
    for (std::uint32_t k = 0; k < 10; ++k) {
        const float uv[2] = {float(k), 0};
        map.set(k * 99999, uv);
    }
    for (std::uint32_t k = 0; k < 10; ++k) EXPECT_EQ(value_at(map, k * 99999), float(k));  // builds the index
    EXPECT_EQ(map.get(5), nullptr);
    EXPECT_LT(map.memory_bytes(), 1024u);  // a dense index alone would be 4 MB
    // A map that only marks points still answers with a value.
    VertexMap& pick = layer.vmap(fourcc('P', 'I', 'C', 'K'), "marked", 0);
    pick.set(3, nullptr);
    EXPECT_EQ(pick.get(3), nullptr);
    const float none[1] = {0};
    pick.set(3, none);
    EXPECT_NE(pick.get(3), nullptr);
}

TEST(VertexMapListTest, MapsAreFoundByTypeAndNameAndStayInPlace) {
    Layer layer;
    VertexMap& first = layer.vmap(kTexUV, "map0", 2);
    for (int i = 0; i < 2000; ++i) {
        layer.vmap(kTexUV, "map" + std::to_string(i), 2);
        layer.vmap(kWeight, "map" + std::to_string(i), 1);  // same name, other type
    }
    ASSERT_EQ(layer.vmaps.size(), 4000u);
    EXPECT_EQ(&layer.vmaps[0], &first);  // additions do not move maps
    for (int i = 0; i < 2000; i += 7) {
        const std::string name = "map" + std::to_string(i);
        ASSERT_EQ(layer.vmaps.index_of(kWeight, name), std::size_t(2 * i + 1)) << name;
        ASSERT_EQ(layer.vmaps.index_of(kTexUV, name), std::size_t(2 * i)) << name;
        EXPECT_EQ(layer.find_vmap(kTexUV, name), &layer.vmaps[std::size_t(2 * i)]);
        EXPECT_EQ(layer.find_vmap(kWeight, name)->dimension, 1);
    }
    EXPECT_EQ(layer.find_vmap(kTexUV, "map2000"), nullptr);
    EXPECT_EQ(layer.find_vmap(fourcc('M', 'O', 'R', 'F'), "map1"), nullptr);
    EXPECT_EQ(layer.vmaps.index_of(kTexUV, "map"), VertexMapList::npos);
    EXPECT_EQ(&layer.vmap(kWeight, "map5", 3), layer.find_vmap(kWeight, "map5"));  // found: keeps dimension 1
    EXPECT_EQ(layer.vmaps.size(), 4000u);

    // A copy has maps of its own, found under the same names, in the same order.
    const float uv[2] = {0.5f, 0.5f};
    first.set(0, uv);
    Layer copy = layer;
    ASSERT_EQ(copy.vmaps.size(), 4000u);
    ASSERT_NE(copy.find_vmap(kTexUV, "map0"), nullptr);
    EXPECT_NE(copy.find_vmap(kTexUV, "map0"), &first);
    EXPECT_EQ(copy.vmaps.index_of(kWeight, "map1999"), 3999u);
    copy.find_vmap(kTexUV, "map0")->set(0, nullptr);
    EXPECT_NE(first.get(0), nullptr);
    Layer moved = std::move(copy);
    EXPECT_EQ(moved.vmaps.index_of(kWeight, "map1999"), 3999u);
    layer = moved;
    ASSERT_NE(layer.find_vmap(kTexUV, "map0"), nullptr);
    EXPECT_EQ(layer.find_vmap(kTexUV, "map0")->get(0), nullptr);
    EXPECT_EQ(&layer.vmaps[3], layer.find_vmap(kWeight, "map1"));
}

TEST(VertexMapListTest, GenerationMovesWithTheListsNotWithValues) {
    Layer layer;
    VertexMap& map = layer.vmap(kWeight, "w", 1);
    std::uint64_t before = VertexMapList::generation();
    const float w = 1.0f;
    map.set(0, &w);
    layer.vmap(kWeight, "w", 1);  // found, not added
    EXPECT_EQ(VertexMapList::generation(), before);
    layer.vmap(kWeight, "v", 1);
    EXPECT_NE(VertexMapList::generation(), before);
    before = VertexMapList::generation();
    auto copy = std::make_unique<Layer>(layer);
    EXPECT_NE(VertexMapList::generation(), before);
    before = VertexMapList::generation();
    layer = std::move(*copy);
    EXPECT_NE(VertexMapList::generation(), before);
    before = VertexMapList::generation();
    copy.reset();
    EXPECT_NE(VertexMapList::generation(), before);
}

// ---------------------------------------------------------------------------
// The scene's list

std::vector<std::string> names_of(const std::vector<const VertexMap*>& maps) {
    std::vector<std::string> names;
    for (const VertexMap* map : maps) names.push_back(map->name);
    return names;
}

std::vector<std::string> listed(const LWObjectFuncs* objects, LWID type) {
    std::vector<std::string> names;
    for (int i = 0, n = objects->numVMaps(type); i < n; ++i) names.push_back(objects->vmapName(type, i));
    return names;
}

TEST(SceneVmapListTest, EachNameOnceInTheOrderFirstMet) {
    Host host;
    SceneBuilder b(host.scene);
    auto first = b.mesh("/m/a.lwo");
    first.point(0, 0, 0);
    first.uv("B", 0, 0, 0).uv("A", 0, 0, 0).weight("A", 0, 1);
    first.layer(1);
    first.point(0, 0, 0);
    first.uv("C", 0, 0, 0).uv("A", 0, 0, 0);
    auto second = b.mesh("/m/b.lwo");
    second.point(0, 0, 0);
    second.weight("W", 0, 1).uv("C", 0, 0, 0).uv("D", 0, 0, 0).weight("A", 0, 1);
    ASSERT_THAT(names_of(host.scene.vmaps_of_type(kTexUV)), ElementsAre("B", "A", "C", "D"));
    EXPECT_THAT(names_of(host.scene.vmaps_of_type(kWeight)), ElementsAre("A", "W"));
    EXPECT_THAT(names_of(host.scene.vmaps_of_type(0)), ElementsAre("B", "A", "A", "C", "W", "D"));
    EXPECT_EQ(host.scene.vmaps_of_type(kTexUV)[1], first.object().layers[0].find_vmap(kTexUV, "A"));

    auto* objects = static_cast<LWObjectFuncs*>(host.global("Scene Objects 4", 0));
    ASSERT_NE(objects, nullptr);
    EXPECT_THAT(listed(objects, LWVMAP_TXUV), ElementsAre("B", "A", "C", "D"));
    EXPECT_EQ(objects->vmapType(4), LWVMAP_WGHT);

    // Added maps show at once: by the builder, in a new object file, and by
    // a mesh edit, whose layer copy replaces the layer at the commit.
    first.layer(1).uv("E", 0, 0, 0);
    EXPECT_THAT(listed(objects, LWVMAP_TXUV), ElementsAre("B", "A", "C", "E", "D"));
    auto third = b.mesh("/m/c.lwo");
    third.point(0, 0, 0);
    third.weight("X", 0, 1);
    EXPECT_THAT(listed(objects, LWVMAP_WGHT), ElementsAre("A", "W", "X"));
    host.scene.current_mesh = third.index();
    MeshEditOp* op = begin_mesh_edit(host, 0, 0, 0);
    ASSERT_NE(op, nullptr);
    float uv[2] = {0.5f, 0.5f};
    LWPntID point = reinterpret_cast<LWPntID>(point_handle(third.index(), 0, 0));
    ASSERT_EQ(op->pntVMap(op->state, point, LWVMAP_TXUV, "F", 2, uv), EDERR_NONE);
    EXPECT_THAT(listed(objects, LWVMAP_TXUV), ElementsAre("B", "A", "C", "E", "D"));  // not committed yet
    op->done(op->state, EDERR_NONE, 0);
    EXPECT_THAT(listed(objects, LWVMAP_TXUV), ElementsAre("B", "A", "C", "E", "D", "F"));
    EXPECT_EQ(objects->vmapDim(LWVMAP_TXUV, 5), 2);
    EXPECT_EQ(objects->numVMaps(0), 9);
    EXPECT_THAT(check_scene(host.scene), IsEmpty());
}

// Values follow their points when a mesh edit drops points and polygons.
TEST(SceneVmapListTest, CommitRenumbersValuesAfterRemovals) {
    Host host;
    SceneBuilder b(host.scene);
    auto mesh = b.mesh("/m/strip.lwo");
    for (int i = 0; i < 6; ++i) mesh.point(i, 0, 0);
    const std::uint32_t t0 = mesh.triangle(0, 1, 2), t1 = mesh.triangle(2, 3, 4), t2 = mesh.triangle(3, 4, 5);
    for (std::uint32_t p : {5u, 0u, 3u, 2u, 4u}) mesh.weight("w", p, float(p));
    mesh.uv_for_polygon("UV", t2, 5, 0.5f, 0.5f).uv_for_polygon("UV", t0, 1, 0.1f, 0.1f);
    mesh.uv_for_polygon("UV", t1, 4, 0.4f, 0.4f);
    host.scene.current_mesh = mesh.index();
    MeshEditOp* op = begin_mesh_edit(host, 0, 0, 0);
    ASSERT_NE(op, nullptr);
    ASSERT_EQ(op->remPoint(op->state, reinterpret_cast<LWPntID>(point_handle(mesh.index(), 0, 1))), EDERR_NONE);
    ASSERT_EQ(op->remPoly(op->state, reinterpret_cast<LWPolID>(polygon_handle(mesh.index(), 0, t1))), EDERR_NONE);
    op->done(op->state, EDERR_NONE, 0);

    // Point 1 and the triangles using it (t0) or removed (t1) are gone:
    // points 2..5 are now 1..4 and t2 is polygon 0.
    const Layer& layer = host.scene.meshes[std::size_t(mesh.index())]->layers[0];
    ASSERT_EQ(layer.points.size(), 5u);
    ASSERT_EQ(layer.polygons.size(), 1u);
    ASSERT_NE(layer.find_vmap(kWeight, "w"), nullptr);
    ASSERT_NE(layer.find_vmap(kTexUV, "UV"), nullptr);
    EXPECT_THAT(rows_of(*layer.find_vmap(kWeight, "w")),
                ElementsAre(PointRow(4, 5.0f), PointRow(0, 0.0f), PointRow(2, 3.0f), PointRow(1, 2.0f),
                            PointRow(3, 4.0f)));
    EXPECT_THAT(corner_rows_of(*layer.find_vmap(kTexUV, "UV")), ElementsAre(CornerRow(0, 4, 0.5f)));
    EXPECT_EQ(value_at(*layer.find_vmap(kWeight, "w"), 4), 5.0f);
    EXPECT_THAT(check_scene(host.scene), IsEmpty());
}

}  // namespace
}  // namespace lwhost
