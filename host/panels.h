// The headless panel toolkit: "LWPanelServices" (`LWPanelFuncs`, API 19)
// over an in-memory model of panels and controls, with the user played by
// the host's script (ui_script.h) and every panel recorded as the user would
// see it.
//
// What a plug-in gets: one `LWPanelFuncs` record per host (its `globalFun`
// member is the plug-in's to write). `create` copies the title; `open` with
// PANF_BLOCKING records the panel, then carries out script actions on it
// until a close action or the end of the script, and returns 1 for a close
// with OK (also when the script ran out, or the plug-in called `close` from
// an event) and 0 for a cancel. A panel opened from an event takes the
// following actions from the same script; actions always go to the innermost
// open panel. Without PANF_BLOCKING, `open` only records the panel and
// returns 1; `handle` then carries out actions (all of them up to a close
// with EVNT_BLOCKING, else one) and returns 0 while open, -1 once closed.
//
// Controls: "BoolControl", "ButtonControl", "CustomPopupControl",
// "FloatControl", "MiniRGBControl", "MultiListBoxControl", "NumControl",
// "TextControl" and "StringControl". Any other type name, a null descriptor
// or a descriptor whose `type` is not the one the control is built with
// gives null and a diagnostic (host.diagnostics). CTL_VALUE uses the LWValue
// member of the type: `intv` for bool (0/1), num, popup (item index),
// multi-list (selected row), and 0 for buttons and text; `flt` for float;
// `ivec` for the colour; `str` (copied into the caller's buf/bufLen) for
// strings.
//
// Metrics (fixed, so that tests can compute positions):
//   label width   7 px per byte of the label, 0 for an empty label
//   height        19 px; multi-list 19 x (visible rows + 2): label, header
//                 and rows; text 19 x max(1, lines); an area button its
//                 descriptor height when above 0
//   width         label width plus: bool 20, button 16 (an area button: its
//                 descriptor width), popup its descriptor width, float 80,
//                 num 60, colour 90, string 7 x descriptor width, text 7 x
//                 its longest line; a multi-list is its descriptor width (its
//                 label sits above the rows)
//   default place a control whose x was never set has x = 0; one whose y was
//                 never set sits below the control created before it:
//                 y = previous y + previous height + 4 (the first: y = 0).
//                 The rule is applied when the position is read, so it
//                 follows the previous control wherever that is put.
//   panel size    PAN_W/PAN_H as set; never set: the controls' extent + 5.
//
// Drawing: DR_RENDER shows the control normally, DR_GHOST ghosted, DR_ERASE
// hides it until the next DR_RENDER or DR_GHOST, DR_REFRESH keeps the state.
// The user cannot act on a hidden control, nor on a ghosted one, except that
// the rows of a ghosted multi-list stay clickable: the exporters ghost their
// "Invalid Geometry List" once and then only refresh it, and clicking its
// rows to select the bad polygons is the point of the list. A refused, failed
// or unmatched action is skipped with a diagnostic. A carried-out action
// fires the control's event (CTL_USEREVENT) with its CTL_USERDATA after the
// value is set, as a user's change does.
//
// A multi-list must have CTL_USERDATA set (even to null) before the panel
// opens; one without it is noted and shown with no columns and no rows.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "lwpanel.h"

namespace lwhost {

class Host;
struct ControlRef;
struct UiAction;

inline constexpr int PANEL_API_VERSION = 19;
inline constexpr int PANEL_LABEL_CHAR_WIDTH = 7;
inline constexpr int PANEL_CONTROL_HEIGHT = 19;
inline constexpr int PANEL_LAYOUT_GAP = 4;
inline constexpr int PANEL_MAX_ITEMS = 10000;    // popup items and list rows read per view
inline constexpr int PANEL_MAX_COLUMNS = 10;

enum class ViewValue : int { None, Int, Float, Rgb, Text };

// One control as the user sees it at one moment.
struct ControlView {
    std::string type;    // "BoolControl", ...
    std::string label;
    int x = 0, y = 0, w = 0, h = 0, label_width = 0;
    ViewValue value_kind = ViewValue::None;
    int int_value = 0;
    double float_value = 0.0;
    int rgb[3] = {0, 0, 0};
    std::string text;
    bool ghosted = false;
    bool visible = true;
    std::vector<std::string> lines;               // text control: the descriptor's lines
    std::vector<std::string> items;               // popup: from its count and name callbacks
    std::vector<int> column_widths;               // multi-list: colWidth until 0
    std::vector<std::string> header;              // multi-list: name(row -1, col)
    std::vector<std::vector<std::string>> rows;   // multi-list: name(row, col); null is ""
};

// The panel at one moment: when it opened, after each action carried out in
// it, and when it closed.
struct PanelView {
    std::string cause;   // "open", the action's script text, "close ok", "close cancel",
                         // "script ran out", "closed by the plug-in"
    std::vector<ControlView> controls;   // creation order

    const ControlView* control(std::string_view label) const;           // first with that label
    const ControlView* control(std::string_view type, int index) const; // index-th unlabelled of type
};

// One opening of a panel.
struct PanelRecord {
    std::string title;
    int width = 0, height = 0;
    int flags = 0;             // as passed to open
    int result = -1;           // 1 OK, 0 cancel, -1 not closed (yet)
    std::vector<PanelView> views;

    const PanelView& last_view() const { return views.back(); }   // there is always the open view
    const ControlView* control(std::string_view label) const { return last_view().control(label); }
    // The rows of a multi-list in the last view; empty when there is none.
    std::vector<std::vector<std::string>> rows(std::string_view label) const;
};

// Compact text: one line per control; a record adds a title line and a line
// per view. Texts are quoted with \" \\ and \xNN for bytes below 32.
std::string control_view_text(const ControlView& control);
std::string panel_view_text(const PanelView& view);
std::string panel_record_text(const PanelRecord& record);

// Ways the toolkit can let a plug-in down, for tests of what the plug-in
// does then. All off by default.
struct PanelFaults {
    bool refuse_panels = false;          // create returns no panel
    int version = PANEL_API_VERSION;     // what PAN_VERSION reports
    bool refuse_controls = false;        // addControl returns no control ...
    std::string refused_control_type;    // ... of this type ("" = of any type)
};

// One of each way the toolkit can fail a panel: no panel, another version,
// every control refused. For tests that walk them all.
std::vector<PanelFaults> panel_failures();

class Panels {
public:
    PanelFaults faults;
    // Called with a panel's record as it opens, before the script acts on it.
    std::function<void(const PanelRecord&)> on_open;

    explicit Panels(Host& host);
    ~Panels();
    Panels(const Panels&) = delete;
    Panels& operator=(const Panels&) = delete;

    // The record handed out as "LWPanelServices".
    LWPanelFuncs* funcs() { return &funcs_; }
    // Every opening of a panel, in order of opening.
    const std::vector<PanelRecord>& log() const { return log_; }
    // The first record with that title, or null.
    const PanelRecord* find(std::string_view title) const;
    // Panels created and not yet destroyed: a plug-in should leave none.
    std::size_t live_count() const { return panel_ids_.size(); }

    // --- the record's functions (called through funcs(); IDs may be anything)
    void* create(const char* title) noexcept;
    void destroy(void* panel) noexcept;
    int open(void* panel, int flags) noexcept;
    int handle(void* panel, int flags) noexcept;
    void draw(void* panel, int mode) noexcept;
    void close(void* panel) noexcept;
    void get(void* panel, int tag, void* value) noexcept;
    void set(void* panel, int tag, void* value) noexcept;
    LWControl* add_control(void* panel, const char* type, const LWPanControlDesc* desc,
                           const char* label) noexcept;
    LWControl* next_control(void* panel, void* control) noexcept;
    void control_draw(void* control, int mode) noexcept;
    void control_get(void* control, int tag, LWValue* value) noexcept;
    void control_set(void* control, int tag, LWValue* value) noexcept;

private:
    struct Panel;
    struct Control;

    Panel* panel_of(void* id, const char* what);
    Control* control_of(void* id, const char* what);
    void note(const std::string& text) noexcept;

    int control_x(const Control& control) const;
    int control_y(const Control& control) const;
    int control_w(const Control& control) const;
    int control_h(const Control& control) const;
    int panel_w(const Panel& panel) const;
    int panel_h(const Panel& panel) const;

    int popup_count(Control& control);
    std::string popup_item(Control& control, int index);
    int list_count(Control& control);
    ControlView view_of(Control& control);
    void fill_list_view(Control& control, ControlView& view);
    void record_view(Panel& panel, std::string cause);

    void run_script(Panel& panel, bool until_closed);
    void carry_out(Panel& panel, const UiAction& action);
    bool apply(Panel& panel, Control& control, const UiAction& action);
    Control* find_control(Panel& panel, const ControlRef& ref);
    void finish_close(Panel& panel, int result, std::string cause);
    void release(Panel& panel);

    Host& host_;
    LWPanelFuncs funcs_{};
    DrawFuncs draw_funcs_{};
    std::vector<std::unique_ptr<Panel>> panels_;   // live ones and destroyed ones still in use
    std::unordered_map<const void*, Panel*> panel_ids_;
    std::unordered_map<const void*, Control*> control_ids_;
    std::vector<PanelRecord> log_;
};

}  // namespace lwhost
