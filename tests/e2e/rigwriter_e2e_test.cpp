// "SMD Export Layout" from the user's command to the file, read back by a
// small SMD reader of the test's own, and compared with what the scene holds:
// the nodes in depth-first order, the rest frame, and every triangle with its
// positions, texture coordinates and bone links, worked out here from the
// scene model directly (not through the plug-in or the host's services).
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host.h"
#include "loader.h"
#include "scene_builder.h"
#include "ui_script.h"
#include "../common/uv_template_pictures.h"
#include "../rigwriter/rig_scene.h"
#include "smd_reader.h"

namespace {

using lwhost::Host;
using lwhost::ItemId;
using lwhost::SceneBuilder;

// ---- reading a reference file back ---------------------------------------------------

using test_support::SmdFile;
using Triangle = test_support::SmdTriangle;
using Vertex = test_support::SmdVertex;

struct Link {
    int node;
    double weight;
};

// The SMD reader's reading, with what every reference file holds beyond it:
// one rest frame at time 0 and a triangles section.
SmdFile read_smd(const std::string& text) {
    SmdFile file = test_support::read_smd(text);
    if (file.error.empty() && (file.frames.size() != 1 || file.frames[0].time != 0))
        file.error = "not one frame at time 0";
    if (file.error.empty() && !file.has_triangles) file.error = "no triangles";
    return file;
}

// The rest frame's bone lines.
const std::vector<test_support::SmdBone>& frame0(const SmdFile& file) {
    static const std::vector<test_support::SmdBone> kNone;
    return file.frames.empty() ? kNone : file.frames[0].bones;
}

// ---- what the scene says the file must hold ------------------------------------------

// Bones of `object` in depth-first order of the scene's child lists.
std::vector<ItemId> bones_depth_first(const lwhost::Scene& scene, ItemId object) {
    std::vector<ItemId> order;
    std::vector<ItemId> stack;
    const auto push_children = [&](ItemId parent) {
        const auto& children = scene.item(parent)->children;
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            if (scene.item(*it)->type == lwhost::ItemType::Bone) stack.push_back(*it);
    };
    push_children(object);
    while (!stack.empty()) {
        const ItemId bone = stack.back();
        stack.pop_back();
        order.push_back(bone);
        push_children(bone);
    }
    return order;
}

struct ExpectedVertex {
    double position[3];
    double u, v;
    std::vector<Link> links;  // largest first, normalised
};
struct ExpectedTriangle {
    std::string material;
    ExpectedVertex corners[3];
};

// The three influences the exporter keeps: each value in scene map order
// takes a slot holding exactly 0, else replaces the first smaller one; then
// sorted largest first (stable) and divided by their sum.
std::vector<Link> links_of(const std::vector<const lwhost::VertexMap*>& maps, const std::map<std::string, int>& node_of,
                           std::uint32_t point) {
    float weights[3] = {0, 0, 0};
    int nodes[3] = {-1, -1, -1};
    for (const lwhost::VertexMap* map : maps) {
        const auto named = node_of.find(map->name);
        const float* value = map->get(point);
        if (named == node_of.end() || value == nullptr) continue;
        int slot = -1;
        for (int s = 0; s < 3 && slot < 0; ++s)
            if (weights[s] == 0.0f) slot = s;
        for (int s = 0; s < 3 && slot < 0; ++s)
            if (weights[s] < *value) slot = s;
        if (slot < 0) continue;
        weights[slot] = *value;
        nodes[slot] = named->second;
    }
    int order[3] = {0, 1, 2};
    std::stable_sort(order, order + 3, [&](int a, int b) { return weights[a] > weights[b]; });
    const float sum = weights[order[2]] + weights[order[0]] + weights[order[1]];
    std::vector<Link> links;
    for (int s : order)
        if (nodes[s] >= 0 && weights[s] > 0.0f) links.push_back(Link{nodes[s], double(weights[s] / sum)});
    return links;
}

std::vector<ExpectedTriangle> expected_triangles(const lwhost::Scene& scene, ItemId object, double scale) {
    const lwhost::Layer& layer = *const_cast<lwhost::Scene&>(scene).layer_of(object);
    const std::vector<ItemId> bones = bones_depth_first(scene, object);
    std::map<std::string, int> node_of;
    for (std::size_t i = 0; i < bones.size(); ++i) {
        const std::string& map = scene.item(bones[i])->bone.weight_map;
        if (!map.empty()) node_of[map] = int(i);
    }
    const std::vector<const lwhost::VertexMap*> weight_maps = scene.vmaps_of_type(lwhost::kWeight);
    std::vector<const lwhost::VertexMap*> uv_maps;  // this layer's, in scene order
    for (const lwhost::VertexMap* map : scene.vmaps_of_type(lwhost::kTexUV))
        if (const lwhost::VertexMap* own = layer.find_vmap(lwhost::kTexUV, map->name)) uv_maps.push_back(own);

    std::vector<ExpectedTriangle> triangles;
    for (std::uint32_t index = 0; index < layer.polygons.size(); ++index) {
        const lwhost::Polygon& polygon = layer.polygons[index];
        if (polygon.type != lwhost::kFace || polygon.vertex_count < 3 || polygon.vertex_count > 4) continue;
        const std::uint32_t* points = layer.vertices(polygon);
        const lwhost::VertexMap* covering = nullptr;
        for (const lwhost::VertexMap* map : uv_maps) {
            bool all = true;
            for (std::uint32_t c = 0; c < polygon.vertex_count; ++c)
                all = all && (map->get_for_polygon(index, points[c]) || map->get(points[c]));
            if (all) {
                covering = map;
                break;
            }
        }
        if (covering == nullptr) continue;  // verify_uv is on
        std::string material = covering->name;
        std::replace(material.begin(), material.end(), ' ', '_');
        const auto vertex = [&](std::uint32_t c) {
            ExpectedVertex out{};
            const double* at = layer.points[points[c]].position;
            const double host[3] = {double(float(at[0])), double(float(at[1])), double(float(at[2]))};
            out.position[0] = host[0] * scale;
            out.position[1] = host[2] * scale;
            out.position[2] = host[1] * scale;
            const float* uv = covering->get_for_polygon(index, points[c]);
            if (uv == nullptr) uv = covering->get(points[c]);
            out.u = uv[0];
            out.v = uv[1];
            out.links = links_of(weight_maps, node_of, points[c]);
            return out;
        };
        triangles.push_back(ExpectedTriangle{material, {vertex(2), vertex(1), vertex(0)}});
        if (polygon.vertex_count == 4) triangles.push_back(ExpectedTriangle{material, {vertex(0), vertex(3), vertex(2)}});
    }
    return triangles;
}

// Six decimals: a value read back lies within half a unit of the last digit.
constexpr double kPrinted = 0.5e-6 + 1e-9;

void expect_triangles(const SmdFile& file, const std::vector<ExpectedTriangle>& expected) {
    ASSERT_EQ(file.triangles.size(), expected.size());
    for (std::size_t t = 0; t < expected.size(); ++t) {
        const Triangle& got = file.triangles[t];
        EXPECT_EQ(got.material, expected[t].material) << "triangle " << t;
        for (int c = 0; c < 3; ++c) {
            const Vertex& v = got.corners[c];
            const ExpectedVertex& e = expected[t].corners[c];
            const std::string where = "triangle " + std::to_string(t) + " corner " + std::to_string(c);
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(v.position[k], e.position[k], kPrinted) << where;
            EXPECT_NEAR(v.u, e.u, kPrinted) << where;
            EXPECT_NEAR(v.v, e.v, kPrinted) << where;
            const double length = std::sqrt(v.normal[0] * v.normal[0] + v.normal[1] * v.normal[1] +
                                            v.normal[2] * v.normal[2]);
            EXPECT_NEAR(length, 1.0, 2e-6) << where;
            ASSERT_EQ(v.links.size(), e.links.size()) << where;
            for (std::size_t i = 0; i < e.links.size(); ++i) {
                EXPECT_EQ(v.links[i].node, e.links[i].node) << where;
                EXPECT_NEAR(v.links[i].weight, e.links[i].weight, kPrinted) << where;
            }
            if (!e.links.empty()) {
                EXPECT_EQ(v.parent, e.links[0].node) << where;
            }
        }
    }
}

void expect_nodes(const SmdFile& file, const lwhost::Scene& scene, ItemId object) {
    const std::vector<ItemId> bones = bones_depth_first(scene, object);
    ASSERT_EQ(file.nodes.size(), bones.size());
    ASSERT_EQ(frame0(file).size(), bones.size());
    for (std::size_t i = 0; i < bones.size(); ++i) {
        const lwhost::Item& bone = *scene.item(bones[i]);
        EXPECT_EQ(file.nodes[i].index, int(i));
        EXPECT_EQ(file.nodes[i].name, bone.name);
        const auto parent = std::find(bones.begin(), bones.end(), bone.parent);
        EXPECT_EQ(file.nodes[i].parent, parent == bones.end() ? -1 : int(parent - bones.begin())) << bone.name;
        EXPECT_EQ(frame0(file)[i].node, int(i));
    }
}

std::string export_selected(Host& host, const std::string& path) {
    std::string error;
    EXPECT_NE(host.plugins().load(rigtest::plugin_path(), &error), nullptr) << error;
    host.script().press("Save SMD file").answer_file(path).close();
    EXPECT_EQ(host.run_generic("SMD Export Layout"), 0);
    EXPECT_TRUE(host.messages.empty());
    return rigtest::read_file(path);
}

TEST(RigwriterEndToEnd, RiggedGridReadsBackAsTheScene) {
    Host host;
    SceneBuilder b(host.scene);
    const ItemId object = lwhost::build_rigged_grid(b, "/models/grid.lwo", 7, 6, 4);
    b.select(object);
    uv_test::TempDir dir;
    const SmdFile file = read_smd(export_selected(host, dir.file("grid.smd")));
    ASSERT_EQ(file.error, "");
    expect_nodes(file, host.scene, object);
    // Chain bones: each child one span (6 rows / 4 bones) along its parent's
    // length axis; the root turned by a pitch of -90 degrees.
    for (std::size_t i = 1; i < frame0(file).size(); ++i) {
        EXPECT_NEAR(frame0(file)[i].position[0], 0.0, kPrinted);
        EXPECT_NEAR(frame0(file)[i].position[1], 1.5 * 40.0, kPrinted);
        EXPECT_NEAR(frame0(file)[i].position[2], 0.0, kPrinted);
    }
    EXPECT_NEAR(frame0(file)[0].rotation[0], 1.570796, kPrinted);
    const std::vector<ExpectedTriangle> expected = expected_triangles(host.scene, object, 40.0);
    EXPECT_EQ(expected.size(), 2u * 7u * 6u);
    expect_triangles(file, expected);
    for (const Triangle& triangle : file.triangles)  // a flat grid in the host's z = 0 plane
        for (const Vertex& v : triangle.corners) EXPECT_NEAR(v.normal[1], 1.0, kPrinted);
}

TEST(RigwriterEndToEnd, RigReadsBackAsTheScene) {
    Host host;
    SceneBuilder b(host.scene);
    const ItemId object = rigtest::build_rig(b);
    uv_test::TempDir dir;
    const SmdFile file = read_smd(export_selected(host, dir.file("rig.smd")));
    ASSERT_EQ(file.error, "");
    expect_nodes(file, host.scene, object);
    const std::vector<ExpectedTriangle> expected = expected_triangles(host.scene, object, 40.0);
    EXPECT_EQ(expected.size(), 4u);  // the quad, T and M; N has no complete UVs
    expect_triangles(file, expected);
}

TEST(RigwriterEndToEnd, TheComparisonSeesAChangedWeight) {
    Host host;
    SceneBuilder b(host.scene);
    const ItemId object = rigtest::build_rig(b);
    uv_test::TempDir dir;
    const std::string text = export_selected(host, dir.file("rig.smd"));
    std::string changed = text;
    const std::size_t at = changed.find("0.750000");
    ASSERT_NE(at, std::string::npos);
    changed.replace(at, 8, "0.760000");
    const SmdFile file = read_smd(changed);
    ASSERT_EQ(file.error, "");
    EXPECT_NONFATAL_FAILURE(expect_triangles(file, expected_triangles(host.scene, object, 40.0)), "weight");
    EXPECT_NE(read_smd(text.substr(0, text.size() - 4)).error, "");
}

}  // namespace
