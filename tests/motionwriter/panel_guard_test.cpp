// What the panel keeps a user from saving: a frame range with nothing in it,
// whether the scene opened that way or the fields were edited to it, and a
// scale that is no finite float. Run through the built plug-in.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "anim_fixture.h"
#include "panels.h"
#include "ui_script.h"

namespace {

using namespace animtest;

constexpr char kTitle[] = "SMD Animation Exporter by Tolvane";
constexpr char kSave[] = "Save animation SMD file";

struct Exporter {
    lwhost::Host host;
    lwhost::SceneBuilder builder{host.scene};
    TempDir dir;

    explicit Exporter(int first, int last) {
        build_walk_scene(builder);
        builder.preview(first, last);
        std::string error;
        EXPECT_NE(host.plugins().load(plugin_path(), &error), nullptr) << error;
    }
    int run() { return host.run_generic("SMD Animation"); }
    const lwhost::PanelRecord& panel() {
        const lwhost::PanelRecord* record = host.panels().find(kTitle);
        if (record == nullptr) {
            static const lwhost::PanelRecord none;
            ADD_FAILURE() << "the panel never opened";
            return none;
        }
        return *record;
    }
};

TEST(AnimPanelGuard, AnEmptyPreviewRangeGhostsSaveFromTheStart) {
    Exporter e(10, 5);
    e.host.script().press(kSave).set("Last frame:", 12).set("Last frame:", 10).close();
    ASSERT_EQ(e.run(), 0);
    const lwhost::PanelRecord& panel = e.panel();
    ASSERT_EQ(panel.views.size(), 4u);  // open, the refused press leaves none, two edits, close
    EXPECT_TRUE(panel.views[0].control(kSave)->ghosted) << "frames 10 to 5";
    EXPECT_FALSE(panel.views[1].control(kSave)->ghosted) << "frames 10 to 12";
    EXPECT_TRUE(panel.views[2].control(kSave)->ghosted) << "frames 10 to 10, as an edit ghosts it";
    EXPECT_TRUE(e.host.file_requests.empty());
    EXPECT_TRUE(e.host.messages.empty());
}

TEST(AnimPanelGuard, ARangeWithFramesOpensWithSaveEnabled) {
    Exporter e(0, 4);
    e.host.script().close();
    ASSERT_EQ(e.run(), 0);
    EXPECT_FALSE(e.panel().views.at(0).control(kSave)->ghosted);
}

TEST(AnimPanelGuard, AScaleThatIsNoFiniteFloatGivesWayToTheLastGoodOne) {
    Exporter e(0, 4);
    const std::string path = e.dir.file("walk.smd");
    e.host.script()
        .set(lwhost::unlabelled("float", 0), 2.0)
        .set(lwhost::unlabelled("float", 0), 1e300)
        .press(kSave)
        .answer_file(path)
        .close();
    ASSERT_EQ(e.run(), 0);
    const lwhost::PanelRecord& panel = e.panel();
    ASSERT_EQ(panel.views.size(), 5u);
    EXPECT_EQ(panel.views[2].control("FloatControl", 0)->float_value, 2.0);
    EXPECT_TRUE(e.host.messages.empty());

    // The pelvis's frame 0 line of the golden file ("10 0 40" at 40), scaled
    // by 2, not by 1e300.
    const std::string text = read_file(path);
    EXPECT_NE(text.find("time 0\n 0  0.500000 0.000000 2.000000 "), std::string::npos) << text;
    EXPECT_EQ(text.find("inf"), std::string::npos) << text;
    EXPECT_EQ(text.find("nan"), std::string::npos) << text;
}

}  // namespace
