// What the user sees of a panel: control geometry from the fixed metrics,
// the views recorded in the log (values, popup items and list cells read
// through the plug-in's callbacks), look-ups in a view, and the compact text
// form of controls, views and records.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "host.h"
#include "panels.h"
#include "panels_internal.h"
#include "ui_script.h"

namespace lwhost {

using panels_internal::append_quoted;
using panels_internal::clamp_int;
using panels_internal::Kind;
using panels_internal::text_or_empty;

namespace {

std::string real_text(double value) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, ec == std::errc{} ? end : buffer);
}

void append_cells(std::string& out, const std::vector<std::string>& cells) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i) out += '|';
        append_quoted(out, cells[i]);
    }
}

}  // namespace

void panels_internal::append_quoted(std::string& out, std::string_view text) {
    out += '"';
    for (char ch : text) {
        unsigned char byte = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            out += escape;
        } else {
            out += ch;
        }
    }
    out += '"';
}

// --- geometry -----------------------------------------------------------------

int Panels::control_x(const Control& control) const { return control.x_set ? control.x : 0; }

int Panels::control_y(const Control& control) const {
    if (control.y_set) return control.y;
    const auto& controls = control.panel->controls;
    std::size_t start = control.index;
    while (start > 0 && !controls[start]->y_set) --start;
    long long y = controls[start]->y_set ? controls[start]->y : 0;
    for (std::size_t k = start; k < control.index; ++k)
        y += control_h(*controls[k]) + PANEL_LAYOUT_GAP;
    return clamp_int(y);
}

int Panels::control_w(const Control& control) const {
    if (control.w_set >= 0) return control.w_set;
    long long label = control.label_width();
    switch (control.kind()) {
    case Kind::Bool: return clamp_int(label + 20);
    case Kind::Button: return control.desc_width > 0 ? control.desc_width : clamp_int(label + 16);
    case Kind::Popup: return clamp_int(label + control.desc_width);
    case Kind::Float: return clamp_int(label + 80);
    case Kind::Num: return clamp_int(label + 60);
    case Kind::Rgb: return clamp_int(label + 90);
    case Kind::String: return clamp_int(label + (long long)PANEL_LABEL_CHAR_WIDTH * control.desc_width);
    case Kind::MultiList: return control.desc_width;
    case Kind::Text: {
        std::size_t longest = 0;
        for (const std::string& line : control.lines) longest = std::max(longest, line.size());
        return clamp_int(label + (long long)PANEL_LABEL_CHAR_WIDTH * (long long)longest);
    }
    }
    return 0;
}

int Panels::control_h(const Control& control) const {
    if (control.h_set >= 0) return control.h_set;
    switch (control.kind()) {
    case Kind::MultiList:
        return clamp_int((long long)PANEL_CONTROL_HEIGHT * (std::max(control.visible_rows, 0) + 2LL));
    case Kind::Text:
        return clamp_int((long long)PANEL_CONTROL_HEIGHT *
                         (long long)std::max<std::size_t>(control.lines.size(), 1));
    case Kind::Button: return control.desc_height > 0 ? control.desc_height : PANEL_CONTROL_HEIGHT;
    default: return PANEL_CONTROL_HEIGHT;
    }
}

int Panels::panel_w(const Panel& panel) const {
    if (panel.w >= 0) return panel.w;
    long long right = 0;
    for (const auto& control : panel.controls)
        right = std::max(right, (long long)control_x(*control) + control_w(*control));
    return clamp_int(right + 5);
}

int Panels::panel_h(const Panel& panel) const {
    if (panel.h >= 0) return panel.h;
    long long bottom = 0;
    for (const auto& control : panel.controls)
        bottom = std::max(bottom, (long long)control_y(*control) + control_h(*control));
    return clamp_int(bottom + 5);
}

// --- what the user sees ---------------------------------------------------------

int Panels::popup_count(Control& control) {
    if (!control.count_fn) return 0;
    return std::clamp(control.count_fn(control.userdata), 0, PANEL_MAX_ITEMS);
}

std::string Panels::popup_item(Control& control, int index) {
    return control.popup_name_fn ? text_or_empty(control.popup_name_fn(control.userdata, index))
                                 : std::string();
}

int Panels::list_count(Control& control) {
    if (!control.count_fn || !control.userdata_set) return 0;
    return std::clamp(control.count_fn(control.userdata), 0, PANEL_MAX_ITEMS);
}

ControlView Panels::view_of(Control& control) {
    ControlView view;
    view.type = control.info->name;
    view.label = control.label;
    view.x = control_x(control);
    view.y = control_y(control);
    view.w = control_w(control);
    view.h = control_h(control);
    view.label_width = control.label_width();
    view.ghosted = control.ghosted;
    view.visible = control.visible;
    switch (control.kind()) {
    case Kind::Bool:
    case Kind::Num:
        view.value_kind = ViewValue::Int;
        view.int_value = control.int_value;
        break;
    case Kind::Float:
        view.value_kind = ViewValue::Float;
        view.float_value = control.float_value;
        break;
    case Kind::Rgb:
        view.value_kind = ViewValue::Rgb;
        std::copy(control.rgb, control.rgb + 3, view.rgb);
        break;
    case Kind::String:
        view.value_kind = ViewValue::Text;
        view.text = control.text;
        break;
    case Kind::Text: view.lines = control.lines; break;
    case Kind::Button: break;
    case Kind::Popup: {
        view.value_kind = ViewValue::Int;
        view.int_value = control.int_value;
        int count = popup_count(control);
        for (int i = 0; i < count; ++i) view.items.push_back(popup_item(control, i));
        break;
    }
    case Kind::MultiList:
        view.value_kind = ViewValue::Int;
        view.int_value = control.int_value;
        if (control.userdata_set) fill_list_view(control, view);   // LightWave leaves it uninitialised otherwise
        break;
    }
    return view;
}

// The columns, header and rows of a multi-list, read through its callbacks.
void Panels::fill_list_view(Control& control, ControlView& view) {
    if (control.column_width_fn) {
        for (int col = 0; col < PANEL_MAX_COLUMNS; ++col) {
            int width = control.column_width_fn(control.userdata, col);
            if (width == 0) break;
            view.column_widths.push_back(width);
        }
    } else {
        view.column_widths.push_back(control.desc_width);
    }
    auto cell = [&](int row, int col) {
        return control.list_name_fn ? text_or_empty(control.list_name_fn(control.userdata, row, col))
                                    : std::string();
    };
    int columns = int(view.column_widths.size());
    for (int col = 0; col < columns; ++col) view.header.push_back(cell(-1, col));
    int count = list_count(control);
    view.rows.resize(std::size_t(count));
    for (int row = 0; row < count; ++row)
        for (int col = 0; col < columns; ++col) view.rows[std::size_t(row)].push_back(cell(row, col));
}

void Panels::record_view(Panel& panel, std::string cause) {
    PanelView view;
    view.cause = std::move(cause);
    // By index: a callback may add controls, which must not break this walk.
    for (std::size_t i = 0; i < panel.controls.size(); ++i)
        view.controls.push_back(view_of(*panel.controls[i]));
    if (panel.record >= log_.size()) return;
    std::vector<PanelView>& views = log_[panel.record].views;
    if (!host_.keep_records && views.size() >= 2) views.back() = std::move(view);
    else views.push_back(std::move(view));
}

// --- records ----------------------------------------------------------------------

const ControlView* PanelView::control(std::string_view label) const {
    for (const ControlView& view : controls)
        if (view.label == label) return &view;
    return nullptr;
}

const ControlView* PanelView::control(std::string_view type, int index) const {
    std::string full = control_type_name(type);
    int seen = 0;
    for (const ControlView& view : controls)
        if (view.label.empty() && view.type == full && seen++ == index) return &view;
    return nullptr;
}

std::vector<std::vector<std::string>> PanelRecord::rows(std::string_view label) const {
    const ControlView* view = control(label);
    return view ? view->rows : std::vector<std::vector<std::string>>{};
}

std::string control_view_text(const ControlView& v) {
    std::string line = v.type + " ";
    append_quoted(line, v.label);
    // Appended piece by piece: g++ 12 warns (-Wrestrict, falsely) on
    // "text" + std::to_string(...) in this file.
    line += ' ';
    line += std::to_string(v.x) + "," + std::to_string(v.y) + " " + std::to_string(v.w) + "x" +
            std::to_string(v.h) + " lw=" + std::to_string(v.label_width);
    switch (v.value_kind) {
    case ViewValue::None: break;
    case ViewValue::Int: line += " value="; line += std::to_string(v.int_value); break;
    case ViewValue::Float: line += " value="; line += real_text(v.float_value); break;
    case ViewValue::Rgb:
        line += " value=";
        line += std::to_string(v.rgb[0]) + "," + std::to_string(v.rgb[1]) + "," + std::to_string(v.rgb[2]);
        break;
    case ViewValue::Text:
        line += " value=";
        append_quoted(line, v.text);
        break;
    }
    if (v.ghosted) line += " ghosted";
    if (!v.visible) line += " hidden";
    if (v.type == "TextControl") {
        line += " lines=";
        append_cells(line, v.lines);
    }
    if (v.type == "CustomPopupControl") {
        line += " items=";
        append_cells(line, v.items);
    }
    if (v.type == "MultiListBoxControl") {
        line += " columns=";
        for (std::size_t i = 0; i < v.column_widths.size(); ++i) {
            if (i) line += ',';
            line += std::to_string(v.column_widths[i]);
        }
        line += " header=";
        append_cells(line, v.header);
        line += " rows=";
        for (std::size_t i = 0; i < v.rows.size(); ++i) {
            if (i) line += ';';
            append_cells(line, v.rows[i]);
        }
    }
    return line;
}

std::string panel_view_text(const PanelView& view) {
    std::string text;
    for (const ControlView& control : view.controls) text += control_view_text(control) + "\n";
    return text;
}

std::string panel_record_text(const PanelRecord& record) {
    std::string text = "panel ";
    append_quoted(text, record.title);
    text += ' ';
    text += std::to_string(record.width) + "x" + std::to_string(record.height) + " flags=" +
            std::to_string(record.flags) + " result=" + std::to_string(record.result) + "\n";
    for (const PanelView& view : record.views) {
        text += "view " + view.cause + "\n";
        for (const ControlView& control : view.controls) text += "  " + control_view_text(control) + "\n";
    }
    return text;
}

}  // namespace lwhost
