// Geometry collection of the reference exporter over a host scene: polygon
// classification and counts, corner binding, normals, texture coordinates,
// scan limits and release.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <vector>

#include "ref_fixture.h"

namespace lwhost::services {
int live_mesh_info_count() noexcept;  // object_info.cpp
}

namespace {

using lwhost::ItemId;
using lwhost::MeshBuilder;
using reftest::RefFixture;

template <class Real>
void expect_normal(const Real actual[3], const double expected[3], const char* what) {
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(actual[k], expected[k], 1e-6) << what << " component " << k;
}

TEST(RefGeometry, ClassifiesPolygonsAndCountsTriangles) {
    RefFixture f;
    MeshBuilder mesh = f.builder.mesh("C:/models/shapes.lwo");
    std::uint32_t p[6];
    for (int i = 0; i < 6; ++i) {
        p[i] = mesh.point(i, i % 2, 0.5 * i);
        mesh.uv("UVMap", p[i], 0.1f * float(i), 0.5f);
    }
    const std::uint32_t triangle = mesh.triangle(p[0], p[1], p[2], "Skin");
    const std::uint32_t quad = mesh.quad(p[0], p[1], p[3], p[2], "Skin");
    const std::uint32_t two = mesh.polygon({p[0], p[1]}, "Skin");
    const std::uint32_t one = mesh.polygon({p[4]}, "Skin");
    const std::uint32_t five = mesh.polygon({p[0], p[1], p[2], p[3], p[4]}, "Skin");
    const std::uint32_t six = mesh.polygon({p[0], p[1], p[2], p[3], p[4], p[5]}, "Skin");
    const std::uint32_t curve = mesh.polygon({p[0], p[1], p[2]}, "Skin", lwhost::kCurve);
    const std::uint32_t patch = mesh.polygon({p[0], p[1], p[2], p[3]}, "Skin", lwhost::kPatch);
    const std::uint32_t bone = mesh.polygon({p[0], p[1]}, "Skin", lwhost::kBone);
    f.builder.surface(mesh, "Skin");
    ASSERT_NO_FATAL_FAILURE(f.collect(f.builder.object("shapes", mesh)));

    EXPECT_EQ(f.state.counts.valid_triangles, 3);
    EXPECT_EQ(f.state.counts.degenerate, 2);
    EXPECT_EQ(f.state.counts.five_plus, 2);
    EXPECT_EQ(f.state.counts.non_face, 3);  // a subpatch of four points counts here, not as triangles
    EXPECT_EQ(f.state.counts.no_uv_triangles, 0);

    EXPECT_EQ(f.polygon(mesh, triangle).valid, 1);
    EXPECT_EQ(f.polygon(mesh, quad).valid, 1);
    for (std::uint32_t invalid : {two, one, five, six, curve, patch, bone}) {
        const ExportPolygon& record = f.polygon(mesh, invalid);
        EXPECT_EQ(record.valid, 0) << "polygon " << invalid;
        // Corners of invalid polygons are never read from the host.
        EXPECT_EQ(record.point_ids[0], nullptr) << "polygon " << invalid;
    }
    EXPECT_EQ(f.polygon(mesh, curve).type, LWPOLTYPE_CURV);
    EXPECT_EQ(f.polygon(mesh, curve).size, 3);
    EXPECT_EQ(f.polygon(mesh, six).size, 6);
    const ExportPolygon& q = f.polygon(mesh, quad);
    EXPECT_EQ(q.point_ids[0], reftest::lw_point(mesh, p[0]));
    EXPECT_EQ(q.point_ids[2], reftest::lw_point(mesh, p[3]));
    EXPECT_EQ(q.point_ids[3], reftest::lw_point(mesh, p[2]));

    {
        // A mesh of quads only, all covered: two triangles per quad.
        RefFixture g;
        MeshBuilder grid = g.builder.mesh("C:/models/grid.lwo");
        std::uint32_t row[2][4];
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 4; ++x) {
                row[y][x] = grid.point(x, y, 0);
                grid.uv("UVMap", row[y][x], float(x), float(y));
            }
        }
        for (int x = 0; x < 3; ++x) grid.quad(row[0][x], row[0][x + 1], row[1][x + 1], row[1][x], "Skin");
        ASSERT_NO_FATAL_FAILURE(g.collect(g.builder.object("grid", grid)));
        EXPECT_EQ(g.state.counts.valid_triangles, 6);
        EXPECT_EQ(g.state.counts.no_uv_triangles, 0);
    }
}

TEST(RefGeometry, VerifyUvMovesUncoveredTrianglesBetweenCounts) {
    RefFixture f;
    MeshBuilder mesh = f.builder.mesh("C:/models/partial.lwo");
    std::uint32_t p[5];
    for (int i = 0; i < 5; ++i) p[i] = mesh.point(i, 0, i * i);
    for (int i = 0; i < 4; ++i) mesh.uv("UVMap", p[i], 0.25f, 0.75f);  // p[4] has none
    mesh.triangle(p[0], p[1], p[2], "Skin");
    mesh.quad(p[1], p[2], p[3], p[4], "Skin");
    ASSERT_NO_FATAL_FAILURE(f.collect(f.builder.object("partial", mesh)));
    EXPECT_EQ(f.state.counts.valid_triangles, 1);
    EXPECT_EQ(f.state.counts.no_uv_triangles, 2);

    f.state.verify_uv = 0;
    ref_count_polygons(f.state);
    EXPECT_EQ(f.state.counts.valid_triangles, 3);
    EXPECT_EQ(f.state.counts.no_uv_triangles, 0);

    f.state.verify_uv = 1;
    ref_count_polygons(f.state);
    EXPECT_EQ(f.state.counts.valid_triangles, 1);
    EXPECT_EQ(f.state.counts.no_uv_triangles, 2);
}

TEST(RefGeometry, BindsCornersAndListsEachPolygonOncePerPoint) {
    RefFixture f;
    MeshBuilder mesh = f.builder.mesh("C:/models/bind.lwo");
    const std::uint32_t a = mesh.point(0, 0, 0);
    const std::uint32_t b = mesh.point(1, 0, 0);
    const std::uint32_t c = mesh.point(0, 1, 0);
    const std::uint32_t d = mesh.point(1.5, 1.25, -2);
    const std::uint32_t unused = mesh.point(9, 9, 9);
    const std::uint32_t t1 = mesh.triangle(a, b, c, "Skin");
    const std::uint32_t t2 = mesh.triangle(b, d, c, "Skin");
    const std::uint32_t t3 = mesh.triangle(a, a, b, "Skin");  // uses a twice
    mesh.polygon({a, b, d, c, unused}, "Skin");                 // five points: not bound
    ASSERT_NO_FATAL_FAILURE(f.collect(f.builder.object("bind", mesh)));

    const ExportPoint* pa = f.point(mesh, a);
    const ExportPoint* pb = f.point(mesh, b);
    const ExportPoint* pd = f.point(mesh, d);
    const ExportPoint* pu = f.point(mesh, unused);
    ASSERT_TRUE(pa && pb && pd && pu);
    // polygon_count counts corners, the list holds each polygon once.
    ASSERT_EQ(pa->polygon_count, 3);
    EXPECT_EQ(pa->polygons[0], reftest::lw_polygon(mesh, t1));
    EXPECT_EQ(pa->polygons[1], reftest::lw_polygon(mesh, t3));
    EXPECT_EQ(pa->polygons[2], nullptr);
    ASSERT_EQ(pb->polygon_count, 3);
    EXPECT_EQ(pb->polygons[0], reftest::lw_polygon(mesh, t1));
    EXPECT_EQ(pb->polygons[1], reftest::lw_polygon(mesh, t2));
    EXPECT_EQ(pb->polygons[2], reftest::lw_polygon(mesh, t3));
    ASSERT_EQ(pd->polygon_count, 1);
    EXPECT_EQ(pd->polygons[0], reftest::lw_polygon(mesh, t2));
    EXPECT_EQ(pu->polygon_count, 0);

    const ExportPolygon& second = f.polygon(mesh, t2);
    EXPECT_EQ(second.corners[1].point, pd);
    EXPECT_EQ(second.corners[0].point, pb);
    EXPECT_FLOAT_EQ(pd->position[0], 1.5f);
    EXPECT_FLOAT_EQ(pd->position[1], 1.25f);
    EXPECT_FLOAT_EQ(pd->position[2], -2.0f);
    EXPECT_TRUE(f.state.geometry.stray_points.empty());
}

TEST(RefGeometry, FaceNormalUsesFirstSecondAndLastCorner) {
    RefFixture f;
    MeshBuilder mesh = f.builder.mesh("C:/models/normals.lwo");
    const std::uint32_t t0 = mesh.point(0, 0, 0), t1 = mesh.point(1, 0, 0), t2 = mesh.point(0, 0, 1);
    const std::uint32_t triangle = mesh.triangle(t0, t1, t2, "Flat");
    // A bent quad: the plane through corners 0, 1, 3 differs from 0, 1, 2.
    const std::uint32_t q0 = mesh.point(0, 0, 0), q1 = mesh.point(2, 0, 0), q2 = mesh.point(2, 1, 2),
                        q3 = mesh.point(0, 0, 2);
    const std::uint32_t quad = mesh.quad(q0, q1, q2, q3, "Flat");
    const std::uint32_t l0 = mesh.point(0, 0, 0), l1 = mesh.point(1, 1, 1), l2 = mesh.point(2, 2, 2);
    const std::uint32_t line = mesh.triangle(l0, l1, l2, "Flat");  // collinear: no plane
    f.builder.surface(mesh, "Flat");
    ASSERT_NO_FATAL_FAILURE(f.collect(f.builder.object("normals", mesh)));

    // (1,0,0) x (0,0,1) = (0,-1,0); (2,0,0) x (0,0,2) = (0,-4,0).
    const double down[3] = {0, -1, 0};
    const ExportPolygon& tri = f.polygon(mesh, triangle);
    expect_normal(tri.normal, down, "triangle");
    const ExportPolygon& bent = f.polygon(mesh, quad);
    expect_normal(bent.normal, down, "quad");
    for (int c = 0; c < 4; ++c) expect_normal(corner_normal(bent, c).data(), down, "quad corner");
    const double zero[3] = {0, 0, 0};
    expect_normal(f.polygon(mesh, line).normal, zero, "collinear");
}

// Two triangles hinged on the edge (0,0,0)-(1,0,0): the first lies in the
// plane y = 0 with normal (0,-1,0), the second is turned so that its normal
// makes `hinge_degrees` with the first's.
struct Hinge {
    double first_shared[3];    // corner normal at (0,0,0) in the first triangle
    double second_shared[3];   // the same point's corner in the second
    double first_own[3];       // the first triangle's unshared corner
    double second_own[3];
    double second_face[3];
};

Hinge collect_hinge(double hinge_degrees, double smoothing_degrees) {
    RefFixture f;
    MeshBuilder mesh = f.builder.mesh("C:/models/hinge.lwo");
    const double phi = hinge_degrees * reftest::kDegree;
    const std::uint32_t s0 = mesh.point(0, 0, 0), s1 = mesh.point(1, 0, 0);
    const std::uint32_t pa = mesh.point(0.5, 0, 1);
    const std::uint32_t pb = mesh.point(0.5, -std::sin(phi), -std::cos(phi));
    const std::uint32_t first = mesh.triangle(s0, s1, pa, "Skin");
    const std::uint32_t second = mesh.triangle(s1, s0, pb, "Skin");
    f.builder.surface(mesh, "Skin").smoothing_degrees(smoothing_degrees);
    f.collect(f.builder.object("hinge", mesh));
    Hinge out{};
    const ExportPolygon& one = f.polygon(mesh, first);
    const ExportPolygon& two = f.polygon(mesh, second);
    for (int k = 0; k < 3; ++k) {
        out.first_shared[k] = corner_normal(one, 0)[k];
        out.second_shared[k] = corner_normal(two, 1)[k];
        out.first_own[k] = corner_normal(one, 2)[k];
        out.second_own[k] = corner_normal(two, 2)[k];
        out.second_face[k] = two.normal[k];
    }
    return out;
}

TEST(RefGeometry, SmoothsSharedCornersWithinTheSurfaceAngleOnly) {
    const double first_face[3] = {0, -1, 0};
    {
        // 89 degrees apart, limit 89.5: both corners of the shared point get
        // the average of the two face normals.
        const double phi = 89.0 * reftest::kDegree;
        double average[3] = {0, -1 - std::cos(phi), std::sin(phi)};
        reftest::normalize3(average);
        const double second_face[3] = {0, -std::cos(phi), std::sin(phi)};
        const Hinge h = collect_hinge(89.0, 89.5);
        expect_normal(h.second_face, second_face, "second face");
        expect_normal(h.first_shared, average, "first shared");
        expect_normal(h.second_shared, average, "second shared");
        expect_normal(h.first_own, first_face, "first unshared");
        expect_normal(h.second_own, second_face, "second unshared");
    }
    {
        // 90.5 degrees apart: too far, each corner keeps its face normal.
        const double phi = 90.5 * reftest::kDegree;
        const double second_face[3] = {0, -std::cos(phi), std::sin(phi)};
        const Hinge h = collect_hinge(90.5, 89.5);
        expect_normal(h.first_shared, first_face, "first shared");
        expect_normal(h.second_shared, second_face, "second shared");
    }
    {
        // Smoothing angle 0: flat, even for a slight bend.
        const double phi = 10.0 * reftest::kDegree;
        const double second_face[3] = {0, -std::cos(phi), std::sin(phi)};
        const Hinge h = collect_hinge(10.0, 0.0);
        expect_normal(h.first_shared, first_face, "first shared");
        expect_normal(h.second_shared, second_face, "second shared");
    }
}

// The smoothing rule written out naively, per corner, over a bumpy surface
// of quads and triangles with a fixed random seed.
TEST(RefGeometry, SmoothingAgreesWithAPerCornerReferenceOnABumpySurface) {
    RefFixture f;
    MeshBuilder mesh = f.builder.mesh("C:/models/bumps.lwo");
    constexpr int N = 8;
    std::uint32_t grid[N + 1][N + 1];
    std::mt19937 random(20240611u);
    std::uniform_real_distribution<double> height(0.0, 0.6);
    std::vector<std::array<double, 3>> positions;
    for (int y = 0; y <= N; ++y) {
        for (int x = 0; x <= N; ++x) {
            const std::array<double, 3> at = {double(x), height(random), double(y)};
            grid[y][x] = mesh.point(at[0], at[1], at[2]);
            positions.push_back(at);
        }
    }
    std::vector<std::vector<std::uint32_t>> faces;
    for (int y = 0; y < N; ++y) {
        for (int x = 0; x < N; ++x) {
            const std::uint32_t a = grid[y][x], b = grid[y][x + 1], c = grid[y + 1][x + 1], d = grid[y + 1][x];
            if ((x + y) % 3 == 0) {
                faces.push_back({a, b, c});
                faces.push_back({a, c, d});
            } else {
                faces.push_back({a, b, c, d});
            }
        }
    }
    std::vector<std::uint32_t> ids;
    for (const auto& face : faces) ids.push_back(mesh.polygon(face.data(), face.size(), "Bumps"));
    const double limit = 25.0 * reftest::kDegree;
    f.builder.surface(mesh, "Bumps").smoothing_radians(limit);
    ASSERT_NO_FATAL_FAILURE(f.collect(f.builder.object("bumps", mesh)));

    std::vector<std::array<double, 3>> normals;
    for (const auto& face : faces) {
        const auto& p0 = positions[face[0]];
        const auto& p1 = positions[face[1]];
        const auto& pn = positions[face.back()];
        const double e1[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
        const double e2[3] = {pn[0] - p0[0], pn[1] - p0[1], pn[2] - p0[2]};
        double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
        reftest::normalize3(n);
        normals.push_back({n[0], n[1], n[2]});
    }
    int smoothed = 0;
    for (std::size_t i = 0; i < faces.size(); ++i) {
        const ExportPolygon& polygon = f.polygon(mesh, ids[i]);
        for (std::size_t c = 0; c < faces[i].size(); ++c) {
            double sum[3] = {normals[i][0], normals[i][1], normals[i][2]};
            for (std::size_t j = 0; j < faces.size(); ++j) {
                if (j == i) continue;
                bool shares = false;
                for (std::uint32_t point : faces[j]) shares = shares || point == faces[i][c];
                if (!shares) continue;
                const double dot = normals[i][0] * normals[j][0] + normals[i][1] * normals[j][1] +
                                   normals[i][2] * normals[j][2];
                if (std::acos(std::min(1.0, dot)) > limit) continue;
                for (int k = 0; k < 3; ++k) sum[k] += normals[j][k];
                ++smoothed;
            }
            reftest::normalize3(sum);
            expect_normal(corner_normal(polygon, c).data(), sum, "corner");
        }
    }
    // The surface is bumpy enough that some neighbours are within the angle
    // and some are not.
    EXPECT_GT(smoothed, 50);
    EXPECT_LT(smoothed, int(faces.size()) * 8);
}

TEST(RefGeometry, TakesUvsFromTheFirstMapCoveringEveryCorner) {
    RefFixture f;
    MeshBuilder mesh = f.builder.mesh("C:/models/uv.lwo");
    std::uint32_t p[12];
    for (int i = 0; i < 12; ++i) p[i] = mesh.point(i, (i % 3 == 1) ? 1 : 0, (i % 3 == 2) ? 1 : 0);
    // Map order in the scene: "First", then "Second map".
    for (int i : {0, 1, 2, 3, 4, 6, 7, 9, 10, 11}) mesh.uv("First", p[i], 0.125f * float(i % 8), 0.5f);
    for (int i : {0, 1, 2, 3, 4, 5, 6}) mesh.uv("Second map", p[i], 0.75f, 0.0625f * float(i));
    const std::uint32_t both = mesh.triangle(p[0], p[1], p[2], "Skin");
    const std::uint32_t second_only = mesh.triangle(p[3], p[4], p[5], "Skin");
    const std::uint32_t partial = mesh.triangle(p[6], p[7], p[8], "Skin");
    const std::uint32_t per_polygon = mesh.triangle(p[9], p[10], p[11], "Skin");
    mesh.uv_for_polygon("First", per_polygon, p[9], 0.875f, 0.375f);
    ASSERT_NO_FATAL_FAILURE(f.collect(f.builder.object("uv", mesh)));
    EXPECT_EQ(f.state.geometry.uv_map_count, 2);

    const ExportPolygon& a = f.polygon(mesh, both);
    EXPECT_EQ(a.has_uv, 1);
    ASSERT_NE(a.uv_map, nullptr);
    EXPECT_STREQ(a.uv_map, "First");
    EXPECT_DOUBLE_EQ(a.corners[1].u, 0.125);
    EXPECT_DOUBLE_EQ(a.corners[1].v, 0.5);

    const ExportPolygon& b = f.polygon(mesh, second_only);
    EXPECT_EQ(b.has_uv, 1);
    ASSERT_NE(b.uv_map, nullptr);
    EXPECT_STREQ(b.uv_map, "Second map");
    for (int c = 0; c < 3; ++c) {
        EXPECT_DOUBLE_EQ(b.corners[c].u, 0.75);
        EXPECT_DOUBLE_EQ(b.corners[c].v, 0.0625 * (3 + c));
    }

    // "First" reaches corners 0 and 1, "Second map" only corner 0: corner 0
    // ends with the later map's value, corner 1 keeps the earlier one's,
    // corner 2 was never reached.
    const ExportPolygon& c = f.polygon(mesh, partial);
    EXPECT_EQ(c.has_uv, 0);
    EXPECT_EQ(c.uv_map, nullptr);
    EXPECT_DOUBLE_EQ(c.corners[0].u, 0.75);
    EXPECT_DOUBLE_EQ(c.corners[0].v, 0.0625 * 6);
    EXPECT_DOUBLE_EQ(c.corners[1].u, 0.875);
    EXPECT_DOUBLE_EQ(c.corners[1].v, 0.5);
    EXPECT_DOUBLE_EQ(c.corners[2].u, 0.0);
    EXPECT_DOUBLE_EQ(c.corners[2].v, 0.0);

    // A per-polygon value wins over the point's own.
    const ExportPolygon& d = f.polygon(mesh, per_polygon);
    EXPECT_EQ(d.has_uv, 1);
    EXPECT_DOUBLE_EQ(d.corners[0].u, 0.875);
    EXPECT_DOUBLE_EQ(d.corners[0].v, 0.375);
    EXPECT_DOUBLE_EQ(d.corners[1].u, 0.25);

    EXPECT_EQ(f.state.counts.valid_triangles, 3);
    EXPECT_EQ(f.state.counts.no_uv_triangles, 1);

    {
        // No UV map at all.
        RefFixture g;
        MeshBuilder bare = g.builder.mesh("C:/models/bare.lwo");
        bare.quad(bare.point(0, 0, 0), bare.point(1, 0, 0), bare.point(1, 1, 0), bare.point(0, 1, 0), "Skin");
        ASSERT_NO_FATAL_FAILURE(g.collect(g.builder.object("bare", bare)));
        EXPECT_EQ(g.state.geometry.uv_map_count, 0);
        const ExportPolygon& only = g.state.geometry.polygons.at(0);
        EXPECT_EQ(only.has_uv, 0);
        EXPECT_EQ(only.uv_map, nullptr);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(only.corners[k].u + only.corners[k].v, 0.0);
        EXPECT_EQ(g.state.counts.no_uv_triangles, 2);
        EXPECT_EQ(g.state.counts.valid_triangles, 0);
    }
    {
        // Maps of more than two values: one whose values fit the read buffer
        // gives its first two; one too wide to read safely is passed over.
        RefFixture g;
        MeshBuilder wide = g.builder.mesh("C:/models/wide.lwo");
        const std::uint32_t q[3] = {wide.point(0, 0, 0), wide.point(1, 0, 0), wide.point(0, 1, 0)};
        float values[20] = {};
        for (int i = 0; i < 3; ++i) {
            for (int k = 0; k < 20; ++k) values[k] = 0.5f + float(i) + 0.25f * float(k);
            wide.value(LWVMAP_TXUV, "Too wide", 20, q[i], values);
            wide.value(LWVMAP_TXUV, "Six", 6, q[i], values);
        }
        wide.triangle(q[0], q[1], q[2], "Skin");
        ASSERT_NO_FATAL_FAILURE(g.collect(g.builder.object("wide", wide)));
        EXPECT_EQ(g.state.geometry.uv_map_count, 2);
        const ExportPolygon& only = g.state.geometry.polygons.at(0);
        EXPECT_EQ(only.has_uv, 1);
        ASSERT_NE(only.uv_map, nullptr);
        EXPECT_STREQ(only.uv_map, "Six");
        for (int k = 0; k < 3; ++k) {
            EXPECT_DOUBLE_EQ(only.corners[k].u + only.corners[k].v, 2.0 * (0.5 + k) + 0.25) << k;
        }
    }
}

TEST(RefGeometry, ScansStoreNoMoreThanCounted) {
    RefFixture f;
    MeshBuilder mesh = f.builder.mesh("C:/models/extra.lwo");
    const std::uint32_t a = mesh.point(1, 2, 3), b = mesh.point(4, 5, 6), c = mesh.point(7, 8, 9);
    const std::uint32_t first = mesh.triangle(a, b, c, "Skin");
    mesh.triangle(c, b, a, "Skin");
    ASSERT_NO_FATAL_FAILURE(f.prepare(f.builder.object("extra", mesh)));
    // The host scans one point and one polygon more than it counted.
    f.state.geometry.point_count -= 1;
    f.state.geometry.polygon_count -= 1;
    ASSERT_EQ(ref_allocate(f.state), EXPORT_OK);
    ASSERT_EQ(ref_collect(f.state), EXPORT_OK);
    EXPECT_EQ(f.state.geometry.points.size(), 2u);
    EXPECT_EQ(f.state.geometry.polygons.size(), 1u);
    EXPECT_EQ(f.point(mesh, c), nullptr);
    // The corner whose point was not recorded has a stand-in without
    // position or neighbours.
    const ExportPolygon& kept = f.polygon(mesh, first);
    ASSERT_EQ(f.state.geometry.stray_points.size(), 1u);
    const ExportPoint* stray = kept.corners[2].point;
    ASSERT_EQ(stray, &f.state.geometry.stray_points[0]);
    EXPECT_EQ(stray->id, reftest::lw_point(mesh, c));
    EXPECT_EQ(stray->position[0], 0.0f);
    EXPECT_EQ(stray->polygon_count, 0);
    EXPECT_EQ(kept.corners[1].point->position[0], 4.0f);
    EXPECT_EQ(f.state.counts.no_uv_triangles, 1);

    // Missing state or ID stops a scan.
    EXPECT_EQ(export_scan_layout_point(nullptr, reftest::lw_point(mesh, a)), 1);
    EXPECT_EQ(export_scan_layout_polygon(nullptr, reftest::lw_polygon(mesh, first)), 1);
    f.state.geometry.scan_index = 0;
    EXPECT_EQ(export_scan_layout_point(&f.state.geometry, nullptr), 1);
    EXPECT_EQ(export_scan_layout_polygon(&f.state.geometry, nullptr), 1);
}

TEST(RefGeometry, AllocateNeedsMeshAndSceneObjectsAndReleaseFreesEverything) {
    {
        RefFixture f;
        MeshBuilder mesh = f.builder.mesh("C:/models/a.lwo");
        mesh.triangle(mesh.point(0, 0, 0), mesh.point(1, 0, 0), mesh.point(0, 1, 0), "Skin");
        const ItemId object = f.builder.object("a", mesh);
        const int live_before = lwhost::services::live_mesh_info_count();
        ASSERT_NO_FATAL_FAILURE(f.collect(object));
        EXPECT_EQ(lwhost::services::live_mesh_info_count(), live_before + 1);
        ref_release(f.state);
        EXPECT_EQ(lwhost::services::live_mesh_info_count(), live_before);
        EXPECT_EQ(f.state.mesh, nullptr);
        EXPECT_TRUE(f.state.geometry.polygons.empty());
        EXPECT_TRUE(f.state.geometry.points.empty());
        EXPECT_EQ(f.state.geometry.point_map.slots, nullptr);
        ref_release(f.state);  // twice is harmless
    }
    {
        RefFixture f;
        MeshBuilder mesh = f.builder.mesh("C:/models/b.lwo");
        mesh.triangle(mesh.point(0, 0, 0), mesh.point(1, 0, 0), mesh.point(0, 1, 0), "Skin");
        f.host.withhold("Scene Objects 4");
        ASSERT_NO_FATAL_FAILURE(f.prepare(f.builder.object("b", mesh)));
        EXPECT_EQ(ref_allocate(f.state), EXPORT_NO_SERVICE);
    }
    {
        RefExportState empty{};
        EXPECT_EQ(ref_allocate(empty), EXPORT_NO_SERVICE);
        ref_release(empty);
    }
}

}  // namespace
