// The fake exporter panel the panel tests drive: what a plug-in writes to
// talk to the "LWPanelServices" record, a panel built with descriptors,
// positions, values, user data and events, and the fixture that opens it
// while the host's script plays the user. Expected positions come from the
// documented metrics (7 px per label byte, 19 px rows, 4 px gap).
#pragma once

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
namespace panels_fixture {

// --- what a plug-in writes to talk to the record ---------------------------------

inline LWControl* add(LWPanelFuncs* pf, LWPanelID panel, const char* type, LWPanControlDesc desc,
               const char* label) {
    return pf->addControl(panel, const_cast<char*>(type), &desc, const_cast<char*>(label));
}

inline LWPanControlDesc plain(LWType type) {
    LWPanControlDesc desc{};
    desc.type = type;
    return desc;
}

inline void set_int(LWControl* control, cTag tag, int value) {
    LWValue v{};
    v.intv.type = LWT_INTEGER;
    v.intv.value = value;
    control->set(control, tag, &v);
}

inline int get_int(LWControl* control, cTag tag) {
    LWValue v{};
    v.intv.value = -12345;
    control->get(control, tag, &v);
    return v.intv.value;
}

inline void set_float(LWControl* control, double value) {
    LWValue v{};
    v.flt.type = LWT_FLOAT;
    v.flt.value = value;
    control->set(control, CTL_VALUE, &v);
}

inline double get_float(LWControl* control) {
    LWValue v{};
    control->get(control, CTL_VALUE, &v);
    return v.flt.value;
}

inline void move(LWControl* control, int x, int y) {
    set_int(control, CTL_X, x);
    set_int(control, CTL_Y, y);
}

// CTL_USERDATA first, then CTL_USEREVENT, as the SDK's event macro does.
inline void set_event(LWControl* control, LWCtlEventHook event, void* data) {
    LWValue v{};
    v.ptr.ptr = data;
    control->set(control, CTL_USERDATA, &v);
    v.ptr.ptr = reinterpret_cast<void*>(event);
    control->set(control, CTL_USEREVENT, &v);
}

inline void set_userdata(LWControl* control, void* data) {
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

inline int popup_count(void* data) { return static_cast<FakeExporter*>(data)->uv_maps > 0 ? 3 : 2; }
inline char* popup_name(void* data, int index) {
    auto* state = static_cast<FakeExporter*>(data);
    if (index >= 3) index = 0;
    int first = state->uv_maps > 0 ? 0 : 1;
    return const_cast<char*>(kGroupItems[first + index < 3 ? first + index : 0]);
}

inline int valid_count(void*) { return 3; }
inline char* valid_name(void* data, int row, int col) {
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
inline int two_columns(void* data, int col) {
    static_cast<FakeExporter*>(data)->columns_asked.push_back(col);
    return col == 0 ? 300 : col == 1 ? 200 : 0;
}

inline int invalid_count(void*) { return 2; }
inline char* invalid_name(void* data, int row, int col) {
    auto* state = static_cast<FakeExporter*>(data);
    static const char* const labels[] = {"Invalid Geometry", "Without UV:", "Degenerated:"};
    if (col == 0) return const_cast<char*>(labels[row + 1]);
    if (col != 1) return nullptr;
    if (row == -1) return const_cast<char*>("Count");
    std::snprintf(state->cell, sizeof state->cell, "%d", row == 0 ? state->no_uv : 0);
    return state->cell;
}

inline void refresh(FakeExporter& s) {
    s.valid->draw(s.valid, DR_REFRESH);
    s.invalid->draw(s.invalid, DR_REFRESH);
    s.save->draw(s.save, s.triangles > 0 ? DR_RENDER : DR_GHOST);
}

inline void on_verify(LWControlID id, void* data) {
    auto* s = static_cast<FakeExporter*>(data);
    int on = get_int(static_cast<LWControl*>(id), CTL_VALUE);
    s->events.push_back("verify=" + std::to_string(on));
    s->event_userdata.push_back(data);
    if (on) { s->triangles += s->no_uv; s->no_uv = 0; }
    refresh(*s);
}

inline void on_group(LWControlID id, void* data) {
    auto* s = static_cast<FakeExporter*>(data);
    s->group_by = get_int(static_cast<LWControl*>(id), CTL_VALUE);
    s->events.push_back("group=" + std::to_string(s->group_by));
    s->event_userdata.push_back(data);
}

inline void on_scale(LWControlID id, void* data) {
    auto* s = static_cast<FakeExporter*>(data);
    int on = get_int(static_cast<LWControl*>(id), CTL_VALUE);
    s->events.push_back("scale=" + std::to_string(on));
    s->scale_value->draw(s->scale_value, on ? DR_RENDER : DR_GHOST);
}

inline void on_invalid(LWControlID id, void* data) {
    auto* s = static_cast<FakeExporter*>(data);
    s->events.push_back("invalid row=" + std::to_string(get_int(static_cast<LWControl*>(id), CTL_VALUE)));
}

inline void on_save(LWControlID, void* data) {
    auto* s = static_cast<FakeExporter*>(data);
    s->events.push_back("save scale=" + std::to_string(get_float(s->scale_value)));
    s->event_userdata.push_back(data);
}

inline void on_colour(LWControlID id, void* data) {
    auto* s = static_cast<FakeExporter*>(data);
    LWValue v{};
    static_cast<LWControl*>(id)->get(static_cast<LWControl*>(id), CTL_VALUE, &v);
    s->events.push_back("colour=" + std::to_string(v.ivec.val[0]) + "," + std::to_string(v.ivec.val[1]) +
                        "," + std::to_string(v.ivec.val[2]));
}

// The nested panel: a small "UV Template Exporter" whose button asks for a file.
inline void on_inner_save(LWControlID, void* data) {
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

inline void on_uv_button(LWControlID, void* data) {
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
inline void build(FakeExporter& s) {
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
}  // namespace panels_fixture
}  // namespace lwhost
