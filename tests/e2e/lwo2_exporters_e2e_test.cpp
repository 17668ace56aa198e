// The SMD exporters on objects loaded from object files: the UVs and
// weights they write are the ones the file holds, read here from the file's
// bytes by the tests' own walker rather than from the loaded scene.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "formats/lwo2.h"
#include "host.h"
#include "loader.h"
#include "scene_builder.h"
#include "ui_script.h"
#include "../host/lwo2_walker.h"
#include "../temp_dir.h"
#include "smd_reader.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;
using lwhost::Host;
using test_files::TempDir;

float be_float(const std::uint8_t* p) {
    const std::uint32_t bits = lwo2_walk::be32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

std::size_t vx_size(const std::uint8_t* p) { return *p == 0xFF ? 4 : 2; }

// The values of every VMAP and VMAD of one type in a file, printed as the
// exporters print reals ("%f"), one string per entry.
std::set<std::string> file_values(const std::vector<std::uint8_t>& file, const char* type) {
    std::set<std::string> out;
    for (const auto& chunk : lwo2_walk::walk(file).chunks) {
        if ((chunk.id != "VMAP" && chunk.id != "VMAD") || std::memcmp(chunk.data.data(), type, 4) != 0) continue;
        const std::size_t dimension = lwo2_walk::be16(chunk.data.data() + 4);
        std::size_t at = 6;
        while (chunk.data[at] != 0) ++at;
        at += (at - 6 + 1) % 2 ? 2 : 1;
        while (at < chunk.data.size()) {
            at += vx_size(&chunk.data[at]);
            if (chunk.id == "VMAD") at += vx_size(&chunk.data[at]);
            std::string value;
            for (std::size_t k = 0; k < dimension; ++k, at += 4) {
                char text[32];
                std::snprintf(text, sizeof text, k ? " %f" : "%f", double(be_float(&chunk.data[at])));
                value += text;
            }
            out.insert(value);
        }
    }
    return out;
}

// The vertex lines of an SMD file's triangles block, split into fields.
std::vector<std::vector<std::string>> smd_vertices(const std::string& text) {
    std::vector<std::vector<std::string>> out;
    for (const test_support::SmdTriangle& triangle : test_support::read_smd(text).triangles)
        for (const test_support::SmdVertex& vertex : triangle.corners) out.push_back(vertex.fields);
    return out;
}

fs::path corpus_file(const char* name) {
    for (const char* root : {"/work/shared/corpus", "../shared/corpus", "../../shared/corpus"})
        if (fs::exists(fs::path(root) / name)) return fs::path(root) / name;
    return {};
}

TEST(Lwo2Exporters, StaticMeshExportOfALoadedFileWritesTheFilesUVs) {
    const fs::path file = corpus_file("lwo/LWO2_uvtest.lwo");
    if (file.empty()) GTEST_SKIP() << "corpus not present";
    Host host;
    std::string error;
    ASSERT_NE(host.plugins().load(std::string(LWSMD_PLUGIN_DIR) + "/meshwriter.so", &error), nullptr) << error;
    host.scene.current_mesh = lwhost::load_lwo2(host.scene, file);
    TempDir dir;
    host.script().press("Save SMD file").answer_file(dir.file("uvtest.smd")).close();
    ASSERT_EQ(host.run_command("SMD Export"), 0);

    const auto vertices = smd_vertices(test_support::read_file(dir.file("uvtest.smd")));
    EXPECT_EQ(vertices.size(), 16u * 2 * 3);  // 16 quads, two triangles each
    const std::set<std::string> uvs = file_values(test_support::read_bytes(file), "TXUV");
    std::set<std::string> written;
    for (const auto& v : vertices) {
        ASSERT_GE(v.size(), 9u);
        written.insert(v[7] + " " + v[8]);
    }
    EXPECT_EQ(written, uvs);
}

// An object as the mesh importer leaves one, saved and loaded again, then
// exported with its bones: every corner's UV (seams included) and weight is
// one the saved file holds.
TEST(Lwo2Exporters, ReferenceExportOfASavedAndLoadedObjectWritesItsUVsAndWeights) {
    TempDir dir;
    {
        lwhost::Scene scene;
        lwhost::SceneBuilder b(scene);
        auto mesh = b.mesh("character");
        for (int i = 0; i < 6; ++i) mesh.point(i % 3, i / 3, 0);
        const std::uint32_t t0 = mesh.triangle(0, 1, 4, "Skin");
        mesh.triangle(0, 4, 3, "Skin");
        mesh.triangle(1, 2, 5, "Skin");
        mesh.triangle(1, 5, 4, "Skin");
        for (std::uint32_t p = 0; p < 6; ++p) {
            mesh.uv("Skin", p, float(p % 3) / 4, float(p / 3) / 2);
            mesh.weight(p % 3 == 2 ? "arm" : "root", p, 1.0f);
        }
        mesh.weight("root", 1, 0.25f).weight("arm", 1, 0.75f);
        mesh.uv_for_polygon("Skin", t0, 4, 0.125f, 0.875f);  // a seam corner
        b.surface(mesh, "Skin").smoothing_degrees(45);
        lwhost::save_lwo2(scene, mesh.index(), dir.file("character.lwo"));
    }
    Host host;
    std::string error;
    ASSERT_NE(host.plugins().load(std::string(LWSMD_PLUGIN_DIR) + "/rigwriter.so", &error), nullptr) << error;
    const int mesh = lwhost::load_lwo2(host.scene, dir.file("character.lwo"));
    lwhost::SceneBuilder b(host.scene);
    const lwhost::ItemId object = host.scene.add_object("character", mesh, 0);
    const lwhost::ItemId root = b.bone(object, "root").rest({0, 0, 0}, {0, 0, 0}).length(1).weight_map("root");
    b.bone(object, "arm", root).rest({0, 0, 1}, {0, 0, 0}).length(1).weight_map("arm");
    b.select(object);
    host.script().press("Save SMD file").answer_file(dir.file("character.smd")).close();
    ASSERT_EQ(host.run_generic("SMD Export Layout"), 0);
    EXPECT_TRUE(host.messages.empty());

    const auto bytes = test_support::read_bytes(dir.file("character.lwo"));
    const std::set<std::string> uvs = file_values(bytes, "TXUV");
    const std::set<std::string> weights = file_values(bytes, "WGHT");
    const auto vertices = smd_vertices(test_support::read_file(dir.file("character.smd")));
    ASSERT_EQ(vertices.size(), 4u * 3);
    std::set<std::string> written_uvs, written_weights;
    for (const auto& v : vertices) {
        // parent, position, normal, u v, link count, (bone weight)...
        ASSERT_GE(v.size(), 10u);
        written_uvs.insert(v[7] + " " + v[8]);
        for (std::size_t k = 11; k < v.size(); k += 2) written_weights.insert(v[k]);
    }
    EXPECT_EQ(written_uvs, uvs);  // the seam's 0.125 0.875 among them
    EXPECT_TRUE(written_uvs.count("0.125000 0.875000"));
    for (const std::string& w : written_weights) EXPECT_TRUE(weights.count(w)) << w;
    EXPECT_TRUE(written_weights.count("0.750000")) << "the shared point's arm weight";
}

}  // namespace
