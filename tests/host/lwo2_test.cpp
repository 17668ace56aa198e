// Object files in and out: the corpus loads with the counts its sources
// list and the tests' own walker finds; load, save, load gives the same
// object with unknown data byte for byte.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "lwo2_fixture.h"

namespace {

using namespace lwo2_fixture;

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

}  // namespace
