// The headless panel toolkit, driven through the SDK record exactly as a
// plug-in drives it: a fake exporter panel below builds its controls with
// descriptors, positions, values, user data and events, then opens modal
// while the host's script plays the user. Expected positions come from the
// documented metrics (7 px per label byte, 19 px rows, 4 px gap).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host.h"
#include "lwhost.h"
#include "lwpanel.h"
#include "panels.h"
#include "ui_script.h"

namespace lwhost {
namespace {

// --- what a plug-in writes to talk to the record ---------------------------------

LWControl* add(LWPanelFuncs* pf, LWPanelID panel, const char* type, LWPanControlDesc desc,
               const char* label) {
    return pf->addControl(panel, const_cast<char*>(type), &desc, const_cast<char*>(label));
}

LWPanControlDesc plain(LWType type) {
    LWPanControlDesc desc{};
    desc.type = type;
    return desc;
}

void set_int(LWControl* control, cTag tag, int value) {
    LWValue v{};
    v.intv.type = LWT_INTEGER;
    v.intv.value = value;
    control->set(control, tag, &v);
}

int get_int(LWControl* control, cTag tag) {
    LWValue v{};
    v.intv.value = -12345;
    control->get(control, tag, &v);
    return v.intv.value;
}

void set_float(LWControl* control, double value) {
    LWValue v{};
    v.flt.type = LWT_FLOAT;
    v.flt.value = value;
    control->set(control, CTL_VALUE, &v);
}

double get_float(LWControl* control) {
    LWValue v{};
    control->get(control, CTL_VALUE, &v);
    return v.flt.value;
}

void move(LWControl* control, int x, int y) {
    set_int(control, CTL_X, x);
    set_int(control, CTL_Y, y);
}

// CTL_USERDATA first, then CTL_USEREVENT, as the SDK's event macro does.
void set_event(LWControl* control, LWCtlEventHook event, void* data) {
    LWValue v{};
    v.ptr.ptr = data;
    control->set(control, CTL_USERDATA, &v);
    v.ptr.ptr = reinterpret_cast<void*>(event);
    control->set(control, CTL_USEREVENT, &v);
}

void set_userdata(LWControl* control, void* data) {
    LWValue v{};
    v.ptr.ptr = data;
    control->set(control, CTL_USERDATA, &v);
}

// --- a fake exporter, shaped like the reference exporter's panel ------------------

struct FakeExporter {
    LWPanelFuncs* pf = nullptr;
    LWPanelID panel = nullptr;
    LWControl* object_line = nullptr;
    LWControl* popup = nullptr;
    LWControl* verify = nullptr;
    LWControl* valid = nullptr;
    LWControl* invalid = nullptr;
    LWControl* uv_button = nullptr;
    LWControl* scale = nullptr;
    LWControl* scale_value = nullptr;
    LWControl* colour = nullptr;
    LWControl* save = nullptr;
    int uv_maps = 1;
    int triangles = 12;
    int no_uv = 3;
    int group_by = -1;
    std::vector<std::string> events;        // "<what>=<value the event read>"
    std::vector<void*> event_userdata;
    std::vector<int> columns_asked;         // every col the width callback got
    std::vector<int> header_columns_asked;  // cols asked for row -1
    char cell[32] = {};                     // one buffer every name call overwrites
    int inner_result = -2;
    int file_return = -2;
    int file_result = -2;
    std::string file_full_name;
};

const char* const kGroupItems[] = {"UV Texture Map Name", "Surface Name", "Surface Texture Image Name"};

int popup_count(void* data) { return static_cast<FakeExporter*>(data)->uv_maps > 0 ? 3 : 2; }
char* popup_name(void* data, int index) {
    auto* state = static_cast<FakeExporter*>(data);
    if (index >= 3) index = 0;
    int first = state->uv_maps > 0 ? 0 : 1;
    return const_cast<char*>(kGroupItems[first + index < 3 ? first + index : 0]);
}

int valid_count(void*) { return 3; }
char* valid_name(void* data, int row, int col) {
    auto* state = static_cast<FakeExporter*>(data);
    static const char* const heads[] = {"Valid Geometry", "Count"};
    static const char* const labels[] = {"Triangles", "Bones", "Null Bones"};
    if (row == -1) state->header_columns_asked.push_back(col);
    if (col == 0) return const_cast<char*>(row == -1 ? heads[0] : labels[row]);
    if (col != 1) return nullptr;
    if (row == -1) return const_cast<char*>(heads[1]);
    int values[] = {state->triangles, 2, 1};
    std::snprintf(state->cell, sizeof state->cell, "%d", values[row]);
    return state->cell;
}
int two_columns(void* data, int col) {
    static_cast<FakeExporter*>(data)->columns_asked.push_back(col);
    return col == 0 ? 300 : col == 1 ? 200 : 0;
}

int invalid_count(void*) { return 2; }
char* invalid_name(void* data, int row, int col) {
    auto* state = static_cast<FakeExporter*>(data);
    static const char* const labels[] = {"Invalid Geometry", "Without UV:", "Degenerated:"};
    if (col == 0) return const_cast<char*>(labels[row + 1]);
    if (col != 1) return nullptr;
    if (row == -1) return const_cast<char*>("Count");
    std::snprintf(state->cell, sizeof state->cell, "%d", row == 0 ? state->no_uv : 0);
    return state->cell;
}

void refresh(FakeExporter& s) {
    s.valid->draw(s.valid, DR_REFRESH);
    s.invalid->draw(s.invalid, DR_REFRESH);
    s.save->draw(s.save, s.triangles > 0 ? DR_RENDER : DR_GHOST);
}

void on_verify(LWControlID id, void* data) {
    auto* s = static_cast<FakeExporter*>(data);
    int on = get_int(static_cast<LWControl*>(id), CTL_VALUE);
    s->events.push_back("verify=" + std::to_string(on));
    s->event_userdata.push_back(data);
    if (on) { s->triangles += s->no_uv; s->no_uv = 0; }
    refresh(*s);
}

void on_group(LWControlID id, void* data) {
    auto* s = static_cast<FakeExporter*>(data);
    s->group_by = get_int(static_cast<LWControl*>(id), CTL_VALUE);
    s->events.push_back("group=" + std::to_string(s->group_by));
    s->event_userdata.push_back(data);
}

void on_scale(LWControlID id, void* data) {
    auto* s = static_cast<FakeExporter*>(data);
    int on = get_int(static_cast<LWControl*>(id), CTL_VALUE);
    s->events.push_back("scale=" + std::to_string(on));
    s->scale_value->draw(s->scale_value, on ? DR_RENDER : DR_GHOST);
}

void on_invalid(LWControlID id, void* data) {
    auto* s = static_cast<FakeExporter*>(data);
    s->events.push_back("invalid row=" + std::to_string(get_int(static_cast<LWControl*>(id), CTL_VALUE)));
}

void on_save(LWControlID, void* data) {
    auto* s = static_cast<FakeExporter*>(data);
    s->events.push_back("save scale=" + std::to_string(get_float(s->scale_value)));
    s->event_userdata.push_back(data);
}

void on_colour(LWControlID id, void* data) {
    auto* s = static_cast<FakeExporter*>(data);
    LWValue v{};
    static_cast<LWControl*>(id)->get(static_cast<LWControl*>(id), CTL_VALUE, &v);
    s->events.push_back("colour=" + std::to_string(v.ivec.val[0]) + "," + std::to_string(v.ivec.val[1]) +
                        "," + std::to_string(v.ivec.val[2]));
}

// The nested panel: a small "UV Template Exporter" whose button asks for a file.
void on_inner_save(LWControlID, void* data) {
    auto* s = static_cast<FakeExporter*>(data);
    auto* request = reinterpret_cast<LWFileActivateFunc*>(Host::current()->global("File Request 2", 0));
    static char path[64], base[64], full[64];
    LWFileReqLocal local{};
    local.reqType = FREQ_SAVE;
    local.title = "Save TGA Image";
    local.fileType = "Images";
    local.path = path;
    local.baseName = base;
    local.fullName = full;
    local.bufLen = 64;
    s->file_return = request(LWFILEREQ_VERSION, &local);
    s->file_result = local.result;
    s->file_full_name = local.result > 0 ? full : "";
}

void on_uv_button(LWControlID, void* data) {
    auto* s = static_cast<FakeExporter*>(data);
    LWPanelID inner = s->pf->create(const_cast<char*>("UV Template Exporter"), s->pf);
    int w = 320, h = 210;
    s->pf->set(inner, PAN_W, &w);
    s->pf->set(inner, PAN_H, &h);
    LWControl* size = add(s->pf, inner, "NumControl", plain(LWT_INTEGER), "UV Template Image Size:");
    set_int(size, CTL_VALUE, 512);
    LWControl* button = add(s->pf, inner, "ButtonControl", plain(LWT_INTEGER), "Save UV Template Image");
    set_event(button, on_inner_save, s);
    s->inner_result = s->pf->open(inner, PANF_BLOCKING | PANF_CANCEL);
    s->events.push_back("inner size=" + std::to_string(get_int(size, CTL_VALUE)));
    s->pf->destroy(inner);
}

// Builds the panel as the exporter does; the controls' positions follow the
// exporter's layout table.
void build(FakeExporter& s) {
    LWPanelFuncs* pf = s.pf;
    char title[] = "SMD Reference Mesh Exporter by Tolvane";
    s.panel = pf->create(title, pf);
    int width = 520, height = 432;
    pf->set(s.panel, PAN_W, &width);
    pf->set(s.panel, PAN_H, &height);

    LWPanControlDesc desc = plain(LWT_TEXT);
    static const char* empty_line[] = {"", nullptr};
    desc.text.text = empty_line;
    s.object_line = add(pf, s.panel, "TextControl", desc, "Object: ship.lwo");
    move(s.object_line, 5, 10);

    desc = plain(LWT_POPUP);
    desc.popup.width = 180;
    desc.popup.countFn = popup_count;
    desc.popup.nameFn = popup_name;
    s.popup = add(pf, s.panel, "CustomPopupControl", desc, "Group Triangles by:");
    move(s.popup, 160 - get_int(s.popup, CTL_LABELWIDTH), 42);
    set_event(s.popup, on_group, &s);

    s.verify = add(pf, s.panel, "BoolControl", plain(LWT_BOOLEAN), "Don't verify UV information");
    move(s.verify, 366, 42);
    set_event(s.verify, on_verify, &s);

    desc = plain(LWT_MLIST);
    desc.multiList.width = 500;
    desc.multiList.visItems = 3;
    desc.multiList.countFn = valid_count;
    desc.multiList.nameFn = valid_name;
    desc.multiList.colWidth = two_columns;
    s.valid = add(pf, s.panel, "MultiListBoxControl", desc, "Valid Geometry List");
    move(s.valid, 5, 82);
    set_userdata(s.valid, &s);

    desc.multiList.visItems = 5;
    desc.multiList.countFn = invalid_count;
    desc.multiList.nameFn = invalid_name;
    s.invalid = add(pf, s.panel, "MultiListBoxControl", desc, "Invalid Geometry List");
    set_event(s.invalid, on_invalid, &s);
    s.invalid->draw(s.invalid, DR_GHOST);

    s.uv_button = add(pf, s.panel, "ButtonControl", plain(LWT_INTEGER), "UV Template Image Options");
    move(s.uv_button, 377, 288);
    set_event(s.uv_button, on_uv_button, &s);

    s.scale = add(pf, s.panel, "BoolControl", plain(LWT_BOOLEAN), "Scale geometry:");
    move(s.scale, 8, 288);
    set_event(s.scale, on_scale, &s);
    set_int(s.scale, CTL_VALUE, 1);

    s.scale_value = add(pf, s.panel, "FloatControl", plain(LWT_FLOAT), "");
    move(s.scale_value, 112, 288);
    set_float(s.scale_value, 40.0);

    s.colour = add(pf, s.panel, "MiniRGBControl", plain(LWT_VINT), "Foreground Color");
    move(s.colour, 8, 320);
    set_event(s.colour, on_colour, &s);

    s.save = add(pf, s.panel, "ButtonControl", plain(LWT_INTEGER), "Save SMD file");
    move(s.save, 442, 360);
    set_event(s.save, on_save, &s);
    refresh(s);
}

struct PanelsTest : ::testing::Test {
    Host host;
    FakeExporter state;
    LWPanelFuncs* pf = nullptr;

    void SetUp() override {
        pf = static_cast<LWPanelFuncs*>(host.global("LWPanelServices", 0));
        ASSERT_NE(pf, nullptr);
        state.pf = pf;
    }
    // Builds, opens (flags 3) and destroys the fake exporter's panel.
    int run() {
        build(state);
        int result = pf->open(state.panel, PANF_BLOCKING | PANF_CANCEL);
        pf->destroy(state.panel);
        return result;
    }
    bool noted(const std::string& text) const {
        for (const std::string& d : host.diagnostics)
            if (d.find(text) != std::string::npos) return true;
        return false;
    }
};

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
