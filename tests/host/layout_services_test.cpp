// Layout's read services over the scene: "LW Item Info 3", "LW Object Info 4"
// with its mesh info, "LW Bone Info 3", "LW Scene Info 3",
// "LW Interface Info 3" and "Scene Objects 4", fetched through the host's
// global function as a plug-in fetches them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "host.h"
#include "lwmeshes.h"
#include "lwrender.h"
#include "scene_builder.h"
#include "services/services.h"

namespace lwhost {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr double kPi = 3.14159265358979323846;

LWItemID lw(ItemId id) { return reinterpret_cast<LWItemID>(std::uintptr_t(id)); }
ItemId id_of(LWItemID id) { return ItemId(reinterpret_cast<std::uintptr_t>(id)); }

template <class T>
T* service(Host& host, const char* name) {
    return static_cast<T*>(host.global(name, 0));
}

std::vector<ItemId> enumerate(const LWItemInfo* info, LWItemType type, LWItemID object = nullptr) {
    std::vector<ItemId> out;
    for (LWItemID id = info->first(type, object); id; id = info->next(id)) out.push_back(id_of(id));
    return out;
}

std::vector<ItemId> children(const LWItemInfo* info, ItemId parent) {
    std::vector<ItemId> out;
    for (LWItemID id = info->firstChild(lw(parent)); id; id = info->nextChild(lw(parent), id)) out.push_back(id_of(id));
    return out;
}

TEST(ItemInfoTest, EnumerationHierarchyAndNames) {
    Host host;
    SceneBuilder b(host.scene);
    ItemId first = b.null_object("First");
    ItemId second = b.null_object("Second");
    ItemId light = b.light("Light");
    ItemId camera = b.camera("Camera");
    ItemId root = b.bone(second, "root");
    ItemId arm = b.bone(second, "arm", root);
    ItemId leg = b.bone(second, "leg", root);
    ItemId tail = b.bone(second, "tail");
    b.item(first).parent(light).target(camera).goal(second, 0.75);
    auto* info = service<LWItemInfo>(host, "LW Item Info 3");
    ASSERT_NE(info, nullptr);

    EXPECT_THAT(enumerate(info, LWI_OBJECT), ElementsAre(first, second));
    EXPECT_THAT(enumerate(info, LWI_LIGHT), ElementsAre(light));
    EXPECT_THAT(enumerate(info, LWI_CAMERA), ElementsAre(camera));
    EXPECT_THAT(enumerate(info, LWI_BONE, lw(second)), ElementsAre(root, arm, leg, tail));
    EXPECT_THAT(enumerate(info, LWI_BONE, lw(first)), IsEmpty());
    EXPECT_EQ(info->first(LWI_BONE, nullptr), nullptr);
    EXPECT_EQ(info->first(7, nullptr), nullptr);

    // Children in child order; re-parenting moves a child to the end.
    EXPECT_THAT(children(info, second), ElementsAre(root, tail));
    EXPECT_THAT(children(info, root), ElementsAre(arm, leg));
    host.scene.set_parent(arm, root);
    EXPECT_THAT(children(info, root), ElementsAre(leg, arm));
    EXPECT_EQ(info->nextChild(lw(root), lw(tail)), nullptr);  // not a child of root
    EXPECT_EQ(info->nextChild(lw(root), nullptr), nullptr);

    EXPECT_EQ(id_of(info->parent(lw(arm))), root);
    EXPECT_EQ(id_of(info->parent(lw(root))), second);
    EXPECT_EQ(info->parent(lw(second)), nullptr);
    EXPECT_EQ(id_of(info->parent(lw(first))), light);
    EXPECT_EQ(id_of(info->target(lw(first))), camera);
    EXPECT_EQ(id_of(info->goal(lw(first))), second);
    EXPECT_EQ(info->goalStrength(lw(first)), 0.75);
    EXPECT_EQ(info->type(lw(first)), LWI_OBJECT);
    EXPECT_EQ(info->type(lw(light)), LWI_LIGHT);
    EXPECT_EQ(info->type(lw(camera)), LWI_CAMERA);
    EXPECT_EQ(info->type(lw(leg)), LWI_BONE);
    EXPECT_STREQ(info->name(lw(leg)), "leg");
    EXPECT_EQ(info->flags(lw(leg)), unsigned(LWITEMF_ACTIVE));

    // Only the low 32 bits of an item ID count, as in Layout.
    LWItemID widened = reinterpret_cast<LWItemID>((std::uintptr_t(0xABCD) << 32) | arm);
    EXPECT_STREQ(info->name(widened), "arm");

    // Unknown items answer null / -1 and leave a note; null answers null quietly.
    std::size_t notes = host.diagnostics.size();
    EXPECT_EQ(info->name(lw(0x10000055u)), nullptr);
    EXPECT_EQ(info->type(lw(0x40050000u)), -1);
    EXPECT_EQ(info->next(lw(0x90000000u)), nullptr);
    EXPECT_EQ(host.diagnostics.size(), notes + 3);
    EXPECT_EQ(info->parent(nullptr), nullptr);
    EXPECT_EQ(info->name(nullptr), nullptr);
    EXPECT_EQ(host.diagnostics.size(), notes + 3);

    // Tags: numbered from 1; 0 or one past the end adds.
    info->setTag(lw(first), 0, "alpha");
    info->setTag(lw(first), 2, "beta");
    info->setTag(lw(first), 1, "gamma");
    EXPECT_STREQ(info->getTag(lw(first), 1), "gamma");
    EXPECT_STREQ(info->getTag(lw(first), 2), "beta");
    EXPECT_EQ(info->getTag(lw(first), 3), nullptr);
    EXPECT_EQ(info->getTag(lw(first), 0), nullptr);
    info->setTag(lw(first), 1, nullptr);
    EXPECT_STREQ(info->getTag(lw(first), 1), "beta");

    int kinds[3] = {9, 9, 9};
    info->controller(lw(arm), LWIP_ROTATION, kinds);
    EXPECT_THAT(kinds, ElementsAre(LWMOTCTL_KEYFRAMES, LWMOTCTL_KEYFRAMES, LWMOTCTL_KEYFRAMES));
    EXPECT_EQ(info->server(lw(arm), "ItemMotionHandler", 1), nullptr);
}

TEST(ItemInfoTest, ParamsAtAnyTime) {
    Host host;
    SceneBuilder b(host.scene);
    b.fps(10);
    ItemId object = b.null_object("rig").position({0, 0, 5});
    b.key(object, kPositionZ, 10, 15.0, SpanType::Linear);
    ItemId bone = b.bone(object, "bone").rest({1, 0, 0}, {kPi / 2, 0, 0}).pivot_rotation({0, 0.25, 0});
    auto* info = service<LWItemInfo>(host, "LW Item Info 3");
    double out[3];

    info->param(lw(object), LWIP_POSITION, 0.5, out);  // halfway from z 5 to 15
    EXPECT_THAT(out, ElementsAre(0.0, 0.0, 10.0));
    info->param(lw(bone), LWIP_W_POSITION, 0.5, out);
    EXPECT_THAT(out, ElementsAre(1.0, 0.0, 10.0));
    info->param(lw(bone), LWIP_ROTATION, 3.0, out);  // no keys: rest rotation
    EXPECT_THAT(out, ElementsAre(kPi / 2, 0.0, 0.0));
    info->param(lw(bone), LWIP_PIVOT_ROT, 0.0, out);
    EXPECT_THAT(out, ElementsAre(0.0, 0.25, 0.0));
    // The bone's +Z: turned to +X by its heading of 90, which the outer
    // pivot pitch (about X) leaves in place. Were the pivot rotation applied
    // first, it would end at (cos 0.25, -sin 0.25, 0).
    info->param(lw(bone), LWIP_FORWARD, 0.0, out);
    EXPECT_NEAR(out[0], 1.0, 1e-12);
    EXPECT_NEAR(out[1], 0.0, 1e-12);
    EXPECT_NEAR(out[2], 0.0, 1e-12);

    out[0] = out[1] = out[2] = 3.0;
    info->param(lw(0x10000009u), LWIP_POSITION, 0.0, out);
    EXPECT_THAT(out, ElementsAre(0.0, 0.0, 0.0));
    info->param(lw(object), LWIP_POSITION, 0.0, nullptr);  // must not crash
}

// A mesh for the mesh info tests: mesh 1 (so handles carry a mesh number
// other than the first), layers 0 and 1, with a UV map that has per-point and
// per-polygon values, a weight map and two surfaces.
struct MeshFixture {
    Host host;
    SceneBuilder b{host.scene};
    ItemId object = 0, other = 0;
    std::uint32_t p[5] = {};
    std::uint32_t quad = 0, tri = 0, curve = 0;

    MeshFixture() {
        auto spare = b.mesh("spare.lwo");
        spare.point(9, 9, 9);
        other = b.object("spare", spare);
        auto mesh = b.mesh("/models/crate.lwo");
        for (int i = 0; i < 5; ++i) p[i] = mesh.point(i, 2.0 * i, 0.5);
        quad = mesh.quad(p[0], p[1], p[2], p[3], "Wood");
        tri = mesh.triangle(p[1], p[2], p[4], "Metal");
        curve = mesh.polygon({p[0], p[4]}, "", kCurve);
        mesh.part(tri, "Lid");
        mesh.uv("UV", p[1], 0.1f, 0.2f).uv("UV", p[2], 0.3f, 0.4f);
        mesh.uv_for_polygon("UV", tri, p[1], 0.9f, 0.8f);
        mesh.weight("arm", p[2], 0.6f);
        mesh.current_layer().polygons[tri].flags = 5;
        object = b.object("crate", mesh).position({10, 0, 0});
        mesh.layer(1);
        mesh.point(7, 7, 7);
        mesh.uv("UV", 0, 0.5f, 0.5f);
    }
};

int collect_point(void* data, LWPntID id) {
    static_cast<std::vector<LWPntID>*>(data)->push_back(id);
    return 0;
}
int collect_polygon(void* data, LWPolID id) {
    static_cast<std::vector<LWPolID>*>(data)->push_back(id);
    return 0;
}

TEST(MeshInfoTest, ScansPositionsPolygonsAndTags) {
    MeshFixture f;
    auto* objects = service<LWObjectInfo>(f.host, "LW Object Info 4");
    ASSERT_NE(objects, nullptr);
    EXPECT_STREQ(objects->filename(lw(f.object)), "/models/crate.lwo");
    EXPECT_EQ(objects->numPoints(lw(f.object)), 5);
    EXPECT_EQ(objects->numPolygons(lw(f.object)), 3);
    LWMeshInfo* mesh = objects->meshInfo(lw(f.object), 1);
    ASSERT_NE(mesh, nullptr);
    ASSERT_NE(mesh->destroy, nullptr);
    EXPECT_EQ(mesh->numPoints(mesh), 5);
    EXPECT_EQ(mesh->numPolygons(mesh), 3);

    std::vector<LWPntID> points;
    EXPECT_EQ(mesh->scanPoints(mesh, collect_point, &points), 0);
    ASSERT_EQ(points.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        LWFVector pos;
        mesh->pntBasePos(mesh, points[std::size_t(i)], pos);
        EXPECT_THAT(pos, ElementsAre(float(i), float(2 * i), 0.5f));
        mesh->pntOtherPos(mesh, points[std::size_t(i)], pos);  // the object stands at x = 10
        EXPECT_THAT(pos, ElementsAre(float(10 + i), float(2 * i), 0.5f));
    }
    std::vector<LWPolID> polygons;
    EXPECT_EQ(mesh->scanPolys(mesh, collect_polygon, &polygons), 0);
    ASSERT_EQ(polygons.size(), 3u);
    LWPolID quad = polygons[0], tri = polygons[1], curve = polygons[2];
    EXPECT_EQ(mesh->polType(mesh, quad), LWPOLTYPE_FACE);
    EXPECT_EQ(mesh->polType(mesh, curve), LWPOLTYPE_CURV);
    EXPECT_EQ(mesh->polSize(mesh, quad), 4);
    EXPECT_EQ(mesh->polSize(mesh, curve), 2);
    EXPECT_EQ(mesh->polVertex(mesh, tri, 0), points[1]);
    EXPECT_EQ(mesh->polVertex(mesh, tri, 2), points[4]);
    EXPECT_EQ(mesh->polVertex(mesh, tri, 3), nullptr);
    EXPECT_EQ(mesh->polVertex(mesh, tri, -1), nullptr);
    EXPECT_STREQ(mesh->polTag(mesh, quad, LWPTAG_SURF), "Wood");
    const char* metal = mesh->polTag(mesh, tri, LWPTAG_SURF);
    EXPECT_STREQ(metal, "Metal");
    EXPECT_EQ(mesh->polTag(mesh, tri, LWPTAG_SURF), metal);  // the same pointer each time
    EXPECT_STREQ(mesh->polTag(mesh, tri, LWPTAG_PART), "Lid");
    EXPECT_EQ(mesh->polTag(mesh, quad, LWPTAG_PART), nullptr);
    EXPECT_EQ(mesh->polTag(mesh, curve, LWPTAG_SURF), nullptr);
    EXPECT_EQ(mesh->polTag(mesh, quad, LWID_('C', 'O', 'L', 'R')), nullptr);
    EXPECT_EQ(mesh->polFlags(mesh, tri), 5u);

    // A non-zero callback result stops the scan and is its result.
    struct Counter {
        int calls = 0;
    } counter;
    auto stop_at_third = [](void* data, LWPntID) { return ++static_cast<Counter*>(data)->calls == 3 ? 7 : 0; };
    EXPECT_EQ(mesh->scanPoints(mesh, stop_at_third, &counter), 7);
    EXPECT_EQ(counter.calls, 3);
    EXPECT_EQ(mesh->scanPoints(mesh, nullptr, nullptr), 0);

    // Deleted elements are neither counted nor scanned nor readable.
    f.host.scene.layer_of(f.object)->points[3].deleted = true;
    f.host.scene.layer_of(f.object)->polygons[0].deleted = true;
    EXPECT_EQ(mesh->numPoints(mesh), 4);
    EXPECT_EQ(mesh->numPolygons(mesh), 2);
    points.clear();
    mesh->scanPoints(mesh, collect_point, &points);
    EXPECT_EQ(points.size(), 4u);
    EXPECT_EQ(mesh->polSize(mesh, quad), 0);

    int live = services::live_mesh_info_count();
    mesh->destroy(mesh);
    EXPECT_EQ(services::live_mesh_info_count(), live - 1);
}

TEST(MeshInfoTest, VertexMapValuesPerPointAndPerPolygon) {
    MeshFixture f;
    auto* objects = service<LWObjectInfo>(f.host, "LW Object Info 4");
    LWMeshInfo* mesh = objects->meshInfo(lw(f.object), 0);
    ASSERT_NE(mesh, nullptr);
    std::vector<LWPntID> points;
    std::vector<LWPolID> polygons;
    mesh->scanPoints(mesh, collect_point, &points);
    mesh->scanPolys(mesh, collect_polygon, &polygons);
    LWPolID quad = polygons[0], tri = polygons[1];

    void* uv = mesh->pntVLookup(mesh, LWVMAP_TXUV, "UV");
    void* weight = mesh->pntVLookup(mesh, LWVMAP_WGHT, "arm");
    ASSERT_NE(uv, nullptr);
    ASSERT_NE(weight, nullptr);
    EXPECT_EQ(mesh->pntVLookup(mesh, LWVMAP_WGHT, "UV"), nullptr);
    EXPECT_EQ(mesh->pntVLookup(mesh, LWVMAP_TXUV, "missing"), nullptr);
    EXPECT_EQ(mesh->pntVLookup(mesh, LWVMAP_TXUV, nullptr), nullptr);

    float value[2] = {-1, -1};
    EXPECT_EQ(mesh->pntVSelect(mesh, uv), 2);
    EXPECT_EQ(mesh->pntVGet(mesh, points[1], value), 1);
    EXPECT_THAT(value, ElementsAre(0.1f, 0.2f));
    // Per-polygon values only come from pntVPGet, and only for that polygon.
    EXPECT_EQ(mesh->pntVPGet(mesh, points[1], tri, value), 1);
    EXPECT_THAT(value, ElementsAre(0.9f, 0.8f));
    value[0] = value[1] = -1;
    EXPECT_EQ(mesh->pntVPGet(mesh, points[1], quad, value), 0);
    EXPECT_EQ(mesh->pntVPGet(mesh, points[2], tri, value), 0);
    EXPECT_THAT(value, ElementsAre(-1.0f, -1.0f));
    EXPECT_EQ(mesh->pntVGet(mesh, points[0], value), 0);
    EXPECT_EQ(mesh->pntVGet(mesh, points[2], nullptr), 1);  // a null buffer only asks

    EXPECT_EQ(mesh->pntVSelect(mesh, weight), 1);
    EXPECT_EQ(mesh->pntVGet(mesh, points[2], value), 1);
    EXPECT_EQ(value[0], 0.6f);
    EXPECT_EQ(mesh->pntVGet(mesh, points[1], value), 0);

    // The ID forms name the map directly, whatever is selected.
    EXPECT_EQ(mesh->pntVIDGet(mesh, points[2], value, uv), 1);
    EXPECT_THAT(value, ElementsAre(0.3f, 0.4f));
    EXPECT_EQ(mesh->pntVPIDGet(mesh, points[1], tri, value, uv), 1);
    EXPECT_THAT(value, ElementsAre(0.9f, 0.8f));
    EXPECT_EQ(mesh->pntVPIDGet(mesh, points[1], tri, value, weight), 0);

    // Selecting a bad handle selects nothing.
    EXPECT_EQ(mesh->pntVSelect(mesh, reinterpret_cast<void*>(std::uintptr_t(12345))), 0);
    EXPECT_EQ(mesh->pntVGet(mesh, points[2], value), 0);
    mesh->destroy(mesh);
}

TEST(MeshInfoTest, HandlesNeedAllTheirBitsAndAreChecked) {
    MeshFixture f;
    auto* objects = service<LWObjectInfo>(f.host, "LW Object Info 4");
    LWMeshInfo* layer0 = objects->meshInfo(lw(f.object), 1);
    ItemId layer1_object = f.b.object("crate lid", MeshBuilder(f.host.scene, 1), 1);
    LWMeshInfo* layer1 = objects->meshInfo(lw(layer1_object), 1);
    ASSERT_NE(layer0, nullptr);
    ASSERT_NE(layer1, nullptr);
    std::vector<LWPntID> points0, points1;
    layer0->scanPoints(layer0, collect_point, &points0);
    layer1->scanPoints(layer1, collect_point, &points1);
    ASSERT_EQ(points1.size(), 1u);

    // Point 0 of two layers: equal in the low 32 bits, different handles.
    auto bits0 = reinterpret_cast<std::uintptr_t>(points0[0]);
    auto bits1 = reinterpret_cast<std::uintptr_t>(points1[0]);
    EXPECT_NE(bits0 >> 32, 0u);
    EXPECT_EQ(bits0 & 0xFFFFFFFFu, bits1 & 0xFFFFFFFFu);
    EXPECT_NE(bits0, bits1);
    LWFVector pos;
    layer1->pntBasePos(layer1, points1[0], pos);
    EXPECT_THAT(pos, ElementsAre(7.0f, 7.0f, 7.0f));

    // A handle cut to 32 bits, or from another layer, names nothing here.
    auto truncated = reinterpret_cast<LWPntID>(bits0 & 0xFFFFFFFFu);
    layer0->pntBasePos(layer0, truncated, pos);
    EXPECT_THAT(pos, ElementsAre(0.0f, 0.0f, 0.0f));
    layer0->pntBasePos(layer0, points1[0], pos);
    EXPECT_THAT(pos, ElementsAre(0.0f, 0.0f, 0.0f));
    void* uv1 = layer1->pntVLookup(layer1, LWVMAP_TXUV, "UV");
    ASSERT_NE(uv1, nullptr);
    EXPECT_EQ(layer0->pntVSelect(layer0, uv1), 0);
    float value[2];
    EXPECT_EQ(layer1->pntVIDGet(layer1, points1[0], value, uv1), 1);
    EXPECT_EQ(layer0->pntVIDGet(layer0, points0[0], value, uv1), 0);

    // Polygon handles are not point handles and vice versa; junk is refused.
    std::vector<LWPolID> polygons;
    layer0->scanPolys(layer0, collect_polygon, &polygons);
    EXPECT_EQ(layer0->polSize(layer0, reinterpret_cast<LWPolID>(points0[0])), 0);
    layer0->pntBasePos(layer0, reinterpret_cast<LWPntID>(polygons[0]), pos);
    EXPECT_THAT(pos, ElementsAre(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(layer0->polSize(layer0, reinterpret_cast<LWPolID>(~std::uintptr_t(0))), 0);
    EXPECT_EQ(layer0->polType(layer0, nullptr), 0u);
    EXPECT_EQ(layer0->polTag(layer0, reinterpret_cast<LWPolID>(std::uintptr_t(1) << 62), LWPTAG_SURF), nullptr);
    layer0->pntBasePos(layer0, nullptr, pos);
    EXPECT_THAT(pos, ElementsAre(0.0f, 0.0f, 0.0f));
    // A polygon whose vertex points past the layer's points gives no point.
    f.host.scene.layer_of(f.object)->vertex_pool[0] = 99;
    EXPECT_EQ(layer0->polVertex(layer0, polygons[0], 0), nullptr);

    // Null objects, lights and unknown items have no mesh; destroy refuses
    // records it did not hand out (or already freed).
    ItemId null_object = f.b.null_object("empty");
    EXPECT_EQ(objects->meshInfo(lw(null_object), 1), nullptr);
    EXPECT_EQ(objects->filename(lw(null_object)), nullptr);
    EXPECT_EQ(objects->numPoints(lw(null_object)), 0);
    EXPECT_EQ(objects->meshInfo(lw(f.b.light("lamp")), 1), nullptr);
    EXPECT_EQ(objects->meshInfo(lw(0x10000040u), 1), nullptr);
    int live = services::live_mesh_info_count();
    layer1->destroy(layer1);
    std::size_t notes = f.host.diagnostics.size();
    layer0->destroy(layer1);
    EXPECT_EQ(f.host.diagnostics.size(), notes + 1);
    layer0->destroy(layer0);
    EXPECT_EQ(services::live_mesh_info_count(), live - 2);
}

TEST(BoneInfoTest, RestValuesAndSettings) {
    Host host;
    SceneBuilder b(host.scene);
    ItemId object = b.null_object("rig").position({0, 0, 5}).rotation({kPi / 2, 0, 0});
    ItemId root = b.bone(object, "root").rest({1, 0, 0}, {0, 0, 0}).weight_map("root", true).strength(2.5).length(3);
    ItemId tip = b.bone(object, "tip", root).rest({0, 0, 3}, {0.2, 0, 0}).falloff(2);
    b.key(root, kPositionX, 0, 4.0);  // animated away from rest
    auto* bones = service<LWBoneInfo>(host, "LW Bone Info 3");
    ASSERT_NE(bones, nullptr);

    double out[3];
    bones->restParam(lw(tip), LWIP_POSITION, out);
    EXPECT_THAT(out, ElementsAre(0.0, 0.0, 3.0));
    bones->restParam(lw(tip), LWIP_ROTATION, out);
    EXPECT_THAT(out, ElementsAre(0.2, 0.0, 0.0));
    // Rest world: object at z 5 turned by heading 90 (+X -> -Z, +Z -> +X):
    // root base (1,0,0) -> (0,0,4); tip base (1,0,3) -> (3,0,4).
    bones->restParam(lw(root), LWIP_W_POSITION, out);
    EXPECT_NEAR(out[0], 0.0, 1e-12);
    EXPECT_NEAR(out[2], 4.0, 1e-12);
    bones->restParam(lw(tip), LWIP_W_POSITION, out);
    EXPECT_NEAR(out[0], 3.0, 1e-12);
    EXPECT_NEAR(out[1], 0.0, 1e-12);
    EXPECT_NEAR(out[2], 4.0, 1e-12);
    bones->restParam(lw(tip), LWIP_SCALING, out);
    EXPECT_THAT(out, ElementsAre(0.0, 0.0, 0.0));

    EXPECT_EQ(bones->flags(lw(root)), unsigned(LWBONEF_ACTIVE | LWBONEF_WEIGHT_MAP_ONLY));
    EXPECT_EQ(bones->flags(lw(tip)), unsigned(LWBONEF_ACTIVE));
    EXPECT_STREQ(bones->weightMap(lw(root)), "root");
    EXPECT_EQ(bones->weightMap(lw(tip)), nullptr);
    EXPECT_EQ(bones->strength(lw(root)), 2.5);
    EXPECT_EQ(bones->restLength(lw(root)), 3.0);
    EXPECT_EQ(bones->falloff(lw(tip)), 2);

    // Not a bone: zeros and nulls.
    EXPECT_EQ(bones->flags(lw(object)), 0u);
    EXPECT_EQ(bones->weightMap(lw(object)), nullptr);
    bones->restParam(lw(object), LWIP_POSITION, out);
    EXPECT_THAT(out, ElementsAre(0.0, 0.0, 0.0));
    bones->restParam(nullptr, LWIP_POSITION, nullptr);
}

TEST(SceneInfoTest, SettingsAndTotals) {
    Host host;
    SceneBuilder b(host.scene);
    build_rigged_grid(b, "grid.lwo", 2, 3, 1);  // 12 points, 12 triangles
    b.null_object("null");
    b.camera("Camera");
    b.fps(25).render_range(5, 50, 5);
    auto* scene = service<LWSceneInfo>(host, "LW Scene Info 3");
    ASSERT_NE(scene, nullptr);
    EXPECT_STREQ(scene->name, "Untitled");
    EXPECT_EQ(scene->filename, nullptr);  // never saved
    EXPECT_EQ(scene->numPoints, 12);
    EXPECT_EQ(scene->numPolygons, 12);
    EXPECT_EQ(scene->framesPerSecond, 25.0);
    EXPECT_EQ(scene->frameStart, 5);
    EXPECT_EQ(scene->frameEnd, 50);
    EXPECT_EQ(scene->frameStep, 5);
    EXPECT_EQ(id_of(scene->renderCamera(0.0)), host.scene.items(ItemType::Camera)[0]);

    // A plug-in keeping the record sees the scene after a refresh.
    b.scene_file("/work/scenes/walk.lws");
    services::refresh_scene_info(host);
    EXPECT_STREQ(scene->filename, "/work/scenes/walk.lws");
    EXPECT_STREQ(scene->name, "walk.lws");
}

TEST(InterfaceInfoTest, SelectionTimeAndRanges) {
    Host host;
    SceneBuilder b(host.scene);
    ItemId a = b.null_object("a"), c = b.null_object("c");
    ItemId light = b.light("light");
    b.fps(24).preview(10, 70, 2).frame(12).box_threshold(321).select(light).select(a);
    auto* ui = service<LWInterfaceInfo>(host, "LW Interface Info 3");
    ASSERT_NE(ui, nullptr);
    ASSERT_NE(ui->selItems, nullptr);
    EXPECT_EQ(id_of(ui->selItems[0]), light);
    EXPECT_EQ(id_of(ui->selItems[1]), a);
    EXPECT_EQ(ui->selItems[2], nullptr);
    EXPECT_EQ(ui->curTime, 0.5);
    EXPECT_EQ(ui->previewStart, 10);
    EXPECT_EQ(ui->previewEnd, 70);
    EXPECT_EQ(ui->previewStep, 2);
    EXPECT_EQ(ui->boxThreshold, 321);
    EXPECT_EQ(ui->itemFlags(lw(a)) & LWITEMF_SELECTED, unsigned(LWITEMF_SELECTED));
    EXPECT_EQ(ui->itemFlags(lw(c)) & LWITEMF_SELECTED, 0u);

    host.scene.selection = {c};
    host.scene.settings.box_threshold = 9;
    services::refresh_interface_info(host);
    EXPECT_EQ(id_of(ui->selItems[0]), c);
    EXPECT_EQ(ui->selItems[1], nullptr);
    EXPECT_EQ(ui->boxThreshold, 9);

    host.scene.selection.clear();
    services::refresh_interface_info(host);
    EXPECT_EQ(ui->selItems[0], nullptr);
}

TEST(SceneObjectsTest, ObjectsLayersAndVertexMapsAcrossObjects) {
    Host host;
    SceneBuilder b(host.scene);
    auto first = b.mesh("/m/first.lwo");
    first.point(0, 0, 0);
    first.uv("UV1", 0, 0, 0).weight("w1", 0, 1);
    first.layer(2, "Top");
    first.point(1, 2, 3);
    first.uv("UV1", 0, 1, 1);   // same name again in another layer
    first.current_layer().pivot[1] = 4.0;
    first.current_layer().hidden = true;
    auto second = b.mesh("/m/second.lwo");
    second.point(5, 5, 5);
    second.value(kTexUV, "UV2", 2, 0, std::array<float, 2>{0.5f, 0.5f}.data());
    second.weight("w2", 0, 0.25f).weight("w1", 0, 0.5f);
    b.object("Second Object", second);
    auto* objects = service<LWObjectFuncs>(host, "Scene Objects 4");
    ASSERT_NE(objects, nullptr);

    EXPECT_EQ(objects->numObjects(), 2);
    EXPECT_STREQ(objects->filename(1), "/m/second.lwo");
    EXPECT_EQ(objects->filename(2), nullptr);
    EXPECT_EQ(objects->maxLayers(0), 3);
    EXPECT_EQ(objects->layerExists(0, 0), 1);
    EXPECT_EQ(objects->layerExists(0, 1), 0);
    EXPECT_EQ(objects->layerExists(0, 2), 1);
    EXPECT_STREQ(objects->layerName(0, 2), "Top");
    EXPECT_EQ(objects->layerVis(0, 2), 0);
    EXPECT_EQ(objects->layerVis(0, 0), 1);
    LWFVector pivot;
    objects->pivotPoint(0, 2, pivot);
    EXPECT_THAT(pivot, ElementsAre(0.0f, 4.0f, 0.0f));
    EXPECT_STREQ(objects->userName(0), "first");
    EXPECT_STREQ(objects->userName(1), "Second Object");
    EXPECT_STREQ(objects->refName(1), "/m/second.lwo");

    // Names per type over the whole scene, each once, in the order first met.
    EXPECT_EQ(objects->numVMaps(LWVMAP_TXUV), 2);
    EXPECT_STREQ(objects->vmapName(LWVMAP_TXUV, 0), "UV1");
    EXPECT_STREQ(objects->vmapName(LWVMAP_TXUV, 1), "UV2");
    EXPECT_EQ(objects->vmapName(LWVMAP_TXUV, 2), nullptr);
    EXPECT_EQ(objects->vmapName(LWVMAP_TXUV, -1), nullptr);
    EXPECT_EQ(objects->numVMaps(LWVMAP_WGHT), 2);
    EXPECT_STREQ(objects->vmapName(LWVMAP_WGHT, 0), "w1");
    EXPECT_STREQ(objects->vmapName(LWVMAP_WGHT, 1), "w2");
    EXPECT_EQ(objects->vmapDim(LWVMAP_WGHT, 1), 1);
    EXPECT_EQ(objects->vmapDim(LWVMAP_TXUV, 0), 2);
    EXPECT_EQ(objects->numVMaps(LWVMAP_MORF), 0);
    // Type 0: all types, in the same first-met order.
    ASSERT_EQ(objects->numVMaps(0), 4);
    EXPECT_STREQ(objects->vmapName(0, 0), "UV1");
    EXPECT_EQ(objects->vmapType(0), LWVMAP_TXUV);
    EXPECT_STREQ(objects->vmapName(0, 1), "w1");
    EXPECT_EQ(objects->vmapType(1), LWVMAP_WGHT);
    EXPECT_STREQ(objects->vmapName(0, 2), "UV2");
    EXPECT_STREQ(objects->vmapName(0, 3), "w2");
    EXPECT_EQ(objects->vmapType(4), 0u);

    // A layer's mesh gives rest positions (no item transform).
    LWMeshInfo* mesh = objects->layerMesh(0, 2);
    ASSERT_NE(mesh, nullptr);
    std::vector<LWPntID> points;
    mesh->scanPoints(mesh, collect_point, &points);
    ASSERT_EQ(points.size(), 1u);
    LWFVector pos;
    mesh->pntOtherPos(mesh, points[0], pos);
    EXPECT_THAT(pos, ElementsAre(1.0f, 2.0f, 3.0f));
    mesh->destroy(mesh);
    EXPECT_EQ(objects->layerMesh(0, 1), nullptr);
    EXPECT_EQ(objects->layerMesh(5, 0), nullptr);
}

}  // namespace
}  // namespace lwhost
