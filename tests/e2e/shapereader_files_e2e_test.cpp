// "SMD Mesh Import" over whole files: reference files of other programs
// against an independent parse, and round trips through the two mesh
// exporters.
#include <gtest/gtest.h>

#include "shape_import_fixture.h"

namespace {

using namespace shape_import;

// ---- reference files of other programs -------------------------------------------

// An independent reading of a reference file's triangles: whitespace tokens,
// strtof/strtol, the sharing rule (equal printed position, then equal floats
// of position and normal), UVs per point or per corner.
struct ParsedMesh {
    std::vector<std::string> materials;                   // in order of first use
    std::vector<std::array<float, 3>> points;              // file axes
    std::vector<std::array<float, 2>> point_uvs;
    std::vector<std::string> point_materials;              // the map of each point's UV
    std::vector<std::array<std::size_t, 3>> faces;         // points in Modeler's order
    std::vector<std::string> face_materials;
    std::size_t corner_uvs = 0;
    std::map<std::pair<std::size_t, std::string>, float> weights;  // (point, node name)
};

ParsedMesh parse_reference(const std::string& text) {
    ParsedMesh out;
    std::istringstream in(text);
    std::string line;
    std::map<int, std::string> nodes;
    while (std::getline(in, line) && test_support::fields_of(line) != std::vector<std::string>{"nodes"}) {}
    while (std::getline(in, line)) {
        auto t = test_support::fields_of(line);
        if (t.size() == 1 && t[0] == "end") break;
        const std::size_t open = line.find('"'), close = line.find('"', open + 1);
        std::string name = line.substr(open + 1, close - open - 1);
        std::replace(name.begin(), name.end(), ' ', '_');
        nodes[std::atoi(t[0].c_str())] = name;
    }
    while (std::getline(in, line) && test_support::fields_of(line) != std::vector<std::string>{"triangles"}) {}
    using Links = std::vector<std::pair<int, float>>;
    struct Seen { std::array<float, 3> position, normal; std::array<float, 2> uv; Links links; std::size_t point; };
    std::map<std::string, std::vector<Seen>> by_text;
    std::string material;
    std::vector<std::size_t> corners;
    std::vector<std::array<float, 2>> corner_uv_of;
    while (std::getline(in, line)) {
        auto t = test_support::fields_of(line);
        if (t.size() == 1 && (t[0] == "end" || t[0] == "end\r")) break;
        if (t.size() < 9) {
            material = t.at(0);
            corners.clear();
            continue;
        }
        std::array<float, 3> position, normal;
        std::array<float, 2> uv;
        for (int k = 0; k < 3; ++k) position[k] = std::strtof(t[1 + k].c_str(), nullptr);
        for (int k = 0; k < 3; ++k) normal[k] = std::strtof(t[4 + k].c_str(), nullptr);
        for (int k = 0; k < 2; ++k) uv[k] = std::strtof(t[7 + k].c_str(), nullptr);
        char key[256];
        std::snprintf(key, sizeof key, "%f%f%f", double(position[0]), double(position[1]), double(position[2]));
        auto& seen = by_text[key];
        EXPECT_LT(seen.size(), 128u) << "this parse assumes no position is used by more than 128 vertices";
        // The weights this line gives a point: its links to named nodes, or
        // its parent wholly.
        Links links, written;
        for (std::size_t k = 10; k + 1 < t.size() && links.size() < 15; k += 2)
            links.emplace_back(std::atoi(t[k].c_str()), std::strtof(t[k + 1].c_str(), nullptr));
        if (links.empty()) links.emplace_back(std::atoi(t[0].c_str()), 1.0f);
        for (const auto& link : links)
            if (nodes.count(link.first)) written.push_back(link);
        // A point is shared by vertices of equal position and normal that
        // give it the same weights.
        std::size_t point = SIZE_MAX;
        bool own_uv = false;
        for (const Seen& s : seen)
            if (s.position == position && s.normal == normal && s.links == written) {
                point = s.point;
                own_uv = s.uv != uv;
                break;
            }
        if (point == SIZE_MAX) {
            point = out.points.size();
            out.points.push_back(position);
            out.point_uvs.push_back(uv);
            out.point_materials.push_back(material);
            seen.push_back({position, normal, uv, written, point});
            for (const auto& [node, weight] : written) out.weights[{point, nodes[node]}] = weight;
        }
        corners.push_back(point);
        out.corner_uvs += own_uv ? 1 : 0;
        if (corners.size() == 3) {
            out.faces.push_back({corners[2], corners[1], corners[0]});
            out.face_materials.push_back(material);
            if (std::find(out.materials.begin(), out.materials.end(), material) == out.materials.end())
                out.materials.push_back(material);
            corners.clear();
        }
    }
    return out;
}

TEST(MeshImportCorpus, ReferenceFilesMatchAnIndependentParse) {
    // The corpus sits beside the project (../shared/corpus); a clone has none.
    std::filesystem::path corpus = std::filesystem::path(__FILE__).parent_path() / "../../../shared/corpus/smd";
    if (!std::filesystem::exists(corpus)) corpus = "/work/shared/corpus/smd";
    if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "no corpus";
    for (const char* name : {"xmod_mac10_mesh.SMD", "nuclide_v_bat_slugger.smd", "bst_Overlapping_DifferentWeights.smd",
                             "nuclide_w_bat_ref_model.smd", "bst_Cube_Armature_GoldSource_Cube.smd"}) {
        const std::string path = (corpus / name).string();
        const ParsedMesh expected = parse_reference(importtest::read_file(path));
        MeshImporter x;
        x.host.script().press(kImport).answer_file(path).close();
        ASSERT_EQ(x.run(), 0) << name;
        EXPECT_TRUE(x.messages().empty()) << name;
        const lwhost::Layer& layer = x.layer();
        ASSERT_EQ(layer.points.size(), expected.points.size()) << name;
        ASSERT_EQ(layer.polygons.size(), expected.faces.size()) << name;
        const double s = double(0.025f);
        for (std::size_t p = 0; p < expected.points.size(); ++p) {
            const auto& f = expected.points[p];
            const double want[3] = {s * f[0], s * f[2], s * f[1]};
            for (int k = 0; k < 3; ++k) ASSERT_EQ(layer.points[p].position[k], want[k]) << name << " point " << p;
            const lwhost::VertexMap* uv = layer.find_vmap(lwhost::kTexUV, expected.point_materials[p]);
            ASSERT_NE(uv, nullptr) << name;
            ASSERT_NE(uv->get(std::uint32_t(p)), nullptr) << name << " point " << p;
            EXPECT_EQ(uv->get(std::uint32_t(p))[0], expected.point_uvs[p][0]) << name << " point " << p;
            EXPECT_EQ(uv->get(std::uint32_t(p))[1], expected.point_uvs[p][1]) << name << " point " << p;
        }
        const auto& tags = x.host.scene.meshes[std::size_t(x.mesh)]->tags;
        for (std::size_t f = 0; f < expected.faces.size(); ++f) {
            const lwhost::Polygon& polygon = layer.polygons[f];
            ASSERT_EQ(polygon.vertex_count, 3u);
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(layer.vertices(polygon)[k], expected.faces[f][std::size_t(k)]) << name << " face " << f;
            EXPECT_EQ(tags[std::size_t(polygon.surface_tag)], expected.face_materials[f]) << name;
        }
        std::size_t corner_uvs = 0;
        for (const lwhost::VertexMap& m : layer.vmaps) corner_uvs += m.polygon_value_count();
        EXPECT_EQ(corner_uvs, expected.corner_uvs) << name;
        std::size_t weights = 0;
        for (const lwhost::VertexMap& m : layer.vmaps) {
            if (m.type != lwhost::kWeight) continue;
            for (std::uint32_t p = 0; p < layer.points.size(); ++p) {
                const float* w = m.get(p);
                if (w == nullptr) continue;
                ++weights;
                const auto found = expected.weights.find({p, m.name});
                ASSERT_NE(found, expected.weights.end()) << name << " " << m.name << " point " << p;
                EXPECT_EQ(*w, found->second) << name << " " << m.name << " point " << p;
            }
        }
        EXPECT_EQ(weights, expected.weights.size()) << name;
        std::vector<std::string> commands;
        for (const std::string& material : expected.materials) {
            commands.push_back("Surf_SetSurf  " + material + " Unnamed");
            commands.push_back("Surf_SetFloat   SmoothingAngle 3.142");
        }
        EXPECT_EQ(x.host.command_log, commands) << name;
    }
}

// ---- round trips through the exporters ----------------------------------------------

// A triangle of a layer as Modeler holds it: surface, corner positions in the
// polygon's order, and each corner's UV (per polygon when it has one, else
// per point) from the map `uv_map`, or from the map named after the surface.
struct HostTriangle {
    std::string surface;
    std::vector<double> positions;
    std::vector<float> uvs;
    bool operator<(const HostTriangle& o) const {
        return std::tie(surface, positions, uvs) < std::tie(o.surface, o.positions, o.uvs);
    }
    bool operator==(const HostTriangle& o) const = default;
};

void PrintTo(const HostTriangle& t, std::ostream* out) {
    *out << t.surface << " (";
    for (double p : t.positions) *out << ' ' << p;
    *out << " ) uv (";
    for (float u : t.uvs) *out << ' ' << u;
    *out << " )";
}

std::vector<HostTriangle> host_triangles(const lwhost::Scene& scene, int mesh, const std::string& uv_map) {
    const lwhost::MeshObject& object = *scene.meshes[std::size_t(mesh)];
    const lwhost::Layer& layer = object.layers[0];
    std::vector<HostTriangle> out;
    for (std::uint32_t f = 0; f < layer.polygons.size(); ++f) {
        const lwhost::Polygon& polygon = layer.polygons[f];
        HostTriangle t;
        t.surface = object.tags[std::size_t(polygon.surface_tag)];
        const lwhost::VertexMap* map = layer.find_vmap(lwhost::kTexUV, uv_map.empty() ? t.surface : uv_map);
        for (std::uint32_t k = 0; k < polygon.vertex_count; ++k) {
            const std::uint32_t p = layer.vertices(polygon)[k];
            t.positions.insert(t.positions.end(), layer.points[p].position, layer.points[p].position + 3);
            const float* uv = map != nullptr ? map->get_for_polygon(f, p) : nullptr;
            if (uv == nullptr && map != nullptr) uv = map->get(p);
            if (uv != nullptr) t.uvs.insert(t.uvs.end(), uv, uv + 2);
        }
        out.push_back(t);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Imports `path` unscaled into a new current object; returns its index.
int import_unscaled(Host& host, const std::string& path) {
    std::string error;
    EXPECT_NE(host.plugins().load(std::string(LWSMD_PLUGIN_DIR) + "/shapereader.so", &error), nullptr) << error;
    SceneBuilder b(host.scene);
    const int target = b.mesh("/models/imported.lwo").index();
    host.scene.current_mesh = target;
    host.script().set("Scale geometry:", 0).press(kImport).answer_file(path).close();
    EXPECT_EQ(host.run_command(kServer), 0);
    EXPECT_TRUE(host.messages.empty());
    return target;
}

TEST(MeshImportRoundTrip, StaticExportReadsBackAsTheSameTriangles) {
    Host host;
    SceneBuilder b(host.scene);
    std::string error;
    ASSERT_NE(host.plugins().load(std::string(LWSMD_PLUGIN_DIR) + "/meshwriter.so", &error), nullptr) << error;
    // A bent grid of triangles on two surfaces (one name with a blank), UVs
    // per point with a seam of per-polygon values; every coordinate a
    // multiple of 1/64, so the six printed decimals hold it exactly.
    auto m = b.mesh("/models/source.lwo");
    constexpr int N = 4;
    std::vector<std::uint32_t> id;
    for (int r = 0; r <= N; ++r)
        for (int c = 0; c <= N; ++c) {
            id.push_back(m.point(c * 0.5, ((r * 3 + c * 5) % 7) / 64.0, r * 0.25));
            m.uv("UVMap", id.back(), float(c) / N, float(r) / N);
        }
    const auto at = [&](int r, int c) { return id[std::size_t(r * (N + 1) + c)]; };
    for (int r = 0; r < N; ++r)
        for (int c = 0; c < N; ++c) {
            const char* surface = r < 2 ? "Hull Paint" : "Deck";
            const auto first = m.triangle(at(r, c), at(r + 1, c), at(r + 1, c + 1), surface);
            m.triangle(at(r, c), at(r + 1, c + 1), at(r, c + 1), surface);
            if (c == 2) m.uv_for_polygon("UVMap", first, at(r, c), 0.875f, 0.125f);
        }
    b.surface(m, "Hull Paint").smoothing_degrees(60);
    b.surface(m, "Deck").smoothing_degrees(60);
    const int source = m.index();
    host.scene.current_mesh = source;
    TempDir dir;
    const std::string path = dir.file("source.smd");
    host.script()
        .set("Scale geometry:", 0)
        .pick("Group Triangles by:", "Surface Name")
        .press("Save SMD file")
        .answer_file(path)
        .close();
    ASSERT_EQ(host.run_command("SMD Export"), 0);
    ASSERT_TRUE(host.messages.empty());

    const int target = import_unscaled(host, path);
    auto expected = host_triangles(host.scene, source, "UVMap");
    for (HostTriangle& t : expected) std::replace(t.surface.begin(), t.surface.end(), ' ', '_');
    std::sort(expected.begin(), expected.end());
    const auto imported = host_triangles(host.scene, target, "");
    ASSERT_EQ(expected.size(), 2u * N * N);
    EXPECT_EQ(imported, expected);
    // Within one surface the smoothed normals agree, so points are shared;
    // the seam is carried by per-polygon UVs.
    const lwhost::Layer& layer = host.scene.meshes[std::size_t(target)]->layers[0];
    EXPECT_LT(layer.points.size(), 3u * layer.polygons.size());
    std::size_t corner_uvs = 0;
    for (const lwhost::VertexMap& map : layer.vmaps) corner_uvs += map.polygon_value_count();
    EXPECT_GT(corner_uvs, 0u);
    EXPECT_TRUE(lwhost::check_scene(host.scene).empty());
}

TEST(MeshImportRoundTrip, ReferenceExportReadsBackWithItsWeights) {
    Host host;
    SceneBuilder b(host.scene);
    std::string error;
    ASSERT_NE(host.plugins().load(std::string(LWSMD_PLUGIN_DIR) + "/rigwriter.so", &error), nullptr) << error;
    const lwhost::ItemId object = lwhost::build_rigged_grid(b, "/models/grid.lwo", 7, 6, 4);
    b.select(object);
    const int source = host.scene.item(object)->mesh;
    TempDir dir;
    const std::string path = dir.file("grid.smd");
    host.script().set("Scale geometry:", 0).press("Save SMD file").answer_file(path).close();
    ASSERT_EQ(host.run_generic("SMD Export Layout"), 0);
    ASSERT_TRUE(host.messages.empty());

    const int target = import_unscaled(host, path);
    const auto imported = host_triangles(host.scene, target, "");
    auto expected = host_triangles(host.scene, source, "UVMap");
    ASSERT_EQ(imported.size(), expected.size());
    for (std::size_t t = 0; t < expected.size(); ++t) {
        EXPECT_EQ(imported[t].positions, expected[t].positions) << t;
        ASSERT_EQ(imported[t].uvs.size(), expected[t].uvs.size()) << t;
        for (std::size_t k = 0; k < expected[t].uvs.size(); ++k)  // sevenths and sixths, printed to six decimals
            EXPECT_NEAR(imported[t].uvs[k], expected[t].uvs[k], 1e-6) << t;
    }
    // Every point's weights, matched by position: the exporter normalises
    // the links (these already sum to 1) and prints six decimals.
    const lwhost::Layer& from = host.scene.meshes[std::size_t(source)]->layers[0];
    const lwhost::Layer& to = host.scene.meshes[std::size_t(target)]->layers[0];
    EXPECT_EQ(to.points.size(), from.points.size()) << "one normal per point on a flat grid";
    for (std::uint32_t p = 0; p < to.points.size(); ++p) {
        std::uint32_t q = 0;
        while (q < from.points.size() &&
               !std::equal(from.points[q].position, from.points[q].position + 3, to.points[p].position))
            ++q;
        ASSERT_LT(q, from.points.size()) << "point " << p;
        for (int bone = 0; bone < 4; ++bone) {
            char name[16];
            std::snprintf(name, sizeof name, "bone%d", bone);
            const lwhost::VertexMap* a = from.find_vmap(lwhost::kWeight, name);
            const lwhost::VertexMap* c = to.find_vmap(lwhost::kWeight, name);
            const float* want = a != nullptr ? a->get(q) : nullptr;
            const float* got = c != nullptr ? c->get(p) : nullptr;
            if (want == nullptr || *want == 0.0f) {
                EXPECT_TRUE(got == nullptr || *got == 0.0f) << name << " point " << p;
            } else {
                ASSERT_NE(got, nullptr) << name << " point " << p;
                EXPECT_NEAR(*got, *want, 1e-6) << name << " point " << p;
            }
        }
    }
}

}  // namespace
