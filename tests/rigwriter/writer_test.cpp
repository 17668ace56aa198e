// The reference SMD writer over collected host scenes: whole files, node
// numbering with and without null bones, bone lines, triangle corner order,
// vertex links, scale, and failures.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <string>
#include <vector>

#include "ref_fixture.h"
#include "smd_format.h"

namespace {

using lwhost::ItemId;
using lwhost::MeshBuilder;
using reftest::lines_of;
using reftest::RefFixture;
using reftest::section;

TEST(RefWriter, ObjectWithoutBonesIsWrittenUnderTheRootNode) {
    RefFixture f;
    MeshBuilder mesh = f.builder.mesh("C:/models/plain.lwo");
    const std::uint32_t p0 = mesh.point(0, 0, 0), p1 = mesh.point(1, 0, 0), p2 = mesh.point(0, 0, 1);
    mesh.uv("UV Map", p0, 0.0f, 0.0f).uv("UV Map", p1, 1.0f, 0.0f).uv("UV Map", p2, 0.25f, 0.75f);
    mesh.triangle(p0, p1, p2, "Skin Mat");
    f.builder.surface(mesh, "Skin Mat");
    ASSERT_NO_FATAL_FAILURE(f.collect(f.builder.object("plain", mesh)));

    // Face normal (1,0,0) x (0,0,1) = (0,-1,0): in the file (0,0,-1).
    EXPECT_EQ(f.write(),
              "version 1\n"
              "nodes\n"
              "0 \"root\" -1\n"
              "end\n"
              "skeleton\n"
              "time 0\n"
              "0 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000\n"
              "end\n"
              "triangles\n"
              "UV_Map\n"
              "0 0.000000 40.000000 0.000000 0.000000 0.000000 -1.000000 0.250000 0.750000 \n"
              "0 40.000000 0.000000 0.000000 0.000000 0.000000 -1.000000 1.000000 0.000000 \n"
              "0 0.000000 0.000000 0.000000 0.000000 0.000000 -1.000000 0.000000 0.000000 \n"
              "end\n");

    // Scale 1.0 changes positions only; grouping by surface changes the
    // material line only.
    f.state.scale = 1.0f;
    f.state.group_by = GROUP_BY_SURFACE;
    EXPECT_EQ(section(f.write(), "triangles"),
              (std::vector<std::string>{
                  "Skin_Mat",
                  "0 0.000000 1.000000 0.000000 0.000000 0.000000 -1.000000 0.250000 0.750000 ",
                  "0 1.000000 0.000000 0.000000 0.000000 0.000000 -1.000000 1.000000 0.000000 ",
                  "0 0.000000 0.000000 0.000000 0.000000 0.000000 -1.000000 0.000000 0.000000 ",
              }));
}

TEST(RefWriter, QuadsSplitIntoCbaAndAdcAndUncoveredPolygonsFollowVerifyUv) {
    RefFixture f;
    MeshBuilder mesh = f.builder.mesh("C:/models/quad.lwo");
    const std::uint32_t a = mesh.point(0, 0, 0), b = mesh.point(1, 0, 0), c = mesh.point(1, 0, 1),
                        d = mesh.point(0, 0, 1), e = mesh.point(2, 0, 0);
    for (std::uint32_t p : {a, b, c, d}) mesh.uv("UVMap", p, 0.5f, 0.5f);
    mesh.quad(a, b, c, d, "Skin");
    mesh.triangle(b, e, c, "Skin");  // e has no UV
    f.builder.surface(mesh, "Skin");
    ASSERT_NO_FATAL_FAILURE(f.collect(f.builder.object("quad", mesh)));

    const std::string position_a = "0 0.000000 0.000000 0.000000 ";
    const std::string position_b = "0 40.000000 0.000000 0.000000 ";
    const std::string position_c = "0 40.000000 40.000000 0.000000 ";
    const std::string position_d = "0 0.000000 40.000000 0.000000 ";
    const std::string position_e = "0 80.000000 0.000000 0.000000 ";
    std::vector<std::string> lines = section(f.write(), "triangles");
    ASSERT_EQ(lines.size(), 8u);
    const std::vector<std::string> expected_quad = {"UVMap",    position_c, position_b, position_a,
                                                    "UVMap",    position_a, position_d, position_c};
    for (std::size_t i = 0; i < expected_quad.size(); ++i) {
        EXPECT_EQ(lines[i].rfind(expected_quad[i], 0), 0u) << "line " << i << ": " << lines[i];
    }

    // With verify_uv off the uncovered triangle follows, with the zero UVs
    // its corners hold, under its surface name.
    f.state.verify_uv = 0;
    lines = section(f.write(), "triangles");
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[8], "Skin");
    EXPECT_EQ(lines[9], "0 40.000000 40.000000 0.000000 0.000000 0.000000 -1.000000 0.000000 0.000000 ");
    EXPECT_EQ(lines[10].rfind(position_e, 0), 0u) << lines[10];
    EXPECT_EQ(lines[11].rfind(position_b, 0), 0u) << lines[11];
}

TEST(RefWriter, CornersOfOnePointKeepTheirOwnNormalsAndUvs) {
    RefFixture f;
    MeshBuilder mesh = f.builder.mesh("C:/models/fold.lwo");
    // Two flat-shaded faces folded by 90 degrees on the edge s0-s1, and a
    // per-polygon UV at s0 for the second face only.
    const std::uint32_t s0 = mesh.point(0, 0, 0), s1 = mesh.point(1, 0, 0), a = mesh.point(0.5, 0, 1),
                        b = mesh.point(0.5, -1, 0);
    for (std::uint32_t p : {s0, s1, a, b}) mesh.uv("UVMap", p, 0.5f, 0.5f);
    mesh.triangle(s0, s1, a, "Skin");
    const std::uint32_t second = mesh.triangle(s1, s0, b, "Skin");
    mesh.uv_for_polygon("UVMap", second, s0, 0.125f, 0.25f);
    f.builder.surface(mesh, "Skin");
    ASSERT_NO_FATAL_FAILURE(f.collect(f.builder.object("fold", mesh)));
    f.state.scale = 1.0f;

    // First face normal (0,-1,0) -> file (0,0,-1); second (0,0,1) -> (0,1,0).
    EXPECT_EQ(section(f.write(), "triangles"),
              (std::vector<std::string>{
                  "UVMap",
                  "0 0.500000 1.000000 0.000000 0.000000 0.000000 -1.000000 0.500000 0.500000 ",
                  "0 1.000000 0.000000 0.000000 0.000000 0.000000 -1.000000 0.500000 0.500000 ",
                  "0 0.000000 0.000000 0.000000 0.000000 0.000000 -1.000000 0.500000 0.500000 ",
                  "UVMap",
                  "0 0.500000 0.000000 -1.000000 0.000000 1.000000 0.000000 0.500000 0.500000 ",
                  "0 0.000000 0.000000 0.000000 0.000000 1.000000 0.000000 0.125000 0.250000 ",
                  "0 1.000000 0.000000 0.000000 0.000000 1.000000 0.000000 0.500000 0.500000 ",
              }));
}

// Names come from the user: a quote or a control character in one must not
// end a node's quoted name, split a line or add a stray line to the
// triangles. Each is written as '_'; a name without them keeps its bytes.
TEST(RefWriter, NamesCannotBreakTheFilesLines) {
    RefFixture f;
    MeshBuilder mesh = f.builder.mesh("C:/models/names.lwo");
    const std::uint32_t p0 = mesh.point(0, 0, 0), p1 = mesh.point(1, 0, 0), p2 = mesh.point(0, 0, 1);
    const std::string uv_map = "uv\nmap";
    mesh.uv(uv_map, p0, 0.0f, 0.0f).uv(uv_map, p1, 1.0f, 0.0f).uv(uv_map, p2, 0.0f, 1.0f);
    mesh.weight("w", p0, 1.0f);
    const std::string surface = "Sk\"in\tone\r";
    mesh.triangle(p0, p1, p2, surface);
    const int image = f.builder.image("tex\x01" "ture\x7f" "\xc3\xa9", 4, 4);
    f.builder.surface(mesh, surface).uv_image_layer(image, uv_map);
    const ItemId object = f.builder.object("names", mesh);
    const ItemId hostile = f.builder.bone(object, "bo\"ne\nx").weight_map("w");
    f.builder.bone(object, "two words\xc3\xa9", hostile);
    ASSERT_NO_FATAL_FAILURE(f.collect(object));

    const std::string text = f.write();
    EXPECT_EQ(section(text, "nodes"), (std::vector<std::string>{
                                          "0\t \"bo_ne_x\"\t -1",
                                          "1\t \"two words\xc3\xa9\"\t 0\t // null bone",
                                      }));
    EXPECT_EQ(section(text, "skeleton").size(), 3u);  // "time 0" and two bones
    const struct {
        int group_by;
        const char* material;
    } groupings[] = {{GROUP_BY_UV_MAP, "uv_map"}, {GROUP_BY_SURFACE, "Sk_in_one_"},
                     {GROUP_BY_TEXTURE, "tex_ture_\xc3\xa9"}};
    for (const auto& grouping : groupings) {
        f.state.group_by = grouping.group_by;
        const std::vector<std::string> triangles = section(f.write(), "triangles");
        ASSERT_EQ(triangles.size(), 4u) << grouping.material;
        EXPECT_EQ(triangles[0], grouping.material);
    }
}

TEST(RefWriter, LongNamesAndLargeFilesAreWrittenWhole) {
    RefFixture f;
    MeshBuilder mesh = f.builder.mesh("C:/models/long.lwo");
    // A grid big enough for several output blocks, smoothly shaded so that
    // corners of one point repeat their lines.
    constexpr int N = 40;
    std::uint32_t grid[N + 1][N + 1];
    for (int y = 0; y <= N; ++y) {
        for (int x = 0; x <= N; ++x) {
            grid[y][x] = mesh.point(x, 0.05 * ((x * 7 + y * 3) % 5), y);
            mesh.uv("UVMap", grid[y][x], float(x) / N, float(y) / N);
        }
    }
    const std::string surface(9000, 'S');
    const std::string long_name = "a " + surface;  // longer than any line buffer
    for (int y = 0; y < N; ++y) {
        for (int x = 0; x < N; ++x) {
            mesh.quad(grid[y][x], grid[y][x + 1], grid[y + 1][x + 1], grid[y + 1][x], y == 0 && x == 0 ? long_name : "Skin");
        }
    }
    f.builder.surface(mesh, long_name);
    f.builder.surface(mesh, "Skin").smoothing_degrees(60);
    const ItemId object = f.builder.object("long", mesh);
    f.builder.bone(object, std::string(8000, 'B')).weight_map("w");
    ASSERT_NO_FATAL_FAILURE(f.collect(object));
    f.state.group_by = GROUP_BY_SURFACE;

    const std::string text = f.write();
    EXPECT_GT(text.size(), 600000u);
    const std::vector<std::string> nodes = section(text, "nodes");
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0], "0\t \"" + std::string(8000, 'B') + "\"\t -1");
    const std::vector<std::string> triangles = section(text, "triangles");
    ASSERT_EQ(triangles.size(), std::size_t(N * N * 2 * 4));
    EXPECT_EQ(triangles[0], "a_" + surface);
    EXPECT_EQ(triangles[4], "a_" + surface);
    EXPECT_EQ(triangles[8], "Skin");

    // Every triangle's lines agree with writing that triangle on its own.
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    for (const ExportPolygon& polygon : f.state.geometry.polygons) {
        ASSERT_EQ(ref_write_triangle(stream, f.state, polygon, 2, 1, 0), 0);
        ASSERT_EQ(ref_write_triangle(stream, f.state, polygon, 0, 3, 2), 0);
    }
    std::rewind(stream);
    std::string single;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0) single.append(buffer, got);
    std::fclose(stream);
    const std::vector<std::string> vertices = lines_of(single);
    ASSERT_EQ(vertices.size(), std::size_t(N * N * 6));
    for (std::size_t i = 0, line = 0; i < vertices.size(); ++i) {
        if (i % 3 == 0) ++line;  // the material line
        ASSERT_EQ(triangles[line++], vertices[i]) << "vertex line " << i;
    }
}

// A skeleton of two trees: "root bone" -> "null one" (no weight map) ->
// "tip", and "other" turned by a heading of 0.5. Point weights: p0 wholly
// "root", p1 "tip" 0.6 and "other" 0.2, p2 "other" 0, p3 none.
struct Rig {
    RefFixture f;
    MeshBuilder mesh{f.builder.mesh("C:/models/rig.lwo")};
    Rig() {
        const std::uint32_t p0 = mesh.point(0, 0, 0), p1 = mesh.point(1, 0, 0), p2 = mesh.point(0, 0, 1),
                            p3 = mesh.point(-1, 0, 0);
        mesh.weight("root", p0, 1.0f).weight("tip", p1, 0.6f).weight("other", p1, 0.2f).weight("other", p2, 0.0f);
        mesh.triangle(p0, p1, p2, "Skin");
        mesh.triangle(p0, p2, p3, "Skin");
        f.builder.surface(mesh, "Skin");
        const ItemId object = f.builder.object("rig", mesh);
        const ItemId root = f.builder.bone(object, "root bone").rest({0.5, 0.25, 1}, {0, 0, 0}).weight_map("root");
        const ItemId null_bone = f.builder.bone(object, "null one", root).rest({0, 0, 1}, {0, 0, 0});
        f.builder.bone(object, "tip", null_bone).rest({0, 1, 0}, {0, 0, 0}).weight_map("tip");
        f.builder.bone(object, "other").rest({-1, 0, 0}, {0.5, 0, 0}).weight_map("other");
        f.collect(object);
        f.state.verify_uv = 0;  // no UV map in this scene
    }
};

TEST(RefWriter, NodesLeaveGapsWithoutNullBonesWhileTheSkeletonListsEveryBone) {
    Rig rig;
    ASSERT_EQ(rig.f.state.bone_count, 4);
    std::string text = rig.f.write();
    EXPECT_EQ(section(text, "nodes"), (std::vector<std::string>{
                                          "0\t \"root bone\"\t -1",
                                          "1\t \"null one\"\t 0\t // null bone",
                                          "2\t \"tip\"\t 1",
                                          "3\t \"other\"\t -1",
                                      }));

    rig.f.state.include_null_bones = 0;
    text = rig.f.write();
    EXPECT_EQ(section(text, "nodes"), (std::vector<std::string>{
                                          "0\t \"root bone\"\t -1",
                                          "2\t \"tip\"\t 1",
                                          "3\t \"other\"\t -1",
                                      }));

    // Bone lines: node, two blanks, position (x, z, y) x 40, two blanks,
    // rotation. Root bones are placed in the world, others in their parent.
    const std::vector<std::string> skeleton = section(text, "skeleton");
    ASSERT_EQ(skeleton.size(), 5u);
    EXPECT_EQ(skeleton[0], "time 0");
    const char* prefixes[4] = {"0  20.000000 40.000000 10.000000  ", "1  0.000000 40.000000 0.000000  ",
                               "2  0.000000 0.000000 40.000000  ", "3  -40.000000 0.000000 0.000000  "};
    const double rz[4] = {0.0, 0.0, 0.0, -0.5};  // a pure heading h is (0, 0, -h)
    for (int i = 0; i < 4; ++i) {
        const std::string& line = skeleton[static_cast<std::size_t>(i) + 1];
        ASSERT_EQ(line.rfind(prefixes[i], 0), 0u) << line;
        double rotation[3];
        ASSERT_EQ(std::sscanf(line.c_str() + std::string(prefixes[i]).size(), "%lf %lf %lf", &rotation[0],
                              &rotation[1], &rotation[2]),
                  3)
            << line;
        EXPECT_NEAR(rotation[0], 0.0, 1e-6) << line;
        EXPECT_NEAR(rotation[1], 0.0, 1e-6) << line;
        EXPECT_NEAR(rotation[2], rz[i], 1e-6) << line;
    }
}

TEST(RefWriter, VertexLinesNameTheLeadingBoneAndLinkPositiveWeights) {
    Rig rig;
    EXPECT_EQ(section(rig.f.write(), "triangles"),
              (std::vector<std::string>{
                  "Skin",
                  // value 0 only: the map's bone is the parent, no link
                  "3 0.000000 40.000000 0.000000 0.000000 0.000000 -1.000000 0.000000 0.000000 ",
                  // 0.6 and 0.2 become 0.75 and 0.25
                  "2 40.000000 0.000000 0.000000 0.000000 0.000000 -1.000000 0.000000 0.000000  2 2 0.750000 3 "
                  "0.250000 ",
                  "0 0.000000 0.000000 0.000000 0.000000 0.000000 -1.000000 0.000000 0.000000  1 0 1.000000 ",
                  "Skin",
                  // no weights: node 0 and no link list
                  "0 -40.000000 0.000000 0.000000 0.000000 0.000000 -1.000000 0.000000 0.000000 ",
                  "3 0.000000 40.000000 0.000000 0.000000 0.000000 -1.000000 0.000000 0.000000 ",
                  "0 0.000000 0.000000 0.000000 0.000000 0.000000 -1.000000 0.000000 0.000000  1 0 1.000000 ",
              }));
}

TEST(RefWriter, FailuresAreReported) {
    Rig rig;
    {
        // "Scene Objects 4" gone: code 5 and nothing written.
        rig.f.host.withhold("Scene Objects 4");
        int rc = 0;
        EXPECT_EQ(rig.f.write(&rc), "");
        EXPECT_EQ(rc, EXPORT_NO_SERVICE);
        rig.f.host.serve("Scene Objects 4");
    }
    {
        // A stream that takes no writes.
        char path[] = "/tmp/rigcollect_writer_XXXXXX";
        const int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        close(fd);
        std::FILE* stream = std::fopen(path, "r");
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(ref_write_smd(rig.f.state, stream), EXPORT_WRITE_FAILED);
        std::fclose(stream);
        std::remove(path);
    }
    {
        // A device that is always full, unbuffered so that the failure
        // shows at the writer's own write rather than at the caller's flush.
        std::FILE* stream = std::fopen("/dev/full", "w");
        if (stream != nullptr) {
            std::setvbuf(stream, nullptr, _IONBF, 0);
            EXPECT_EQ(ref_write_smd(rig.f.state, stream), EXPORT_WRITE_FAILED);
            EXPECT_EQ(ref_write_nodes(stream, rig.f.state), EXPORT_WRITE_FAILED);
            std::fclose(stream);
        }
    }
    {
        // Writing twice gives the same file.
        EXPECT_EQ(rig.f.write(), rig.f.write());
    }
}

}  // namespace
