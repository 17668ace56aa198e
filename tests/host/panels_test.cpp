// The headless panel toolkit as a plug-in sees it, driven through the SDK
// record: what a panel records and shows, the layout of its controls, the
// values of every control type, and what it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "panels_fixture.h"

namespace lwhost {
namespace {

using namespace panels_fixture;

TEST_F(PanelsTest, RecordServesVersionTitleSizeAndUserData) {
    EXPECT_EQ(host.global("LWPanelServices", 0), pf) << "one record per host";
    pf->globalFun = Host::global_function;   // the plug-in's to write
    auto* again = static_cast<LWPanelFuncs*>(host.global("LWPanelServices", 0));
    EXPECT_EQ(again->globalFun, Host::global_function);

    char title[] = "Title A";
    LWPanelID panel = pf->create(title, nullptr);
    ASSERT_NE(panel, nullptr);
    title[6] = 'B';   // the host keeps its own copy
    int version = 0;
    pf->get(panel, PAN_VERSION, &version);
    EXPECT_EQ(version, 19);
    const char* shown = nullptr;
    pf->get(panel, PAN_TITLE, &shown);
    EXPECT_STREQ(shown, "Title A");

    int w = 400, h = 170, got = 0;
    pf->set(panel, PAN_W, &w);
    pf->set(panel, PAN_H, &h);
    pf->get(panel, PAN_W, &got);
    EXPECT_EQ(got, 400);
    pf->get(panel, PAN_H, &got);
    EXPECT_EQ(got, 170);

    int marker = 0;
    void* data = nullptr;
    pf->set(panel, PAN_USERDATA, &marker);
    pf->get(panel, PAN_USERDATA, &data);
    EXPECT_EQ(data, &marker);

    EXPECT_EQ(pf->open(panel, PANF_BLOCKING | PANF_CANCEL), 1);
    ASSERT_EQ(host.panel_log().size(), 1u);
    const PanelRecord& record = host.panel_log()[0];
    EXPECT_EQ(record.title, "Title A");
    EXPECT_EQ(record.width, 400);
    EXPECT_EQ(record.height, 170);
    EXPECT_EQ(record.flags, 3);
    EXPECT_EQ(host.panels().live_count(), 1u);
    pf->destroy(panel);
    EXPECT_EQ(host.panels().live_count(), 0u);
    EXPECT_TRUE(host.diagnostics.empty());
}

TEST_F(PanelsTest, FaultsLetTestsSeeAPluginFailedByTheToolkit) {
    char title[] = "Faulty";
    char bool_type[] = "BoolControl", button_type[] = "ButtonControl", label[] = "x";
    LWPanControlDesc desc{};
    desc.type = LWT_BOOLEAN;

    host.panels().faults.refuse_panels = true;
    EXPECT_EQ(pf->create(title, nullptr), nullptr);
    EXPECT_TRUE(noted("refused (test fault)"));
    host.panels().faults.refuse_panels = false;

    host.panels().faults.version = 18;
    LWPanelID panel = pf->create(title, nullptr);
    ASSERT_NE(panel, nullptr);
    int version = 0;
    pf->get(panel, PAN_VERSION, &version);
    EXPECT_EQ(version, 18);

    // Refusing one type leaves the others; an empty type refuses them all.
    host.panels().faults.refuse_controls = true;
    host.panels().faults.refused_control_type = "ButtonControl";
    EXPECT_NE(pf->addControl(panel, bool_type, &desc, label), nullptr);
    desc.type = LWT_INTEGER;
    EXPECT_EQ(pf->addControl(panel, button_type, &desc, label), nullptr);
    host.panels().faults.refused_control_type.clear();
    desc.type = LWT_BOOLEAN;
    EXPECT_EQ(pf->addControl(panel, bool_type, &desc, label), nullptr);
    pf->destroy(panel);
    EXPECT_EQ(host.panels().live_count(), 0u);
}

TEST_F(PanelsTest, ViewTextShowsWhatTheUserSees) {
    host.script().close();
    EXPECT_EQ(run(), 1);
    ASSERT_EQ(host.panel_log().size(), 1u);
    const PanelRecord& record = host.panel_log()[0];
    ASSERT_EQ(record.views.size(), 2u);
    EXPECT_EQ(record.views[0].cause, "open");
    EXPECT_EQ(record.views[1].cause, "close ok");
    // 160 - 19 * 7 = 27 for the popup; the invalid list sits below the valid
    // one: 82 + 19 * (3 + 2) + 4 = 181, at x 0.
    const std::string expected =
        "TextControl \"Object: ship.lwo\" 5,10 112x19 lw=112 lines=\"\"\n"
        "CustomPopupControl \"Group Triangles by:\" 27,42 313x19 lw=133 value=0 "
        "items=\"UV Texture Map Name\"|\"Surface Name\"|\"Surface Texture Image Name\"\n"
        "BoolControl \"Don't verify UV information\" 366,42 209x19 lw=189 value=0\n"
        "MultiListBoxControl \"Valid Geometry List\" 5,82 500x95 lw=133 value=0 columns=300,200 "
        "header=\"Valid Geometry\"|\"Count\" rows=\"Triangles\"|\"12\";\"Bones\"|\"2\";\"Null Bones\"|\"1\"\n"
        "MultiListBoxControl \"Invalid Geometry List\" 0,181 500x133 lw=147 value=0 ghosted columns=300,200 "
        "header=\"Invalid Geometry\"|\"Count\" rows=\"Without UV:\"|\"3\";\"Degenerated:\"|\"0\"\n"
        "ButtonControl \"UV Template Image Options\" 377,288 191x19 lw=175\n"
        "BoolControl \"Scale geometry:\" 8,288 125x19 lw=105 value=1\n"
        "FloatControl \"\" 112,288 80x19 lw=0 value=40\n"
        "MiniRGBControl \"Foreground Color\" 8,320 202x19 lw=112 value=0,0,0\n"
        "ButtonControl \"Save SMD file\" 442,360 107x19 lw=91\n";
    EXPECT_EQ(panel_view_text(record.views[0]), expected);
    EXPECT_EQ(panel_view_text(record.views[1]), expected);

    // The comparison can fail: one changed value shows up in the text.
    PanelView changed = record.views[0];
    changed.controls[7].float_value = 40.5;
    EXPECT_NE(panel_view_text(changed), expected);

    // The record text frames the views with the panel line.
    std::string text = panel_record_text(record);
    EXPECT_EQ(text.rfind("panel \"SMD Reference Mesh Exporter by Tolvane\" 520x432 flags=3 result=1\n"
                         "view open\n  TextControl", 0),
              0u);
    EXPECT_NE(text.find("\nview close ok\n  TextControl"), std::string::npos);
}

TEST_F(PanelsTest, LabelWidthAndDefaultLayout) {
    LWPanelID panel = pf->create(const_cast<char*>("Layout"), nullptr);
    LWControl* first = add(pf, panel, "NumControl", plain(LWT_INTEGER), "First frame:");
    LWControl* second = add(pf, panel, "BoolControl", plain(LWT_BOOLEAN), "");
    LWPanControlDesc list = plain(LWT_MLIST);
    list.multiList.width = 250;
    list.multiList.visItems = 2;
    LWControl* third = add(pf, panel, "MultiListBoxControl", list, "L");
    LWControl* fourth = add(pf, panel, "FloatControl", plain(LWT_FLOAT), "abc");

    EXPECT_EQ(get_int(first, CTL_LABELWIDTH), 12 * 7);
    EXPECT_EQ(get_int(second, CTL_LABELWIDTH), 0);
    // Nothing placed: a column from 0,0 with 4 px between controls.
    EXPECT_EQ(get_int(first, CTL_X), 0);
    EXPECT_EQ(get_int(first, CTL_Y), 0);
    EXPECT_EQ(get_int(second, CTL_Y), 19 + 4);
    EXPECT_EQ(get_int(third, CTL_Y), 2 * (19 + 4));
    EXPECT_EQ(get_int(third, CTL_H), 19 * 4);
    EXPECT_EQ(get_int(fourth, CTL_Y), 2 * (19 + 4) + 19 * 4 + 4);

    // The rule follows the previous control wherever it is put later.
    move(second, 60, 202);
    EXPECT_EQ(get_int(third, CTL_X), 0);
    EXPECT_EQ(get_int(third, CTL_Y), 202 + 19 + 4);
    EXPECT_EQ(get_int(fourth, CTL_Y), 202 + 19 + 4 + 76 + 4);
    // Placing by label width puts the field itself at 160.
    move(fourth, 160 - get_int(fourth, CTL_LABELWIDTH), 5);
    EXPECT_EQ(get_int(fourth, CTL_X), 139);
    EXPECT_EQ(get_int(fourth, CTL_HOTX), 160);
    EXPECT_EQ(get_int(fourth, CTL_W), 21 + 80);

    // A panel without a size set takes the controls' extent plus 5.
    int w = 0, h = 0;
    pf->get(panel, PAN_W, &w);
    pf->get(panel, PAN_H, &h);
    EXPECT_EQ(w, 250 + 5);                 // the list is the widest: 0 + 250
    EXPECT_EQ(h, 202 + 19 + 4 + 76 + 5);   // the list's bottom
    pf->destroy(panel);
}

TEST_F(PanelsTest, ValuesUseTheMemberOfTheirType) {
    LWPanelID panel = pf->create(const_cast<char*>("Values"), nullptr);
    LWControl* boolean = add(pf, panel, "BoolControl", plain(LWT_BOOLEAN), "b");
    LWControl* number = add(pf, panel, "NumControl", plain(LWT_INTEGER), "n");
    LWControl* real = add(pf, panel, "FloatControl", plain(LWT_FLOAT), "f");
    LWControl* colour = add(pf, panel, "MiniRGBControl", plain(LWT_VINT), "c");
    LWPanControlDesc sdesc = plain(LWT_STRING);
    sdesc.string.width = 10;
    LWControl* text = add(pf, panel, "StringControl", sdesc, "s");

    set_int(boolean, CTL_VALUE, 1);
    set_int(number, CTL_VALUE, -7);
    set_float(real, 0.025);
    LWValue v{};
    v.ivec.type = LWT_VINT;
    v.ivec.val[0] = 255; v.ivec.val[1] = 128; v.ivec.val[2] = 1;
    colour->set(colour, CTL_VALUE, &v);
    char input[] = "hello world";
    v = LWValue{};
    v.str.buf = input;
    text->set(text, CTL_VALUE, &v);

    LWValue out{};
    boolean->get(boolean, CTL_VALUE, &out);
    EXPECT_EQ(out.type, LWT_INTEGER);
    EXPECT_EQ(out.intv.value, 1);
    EXPECT_EQ(get_int(number, CTL_VALUE), -7);
    out = LWValue{};
    real->get(real, CTL_VALUE, &out);
    EXPECT_EQ(out.type, LWT_FLOAT);
    EXPECT_EQ(out.flt.value, 0.025);
    out = LWValue{};
    colour->get(colour, CTL_VALUE, &out);
    EXPECT_EQ(out.ivec.val[0], 255);
    EXPECT_EQ(out.ivec.val[1], 128);
    EXPECT_EQ(out.ivec.val[2], 1);
    char small[6] = "xxxxx";
    out = LWValue{};
    out.str.buf = small;
    out.str.bufLen = 6;
    text->get(text, CTL_VALUE, &out);
    EXPECT_STREQ(small, "hello") << "copied, cut to bufLen with its zero";

    out = LWValue{};
    number->get(number, CTL_LABEL, &out);
    EXPECT_STREQ(out.str.buf, "n");
    out = LWValue{};
    number->get(number, CTL_PANEL, &out);
    EXPECT_EQ(out.ptr.ptr, panel);

    // Ghosting through draw modes and CTL_FLAGS.
    number->draw(number, DR_GHOST);
    EXPECT_EQ(get_int(number, CTL_FLAGS), CTLF_GHOST);
    number->draw(number, DR_REFRESH);
    EXPECT_EQ(get_int(number, CTL_FLAGS), CTLF_GHOST) << "refresh keeps the state";
    number->draw(number, DR_ERASE);
    EXPECT_EQ(get_int(number, CTL_FLAGS), CTLF_GHOST | CTLF_INVISIBLE);
    number->draw(number, DR_RENDER);
    EXPECT_EQ(get_int(number, CTL_FLAGS), 0);

    // nextControl walks creation order.
    EXPECT_EQ(pf->nextControl(panel, nullptr), boolean);
    EXPECT_EQ(pf->nextControl(panel, boolean), number);
    EXPECT_EQ(pf->nextControl(panel, text), nullptr);
    pf->destroy(panel);
}

TEST_F(PanelsTest, BadControlsAndIdsAreRefusedWithADiagnostic) {
    LWPanelID panel = pf->create(const_cast<char*>("Bad"), nullptr);
    EXPECT_EQ(add(pf, panel, "SliderControl", plain(LWT_INTEGER), "x"), nullptr);
    EXPECT_TRUE(noted("addControl \"SliderControl\" \"x\": unknown control type"));
    char bool_type[] = "BoolControl", label_y[] = "y";
    EXPECT_EQ(pf->addControl(panel, bool_type, nullptr, label_y), nullptr);
    EXPECT_TRUE(noted("addControl \"BoolControl\" \"y\": null descriptor"));
    EXPECT_EQ(add(pf, panel, "CustomPopupControl", plain(LWT_INTEGER), "z"), nullptr);
    EXPECT_TRUE(noted("addControl \"CustomPopupControl\" \"z\": descriptor type 2, expected 18"));
    EXPECT_EQ(pf->addControl(panel, nullptr, nullptr, nullptr), nullptr);
    LWPanControlDesc area = plain(LWT_AREA);
    area.area.width = 150;
    LWControl* wide = add(pf, panel, "ButtonControl", area, "Wide");
    ASSERT_NE(wide, nullptr) << "the area variant of a button";
    EXPECT_EQ(get_int(wide, CTL_W), 150);

    int dummy = 0;
    host.diagnostics.clear();
    EXPECT_EQ(pf->open(&dummy, 3), 0);
    EXPECT_EQ(add(pf, &dummy, "BoolControl", plain(LWT_BOOLEAN), "q"), nullptr);
    pf->destroy(&dummy);
    EXPECT_EQ(host.diagnostics.size(), 3u);
    EXPECT_TRUE(noted("panels: open: unknown panel ID"));

    // Controls of a destroyed panel are unknown IDs from then on.
    pf->destroy(panel);
    host.diagnostics.clear();
    // (Through the host directly: the record itself is gone with its panel.)
    LWValue v{};
    v.intv.value = -1;
    host.panels().control_get(wide, CTL_W, &v);
    EXPECT_EQ(v.intv.value, -1);
    EXPECT_TRUE(noted("panels: get: unknown control ID"));
    pf->get(panel, PAN_W, nullptr);
    EXPECT_TRUE(noted("panels: get: unknown panel ID"));
}

}  // namespace
}  // namespace lwhost
