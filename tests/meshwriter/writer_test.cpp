// The static SMD writer: the whole file against one a person has read, the
// material names, which polygons are written and how, scale, and write
// failures that must never leave a broken file in place of a good one.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "file_size_limit.h"
#include "mesh_fixture.h"
#include "ui_script.h"
#include "../common/uv_template_pictures.h"

namespace {

using meshtest::MeshFixture;
using meshtest::read_file;
using meshtest::triangles_of;
using uv_test::TempDir;

// "" when the texts agree; else the first line that differs, numbered from 1.
std::string first_difference(const std::string& actual, const std::string& expected) {
    const auto got = meshtest::lines_of(actual), want = meshtest::lines_of(expected);
    for (std::size_t i = 0; i < got.size() || i < want.size(); ++i) {
        const std::string a = i < got.size() ? got[i] : "<no line>", e = i < want.size() ? want[i] : "<no line>";
        if (a != e) return "line " + std::to_string(i + 1) + ": \"" + a + "\", expected \"" + e + "\"";
    }
    if (actual != expected) return "the texts differ in their line ends";
    return "";
}

// One quad on surface "Skin Mat" with UVs: the golden file's object. Its
// corners are exact in binary; (P1 - P0) x (P3 - P0) = (0, 0.9375, -1.25)
// gives the unit normal (0, 0.6, -0.8).
int build_skin_mat_quad(lwhost::SceneBuilder& b) {
    auto m = b.mesh("/models/skin.lwo");
    auto p0 = m.point(0.5, 0.25, -0.125), p1 = m.point(0.5, 1.25, 0.625);
    auto p2 = m.point(1.75, 1.25, 0.625), p3 = m.point(1.75, 0.25, -0.125);
    m.quad(p0, p1, p2, p3, "Skin Mat");
    m.uv("UVMap", p0, 0.125f, 0.25f).uv("UVMap", p1, 0.125f, 0.75f);
    m.uv("UVMap", p2, 0.875f, 0.75f).uv("UVMap", p3, 0.875f, 0.25f);
    b.surface(m, "Skin Mat").smoothing_degrees(60);
    return m.index();
}

TEST(MeshWriterGolden, SkinMatQuadMatchesTheFileAPersonRead) {
    lwhost::Host host;
    lwhost::SceneBuilder b(host.scene);
    host.scene.current_mesh = build_skin_mat_quad(b);
    TempDir dir;
    const std::string path = dir.file("skin.smd");
    host.script().pick("Group Triangles by:", "Surface Name").press("Save SMD file").answer_file(path).close();
    ASSERT_EQ(meshtest::run_export(host), 0);
    EXPECT_TRUE(host.messages.empty());
    const std::string golden = read_file(std::string(LWSMD_TEST_DATA) + "/meshwriter/skin_mat_quad.smd");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(first_difference(read_file(path), golden), "");
}

TEST(MeshWriterGolden, ComparisonCatchesOneFlippedByte) {
    const std::string golden = read_file(std::string(LWSMD_TEST_DATA) + "/meshwriter/skin_mat_quad.smd");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(first_difference(golden, golden), "");
    std::string flipped = golden;
    const std::size_t at = flipped.find("-0.800000");
    ASSERT_NE(at, std::string::npos);
    flipped[at + 3] = '9';  // -0.900000 in the first vertex line, line 11
    EXPECT_EQ(first_difference(flipped, golden).rfind("line 11: ", 0), 0u) << first_difference(flipped, golden);
    std::string cut = golden;
    cut.pop_back();  // the last newline
    EXPECT_NE(first_difference(cut, golden), "");
}

TEST(MeshWriter, NamesMaterialsByTheChosenGroupingWithUnderscores) {
    MeshFixture f;
    auto m = f.builder.mesh("/models/names.lwo");
    auto a = m.point(0, 0, 0), b = m.point(1, 0, 0), c = m.point(0, 1, 0);
    m.triangle(a, b, c, "Skin Mat");    // UVs from "my map", textured surface
    m.triangle(c, b, a, "Bare Metal");  // UVs, surface without a texture
    auto d = m.point(5, 5, 5);
    m.triangle(a, b, d, "Skin Mat");    // d has no UV
    m.triangle(c, b, d, "");            // no surface name at all
    for (auto p : {a, b, c}) m.uv("my map", p, 0.5f, 0.5f);
    const int image = f.builder.image("skin tex.png", 4, 4);
    f.builder.surface(m, "Skin Mat").uv_image_layer(image, "my map");
    f.builder.surface(m, "Bare Metal");
    f.collect(m.index());
    f.state.verify_uv = 0;

    const auto materials = [&](int group_by) {
        f.state.group_by = group_by;
        std::vector<std::string> names;
        const auto lines = triangles_of(f.write());
        for (std::size_t i = 0; i < lines.size(); i += 4) names.push_back(lines[i]);
        return names;
    };
    EXPECT_EQ(materials(GROUP_BY_UV_MAP), (std::vector<std::string>{"my_map", "my_map", "Skin_Mat", "default"}));
    EXPECT_EQ(materials(GROUP_BY_SURFACE), (std::vector<std::string>{"Skin_Mat", "Bare_Metal", "Skin_Mat", "default"}));
    // A second save by texture still finds the surfaces whose names have blanks.
    EXPECT_EQ(materials(GROUP_BY_TEXTURE),
              (std::vector<std::string>{"skin_tex.png", "Bare_Metal", "skin_tex.png", "default"}));
    EXPECT_EQ(std::string(f.state.geometry.polygons[0].surface->text), "Skin Mat");
    EXPECT_STREQ(export_polygon_material(f.state.group_by, f.state.geometry.polygons[0]), "skin tex.png");
}

// A quote or a control character in a name would split the material line
// or add a stray line to the triangles: written as '_', like a blank.
TEST(MeshWriter, MaterialNamesStayOneTokenOnOneLine) {
    MeshFixture f;
    auto m = f.builder.mesh("/models/hostile.lwo");
    auto a = m.point(0, 0, 0), b = m.point(1, 0, 0), c = m.point(0, 1, 0);
    m.triangle(a, b, c, "Sk\"in\r\nx");
    for (auto p : {a, b, c}) m.uv("uv\nmap\t1", p, 0.5f, 0.5f);
    const int image = f.builder.image("tex\x01ture\x7f\xc3\xa9.png", 4, 4);
    f.builder.surface(m, "Sk\"in\r\nx").uv_image_layer(image, "uv\nmap\t1");
    f.collect(m.index());

    const struct {
        int group_by;
        const char* material;
    } groupings[] = {{GROUP_BY_UV_MAP, "uv_map_1"}, {GROUP_BY_SURFACE, "Sk_in__x"},
                     {GROUP_BY_TEXTURE, "tex_ture_\xc3\xa9.png"}};
    for (const auto& grouping : groupings) {
        f.state.group_by = grouping.group_by;
        const auto lines = triangles_of(f.write());
        ASSERT_EQ(lines.size(), 4u) << grouping.material;
        EXPECT_EQ(lines[0], grouping.material);
    }
}

TEST(MeshWriter, WritesChosenPolygonsWithTheirCornersScaledAndSwapped) {
    MeshFixture f;
    auto m = f.builder.mesh("/models/pick.lwo");
    auto a = m.point(1, 2, 3), b = m.point(4, 2, 3), c = m.point(1, 2, 7);
    // normal (b - a) x (c - a) = (3, 0, 0) x (0, 0, 4) = (0, -12, 0): (0, 0, -1) in the file
    m.triangle(a, b, c, "S");
    m.uv("UV", a, 0.25f, 0.5f);  // a partial cover: one corner only
    m.polygon({a, b}, "S");      // never written
    m.layer(1);
    auto d = m.point(0, 0, 0), e = m.point(1, 0, 0), g = m.point(0, 0, 1);
    m.triangle(d, e, g, "S");
    m.uv("UV", d, 0, 0).uv("UV", e, 1, 0).uv("UV", g, 0, 1);
    f.host.scene.foreground_layers = 0b10;
    f.collect(m.index());

    {  // with UVs verified, only the covered triangle; corners 2, 1, 0
        const auto lines = triangles_of(f.write());
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[1], "0 0.000000 40.000000 0.000000 0.000000 0.000000 -1.000000 0.000000 1.000000 ");
        EXPECT_EQ(lines[2], "0 40.000000 0.000000 0.000000 0.000000 0.000000 -1.000000 1.000000 0.000000 ");
        EXPECT_EQ(lines[3], "0 0.000000 0.000000 0.000000 0.000000 0.000000 -1.000000 0.000000 0.000000 ");
    }
    {  // not verified: the partly covered triangle too, with the value its first corner got
        f.state.verify_uv = 0;
        f.state.scale = 1.0f;
        const auto lines = triangles_of(f.write());
        ASSERT_EQ(lines.size(), 8u);
        EXPECT_EQ(lines[1], "0 1.000000 7.000000 2.000000 0.000000 0.000000 -1.000000 0.000000 0.000000 ");
        EXPECT_EQ(lines[2], "0 4.000000 3.000000 2.000000 0.000000 0.000000 -1.000000 0.000000 0.000000 ");
        EXPECT_EQ(lines[3], "0 1.000000 3.000000 2.000000 0.000000 0.000000 -1.000000 0.250000 0.500000 ");
    }
    {  // a scale changes positions only
        f.state.scale = 2.5f;
        const auto lines = triangles_of(f.write());
        EXPECT_EQ(lines[3], "0 2.500000 7.500000 5.000000 0.000000 0.000000 -1.000000 0.250000 0.500000 ");
    }
    {  // a layer left out is not written
        f.state.export_layers = MESH_LAYERS_FOREGROUND;
        mesh_mark_layers(f.state);
        EXPECT_EQ(triangles_of(f.write()).size(), 4u);
    }
    {  // no "Scene Objects 4": nothing at all is written
        f.host.withhold(LWOBJECTFUNCS_GLOBAL);
        int rc = 0;
        EXPECT_EQ(f.write(&rc), "");
        EXPECT_EQ(rc, EXPORT_NO_SERVICE);
    }
}

// The writer reuses the text of a recent vertex line for a corner with the
// same point, normal and UVs; every reused line must be the one composing
// would give. A smoothed grid with UV seams and a flat band shares points
// between corners that agree and corners that do not.
TEST(MeshWriter, ReusedVertexLinesEqualFreshlyComposedOnes) {
    MeshFixture f;
    auto m = f.builder.mesh("/models/grid.lwo");
    constexpr int N = 24;
    std::vector<std::uint32_t> id;
    for (int r = 0; r <= N; ++r) {
        for (int c = 0; c <= N; ++c) {
            id.push_back(m.point(c, std::sin(c * 0.7) * std::cos(r * 0.4), r));
            m.uv("UVMap", id.back(), float(c) / N, float(r) / N);
        }
    }
    for (int r = 0; r < N; ++r) {
        for (int c = 0; c < N; ++c) {
            const auto at = [&](int rr, int cc) { return id[std::size_t(rr * (N + 1) + cc)]; };
            const char* surface = r % 3 == 0 ? "Flat" : "Smooth";
            if (c % 4 == 0) {
                const auto quad = m.quad(at(r, c), at(r + 1, c), at(r + 1, c + 1), at(r, c + 1), surface);
                m.uv_for_polygon("UVMap", quad, at(r, c), 0.5f, 0.5f);
            } else {
                m.triangle(at(r, c), at(r + 1, c), at(r + 1, c + 1), surface);
                m.triangle(at(r, c), at(r + 1, c + 1), at(r, c + 1), surface);
            }
        }
    }
    f.builder.surface(m, "Smooth").smoothing_degrees(40);
    f.builder.surface(m, "Flat");
    f.collect(m.index());
    f.state.scale = 3.0f;

    std::string fresh;
    for (const ExportPolygon& polygon : f.state.geometry.polygons) {
        std::FILE* stream = std::tmpfile();
        ASSERT_NE(stream, nullptr);
        ASSERT_EQ(mesh_write_triangle(stream, f.state, polygon, 2, 1, 0), 0);
        if (polygon.size == 4) {
            ASSERT_EQ(mesh_write_triangle(stream, f.state, polygon, 0, 3, 2), 0);
        }
        std::rewind(stream);
        char buffer[4096];
        std::size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0) fresh.append(buffer, got);
        std::fclose(stream);
    }
    std::string written;
    for (const std::string& line : triangles_of(f.write())) {
        if (line.rfind("0 ", 0) == 0) written += line + "\n";
    }
    EXPECT_EQ(written.size(), fresh.size());
    EXPECT_EQ(first_difference(written, fresh), "");
}


std::vector<std::string> files_in(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(MeshWriter, NeverLeavesAHalfWrittenFileInPlaceOfAGoodOne) {
    MeshFixture f;
    auto m = f.builder.mesh("/models/many.lwo");
    for (int i = 0; i < 40; ++i) m.triangle(m.point(i, 0, 0), m.point(i, 1, 0), m.point(i, 0, 1));
    f.collect(m.index());
    f.state.verify_uv = 0;
    const std::string whole = f.write();
    ASSERT_GT(whole.size(), 8000u);
    TempDir dir;
    const std::string target = dir.file("out.smd");
    const auto put = [](const std::string& path, const char* text) {
        std::FILE* file = std::fopen(path.c_str(), "w");
        std::fputs(text, file);
        std::fclose(file);
    };

    {  // the stream refuses writes (a full device)
        std::FILE* full = std::fopen("/dev/full", "w");
        ASSERT_NE(full, nullptr);
        EXPECT_EQ(mesh_write_smd(f.state, full), EXPORT_WRITE_FAILED);
        std::fclose(full);
    }
    {  // the file grows past what may be written: the old file stays, no temporary is left
        put(target, "good\n");
        int rc = 0;
        {
            test_support::FileSizeLimit limit(4096);
            ASSERT_TRUE(limit.active());
            rc = mesh_write_file(f.state, target.c_str());
        }
        EXPECT_NE(rc, 0);
        EXPECT_NE(rc, EXPORT_FILE_NOT_OPENED);
        EXPECT_EQ(read_file(target), "good\n");
        EXPECT_EQ(files_in(dir.folder()), std::vector<std::string>{"out.smd"});
    }
    {  // success replaces the old file whole, also when a stale temporary is in the way
        put(target + ".tmp", "stale");
        EXPECT_EQ(mesh_write_file(f.state, target.c_str()), 0);
        EXPECT_EQ(read_file(target), whole);
        EXPECT_EQ(read_file(target + ".tmp"), "stale");
        EXPECT_EQ(files_in(dir.folder()), (std::vector<std::string>{"out.smd", "out.smd.tmp"}));
    }
    {  // a folder that is not there, or a folder as the target: nothing can be opened
        EXPECT_EQ(mesh_write_file(f.state, dir.file("missing/out.smd").c_str()), EXPORT_FILE_NOT_OPENED);
        EXPECT_EQ(mesh_write_file(f.state, dir.folder().c_str()), EXPORT_FILE_NOT_OPENED);
        EXPECT_TRUE(std::filesystem::is_directory(dir.folder()));
    }
    {  // a device is written directly, never renamed over
        EXPECT_EQ(mesh_write_file(f.state, "/dev/null"), 0);
        EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
    }
    if (::geteuid() != 0) {  // a read-only file is refused, as opening it would be (root may write anyway)
        const std::string locked = dir.file("locked.smd");
        put(locked, "locked\n");
        std::filesystem::permissions(locked, std::filesystem::perms::owner_read);
        EXPECT_EQ(mesh_write_file(f.state, locked.c_str()), EXPORT_FILE_NOT_OPENED);
        EXPECT_EQ(read_file(locked), "locked\n");
        std::filesystem::remove(locked);
    }
    {  // the writer fails (no "Scene Objects 4"): the old file stays
        f.host.withhold(LWOBJECTFUNCS_GLOBAL);
        EXPECT_EQ(mesh_write_file(f.state, target.c_str()), EXPORT_NO_SERVICE);
        EXPECT_EQ(read_file(target), whole);
        EXPECT_EQ(files_in(dir.folder()), (std::vector<std::string>{"out.smd", "out.smd.tmp"}));
    }
}

}  // namespace
