// The headless panel toolkit as the user stand-in drives it: list and popup
// callbacks, actions that set values and fire events, ghosted controls,
// unmatched actions, nested panels sharing one script, and plug-ins that
// close or destroy a panel from its own event.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "panels_fixture.h"

namespace lwhost {
namespace {

using namespace panels_fixture;

TEST_F(PanelsTest, ListAndPopupCallbacksAreCalledAsLightWaveDoes) {
    host.script().close();
    run();
    // Column widths asked until the first 0; the header is row -1, every column.
    ASSERT_GE(state.columns_asked.size(), 3u);
    EXPECT_EQ(std::vector<int>(state.columns_asked.begin(), state.columns_asked.begin() + 3),
              (std::vector<int>{0, 1, 2}));
    for (std::size_t i = 0; i < state.columns_asked.size(); ++i)
        EXPECT_LE(state.columns_asked[i], 2) << "no column asked past the one that answered 0";
    EXPECT_EQ(std::vector<int>(state.header_columns_asked.begin(), state.header_columns_asked.begin() + 2),
              (std::vector<int>{0, 1}));
    // The shared cell buffer is copied on each call, so rows keep their values.
    EXPECT_EQ(host.panel_log()[0].rows("Valid Geometry List"),
              (std::vector<std::vector<std::string>>{
                  {"Triangles", "12"}, {"Bones", "2"}, {"Null Bones", "1"}}));

    // Without UV maps the popup's own callbacks give two items.
    Host other;   // a fresh host: its own script and log
    FakeExporter second;
    second.pf = static_cast<LWPanelFuncs*>(other.global("LWPanelServices", 0));
    second.uv_maps = 0;
    build(second);
    second.pf->open(second.panel, 3);
    second.pf->destroy(second.panel);
    EXPECT_EQ(other.panel_log()[0].control("Group Triangles by:")->items,
              (std::vector<std::string>{"Surface Name", "Surface Texture Image Name"}));
}

int endless_columns(void*, int) { return 50; }
char* no_names(void*, int, int) { return nullptr; }
int one_row(void*) { return 1; }

TEST_F(PanelsTest, ListsWithoutUserDataOrEndlessColumns) {
    LWPanelID panel = pf->create(const_cast<char*>("Lists"), nullptr);
    LWPanControlDesc desc = plain(LWT_MLIST);
    desc.multiList.width = 100;
    desc.multiList.visItems = 1;
    desc.multiList.countFn = one_row;
    desc.multiList.nameFn = no_names;
    desc.multiList.colWidth = endless_columns;
    LWControl* endless = add(pf, panel, "MultiListBoxControl", desc, "Endless");
    set_userdata(endless, nullptr);   // set, even to null: that initialises it
    add(pf, panel, "MultiListBoxControl", desc, "Uninitialised");
    host.script().click("Uninitialised", 0).close();
    pf->open(panel, 3);
    pf->destroy(panel);

    const PanelRecord& record = host.panel_log()[0];
    EXPECT_EQ(record.control("Endless")->column_widths, std::vector<int>(10, 50)) << "at most 10 columns";
    EXPECT_EQ(record.control("Endless")->rows,
              (std::vector<std::vector<std::string>>{std::vector<std::string>(10)}));
    EXPECT_TRUE(record.control("Uninitialised")->column_widths.empty());
    EXPECT_TRUE(record.control("Uninitialised")->rows.empty());
    EXPECT_TRUE(noted("panels: open: multi-list \"Uninitialised\" in \"Lists\" has no CTL_USERDATA; "
                      "it shows nothing"));
    EXPECT_TRUE(noted("panels: \"Lists\": multi-list without CTL_USERDATA takes no clicks; "
                      "skipped: click \"Uninitialised\" 0"));
}

TEST_F(PanelsTest, ActionsSetValuesThenFireEventsWithUserData) {
    host.script()
        .set("Don't verify UV information", 1)
        .pick("Group Triangles by:", "Surface Texture Image Name")
        .set(unlabelled("float", 0), 12.5)
        .set_rgb("Foreground Color", 255, 0, 10)
        .set("Scale geometry:", 0)
        .press("Save SMD file")
        .close(false);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(state.events, (std::vector<std::string>{"verify=1", "group=2", "colour=255,0,10", "scale=0",
                                                       "save scale=12.500000"}));
    for (void* data : state.event_userdata) EXPECT_EQ(data, &state);
    EXPECT_EQ(state.group_by, 2);

    const PanelRecord& record = host.panel_log()[0];
    ASSERT_EQ(record.views.size(), 8u) << "open, six actions, close";
    EXPECT_EQ(record.views[1].cause, "set \"Don't verify UV information\" 1");
    // The view after an action shows what its event redrew.
    EXPECT_EQ(record.views[1].control("Valid Geometry List")->rows[0][1], "15");
    EXPECT_EQ(record.views[2].cause, "pick \"Group Triangles by:\" \"Surface Texture Image Name\"");
    EXPECT_EQ(record.views[2].control("Group Triangles by:")->int_value, 2);
    EXPECT_EQ(record.views[3].cause, "set FloatControl#0 12.5");
    EXPECT_EQ(record.views[3].control("FloatControl", 0)->float_value, 12.5);
    EXPECT_TRUE(record.views[5].control("float", 0)->ghosted) << "the scale event ghosted the field";
    EXPECT_EQ(record.views[7].cause, "close cancel");
    EXPECT_EQ(record.result, 0);
    EXPECT_TRUE(host.diagnostics.empty());
    EXPECT_TRUE(host.script().finished());
}

TEST_F(PanelsTest, GhostedControlsRefuseTheUserButListRowsStayClickable) {
    state.triangles = 0;   // the save button starts ghosted
    host.script()
        .press("Save SMD file")              // refused: ghosted
        .click("Invalid Geometry List", 1)   // ghosted list: still clickable
        .set("Don't verify UV information", 1)  // moves 3 triangles in: save un-ghosted
        .press("Save SMD file")
        .close();
    run();
    EXPECT_EQ(state.events, (std::vector<std::string>{"invalid row=1", "verify=1", "save scale=40.000000"}));
    EXPECT_TRUE(noted("panels: \"SMD Reference Mesh Exporter by Tolvane\": \"Save SMD file\" is ghosted; "
                      "skipped: press \"Save SMD file\""));
    const PanelRecord& record = host.panel_log()[0];
    EXPECT_EQ(record.views.size(), 5u) << "no view for the refused action";
    EXPECT_TRUE(record.control("Invalid Geometry List")->ghosted);
    EXPECT_EQ(record.control("Invalid Geometry List")->int_value, 1);

    // A hidden control takes nothing, not even a list.
    Host other;
    FakeExporter second;
    second.pf = static_cast<LWPanelFuncs*>(other.global("LWPanelServices", 0));
    build(second);
    second.invalid->draw(second.invalid, DR_ERASE);
    second.scale->draw(second.scale, DR_ERASE);
    second.scale->draw(second.scale, DR_GHOST);   // shown again, ghosted
    other.script().click("Invalid Geometry List", 0).set("Scale geometry:", 0).close();
    second.pf->open(second.panel, 3);
    second.pf->destroy(second.panel);
    EXPECT_TRUE(second.events.empty());
    ASSERT_EQ(other.diagnostics.size(), 2u);
    EXPECT_EQ(other.diagnostics[0],
              "panels: \"SMD Reference Mesh Exporter by Tolvane\": \"Invalid Geometry List\" "
              "is hidden; skipped: click \"Invalid Geometry List\" 0");
    EXPECT_FALSE(other.panel_log()[0].control("Invalid Geometry List")->visible);
}

TEST_F(PanelsTest, UnmatchedActionsAreSkippedWithADiagnostic) {
    host.script()
        .press("No such button")
        .pick("Scale geometry:", "on")           // not a popup
        .pick("Group Triangles by:", "Nothing")  // no such item
        .set("Group Triangles by:", 3)           // item out of range
        .click("Valid Geometry List", 3)         // row out of range
        .set(unlabelled("num", 0), 1)            // no unlabelled NumControl
        .set("Scale geometry:", 2.5)             // a real in a check box
        .set_rgb("Foreground Color", 256, 0, 0)  // not a colour
        .answer_file("/tmp/x.smd")               // no requester asks
        .set("Include null bones", 1)
        .press("UV Template Image Options")      // still carried out after all that
        .press("Save UV Template Image")         // in the inner panel: asks for a file
        .close();                                // not an answer: stays, closes the inner panel
    run();
    const std::string prefix = "panels: \"SMD Reference Mesh Exporter by Tolvane\": ";
    EXPECT_EQ(host.diagnostics,
              (std::vector<std::string>{
                  prefix + "no control \"No such button\"; skipped: press \"No such button\"",
                  prefix + "pick needs a popup, not a BoolControl; skipped: pick \"Scale geometry:\" \"on\"",
                  prefix + "no item \"Nothing\"; skipped: pick \"Group Triangles by:\" \"Nothing\"",
                  prefix + "item 3 out of 0..2; skipped: set \"Group Triangles by:\" 3",
                  prefix + "row 3 out of 0..2; skipped: click \"Valid Geometry List\" 3",
                  prefix + "no control NumControl#0; skipped: set NumControl#0 1",
                  prefix + "the value does not fit a BoolControl; skipped: set \"Scale geometry:\" 2.5",
                  prefix + "colour channel out of 0..255; skipped: set \"Foreground Color\" 256 0 0",
                  prefix + "no file requester is open; skipped: file \"/tmp/x.smd\"",
                  prefix + "no control \"Include null bones\"; skipped: set \"Include null bones\" 1",
                  "file request \"Save TGA Image\": the script has no answer (next: close); cancelled",
              }));
    EXPECT_EQ(state.events, (std::vector<std::string>{"inner size=512"}));
    EXPECT_EQ(state.file_return, 0);
    EXPECT_EQ(state.file_result, 0);
    EXPECT_EQ(host.panel_log()[1].last_view().cause, "close ok");
    EXPECT_EQ(host.panel_log()[0].last_view().cause, "script ran out");
    EXPECT_EQ(host.panel_log()[0].control("Group Triangles by:")->int_value, 0);
}

TEST_F(PanelsTest, NestedPanelsShareOneScript) {
    host.script()
        .set("Scale geometry:", 0)
        .press("UV Template Image Options")   // opens the inner panel
        .set("UV Template Image Size:", 256)
        .press("Save UV Template Image")
        .answer_file("/tmp/uv/map.tga")
        .close()                               // closes the inner panel only
        .set("Scale geometry:", 1)             // back in the outer panel
        .close(false);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(state.inner_result, 1);
    EXPECT_EQ(state.file_return, 0);
    EXPECT_EQ(state.file_result, 1);
    EXPECT_EQ(state.file_full_name, "/tmp/uv/map.tga");
    EXPECT_EQ(state.events, (std::vector<std::string>{"scale=0", "inner size=256", "scale=1"}));

    ASSERT_EQ(host.panel_log().size(), 2u);
    const PanelRecord& outer = host.panel_log()[0];
    const PanelRecord& inner = host.panel_log()[1];
    EXPECT_EQ(outer.title, "SMD Reference Mesh Exporter by Tolvane");
    EXPECT_EQ(inner.title, "UV Template Exporter");
    EXPECT_EQ(inner.width, 320);
    EXPECT_EQ(inner.result, 1);
    ASSERT_EQ(inner.views.size(), 4u);
    EXPECT_EQ(inner.views[1].cause, "set \"UV Template Image Size:\" 256");
    EXPECT_EQ(inner.views[3].cause, "close ok");
    EXPECT_EQ(inner.control("UV Template Image Size:")->int_value, 256);
    ASSERT_EQ(outer.views.size(), 5u);
    EXPECT_EQ(outer.views[2].cause, "press \"UV Template Image Options\"");
    EXPECT_EQ(outer.result, 0);
    EXPECT_EQ(host.panels().find("UV Template Exporter"), &inner);
    EXPECT_EQ(host.panels().live_count(), 0u);
    EXPECT_TRUE(host.diagnostics.empty());
}

TEST_F(PanelsTest, RunningOutOfScriptClosesEveryOpenPanel) {
    host.script().press("UV Template Image Options").set("UV Template Image Size:", 64);
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(state.inner_result, 1);
    ASSERT_EQ(host.panel_log().size(), 2u);
    EXPECT_EQ(host.panel_log()[1].last_view().cause, "script ran out");
    EXPECT_EQ(host.panel_log()[0].last_view().cause, "script ran out");
    EXPECT_EQ(state.events, (std::vector<std::string>{"inner size=64"}));
}

void close_from_event(LWControlID, void* data) {
    auto* s = static_cast<FakeExporter*>(data);
    s->events.push_back("closing");
    s->pf->close(s->panel);
}

void destroy_from_event(LWControlID, void* data) {
    auto* s = static_cast<FakeExporter*>(data);
    s->pf->destroy(s->panel);
}

TEST_F(PanelsTest, PluginMayCloseOrDestroyFromAnEvent) {
    build(state);
    set_event(state.save, close_from_event, &state);
    host.script().press("Save SMD file").press("Save SMD file").close();
    EXPECT_EQ(pf->open(state.panel, 3), 1);
    EXPECT_EQ(state.events, (std::vector<std::string>{"closing"}));
    EXPECT_EQ(host.panel_log()[0].last_view().cause, "closed by the plug-in");
    EXPECT_EQ(host.script().consumed(), 1u) << "the rest stays for whoever comes next";
    int result = -1;
    pf->get(state.panel, PAN_RESULT, &result);
    EXPECT_EQ(result, 1);

    // Opened again: a second record. Destroyed from its own event: the host
    // keeps the panel until open returns and says what happened.
    set_event(state.save, destroy_from_event, &state);
    host.script().clear();
    host.script().press("Save SMD file").close();
    EXPECT_EQ(pf->open(state.panel, 3), 0);
    ASSERT_EQ(host.panel_log().size(), 2u);
    EXPECT_EQ(host.panel_log()[1].last_view().cause, "destroyed while open");
    EXPECT_EQ(host.panels().live_count(), 0u);
    EXPECT_TRUE(noted("destroyed from its own event"));
}

TEST_F(PanelsTest, NonBlockingOpenIsDrivenByHandle) {
    build(state);
    host.script().set("Scale geometry:", 0).set("Scale geometry:", 1).close();
    EXPECT_EQ(pf->open(state.panel, PANF_CANCEL), 1);
    EXPECT_EQ(host.script().consumed(), 0u);
    EXPECT_EQ(pf->handle(state.panel, 0), 0) << "one action, still open";
    EXPECT_EQ(state.events, (std::vector<std::string>{"scale=0"}));
    EXPECT_EQ(pf->handle(state.panel, EVNT_BLOCKING), -1) << "up to the close";
    EXPECT_EQ(pf->handle(state.panel, 0), -1);
    EXPECT_EQ(state.events, (std::vector<std::string>{"scale=0", "scale=1"}));
    pf->destroy(state.panel);
    EXPECT_EQ(host.panel_log()[0].result, 1);
}

}  // namespace
}  // namespace lwhost
