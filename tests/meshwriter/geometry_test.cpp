// The static exporter's collection through Modeler's mesh edit: which
// polygons count as what, texture coordinates, smoothed normals, the layer
// choice, the selection of invalid polygons, the object's surfaces, and what
// happens when the host is short of services, memory or honesty.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include <lwsurf.h>
#include <lwtxtr.h>

#include "mapkit.h"
#include "mesh_fixture.h"

namespace {

using meshtest::kDegree;
using meshtest::lw_point;
using meshtest::lw_polygon;
using meshtest::MeshFixture;

const ExportSurface* surface_named(const MeshExportState& state, const char* name) {
    void* found = nullptr;
    if (strmap_get(&state.geometry.surface_map, name, &found, map_string_hash(name)) != MAP_OK) return nullptr;
    return static_cast<const ExportSurface*>(found);
}

TEST(MeshCollection, ClassifiesPolygonsAndCountsTriangles) {
    MeshFixture f;
    auto m = f.builder.mesh("/models/shapes.lwo");
    auto a = m.point(0, 0, 0), b = m.point(0, 1, 0), c = m.point(1, 1, 0), d = m.point(1, 0, 0);
    auto e = m.point(2, 0, 0), g = m.point(2, 1, 0), h = m.point(3, 0, 0);
    for (auto p : {a, b, c, d}) m.uv("UVMap", p, 0.5f, 0.5f);
    const auto quad = m.quad(a, b, c, d);
    const auto triangle = m.triangle(a, b, c);
    const auto subpatch = m.polygon({d, e, g}, "Default", lwhost::kSubdivision);
    const auto two = m.polygon({a, e});
    const auto one = m.polygon({h});
    const auto hexagon = m.polygon({a, b, c, d, e, g});
    const auto curve = m.polygon({a, b, c, d, e, g}, "Default", lwhost::kCurve);
    const auto bare = m.triangle(e, g, h);  // no UV value at any corner
    f.collect(m.index());

    EXPECT_EQ(f.state.geometry.polygon_count, 8);
    EXPECT_EQ(f.state.geometry.point_count, 7);
    {  // a quad counts 2, a triangle 1; the triangle without UVs is left out
        EXPECT_EQ(f.state.counts.valid_triangles, 3);
        EXPECT_EQ(f.state.counts.no_uv_triangles, 1);
        EXPECT_EQ(f.state.counts.degenerate, 2);
        EXPECT_EQ(f.state.counts.five_plus, 1);
        EXPECT_EQ(f.state.counts.non_face, 2);  // a subpatch triangle and a curve of six points
    }
    {  // only faces of 3 or 4 points are valid; a subpatch triangle gets no face normal
        EXPECT_EQ(f.polygon(m.index(), 0, quad).valid, 1);
        EXPECT_EQ(f.polygon(m.index(), 0, triangle).valid, 1);
        EXPECT_EQ(f.polygon(m.index(), 0, bare).valid, 1);
        for (auto p : {subpatch, two, one, hexagon, curve}) EXPECT_EQ(f.polygon(m.index(), 0, p).valid, 0) << p;
        const ExportPolygon& sub = f.polygon(m.index(), 0, subpatch);
        EXPECT_EQ(sub.size, 3);
        EXPECT_EQ(sub.corners, nullptr);
        for (double k : sub.normal) EXPECT_EQ(k, 0.0);
    }
    {  // the host's face normal: (b - a) x (d - a) = (0, 1, 0) x (1, 0, 0) = (0, 0, -1)
        const ExportPolygon& q = f.polygon(m.index(), 0, quad);
        EXPECT_EQ(q.normal[0], 0.0);
        EXPECT_EQ(q.normal[1], 0.0);
        EXPECT_EQ(q.normal[2], -1.0);
        EXPECT_EQ(q.point_ids[3], lw_point(m.index(), 0, d));
        EXPECT_EQ(q.corners[2].point->position[0], 1.0);
        EXPECT_EQ(q.corners[2].point->position[1], 1.0);
        EXPECT_EQ(std::string(q.surface->text), "Default");
        EXPECT_EQ(q.layer, 1);  // Modeler numbers layers from 1
    }
    {  // "Don't verify UV information" moves the triangle without UVs and back
        f.state.verify_uv = 0;
        mesh_count_polygons(f.state);
        EXPECT_EQ(f.state.counts.valid_triangles, 4);
        EXPECT_EQ(f.state.counts.no_uv_triangles, 0);
        f.state.verify_uv = 1;
        mesh_count_polygons(f.state);
        EXPECT_EQ(f.state.counts.valid_triangles, 3);
        EXPECT_EQ(f.state.counts.no_uv_triangles, 1);
    }
}

TEST(MeshCollection, TakesEachPolygonsUvsFromTheFirstMapCoveringAllItsCorners) {
    MeshFixture f;
    auto m = f.builder.mesh("/models/uv.lwo");
    auto p0 = m.point(0, 0, 0), p1 = m.point(1, 0, 0), p2 = m.point(0, 1, 0);
    auto q0 = m.point(0, 0, 1), q1 = m.point(1, 0, 1), q2 = m.point(0, 1, 1);
    auto r0 = m.point(0, 0, 2), r1 = m.point(1, 0, 2), r2 = m.point(0, 1, 2);
    auto s0 = m.point(0, 0, 3), s1 = m.point(1, 0, 3), s2 = m.point(0, 1, 3);
    const auto partly_a = m.triangle(p0, p1, p2);
    const auto both = m.triangle(q0, q1, q2);
    const auto neither = m.triangle(r0, r1, r2);
    const auto seam = m.triangle(s0, s1, s2);
    // Map A (first in scene order): two corners of partly_a, all of both, one of neither.
    m.uv("A", p0, 0.1f, 0.2f).uv("A", p1, 0.3f, 0.4f);
    m.uv("A", q0, 0.5f, 0.5f).uv("A", q1, 0.6f, 0.5f).uv("A", q2, 0.5f, 0.6f);
    m.uv("A", r0, 0.7f, 0.8f);
    m.uv("A", s0, 0.0f, 0.0f).uv("A", s1, 1.0f, 0.0f).uv("A", s2, 0.0f, 1.0f);
    m.uv_for_polygon("A", seam, s2, 0.25f, 0.75f);
    // Map B: every corner of partly_a and both.
    m.uv("B", p0, 0.9f, 0.9f).uv("B", p1, 0.8f, 0.8f).uv("B", p2, 0.7f, 0.7f);
    m.uv("B", q0, 0.0f, 0.0f).uv("B", q1, 0.0f, 0.0f).uv("B", q2, 0.0f, 0.0f);
    f.collect(m.index());

    ASSERT_EQ(f.state.geometry.uv_map_count, 2);
    {  // A covers only part: B supplies every corner and names the map
        const ExportPolygon& p = f.polygon(m.index(), 0, partly_a);
        EXPECT_EQ(p.has_uv, 1);
        ASSERT_NE(p.uv_map, nullptr);
        EXPECT_STREQ(p.uv_map, "B");
        EXPECT_EQ(p.corners[0].u, 0.9f);
        EXPECT_EQ(p.corners[1].v, 0.8f);
        EXPECT_EQ(p.corners[2].u, 0.7f);
    }
    {  // covered by both: the first map wins
        const ExportPolygon& p = f.polygon(m.index(), 0, both);
        ASSERT_NE(p.uv_map, nullptr);
        EXPECT_STREQ(p.uv_map, "A");
        EXPECT_EQ(p.corners[1].u, 0.6f);
        EXPECT_EQ(p.corners[2].v, 0.6f);
    }
    {  // covered by none: no UVs, but the corner before the first gap keeps A's value
        const ExportPolygon& p = f.polygon(m.index(), 0, neither);
        EXPECT_EQ(p.has_uv, 0);
        EXPECT_EQ(p.uv_map, nullptr);
        EXPECT_EQ(p.corners[0].u, 0.7f);
        EXPECT_EQ(p.corners[0].v, 0.8f);
        EXPECT_EQ(p.corners[1].u, 0.0f);
        EXPECT_EQ(p.corners[2].v, 0.0f);
    }
    {  // the per-polygon value of a seam corner comes before the point's own
        const ExportPolygon& p = f.polygon(m.index(), 0, seam);
        EXPECT_EQ(p.corners[1].u, 1.0f);
        EXPECT_EQ(p.corners[2].u, 0.25f);
        EXPECT_EQ(p.corners[2].v, 0.75f);
    }
    EXPECT_EQ(f.state.counts.valid_triangles, 3);
    EXPECT_EQ(f.state.counts.no_uv_triangles, 1);

    {  // an object without UV maps: nothing has UVs, every value stays 0
        MeshFixture g;
        auto n = g.builder.mesh("/models/plain.lwo");
        auto a = n.point(0, 0, 0), b = n.point(1, 0, 0), c = n.point(0, 1, 0);
        n.triangle(a, b, c);
        g.collect(n.index());
        EXPECT_EQ(g.state.geometry.uv_map_count, 0);
        const ExportPolygon& p = g.polygon(n.index(), 0, 0);
        EXPECT_EQ(p.has_uv, 0);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(p.corners[k].u + p.corners[k].v, 0.0f);
        EXPECT_EQ(g.state.counts.no_uv_triangles, 1);
    }
}

// Two triangles hinged on the edge A-B: the first lies in z = 0 with normal
// (0, 0, 1); the second is turned by `degrees` about the x axis, so its
// normal is (0, -sin, cos) and the two normals are `degrees` apart.
struct Hinge {
    MeshFixture f;
    int mesh = -1;
    std::uint32_t first = 0, second = 0;

    Hinge(double degrees, double smoothing_degrees, const char* second_surface = "Skin") {
        auto m = f.builder.mesh("/models/hinge.lwo");
        mesh = m.index();
        const double t = degrees * kDegree;
        auto a = m.point(0, 0, 0), b = m.point(1, 0, 0), c = m.point(0.5, 1, 0);
        auto d = m.point(0.5, -std::cos(t), -std::sin(t));
        first = m.triangle(a, b, c, "Skin");
        second = m.triangle(b, a, d, second_surface);
        f.builder.surface(m, "Skin").smoothing_degrees(smoothing_degrees);
        if (std::string(second_surface) != "Skin") f.builder.surface(m, second_surface).smoothing_degrees(0);
        f.collect(mesh);
    }
    const ExportPolygon& polygon(std::uint32_t index) const { return f.polygon(mesh, 0, index); }
};

void expect_normal(const double actual[3], const double expected[3], double tolerance, const char* what) {
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(actual[k], expected[k], tolerance) << what << " axis " << k;
}

TEST(MeshCollection, SmoothsCornersWithinTheSurfacesAngle) {
    const double up[3] = {0, 0, 1};
    {  // 89 degrees apart, smoothing 89.5: both corners of a shared point get the mean
        Hinge h(89.0, 89.5);
        const double t = 89.0 * kDegree;
        double mean[3] = {0, -std::sin(t), 1 + std::cos(t)};
        meshtest::normalize3(mean);
        const ExportPolygon& first = h.polygon(h.first);
        const ExportPolygon& second = h.polygon(h.second);
        expect_normal(corner_normal(first, 0).data(), mean, 1e-6, "first at A");
        expect_normal(corner_normal(first, 1).data(), mean, 1e-6, "first at B");
        expect_normal(corner_normal(second, 0).data(), mean, 1e-6, "second at B");
        expect_normal(corner_normal(second, 1).data(), mean, 1e-6, "second at A");
        expect_normal(corner_normal(first, 2).data(), up, 0.0, "first at C, shared with none");
        // The corner normal is the float normalisation of the double sum.
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(corner_normal(first, 0)[k], static_cast<double>(static_cast<float>(corner_normal(first, 0)[k])));
    }
    {  // 90.5 degrees apart: each keeps its own face normal
        Hinge h(90.5, 89.5);
        const double t = 90.5 * kDegree;
        const double turned[3] = {0, -std::sin(t), std::cos(t)};
        expect_normal(corner_normal(h.polygon(h.first), 0).data(), up, 0.0, "first at A");
        expect_normal(corner_normal(h.polygon(h.second), 1).data(), turned, 1e-6, "second at A");
    }
    {  // smoothing angle 0: flat, every corner carries the host's face normal unchanged
        Hinge h(10.0, 0.0);
        const ExportPolygon& second = h.polygon(h.second);
        for (int c = 0; c < 3; ++c) {
            for (int k = 0; k < 3; ++k) EXPECT_EQ(corner_normal(second, c)[k], second.normal[k]);
        }
    }
    {  // only the polygon's own surface decides: a flat neighbour is still averaged in
        Hinge h(45.0, 89.5, "Flat");
        const double t = 45.0 * kDegree;
        double mean[3] = {0, -std::sin(t), 1 + std::cos(t)};
        meshtest::normalize3(mean);
        expect_normal(corner_normal(h.polygon(h.first), 0).data(), mean, 1e-6, "smooth face at A");
        const ExportPolygon& flat = h.polygon(h.second);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(corner_normal(flat, 1)[k], flat.normal[k]);
    }
}

TEST(MeshCollection, LayerChoiceRemarksPolygonsWithoutCollectingAgain) {
    MeshFixture f;
    auto m = f.builder.mesh("/models/layers.lwo");
    auto a = m.point(0, 0, 0), b = m.point(0, 1, 0), c = m.point(1, 1, 0), d = m.point(1, 0, 0);
    m.quad(a, b, c, d);
    m.layer(1);
    auto e = m.point(0, 0, 1), g = m.point(1, 0, 1), h = m.point(0, 1, 1);
    m.triangle(e, g, h);
    m.polygon({e, g});
    m.layer(2);  // empty
    f.host.scene.foreground_layers = 0b010;
    f.collect(m.index());

    ASSERT_EQ(f.state.geometry.polygon_count, 3);
    const auto counts = [&] {
        return std::vector<int>{f.state.counts.valid_triangles, f.state.counts.no_uv_triangles, f.state.counts.degenerate,
                                f.state.counts.five_plus, f.state.counts.non_face};
    };
    const std::vector<int> all = counts();
    EXPECT_EQ(all, (std::vector<int>{0, 3, 1, 0, 0}));
    const double normal_before = corner_normal(f.polygon(m.index(), 0, 0), 0)[2];

    f.state.export_layers = MESH_LAYERS_FOREGROUND;
    mesh_mark_layers(f.state);
    EXPECT_EQ(counts(), (std::vector<int>{0, 1, 1, 0, 0}));
    EXPECT_EQ(f.polygon(m.index(), 0, 0).included, 0);
    EXPECT_EQ(corner_normal(f.polygon(m.index(), 0, 0), 0)[2], normal_before);

    f.state.export_layers = MESH_LAYERS_ALL;
    mesh_mark_layers(f.state);
    EXPECT_EQ(counts(), all);

    // Foreground only, with nothing in the foreground: every counter 0.
    f.host.scene.foreground_layers = 0b100;
    f.state.export_layers = MESH_LAYERS_FOREGROUND;
    mesh_mark_layers(f.state);
    EXPECT_EQ(counts(), (std::vector<int>{0, 0, 0, 0, 0}));
}

TEST(MeshCollection, SelectsTheInvalidPolygonsOfARowOnceTheEditEnds) {
    MeshFixture f;
    auto m = f.builder.mesh("/models/bad.lwo");
    auto a = m.point(0, 0, 0), b = m.point(0, 1, 0), c = m.point(1, 1, 0), d = m.point(1, 0, 0);
    auto e = m.point(2, 0, 0), g = m.point(2, 1, 0);
    for (auto p : {a, b, c}) m.uv("UVMap", p, 0.5f, 0.5f);
    const auto with_uv = m.triangle(a, b, c);
    const auto without_uv = m.quad(a, b, c, d);  // d has no UV
    const auto two = m.polygon({a, e});
    const auto hexagon = m.polygon({a, b, c, d, e, g});
    const auto curve_hexagon = m.polygon({a, b, c, d, e, g}, "Default", lwhost::kCurve);
    const auto patch = m.polygon({a, b, c}, "Default", lwhost::kPatch);
    m.layer(1);
    auto h = m.point(5, 5, 5), i = m.point(6, 5, 5), j = m.point(5, 6, 5);
    const auto background_bare = m.triangle(h, i, j);
    f.host.scene.foreground_layers = 0b01;

    struct Case {
        int row;
        int export_layers;
        int verify_uv;
        std::vector<std::pair<int, std::uint32_t>> selected;  // (layer, polygon)
    };
    const std::vector<Case> cases = {
        // without UVs whatever "Don't verify" says, in every layer
        {MESH_ROW_NO_UV, MESH_LAYERS_ALL, 0, {{0, without_uv}, {1, background_bare}}},
        // included polygons only
        {MESH_ROW_NO_UV, MESH_LAYERS_FOREGROUND, 1, {{0, without_uv}}},
        {MESH_ROW_DEGENERATE, MESH_LAYERS_ALL, 1, {{0, two}}},
        // more than four points, of any type
        {MESH_ROW_FIVE_PLUS, MESH_LAYERS_ALL, 1, {{0, hexagon}, {0, curve_hexagon}}},
        {MESH_ROW_NON_FACE, MESH_LAYERS_ALL, 1, {{0, curve_hexagon}, {0, patch}}},
        {7, MESH_LAYERS_ALL, 1, {}},
    };
    for (const Case& test : cases) {
        for (auto& layer : f.host.scene.meshes[0]->layers)
            for (auto& polygon : layer.polygons) polygon.selected = false;
        f.collect(m.index());
        f.state.verify_uv = test.verify_uv;
        f.state.export_layers = test.export_layers;
        mesh_mark_layers(f.state);
        mesh_select_invalid(f.state, test.row);
        EXPECT_EQ(f.state.selecting, -1);
        f.end_edit(EDSELM_FORCEPOLS);
        mesh_release(f.state);
        f.state.export_layers = MESH_LAYERS_ALL;
        std::vector<std::pair<int, std::uint32_t>> selected;
        const auto& layers = f.host.scene.meshes[0]->layers;
        for (std::size_t l = 0; l < layers.size(); ++l)
            for (std::uint32_t p = 0; p < layers[l].polygons.size(); ++p)
                if (layers[l].polygons[p].selected) selected.emplace_back(int(l), p);
        EXPECT_EQ(selected, test.selected) << "row " << test.row;
    }
    EXPECT_EQ(f.host.scene.selection_mode, 1) << "Modeler shows polygons";
    (void)with_uv;
}

TEST(MeshCollection, RecordsTheObjectsOwnSurfaces) {
    MeshFixture f;
    auto other = f.builder.mesh("/models/other.lwo");
    f.builder.surface(other, "Skin").smoothing_degrees(10);
    f.builder.surface(other, "Elsewhere");
    auto m = f.builder.mesh("/models/own.lwo");
    auto a = m.point(0, 0, 0), b = m.point(1, 0, 0), c = m.point(0, 1, 0);
    m.triangle(a, b, c, "Skin");
    const int planar = f.builder.image("planar.png", 4, 4);
    const int painted = f.builder.image("painted.png", 4, 4);
    f.builder.surface(m, "Skin")
        .smoothing_degrees(30)
        .procedural_layer()
        .image_layer(planar, lwhost::Projection::Planar)
        .uv_image_layer(painted, "UVMap");
    f.builder.surface(m, "Bare");
    {
        f.collect(m.index());
        EXPECT_EQ(f.state.object_name, "/models/own.lwo");
        EXPECT_EQ(f.state.geometry.surfaces.size(), 2u);
        const ExportSurface* skin = surface_named(f.state, "Skin");
        ASSERT_NE(skin, nullptr);
        EXPECT_DOUBLE_EQ(skin->smoothing_angle, 30 * kDegree);
        EXPECT_EQ(skin->texture_image, "painted.png");  // the UV-projected layer, not the planar one
        EXPECT_EQ(surface_named(f.state, "Elsewhere"), nullptr);
        EXPECT_EQ(f.state.geometry.polygons[0].surface->surface, skin);
    }
    {  // an unnamed object records every surface of the host
        f.end_edit(0);
        mesh_release(f.state);
        f.begin(m.index());
        f.state.object_name.clear();
        ASSERT_EQ(mesh_allocate(f.state), EXPORT_OK);
        EXPECT_EQ(f.state.geometry.surfaces.size(), 4u);
        EXPECT_NE(surface_named(f.state, "Elsewhere"), nullptr);
    }
    {  // without the texture services the smoothing angle stays, the image does not
        f.end_edit(0);
        mesh_release(f.state);
        f.host.withhold(LWTEXTUREFUNCS_GLOBAL);
        f.collect(m.index());
        const ExportSurface* skin = surface_named(f.state, "Skin");
        ASSERT_NE(skin, nullptr);
        EXPECT_DOUBLE_EQ(skin->smoothing_angle, 30 * kDegree);
        EXPECT_EQ(skin->texture_image, "");
        f.host.serve(LWTEXTUREFUNCS_GLOBAL);
    }
    {  // without the surface services there are no surfaces and so no smoothing
        f.end_edit(0);
        mesh_release(f.state);
        f.host.withhold(LWSURFACEFUNCS_GLOBAL);
        f.collect(m.index());
        EXPECT_EQ(f.state.geometry.surfaces.size(), 0u);
        EXPECT_EQ(f.state.geometry.polygons[0].surface->surface, nullptr);
        EXPECT_EQ(std::string(f.state.geometry.polygons[0].surface->text), "Skin");
    }
}

TEST(MeshCollection, CopesWithMissingServicesFailedAllocationsAndOvereagerScans) {
    {  // no "Scene Objects 4": nothing is collected, every counter is 0
        MeshFixture f;
        auto m = f.builder.mesh("/models/one.lwo");
        m.triangle(m.point(0, 0, 0), m.point(1, 0, 0), m.point(0, 1, 0));
        f.host.withhold(LWOBJECTFUNCS_GLOBAL);
        f.begin(m.index());
        EXPECT_EQ(mesh_allocate(f.state), EXPORT_NO_SERVICE);
        EXPECT_TRUE(f.state.geometry.polygons.empty());
        EXPECT_EQ(f.state.counts.valid_triangles + f.state.counts.no_uv_triangles, 0);
    }
    {  // a map that cannot be made: both arrays stay empty
        MeshFixture f;
        auto m = f.builder.mesh("/models/one.lwo");
        m.triangle(m.point(0, 0, 0), m.point(1, 0, 0), m.point(0, 1, 0));
        f.begin(m.index());
        mapkit_set_alloc_hook([](void*, std::size_t) -> void* { return nullptr; });
        const int rc = mesh_allocate(f.state);
        mapkit_set_alloc_hook(nullptr);
        EXPECT_EQ(rc, EXPORT_NO_MEMORY);
        EXPECT_TRUE(f.state.geometry.polygons.empty());
        EXPECT_TRUE(f.state.geometry.points.empty());
    }
    {  // a host that scans more than it counted: nothing beyond the counted records is stored
        MeshExportState state;
        ExportGeometry& geometry = state.geometry;
        geometry.points.assign(2, ExportPoint{});
        geometry.polygons.assign(1, ExportPolygon{});
        intmap_init(&geometry.point_map, 2);
        intmap_init(&geometry.polygon_map, 1);
        EDPointInfo point{};
        for (int i = 1; i <= 3; ++i) {
            point.pnt = reinterpret_cast<LWPntID>(std::uintptr_t(i));
            EXPECT_EQ(export_scan_modeler_point(&geometry, &point), i <= 2 ? EDERR_NONE : 1) << i;
        }
        EXPECT_EQ(geometry.scan_index, 2);
        EXPECT_EQ(geometry.point_map.count, 2);
        MeshEditOp edit{};
        edit.polyNormal = [](EDStateRef, LWPolID, double normal[3]) {
            normal[0] = normal[1] = 0;
            normal[2] = 1;
            return 1;
        };
        geometry.source = mesh_source_modeler(&edit);
        const LWPntID corners[3] = {point.pnt, point.pnt, point.pnt};
        EDPolygonInfo polygon{};
        polygon.numPnts = 3;
        polygon.points = corners;
        polygon.type = LWPOLTYPE_FACE;
        geometry.scan_index = 0;
        for (int i = 1; i <= 2; ++i) {
            polygon.pol = reinterpret_cast<LWPolID>(std::uintptr_t(i));
            EXPECT_EQ(export_scan_modeler_polygon(&geometry, &polygon), i <= 1 ? EDERR_NONE : 1) << i;
        }
        EXPECT_EQ(geometry.polygon_map.count, 1);
        // The polygon's corners lie on a point the scan did not store: each
        // gets a stand-in, and the host's face normal all the same.
        ASSERT_EQ(export_bind_corners(geometry), EXPORT_OK);
        const ExportPolygon& kept = geometry.polygons[0];
        ASSERT_EQ(kept.valid, 1);
        ASSERT_EQ(geometry.stray_points.size(), 3u);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(kept.corners[k].point, &geometry.stray_points[static_cast<std::size_t>(k)]) << k;
            EXPECT_EQ(kept.corners[k].point->id, point.pnt) << k;
            EXPECT_EQ(corner_normal(kept, k)[0], 0.0) << k;
            EXPECT_EQ(corner_normal(kept, k)[2], 1.0) << k;
        }
        EXPECT_EQ(export_scan_modeler_point(nullptr, &point), 1);
        EXPECT_EQ(export_scan_modeler_polygon(&geometry, nullptr), 1);
        mesh_release(state);
        mesh_release(state);  // twice is harmless
        EXPECT_TRUE(state.geometry.polygons.empty());
        EXPECT_EQ(state.selecting, -1);
    }
}

}  // namespace
