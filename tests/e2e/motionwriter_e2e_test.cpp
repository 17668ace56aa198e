// "SMD Animation" and "SMD_Anim_Motion" loaded from the built plug-in and run
// by the host on animated skeletons: what the activation does to Layout and
// undoes on every path, the panel as the user sees it, its events, the file
// request and the frame stepping, the files and the messages.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <lwrender.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host.h"
#include "loader.h"
#include "panels.h"
#include "scene_builder.h"
#include "ui_script.h"
#include "../temp_dir.h"
#include "walk_animation.h"
#include "test_files.h"

namespace {

using test_support::read_file;

using lwhost::Host;
using lwhost::ItemId;
using lwhost::SpanType;

constexpr const char* TITLE = "SMD Animation Exporter by Tolvane";
constexpr const char* SAVE = "Save animation SMD file";
constexpr const char* APPLY = "ApplyServer ItemMotionHandler SMD_Anim_Motion";
constexpr const char* REMOVE = "RemoveServer ItemMotionHandler SMD_Anim_Motion";

std::string plugin_path() { return std::string(LWSMD_PLUGIN_DIR) + "/motionwriter.so"; }

std::string hex(ItemId id) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", unsigned(id));
    return text;
}

std::vector<std::string> error_texts(const Host& host) {
    std::vector<std::string> texts;
    for (const auto& message : host.messages) {
        EXPECT_EQ(message.level, lwhost::MessageLevel::Error);
        EXPECT_FALSE(message.has_line2);
        texts.push_back(message.line1);
    }
    return texts;
}

std::vector<std::string> commands_starting(const Host& host, const std::string& word) {
    std::vector<std::string> found;
    for (const auto& text : host.command_log)
        if (text.rfind(word, 0) == 0) found.emplace_back(text);
    return found;
}

// The address in "smd_anim_mem", or 1 when there is no such block.
std::uintptr_t shared_block(const Host& host) {
    for (const auto& block : host.memory_blocks) {
        if (block->id != "smd_anim_mem") continue;
        void* stored = nullptr;
        std::memcpy(&stored, block->bytes.data(), sizeof stored);
        return reinterpret_cast<std::uintptr_t>(stored);
    }
    return 1;
}

using TempDir = test_files::TempDir;

// A rig of three bones on a three-point object: root "hip" (keyed in x),
// "knee" under it, and the null bone "toe" under the knee.
struct Rig {
    Host host;
    lwhost::SceneBuilder b{host.scene};
    ItemId object = 0, hip = 0, knee = 0, toe = 0;

    explicit Rig(const std::string& scene_file = "C:/scenes/walk.lws") {
        b.fps(24).preview(0, 4).box_threshold(2);
        if (!scene_file.empty()) b.scene_file(scene_file);
        lwhost::MeshBuilder mesh = b.mesh("C:/models/walker.lwo");
        mesh.triangle(mesh.point(0, 0, 0), mesh.point(1, 0, 0), mesh.point(0, 1, 0));
        object = b.object("walker", mesh);
        hip = b.bone(object, "hip").rest({0, 1, 0}, {0, 0, 0}).weight_map("hip");
        knee = b.bone(object, "knee", hip).rest({0, -0.5, 0}, {0, 0, 0}).weight_map("knee");
        toe = b.bone(object, "toe", knee).rest({0, 0, 0.25}, {0, 0, 0});
        b.key(hip, lwhost::kPositionX, 0, 0.0, SpanType::Linear).key(hip, lwhost::kPositionX, 4, 1.0, SpanType::Linear);
        b.select(object);
        EXPECT_NE(host.plugins().load(plugin_path()), nullptr);
    }

    int run() { return host.run_generic("SMD Animation"); }

    const lwhost::PanelRecord* panel() { return host.panels().find(TITLE); }

    std::vector<std::string> apply_and_remove(const char* server_command) const {
        std::vector<std::string> texts = {"EditBones"};
        for (ItemId bone : {hip, knee, toe}) {
            texts.push_back("SelectItem " + hex(bone));
            texts.push_back(server_command);
        }
        return texts;
    }
};

// ---- activation -----------------------------------------------------------------

TEST(AnimActivation, PreparesLayoutAndUndoesEverythingWhenThePanelCloses) {
    Rig rig;
    rig.host.script().close();
    ASSERT_EQ(rig.run(), 0);
    std::vector<std::string> expected = {"EditObjects", "BoundingBoxThreshold 4"};
    for (const auto& text : rig.apply_and_remove(APPLY)) expected.push_back(text);
    for (const auto& text : rig.apply_and_remove(REMOVE)) expected.push_back(text);
    expected.push_back("SelectItem " + hex(rig.object));
    expected.push_back("BoundingBoxThreshold 2");
    EXPECT_EQ(rig.host.command_log, expected);
    EXPECT_EQ(rig.host.plugins().motion_handlers().total(), 0u);
    EXPECT_EQ(shared_block(rig.host), 0u);  // the state is withdrawn
    EXPECT_EQ(rig.host.scene.settings.box_threshold, 2);
    EXPECT_EQ(rig.host.scene.selection, std::vector<ItemId>{rig.object});
    EXPECT_EQ(rig.host.panels().live_count(), 0u);
    EXPECT_TRUE(rig.host.messages.empty());
    EXPECT_TRUE(rig.host.diagnostics.empty()) << rig.host.diagnostics.front();
    ASSERT_EQ(rig.host.panel_log().size(), 1u);
    EXPECT_EQ(rig.host.panel_log()[0].flags, 3);
}

TEST(AnimActivation, FailuresBeforeThePanelReportAndRestore) {
    {  // threshold already above the largest point count: no threshold command
        Rig rig;
        rig.b.box_threshold(4);
        rig.host.script().close();
        ASSERT_EQ(rig.run(), 0);
        EXPECT_TRUE(commands_starting(rig.host, "BoundingBoxThreshold").empty());
    }
    {  // nothing selected
        Rig rig;
        rig.host.scene.selection.clear();
        ASSERT_EQ(rig.run(), 0);
        EXPECT_EQ(error_texts(rig.host), std::vector<std::string>{"Select object you want to export."});
        EXPECT_EQ(rig.host.command_log,
                  (std::vector<std::string>{"EditObjects", "BoundingBoxThreshold 4", "BoundingBoxThreshold 2"}));
        EXPECT_TRUE(rig.host.panel_log().empty());
    }
    {  // the object has no bones
        Rig rig;
        lwhost::MeshBuilder mesh = rig.b.mesh("C:/models/rock.lwo");
        ItemId rock = rig.b.object("rock", mesh);
        rig.host.scene.selection = {rock};
        ASSERT_EQ(rig.run(), 0);
        EXPECT_EQ(error_texts(rig.host), std::vector<std::string>{"Selected object has no skeletal information."});
        EXPECT_EQ(rig.host.command_log,
                  (std::vector<std::string>{"EditObjects", "BoundingBoxThreshold 4", "BoundingBoxThreshold 2"}));
        EXPECT_EQ(shared_block(rig.host), 0u);  // published, then withdrawn
        EXPECT_TRUE(rig.host.panel_log().empty());
    }
    {  // no shared block and no bone info: as good as no skeleton
        for (const char* service : {"Global Render Memory", "LW Bone Info 3"}) {
            Rig rig;
            rig.host.withhold(service);
            ASSERT_EQ(rig.run(), 0);
            EXPECT_EQ(error_texts(rig.host), std::vector<std::string>{"Selected object has no skeletal information."})
                << service;
            EXPECT_TRUE(commands_starting(rig.host, "ApplyServer").empty());
            EXPECT_TRUE(rig.host.panel_log().empty());
        }
    }
}

TEST(AnimActivation, TheFirstSelectedObjectIsExported) {
    Rig rig;
    lwhost::MeshBuilder mesh = rig.b.mesh("C:/models/other.lwo");
    ItemId other = rig.b.object("other", mesh);
    ItemId lamp = rig.b.light("lamp");
    rig.host.scene.selection = {rig.knee, lamp, rig.object, other};
    rig.host.script().close();
    ASSERT_EQ(rig.run(), 0);
    ASSERT_NE(rig.panel(), nullptr);
    EXPECT_EQ(rig.panel()->views[0].controls[0].label, "Object: C:/models/walker.lwo");
    EXPECT_EQ(rig.host.command_log[rig.host.command_log.size() - 2], "SelectItem " + hex(rig.object));
}

// ---- the panel --------------------------------------------------------------------

std::string view_text(const lwhost::PanelView& view) { return lwhost::panel_view_text(view); }

TEST(AnimPanel, IsLaidOutWithTheSceneInformation) {
    Rig rig;
    rig.host.script().close();
    ASSERT_EQ(rig.run(), 0);
    const lwhost::PanelRecord* panel = rig.panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->width, 520);
    EXPECT_EQ(panel->height, 312);
    const auto& controls = panel->views[0].controls;
    ASSERT_EQ(controls.size(), 8u) << view_text(panel->views[0]);
    struct Expected {
        const char* type;
        const char* label;
        int x, y;
    };
    const Expected expected[] = {
        {"TextControl", "Object: C:/models/walker.lwo", 5, 10}, {"MultiListBoxControl", "Valid Geometry List", 5, 42},
        {"BoolControl", "Scale geometry:", 8, 168},            {"FloatControl", "", 112, 168},
        {"BoolControl", "Include null bones", 398, 168},        {"NumControl", "First frame:", 60, 202},
        {"NumControl", "Last frame:", 59, 232},                 {"ButtonControl", SAVE, 378, 232},
    };
    for (std::size_t i = 0; i < controls.size(); ++i) {
        EXPECT_EQ(controls[i].type, expected[i].type) << i;
        EXPECT_EQ(controls[i].label, expected[i].label) << i;
        EXPECT_EQ(controls[i].x, expected[i].x) << i;
        EXPECT_EQ(controls[i].y, expected[i].y) << i;
        EXPECT_FALSE(controls[i].ghosted) << i;
    }
    EXPECT_EQ(controls[0].lines, std::vector<std::string>{""});
    EXPECT_EQ(controls[1].column_widths, (std::vector<int>{300, 200}));
    EXPECT_EQ(controls[1].header, (std::vector<std::string>{"Scene Information", "Count"}));
    EXPECT_EQ(controls[1].rows, (std::vector<std::vector<std::string>>{
                                    {"Bones", "2"}, {"Null Bones", "1"}, {"First Frame", "0"}, {"Last Frame", "4"},
                                    {"Frame Step", "1"}}));
    EXPECT_EQ(controls[1].h, 19 * 7);  // five visible rows
    EXPECT_EQ(controls[2].int_value, 1);
    EXPECT_EQ(controls[3].float_value, 40.0);
    EXPECT_EQ(controls[4].int_value, 1);
    EXPECT_EQ(controls[5].int_value, 0);
    EXPECT_EQ(controls[6].int_value, 4);
}

TEST(AnimPanel, WithoutAnObjectFileNameThereIsNoObjectLine) {
    Rig rig;
    ItemId holder = rig.b.null_object("holder");
    rig.b.bone(holder, "only").weight_map("only");
    rig.b.preview(3, 9, 0);  // a step of 0 is shown as 1
    rig.host.scene.selection = {holder};
    rig.host.script().close();
    ASSERT_EQ(rig.run(), 0);
    ASSERT_NE(rig.panel(), nullptr);
    const auto& controls = rig.panel()->views[0].controls;
    ASSERT_EQ(controls.size(), 7u);
    EXPECT_EQ(controls[0].type, "MultiListBoxControl");
    EXPECT_EQ(controls[0].y, 42);
    EXPECT_EQ(controls[6].label, SAVE);
    EXPECT_EQ(controls[6].x, 378);
    EXPECT_EQ(controls[0].rows, (std::vector<std::vector<std::string>>{
                                    {"Bones", "1"}, {"Null Bones", "0"}, {"First Frame", "3"}, {"Last Frame", "9"},
                                    {"Frame Step", "1"}}));
}

TEST(AnimPanel, EventsGhostTheScaleValueAndTheSaveButton) {
    Rig rig;
    rig.host.script()
        .set("Scale geometry:", 0)
        .set("Scale geometry:", 1)
        .set("First frame:", 4)  // equal to the last frame
        .set("First frame:", 1)
        .set("Last frame:", 0)
        .set("Last frame:", 3)
        .close();
    ASSERT_EQ(rig.run(), 0);
    const lwhost::PanelRecord* panel = rig.panel();
    ASSERT_NE(panel, nullptr);
    ASSERT_EQ(panel->views.size(), 8u);  // open, six actions, close
    auto ghosted = [&](std::size_t view, const char* label) { return panel->views[view].control(label)->ghosted; };
    EXPECT_TRUE(panel->views[1].controls[3].ghosted);  // the unlabelled scale value
    EXPECT_FALSE(panel->views[2].controls[3].ghosted);
    EXPECT_TRUE(ghosted(3, SAVE));
    EXPECT_FALSE(ghosted(4, SAVE));
    EXPECT_TRUE(ghosted(5, SAVE));
    EXPECT_FALSE(ghosted(6, SAVE));
    // The list reads the state whenever it is drawn.
    EXPECT_EQ(panel->views[6].controls[1].rows[2], (std::vector<std::string>{"First Frame", "1"}));
    EXPECT_EQ(panel->views[6].controls[1].rows[3], (std::vector<std::string>{"Last Frame", "3"}));
}

// ---- saving -----------------------------------------------------------------------

TEST(AnimSave, TheRequestOffersTheSceneNameAndTheFramesAreSteppedOneByOne) {
    TempDir dir;
    Rig rig;
    rig.b.preview(0, 4, 2);  // the preview step is shown, never used
    rig.host.script().press(SAVE).answer_file(dir.file("walk.smd")).close();
    ASSERT_EQ(rig.run(), 0);
    ASSERT_EQ(rig.host.file_requests.size(), 1u);
    const auto& request = rig.host.file_requests[0];
    EXPECT_EQ(request.version, 3);
    EXPECT_EQ(request.type, 2);
    EXPECT_EQ(request.title, "Save SMD File");
    EXPECT_EQ(request.file_type, "SMD File");
    EXPECT_EQ(request.base_name_in, "C:/scenes/walk.smd");
    EXPECT_EQ(request.buffer_length, 1024);

    std::vector<std::string> stepping;
    for (const auto& text : rig.host.command_log)
        if (text.rfind("GoToFrame", 0) == 0 || text == "RefreshNow") stepping.emplace_back(text);
    EXPECT_EQ(stepping, (std::vector<std::string>{"GoToFrame 0", "RefreshNow", "GoToFrame 1", "RefreshNow",
                                                  "GoToFrame 2", "RefreshNow", "GoToFrame 3", "RefreshNow",
                                                  "GoToFrame 4", "RefreshNow"}));
    // The handler only observes.
    EXPECT_TRUE(rig.host.plugins().motion_handlers().set_param_calls.empty());
    EXPECT_TRUE(rig.host.messages.empty());
    // hip moves along x, 10 file units per frame; knee and toe never move.
    const std::string text = read_file(dir.file("walk.smd"));
    EXPECT_EQ(text, kWalkAnimationSmd);
}

std::string offered_name(const std::string& scene_file) {
    Rig rig(scene_file);
    rig.host.script().press(SAVE).cancel_file().close();
    EXPECT_EQ(rig.run(), 0);
    // A cancelled request ends the press: nothing is stepped.
    EXPECT_TRUE(commands_starting(rig.host, "GoToFrame").empty());
    EXPECT_TRUE(rig.host.messages.empty());
    return rig.host.file_requests.empty() ? "<no request>" : rig.host.file_requests[0].base_name_in;
}

TEST(AnimSave, TheDefaultNameTurnsTheFirstLwsIntoSmd) {
    EXPECT_EQ(offered_name("C:/scenes/RUN.LWS"), "C:/scenes/RUN.smd");
    EXPECT_EQ(offered_name("C:/lws/run.lws"), "C:/smd/run.lws");  // the folder's, not the extension
    EXPECT_EQ(offered_name("C:/Lws/run.Lws"), "C:/Lws/run.Lws");
    EXPECT_EQ(offered_name(""), "");
    const std::string folder = "/" + std::string(1000, 'a') + "/";
    const std::string at_limit = folder + std::string(1019 - folder.size() - 4, 'b') + ".lws";
    ASSERT_EQ(at_limit.size(), 1019u);
    EXPECT_EQ(offered_name(at_limit), at_limit);
    const std::string below = at_limit.substr(1);
    EXPECT_EQ(offered_name(below), below.substr(0, below.size() - 3) + "smd");
    const std::string too_long = folder + std::string(1100, 'c') + ".lws";
    EXPECT_EQ(offered_name(too_long), too_long.substr(0, 1023));
}

TEST(AnimSave, EveryPressSamplesTheRangeShownAtThatMoment) {
    TempDir dir;
    Rig rig;
    rig.host.script()
        .press(SAVE)
        .answer_file(dir.file("first.smd"))
        .set("First frame:", 2)
        .set("Last frame:", 3)
        .set("Scale geometry:", 0)
        .set("Include null bones", 0)
        .press(SAVE)
        .answer_file(dir.file("second.smd"))
        .close();
    ASSERT_EQ(rig.run(), 0);
    EXPECT_TRUE(rig.host.messages.empty());
    EXPECT_EQ(commands_starting(rig.host, "GoToFrame").size(), 5u + 2u);
    EXPECT_EQ(commands_starting(rig.host, "GoToFrame").back(), "GoToFrame 3");
    EXPECT_NE(read_file(dir.file("first.smd")).find("time 4\n 0  40.000000 0.000000 40.000000"), std::string::npos);
    // Unscaled, frames 2 and 3 only, the null bone without its node line.
    EXPECT_EQ(read_file(dir.file("second.smd")),
              "version 1\nnodes\n0\t \"hip\"\t -1\n1\t \"knee\"\t 0\nend\nskeleton\n"
              "time 2\n 0  0.500000 0.000000 1.000000  0.000000 -0.000000 -0.000000\n"
              "1  0.000000 0.000000 -0.500000  0.000000 -0.000000 -0.000000\n"
              "2  0.000000 0.250000 0.000000  0.000000 -0.000000 -0.000000\n"
              "time 3\n 0  0.750000 0.000000 1.000000  0.000000 -0.000000 -0.000000\n"
              "end\n");
}

TEST(AnimSave, FailuresAreReportedAndLeaveNoFile) {
    TempDir dir;
    {  // a folder that does not exist
        Rig rig;
        rig.host.script().press(SAVE).answer_file(dir.file("missing/walk.smd")).close();
        ASSERT_EQ(rig.run(), 0);
        EXPECT_EQ(error_texts(rig.host), std::vector<std::string>{"Unable to save file!"});
    }
    {  // the target is a folder: it cannot be written, so nothing is made beside it
        const std::string target = dir.file("taken.smd");
        ASSERT_EQ(mkdir(target.c_str(), 0700), 0);
        Rig rig;
        rig.host.script().press(SAVE).answer_file(target).close();
        ASSERT_EQ(rig.run(), 0);
        EXPECT_EQ(error_texts(rig.host), std::vector<std::string>{"Unable to save file!"});
        EXPECT_NE(access((target + ".tmp").c_str(), F_OK), 0);
    }
    {  // a range wider than an int counts: nothing stepped, nothing written
        Rig rig;
        rig.host.script()
            .set("First frame:", -2000000000)
            .set("Last frame:", 2000000000)
            .press(SAVE)
            .answer_file(dir.file("huge.smd"))
            .close();
        ASSERT_EQ(rig.run(), 0);
        EXPECT_EQ(error_texts(rig.host), std::vector<std::string>{"Error saving SMD file!"});
        EXPECT_TRUE(commands_starting(rig.host, "GoToFrame").empty());
        EXPECT_NE(access(dir.file("huge.smd").c_str(), F_OK), 0);
        EXPECT_EQ(rig.host.plugins().motion_handlers().total(), 0u);
    }
    {  // the requester fails: the press ends quietly
        Rig rig;
        rig.host.script().press(SAVE).fail_file().close();
        ASSERT_EQ(rig.run(), 0);
        EXPECT_TRUE(rig.host.messages.empty());
        EXPECT_TRUE(commands_starting(rig.host, "GoToFrame").empty());
    }
    {  // no requester at all
        Rig rig;
        rig.host.withhold("File Request 2");
        rig.host.script().press(SAVE).close();
        ASSERT_EQ(rig.run(), 0);
        EXPECT_TRUE(rig.host.messages.empty());
        EXPECT_TRUE(rig.host.file_requests.empty());
    }
}

}  // namespace
