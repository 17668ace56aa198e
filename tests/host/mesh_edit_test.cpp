// Modeler's mesh edit (MeshEditOp) and "LWM: State Query 3" over a
// three-layer object.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <lwmeshedt.h>
#include <lwmodeler.h>

#include "host.h"
#include "mesh_edit.h"
#include "scene.h"
#include "scene_builder.h"

namespace lwhost {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int kDirectModify = OPSEL_MODIFY | OPSEL_DIRECT;  // 32770, as the static exporter asks

// Layer 0 (Modeler layer 1, foreground): a quad, a triangle, a tilted
// triangle, a quad whose third corner is off its plane, a two-point face and
// a triangle on one line. Layer 1 (Modeler layer 2, background): a triangle
// and a patch. Layer number 4 (Modeler layer 5): empty.
struct ShipScene {
    Host host;
    int mesh = -1;
    std::uint32_t p[6] = {}, q1 = 0, q2 = 0, off = 0, r[3] = {};
    std::uint32_t quad = 0, tri = 0, tilted = 0, nonplanar = 0, two_point = 0, collinear = 0, metal = 0, patch = 0;

    ShipScene() {
        SceneBuilder b(host.scene);
        auto m = b.mesh("C:/models/ship.lwo");
        mesh = m.index();
        const double at[6][3] = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}};
        for (int i = 0; i < 6; ++i) p[i] = m.point(at[i][0], at[i][1], at[i][2]);
        q1 = m.point(1, 2, 0);
        q2 = m.point(0, 0, 3);
        off = m.point(5, 5, 5);
        quad = m.quad(p[0], p[1], p[2], p[3], "Skin");
        tri = m.triangle(p[3], p[2], p[4], "Skin");
        tilted = m.triangle(p[0], q1, q2, "Skin");
        nonplanar = m.quad(p[0], p[1], off, p[3], "Skin");
        two_point = m.polygon({p[0], p[1]}, "Skin");
        collinear = m.triangle(p[3], p[4], p[5], "Skin");
        m.uv("UVMap", p[0], 0.1f, 0.2f).uv("UVMap", p[1], 0.3f, 0.4f);
        m.uv_for_polygon("UVMap", quad, p[0], 0.9f, 0.8f);
        m.layer(1);
        r[0] = m.point(0, 0, 5);
        r[1] = m.point(0, 1, 5);
        r[2] = m.point(1, 0, 5);
        metal = m.triangle(r[0], r[1], r[2], "Metal");
        patch = m.polygon({r[0], r[1], r[2]}, "Metal", kPatch);
        m.layer(4);
        host.scene.current_mesh = mesh;
        host.scene.foreground_layers = 1;  // layer index 0
        host.scene.background_layers = 2;  // layer index 1
    }
    Layer& layer(int index) { return host.scene.meshes[std::size_t(mesh)]->layers[std::size_t(index)]; }
    LWPntID pnt(int layer, std::uint32_t index) const { return reinterpret_cast<LWPntID>(point_handle(mesh, layer, index)); }
    LWPolID pol(int layer, std::uint32_t index) const {
        return reinterpret_cast<LWPolID>(polygon_handle(mesh, layer, index));
    }
};

struct ScanLog {
    std::vector<int> layers, sizes;
    std::vector<std::string> surfaces;
    std::vector<std::uint32_t> types;
    int stop_after = -1;
};

EDError log_polygon(void* data, const EDPolygonInfo* info) {
    auto* log = static_cast<ScanLog*>(data);
    log->layers.push_back(info->layer);
    log->sizes.push_back(info->numPnts);
    log->surfaces.push_back(info->surface ? info->surface : "");
    log->types.push_back(info->type);
    return int(log->layers.size()) == log->stop_after ? 7 : EDERR_NONE;
}

EDError log_point(void* data, const EDPointInfo* info) {
    static_cast<ScanLog*>(data)->layers.push_back(info->layer);
    return EDERR_NONE;
}

TEST(MeshEditTest, CountsAndScansFollowTheLayerCode) {
    ShipScene s;
    MeshEditOp* op = begin_mesh_edit(s.host, 0, 0, kDirectModify);
    ASSERT_NE(op, nullptr);
    EXPECT_EQ(op->layerNum, 1);  // LWO2 layer 0 is Modeler's layer 1

    struct Expect { int code, points, polygons; };
    const Expect expected[] = {
        {OPLYR_NONEMPTY, 12, 8}, {OPLYR_FG, 9, 6}, {OPLYR_PRIMARY, 9, 6}, {OPLYR_BG, 3, 2}, {OPLYR_SELECT, 12, 8},
        {OPLYR_ALL, 12, 8},      {OPLYR_EMPTY, 0, 0}, {101, 9, 6},        {102, 3, 2},       {105, 0, 0},
        {103, 0, 0},             {99, 0, 0},
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.code);
        EXPECT_EQ(op->pointCount(op->state, e.code, EDCOUNT_ALL), e.points);
        EXPECT_EQ(op->polyCount(op->state, e.code, EDCOUNT_ALL), e.polygons);
        EXPECT_EQ(op->polyCount(op->state, e.code, EDCOUNT_DELETE), 0);
    }

    // Every polygon of every layer for "All layers", in layer order.
    ScanLog all;
    EXPECT_EQ(op->polyScan(op->state, log_polygon, &all, OPLYR_NONEMPTY), EDERR_NONE);
    EXPECT_THAT(all.layers, ElementsAre(1, 1, 1, 1, 1, 1, 2, 2));
    EXPECT_THAT(all.sizes, ElementsAre(4, 3, 3, 4, 2, 3, 3, 3));
    EXPECT_THAT(all.surfaces, ElementsAre("Skin", "Skin", "Skin", "Skin", "Skin", "Skin", "Metal", "Metal"));
    EXPECT_EQ(all.types[6], LWPOLTYPE_FACE);
    EXPECT_EQ(all.types[7], LWPOLTYPE_PTCH);

    // "Foreground only" and the background.
    ScanLog fg, bg, points;
    op->polyScan(op->state, log_polygon, &fg, OPLYR_FG);
    op->polyScan(op->state, log_polygon, &bg, OPLYR_BG);
    EXPECT_EQ(fg.layers.size(), 6u);
    EXPECT_THAT(bg.layers, ElementsAre(2, 2));
    op->pointScan(op->state, log_point, &points, OPLYR_BG);
    EXPECT_THAT(points.layers, ElementsAre(2, 2, 2));

    // A non-zero callback result stops the scan and comes back.
    ScanLog stopped;
    stopped.stop_after = 2;
    EXPECT_EQ(op->polyScan(op->state, log_polygon, &stopped, OPLYR_NONEMPTY), 7);
    EXPECT_EQ(stopped.layers.size(), 2u);
    EXPECT_EQ(op->polyScan(op->state, nullptr, nullptr, OPLYR_NONEMPTY), EDERR_BADARGS);

    op->done(op->state, EDERR_NONE, 0);
}

// What each record says, and its scratch.
struct RecordCheck {
    ShipScene* s;
    MeshEditOp* op;
    int calls = 0;
    bool ok = true;
};

EDError check_polygon_record(void* data, const EDPolygonInfo* info) {
    auto* c = static_cast<RecordCheck*>(data);
    int* scratch = static_cast<int*>(info->userData);
    if (!scratch || *scratch != 0) c->ok = false;  // fresh scratch is zeroed
    *scratch = ++c->calls;
    return EDERR_NONE;
}

EDError read_polygon_scratch(void* data, const EDPolygonInfo* info) {
    auto* c = static_cast<RecordCheck*>(data);
    if (*static_cast<int*>(info->userData) != ++c->calls) c->ok = false;
    return EDERR_NONE;
}

TEST(MeshEditTest, RecordsDescribeTheElements) {
    ShipScene s;
    s.layer(0).polygons[s.tri].selected = true;
    s.layer(0).points[s.p[2]].selected = true;
    MeshEditOp* op = begin_mesh_edit(s.host, 4, sizeof(int), OPSEL_DIRECT);
    ASSERT_NE(op, nullptr);

    EDPolygonInfo* quad = op->polyInfo(op->state, s.pol(0, s.quad));
    ASSERT_NE(quad, nullptr);
    EXPECT_EQ(quad->pol, s.pol(0, s.quad));
    EXPECT_EQ(quad->layer, 1);
    EXPECT_EQ(quad->numPnts, 4);
    EXPECT_THAT(std::vector<LWPntID>(quad->points, quad->points + 4),
                ElementsAre(s.pnt(0, s.p[0]), s.pnt(0, s.p[1]), s.pnt(0, s.p[2]), s.pnt(0, s.p[3])));
    EXPECT_STREQ(quad->surface, "Skin");
    EXPECT_EQ(quad->type, LWPOLTYPE_FACE);
    EXPECT_EQ(quad->flags, 0);
    EXPECT_EQ(op->polyInfo(op->state, s.pol(0, s.tri))->flags, EDDF_SELECT);
    EXPECT_EQ(op->polyCount(op->state, OPLYR_NONEMPTY, EDCOUNT_SELECT), 1);

    EDPointInfo* point = op->pointInfo(op->state, s.pnt(1, s.r[1]));
    ASSERT_NE(point, nullptr);
    EXPECT_EQ(point->layer, 2);
    EXPECT_EQ(point->position[0], 0.0);
    EXPECT_EQ(point->position[1], 1.0);
    EXPECT_EQ(point->position[2], 5.0);
    EXPECT_EQ(point->flags, 0);
    EXPECT_EQ(op->pointInfo(op->state, s.pnt(0, s.p[2]))->flags, EDDF_SELECT);
    EXPECT_EQ(op->pointCount(op->state, OPLYR_FG, EDCOUNT_SELECT), 1);
    EXPECT_EQ(point->vmapVec, nullptr);  // no map chosen

    // Polygon scratch is zeroed at first and kept between scans.
    RecordCheck check{&s, op};
    op->polyScan(op->state, check_polygon_record, &check, OPLYR_NONEMPTY);
    EXPECT_TRUE(check.ok);
    EXPECT_EQ(check.calls, 8);
    check.calls = 0;
    op->polyScan(op->state, read_polygon_scratch, &check, OPLYR_NONEMPTY);
    EXPECT_TRUE(check.ok);
    op->done(op->state, EDERR_NONE, 0);

    // With the global selection every element counts as selected.
    op = begin_mesh_edit(s.host, 0, 0, OPSEL_GLOBAL);
    ASSERT_NE(op, nullptr);
    EXPECT_EQ(op->polyInfo(op->state, s.pol(0, s.quad))->flags, EDDF_SELECT);
    EXPECT_EQ(op->polyCount(op->state, OPLYR_NONEMPTY, EDCOUNT_SELECT), 8);
    EXPECT_EQ(op->polyInfo(op->state, s.pol(0, s.quad))->userData, nullptr);  // no scratch asked for
    op->done(op->state, EDERR_NONE, 0);
}

TEST(MeshEditTest, NormalsUseFirstSecondAndLastCorner) {
    ShipScene s;
    MeshEditOp* op = begin_mesh_edit(s.host, 0, 0, 0);
    ASSERT_NE(op, nullptr);
    double n[3] = {9, 9, 9};

    // Clockwise seen from -Z in left-handed axes: the normal faces -Z.
    EXPECT_EQ(op->polyNormal(op->state, s.pol(0, s.quad), n), 1);
    EXPECT_DOUBLE_EQ(n[0], 0.0);
    EXPECT_DOUBLE_EQ(n[1], 0.0);
    EXPECT_DOUBLE_EQ(n[2], -1.0);
    // (1,2,0) x (0,0,3) = (6,-3,0), over its length sqrt(45).
    EXPECT_EQ(op->polyNormal(op->state, s.pol(0, s.tilted), n), 1);
    EXPECT_NEAR(n[0], 6 / std::sqrt(45.0), 1e-15);
    EXPECT_NEAR(n[1], -3 / std::sqrt(45.0), 1e-15);
    EXPECT_NEAR(n[2], 0.0, 1e-15);
    // The third corner of a quad plays no part.
    EXPECT_EQ(op->polyNormal(op->state, s.pol(0, s.nonplanar), n), 1);
    EXPECT_DOUBLE_EQ(n[2], -1.0);

    // Degenerate: two corners, or three on one line; and no polygon at all.
    n[0] = 5;
    EXPECT_EQ(op->polyNormal(op->state, s.pol(0, s.two_point), n), 0);
    EXPECT_EQ(n[0], 0.0);
    EXPECT_EQ(op->polyNormal(op->state, s.pol(0, s.collinear), n), 0);
    EXPECT_EQ(op->polyNormal(op->state, reinterpret_cast<LWPolID>(s.pnt(0, 0)), n), 0);  // a point's handle
    EXPECT_EQ(op->polyNormal(op->state, s.pol(0, s.quad), nullptr), 0);
    op->done(op->state, EDERR_NONE, 0);
}

TEST(MeshEditTest, VertexMapsGivePerPolygonValuesBeforePerPoint) {
    ShipScene s;
    MeshEditOp* op = begin_mesh_edit(s.host, 0, 0, 0);
    ASSERT_NE(op, nullptr);
    float uv[2] = {-1, -1};

    void* id = op->pointVSet(op->state, nullptr, LWVMAP_TXUV, "UVMap");
    ASSERT_NE(id, nullptr);
    EXPECT_EQ(op->pointVEval(op->state, s.pnt(0, s.p[0]), s.pol(0, s.quad), uv), 1);
    EXPECT_THAT(uv, ElementsAre(0.9f, 0.8f));  // the quad's own value at p0
    EXPECT_EQ(op->pointVEval(op->state, s.pnt(0, s.p[0]), s.pol(0, s.nonplanar), uv), 1);
    EXPECT_THAT(uv, ElementsAre(0.1f, 0.2f));  // other polygons see the point's value
    EXPECT_EQ(op->pointVPGet(op->state, s.pnt(0, s.p[0]), s.pol(0, s.nonplanar), uv), 0);
    EXPECT_EQ(op->pointVPGet(op->state, s.pnt(0, s.p[0]), s.pol(0, s.quad), uv), 1);
    EXPECT_EQ(op->pointVGet(op->state, s.pnt(0, s.p[1]), uv), 1);
    EXPECT_THAT(uv, ElementsAre(0.3f, 0.4f));
    EXPECT_EQ(op->pointVGet(op->state, s.pnt(0, s.p[2]), uv), 0);  // unmapped point
    EXPECT_EQ(op->pointVEval(op->state, s.pnt(0, s.p[2]), s.pol(0, s.quad), uv), 0);
    EXPECT_EQ(op->pointVGet(op->state, s.pnt(1, s.r[0]), uv), 0);  // a layer without the map

    EDPointInfo* info = op->pointInfo(op->state, s.pnt(0, s.p[1]));
    ASSERT_NE(info->vmapVec, nullptr);
    EXPECT_EQ(info->vmapVec[0], 0.3f);

    // The ID selects the same map again; a missing map gives no ID and no values.
    EXPECT_EQ(op->pointVSet(op->state, nullptr, LWVMAP_TXUV, "Missing"), nullptr);
    EXPECT_EQ(op->pointVGet(op->state, s.pnt(0, s.p[1]), uv), 0);
    EXPECT_EQ(op->pointVSet(op->state, id, 0, nullptr), id);
    EXPECT_EQ(op->pointVGet(op->state, s.pnt(0, s.p[1]), uv), 1);
    EXPECT_EQ(op->pointVSet(op->state, reinterpret_cast<void*>(0x1234), 0, nullptr), nullptr);
    EXPECT_EQ(op->pointVSet(op->state, nullptr, LWVMAP_WGHT, "UVMap"), nullptr);  // type matters
    op->done(op->state, EDERR_NONE, 0);
}

TEST(MeshEditTest, AddedGeometryIsCommittedOnlyWithoutError) {
    ShipScene s;
    s.host.scene.foreground_layers = 2;  // layer index 1 becomes primary
    auto build = [&](MeshEditOp* op) {
        double a[3] = {10, 0, 0}, b[3] = {10, 1, 0}, c[3] = {11, 0, 0};
        LWPntID pts[3] = {op->addPoint(op->state, a), op->addPoint(op->state, b), op->addPoint(op->state, c)};
        for (LWPntID p : pts) EXPECT_NE(p, nullptr);
        LWPntID reversed[3] = {pts[2], pts[1], pts[0]};
        LWPolID face = op->addFace(op->state, "a.bmp", 3, reversed);
        EXPECT_NE(face, nullptr);
        float uv[2] = {0.5f, 0.25f}, corner[2] = {0.75f, 1.0f}, weight = 0.5f;
        EXPECT_EQ(op->pntVMap(op->state, pts[0], LWVMAP_TXUV, "a.bmp", 2, uv), EDERR_NONE);
        EXPECT_EQ(op->pntVMap(op->state, pts[0], LWVMAP_WGHT, "root", 1, &weight), EDERR_NONE);
        EXPECT_EQ(op->pntVPMap(op->state, pts[1], face, LWVMAP_TXUV, "a.bmp", 2, corner), EDERR_NONE);
        EXPECT_EQ(op->pntVMap(op->state, pts[0], LWVMAP_TXUV, "a.bmp", 3, uv), EDERR_BADVMAP);
        EXPECT_EQ(op->pntVPMap(op->state, s.pnt(1, s.r[0]), face, LWVMAP_TXUV, "a.bmp", 2, corner),
                  EDERR_BADARGS);  // not a corner of that polygon
        LWPolID plain = op->addFace(op->state, nullptr, 3, pts);  // the current default surface
        EXPECT_STREQ(op->polyTag(op->state, plain, LWPTAG_SURF), "Default");
        // The edit sees its own changes.
        EXPECT_EQ(op->polyCount(op->state, OPLYR_PRIMARY, EDCOUNT_ALL), 4);
        EXPECT_STREQ(op->polyInfo(op->state, face)->surface, "a.bmp");
        op->pointVSet(op->state, nullptr, LWVMAP_TXUV, "a.bmp");
        float got[2];
        EXPECT_EQ(op->pointVEval(op->state, pts[1], face, got), 1);
        EXPECT_THAT(got, ElementsAre(0.75f, 1.0f));
        return pts[0];
    };

    // Cancelled: the scene is as before.
    MeshEditOp* op = begin_mesh_edit(s.host, 0, 0, 0);
    ASSERT_NE(op, nullptr);
    EXPECT_EQ(op->layerNum, 2);
    EXPECT_EQ(begin_mesh_edit(s.host, 0, 0, 0), nullptr);  // one edit at a time
    build(op);
    op->done(op->state, EDERR_USERABORT, 0);
    EXPECT_EQ(s.layer(1).points.size(), 3u);
    EXPECT_EQ(s.layer(1).polygons.size(), 2u);
    EXPECT_EQ(s.layer(1).find_vmap(kTexUV, "a.bmp"), nullptr);
    EXPECT_EQ(s.host.scene.find_surface(s.mesh, "a.bmp"), nullptr);

    // Committed: points, polygons in the given vertex order, maps, surface.
    op = begin_mesh_edit(s.host, 0, 0, 0);
    ASSERT_NE(op, nullptr);
    LWPntID first = build(op);
    op->done(op->state, EDERR_NONE, 0);
    const Layer& l = s.layer(1);
    ASSERT_EQ(l.points.size(), 6u);
    ASSERT_EQ(l.polygons.size(), 4u);
    EXPECT_EQ(l.points[3].position[0], 10.0);
    const Polygon& face = l.polygons[2];
    EXPECT_THAT(std::vector<std::uint32_t>(l.vertices(face), l.vertices(face) + 3), ElementsAre(5u, 4u, 3u));
    EXPECT_EQ(s.host.scene.meshes[std::size_t(s.mesh)]->tags[std::size_t(face.surface_tag)], "a.bmp");
    ASSERT_NE(l.find_vmap(kTexUV, "a.bmp"), nullptr);
    EXPECT_THAT(std::vector<float>(l.find_vmap(kTexUV, "a.bmp")->get(3), l.find_vmap(kTexUV, "a.bmp")->get(3) + 2),
                ElementsAre(0.5f, 0.25f));
    EXPECT_EQ(l.find_vmap(kTexUV, "a.bmp")->get_for_polygon(2, 4)[1], 1.0f);
    EXPECT_EQ(l.find_vmap(kWeight, "root")->get(3)[0], 0.5f);
    EXPECT_NE(s.host.scene.find_surface(s.mesh, "a.bmp"), nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first), point_handle(s.mesh, 1, 3));  // handles survive the commit
    EXPECT_THAT(check_scene(s.host.scene), IsEmpty());

    // Layer 0 was not touched, and a new edit may begin.
    EXPECT_EQ(s.layer(0).points.size(), 9u);
    op = begin_mesh_edit(s.host, 0, 0, 0);
    ASSERT_NE(op, nullptr);
    op->done(op->state, EDERR_NONE, 0);
}

TEST(MeshEditTest, RemovedAndMovedElementsAreAppliedAtDone) {
    ShipScene s;
    MeshEditOp* op = begin_mesh_edit(s.host, 0, 0, 0);
    ASSERT_NE(op, nullptr);
    double to[3] = {7, 8, 9};
    EXPECT_EQ(op->pntMove(op->state, s.pnt(0, s.p[5]), to), EDERR_NONE);
    EXPECT_EQ(op->remPoly(op->state, s.pol(0, s.two_point)), EDERR_NONE);
    EXPECT_EQ(op->remPoint(op->state, s.pnt(0, s.q2)), EDERR_NONE);  // the tilted triangle uses it
    EXPECT_EQ(op->polyCount(op->state, OPLYR_FG, EDCOUNT_ALL), 5);
    EXPECT_EQ(op->polyCount(op->state, OPLYR_FG, EDCOUNT_DELETE), 1);
    EXPECT_EQ(op->pointCount(op->state, OPLYR_FG, EDCOUNT_DELETE), 1);
    EXPECT_EQ(op->polyInfo(op->state, s.pol(0, s.two_point))->flags & EDDF_DELETE, EDDF_DELETE);
    EXPECT_EQ(op->polSurf(op->state, s.pol(0, s.tri), "Chrome"), EDERR_NONE);
    EXPECT_EQ(op->polTag(op->state, s.pol(0, s.tri), LWPTAG_PART, "Hull"), EDERR_NONE);
    EXPECT_EQ(op->polFlag(op->state, s.pol(0, s.tri), EDPF_CCEND, EDPF_CCEND), EDERR_NONE);
    LWPntID corners[3] = {s.pnt(0, s.p[0]), s.pnt(0, s.p[1]), s.pnt(0, s.p[2])};
    EXPECT_EQ(op->polPnts(op->state, s.pol(0, s.collinear), 3, corners), EDERR_NONE);
    ScanLog scan;
    op->polyScan(op->state, log_polygon, &scan, OPLYR_FG);
    EXPECT_EQ(scan.layers.size(), 5u);  // the removed polygon is not visited
    op->done(op->state, EDERR_NONE, 0);

    // Compacted: the two-point face and the tilted triangle are gone, q2 too.
    const Layer& l = s.layer(0);
    ASSERT_EQ(l.points.size(), 8u);
    ASSERT_EQ(l.polygons.size(), 4u);
    EXPECT_EQ(l.points[s.p[5]].position[1], 8.0);
    const auto& tags = s.host.scene.meshes[std::size_t(s.mesh)]->tags;
    EXPECT_EQ(tags[std::size_t(l.polygons[1].surface_tag)], "Chrome");
    EXPECT_EQ(tags[std::size_t(l.polygons[1].part_tag)], "Hull");
    EXPECT_EQ(l.polygons[1].flags, unsigned(EDPF_CCEND));
    const Polygon& moved = l.polygons[3];  // was the collinear triangle
    EXPECT_THAT(std::vector<std::uint32_t>(l.vertices(moved), l.vertices(moved) + 3), ElementsAre(0u, 1u, 2u));
    // The off-plane point moved down one index; its map rows followed.
    const Polygon& nonplanar = l.polygons[2];
    EXPECT_EQ(l.points[l.vertices(nonplanar)[2]].position[0], 5.0);
    EXPECT_EQ(l.find_vmap(kTexUV, "UVMap")->get_for_polygon(0, 0)[0], 0.9f);
    EXPECT_THAT(check_scene(s.host.scene), IsEmpty());
}

TEST(MeshEditTest, DoneModeDecidesTheSelection) {
    ShipScene s;
    s.layer(0).polygons[s.tri].selected = true;
    s.layer(1).polygons[s.metal].selected = true;

    // Mode 8 after polSelect: exactly the marked polygons, in any layer.
    MeshEditOp* op = begin_mesh_edit(s.host, 0, 0, kDirectModify);
    ASSERT_NE(op, nullptr);
    EXPECT_EQ(op->polSelect(op->state, s.pol(0, s.quad), 1), EDERR_NONE);
    EXPECT_EQ(op->polSelect(op->state, s.pol(1, s.patch), 1), EDERR_NONE);
    EXPECT_EQ(op->polyCount(op->state, OPLYR_NONEMPTY, EDCOUNT_SELECT), 4);  // marks add to the old selection
    EXPECT_EQ(s.layer(0).polygons[s.quad].selected, false);                 // not before done
    op->done(op->state, EDERR_NONE, EDSELM_FORCEPOLS);
    auto selected = [&](int layer) {
        std::vector<std::uint32_t> out;
        for (std::uint32_t i = 0; i < s.layer(layer).polygons.size(); ++i)
            if (s.layer(layer).polygons[i].selected) out.push_back(i);
        return out;
    };
    EXPECT_THAT(selected(0), ElementsAre(s.quad));
    EXPECT_THAT(selected(1), ElementsAre(s.patch));
    EXPECT_EQ(s.host.scene.selection_mode, 1);

    // Mode 0 without marks keeps the selection; a cancelled edit drops marks.
    op = begin_mesh_edit(s.host, 0, 0, kDirectModify);
    op->done(op->state, EDERR_NONE, 0);
    EXPECT_THAT(selected(0), ElementsAre(s.quad));
    op = begin_mesh_edit(s.host, 0, 0, kDirectModify);
    op->polSelect(op->state, s.pol(0, s.tri), 1);
    op->done(op->state, EDERR_USERABORT, EDSELM_FORCEPOLS);
    EXPECT_THAT(selected(0), ElementsAre(s.quad));

    // Clearing, deselecting, and selecting what the edit added.
    op = begin_mesh_edit(s.host, 0, 0, kDirectModify);
    double at[3] = {0, 0, 9};
    LWPntID fresh = op->addPoint(op->state, at);
    LWPntID tri[3] = {s.pnt(0, s.p[0]), s.pnt(0, s.p[1]), fresh};
    op->addFace(op->state, "Skin", 3, tri);
    op->polSelect(op->state, s.pol(1, s.patch), 0);
    op->done(op->state, EDERR_NONE, EDSELM_CLEARCURRENT | EDSELM_SELECTNEW);
    EXPECT_THAT(selected(0), ElementsAre(6u));
    EXPECT_THAT(selected(1), IsEmpty());
    EXPECT_TRUE(s.layer(0).points[9].selected);
    EXPECT_FALSE(s.layer(0).points[0].selected);

    // Selection edits need OPSEL_MODIFY.
    op = begin_mesh_edit(s.host, 0, 0, OPSEL_DIRECT);
    EXPECT_EQ(op->polSelect(op->state, s.pol(0, s.quad), 1), EDERR_BADARGS);
    EXPECT_EQ(op->pntSelect(op->state, s.pnt(0, 0), 1), EDERR_BADARGS);
    op->done(op->state, EDERR_NONE, 0);
}

TEST(MeshEditTest, AnEditLeftOpenDiesWithTheHost) {
    ShipScene s;
    MeshEditOp* op = begin_mesh_edit(s.host, 16, 16, 0);
    ASSERT_NE(op, nullptr);
    double at[3] = {1, 1, 1};
    ASSERT_NE(op->addPoint(op->state, at), nullptr);
    EXPECT_EQ(begin_mesh_edit(s.host, 0, 0, 0), nullptr);
    EXPECT_EQ(s.host.diagnostics.back(), "editBegin: an edit is already open");
    EXPECT_EQ(s.layer(0).points.size(), 9u);  // never committed; freed with the host (LeakSanitizer checks)
}

TEST(MeshEditTest, GarbageHandlesAreRefused) {
    ShipScene s;
    MeshEditOp* op = begin_mesh_edit(s.host, 0, 0, kDirectModify);
    ASSERT_NE(op, nullptr);

    // Layer 1's handles need more than 32 bits and still round-trip.
    LWPntID wide = s.pnt(1, s.r[2]);
    EXPECT_GT(reinterpret_cast<std::uintptr_t>(wide), std::uintptr_t(0xFFFFFFFFu));
    ASSERT_NE(op->pointInfo(op->state, wide), nullptr);
    EXPECT_EQ(op->pointInfo(op->state, wide)->pnt, wide);
    EXPECT_EQ(op->pointInfo(op->state, wide)->position[0], 1.0);

    const std::uintptr_t real = reinterpret_cast<std::uintptr_t>(wide);
    const std::uintptr_t garbage[] = {
        0, 1, 0xDEADBEEF, real & 0xFFFFFFFFu,            // kept to 32 bits
        point_handle(s.mesh + 1, 0, 0),                  // another object
        point_handle(s.mesh, 7, 0),                      // no such layer
        point_handle(s.mesh, 0, 9),                      // past the last point
        polygon_handle(s.mesh, 0, 0),                    // a polygon, not a point
        ~std::uintptr_t(0),
    };
    double xyz[3] = {0, 0, 0}, n[3];
    float value[2] = {0, 0};
    for (std::uintptr_t g : garbage) {
        SCOPED_TRACE(g);
        LWPntID pnt = reinterpret_cast<LWPntID>(g);
        LWPolID pol = reinterpret_cast<LWPolID>(g);
        EXPECT_EQ(op->pointInfo(op->state, pnt), nullptr);
        if (g != polygon_handle(s.mesh, 0, 0)) {
            EXPECT_EQ(op->polyInfo(op->state, pol), nullptr);
            EXPECT_EQ(op->polyNormal(op->state, pol, n), 0);
            EXPECT_EQ(op->remPoly(op->state, pol), EDERR_BADARGS);
            EXPECT_EQ(op->polSelect(op->state, pol, 1), EDERR_BADARGS);
        }
        EXPECT_EQ(op->pntMove(op->state, pnt, xyz), EDERR_BADARGS);
        EXPECT_EQ(op->remPoint(op->state, pnt), EDERR_BADARGS);
        EXPECT_EQ(op->pntVMap(op->state, pnt, LWVMAP_TXUV, "UVMap", 2, value), EDERR_BADARGS);
        EXPECT_EQ(op->pointVGet(op->state, pnt, value), 0);
        LWPntID tri[3] = {pnt, s.pnt(0, 0), s.pnt(0, 1)};
        EXPECT_EQ(op->addFace(op->state, "Skin", 3, tri), nullptr);
    }
    // A polygon may not mix layers.
    LWPntID mixed[3] = {s.pnt(0, 0), s.pnt(0, 1), s.pnt(1, 0)};
    EXPECT_EQ(op->addFace(op->state, "Skin", 3, mixed), nullptr);
    EXPECT_EQ(op->addFace(op->state, "Skin", 0, mixed), nullptr);
    EXPECT_EQ(op->addPatch(op->state, 1, 1, 0, 0, nullptr, nullptr, nullptr, nullptr), EDERR_BADARGS);
    op->done(op->state, EDERR_NONE, 0);
    EXPECT_EQ(s.layer(0).polygons.size(), 6u);
    EXPECT_EQ(s.layer(0).points.size(), 9u);

    // After done the record is stale: calls do nothing, a second done too.
    EXPECT_EQ(op->polyCount(op->state, OPLYR_NONEMPTY, EDCOUNT_ALL), 0);
    EXPECT_EQ(op->addPoint(op->state, xyz), nullptr);
    EXPECT_EQ(op->pointInfo(op->state, s.pnt(0, 0)), nullptr);
    op->done(op->state, EDERR_NONE, EDSELM_CLEARCURRENT);
    EXPECT_EQ(s.layer(0).points.size(), 9u);
    MeshEditOp* next = begin_mesh_edit(s.host, 0, 0, 0);
    ASSERT_NE(next, nullptr);
    op->done(op->state, EDERR_NONE, 0);  // the old record cannot end the new edit
    EXPECT_EQ(next->polyCount(next->state, OPLYR_NONEMPTY, EDCOUNT_ALL), 8);
    next->done(next->state, EDERR_NONE, 0);
}

TEST(MeshEditTest, NoEditWithoutCurrentObject) {
    Host host;
    EXPECT_EQ(begin_mesh_edit(host, 0, 0, 0), nullptr);
    ASSERT_FALSE(host.diagnostics.empty());
    EXPECT_EQ(host.diagnostics.back(), "editBegin: no current object");

    // An object without layers gets its first layer from the edit.
    int mesh = host.scene.add_mesh("");
    host.scene.current_mesh = mesh;
    MeshEditOp* op = begin_mesh_edit(host, 0, 0, 0);
    ASSERT_NE(op, nullptr);
    double at[3] = {1, 2, 3};
    LWPntID a = op->addPoint(op->state, at), b = op->addPoint(op->state, at);
    LWPntID pair[2] = {a, b};
    EXPECT_NE(op->addFace(op->state, "x", 2, pair), nullptr);
    op->done(op->state, EDERR_NONE, 0);
    ASSERT_EQ(host.scene.meshes[std::size_t(mesh)]->layers.size(), 1u);
    EXPECT_EQ(host.scene.meshes[std::size_t(mesh)]->layers[0].polygons.size(), 1u);
}

TEST(MeshEditTest, InterpolatedPointsAndInitialUVs) {
    ShipScene s;
    MeshEditOp* op = begin_mesh_edit(s.host, 0, 0, 0);
    ASSERT_NE(op, nullptr);
    LWPntID from[2] = {s.pnt(0, s.p[0]), s.pnt(0, s.p[1])};
    double w[2] = {0.25, 0.75};
    LWPntID mid = op->addIPnt(op->state, nullptr, 2, from, w);
    ASSERT_NE(mid, nullptr);
    EDPointInfo* info = op->pointInfo(op->state, mid);
    EXPECT_DOUBLE_EQ(info->position[1], 0.75);  // 0.25 * 0 + 0.75 * 1
    op->pointVSet(op->state, nullptr, LWVMAP_TXUV, "UVMap");
    float uv[2];
    ASSERT_EQ(op->pointVGet(op->state, mid, uv), 1);
    EXPECT_FLOAT_EQ(uv[0], 0.25f * 0.1f + 0.75f * 0.3f);
    EXPECT_FLOAT_EQ(uv[1], 0.25f * 0.2f + 0.75f * 0.4f);

    LWPntID tri[3] = {s.pnt(0, s.p[3]), s.pnt(0, s.p[4]), mid};
    ASSERT_NE(op->addFace(op->state, "Skin", 3, tri), nullptr);
    float init[6] = {0, 0, 1, 0, 0.5f, 1};
    EXPECT_EQ(op->initUV(op->state, init), EDERR_NONE);
    ASSERT_EQ(op->pointVGet(op->state, s.pnt(0, s.p[4]), uv), 1);
    EXPECT_THAT(uv, ElementsAre(1.0f, 0.0f));
    op->done(op->state, EDERR_USERABORT, 0);
}

// ---------------------------------------------------------------------------
// "LWM: State Query 3"

TEST(StateQueryTest, ReportsTheCurrentObjectAndItsLayers) {
    ShipScene s;
    auto* query = static_cast<LWStateQueryFuncs*>(s.host.global("LWM: State Query 3", 0));
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(query->numLayers(), 5);  // layers 1, 2 and 5
    EXPECT_EQ(query->layerMask(OPLYR_FG), 0x1u);
    EXPECT_EQ(query->layerMask(OPLYR_BG), 0x2u);
    EXPECT_EQ(query->layerMask(OPLYR_ALL), 0x13u);
    EXPECT_EQ(query->layerMask(OPLYR_EMPTY), 0x10u);
    EXPECT_STREQ(query->layerList(OPLYR_ALL, nullptr), "5 2 1");
    EXPECT_STREQ(query->layerList(OPLYR_NONEMPTY, "C:/models/ship.lwo"), "2 1");
    EXPECT_EQ(query->layerList(OPLYR_ALL, "C:/models/none.lwo"), nullptr);
    EXPECT_STREQ(query->object(), "C:/models/ship.lwo");
    EXPECT_STREQ(query->surface(), "Default");
    LWID type = 0;
    EXPECT_STREQ(query->vmap(LWM_VMAP_TEXTURE, &type), "UVMap");
    EXPECT_EQ(type, LWVMAP_TXUV);
    EXPECT_EQ(query->vmap(LWM_VMAP_WEIGHT, &type), nullptr);

    double box[6];
    EXPECT_EQ(query->bbox(OPLYR_BG, box), 3u);
    EXPECT_THAT(box, ElementsAre(0.0, 1.0, 0.0, 1.0, 5.0, 5.0));
    EXPECT_EQ(query->bbox(OPLYR_FG, box), 9u);
    EXPECT_THAT(box, ElementsAre(0.0, 5.0, 0.0, 5.0, 0.0, 5.0));
    EXPECT_EQ(query->bbox(OPLYR_EMPTY, box), 0u);
    EXPECT_THAT(box, ElementsAre(0.0, 0.0, 0.0, 0.0, 0.0, 0.0));

    // An object never saved goes by its item's name, or "Unnamed".
    int unsaved = s.host.scene.add_mesh("");
    s.host.scene.current_mesh = unsaved;
    EXPECT_STREQ(query->object(), "Unnamed 2");
    SceneBuilder(s.host.scene).object("Cargo", MeshBuilder(s.host.scene, unsaved));
    EXPECT_STREQ(query->object(), "Cargo");
    s.host.scene.current_mesh = -1;
    EXPECT_EQ(query->object(), nullptr);
    EXPECT_EQ(query->numLayers(), 0);
}

}  // namespace
}  // namespace lwhost
