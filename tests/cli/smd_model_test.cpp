// The tool's SMD reader and the round-trip comparison the demo judges by:
// what it reads, what it counts as unreadable, and that it tells a faithful
// copy from one that lost something.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

#include "smd_model.h"

namespace {

using lwcli::SmdModel;

SmdModel read(const std::string& text) {
    std::istringstream in(text);
    SmdModel model;
    lwcli::read_smd_model(in, model);
    return model;
}

constexpr char kNodes[] = "version 1\nnodes\n0 \"root bone\" -1\n1 \"arm\" 0\nend\n";

std::string reference(const std::string& triangles) {
    return std::string(kNodes) +
           "skeleton\ntime 0\n0 0 0 0 0 0 0\n1 1 0 0 0 0 0\nend\n"
           "triangles\n" +
           triangles + "end\n";
}

const std::string kTwoTriangles =
    "skin\n"
    "0 0 0 0 0 0 1 0 0 2 0 0.75 1 0.25\n"
    "1 1 0 0 0 0 1 1 0\n"
    "0 0 1 0 0 0 1 0 1\n"
    "cloth\n"
    "1 5 5 5 1 0 0 0.5 0.5\n"
    "1 6 5 5 1 0 0 0.5 0.5\n"
    "1 5 6 5 1 0 0 0.5 0.5\n";

TEST(SmdModelReader, ReadsNodesFramesTrianglesAndLinks) {
    const SmdModel model = read(reference(kTwoTriangles));
    ASSERT_EQ(model.nodes.size(), 2u);
    EXPECT_EQ(model.nodes[0].name, "root bone");
    EXPECT_EQ(model.nodes[1].parent, 0);
    ASSERT_EQ(model.frames.size(), 1u);
    EXPECT_EQ(model.frames[0].poses[1].position[0], 1.0);
    ASSERT_EQ(model.triangles.size(), 2u);
    EXPECT_EQ(model.triangles[1].material, "cloth");
    ASSERT_EQ(model.triangles[0].corners[0].links.size(), 2u);
    EXPECT_EQ(model.triangles[0].corners[0].links[1].node, 1);
    EXPECT_EQ(model.triangles[0].corners[0].links[1].weight, 0.25);
    EXPECT_EQ(model.skipped_lines, 0);
    EXPECT_EQ(lwcli::describe(model), "2 triangles, 2 materials, 2 nodes, 1 frame");
}

TEST(SmdModelReader, CountsWhatItCannotReadAndKeepsGoing) {
    // A short vertex line ends its triangle; a link count past the line's
    // end, a pose before any time line and a triangle cut short by "end"
    // are skipped; blanks, tabs and CR LF are read through.
    const std::string text = std::string(kNodes) +
                             "skeleton\r\n0 0 0 0 0 0 0\r\ntime 0\r\n0\t0 0 0 0 0 0\r\nend\r\n"
                             "triangles\n"
                             "  padded  \n0 0 0 0 0 0 1 0 0\n0 1 0 0 0 0 1 0 0\n\n0 0 1 0 0 0 1 0 0\n"
                             "broken\n0 0 0\n"
                             "links\n0 0 0 0 0 0 1 0 0 3 1 0.5\n"
                             "short\n0 0 0 0 0 0 1 0 0\nend\n";
    const SmdModel model = read(text);
    ASSERT_EQ(model.triangles.size(), 1u);
    EXPECT_EQ(model.triangles[0].material, "padded");
    ASSERT_EQ(model.frames.size(), 1u);
    EXPECT_EQ(model.frames[0].poses.size(), 1u);
    EXPECT_EQ(model.skipped_lines, 4);
    EXPECT_EQ(lwcli::describe(read("just some words\n")), "0 triangles, 0 materials, 0 nodes, 0 frames");
}

TEST(SmdComparisonTriangles, OrderAndStartingCornerDoNotMatterButWindingDoes) {
    const SmdModel original = read(reference(kTwoTriangles));
    // The triangles swapped, the first one's corners turned by one, the
    // numbers written otherwise and nodes renumbered with the same names.
    const std::string copy_text =
        "version 1\nnodes\n7 \"arm\" 9\n9 \"root bone\" -1\nend\n"
        "triangles\n"
        "cloth\n"
        "7 6.000001 5 5 1 0 0 0.5 0.5\n"
        "7 5 6 5 1 0 0 0.5 0.5\n"
        "7 5.0 5 5 1 0 0 0.5 0.5\n"
        "skin\n"
        "7 1 0 0 0 0 1 1 0\n"
        "9 0 1 0 0 0 1 0 1\n"
        "9 0 0 0 0 0 1 0 0 2 7 0.25 9 0.75\n"
        "end\n";
    const lwcli::SmdComparison same = lwcli::compare_triangles(original, read(copy_text), true);
    EXPECT_TRUE(same.matched) << (same.differences.empty() ? "" : same.differences[0]);
    EXPECT_NEAR(same.worst_position, 1e-6 / 6, 1e-9) << "relative to the size";

    // Two corners swapped: the same corners, the face turned over.
    std::string flipped = reference(kTwoTriangles);
    const std::string b = "1 1 0 0 0 0 1 1 0\n", c = "0 0 1 0 0 0 1 0 1\n";
    flipped.replace(flipped.find(b + c), b.size() + c.size(), c + b);
    const lwcli::SmdComparison turned = lwcli::compare_triangles(original, read(flipped), true);
    EXPECT_FALSE(turned.matched);
    EXPECT_NE(turned.differences[0].find("triangle 1 (skin, at 0.000000 0.000000 0.000000) has no counterpart"),
              std::string::npos)
        << turned.differences[0];
}

TEST(SmdComparisonTriangles, EachLossIsADifference) {
    const SmdModel original = read(reference(kTwoTriangles));
    struct Case {
        const char* what;
        std::string from, to;
        bool with_links;
    };
    const Case cases[] = {
        {"a corner moved", "1 6 5 5 1 0 0 0.5 0.5", "1 6.01 5 5 1 0 0 0.5 0.5", false},
        {"a normal turned", "1 6 5 5 1 0 0 0.5 0.5", "1 6 5 5 0.99 0.1 0 0.5 0.5", false},
        {"a UV moved", "1 6 5 5 1 0 0 0.5 0.5", "1 6 5 5 1 0 0 0.5 0.5001", false},
        {"a material renamed", "cloth\n", "linen\n", false},
        {"a weight changed", "2 0 0.75 1 0.25", "2 0 0.7 1 0.3", true},
        {"a link lost", "2 0 0.75 1 0.25", "1 0 1", true},
        {"the parent changed", "1 6 5 5 1 0 0 0.5 0.5", "0 6 5 5 1 0 0 0.5 0.5", true},
    };
    for (const Case& c : cases) {
        std::string text = reference(kTwoTriangles);
        text.replace(text.find(c.from), c.from.size(), c.to);
        EXPECT_FALSE(lwcli::compare_triangles(original, read(text), c.with_links).matched) << c.what;
    }
    // Links are not compared for a static mesh, which has none.
    std::string unlinked = reference(kTwoTriangles);
    unlinked.replace(unlinked.find(" 2 0 0.75 1 0.25"), 16, "");
    EXPECT_TRUE(lwcli::compare_triangles(original, read(unlinked), false).matched);

    std::string fewer = reference(kTwoTriangles);
    fewer.erase(fewer.find("cloth\n"), fewer.find("end\n", fewer.find("cloth\n")) - fewer.find("cloth\n"));
    const lwcli::SmdComparison lost = lwcli::compare_triangles(original, read(fewer), true);
    EXPECT_FALSE(lost.matched);
    EXPECT_EQ(lost.differences[0], "2 triangles became 1");
}

std::string sequence(const std::string& frames) {
    return std::string(kNodes) + "skeleton\n" + frames + "end\n";
}

TEST(SmdComparisonSkeletons, PosesAreComparedAsTurnsAndCarriedForward) {
    const double pi = std::acos(-1.0);
    char turned[128];
    // (a, b, c) and (a + pi, pi - b, c + pi) are one and the same turn.
    std::snprintf(turned, sizeof turned, "1 1 0 0 %f %f %f\n", 0.3 + pi, pi - 0.2, 0.1 + pi);
    const SmdModel original = read(sequence("time 0\n0 0 0 0 0 0 0\n1 1 0 0 0.3 0.2 0.1\n"
                                            "time 1\n0 0 0 1 0 0 0\n1 1 0 0 0.3 0.2 0.1\n"));
    // The copy leaves out the arm at frame 1: it keeps its pose from frame 0.
    const SmdModel copy = read(sequence("time 0\n0 0 0 0 0 0 0\n" + std::string(turned) + "time 1\n0 0 0 1 0 0 0\n"));
    const lwcli::SmdComparison same = lwcli::compare_skeletons(original, copy);
    EXPECT_TRUE(same.matched) << (same.differences.empty() ? "" : same.differences[0]);

    const SmdModel other_turn = read(sequence("time 0\n0 0 0 0 0 0 0\n1 1 0 0 0.3 0.2 0.2\n"
                                              "time 1\n0 0 0 1 0 0 0\n"));
    EXPECT_FALSE(lwcli::compare_skeletons(original, other_turn).matched);
    const SmdModel moved = read(sequence("time 0\n0 0 0 0 0 0 0\n1 1 0 0 0.3 0.2 0.1\n"
                                         "time 1\n0 0 0 1.001 0 0 0\n"));
    EXPECT_FALSE(lwcli::compare_skeletons(original, moved).matched);
    const SmdModel renumbered = read(sequence("time 0\n0 0 0 0 0 0 0\n1 1 0 0 0.3 0.2 0.1\n"
                                              "time 2\n0 0 0 1 0 0 0\n"));
    EXPECT_FALSE(lwcli::compare_skeletons(original, renumbered).matched);
}

TEST(SmdComparisonSkeletons, NodesAreComparedByNameAndParent) {
    const SmdModel original = read(sequence("time 0\n0 0 0 0 0 0 0\n1 1 0 0 0 0 0\n"));
    const SmdModel reparented = read(
        "nodes\n0 \"root bone\" 1\n1 \"arm\" -1\nend\nskeleton\ntime 0\n0 0 0 0 0 0 0\n1 1 0 0 0 0 0\nend\n");
    const lwcli::SmdComparison hung = lwcli::compare_skeletons(original, reparented);
    EXPECT_FALSE(hung.matched);
    EXPECT_EQ(hung.differences[0], "node \"root bone\" hangs from \"arm\", not \"\"");
    const SmdModel renamed =
        read("nodes\n0 \"root bone\" -1\n1 \"leg\" 0\nend\nskeleton\ntime 0\n0 0 0 0 0 0 0\n1 1 0 0 0 0 0\nend\n");
    const lwcli::SmdComparison lost = lwcli::compare_skeletons(original, renamed);
    EXPECT_FALSE(lost.matched);
    EXPECT_EQ(lost.differences[0], "node \"arm\" is missing");
}

}  // namespace
