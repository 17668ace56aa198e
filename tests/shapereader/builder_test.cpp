// The mesh importer's builder, run in-process through mesh_import_run over a
// host: point sharing and per-corner UVs, the position text and its groups,
// scaled and axis-swapped positions, weights, polygons, surfaces.
#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "import_fixture.h"

namespace {

using importtest::Importer;
using importtest::kScale;
using importtest::smd_file;

// A vertex line of parent 0 without links, in the C locale.
std::string vertex(double x, double y, double z, double nx, double ny, double nz, double u, double v,
                   const std::string& links = "") {
    char line[256];
    std::snprintf(line, sizeof line, "0 %.6f %.6f %.6f %.6f %.6f %.6f %.6f %.6f", x, y, z, nx, ny, nz, u, v);
    return std::string(line) + links + "\n";
}
std::string vertex(double x, double y, double z, double u = 0, double v = 0) { return vertex(x, y, z, 0, 0, 1, u, v); }

// printf of one integer (g++ 12 warns falsely about "text" + std::to_string(n)).
std::string text_of(const char* format, int n) {
    char text[64];
    std::snprintf(text, sizeof text, format, n);
    return text;
}

TEST(MeshBuilder, EqualVerticesShareOnePoint) {
    {  // two triangles on one edge, equal position, normal and UV: 4 points, no per-corner UV
        Importer x;
        const std::string text = "skin\n" + vertex(0, 0, 0) + vertex(1, 0, 0, 1, 0) + vertex(0, 1, 0, 0, 1) +
                                 "skin\n" + vertex(1, 0, 0, 1, 0) + vertex(1, 1, 0, 1, 1) + vertex(0, 1, 0, 0, 1);
        ASSERT_EQ(x.import(smd_file(text)), MESH_IMPORT_OK);
        EXPECT_EQ(x.point_count(), 4u);
        ASSERT_EQ(x.polygon_count(), 2u);
        EXPECT_EQ(x.faces()[1].points, (std::vector<std::uint32_t>{2, 3, 1}));
        EXPECT_EQ(x.corner_uv_count(), 0u);
        EXPECT_EQ(x.state.groups_used, 4);
    }
    {  // the shared vertex with another UV: no new point, a per-corner UV on the second polygon only
        Importer x;
        const std::string text = "skin\n" + vertex(0, 0, 0) + vertex(1, 0, 0, 1, 0) + vertex(0, 1, 0, 0, 1) +
                                 "skin\n" + vertex(1, 0, 0, 0.5, 0.25) + vertex(1, 1, 0, 1, 1) +
                                 vertex(0, 1, 0, 0, 1);
        ASSERT_EQ(x.import(smd_file(text)), MESH_IMPORT_OK);
        EXPECT_EQ(x.point_count(), 4u);
        EXPECT_EQ(x.uv("skin", 1), (std::vector<float>{1.0f, 0.0f})) << "the point keeps its first UV";
        EXPECT_EQ(x.corner_uv("skin", 1, 1), (std::vector<float>{0.5f, 0.25f}));
        EXPECT_TRUE(x.corner_uv("skin", 0, 1).empty());
        EXPECT_EQ(x.corner_uv_count(), 1u);
    }
    {  // equal positions with different normals: separate points
        Importer x;
        const std::string text = "skin\n" + vertex(0, 0, 0) + vertex(1, 0, 0) + vertex(0, 1, 0) + "skin\n" +
                                 vertex(0, 0, 0, 0, 1, 0, 0, 0) + vertex(1, 0, 0, 0, 0, 1, 0, 0) +
                                 vertex(0, 1, 0, 1, 0, 0, 0, 0);
        ASSERT_EQ(x.import(smd_file(text)), MESH_IMPORT_OK);
        EXPECT_EQ(x.point_count(), 5u);
        EXPECT_EQ(x.faces()[1].points, (std::vector<std::uint32_t>{4, 1, 3}));
        EXPECT_EQ(x.state.groups_used, 3) << "one group per position text";
    }
    {  // positions that print alike but differ as floats: one group, separate points;
       // -0 and 0 are equal floats but print differently: separate groups and points
        Importer x;
        const std::string text =
            "skin\n0 1.0000001 0 0 0 0 1 0 0\n0 1.0 0 0 0 0 1 0 0\n0 1.00000005 0 0 0 0 1 0 0\n"
            "skin\n0 -0.0 5 0 0 0 1 0 0\n0 0.0 5 0 0 0 1 0 0\n0 0 6 0 0 0 1 0 0\n";
        ASSERT_EQ(1.0000001f != 1.0f && 1.00000005f == 1.0f, true) << "float rounding assumed by this case";
        ASSERT_EQ(x.import(smd_file(text)), MESH_IMPORT_OK);
        EXPECT_EQ(x.point_count(), 5u);
        EXPECT_EQ(x.faces()[0].points, (std::vector<std::uint32_t>{1, 1, 0}));
        EXPECT_EQ(x.state.groups_used, 4);
        EXPECT_EQ(x.faces()[1].points, (std::vector<std::uint32_t>{4, 3, 2}));
    }
    {  // a corner UV of exactly -1 is a UV like any other
        Importer x;
        const std::string text = "skin\n" + vertex(0, 0, 0, 0.5, 0.5) + vertex(1, 0, 0, 0.5, 0.5) +
                                 vertex(2, 0, 0, 0.5, 0.5) + "skin\n" + vertex(0, 0, 0, -1, 0.25) +
                                 vertex(1, 0, 0, 0.25, -1) + vertex(2, 0, 0, -1, -1);
        ASSERT_EQ(x.import(smd_file(text)), MESH_IMPORT_OK);
        EXPECT_EQ(x.point_count(), 3u);
        EXPECT_EQ(x.corner_uv_count(), 3u);
        EXPECT_EQ(x.corner_uv("skin", 1, 0), (std::vector<float>{-1.0f, 0.25f}));
        EXPECT_EQ(x.corner_uv("skin", 1, 1), (std::vector<float>{0.25f, -1.0f}));
        EXPECT_EQ(x.corner_uv("skin", 1, 2), (std::vector<float>{-1.0f, -1.0f}));
    }
}

TEST(MeshBuilder, PositionGroupHoldsAtMost128Vertices) {
    // 129 vertices at one position with different normals, then copies of
    // the 129th (not recorded: a point of its own), the 128th and the first
    // (both shared).
    std::vector<std::string> lines;
    const auto normal_line = [](int i) { return vertex(3, 4, 5, 0, 0, i + 1, 0, 0); };
    for (int i = 0; i < 129; ++i) lines.push_back(normal_line(i));
    lines.push_back(normal_line(128));
    lines.push_back(normal_line(127));
    lines.push_back(normal_line(0));
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) text += (i % 3 == 0 ? "skin\n" : "") + lines[i];
    Importer x;
    ASSERT_EQ(x.import(smd_file(text)), MESH_IMPORT_OK);
    EXPECT_EQ(x.point_count(), 130u);
    EXPECT_EQ(x.state.groups_used, 1);
    ASSERT_EQ(x.polygon_count(), 44u);
    // Lines 130, 131, 132 (reading order) are corners 2, 1, 0 of the last face.
    EXPECT_EQ(x.faces()[43].points, (std::vector<std::uint32_t>{0, 127, 129}));
}

// "%.6f" of a float, in the C locale: what decides whether two positions
// fall in one group.
std::string printed(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", double(value));
    return text;
}

bool same_key(float a, float b) {
    const float pa[3] = {a, 0.0f, 0.0f}, pb[3] = {b, 0.0f, 0.0f};
    return mesh_position_key(pa) == mesh_position_key(pb);
}

TEST(MeshBuilder, PositionKeysAreEqualExactlyWhenTheSixDecimalTextsAre) {
    std::setlocale(LC_NUMERIC, "C");
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const float specials[] = {0.0f,    -0.0f,    1e-7f,   -1e-7f,     5e-7f,  -5e-7f, 4.9999997e-7f, 1.5e-6f,
                              2.5e-6f, 0.5f,     1.0f,    1.0000001f, 1e10f,  -1e10f, FLT_MAX,       -FLT_MAX,
                              FLT_MIN, -FLT_MIN, 1e-45f,  -1e-45f,    inf,    -inf,   nan,           -nan,
                              16777216.0f, 16777217.0f, 0.0000015f, 0.0000025f};
    for (float a : specials)
        for (float b : specials)
            EXPECT_EQ(same_key(a, b), printed(a) == printed(b)) << printed(a) << " / " << printed(b);

    // Around the half-millionth boundaries, where rounding decides, and
    // between neighbouring floats of every magnitude.
    std::uint32_t seed = 12345;
    const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    int equal_pairs = 0;
    for (int i = 0; i < 200000; ++i) {
        float a;
        if (i % 2 == 0) {
            const double boundary = (double(next() % 20000000u) - 1e7 + 0.5) * 1e-6 * double(1u << (next() % 12));
            a = float(boundary);
        } else {
            std::uint32_t bits = next();
            std::memcpy(&a, &bits, sizeof a);
            if (!std::isfinite(a)) continue;
        }
        const float b = std::nextafter(a, (next() & 1) ? inf : -inf);
        const bool alike = printed(a) == printed(b);
        equal_pairs += alike;
        ASSERT_EQ(same_key(a, b), alike) << printed(a) << " / " << printed(b);
    }
    EXPECT_GT(equal_pairs, 1000) << "the pairs must include some that print alike";
}

TEST(MeshBuilder, PointsAreScaledWithTheYAndZAxesExchanged) {
    Importer x;
    ASSERT_EQ(x.import(smd_file("skin\n" + vertex(40, 80, 120) + vertex(-1.5, 0.25, 2) + vertex(0, 0, 1e6))),
              MESH_IMPORT_OK);
    // s is the float nearest 0.025; the product is formed exactly.
    EXPECT_EQ(x.position(0), (std::vector<double>{40 * kScale, 120 * kScale, 80 * kScale}));
    EXPECT_NEAR(x.position(0)[1], 3.0, 1e-6);
    EXPECT_EQ(x.position(1), (std::vector<double>{-1.5 * kScale, 2 * kScale, 0.25 * kScale}));
    EXPECT_EQ(x.position(2), (std::vector<double>{0, 1e6 * kScale, 0}));

    Importer unscaled;
    unscaled.state.scale = 1.0f;
    ASSERT_EQ(unscaled.import(smd_file("skin\n" + vertex(40, 80, 120) + vertex(-1.5, 0.25, 2) + vertex(0, 0, 1e6))),
              MESH_IMPORT_OK);
    EXPECT_EQ(unscaled.position(0), (std::vector<double>{40, 120, 80}));
    EXPECT_EQ(unscaled.position(1), (std::vector<double>{-1.5, 2, 0.25}));
}

TEST(MeshBuilder, WeightsFollowTheLinksOfNewPoints) {
    const std::string nodes =
        "0 \"root\" -1\n1 \"one\" 0\n3 \"three\" 0\n5 \"five\" 0\n7 \"seven\" 0\n";
    const std::string text =
        "skin\n"
        "3 0 0 0 0 0 1 0 0\n"                               // no links: wholly node 3
        "3 1 0 0 0 0 1 0 0 2 5 0.5 7 0.5\n"                 // the links replace the parent
        "3 2 0 0 0 0 1 0 0 2 5 0.25 7\n"                    // the last bone has no weight
        "skin\n"
        "0 3 0 0 0 0 1 0 0 3 300 0.5 -1 0.25 9 0.25\n"      // out of range and never named: none
        "0 4 0 0 0 0 1 0 0 2 0 0 1 1\n"                     // a weight of 0 is written
        "0 5 0 0 0 0 1 0 0 1 1\n"                           // one bone without weight: 1.0
        "skin\n"
        "1 0 0 0 0 0 1 0 0 1 5 0.75\n"                      // point 0's place, other weights: a point of its own
        "0 6 0 0 0 0 1 0 0 1 -1 -1\n"                       // node -1 is out of range: none
        "0 7 0 0 0 0 1 0 0 0\n";                            // a link count of 0: the parent
    Importer x;
    ASSERT_EQ(x.import(smd_file(nodes, text)), MESH_IMPORT_OK);
    EXPECT_EQ(x.point_count(), 9u);
    EXPECT_EQ(x.weight("three", 0), std::vector<float>{1.0f});
    EXPECT_TRUE(x.weight("five", 0).empty()) << "the overlapping vertex with other weights has its own point";
    EXPECT_TRUE(x.weight("three", 1).empty());
    EXPECT_EQ(x.weight("five", 1), std::vector<float>{0.5f});
    EXPECT_EQ(x.weight("seven", 1), std::vector<float>{0.5f});
    EXPECT_EQ(x.weight("five", 2), std::vector<float>{0.25f});
    EXPECT_TRUE(x.weight("seven", 2).empty());
    for (const char* name : {"root", "one", "three", "five", "seven"}) EXPECT_TRUE(x.weight(name, 3).empty()) << name;
    EXPECT_EQ(x.weight("root", 4), std::vector<float>{0.0f});
    EXPECT_EQ(x.weight("one", 4), std::vector<float>{1.0f});
    EXPECT_EQ(x.weight("one", 5), std::vector<float>{1.0f});
    EXPECT_EQ(x.weight("five", 6), std::vector<float>{0.75f});
    EXPECT_TRUE(x.weight("three", 6).empty());
    for (const char* name : {"root", "one", "three", "five", "seven"}) EXPECT_TRUE(x.weight(name, 7).empty()) << name;
    EXPECT_EQ(x.weight("root", 8), std::vector<float>{1.0f});

    {  // fifteen links are read, a sixteenth is not
        std::string names, links = " 16";
        for (int n = 0; n < 16; ++n) {
            names += text_of("%d", n) + text_of(" \"n%d\" -1\n", n);
            links += text_of(" %d", n) + text_of(" 0.%d", n + 10);
        }
        Importer y;
        const std::string line = vertex(0, 0, 0, 0, 0, 1, 0, 0, links);
        ASSERT_EQ(y.import(smd_file(names, "skin\n" + line + vertex(1, 0, 0) + vertex(0, 1, 0))), MESH_IMPORT_OK);
        for (int n = 0; n < 15; ++n)
            EXPECT_EQ(y.weight(text_of("n%d", n), 0), std::vector<float>{float(n + 10) / 100}) << n;
        EXPECT_TRUE(y.weight("n15", 0).empty());
    }
    {  // with the weight maps switched off: none at all, and weights no longer keep
       // overlapping vertices apart; everything else alike
        Importer off;
        off.state.import_weights = 0;
        ASSERT_EQ(off.import(smd_file(nodes, text)), MESH_IMPORT_OK);
        EXPECT_TRUE(off.map_names(lwhost::kWeight).empty());
        EXPECT_EQ(off.point_count(), 8u);
        EXPECT_EQ(off.faces().size(), x.faces().size());
        EXPECT_EQ(off.uv("skin", 1), x.uv("skin", 1));
        EXPECT_EQ(off.host.command_log, x.host.command_log);
    }
}

TEST(MeshBuilder, OverlappingVerticesShareAPointOnlyWhenTheyWriteTheSameWeights) {
    const std::string nodes = "0 \"root\" -1\n1 \"arm\" 0\n";
    // Three triangles at one place: the same position, normal and UV
    // everywhere, only the links differ.
    const auto triangle = [](const std::string& links) {
        return "cloth\n" + vertex(0, 0, 0, 0, 0, 1, 0, 0, links) + vertex(1, 0, 0, 0, 0, 1, 0, 0, links) +
               vertex(0, 1, 0, 0, 0, 1, 0, 0, links);
    };
    {  // two layers bound to different nodes keep their own points and weights
        Importer x;
        ASSERT_EQ(x.import(smd_file(nodes, triangle(" 1 0 1") + triangle(" 1 1 1"))), MESH_IMPORT_OK);
        EXPECT_EQ(x.point_count(), 6u);
        EXPECT_EQ(x.faces()[1].points, (std::vector<std::uint32_t>{5, 4, 3}));
        for (std::uint32_t p = 0; p < 3; ++p) {
            EXPECT_EQ(x.weight("root", p), std::vector<float>{1.0f}) << p;
            EXPECT_TRUE(x.weight("arm", p).empty()) << p;
            EXPECT_EQ(x.weight("arm", p + 3), std::vector<float>{1.0f}) << p;
            EXPECT_TRUE(x.weight("root", p + 3).empty()) << p;
        }
    }
    {  // the same nodes with other weights, or a parent of its own, are other weights too
        Importer x;
        ASSERT_EQ(x.import(smd_file(nodes, triangle(" 2 0 0.5 1 0.5") + triangle(" 2 0 0.25 1 0.75") +
                                               "cloth\n" + vertex(0, 0, 0) + vertex(1, 0, 0) + vertex(0, 1, 0))),
                  MESH_IMPORT_OK);
        EXPECT_EQ(x.point_count(), 9u);
        EXPECT_EQ(x.weight("arm", 4), std::vector<float>{0.75f});
        EXPECT_EQ(x.weight("root", 7), std::vector<float>{1.0f});
    }
    {  // what is written decides: a link that writes nothing does not keep two vertices apart,
       // and equal links share as always
        Importer x;
        ASSERT_EQ(x.import(smd_file(nodes, triangle(" 1 1 1") + triangle(" 2 1 1 300 0.5") + triangle(" 1 1 1"))),
                  MESH_IMPORT_OK);
        EXPECT_EQ(x.point_count(), 3u);
        EXPECT_EQ(x.polygon_count(), 3u);
    }
    {  // without weight maps the links do not matter
        Importer x;
        x.state.import_weights = 0;
        ASSERT_EQ(x.import(smd_file(nodes, triangle(" 1 0 1") + triangle(" 1 1 1"))), MESH_IMPORT_OK);
        EXPECT_EQ(x.point_count(), 3u);
    }
}

TEST(MeshBuilder, AWeightOfMinusOneIsAWeight) {
    // -1 is a value like any other: written as given, never read as "no weight".
    Importer x;
    ASSERT_EQ(x.import(smd_file("0 \"root\" -1\n1 \"arm\" 0\n",
                                "skin\n" + vertex(0, 0, 0, 0, 0, 1, 0, 0, " 1 1 -1") +
                                    vertex(1, 0, 0, 0, 0, 1, 0, 0, " 2 0 -1 1 2") + vertex(0, 1, 0))),
              MESH_IMPORT_OK);
    EXPECT_EQ(x.weight("arm", 0), std::vector<float>{-1.0f});
    EXPECT_TRUE(x.weight("root", 0).empty());
    EXPECT_EQ(x.weight("root", 1), std::vector<float>{-1.0f});
    EXPECT_EQ(x.weight("arm", 1), std::vector<float>{2.0f});
    EXPECT_EQ(x.weight("root", 2), std::vector<float>{1.0f});
}

TEST(MeshBuilder, PolygonsTakeTheCornersInReverseOrderOnTheirMaterial) {
    Importer x;
    const std::string text = "a.bmp\n" + vertex(0, 0, 0) + vertex(1, 0, 0, 1, 0) + vertex(0, 1, 0, 0, 1) +
                             "b.bmp\n" + vertex(5, 0, 0) + vertex(6, 0, 0, 1, 0) + vertex(5, 1, 0, 0, 1) +
                             "a.bmp\n" + vertex(0, 0, 0) + vertex(0, 1, 0, 0, 1) + vertex(0, 0, 1, 0.5, 0.5);
    ASSERT_EQ(x.import(smd_file(text)), MESH_IMPORT_OK);
    const auto faces = x.faces();
    ASSERT_EQ(faces.size(), 3u);
    EXPECT_EQ(faces[0].surface, "a.bmp");
    EXPECT_EQ(faces[0].points, (std::vector<std::uint32_t>{2, 1, 0}));
    EXPECT_EQ(faces[1].surface, "b.bmp");
    EXPECT_EQ(faces[1].points, (std::vector<std::uint32_t>{5, 4, 3}));
    EXPECT_EQ(faces[2].surface, "a.bmp");
    EXPECT_EQ(faces[2].points, (std::vector<std::uint32_t>{6, 2, 0}));
    // One UV map per material, holding the UVs of the points made under it.
    EXPECT_EQ(x.map_names(lwhost::kTexUV), (std::vector<std::string>{"a.bmp", "b.bmp"}));
    EXPECT_EQ(x.uv("a.bmp", 1), (std::vector<float>{1.0f, 0.0f}));
    EXPECT_EQ(x.uv("b.bmp", 5), (std::vector<float>{0.0f, 1.0f}));
    EXPECT_TRUE(x.uv("a.bmp", 3).empty());
    EXPECT_EQ(x.uv("a.bmp", 6), (std::vector<float>{0.5f, 0.5f}));
}

TEST(MeshBuilder, SurfaceCommandsPerMaterialInOrderOfFirstUse) {
    Importer x;
    const std::string text = "a.bmp\n" + vertex(0, 0, 0) + vertex(1, 0, 0) + vertex(0, 1, 0) + "b.bmp\n" +
                             vertex(5, 0, 0) + vertex(6, 0, 0) + vertex(5, 1, 0) + "a.bmp\n" + vertex(7, 0, 0) +
                             vertex(8, 0, 0) + vertex(7, 1, 0);
    ASSERT_EQ(x.import(smd_file(text)), MESH_IMPORT_OK);
    EXPECT_EQ(x.host.command_log, (std::vector<std::string>{
                                      "Surf_SetSurf  a.bmp Unnamed",
                                      "Surf_SetFloat   SmoothingAngle 3.142",
                                      "Surf_SetSurf  b.bmp Unnamed",
                                      "Surf_SetFloat   SmoothingAngle 3.142",
                                  }));
    EXPECT_TRUE(x.host.diagnostics.empty()) << x.host.diagnostics.front();
    for (const char* name : {"a.bmp", "b.bmp"}) {
        const lwhost::Surface* surface = x.host.scene.find_surface(x.mesh, name);
        ASSERT_NE(surface, nullptr) << name;
        EXPECT_EQ(surface->smoothing_angle, 3.142) << name;
    }

    {  // no command local or no global function: no commands
        Importer y;
        y.state.global = nullptr;
        ASSERT_EQ(y.import(smd_file(text)), MESH_IMPORT_OK);
        EXPECT_TRUE(y.host.command_log.empty());
        EXPECT_EQ(y.polygon_count(), 3u);
    }
}

TEST(MeshBuilder, OnlyTheFirst255MaterialsAreRegistered) {
    std::string text;
    for (int m = 0; m < 256; ++m) {
        text += text_of("m%d\n", m) + vertex(m, 0, 0) + vertex(m, 1, 0) + vertex(m, 0, 1);
    }
    Importer x;
    ASSERT_EQ(x.import(smd_file(text)), MESH_IMPORT_OK);
    EXPECT_EQ(x.state.materials_used, 255);
    ASSERT_EQ(x.host.command_log.size(), 510u);
    EXPECT_EQ(x.host.command_log[508], "Surf_SetSurf  m254 Unnamed");
    EXPECT_EQ(x.polygon_count(), 256u);
    EXPECT_EQ(x.faces()[255].surface, "m255") << "its triangles are still built";
    EXPECT_EQ(x.uv("m255", 767), (std::vector<float>{0.0f, 0.0f}));
}

TEST(MeshBuilder, ASharedPointCarriesItsUvInTheMapOfEveryMaterial) {
    Importer x;
    const std::string text = "a.bmp\n" + vertex(0, 0, 0, 0.25, 0.25) + vertex(1, 0, 0) + vertex(0, 1, 0) +
                             "b.bmp\n" + vertex(0, 0, 0, 0.5, 0.5) + vertex(0, 0, 1) + vertex(0, 1, 0) +
                             "b.bmp\n" + vertex(0, 0, 0, 0.75, 0.75) + vertex(0, 0, 2) + vertex(0, 0, 1) +
                             "a.bmp\n" + vertex(0, 0, 0, 0.25, 0.25) + vertex(2, 0, 0) + vertex(1, 0, 0);
    ASSERT_EQ(x.import(smd_file(text)), MESH_IMPORT_OK);
    EXPECT_EQ(x.point_count(), 6u);
    // Point 0 is shared by all four faces; each material's map holds the UV
    // its first face there gave it.
    EXPECT_EQ(x.uv("a.bmp", 0), (std::vector<float>{0.25f, 0.25f}));
    EXPECT_EQ(x.uv("b.bmp", 0), (std::vector<float>{0.5f, 0.5f}));
    EXPECT_EQ(x.uv("b.bmp", 2), (std::vector<float>{0.0f, 0.0f}));
    EXPECT_TRUE(x.uv("a.bmp", 3).empty());
    // Only the third face, whose UV at point 0 differs from b.bmp's, needs a
    // per-polygon value.
    EXPECT_EQ(x.corner_uv_count(), 1u);
    EXPECT_EQ(x.corner_uv("b.bmp", 2, 0), (std::vector<float>{0.75f, 0.75f}));
}

TEST(MeshBuilder, BuildsInTheForegroundLayer) {
    // The foreground is the second layer. Its IDs carry the layer above bit
    // 32 (and the host's object number above bit 48): an ID cut to 32 bits
    // would name no element, and the UVs, weights and faces using it would
    // go missing.
    Importer x;
    lwhost::MeshBuilder(x.host.scene, x.mesh).layer(1);
    x.host.scene.foreground_layers = 0b10;
    x.layer_index = 1;
    const std::string text = "skin\n" + vertex(0, 0, 0) + vertex(1, 0, 0, 1, 0) + vertex(0, 1, 0, 0, 1) + "skin\n" +
                             vertex(1, 0, 0, 0.5, 0.5) + vertex(1, 1, 0, 1, 1) + vertex(0, 1, 0, 0, 1);
    ASSERT_EQ(x.import(smd_file(text)), MESH_IMPORT_OK);
    EXPECT_TRUE(x.host.scene.meshes[std::size_t(x.mesh)]->layers[0].points.empty());
    EXPECT_EQ(x.point_count(), 4u);
    ASSERT_EQ(x.polygon_count(), 2u);
    EXPECT_EQ(x.faces()[1].points, (std::vector<std::uint32_t>{2, 3, 1}));
    EXPECT_EQ(x.uv("skin", 3), (std::vector<float>{1.0f, 1.0f}));
    EXPECT_EQ(x.weight("root", 3), std::vector<float>{1.0f});
    EXPECT_EQ(x.corner_uv("skin", 1, 1), (std::vector<float>{0.5f, 0.5f}));
    EXPECT_TRUE(x.host.diagnostics.empty()) << x.host.diagnostics.front();
}

}  // namespace
