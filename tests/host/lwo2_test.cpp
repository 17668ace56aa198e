// Object files in and out: the corpus loads with the counts its sources
// list and the tests' own walker finds; load, save, load gives the same
// object with unknown data byte for byte; saved files follow the layout
// rules; damaged files are refused with the file's name and nothing left in
// the scene; assimp reads what is saved as it reads the originals.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "formats/lwo2.h"
#include "lwo2_walker.h"
#include "scene_builder.h"
#include "../temp_dir.h"
#include "../unprivileged.h"
#include "assimp_library.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;
using lwhost::FileFormatError;
using lwhost::Layer;
using lwhost::MeshObject;
using lwhost::Scene;
using lwhost::VertexMap;
using test_files::TempDir;

fs::path corpus_root() {
    for (const char* root : {"/work/shared/corpus", "../shared/corpus", "../../shared/corpus"})
        if (fs::is_directory(root)) return root;
    return {};
}

// Every object file of the corpus: LWO2 and the older LWOB alike.
std::vector<fs::path> corpus_objects() {
    std::vector<fs::path> files;
    const fs::path root = corpus_root();
    if (root.empty()) return files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file() && entry.path().extension() == ".lwo") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

using test_support::read_bytes;

bool is_lwo2(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() >= 12 && std::equal(bytes.begin() + 8, bytes.begin() + 12, "LWO2");
}

int load_bytes(Scene& scene, const fs::path& name, const std::vector<std::uint8_t>& bytes) {
    return lwhost::load_lwo2(scene, name, std::as_bytes(std::span(bytes)));
}

// A file made of the given chunks, with a correct FORM size.
std::vector<std::uint8_t> form(const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& chunks) {
    std::vector<std::uint8_t> out = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'L', 'W', 'O', '2'};
    for (const auto& [id, data] : chunks) {
        out.insert(out.end(), id.begin(), id.end());
        const std::uint32_t n = std::uint32_t(data.size());
        for (int s = 24; s >= 0; s -= 8) out.push_back(std::uint8_t(n >> s));
        out.insert(out.end(), data.begin(), data.end());
        if (n % 2) out.push_back(0);
    }
    const std::uint32_t size = std::uint32_t(out.size() - 8);
    for (int k = 0; k < 4; ++k) out[std::size_t(4 + k)] = std::uint8_t(size >> (24 - 8 * k));
    return out;
}

// ---- comparing two objects -------------------------------------------------

// Everything the model holds of an object and its surfaces, as text, so a
// difference shows where it is.
std::string describe(const Scene& scene, int mesh_index) {
    const MeshObject& mesh = *scene.meshes[std::size_t(mesh_index)];
    std::string out;
    auto add = [&](const std::string& s) { out += s + "\n"; };
    for (const std::string& tag : mesh.tags) add("tag " + tag);
    for (const Layer& layer : mesh.layers) {
        add("layer " + std::to_string(layer.number) + " '" + layer.name + "' parent " + std::to_string(layer.parent) +
            " hidden " + std::to_string(layer.hidden) + " pivot " + std::to_string(layer.pivot[0]) + " " +
            std::to_string(layer.pivot[1]) + " " + std::to_string(layer.pivot[2]));
        for (const auto& p : layer.points)
            add("p " + std::to_string(p.position[0]) + " " + std::to_string(p.position[1]) + " " +
                std::to_string(p.position[2]));
        for (const auto& polygon : layer.polygons) {
            std::string line = "poly " + std::to_string(polygon.type) + " s" + std::to_string(polygon.surface_tag) +
                               " g" + std::to_string(polygon.part_tag) + " f" + std::to_string(polygon.flags) + ":";
            for (std::uint32_t k = 0; k < polygon.vertex_count; ++k)
                line += " " + std::to_string(layer.vertices(polygon)[k]);
            add(line);
        }
        for (const VertexMap& map : layer.vmaps) {
            add("map " + std::to_string(map.type) + " '" + map.name + "' " + std::to_string(map.dimension));
            for (const auto row : map.point_values()) {
                std::string line = " v" + std::to_string(row.point);
                for (int k = 0; k < map.dimension; ++k) line += " " + std::to_string(row.value[k]);
                add(line);
            }
            for (const auto row : map.polygon_values()) {
                std::string line = " c" + std::to_string(row.polygon) + "/" + std::to_string(row.point);
                for (int k = 0; k < map.dimension; ++k) line += " " + std::to_string(row.value[k]);
                add(line);
            }
        }
    }
    for (const auto& surface : scene.surfaces) {
        if (surface->mesh != mesh_index) continue;
        add("surface '" + surface->name + "' smoothing " + std::to_string(surface->smoothing_angle) + " colour " +
            std::to_string(surface->color[0]) + " " + std::to_string(surface->color[1]) + " " +
            std::to_string(surface->color[2]) + " vcol '" + surface->color_vmap + "'");
        for (const auto& layer : surface->color_texture)
            add(" layer " + std::to_string(int(layer.type)) + " proj " + std::to_string(int(layer.projection)) + " axis " +
                std::to_string(layer.axis) + " uv '" + layer.uv_map + "' image " +
                (layer.image >= 0 ? scene.images[std::size_t(layer.image)]->filename : "-"));
    }
    return out;
}

// "" when the two descriptions agree, else the first line where they part.
std::string first_difference(const std::string& a, const std::string& b) {
    std::size_t line = 1, at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) {
        if (a[at] == '\n') ++line;
        ++at;
    }
    if (at == a.size() && at == b.size()) return "";
    const auto line_at = [&](const std::string& s) {
        const std::size_t start = s.rfind('\n', at == 0 ? 0 : at - 1);
        const std::size_t from = start == std::string::npos || at == 0 ? 0 : start + 1;
        return s.substr(from, s.find('\n', from) - from);
    };
    return "line " + std::to_string(line) + ": '" + line_at(a) + "' against '" + line_at(b) + "'";
}

// The chunks of a walk with the given IDs, as (ID, data) pairs in order.
std::vector<std::pair<std::string, std::vector<std::uint8_t>>> chunks_of(const lwo2_walk::Walk& walk,
                                                                         const std::set<std::string>& ids) {
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> out;
    for (const auto& chunk : walk.chunks)
        if (ids.count(chunk.id)) out.emplace_back(chunk.id, chunk.data);
    return out;
}

// ---- the corpus ------------------------------------------------------------

// The counts SOURCES.md lists for each object file ("266 points, 288 FACE,
// 1 LAYR, 1 SURF"), taken from the files by their collector.
std::map<std::string, std::map<std::string, std::size_t>> listed_counts() {
    std::map<std::string, std::map<std::string, std::size_t>> out;
    std::ifstream in(corpus_root() / "SOURCES.md");
    const std::regex row(R"(^\| `([^`]+\.lwo)` \|.*\| (\d+ points[^|]*) \|)");
    const std::regex count(R"((\d+) ([A-Za-z]+))");
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (!std::regex_search(line, m, row)) continue;
        const std::string counts = m[2];
        for (auto it = std::sregex_iterator(counts.begin(), counts.end(), count); it != std::sregex_iterator(); ++it)
            out[m[1]][(*it)[2]] = std::stoul((*it)[1]);
    }
    return out;
}

TEST(Lwo2Corpus, EveryObjectLoadsWithTheCountsItsSourcesAndTheWalkerGive) {
    const auto files = corpus_objects();
    if (files.empty()) GTEST_SKIP() << "corpus not present";
    const auto listed = listed_counts();
    int lwo2_files = 0, checked_against_list = 0;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        const auto bytes = read_bytes(file);
        if (!is_lwo2(bytes)) continue;
        ++lwo2_files;
        Scene scene;
        const int mesh = lwhost::load_lwo2(scene, file);
        EXPECT_THAT(lwhost::check_scene(scene), testing::IsEmpty());
        const MeshObject& object = *scene.meshes[std::size_t(mesh)];
        EXPECT_EQ(object.filename, file.string());

        const lwo2_walk::Walk walk = lwo2_walk::walk(bytes);
        ASSERT_EQ(object.layers.size(), walk.layers.size());
        std::map<std::string, std::size_t> polygons;
        for (std::size_t l = 0; l < walk.layers.size(); ++l) {
            const Layer& layer = object.layers[l];
            EXPECT_EQ(layer.points.size(), walk.layers[l].points);
            std::map<std::string, std::size_t> by_type;
            std::size_t corners = 0;
            for (const auto& polygon : layer.polygons) {
                const std::uint32_t t = polygon.type;
                ++by_type[{char(t >> 24), char(t >> 16), char(t >> 8), char(t)}];
                corners += polygon.vertex_count;
            }
            EXPECT_EQ(by_type, walk.layers[l].polygons);
            EXPECT_EQ(corners, walk.layers[l].corners);
            for (const auto& [type, n] : by_type) polygons[type] += n;
            // Every map the file names, with as many values as it gives.
            std::set<std::string> maps;
            for (const VertexMap& map : layer.vmaps) {
                const std::string type{char(map.type >> 24), char(map.type >> 16), char(map.type >> 8), char(map.type)};
                if (map.value_count() || !map.polygon_value_count()) {
                    maps.insert("VMAP " + type + " " + map.name);
                    EXPECT_EQ(map.value_count(), walk.layers[l].map_entries.count("VMAP " + type + " " + map.name)
                                                     ? walk.layers[l].map_entries.at("VMAP " + type + " " + map.name)
                                                     : 0u);
                }
                if (map.polygon_value_count()) {
                    maps.insert("VMAD " + type + " " + map.name);
                    EXPECT_EQ(map.polygon_value_count(), walk.layers[l].map_entries.at("VMAD " + type + " " + map.name));
                }
            }
            EXPECT_EQ(maps, walk.layers[l].maps);
        }
        std::set<std::string> surfaces;
        for (const auto& s : scene.surfaces) surfaces.insert(s->name);
        EXPECT_EQ(surfaces, std::set<std::string>(walk.surfaces.begin(), walk.surfaces.end()));

        const auto found = listed.find(fs::relative(file, corpus_root()).string());
        if (found == listed.end()) continue;
        ++checked_against_list;
        std::size_t points = 0;
        for (const Layer& layer : object.layers) points += layer.points.size();
        for (const auto& [what, n] : found->second) {
            if (what == "points") EXPECT_EQ(points, n);
            else if (what == "LAYR") EXPECT_EQ(object.layers.size(), n);
            else if (what == "SURF") EXPECT_EQ(scene.surfaces.size(), n);
            else EXPECT_EQ(polygons[what], n) << what;
        }
    }
    EXPECT_EQ(lwo2_files, 48);  // 35 in lwo/, rifle.lwo in lwo/nonbsd, simple_cube.lwo, 11 of the 12 scene references
    EXPECT_GE(checked_against_list, 30);
}

TEST(Lwo2Corpus, OlderObjectFilesAreRefusedByName) {
    const auto files = corpus_objects();
    if (files.empty()) GTEST_SKIP() << "corpus not present";
    int older = 0;
    for (const fs::path& file : files) {
        const auto bytes = read_bytes(file);
        if (bytes.size() < 12 || !std::equal(bytes.begin() + 8, bytes.begin() + 12, "LWOB")) continue;
        ++older;
        Scene scene;
        try {
            lwhost::load_lwo2(scene, file);
            ADD_FAILURE() << file << " loaded";
        } catch (const FileFormatError& e) {
            EXPECT_EQ(std::string(e.what()), file.filename().string() +
                                                 ": not an LWO2 object file (an older LWOB object; save it again as LWO2)");
        }
        EXPECT_TRUE(scene.meshes.empty());
    }
    EXPECT_EQ(older, 5);  // the four LWOB_ files and QuickDraw--Laserbeam.lwo, an LWOB among the LWO2 references
}

// ---- round trip ---------------------------------------------------------------

TEST(Lwo2RoundTrip, CorpusObjectsSaveToTheSameObjectWithWhatWasKeptByteForByte) {
    const auto files = corpus_objects();
    if (files.empty()) GTEST_SKIP() << "corpus not present";
    TempDir dir;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        const auto original = read_bytes(file);
        if (!is_lwo2(original)) continue;
        Scene scene;
        const int mesh = lwhost::load_lwo2(scene, file);
        const fs::path saved = dir.file("saved.lwo");
        lwhost::save_lwo2(scene, mesh, saved);

        const auto bytes = read_bytes(saved);
        const lwo2_walk::Walk walk = lwo2_walk::walk(bytes);
        EXPECT_THAT(walk.faults, testing::IsEmpty());
        // Chunks the model does not interpret, and surfaces and clips of an
        // unchanged object, come back as they were.
        const lwo2_walk::Walk before = lwo2_walk::walk(original);
        const std::set<std::string> verbatim = {"SURF", "CLIP", "ENVL", "DESC", "TEXT", "ICON", "VMPA"};
        EXPECT_EQ(chunks_of(walk, verbatim), chunks_of(before, verbatim));
        EXPECT_EQ(walk.tags, before.tags);

        Scene again;
        const int reloaded = lwhost::load_lwo2(again, saved);
        // The reloaded object has the saved file's name; compare the rest.
        EXPECT_EQ(first_difference(describe(again, reloaded), describe(scene, mesh)), "");
        // A second save of the reloaded object is the first one, byte for byte.
        lwhost::save_lwo2(again, reloaded, dir.file("again.lwo"));
        EXPECT_EQ(read_bytes(dir.file("again.lwo")), bytes);
    }
}

// Builds an object the way the mesh importer leaves one: unshared corners
// welded per material, a UV map per material with seams as per-polygon
// values, weight maps, surfaces with a smoothing angle and a UV image layer.
int build_imported(lwhost::SceneBuilder& b, const std::string& name, std::uint32_t extra_points = 0) {
    auto mesh = b.mesh(name);
    for (std::uint32_t i = 0; i < extra_points; ++i) mesh.point(double(i) / 1024, 0, 0);  // exact in a float
    const std::uint32_t base = extra_points;
    for (int i = 0; i < 4; ++i) mesh.point(i % 2, i / 2, 0.5);
    const std::uint32_t t0 = mesh.triangle(base, base + 1, base + 3, "Skin");
    const std::uint32_t t1 = mesh.triangle(base, base + 3, base + 2, "Cloth");
    mesh.uv("Skin", base, 0, 0).uv("Skin", base + 1, 1, 0).uv("Skin", base + 3, 1, 1);
    mesh.uv_for_polygon("Skin", t0, base + 3, 0.5f, 0.25f);
    mesh.uv("Cloth", base + 2, 0, 1);
    mesh.uv_for_polygon("Cloth", t1, base, 0.75f, 0.125f);
    mesh.weight("root", base, 1.0f).weight("root", base + 1, 0.25f).weight("arm", base + 1, 0.75f);
    mesh.weight("arm", base + 3, -0.5f);  // weights may be negative
    if (extra_points) mesh.triangle(0, base + 1, base + 3, "Skin");
    const int image = b.image("skin.png", 4, 4, "images/skin.png");
    b.surface(mesh, "Skin").smoothing_degrees(60).uv_image_layer(image, "Skin");
    b.surface(mesh, "Cloth").smoothing_degrees(0);
    return mesh.index();
}

TEST(Lwo2RoundTrip, AnImportedMeshSavesWithItsMapsSeamsWeightsAndSurfaces) {
    TempDir dir;
    Scene scene;
    lwhost::SceneBuilder b(scene);
    const int mesh = build_imported(b, "imported");
    lwhost::save_lwo2(scene, mesh, dir.file("imported.lwo"));

    const lwo2_walk::Walk walk = lwo2_walk::walk(read_bytes(dir.file("imported.lwo")));
    EXPECT_THAT(walk.faults, testing::IsEmpty());
    ASSERT_EQ(walk.layers.size(), 1u);
    EXPECT_EQ(walk.layers[0].points, 4u);
    EXPECT_EQ(walk.layers[0].maps, (std::set<std::string>{"VMAP TXUV Skin", "VMAD TXUV Skin", "VMAP TXUV Cloth",
                                                           "VMAD TXUV Cloth", "VMAP WGHT root", "VMAP WGHT arm"}));
    EXPECT_EQ(walk.layers[0].map_entries.at("VMAP WGHT arm"), 2u);
    EXPECT_EQ(walk.surfaces, (std::vector<std::string>{"Skin", "Cloth"}));
    EXPECT_EQ(walk.clips, 1u);
    // The order a reader needs: TAGS, then per layer LAYR, PNTS, ..., then
    // CLIP before the SURF that uses it.
    std::vector<std::string> order;
    for (const auto& chunk : walk.chunks) order.push_back(chunk.id);
    EXPECT_EQ(order, (std::vector<std::string>{"TAGS", "LAYR", "PNTS", "BBOX", "VMAP", "VMAP", "VMAP", "VMAP", "POLS",
                                               "PTAG", "VMAD", "VMAD", "CLIP", "SURF", "SURF"}));

    Scene again;
    const int reloaded = lwhost::load_lwo2(again, dir.file("imported.lwo"));
    EXPECT_EQ(first_difference(describe(again, reloaded), describe(scene, mesh)), "");
    EXPECT_NEAR(again.surfaces[0]->smoothing_angle, 60 * M_PI / 180, 1e-6);
    EXPECT_EQ(again.images.at(0)->filename, "images/skin.png");
}

TEST(Lwo2RoundTrip, IndicesFromFF00OnUseTheLongFormAndBelowItTheShortOne) {
    TempDir dir;
    Scene scene;
    lwhost::SceneBuilder b(scene);
    const int mesh = build_imported(b, "wide", 0xFF00 - 1);  // the imported points straddle 0xFF00
    lwhost::save_lwo2(scene, mesh, dir.file("wide.lwo"));
    const lwo2_walk::Walk walk = lwo2_walk::walk(read_bytes(dir.file("wide.lwo")));
    EXPECT_THAT(walk.faults, testing::IsEmpty());  // the walker refuses a long form below 0xFF00
    EXPECT_GT(walk.wide_vx, 0u);
    EXPECT_GT(walk.narrow_vx, 0u);
    Scene again;
    const int reloaded = lwhost::load_lwo2(again, dir.file("wide.lwo"));
    EXPECT_EQ(first_difference(describe(again, reloaded), describe(scene, mesh)), "");
}

TEST(Lwo2RoundTrip, EditedSurfacesWriteTheModelAndKeepTheRest) {
    const fs::path root = corpus_root();
    if (root.empty()) GTEST_SKIP() << "corpus not present";
    TempDir dir;
    Scene scene;
    const int mesh = lwhost::load_lwo2(scene, root / "lwo/LWO2_box_2uv_1unused.lwo");
    lwhost::Surface& surface = *scene.surfaces.at(0);
    ASSERT_EQ(surface.color_texture.size(), 1u);
    surface.smoothing_angle = 0.5;
    surface.color_texture[0].uv_map = "testUV1";
    const int image = scene.add_image("new.png", "new.png", 1, 1);
    surface.color_texture.push_back({lwhost::TextureLayerType::Image, lwhost::Projection::UV, 0, image, "testUV0"});
    lwhost::save_lwo2(scene, mesh, dir.file("edited.lwo"));
    EXPECT_THAT(lwo2_walk::walk(read_bytes(dir.file("edited.lwo"))).faults, testing::IsEmpty());

    Scene again;
    const int reloaded = lwhost::load_lwo2(again, dir.file("edited.lwo"));
    const lwhost::Surface& back = *again.surfaces.at(0);
    EXPECT_FLOAT_EQ(float(back.smoothing_angle), 0.5f);
    ASSERT_EQ(back.color_texture.size(), 2u);
    EXPECT_EQ(back.color_texture[0].uv_map, "testUV1");
    EXPECT_EQ(back.color_texture[1].uv_map, "testUV0");
    EXPECT_EQ(again.images.at(std::size_t(back.color_texture[1].image))->filename, "new.png");
    EXPECT_EQ(again.meshes[std::size_t(reloaded)]->layers[0].polygons.size(), scene.meshes[std::size_t(mesh)]->layers[0].polygons.size());
}

// What the corpus lacks: every polygon type, curve flags and a curve past
// 1,023 points, PART and SMGP tags, a hidden layer with a parent, odd-length
// unknown chunks before, inside and after the layers.
TEST(Lwo2RoundTrip, EveryPolygonTypeFlagsTagsAndUnknownChunksComeBack) {
    using Bytes = std::vector<std::uint8_t>;
    Bytes points(1100 * 12, 0);
    for (std::size_t i = 0; i < 1100; ++i) points[i * 12 + 2] = std::uint8_t(0x3F + i % 2);  // x = 0.5 or 0.75-ish
    const auto polygons = [](const char* type, std::vector<Bytes> entries) {
        Bytes out(type, type + 4);
        for (const Bytes& e : entries) out.insert(out.end(), e.begin(), e.end());
        return out;
    };
    Bytes curve = {std::uint8_t(0x10 | 0x04 | 0x08), 0x4C};  // 1100 = 0x44C: 0x400 in the extension bits, both control flags
    for (std::uint16_t i = 0; i < 1100; ++i) curve.insert(curve.end(), {std::uint8_t(i >> 8), std::uint8_t(i)});
    const Bytes file = form({
        {"ZZZA", {1, 2, 3}},  // odd length: a pad byte follows
        {"TAGS", {'s', 'k', 'i', 'n', 0, 0, 'l', 'e', 'g', 0}},
        {"LAYR", {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'a', 0}},
        {"LAYR", {0, 5, 0, 0x11, 0x3F, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'b', 0, 0, 1}},
        {"PNTS", points},
        {"POLS", polygons("FACE", {{0x80, 3, 0, 0, 0, 1, 0, 2}})},  // a flag bit on a face
        {"PTAG", {'S', 'U', 'R', 'F', 0, 0, 0, 0}},
        {"PTAG", {'S', 'M', 'G', 'P', 0, 0, 0, 7}},
        {"POLS", polygons("CURV", {curve})},
        {"PTAG", {'P', 'A', 'R', 'T', 0, 0, 0, 1}},
        {"POLS", polygons("PTCH", {{0, 4, 0, 0, 0, 1, 0, 2, 0, 3}})},
        {"POLS", polygons("SUBD", {{0, 4, 0, 0, 0, 1, 0, 2, 0, 3}})},
        {"POLS", polygons("BONE", {{0, 2, 0, 4, 0, 5}})},
        {"POLS", polygons("MBAL", {{0, 1, 0, 6}})},
        {"VMAD", {'M', 'N', 'V', 'W', 0, 1, 'w', 0, 0, 6, 0, 0, 0x3F, 0x80, 0, 0}},
        {"ZZZB", {9}},
        {"SURF", {'s', 'k', 'i', 'n', 0, 0, 0, 0, 'Q', 'Q', 'Q', 'Q', 0, 1, 7, 0}},
        {"ZZZC", {4, 5, 6, 7, 8}},
    });
    Scene scene;
    const int mesh = load_bytes(scene, "types.lwo", file);
    EXPECT_THAT(lwhost::check_scene(scene), testing::IsEmpty());
    const MeshObject& object = *scene.meshes[std::size_t(mesh)];
    ASSERT_EQ(object.layers.size(), 2u);
    const Layer& layer = object.layers[1];
    EXPECT_EQ(layer.number, 5);
    EXPECT_EQ(layer.parent, 1);
    EXPECT_TRUE(layer.hidden);
    EXPECT_EQ(layer.pivot[0], 1.0);
    ASSERT_EQ(layer.polygons.size(), 6u);
    const std::vector<std::uint32_t> types = {lwhost::kFace, lwhost::kCurve, lwhost::kPatch, lwhost::kSubdivision,
                                              lwhost::kBone, lwhost::fourcc('M', 'B', 'A', 'L')};
    for (std::size_t p = 0; p < types.size(); ++p) EXPECT_EQ(layer.polygons[p].type, types[p]) << p;
    EXPECT_EQ(layer.polygons[1].vertex_count, 1100u);
    EXPECT_EQ(layer.polygons[1].part_tag, 1);
    EXPECT_EQ(layer.polygons[0].surface_tag, 0);
    EXPECT_NE(layer.polygons[1].flags, 0u);  // both curve control points
    ASSERT_NE(layer.find_vmap(lwhost::fourcc('M', 'N', 'V', 'W'), "w"), nullptr);

    const auto saved = lwhost::lwo2_file_bytes(scene, mesh, "types.lwo");
    const lwo2_walk::Walk walk = lwo2_walk::walk(saved);
    EXPECT_THAT(walk.faults, testing::IsEmpty());
    const lwo2_walk::Walk before = lwo2_walk::walk(file);
    const std::set<std::string> kept = {"ZZZA", "ZZZB", "ZZZC", "SURF"};
    EXPECT_EQ(chunks_of(walk, kept), chunks_of(before, kept));
    // The face's flag bit and the smoothing group come back where they were.
    const auto pols = chunks_of(walk, {"POLS"});
    ASSERT_EQ(pols.size(), 6u);
    EXPECT_EQ(pols[0].second, chunks_of(before, {"POLS"})[0].second);
    EXPECT_EQ(pols[1].second, chunks_of(before, {"POLS"})[1].second) << "the curve's count and flags";
    const auto ptags = chunks_of(walk, {"PTAG"});
    EXPECT_EQ(ptags, chunks_of(before, {"PTAG"}));

    Scene again;
    const int reloaded = load_bytes(again, "types.lwo", saved);
    EXPECT_EQ(first_difference(describe(again, reloaded), describe(scene, mesh)), "");
}

// ---- saving -------------------------------------------------------------------

TEST(Lwo2Save, FollowsTheSafeSaveRules) {
    TempDir dir;
    Scene scene;
    lwhost::SceneBuilder b(scene);
    const int mesh = build_imported(b, "safe");

    // A link is followed and stays a link.
    const std::string target = dir.file("target.lwo"), link = dir.file("link.lwo");
    { std::ofstream(target) << "old"; }
    fs::create_symlink(target, link);
    lwhost::save_lwo2(scene, mesh, link);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(is_lwo2(read_bytes(target)));

    // A folder is refused, with the name and nothing left beside it.
    fs::create_directory(dir.file("folder.lwo"));
    try {
        lwhost::save_lwo2(scene, mesh, dir.file("folder.lwo"));
        ADD_FAILURE() << "saved over a folder";
    } catch (const FileFormatError& e) {
        EXPECT_THAT(e.what(), testing::StartsWith("folder.lwo: cannot be written"));
    }
    EXPECT_THROW(lwhost::save_lwo2(scene, 7, dir.file("none.lwo")), FileFormatError);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.folder()), fs::directory_iterator()), 3);
}

TEST(Lwo2Save, ARefusedReadOnlyTargetKeepsItsContent) {
    TempDir dir;
    Scene scene;
    lwhost::SceneBuilder b(scene);
    const int mesh = build_imported(b, "ro");
    const std::string target = dir.file("ro.lwo");
    { std::ofstream(target) << "keep"; }
    ::chmod(target.c_str(), 0444);
    {
        test_files::Unprivileged as_user(dir.folder());  // root could write a read-only file
        if (!as_user.active()) GTEST_SKIP() << "running as root and cannot give up the right to write any file";
        EXPECT_THROW(lwhost::save_lwo2(scene, mesh, target), FileFormatError);
    }
    EXPECT_EQ(read_bytes(target), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p'}));
}

// ---- damaged input ------------------------------------------------------------

std::string load_error(const std::vector<std::uint8_t>& bytes, const std::string& name = "bad.lwo") {
    Scene scene;
    lwhost::SceneBuilder(scene).mesh("already here");
    try {
        load_bytes(scene, name, bytes);
    } catch (const FileFormatError& e) {
        EXPECT_EQ(scene.meshes.size(), 1u) << "a failed load left a mesh";
        EXPECT_TRUE(scene.surfaces.empty() && scene.images.empty()) << "a failed load left surfaces or images";
        return e.what();
    }
    return "loaded";
}

const std::vector<std::uint8_t> kLayer0 = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const std::vector<std::uint8_t> kThreePoints(36, 0);

TEST(Lwo2Damaged, EachFaultIsNamedWithTheFile) {
    using Bytes = std::vector<std::uint8_t>;
    EXPECT_EQ(load_error({}), "bad.lwo: not an object file (too short for a FORM header)");
    EXPECT_EQ(load_error(Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 4, 'L', 'W', 'O', '2'}),
              "bad.lwo: not an object file (no FORM header)");
    Bytes cut = form({{"PNTS", kThreePoints}});
    cut.resize(cut.size() - 5);
    EXPECT_EQ(load_error(cut), "bad.lwo: FORM size 48 runs past the end of the file (51 bytes): the file is cut short");
    Bytes long_chunk = form({{"PNTS", kThreePoints}});
    long_chunk[19] = 200;
    EXPECT_EQ(load_error(long_chunk),
              "bad.lwo: PNTS chunk at byte 12 runs past the end of the file (length 200, 36 bytes left)");
    EXPECT_EQ(load_error(form({{"LAYR", kLayer0}, {"PNTS", Bytes(30, 0)}})),
              "bad.lwo: PNTS: length 30 is not a whole number of points (12 bytes each)");
    EXPECT_EQ(load_error(form({{"LAYR", kLayer0}, {"PNTS", kThreePoints}, {"POLS", {'F', 'A', 'C', 'E', 0, 3, 0, 0, 0, 1, 0, 3}}})),
              "bad.lwo: POLS: polygon 0 uses point 3, but its PNTS has 3 points");
    EXPECT_EQ(load_error(form({{"PNTS", kThreePoints}, {"POLS", {'F', 'A', 'C', 'E', 0, 3, 0xFF, 1, 0, 0, 0, 1, 0, 2}}})),
              "bad.lwo: POLS: polygon 0 uses point 65536, but its PNTS has 3 points")
        << "a long-form index is its low 24 bits";
    EXPECT_EQ(load_error(form({{"PNTS", kThreePoints}, {"POLS", {'F', 'A', 'C', 'E', 0, 3, 0, 0, 0, 1}}})),
              "bad.lwo: POLS: polygon point index runs past the end of the chunk");
    EXPECT_EQ(load_error(form({{"TAGS", {'a', 0}},
                               {"PNTS", kThreePoints},
                               {"POLS", {'F', 'A', 'C', 'E', 0, 3, 0, 0, 0, 1, 0, 2}},
                               {"PTAG", {'S', 'U', 'R', 'F', 0, 0, 0, 1}}})),
              "bad.lwo: PTAG SURF: tag 1 out of range (TAGS has 1 strings)");
    EXPECT_EQ(load_error(form({{"PNTS", kThreePoints}, {"VMAP", {'T', 'X', 'U', 'V', 0, 2, 'u', 'v', 0, 0, 0, 1, 0, 0, 0, 0}}})),
              "bad.lwo: VMAP TXUV 'uv': the chunk ends inside an entry");
    EXPECT_EQ(load_error(form({{"TAGS", {'a', 'b', 'c'}}})), "bad.lwo: TAGS: tag string has no end (no NUL before the end of the chunk)");
    EXPECT_EQ(load_error(form({{"LAYR", kLayer0}, {"LAYR", kLayer0}})), "bad.lwo: LAYR: layer number 0 appears twice");
    EXPECT_EQ(load_error(form({{"\x01\x02\x03\x04", {}}})),
              "bad.lwo: unreadable chunk ID at byte 12 (not an object file, or damaged)");
    EXPECT_EQ(load_error(form({{"SURF", {'s', 0, 0, 0, 'S', 'M', 'A', 'N', 0, 9, 0}}})),
              "bad.lwo: SURF: SMAN sub-chunk runs past the end of its chunk");
    try {
        Scene scene;
        lwhost::load_lwo2(scene, "/nonexistent/folder/arm.lwo");
        ADD_FAILURE();
    } catch (const FileFormatError& e) {
        EXPECT_EQ(std::string(e.what()), "arm.lwo: cannot be opened: No such file or directory");
    }
}

// Every cut of a real file and a spread of flipped bytes either loads (a
// flip may hit a coordinate) or is refused with the file's name; never a
// crash, a hang or a scene left half changed. Run under the sanitizers too.
TEST(Lwo2Damaged, CutAndGarbledCorpusFilesAreRefusedCleanly) {
    const fs::path root = corpus_root();
    if (root.empty()) GTEST_SKIP() << "corpus not present";
    std::mt19937 random(20261208);
    int refused = 0, loaded = 0;
    for (const char* name : {"lwo/LWO2_box_2uv_1unused.lwo", "lwo/LWO2_hierarchy.lwo", "lwo/LWO2_Subdivision.lwo",
                             "lwo/LWO2_UglyVertexColors.lwo", "lwo/LWO2_uvtest.lwo", "lws/simple_cube.lwo"}) {
        SCOPED_TRACE(name);
        const auto original = read_bytes(root / name);
        ASSERT_FALSE(original.empty());
        const std::size_t step = std::max<std::size_t>(1, original.size() / 400);
        for (std::size_t cut = 0; cut < original.size(); cut += step) {
            const std::vector<std::uint8_t> bytes(original.begin(), original.begin() + std::ptrdiff_t(cut));
            const std::string error = load_error(bytes, "cut.lwo");
            EXPECT_THAT(error, testing::StartsWith("cut.lwo: ")) << cut;
            ++refused;
        }
        for (int trial = 0; trial < 300; ++trial) {
            std::vector<std::uint8_t> bytes = original;
            for (int flips = 1 + trial % 4; flips > 0; --flips)
                bytes[random() % bytes.size()] = std::uint8_t(random());
            const std::string error = load_error(bytes, "garbled.lwo");
            if (error == "loaded") ++loaded;
            else EXPECT_THAT(error, testing::StartsWith("garbled.lwo: "));
        }
    }
    EXPECT_GT(refused, 1000);
    EXPECT_GT(loaded, 0);  // flips in coordinates and names still load
}

// ---- assimp, an independent reader ---------------------------------------------

#ifdef LWSMD_TEST_HAVE_ASSIMP
struct Assimp : AssimpLibrary {
    // What assimp makes of a file: meshes, faces, corners, UV channels,
    // materials; empty when it cannot read it.
    std::string summary(const fs::path& file, std::size_t* out_faces = nullptr, std::size_t* out_vertices = nullptr) const {
        const aiScene* scene = import(file.c_str(), 0);
        if (!scene) return "";
        std::size_t faces = 0, vertices = 0, uv_channels = 0;
        for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
            faces += scene->mMeshes[m]->mNumFaces;
            vertices += scene->mMeshes[m]->mNumVertices;
            for (unsigned c = 0; c < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++c)
                if (scene->mMeshes[m]->mTextureCoords[c]) ++uv_channels;
        }
        std::string out = "meshes " + std::to_string(scene->mNumMeshes) + " faces " + std::to_string(faces) +
                          " vertices " + std::to_string(vertices) + " uv channels " + std::to_string(uv_channels) +
                          " materials " + std::to_string(scene->mNumMaterials);
        if (out_faces) *out_faces = faces;
        if (out_vertices) *out_vertices = vertices;
        release(scene);
        return out;
    }
};
#endif

TEST(Lwo2Assimp, CountsAsTheLoaderDoesAndReadsSavedFilesAsItReadsTheOriginals) {
#ifndef LWSMD_TEST_HAVE_ASSIMP
    GTEST_SKIP() << "assimp headers not found when built (libassimp-dev)";
#else
    Assimp assimp;
    if (!assimp.import || !assimp.release) GTEST_SKIP() << "libassimp.so.5 not found";
    const auto files = corpus_objects();
    if (files.empty()) GTEST_SKIP() << "corpus not present";
    TempDir dir;
    int compared = 0;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        if (!is_lwo2(read_bytes(file))) continue;
        std::size_t faces = 0, vertices = 0;
        const std::string original = assimp.summary(file, &faces, &vertices);
        if (original.empty()) continue;
        Scene scene;
        const int mesh = lwhost::load_lwo2(scene, file);
        // assimp gives each polygon corner a vertex of its own.
        std::size_t polygons = 0, corners = 0;
        for (const Layer& layer : scene.meshes[std::size_t(mesh)]->layers)
            for (const auto& polygon : layer.polygons) {
                ++polygons;
                corners += polygon.vertex_count;
            }
        EXPECT_EQ(polygons, faces);
        EXPECT_EQ(corners, vertices);
        lwhost::save_lwo2(scene, mesh, dir.file("saved.lwo"));
        EXPECT_EQ(assimp.summary(dir.file("saved.lwo")), original);
        ++compared;
    }
    EXPECT_GE(compared, 30);
#endif
}

TEST(Lwo2Assimp, ReadsAnImportedMeshWithItsPolygonsSurfacesAndUVMaps) {
#ifndef LWSMD_TEST_HAVE_ASSIMP
    GTEST_SKIP() << "assimp headers not found when built (libassimp-dev)";
#else
    Assimp assimp;
    if (!assimp.import || !assimp.release) GTEST_SKIP() << "libassimp.so.5 not found";
    TempDir dir;
    Scene scene;
    lwhost::SceneBuilder b(scene);
    lwhost::save_lwo2(scene, build_imported(b, "imported"), dir.file("imported.lwo"));
    // Two surfaces, one mesh each; assimp gives every corner its own vertex
    // and every mesh of a layer each UV map the layer has (two maps, two
    // meshes: four channels).
    EXPECT_EQ(assimp.summary(dir.file("imported.lwo")), "meshes 2 faces 2 vertices 6 uv channels 4 materials 2");
#endif
}

}  // namespace
