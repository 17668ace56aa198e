// The SMD format's lines (node, bone, vertex and time lines) against the
// table formats printed by snprintf, and whole files written with them.
#include "smd_format.h"

#include <gtest/gtest.h>

#include "smd_format_reference.h"

using namespace smd_format_reference;

// ---- Lines -------------------------------------------------------------------

TEST(SmdLines, NodeLine) {
    // Number, tab, blank, quoted name, tab, blank, parent.
    EXPECT_EQ(compose_node(SmdNode{3, "Bone", 1, false}), "3\t \"Bone\"\t 1\n");
    EXPECT_EQ(compose_node(SmdNode{0, "Pelvis", -1, false}), "0\t \"Pelvis\"\t -1\n");
    EXPECT_EQ(compose_node(SmdNode{12, "left upper arm", 4, false}),
              "12\t \"left upper arm\"\t 4\n");
    EXPECT_EQ(compose_node(SmdNode{5, "Null", 2, true}), "5\t \"Null\"\t 2\t // null bone\n");
    EXPECT_EQ(compose_node(SmdNode{6, nullptr, -1, true}), "6\t \"\"\t -1\t // null bone\n");

    // The same lines through the table's pieces and the C library.
    EXPECT_EQ(compose_node(SmdNode{12, "left upper arm", 4, true}),
              reference_text(SMD_NODE_INDEX_FORMAT, 12) +
                  reference_text(SMD_NODE_NAME_FORMAT, "left upper arm") +
                  reference_text(SMD_NODE_PARENT_FORMAT, 4) + SMD_NULL_BONE_COMMENT + SMD_LINE_END);
    EXPECT_EQ(compose_node(SmdNode{0, "root", -1, false}),
              reference_text(SMD_NODE_INDEX_FORMAT, 0) + reference_text(SMD_NODE_NAME_FORMAT, "root") +
                  SMD_NODE_ROOT_PARENT + SMD_LINE_END);

    // Too small a buffer: nothing written, the needed length returned.
    char small[8];
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(smd_compose_node_line(small, sizeof small, SmdNode{3, "Bone", 1, false}), 13);
    EXPECT_EQ(std::string(small, sizeof small), "########");
    char exact[13];
    EXPECT_EQ(smd_compose_node_line(exact, sizeof exact, SmdNode{3, "Bone", 1, false}), 13);
    EXPECT_EQ(std::string(exact, sizeof exact), "3\t \"Bone\"\t 1\n");
}

TEST(SmdLines, NodeNamesCannotBreakTheLine) {
    // A quote or any control character would end the quoted name or the line
    // early; each is written as '_'. Blanks and bytes above 127 stay.
    const std::string hostile = "a\"b\tc\rd\ne\x01" "f\x7f" "g h\xc3\xa9";
    const std::string written = "a_b_c_d_e_f_g h\xc3\xa9";
    EXPECT_EQ(compose_node(SmdNode{1, hostile.c_str(), 0, false}), "1\t \"" + written + "\"\t 0\n");

    // A name too long for the line buffer goes out in pieces, by the same rule.
    std::string long_hostile;
    std::string long_written;
    for (int i = 0; i < 300; ++i) {
        long_hostile += hostile;
        long_written += written;
    }
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(smd_write_node_line(stream, SmdNode{2, long_hostile.c_str(), -1, true}), 0);
    EXPECT_EQ(smd_write_node_line(stream, SmdNode{3, hostile.c_str(), 2, false}), 0);
    EXPECT_EQ(read_all(stream), "2\t \"" + long_written + "\"\t -1\t // null bone\n"
                                "3\t \"" + written + "\"\t 2\n");
    std::fclose(stream);
}

TEST(SmdLines, BoneLine) {
    // Two blanks after the number and between z and rx.
    EXPECT_EQ(compose_bone(SmdBoneFrame{1, {1.5, -2.0, 0.25}, {0.0, -0.0, 3.14159265}}),
              "1  1.500000 -2.000000 0.250000  0.000000 -0.000000 3.141593\n");

    const SmdBoneFrame bone{17, {-1e-9, 123456.5, -7.0000005}, {1.0 / 128, -2.5e-7, 6.25}};
    EXPECT_EQ(compose_bone(bone), reference_bone_line(bone));
}

TEST(SmdLines, ReferenceVertexLine) {
    SmdVertex vertex{};
    vertex.parent = 0;
    vertex.position[0] = 40.0;
    vertex.position[1] = -0.0;
    vertex.position[2] = 80.0;
    vertex.normal[2] = 1.0;
    vertex.u = 0.25;
    vertex.v = 0.75;

    // No link: the line ends with v, one blank and the newline.
    EXPECT_EQ(compose(smd_compose_vertex_line, vertex),
              "0 40.000000 -0.000000 80.000000 0.000000 0.000000 1.000000 0.250000 0.750000 \n");
    // A vertex without a bone may carry -1 from the writer; the file says 0.
    vertex.parent = -1;
    EXPECT_EQ(compose(smd_compose_vertex_line, vertex).substr(0, 2), "0 ");

    // Two links: v, two blanks, the count, then node and weight, each followed by a blank.
    vertex.parent = 3;
    vertex.link_count = 2;
    vertex.links[0] = SmdLink{3, 0.75};
    vertex.links[1] = SmdLink{5, 0.25};
    EXPECT_EQ(compose(smd_compose_vertex_line, vertex),
              "3 40.000000 -0.000000 80.000000 0.000000 0.000000 1.000000 0.250000 0.750000  "
              "2 3 0.750000 5 0.250000 \n");
    EXPECT_EQ(compose(smd_compose_vertex_line, vertex), reference_vertex_line(vertex));

    // One link of weight 1.
    vertex.link_count = 1;
    vertex.links[0] = SmdLink{7, 1.0};
    const std::string one = compose(smd_compose_vertex_line, vertex);
    EXPECT_EQ(one.substr(one.size() - 24), "0.750000  1 7 1.000000 \n");

    // A negative count writes no list; more than the readers keep writes 15.
    vertex.link_count = -2;
    EXPECT_EQ(compose(smd_compose_vertex_line, vertex),
              "3 40.000000 -0.000000 80.000000 0.000000 0.000000 1.000000 0.250000 0.750000 \n");
    vertex.link_count = 40;
    for (int i = 0; i < SMD_MAX_LINKS; ++i) vertex.links[i] = SmdLink{i, i / 16.0};
    SmdVertex fifteen = vertex;
    fifteen.link_count = SMD_MAX_LINKS;
    EXPECT_EQ(compose(smd_compose_vertex_line, vertex), reference_vertex_line(fifteen));
}

TEST(SmdLines, StaticVertexAndTimeLines) {
    SmdVertex vertex{};
    vertex.parent = 9;  // static lines always name node 0 and never carry links
    vertex.position[0] = -1.0;
    vertex.position[1] = 2.0;
    vertex.position[2] = 3.5;
    vertex.normal[0] = 1.0;
    vertex.u = 1.0;
    vertex.v = 0.0;
    vertex.link_count = 2;
    EXPECT_EQ(compose(smd_compose_static_vertex_line, vertex),
              "0 -1.000000 2.000000 3.500000 1.000000 0.000000 0.000000 1.000000 0.000000 \n");
    EXPECT_EQ(compose(smd_compose_static_vertex_line, vertex),
              reference_text(SMD_STATIC_VERTEX_POSITION_FORMAT, -1.0, 2.0, 3.5) +
                  reference_text(SMD_VERTEX_NORMAL_FORMAT, 1.0, 0.0, 0.0) +
                  reference_text(SMD_STATIC_VERTEX_UV_FORMAT, 1.0, 0.0));

    // The time line ends with a blank after the newline.
    char line[SMD_LINE_CAPACITY];
    EXPECT_EQ(std::string(line, smd_compose_time_line(line, 12)), "time 12\n ");
    EXPECT_EQ(std::string(line, smd_compose_time_line(line, -3)), reference_text(SMD_TIME_FORMAT, -3));
}

TEST(SmdLines, RandomLinesMatchSnprintfOfTheTableFormats) {
    std::mt19937_64 random(77);
    std::uniform_real_distribution<double> coordinate(-1000.0, 1000.0);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_real_distribution<double> texture(0.0, 1.0);
    int mismatches = 0;
    for (int i = 0; i < 20000 / SWEEP_DIVISOR && mismatches < 5; ++i) {
        SmdVertex vertex{};
        vertex.parent = static_cast<int>(random() % 300) - 1;
        for (int axis = 0; axis < 3; ++axis) {
            vertex.position[axis] = coordinate(random);
            vertex.normal[axis] = unit(random);
        }
        vertex.u = texture(random);
        vertex.v = texture(random);
        vertex.link_count = static_cast<int>(random() % (SMD_MAX_WRITTEN_LINKS + 1));
        for (int link = 0; link < vertex.link_count; ++link) {
            vertex.links[link] = SmdLink{static_cast<int>(random() % 255), texture(random)};
        }
        const std::string line = compose(smd_compose_vertex_line, vertex);
        if (line != reference_vertex_line(vertex)) {
            ++mismatches;
            ADD_FAILURE() << line << " differs from " << reference_vertex_line(vertex);
        }

        const SmdBoneFrame bone{static_cast<int>(random() % 255),
                                {coordinate(random), coordinate(random), coordinate(random)},
                                {unit(random) * 3.2, unit(random) * 3.2, unit(random) * 3.2}};
        if (compose_bone(bone) != reference_bone_line(bone)) {
            ++mismatches;
            ADD_FAILURE() << compose_bone(bone) << " differs from " << reference_bone_line(bone);
        }
    }
}

TEST(SmdLines, WorstCaseFitsTheLineCapacity) {
    SmdVertex vertex{};
    vertex.parent = INT_MAX;  // the longest parent written: a negative one becomes 0
    for (int axis = 0; axis < 3; ++axis) {
        vertex.position[axis] = -DBL_MAX;
        vertex.normal[axis] = -DBL_MAX;
    }
    vertex.u = -DBL_MAX;
    vertex.v = -DBL_MAX;
    vertex.link_count = SMD_MAX_LINKS;
    for (SmdLink& link : vertex.links) link = SmdLink{INT_MIN, -DBL_MAX};

    std::vector<char> line(SMD_LINE_CAPACITY + 64, '#');
    const int length = smd_compose_vertex_line(line.data(), vertex);
    EXPECT_EQ(std::string(line.data(), static_cast<std::size_t>(length)), reference_vertex_line(vertex));
    // 10 + (4 + 3 * 317) + (3 + 3 * 317) + (2 + 2 * 317) + 4 + 15 * (2 + 11 + 317) + 1
    EXPECT_EQ(length, 7510);
    EXPECT_LE(static_cast<std::size_t>(length), SMD_VERTEX_LINE_MAX_LENGTH);
    for (std::size_t i = SMD_LINE_CAPACITY; i < line.size(); ++i) EXPECT_EQ(line[i], '#');
}

// ---- Writing -----------------------------------------------------------------

// A whole static file without bones, written with the constants and helpers.
TEST(SmdWriting, FileWithoutBones) {
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    SmdTriangle triangle{};
    triangle.material = "Skin_Mat";
    for (int corner = 0; corner < 3; ++corner) {
        triangle.vertices[corner].position[corner] = 40.0;
        triangle.vertices[corner].normal[1] = 1.0;
        triangle.vertices[corner].u = corner * 0.5;
    }
    int rc = 0;
    for (const char* piece : {SMD_HEADER, SMD_NODES_OPENER, SMD_ROOT_NODE_LINE, SMD_SECTION_END,
                              SMD_SKELETON_OPENER, SMD_TIME_ZERO, SMD_ZERO_BONE_LINE,
                              SMD_SECTION_END, SMD_TRIANGLES_OPENER}) {
        rc |= smd_write_text(stream, piece);
    }
    rc |= smd_write_static_triangle(stream, triangle);
    rc |= smd_write_text(stream, SMD_SECTION_END);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(read_all(stream),
              "version 1\n"
              "nodes\n"
              "0 \"root\" -1\n"
              "end\n"
              "skeleton\n"
              "time 0\n"
              "0 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000\n"
              "end\n"
              "triangles\n"
              "Skin_Mat\n"
              "0 40.000000 0.000000 0.000000 0.000000 1.000000 0.000000 0.000000 0.000000 \n"
              "0 0.000000 40.000000 0.000000 0.000000 1.000000 0.000000 0.500000 0.000000 \n"
              "0 0.000000 0.000000 40.000000 0.000000 1.000000 0.000000 1.000000 0.000000 \n"
              "end\n");
    std::fclose(stream);
}

TEST(SmdWriting, LinesWithEveryHelper) {
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    const std::string long_name(3000, 'n');
    SmdTriangle triangle{};
    triangle.material = nullptr;  // no material line
    triangle.vertices[1].link_count = 1;
    triangle.vertices[1].links[0] = SmdLink{4, 1.0};
    int rc = 0;
    rc |= smd_write_node_line(stream, SmdNode{1, "arm", 0, true});
    rc |= smd_write_node_line(stream, SmdNode{2, long_name.c_str(), 1, false});
    rc |= smd_write_time_line(stream, 5);
    rc |= smd_write_bone_line(stream, SmdBoneFrame{1, {1, 2, 3}, {0, 0, 0}});
    rc |= smd_write_material_line(stream, long_name.c_str());
    rc |= smd_write_triangle(stream, triangle);
    EXPECT_EQ(rc, 0);
    const std::string zero_vertex =
        "0 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 ";
    EXPECT_EQ(read_all(stream), "1\t \"arm\"\t 0\t // null bone\n"
                                "2\t \"" + long_name + "\"\t 1\n"
                                "time 5\n "
                                "1  1.000000 2.000000 3.000000  0.000000 0.000000 0.000000\n" +
                                    long_name + "\n" + zero_vertex + "\n" + zero_vertex +
                                    " 1 4 1.000000 \n" + zero_vertex + "\n");
    std::fclose(stream);
}

TEST(SmdWriting, ReportsShortWrites) {
    EXPECT_EQ(smd_write_text(nullptr, SMD_HEADER), EXPORT_WRITE_FAILED);
    EXPECT_EQ(smd_write_bone_line(nullptr, SmdBoneFrame{}), EXPORT_WRITE_FAILED);

    std::FILE* full = std::fopen("/dev/full", "w");
    if (full == nullptr) GTEST_SKIP() << "/dev/full is not available";
    std::setvbuf(full, nullptr, _IONBF, 0);  // unbuffered: the write itself fails
    const std::string long_name(3000, 'n');
    SmdTriangle triangle{};
    triangle.material = "m";
    EXPECT_EQ(smd_write_text(full, SMD_HEADER), EXPORT_WRITE_FAILED);
    EXPECT_EQ(smd_write_node_line(full, SmdNode{0, "a", -1, false}), EXPORT_WRITE_FAILED);
    EXPECT_EQ(smd_write_node_line(full, SmdNode{0, long_name.c_str(), -1, false}), EXPORT_WRITE_FAILED);
    EXPECT_EQ(smd_write_vertex_line(full, SmdVertex{}), EXPORT_WRITE_FAILED);
    EXPECT_EQ(smd_write_static_vertex_line(full, SmdVertex{}), EXPORT_WRITE_FAILED);
    EXPECT_EQ(smd_write_time_line(full, 1), EXPORT_WRITE_FAILED);
    EXPECT_EQ(smd_write_material_line(full, long_name.c_str()), EXPORT_WRITE_FAILED);
    EXPECT_EQ(smd_write_triangle(full, triangle), EXPORT_WRITE_FAILED);
    EXPECT_EQ(smd_write_static_triangle(full, triangle), EXPORT_WRITE_FAILED);
    std::fclose(full);
}
