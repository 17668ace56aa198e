// Whole reference files of the small rigged model (rig_scene.h), written by
// the built plug-in through the host with the user's choices played by the
// script, compared byte for byte with golden files under
// tests/data/rigwriter that were checked line by line against the format and
// the gathering rules (see docs/rigwriter.md, "Golden files").
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host.h"
#include "loader.h"
#include "panels.h"
#include "rig_scene.h"
#include "ui_script.h"
#include "../common/uv_template_pictures.h"

namespace {

using lwhost::Host;

std::string golden_path(const std::string& name) {
    return std::string(LWSMD_TEST_DATA) + "/rigwriter/" + name;
}

// "" when the texts are equal, else the first line that differs (1-based)
// with both versions, or which text ends first.
std::string first_difference(const std::string& actual, const std::string& expected) {
    std::size_t a = 0, e = 0;
    for (int line = 1;; ++line) {
        if (a >= actual.size() && e >= expected.size()) return "";
        if (a >= actual.size()) return "line " + std::to_string(line) + ": the output ends here";
        if (e >= expected.size()) return "line " + std::to_string(line) + ": the output goes on past the golden file";
        std::size_t a_end = actual.find('\n', a), e_end = expected.find('\n', e);
        if (a_end == std::string::npos) a_end = actual.size() - 1;
        if (e_end == std::string::npos) e_end = expected.size() - 1;
        const std::string a_line = actual.substr(a, a_end - a + 1), e_line = expected.substr(e, e_end - e + 1);
        if (a_line != e_line)
            return "line " + std::to_string(line) + ":\n  written:  " + a_line + "  expected: " + e_line;
        a = a_end + 1;
        e = e_end + 1;
    }
}

// Runs "SMD Export Layout" on the rig with `choices` made in the panel, then
// one save; returns the file written.
std::string export_rig(const std::vector<lwhost::UiAction>& choices) {
    Host host;
    lwhost::SceneBuilder builder(host.scene);
    rigtest::build_rig(builder);
    std::string error;
    EXPECT_NE(host.plugins().load(rigtest::plugin_path(), &error), nullptr) << error;
    uv_test::TempDir dir;
    const std::string path = dir.file("rig.smd");
    for (const lwhost::UiAction& action : choices) host.script().add(action);
    host.script().press("Save SMD file").answer_file(path).close();
    EXPECT_EQ(host.run_generic("SMD Export Layout"), 0);
    EXPECT_TRUE(host.script().finished());
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.diagnostics.empty()) << host.diagnostics.front();
    return rigtest::read_file(path);
}

lwhost::UiAction pick(const char* item) {
    lwhost::UiAction action;
    action.kind = lwhost::UiActionKind::Pick;
    action.control = "Group Triangles by:";
    action.text = item;
    return action;
}

lwhost::UiAction set(const char* label, int value) {
    lwhost::UiAction action;
    action.kind = lwhost::UiActionKind::Set;
    action.control = label;
    action.int_value = value;
    return action;
}

struct GoldenCase {
    const char* file;
    std::vector<lwhost::UiAction> choices;
};

TEST(RefGolden, EveryGroupingWithAndWithoutNullBones) {
    const GoldenCase cases[] = {
        {"rig_uvmap.smd", {}},
        {"rig_uvmap_no_null_bones.smd", {set("Include null bones", 0)}},
        {"rig_surface.smd", {pick("Surface Name")}},
        {"rig_surface_no_null_bones.smd", {pick("Surface Name"), set("Include null bones", 0)}},
        {"rig_texture.smd", {pick("Surface Texture Image Name")}},
        {"rig_texture_no_null_bones.smd", {set("Include null bones", 0), pick("Surface Texture Image Name")}},
        // Back to the first item after another: the choice follows the item.
        {"rig_uvmap.smd", {pick("Surface Name"), pick("UV Texture Map Name")}},
    };
    for (const GoldenCase& c : cases) {
        const std::string expected = rigtest::read_file(golden_path(c.file));
        ASSERT_FALSE(expected.empty()) << c.file;
        EXPECT_EQ(first_difference(export_rig(c.choices), expected), "") << c.file;
    }
}

TEST(RefGolden, UnverifiedAndUnscaled) {
    // Scale off, whatever the float field holds; the triangle without complete
    // UVs is written with the values its corners were left with.
    const std::vector<lwhost::UiAction> choices = {set("Don't verify UV information", 1), set("Scale geometry:", 0)};
    const std::string expected = rigtest::read_file(golden_path("rig_uvmap_unverified_unscaled.smd"));
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(first_difference(export_rig(choices), expected), "");
}

TEST(RefGolden, TheComparisonCatchesAnyChangedByte) {
    const std::string golden = rigtest::read_file(golden_path("rig_uvmap.smd"));
    ASSERT_GT(golden.size(), 100u);
    EXPECT_EQ(first_difference(golden, golden), "");
    // One flipped byte in a vertex line of the last triangle.
    std::string flipped = golden;
    const std::size_t at = flipped.rfind("0.500000");
    ASSERT_NE(at, std::string::npos);
    flipped[at + 2] ^= 1;
    int line = 1;
    for (std::size_t i = 0; i < at; ++i) line += golden[i] == '\n';
    const std::string report = first_difference(flipped, golden);
    EXPECT_EQ(report.rfind("line " + std::to_string(line) + ":", 0), 0u) << report;
    EXPECT_NE(report.find("0.400000"), std::string::npos) << report;
    // A text cut short, and one with a line more.
    EXPECT_EQ(first_difference(golden.substr(0, golden.size() - 4), golden).rfind("line ", 0), 0u);
    EXPECT_NE(first_difference(golden + "end\n", golden), "");
    EXPECT_NE(first_difference(golden.substr(0, golden.size() - 1), golden), "");
}

}  // namespace
