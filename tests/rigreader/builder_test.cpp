// The builder's steps where the built plug-in cannot show them: the preview
// arithmetic at its limits, stored rest lengths, pose and selection texts for
// any value, and imports with a service withheld.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "import_fixture.h"
#include "rotation.h"

namespace {

using importtest::ImportFixture;
using lwhost::ItemId;

const char* const TWO_BONES = "nodes\n0 \"root\" -1\n1 \"child\" 0\nend\ntime 0\n0 1 2 3 0 0 0\n1 0 0 4 0 0 0\nend\n";

TEST(SkeletonPreview, TruncatesTowardZeroAndNeverConvertsOutOfRange) {
    struct Case {
        double fps, time;
        int preview_end, frames;
        int needed, last;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {24, 0, 5, 10, 1, 10},
        {24, 0, 60, 10, 0, 0},
        {24, 0, 10, 10, 0, 0},
        {24, 3.0 / 24, 5, 10, 1, 13},
        {24, -2.5 / 24, 5, 10, 1, 8},   // trunc(-2.5) is -2, not -3; trunc(7.5) < 10
        {24, 4.9 / 24, 5, 10, 1, 14},   // trunc(0.1) is 0
        {24, 1e300, 5, 10, 1, INT_MAX}, // a sum past INT_MAX is INT_MAX
        {24, 100.0 / 24, 5, INT_MAX, 1, INT_MAX},
        {24, -1e300, INT_MAX, 10, 0, 0},
        {24, std::nan(""), 5, 10, 0, 0},
        {24, inf, 5, 10, 0, 0},
        {std::nan(""), 0, 5, 10, 0, 0},
        {inf, 1.0, 5, 10, 0, 0},
    };
    for (const Case& c : cases) {
        int last = 0;
        EXPECT_EQ(preview_last_frame_needed(c.fps, c.time, c.preview_end, c.frames, &last), c.needed)
            << c.fps << " " << c.time << " " << c.preview_end << " " << c.frames;
        EXPECT_EQ(last, c.last) << c.fps << " " << c.time << " " << c.preview_end << " " << c.frames;
    }
}

TEST(SkeletonRestLengths, AreStoredForLaterImportsAndParentsOffTheTableCountAsNone) {
    ImportFixture f;
    f.state.calc_lengths = 1;
    ASSERT_EQ(f.import("nodes\n0 \"root\" -1\n1 \"arm\" 0\n2 \"hand\" 1\nend\ntime 0\n0 0 0 0 0 0 0\n"
                       "1 120 160 0 0 0 0\n2 0 0 0 0 0 0\nend\n"),
              SKELETON_OK);
    // The scale is a float; the parent takes its child's distance, and the
    // rows that got no length take their parent's current one, in index
    // order, so the hand takes what the arm was just given.
    const double length = double(0.025f) * 200.0;
    EXPECT_EQ(f.row(0).rest_length, length);
    EXPECT_EQ(f.row(1).rest_length, length);
    EXPECT_EQ(f.row(2).rest_length, length);
    EXPECT_EQ(std::count(f.host.command_log.begin(), f.host.command_log.end(), "BoneRestLength  0.100000"), 2);

    // Bones matched by name may carry any parent number from their file.
    ImportFixture g;
    lwhost::MeshBuilder mesh = g.builder.mesh("C:/models/odd.lwo");
    const ItemId object = g.builder.object("odd", mesh);
    g.builder.bone(object, "a");
    g.builder.bone(object, "b");
    g.builder.select(object);
    g.state.calc_lengths = 1;
    ASSERT_EQ(g.import("nodes\n0 \"a\" 1000\n1 \"b\" -7\nend\ntime 0\nend\n"), SKELETON_OK);
    EXPECT_EQ(g.row(0).rest_length, 1.0);
    EXPECT_EQ(g.row(1).rest_length, 1.0);
    EXPECT_EQ(std::count(g.host.command_log.begin(), g.host.command_log.end(), "BoneRestLength  0.100000"), 2);
}

// Poses and selections are composed without printf; the texts must be
// the ones send_command composes from "%f %f %f" and "%" PRIxPTR.
TEST(SkeletonTexts, PosesAndSelectionsAreWhatPrintfMakesOfThem) {
    auto printed = [](const char* word, const char* format, auto... values) {
        char arguments[1024];
        std::snprintf(arguments, sizeof arguments, format, values...);
        return std::string(word) + " " + arguments;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double values[] = {0.0, -0.0, 1.0, -1.0, 0.5e-6, 1.5e-6, 2.5e-6, -0.4e-6, 1e-7, -1e-7, 123456.789,
                             0.1 + 0.2, 1e15 + 0.3, -3.4028234663852886e38, 1e300, -1.7976931348623157e308,
                             4.9406564584124654e-324, inf, -inf, nan, -nan};
    ImportFixture f;
    f.state.scale = 1.0f;
    ImportBone row{};
    std::vector<std::string> expected;
    const std::size_t n = std::size(values);
    for (std::size_t i = 0; i < n; ++i) {
        for (int k = 0; k < 3; ++k) {
            row.position[k] = values[(i + std::size_t(k)) % n];
            row.rotation[k] = 0.1 * values[(i + 2 * std::size_t(k)) % n];
        }
        send_pose(f.state, row, false);
        expected.push_back(printed("Position ", "%f %f %f", row.position[0], row.position[2], row.position[1]));
        double hpb[3];
        smd_rotation_to_hpb(row.rotation, hpb);
        const double degrees = 57.29577951308232;  // per radian, as the builder has it
        expected.push_back(printed("Rotation ", "%f %f %f", hpb[0] * degrees, hpb[1] * degrees, hpb[2] * degrees));
    }
    for (std::uintptr_t id : {std::uintptr_t(0), std::uintptr_t(0x40010002), std::uintptr_t(0xabcdef),
                              std::uintptr_t(0xfedcba9876543210u), std::uintptr_t(-1)}) {
        select_item(f.state, reinterpret_cast<LWItemID>(id));
        expected.push_back(printed("SelectItem ", "%" PRIxPTR, id));
    }
    EXPECT_EQ(f.host.command_log, expected);
}

TEST(SkeletonServices, AMissingServiceSkipsOnlyItsStep) {
    {  // no interface info: no target, no null, no preview; the new bone is
       // not found, so its child is not created and nothing else follows
        ImportFixture f;
        f.host.withhold("LW Interface Info 3");
        f.builder.preview(0, 0);
        ASSERT_EQ(f.import(TWO_BONES), SKELETON_OK);
        const std::vector<std::string> sent(f.host.command_log.begin(), f.host.command_log.begin() + 3);
        EXPECT_EQ(sent, (std::vector<std::string>{"EditBones", "AddBone root", "BoneActive "}));
        EXPECT_EQ(f.host.command_log.back(), "RecordRestPosition ");
        EXPECT_EQ(f.row(0).item, nullptr);
        EXPECT_EQ(f.row(0).created, 1);
        EXPECT_EQ(f.row(1).created, 0);
    }
    {  // no bone info: every bone of the target is made active again
        ImportFixture f;
        f.host.withhold("LW Bone Info 3");
        lwhost::MeshBuilder mesh = f.builder.mesh("C:/models/body.lwo");
        const ItemId body = f.builder.object("body", mesh);
        const ItemId root = f.builder.bone(body, "root");
        f.builder.bone(body, "child", root);
        f.builder.select(body);
        f.state.sequence_mode = 1;
        ASSERT_EQ(f.import(TWO_BONES), SKELETON_OK);
        EXPECT_EQ(std::count(f.host.command_log.begin(), f.host.command_log.end(), "BoneActive "), 2);
    }
    {  // no generic local: nothing is built, the file is still read
        ImportFixture f;
        f.state.generic = nullptr;
        ASSERT_EQ(f.import(TWO_BONES), SKELETON_OK);
        EXPECT_TRUE(f.host.command_log.empty());
        EXPECT_EQ(f.state.node_count, 2);
    }
}

}  // namespace
