// The whole export of a small animated skeleton, through the built plug-in
// and the host, against a golden file that was worked out from the written
// rules and read line by line (tests/data/motionwriter/walk_cycle.smd):
// two trees, a null bone, a pivot rotation, a goal-oriented bone, a bone
// that never moves and a frame (3) in which nothing changes.
#include <gtest/gtest.h>

#include "anim_fixture.h"
#include "ui_script.h"

namespace {

using namespace animtest;

std::string export_walk_scene(lwhost::Host& host, const std::string& output) {
    lwhost::SceneBuilder builder(host.scene);
    build_walk_scene(builder);
    EXPECT_NE(host.plugins().load(plugin_path()), nullptr);
    host.script().press("Save animation SMD file").answer_file(output).close();
    EXPECT_EQ(host.run_generic("SMD Animation"), 0);
    EXPECT_TRUE(host.messages.empty());
    return read_file(output);
}

TEST(AnimGolden, WalkCycleMatchesTheGoldenFileByteForByte) {
    const std::string golden = read_file(data_path("walk_cycle.smd"));
    ASSERT_FALSE(golden.empty()) << "missing " << data_path("walk_cycle.smd");
    TempDir dir;
    lwhost::Host host;
    const std::string written = export_walk_scene(host, dir.file("walk_cycle.smd"));
    EXPECT_EQ(first_difference(golden, written), "");
}

TEST(AnimGolden, TheComparisonCatchesOneChangedByteAndATruncation) {
    const std::string golden = read_file(data_path("walk_cycle.smd"));
    ASSERT_GT(golden.size(), 100u);

    std::string flipped = golden;
    const std::size_t at = flipped.find("time 2");
    ASSERT_NE(at, std::string::npos);
    flipped[at + 5] = '9';  // "time 9"
    EXPECT_EQ(first_difference(golden, flipped).rfind("line ", 0), 0u);
    EXPECT_NE(first_difference(golden, flipped).find("\"time 9\""), std::string::npos)
        << first_difference(golden, flipped);

    std::string shorter = golden.substr(0, golden.size() - 4);  // "end\n" missing
    EXPECT_NE(first_difference(golden, shorter).find("<end of file>"), std::string::npos)
        << first_difference(golden, shorter);

    // A single sign of zero is a difference too.
    std::string sign = golden;
    const std::size_t zero = sign.find(" -0.000000");
    ASSERT_NE(zero, std::string::npos);
    sign[zero + 1] = ' ';
    EXPECT_NE(first_difference(golden, sign), "");
}

}  // namespace
