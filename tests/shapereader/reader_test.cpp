// The mesh importer's reading, run in-process through mesh_import_run over
// a host: the vertex-line count, the failures and their messages, node
// names, the rules of the triangles section, locale-free and saturating
// numbers, and allocation failures.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "import_fixture.h"

namespace {

using importtest::Importer;
using importtest::smd_file;

const std::string kTriangle =
    "skin.bmp\n"
    "0 0 0 0 0 0 1 0 0\n"
    "0 1 0 0 0 0 1 1 0\n"
    "0 0 1 0 0 0 1 0 1\n";

std::string data_file(const char* name) {
    return importtest::read_file(std::string(LWSMD_TEST_DATA) + "/shapereader/" + name);
}

// A reader over a temporary file holding `text`.
struct CountedFile {
    explicit CountedFile(const std::string& text) {
        file = std::tmpfile();
        std::fwrite(text.data(), 1, text.size(), file);
        std::rewind(file);
        state.reader.file = file;
    }
    ~CountedFile() {
        state.reader.file = nullptr;
        std::fclose(file);
    }
    std::FILE* file = nullptr;
    MeshImport state;
};

TEST(MeshReader, CountsTheLinesThatBeginWithAnInteger) {
    {  // lines whose first token is a whole integer (decimal, octal, hexadecimal); material
       // lines that begin with a digit do not count; the count stops at "end"
        CountedFile f("version 1\ntriangles\nskin\n0 1 2\n  -3 x\n0x1F\n017\n1skin.bmp\n2.5\n08\n\n   \nx 1\nend\n7 7\n");
        EXPECT_EQ(mesh_count_vertex_lines(f.state), 4);
        EXPECT_EQ(f.state.vertex_line_count, 4);
        EXPECT_EQ(std::ftell(f.file), 0L) << "rewound";
    }
    {  // keywords in any case; no "end": up to the end of the file
        CountedFile f("TRIANGLES\r\n1\r\n2\r\n3\r\n");
        EXPECT_EQ(mesh_count_vertex_lines(f.state), 3);
        EXPECT_EQ(std::ftell(f.file), 0L);
    }
    {  // the first "triangles" line decides
        CountedFile f("triangles\n1\nend\ntriangles\n1\n2\n3\nend\n");
        EXPECT_EQ(mesh_count_vertex_lines(f.state), 1);
    }
    {  // no section: nothing counted, the file is not rewound
        CountedFile f("version 1\nnodes\n0 \"root\" -1\nend\n");
        f.state.vertex_line_count = 9;
        EXPECT_EQ(mesh_count_vertex_lines(f.state), 0);
        EXPECT_EQ(f.state.vertex_line_count, 0);
        EXPECT_NE(std::ftell(f.file), 0L);
    }
}

TEST(MeshReader, EachFailureShowsItsMessageAndBuildsNothing) {
    const std::string no_triangles = "version 1\nnodes\n0 \"root\" -1\nend\n";
    const std::string nodes_after_triangles =
        "version 1\ntriangles\n" + kTriangle + "end\nnodes\n0 \"root\" -1\nend\n";
    const struct {
        std::string text;
        const char* message;
    } cases[] = {
        {smd_file("skin.bmp\n0 0 0 0 0 0 1 0 0\n0 1 0 0 0 0 1 1 0\n"), "This file has no geometry data!"},
        {no_triangles, "This file has no geometry data!"},
        {"", "This file has no geometry data!"},
        {"version 1\ntriangles\n" + kTriangle + "end\n", "Cannot find nodes section!"},
        {smd_file("0 \"root\" -1\n255 \"far\" 0\n", kTriangle), "Error parsing nodes section!"},
        {smd_file("-1 \"below\" 0\n", kTriangle), "Error parsing nodes section!"},
        {smd_file("0 root -1\n", kTriangle), "Error parsing nodes section!"},
        {smd_file("0 \"\" -1\n", kTriangle), "Error parsing nodes section!"},
        {smd_file("0 \"open\t-1\n", kTriangle), "Error parsing nodes section!"},
        {"version 1\nnodes\n0 \"root\" -1\n", "This file has no geometry data!"},
        {"triangles\n" + kTriangle + "end\nnodes\n0 \"root\" -1\n", "Error parsing nodes section!"},
        {nodes_after_triangles, "Cannot find triangles section!"},
    };
    for (const auto& c : cases) {
        Importer x;
        EXPECT_EQ(x.import(c.text), MESH_IMPORT_FAILED) << c.text;
        EXPECT_EQ(x.message_texts(), std::vector<std::string>{c.message}) << c.text;
        EXPECT_EQ(x.point_count(), 0u) << c.text;
        EXPECT_TRUE(x.host.command_log.empty()) << c.text;
    }
    {  // the host gives no edit: no current object, or a local without editBegin
        Importer x;
        x.host.scene.current_mesh = -1;
        EXPECT_EQ(x.import(smd_file(kTriangle)), MESH_IMPORT_FAILED);
        EXPECT_EQ(x.message_texts(), std::vector<std::string>{"Bad global: editBegin !"});
        x.host.messages.clear();
        x.host.scene.current_mesh = x.mesh;
        x.local.editBegin = nullptr;
        EXPECT_EQ(x.import(smd_file(kTriangle)), MESH_IMPORT_FAILED);
        EXPECT_EQ(x.message_texts(), std::vector<std::string>{"Bad global: editBegin !"});
        EXPECT_EQ(x.point_count(), 0u);
        EXPECT_TRUE(x.host.command_log.empty());
    }
}

TEST(MeshReader, NodeLinesNameTheWeightMaps) {
    Importer x;
    const std::string nodes =
        "3\t \"left upper arm\"\t 2\n"
        "010 \"eight\" 0\n"
        "0x10 \"sixteen\" 0\n"
        "4 \"two fields\"\n"   // skipped
        "5 \"first\" 0\n"
        "5 \"second\" 0\n";   // replaces the name of node 5
    const std::string triangles =
        "skin\n"
        "3 0 0 0 0 0 1 0 0\n"
        "8 1 0 0 0 0 1 0 0\n"
        "16 0 1 0 0 0 1 0 0\n"
        "skin\n"
        "4 0 0 1 0 0 1 0 0\n"
        "5 1 0 1 0 0 1 0 0\n"
        "5 0 1 1 0 0 1 0 0\n";
    ASSERT_EQ(x.import("version 1\nNodes\n" + nodes + "END\n" + "triangles\n" + triangles + "end\n"), MESH_IMPORT_OK);
    EXPECT_TRUE(x.message_texts().empty());
    EXPECT_EQ(x.map_names(lwhost::kWeight),
              (std::vector<std::string>{"left_upper_arm", "eight", "sixteen", "second"}));
    EXPECT_EQ(x.weight("left_upper_arm", 0), std::vector<float>{1.0f});
    EXPECT_EQ(x.weight("eight", 1), std::vector<float>{1.0f});
    EXPECT_EQ(x.weight("sixteen", 2), std::vector<float>{1.0f});
    EXPECT_TRUE(x.weight("second", 3).empty()) << "node 4 was never named";
    EXPECT_EQ(x.weight("second", 4), std::vector<float>{1.0f});
}

TEST(MeshReader, TrianglesSectionLineRules) {
    {  // exactly one triangle
        Importer x;
        ASSERT_EQ(x.import(smd_file(kTriangle)), MESH_IMPORT_OK);
        EXPECT_EQ(x.point_count(), 3u);
        EXPECT_EQ(x.polygon_count(), 1u);
        EXPECT_TRUE(x.message_texts().empty());
    }
    {  // empty and blank lines between triangles, and inside one, are passed over
        Importer x;
        const std::string second = "other.bmp\n0 5 0 0 0 0 1 0 0\n\n0 6 0 0 0 0 1 0 0\n0 5 1 0 0 0 1 0 0\n";
        ASSERT_EQ(x.import(smd_file(kTriangle + "\n \t\r\n" + second + "\n")), MESH_IMPORT_OK);
        EXPECT_EQ(x.polygon_count(), 2u);
        EXPECT_EQ(x.point_count(), 6u);
        EXPECT_TRUE(x.message_texts().empty());
        EXPECT_EQ(x.host.command_log.size(), 4u);
        EXPECT_EQ(x.host.command_log[2], "Surf_SetSurf  other.bmp Unnamed");
    }
    {  // a material name that begins with a digit is a material
        Importer x;
        const std::string vertex_lines = kTriangle.substr(9);
        ASSERT_EQ(x.import(smd_file(kTriangle + "01_body.tga\n" + vertex_lines + "2.5.bmp\n" + vertex_lines)),
                  MESH_IMPORT_OK);
        ASSERT_EQ(x.polygon_count(), 3u);
        EXPECT_EQ(x.faces()[1].surface, "01_body.tga");
        EXPECT_EQ(x.faces()[2].surface, "2.5.bmp");
        EXPECT_EQ(x.point_count(), 3u) << "the same vertices, shared across the materials";
        EXPECT_EQ(x.uv("01_body.tga", 1), (std::vector<float>{1.0f, 0.0f}));
    }
    {  // a vertex line exactly as long as the line buffer holds: its newline comes as a
       // piece of its own, which ends that line and not the section
        Importer x;
        std::string long_line = "0 0 0 0 0 0 1 0 0";
        long_line.resize(SMD_LINE_BUFFER_SIZE - 1, ' ');
        ASSERT_EQ(x.import(smd_file("skin.bmp\n" + long_line + "\n" + kTriangle.substr(9 + 18) + kTriangle)),
                  MESH_IMPORT_OK);
        EXPECT_EQ(x.polygon_count(), 2u);
        EXPECT_EQ(x.point_count(), 3u);
    }
    {  // a line of 1 to 8 fields ends the section
        Importer x;
        ASSERT_EQ(x.import(smd_file(kTriangle + "skin.bmp\n0 1 2 3 4 5 6 7\n0 0 0 0 0 0 1 0 0\n0 0 0 0 0 0 1 0 0\n")),
                  MESH_IMPORT_OK);
        EXPECT_EQ(x.polygon_count(), 1u);
    }
    {  // a material line inside a triangle drops it; its points stay; the next three lines form one
        Importer x;
        const std::string text =
            "a.bmp\n"
            "0 9 9 9 0 0 1 0 0\n"
            "b.bmp\n"
            "0 0 0 0 0 0 1 0 0\n"
            "0 1 0 0 0 0 1 0 0\n"
            "0 0 1 0 0 0 1 0 0\n";
        ASSERT_EQ(x.import(smd_file(text)), MESH_IMPORT_OK);
        EXPECT_EQ(x.point_count(), 4u);
        ASSERT_EQ(x.polygon_count(), 1u);
        EXPECT_EQ(x.faces()[0].surface, "b.bmp");
        EXPECT_EQ(x.faces()[0].points, (std::vector<std::uint32_t>{3, 2, 1}));
        // a.bmp never had a complete triangle: no surface commands for it
        EXPECT_EQ(x.host.command_log.size(), 2u);
        EXPECT_EQ(x.host.command_log[0], "Surf_SetSurf  b.bmp Unnamed");
    }
    {  // no "end" after the triangles: every complete triangle up to the end of the file
        Importer x;
        std::string text = smd_file(kTriangle + kTriangle + "skin.bmp\n0 0 0 0 0 0 1 0 0\n");
        text.resize(text.size() - 4);  // "end\n"
        ASSERT_EQ(x.import(text), MESH_IMPORT_OK);
        EXPECT_EQ(x.polygon_count(), 2u);
    }
    {  // CR LF line ends, keywords in capitals, the blank that starts lines after "time"
        Importer x;
        const std::string text =
            "version 1\r\nNODES\r\n0 \"root\" -1\r\nEnd\r\nskeleton\r\ntime 0\r\n 0 0 0 0 0 0 0\r\nend\r\n"
            "Triangles\r\nskin.bmp\r\n0 0 0 0 0 0 1 0.25 0.5\r\n0 1 0 0 0 0 1 1 0\r\n0 0 1 0 0 0 1 0 1\r\nEND\r\n";
        ASSERT_EQ(x.import(text), MESH_IMPORT_OK);
        EXPECT_EQ(x.polygon_count(), 1u);
        EXPECT_EQ(x.uv("skin.bmp", 0), (std::vector<float>{0.25f, 0.5f}));
    }
}

TEST(MeshReader, VertexLinesBeforeTheFirstMaterialArePassedOver) {
    Importer x;
    ASSERT_EQ(x.import(data_file("vertices_before_material.smd")), MESH_IMPORT_OK);
    EXPECT_TRUE(x.message_texts().empty());
    // Three lines without a material, then one triangle of "hull.bmp".
    EXPECT_EQ(x.point_count(), 3u);
    ASSERT_EQ(x.polygon_count(), 1u);
    EXPECT_EQ(x.faces()[0].surface, "hull.bmp");
    const double s = importtest::kScale;
    EXPECT_EQ(x.position(0), (std::vector<double>{1 * s, 3 * s, 2 * s}));
    EXPECT_EQ(x.host.command_log.size(), 2u);
}

TEST(MeshReader, ReadsNoMoreVertexLinesThanTheFirstSectionCounted) {
    // The first "triangles" line (before the nodes) holds three vertex lines;
    // the section after the nodes holds six. Only three records exist.
    Importer x;
    ASSERT_EQ(x.import(data_file("second_triangles_section.smd")), MESH_IMPORT_OK);
    EXPECT_EQ(x.state.vertex_line_count, 3);
    EXPECT_EQ(x.state.vertices_read, 3);
    EXPECT_EQ(x.polygon_count(), 1u);
    EXPECT_EQ(x.point_count(), 3u);
}

TEST(MeshReader, NumbersAreReadTheSameInEveryLocale) {
    const std::string text = smd_file(
        "skin\n"
        "0 0.5 1.25 -2.75 0 0 1 0.125 0.875\n"
        "0 1 0 0 0 0 1 1 0\n"
        "0 0 1 0 0 0 1 0 1\n");
    Importer x;
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous != nullptr ? previous : "C";
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr && std::setlocale(LC_ALL, "de_DE.utf8") == nullptr)
        GTEST_SKIP() << "no locale with a decimal comma";
    const int rc = x.import(text);
    std::setlocale(LC_ALL, saved.c_str());
    ASSERT_EQ(rc, MESH_IMPORT_OK);
    EXPECT_EQ(x.position(0), (std::vector<double>{0.5 * importtest::kScale, -2.75 * importtest::kScale,
                                                  1.25 * importtest::kScale}));
    EXPECT_EQ(x.uv("skin", 0), (std::vector<float>{0.125f, 0.875f}));
    EXPECT_EQ(x.host.command_log.at(1), "Surf_SetFloat   SmoothingAngle 3.142");
}

TEST(MeshReader, IndicesTooLargeForAnIntAreOutOfRange) {
    // 4294967298 is 2^32 + 2: wrapped to 32 bits it would be node 2.
    Importer x;
    ASSERT_EQ(x.import(data_file("bone_index_beyond_int.smd")), MESH_IMPORT_OK);
    EXPECT_EQ(x.point_count(), 3u);
    EXPECT_EQ(x.map_names(lwhost::kWeight), std::vector<std::string>{"root"});
    for (std::uint32_t p = 0; p < 3; ++p) EXPECT_TRUE(x.weight("two", p).empty()) << p;
    EXPECT_EQ(x.weight("root", 2), std::vector<float>{0.5f});
}

// ---- allocation failures ---------------------------------------------------------

MeshAllocation g_failing = MESH_ALLOC_NAME_TABLES;
bool fail_one_kind(MeshAllocation what, std::size_t) { return what != g_failing; }

int g_chunks_allowed = 0;
bool first_record_chunk_only(MeshAllocation what, std::size_t) {
    if (what != MESH_ALLOC_RECORDS) return true;
    return g_chunks_allowed-- > 0;
}

struct FailingAllocations {
    explicit FailingAllocations(MeshAllocation what) {
        g_failing = what;
        mesh_set_alloc_hook(fail_one_kind);
    }
    ~FailingAllocations() { mesh_set_alloc_hook(nullptr); }
};

TEST(MeshReader, AllocationFailures) {
    const std::string text = smd_file(kTriangle + kTriangle);
    {
        FailingAllocations failing(MESH_ALLOC_NAME_TABLES);
        Importer x;
        EXPECT_EQ(x.import(text), MESH_IMPORT_FAILED);
        EXPECT_EQ(x.message_texts(), std::vector<std::string>{"Out of memory!"});
    }
    {
        FailingAllocations failing(MESH_ALLOC_RECORDS);
        Importer x;
        EXPECT_EQ(x.import(text), MESH_IMPORT_FAILED);
        EXPECT_EQ(x.message_texts(), std::vector<std::string>{"Out of memory!"});
        EXPECT_EQ(x.point_count(), 0u);
    }
    {  // a node name that cannot be copied fails the nodes section
        FailingAllocations failing(MESH_ALLOC_NAME);
        Importer x;
        EXPECT_EQ(x.import(text), MESH_IMPORT_FAILED);
        EXPECT_EQ(x.message_texts(), std::vector<std::string>{"Error parsing nodes section!"});
    }
    for (MeshAllocation what : {MESH_ALLOC_ARENA, MESH_ALLOC_POSITION_INDEX}) {  // as for the records
        FailingAllocations failing(what);
        Importer x;
        EXPECT_EQ(x.import(text), MESH_IMPORT_FAILED);
        EXPECT_EQ(x.message_texts(), std::vector<std::string>{"Out of memory!"});
        EXPECT_EQ(x.point_count(), 0u);
    }
    {  // records that cannot be had later leave vertices unshared; everything is built
        constexpr int triangles = 12000;  // 36000 vertex lines: more than one chunk of records
        static_assert(3 * triangles > (1 << VertexRecords::RECORD_CHUNK_BITS));
        std::string many;
        char line[96];
        for (int t = 0; t < triangles; ++t) {
            many += "skin\n";
            for (int c = 0; c < 3; ++c) {
                std::snprintf(line, sizeof line, "0 %d %d 0 0 0 1 0 0\n", t, c);
                many += line;
            }
        }
        const std::string first = many.substr(0, many.find("skin", 1));
        const std::string last = many.substr(many.rfind("skin"));
        Importer x;
        g_chunks_allowed = 1;
        mesh_set_alloc_hook(first_record_chunk_only);
        const int rc = x.import(smd_file(many + last + first));
        mesh_set_alloc_hook(nullptr);
        ASSERT_EQ(rc, MESH_IMPORT_OK);
        EXPECT_TRUE(x.message_texts().empty());
        EXPECT_EQ(x.polygon_count(), std::size_t(triangles) + 2);
        // The first triangle's vertices were recorded in the first chunk; the
        // last one's were not, so its copy gets points of its own.
        EXPECT_EQ(x.point_count(), 3u * triangles + 3);
        EXPECT_EQ(x.faces()[std::size_t(triangles) + 1].points, (std::vector<std::uint32_t>{2, 1, 0}));
        EXPECT_EQ(x.state.groups_used, 1 << VertexRecords::RECORD_CHUNK_BITS);
    }
    {  // a material name that cannot be copied gets no surface commands
        Importer x;
        ASSERT_EQ(x.import("version 1\nnodes\nend\ntriangles\n" + kTriangle + "end\n"), MESH_IMPORT_OK);
        ASSERT_EQ(x.host.command_log.size(), 2u);
        x.host.command_log.clear();
        FailingAllocations failing(MESH_ALLOC_NAME);
        ASSERT_EQ(x.import("version 1\nnodes\nend\ntriangles\n" + kTriangle + "end\n"), MESH_IMPORT_OK);
        EXPECT_EQ(x.polygon_count(), 2u);
        EXPECT_TRUE(x.host.command_log.empty());
    }
}

TEST(MeshReader, EachImportStartsFromNothing) {
    Importer x;
    ASSERT_EQ(x.import(smd_file("0 \"root\" -1\n1 \"arm\" 0\n", kTriangle)), MESH_IMPORT_OK);
    // The second file names no node 1 and uses another material: nothing of
    // the first import is shared or reused.
    const std::string second = smd_file(
        "other\n"
        "1 0 0 0 0 0 1 0 0\n"
        "1 1 0 0 0 0 1 1 0\n"
        "1 0 1 0 0 0 1 0 1\n");
    ASSERT_EQ(x.import(second), MESH_IMPORT_OK);
    EXPECT_EQ(x.point_count(), 6u);
    EXPECT_EQ(x.polygon_count(), 2u);
    EXPECT_EQ(x.state.materials_used, 1);
    EXPECT_EQ(x.state.vertices_read, 3);
    EXPECT_TRUE(x.map_names(lwhost::kWeight) == std::vector<std::string>{"root"});
    for (std::uint32_t p = 3; p < 6; ++p) EXPECT_TRUE(x.weight("root", p).empty()) << p;
    EXPECT_EQ(x.host.command_log,
              (std::vector<std::string>{"Surf_SetSurf  skin.bmp Unnamed", "Surf_SetFloat   SmoothingAngle 3.142",
                                        "Surf_SetSurf  other Unnamed", "Surf_SetFloat   SmoothingAngle 3.142"}));
}

}  // namespace
