// The save step and the frame stepping called directly, for the cases the
// panel's ghosting keeps a user from reaching, and the panel's creation
// failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "anim_fixture.h"
#include "motionwriter.h"
#include "ui_script.h"

namespace {

using namespace animtest;

int evaluate(void*, const char* text) { return lwhost::Host::current()->layout_command(text); }

std::vector<std::string> stepping(const lwhost::Host& host) {
    std::vector<std::string> out;
    for (const auto& text : host.command_log)
        if (text.rfind("GoToFrame", 0) == 0 || text == "RefreshNow") out.emplace_back(text);
    return out;
}

TEST(AnimExportStep, LastFrameBelowFirstWritesASkeletonWithoutTimeBlocks) {
    AnimFixture f;
    WalkScene s = build_walk_scene(f.builder);
    ASSERT_NO_FATAL_FAILURE(f.collect(s.object));
    LWLayoutGeneric generic{nullptr, nullptr, nullptr, nullptr, nullptr, evaluate};
    f.state.generic = &generic;
    f.state.firstFrame = 3;
    f.state.lastFrame = 1;
    TempDir dir;
    f.host.script().answer_file(dir.file("empty.smd"));
    export_animation(nullptr, f.state);
    EXPECT_TRUE(stepping(f.host).empty());
    EXPECT_TRUE(f.host.messages.empty());
    const std::string text = read_file(dir.file("empty.smd"));
    EXPECT_EQ(text.substr(text.find("skeleton\n")), "skeleton\nend\n");
}

TEST(AnimExportStep, SteppingReachesTheLargestFrameAndStops) {
    lwhost::Host host;
    AnimExportState state{};
    LWLayoutGeneric generic{nullptr, nullptr, nullptr, nullptr, nullptr, evaluate};
    state.generic = &generic;
    state.firstFrame = INT_MAX - 1;
    state.lastFrame = INT_MAX;
    step_frames(state);
    EXPECT_EQ(stepping(host), (std::vector<std::string>{"GoToFrame 2147483646", "RefreshNow", "GoToFrame 2147483647",
                                                        "RefreshNow"}));
    host.command_log.clear();
    state.firstFrame = -1;
    state.lastFrame = -2;
    step_frames(state);
    EXPECT_TRUE(host.command_log.empty());
}

TEST(AnimExportStep, ExtensionReplacementAndAPanelThatCannotBeMade) {
    char name[] = "a.lws.lws";
    EXPECT_EQ(replace_scene_extension(name, "lws"), 1);
    EXPECT_STREQ(name, "a.smd.lws");
    char none[] = "scene.txt";
    EXPECT_EQ(replace_scene_extension(none, "lws"), 0);
    EXPECT_STREQ(none, "scene.txt");
    char empty[] = "";
    EXPECT_EQ(replace_scene_extension(empty, "lws"), 0);
    EXPECT_EQ(replace_scene_extension(nullptr, "lws"), 0);

    LWPanelFuncs panels{};
    panels.create = [](char*, void*) -> LWPanelID { return nullptr; };
    AnimExportState state{};
    EXPECT_EQ(open_anim_panel(state, &panels), 1);
    EXPECT_EQ(state.panel, nullptr);
    EXPECT_EQ(state.controls, nullptr);
}

// The host's panels never fail; these do, and everything else is the host's.
LWPanelFuncs g_broken_panels = [] {
    LWPanelFuncs panels{};
    panels.create = [](char*, void*) -> LWPanelID { return nullptr; };
    return panels;
}();

void* global_without_panels(const char* name, int use) {
    if (std::string(name) == LWPANELFUNCS_GLOBAL) return &g_broken_panels;
    return lwhost::Host::global_function(name, use);
}

TEST(AnimExportStep, APanelThatCannotBeMadeIsReportedAndEverythingUndone) {
    lwhost::Host host;
    lwhost::SceneBuilder builder(host.scene);
    WalkScene s = build_walk_scene(builder);
    builder.box_threshold(1);
    ASSERT_NE(host.plugins().load(plugin_path()), nullptr);  // serves the motion handler
    LWLayoutGeneric generic{nullptr, nullptr, nullptr, nullptr, nullptr, evaluate};
    EXPECT_EQ(anim_activate(2, global_without_panels, &generic, nullptr), AFUNC_OK);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].line1, "Error creating user interface !");
    EXPECT_EQ(std::count(host.command_log.begin(), host.command_log.end(),
                         "ApplyServer ItemMotionHandler SMD_Anim_Motion"), 6);
    EXPECT_EQ(std::count(host.command_log.begin(), host.command_log.end(),
                         "RemoveServer ItemMotionHandler SMD_Anim_Motion"), 6);
    EXPECT_EQ(host.plugins().motion_handlers().total(), 0u);
    EXPECT_EQ(host.scene.selection, std::vector<ItemId>{s.object});
    EXPECT_EQ(host.command_log.back(), "BoundingBoxThreshold 1");
    EXPECT_EQ(host.scene.settings.box_threshold, 1);
}

}  // namespace
