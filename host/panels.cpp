#include "panels.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>
#include <utility>

#include "host.h"
#include "services/services.h"
#include "ui_script.h"

namespace lwhost {

namespace {

enum class Kind { Bool, Button, Popup, Float, Rgb, MultiList, Num, Text, String };

struct KindInfo {
    const char* name;
    Kind kind;
    LWType desc_type;       // the descriptor type the control is built with
    LWType alt_desc_type;   // a second accepted one (the button's area variant)
};

constexpr KindInfo kKinds[] = {
    {"BoolControl", Kind::Bool, LWT_BOOLEAN, LWT_BOOLEAN},
    {"ButtonControl", Kind::Button, LWT_INTEGER, LWT_AREA},
    {"CustomPopupControl", Kind::Popup, LWT_POPUP, LWT_POPUP},
    {"FloatControl", Kind::Float, LWT_FLOAT, LWT_FLOAT},
    {"MiniRGBControl", Kind::Rgb, LWT_VINT, LWT_VINT},
    {"MultiListBoxControl", Kind::MultiList, LWT_MLIST, LWT_MLIST},
    {"NumControl", Kind::Num, LWT_INTEGER, LWT_INTEGER},
    {"TextControl", Kind::Text, LWT_TEXT, LWT_TEXT},
    {"StringControl", Kind::String, LWT_STRING, LWT_STRING},
};

constexpr int kMaxTextLines = 1000;
constexpr std::size_t kPointerTags = PAN_TO_FRONT + 1;

const KindInfo* kind_named(const char* name) {
    if (!name) return nullptr;
    for (const KindInfo& info : kKinds)
        if (std::strcmp(info.name, name) == 0) return &info;
    return nullptr;
}

int clamp_int(long long value) {
    return int(std::clamp<long long>(value, -(1LL << 30), 1LL << 30));
}

std::string text_or_empty(const char* text) { return text ? std::string(text) : std::string(); }

std::string real_text(double value) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, ec == std::errc{} ? end : buffer);
}

void append_quoted(std::string& out, std::string_view text) {
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

void append_cells(std::string& out, const std::vector<std::string>& cells) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i) out += '|';
        append_quoted(out, cells[i]);
    }
}

std::string shown_ref(const ControlRef& ref) {
    if (!ref.by_label()) return ref.type + "#" + std::to_string(ref.index);
    std::string text;
    append_quoted(text, ref.label);
    return text;
}

// --- the C entry points: no context pointer, so they reach the current host.

Panels* current_panels() {
    Host* host = Host::current();
    return host ? &host->panels() : nullptr;
}

LWPanelID pan_create(char* title, void*) {
    Panels* panels = current_panels();
    return panels ? panels->create(title) : nullptr;
}
void pan_destroy(LWPanelID panel) {
    if (Panels* panels = current_panels()) panels->destroy(panel);
}
int pan_open(LWPanelID panel, int flags) {
    Panels* panels = current_panels();
    return panels ? panels->open(panel, flags) : 0;
}
int pan_handle(LWPanelID panel, int flags) {
    Panels* panels = current_panels();
    return panels ? panels->handle(panel, flags) : -1;
}
void pan_draw(LWPanelID panel, DrMode mode) {
    if (Panels* panels = current_panels()) panels->draw(panel, mode);
}
void pan_close(LWPanelID panel) {
    if (Panels* panels = current_panels()) panels->close(panel);
}
void pan_get(LWPanelID panel, pTag tag, void* value) {
    if (Panels* panels = current_panels()) panels->get(panel, tag, value);
}
void pan_set(LWPanelID panel, pTag tag, void* value) {
    if (Panels* panels = current_panels()) panels->set(panel, tag, value);
}
LWControl* pan_add_control(LWPanelID panel, char* type, LWPanControlDesc* desc, char* label) {
    Panels* panels = current_panels();
    return panels ? panels->add_control(panel, type, desc, label) : nullptr;
}
LWControl* pan_next_control(LWPanelID panel, LWControlID control) {
    Panels* panels = current_panels();
    return panels ? panels->next_control(panel, control) : nullptr;
}
void ctl_draw(LWControlID control, DrMode mode) {
    if (Panels* panels = current_panels()) panels->control_draw(control, mode);
}
void ctl_get(LWControlID control, cTag tag, LWValue* value) {
    if (Panels* panels = current_panels()) panels->control_get(control, tag, value);
}
void ctl_set(LWControlID control, cTag tag, LWValue* value) {
    if (Panels* panels = current_panels()) panels->control_set(control, tag, value);
}

// Nothing is drawn headless; text is measured with the label metric.
void draw_pixel(LWPanelID, int, int, int) {}
void draw_rgb_pixel(LWPanelID, int, int, int, int, int) {}
void draw_line(LWPanelID, int, int, int, int, int) {}
void draw_box(LWPanelID, int, int, int, int, int) {}
void draw_rgb_box(LWPanelID, int, int, int, int, int, int, int) {}
void draw_border(LWPanelID, int, int, int, int, int) {}
int text_width(LWPanelID, char* text) {
    return text ? clamp_int((long long)PANEL_LABEL_CHAR_WIDTH * (long long)std::strlen(text)) : 0;
}
void draw_text(LWPanelID, char*, int, int, int) {}
const LWDisplayMetrics* display_metrics() { return nullptr; }

}  // namespace

// ---------------------------------------------------------------------------
// The model

struct Panels::Control {
    LWControl record{};   // first member: the plug-in's LWControlID is its address
    Panel* panel = nullptr;
    std::size_t index = 0;   // in panel->controls; controls are never removed singly
    const KindInfo* info = nullptr;
    std::string label;
    int x = 0, y = 0;
    bool x_set = false, y_set = false;
    int w_set = -1, h_set = -1;
    int desc_width = 0, desc_height = 0, visible_rows = 0;
    int (*count_fn)(void*) = nullptr;
    char* (*popup_name_fn)(void*, int) = nullptr;
    char* (*list_name_fn)(void*, int, int) = nullptr;
    int (*column_width_fn)(void*, int) = nullptr;
    std::vector<std::string> lines;
    int int_value = 0;
    double float_value = 0.0;
    int rgb[3] = {0, 0, 0};
    std::string text;
    void* userdata = nullptr;
    bool userdata_set = false;
    LWCtlEventHook event = nullptr;
    void* user_draw = nullptr;
    bool ghosted = false, visible = true;
    int range_min = 0, range_max = 0;

    Kind kind() const { return info->kind; }
    int label_width() const {
        return clamp_int((long long)PANEL_LABEL_CHAR_WIDTH * (long long)label.size());
    }
};

struct Panels::Panel {
    std::string title;
    int x = 0, y = 0, w = -1, h = -1, flags = 0;
    void* pointers[kPointerTags] = {};   // PAN_USERDATA and the hooks, by tag
    std::vector<std::unique_ptr<Control>> controls;
    bool alive = true;            // false once destroyed (kept while still in use)
    bool is_open = false;
    bool close_requested = false; // the plug-in called close() from an event
    int busy = 0;                 // open() loops running on this panel
    std::size_t record = 0;       // log_ index of the current opening
    int result = 0;
};

namespace {
struct Busy {
    int& count;
    explicit Busy(int& c) : count(c) { ++count; }
    ~Busy() { --count; }
};
}  // namespace

Panels::Panels(Host& host) : host_(host) {
    draw_funcs_.drawPixel = draw_pixel;
    draw_funcs_.drawRGBPixel = draw_rgb_pixel;
    draw_funcs_.drawLine = draw_line;
    draw_funcs_.drawBox = draw_box;
    draw_funcs_.drawRGBBox = draw_rgb_box;
    draw_funcs_.drawBorder = draw_border;
    draw_funcs_.textWidth = text_width;
    draw_funcs_.drawText = draw_text;
    draw_funcs_.dispMetrics = display_metrics;
    funcs_.create = pan_create;
    funcs_.destroy = pan_destroy;
    funcs_.open = pan_open;
    funcs_.handle = pan_handle;
    funcs_.draw = pan_draw;
    funcs_.close = pan_close;
    funcs_.get = pan_get;
    funcs_.set = pan_set;
    funcs_.addControl = pan_add_control;
    funcs_.nextControl = pan_next_control;
    funcs_.drawFuncs = &draw_funcs_;
    funcs_.user_data = nullptr;
    funcs_.globalFun = nullptr;
}

Panels::~Panels() = default;

void Panels::note(const std::string& text) noexcept {
    try {
        host_.note("panels: " + text);
    } catch (...) {
        // out of memory while noting: the note is lost, the host goes on
    }
}

Panels::Panel* Panels::panel_of(void* id, const char* what) {
    auto found = panel_ids_.find(id);
    if (found != panel_ids_.end()) return found->second;
    note(std::string(what) + ": unknown panel ID");
    return nullptr;
}

Panels::Control* Panels::control_of(void* id, const char* what) {
    auto found = control_ids_.find(id);
    if (found != control_ids_.end()) return found->second;
    note(std::string(what) + ": unknown control ID");
    return nullptr;
}

const PanelRecord* Panels::find(std::string_view title) const {
    for (const PanelRecord& record : log_)
        if (record.title == title) return &record;
    return nullptr;
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
    case Kind::MultiList: {
        view.value_kind = ViewValue::Int;
        view.int_value = control.int_value;
        if (!control.userdata_set) break;   // LightWave leaves such a list uninitialised
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
        break;
    }
    }
    return view;
}

void Panels::record_view(Panel& panel, std::string cause) {
    PanelView view;
    view.cause = std::move(cause);
    // By index: a callback may add controls, which must not break this walk.
    for (std::size_t i = 0; i < panel.controls.size(); ++i)
        view.controls.push_back(view_of(*panel.controls[i]));
    if (panel.record < log_.size()) log_[panel.record].views.push_back(std::move(view));
}

// --- panels -------------------------------------------------------------------

void* Panels::create(const char* title) noexcept {
    try {
        auto panel = std::make_unique<Panel>();
        panel->title = text_or_empty(title);
        Panel* id = panel.get();
        panels_.push_back(std::move(panel));
        panel_ids_.emplace(id, id);
        return id;
    } catch (...) {
        note("create: out of memory");
        return nullptr;
    }
}

void Panels::release(Panel& panel) {
    auto owned = std::find_if(panels_.begin(), panels_.end(),
                              [&](const std::unique_ptr<Panel>& p) { return p.get() == &panel; });
    if (owned != panels_.end()) panels_.erase(owned);
}

void Panels::destroy(void* id) noexcept {
    try {
        Panel* panel = panel_of(id, "destroy");
        if (!panel) return;
        if (panel->is_open) {
            if (panel->busy) note("destroy: panel \"" + panel->title + "\" destroyed from its own event");
            finish_close(*panel, 0, "destroyed while open");
        }
        for (const auto& control : panel->controls) control_ids_.erase(&control->record);
        panel_ids_.erase(panel);
        panel->alive = false;
        if (panel->busy == 0) release(*panel);   // else open() releases it when its loop ends
    } catch (...) {
        note("destroy: out of memory");
    }
}

int Panels::open(void* id, int flags) noexcept {
    try {
        Panel* panel = panel_of(id, "open");
        if (!panel) return 0;
        if (panel->is_open) {
            note("open: panel \"" + panel->title + "\" is already open");
            return 0;
        }
        PanelRecord record;
        record.title = panel->title;
        record.width = panel_w(*panel);
        record.height = panel_h(*panel);
        record.flags = flags;
        log_.push_back(std::move(record));
        panel->record = log_.size() - 1;
        panel->is_open = true;
        panel->close_requested = false;
        for (const auto& control : panel->controls)
            if (control->kind() == Kind::MultiList && !control->userdata_set)
                note("open: multi-list \"" + control->label + "\" in \"" + panel->title +
                     "\" has no CTL_USERDATA; it shows nothing");
        {
            Busy busy(panel->busy);
            if (auto hook = reinterpret_cast<LWPanHook>(panel->pointers[PAN_USEROPEN]))
                hook(panel, panel->pointers[PAN_USERDATA]);
            if (panel->alive) record_view(*panel, "open");
            if (panel->alive && (flags & PANF_BLOCKING)) run_script(*panel, true);
        }
        std::size_t index = panel->record;
        if (!panel->alive) {
            if (panel->busy == 0) release(*panel);
        } else if (!(flags & PANF_BLOCKING)) {
            return 1;
        }
        int result = log_[index].result;
        return result > 0 ? result : 0;
    } catch (...) {
        note("open: out of memory");
        return 0;
    }
}

int Panels::handle(void* id, int flags) noexcept {
    try {
        Panel* panel = panel_of(id, "handle");
        if (!panel || !panel->is_open) return -1;
        {
            Busy busy(panel->busy);
            run_script(*panel, (flags & EVNT_BLOCKING) != 0);
        }
        bool open_now = panel->alive && panel->is_open;
        if (!panel->alive && panel->busy == 0) release(*panel);
        return open_now ? 0 : -1;
    } catch (...) {
        note("handle: out of memory");
        return -1;
    }
}

void Panels::draw(void* id, int mode) noexcept {
    try {
        if (panel_of(id, "draw") && (mode < DR_ERASE || mode > DR_REFRESH))
            note("draw: unknown draw mode " + std::to_string(mode));
    } catch (...) {
    }
}

void Panels::close(void* id) noexcept {
    try {
        Panel* panel = panel_of(id, "close");
        if (!panel || !panel->is_open) return;
        if (panel->busy) panel->close_requested = true;   // the open loop closes it
        else finish_close(*panel, 1, "closed by the plug-in");
    } catch (...) {
        note("close: out of memory");
    }
}

void Panels::finish_close(Panel& panel, int result, std::string cause) {
    if (!panel.is_open) return;
    record_view(panel, std::move(cause));
    if (panel.record < log_.size()) log_[panel.record].result = result;
    panel.result = result;
    panel.is_open = false;
    panel.close_requested = false;
    if (auto hook = reinterpret_cast<LWPanHook>(panel.pointers[PAN_USERCLOSE]))
        hook(&panel, panel.pointers[PAN_USERDATA]);
}

void Panels::get(void* id, int tag, void* value) noexcept {
    try {
        Panel* panel = panel_of(id, "get");
        if (!panel) return;
        if (!value) {
            note("get: null value for tag " + std::to_string(tag));
            return;
        }
        int* number = static_cast<int*>(value);
        void** pointer = static_cast<void**>(value);
        switch (tag) {
        case PAN_X: *number = panel->x; return;
        case PAN_Y: *number = panel->y; return;
        case PAN_W: *number = panel_w(*panel); return;
        case PAN_H: *number = panel_h(*panel); return;
        case PAN_MOUSEX:
        case PAN_MOUSEY:
        case PAN_QUALIFIERS: *number = 0; return;
        case PAN_FLAGS: *number = panel->flags; return;
        case PAN_VERSION: *number = PANEL_API_VERSION; return;
        case PAN_RESULT: *number = panel->result; return;
        case PAN_TITLE: *static_cast<const char**>(value) = panel->title.c_str(); return;
        case PAN_PANFUN: *pointer = &funcs_; return;
        case PAN_HOSTDISPLAY: *pointer = nullptr; return;
        case PAN_USERDRAW:
        case PAN_USERACTIVATE:
        case PAN_USEROPEN:
        case PAN_USERCLOSE:
        case PAN_USERDATA:
        case PAN_USERKEYS:
        case PAN_LWINSTANCE:
        case PAN_MOUSEBUTTON:
        case PAN_MOUSEMOVE:
        case PAN_USERKEYUPS: *pointer = panel->pointers[tag]; return;
        default: note("get: unknown panel tag " + std::to_string(tag)); return;
        }
    } catch (...) {
    }
}

void Panels::set(void* id, int tag, void* value) noexcept {
    try {
        Panel* panel = panel_of(id, "set");
        if (!panel) return;
        int* number = static_cast<int*>(value);
        switch (tag) {
        case PAN_X:
        case PAN_Y:
        case PAN_W:
        case PAN_H:
        case PAN_FLAGS:
            if (!number) {
                note("set: null value for tag " + std::to_string(tag));
                return;
            }
            if (tag == PAN_X) panel->x = *number;
            if (tag == PAN_Y) panel->y = *number;
            if (tag == PAN_W) panel->w = std::max(*number, 0);
            if (tag == PAN_H) panel->h = std::max(*number, 0);
            if (tag == PAN_FLAGS) panel->flags = *number;
            return;
        case PAN_TITLE: panel->title = text_or_empty(static_cast<const char*>(value)); return;
        case PAN_USERDRAW:
        case PAN_USERACTIVATE:
        case PAN_USEROPEN:
        case PAN_USERCLOSE:
        case PAN_USERDATA:
        case PAN_USERKEYS:
        case PAN_LWINSTANCE:
        case PAN_MOUSEBUTTON:
        case PAN_MOUSEMOVE:
        case PAN_USERKEYUPS: panel->pointers[tag] = value; return;
        case PAN_TO_FRONT: return;
        default: note("set: panel tag " + std::to_string(tag) + " cannot be set"); return;
        }
    } catch (...) {
    }
}

// --- controls -------------------------------------------------------------------

LWControl* Panels::add_control(void* id, const char* type, const LWPanControlDesc* desc,
                               const char* label) noexcept {
    try {
        Panel* panel = panel_of(id, "addControl");
        if (!panel) return nullptr;
        const KindInfo* info = kind_named(type);
        std::string what = "addControl \"" + text_or_empty(type) + "\" \"" + text_or_empty(label) + "\"";
        if (!info) {
            note(what + ": unknown control type");
            return nullptr;
        }
        if (!desc) {
            note(what + ": null descriptor");
            return nullptr;
        }
        if (desc->type != info->desc_type && desc->type != info->alt_desc_type) {
            note(what + ": descriptor type " + std::to_string(desc->type) + ", expected " +
                 std::to_string(info->desc_type));
            return nullptr;
        }
        auto control = std::make_unique<Control>();
        control->record.draw = ctl_draw;
        control->record.get = ctl_get;
        control->record.set = ctl_set;
        control->record.priv_data = control.get();
        control->panel = panel;
        control->index = panel->controls.size();
        control->info = info;
        control->label = text_or_empty(label);
        switch (info->kind) {
        case Kind::Button:
            if (desc->type == LWT_AREA) {
                control->desc_width = desc->area.width;
                control->desc_height = desc->area.height;
            }
            break;
        case Kind::Popup:
            control->desc_width = desc->popup.width;
            control->count_fn = desc->popup.countFn;
            control->popup_name_fn = desc->popup.nameFn;
            break;
        case Kind::MultiList:
            control->desc_width = desc->multiList.width;
            control->visible_rows = desc->multiList.visItems;
            control->count_fn = desc->multiList.countFn;
            control->list_name_fn = desc->multiList.nameFn;
            control->column_width_fn = desc->multiList.colWidth;
            break;
        case Kind::Text:
            for (int i = 0; desc->text.text && desc->text.text[i] && i < kMaxTextLines; ++i)
                control->lines.emplace_back(desc->text.text[i]);
            break;
        case Kind::String: control->desc_width = desc->string.width; break;
        default: break;
        }
        LWControl* record = &control->record;
        panel->controls.push_back(std::move(control));
        control_ids_.emplace(record, panel->controls.back().get());
        return record;
    } catch (...) {
        note("addControl: out of memory");
        return nullptr;
    }
}

LWControl* Panels::next_control(void* id, void* after) noexcept {
    try {
        Panel* panel = panel_of(id, "nextControl");
        if (!panel) return nullptr;
        std::size_t next = 0;
        if (after) {
            Control* control = control_of(after, "nextControl");
            if (!control || control->panel != panel) return nullptr;
            next = control->index + 1;
        }
        return next < panel->controls.size() ? &panel->controls[next]->record : nullptr;
    } catch (...) {
        return nullptr;
    }
}

void Panels::control_draw(void* id, int mode) noexcept {
    try {
        Control* control = control_of(id, "draw");
        if (!control) return;
        switch (mode) {
        case DR_RENDER: control->ghosted = false; control->visible = true; return;
        case DR_GHOST: control->ghosted = true; control->visible = true; return;
        case DR_ERASE: control->visible = false; return;
        case DR_REFRESH: return;
        default: note("draw: unknown draw mode " + std::to_string(mode)); return;
        }
    } catch (...) {
    }
}

void Panels::control_get(void* id, int tag, LWValue* value) noexcept {
    try {
        Control* control = control_of(id, "get");
        if (!control) return;
        if (!value) {
            note("get: null value for control tag " + std::to_string(tag));
            return;
        }
        auto integer = [&](int number) {
            value->intv.type = LWT_INTEGER;
            value->intv.value = number;
        };
        auto pointer = [&](void* address) {
            value->ptr.type = LWT_NULL;
            value->ptr.ptr = address;
        };
        int label_width = control->label_width();
        // The hot area is the field without its label; a list's label sits above it.
        int field_offset = control->kind() == Kind::MultiList ? 0 : label_width;
        switch (tag) {
        case CTL_X: integer(control_x(*control)); return;
        case CTL_Y: integer(control_y(*control)); return;
        case CTL_W: integer(control_w(*control)); return;
        case CTL_H: integer(control_h(*control)); return;
        case CTL_HOTX: integer(control_x(*control) + field_offset); return;
        case CTL_HOTY: integer(control_y(*control)); return;
        case CTL_HOTW: integer(std::max(control_w(*control) - field_offset, 0)); return;
        case CTL_HOTH: integer(control_h(*control)); return;
        case CTL_LABELWIDTH: integer(label_width); return;
        case CTL_MOUSEX:
        case CTL_MOUSEY:
        case CTL_ACTIVATE: integer(0); return;
        case CTL_FLAGS:
            integer((control->ghosted ? CTLF_DISABLE : 0) | (control->visible ? 0 : CTLF_INVISIBLE));
            return;
        case CTL_RANGEMIN: integer(control->range_min); return;
        case CTL_RANGEMAX: integer(control->range_max); return;
        case CTL_USERDATA: pointer(control->userdata); return;
        case CTL_USEREVENT: pointer(reinterpret_cast<void*>(control->event)); return;
        case CTL_USERDRAW: pointer(control->user_draw); return;
        case CTL_PANEL: pointer(control->panel); return;
        case CTL_PANFUN: pointer(&funcs_); return;
        case CTL_LABEL:
            value->str.type = LWT_STRING;
            value->str.buf = control->label.data();
            value->str.bufLen = int(std::min<std::size_t>(control->label.size(), 1u << 30));
            return;
        case CTL_VALUE: break;
        default: note("get: unknown control tag " + std::to_string(tag)); return;
        }
        switch (control->kind()) {
        case Kind::Float:
            value->flt.type = LWT_FLOAT;
            value->flt.value = control->float_value;
            return;
        case Kind::Rgb:
            value->ivec.type = LWT_VINT;
            std::copy(control->rgb, control->rgb + 3, value->ivec.val);
            return;
        case Kind::String:
            // Copied into the caller's buffer, as GET_STR expects.
            if (value->str.buf && value->str.bufLen > 0) {
                std::size_t room = std::size_t(value->str.bufLen) - 1;
                std::size_t length = std::min(room, control->text.size());
                std::memcpy(value->str.buf, control->text.data(), length);
                value->str.buf[length] = '\0';
            }
            return;
        case Kind::Button:
        case Kind::Text: integer(0); return;
        default: integer(control->int_value); return;
        }
    } catch (...) {
    }
}

void Panels::control_set(void* id, int tag, LWValue* value) noexcept {
    try {
        Control* control = control_of(id, "set");
        if (!control) return;
        if (!value) {
            note("set: null value for control tag " + std::to_string(tag));
            return;
        }
        switch (tag) {
        case CTL_X: control->x = value->intv.value; control->x_set = true; return;
        case CTL_Y: control->y = value->intv.value; control->y_set = true; return;
        case CTL_W: control->w_set = std::max(value->intv.value, 0); return;
        case CTL_H: control->h_set = std::max(value->intv.value, 0); return;
        case CTL_FLAGS:
            control->ghosted = (value->intv.value & CTLF_DISABLE) != 0;
            control->visible = (value->intv.value & CTLF_INVISIBLE) == 0;
            return;
        case CTL_RANGEMIN: control->range_min = value->intv.value; return;
        case CTL_RANGEMAX: control->range_max = value->intv.value; return;
        case CTL_USERDATA:
            control->userdata = value->ptr.ptr;
            control->userdata_set = true;
            return;
        case CTL_USEREVENT: control->event = reinterpret_cast<LWCtlEventHook>(value->ptr.ptr); return;
        case CTL_USERDRAW: control->user_draw = value->ptr.ptr; return;
        case CTL_LABEL: control->label = text_or_empty(value->str.buf); return;
        case CTL_ACTIVATE: return;
        case CTL_VALUE: break;
        default: note("set: control tag " + std::to_string(tag) + " cannot be set"); return;
        }
        switch (control->kind()) {
        case Kind::Float: control->float_value = value->flt.value; return;
        case Kind::Rgb: std::copy(value->ivec.val, value->ivec.val + 3, control->rgb); return;
        case Kind::String: control->text = text_or_empty(value->str.buf); return;
        case Kind::Button:
        case Kind::Text: return;   // they hold no value
        default: control->int_value = value->intv.value; return;
        }
    } catch (...) {
    }
}

// --- the user at the panel ------------------------------------------------------

void Panels::run_script(Panel& panel, bool until_closed) {
    UiScript& script = host_.script();
    while (panel.alive && panel.is_open) {
        if (panel.close_requested) {
            finish_close(panel, 1, "closed by the plug-in");
            return;
        }
        const UiAction* next = script.peek();
        if (!next) {
            finish_close(panel, 1, "script ran out");
            return;
        }
        UiAction action = *next;   // a copy: the action's event may consume further actions
        script.consume();
        switch (action.kind) {
        case UiActionKind::Close:
            finish_close(panel, action.ok ? 1 : 0, action.ok ? "close ok" : "close cancel");
            return;
        case UiActionKind::FileAnswer:
        case UiActionKind::FileCancel:
        case UiActionKind::FileFail:
            note("\"" + panel.title + "\": no file requester is open; skipped: " + action_text(action));
            break;
        default: carry_out(panel, action); break;
        }
        if (panel.alive && panel.is_open && panel.close_requested)
            finish_close(panel, 1, "closed by the plug-in");
        if (!until_closed) return;
    }
}

Panels::Control* Panels::find_control(Panel& panel, const ControlRef& ref) {
    int seen = 0;
    for (const auto& control : panel.controls) {
        if (ref.by_label()) {
            if (control->label == ref.label) return control.get();
        } else if (control->label.empty() && ref.type == control->info->name && seen++ == ref.index) {
            return control.get();
        }
    }
    return nullptr;
}

void Panels::carry_out(Panel& panel, const UiAction& action) {
    Control* control = find_control(panel, action.control);
    std::string refused;
    if (!control) refused = "no control " + shown_ref(action.control);
    else if (!control->visible) refused = shown_ref(action.control) + " is hidden";
    else if (control->ghosted && control->kind() != Kind::MultiList)
        refused = shown_ref(action.control) + " is ghosted";
    if (!refused.empty()) {
        note("\"" + panel.title + "\": " + refused + "; skipped: " + action_text(action));
        return;
    }
    if (!apply(panel, *control, action)) return;
    if (control->event) control->event(&control->record, control->userdata);
    if (panel.alive && panel.is_open) record_view(panel, action_text(action));
}

bool Panels::apply(Panel& panel, Control& control, const UiAction& action) {
    auto refuse = [&](const std::string& why) {
        note("\"" + panel.title + "\": " + why + "; skipped: " + action_text(action));
        return false;
    };
    Kind kind = control.kind();
    const std::string type = control.info->name;
    auto choose = [&](int index, int count, const char* what) {
        if (kind == Kind::MultiList && !control.userdata_set)
            return refuse("multi-list without CTL_USERDATA takes no clicks");
        if (index < 0 || index >= count)
            return refuse(std::string(what) + " " + std::to_string(index) + " out of 0.." +
                          std::to_string(count - 1));
        control.int_value = index;
        return true;
    };
    switch (action.kind) {
    case UiActionKind::Set: {
        UiValueKind value = action.value_kind;
        if (value == UiValueKind::Int && (kind == Kind::Bool || kind == Kind::Num)) {
            control.int_value = kind == Kind::Bool ? (action.int_value != 0) : action.int_value;
            return true;
        }
        if (value == UiValueKind::Int && kind == Kind::Popup)
            return choose(action.int_value, popup_count(control), "item");
        if (value == UiValueKind::Int && kind == Kind::MultiList)
            return choose(action.int_value, list_count(control), "row");
        if ((value == UiValueKind::Int || value == UiValueKind::Float) && kind == Kind::Float) {
            control.float_value = value == UiValueKind::Int ? action.int_value : action.float_value;
            return true;
        }
        if (value == UiValueKind::Rgb && kind == Kind::Rgb) {
            for (int channel : action.rgb)
                if (channel < 0 || channel > 255) return refuse("colour channel out of 0..255");
            std::copy(action.rgb, action.rgb + 3, control.rgb);
            return true;
        }
        if (value == UiValueKind::Text && kind == Kind::String) {
            control.text = action.text;
            return true;
        }
        return refuse("the value does not fit a " + type);
    }
    case UiActionKind::Pick: {
        if (kind != Kind::Popup) return refuse("pick needs a popup, not a " + type);
        int count = popup_count(control);
        for (int i = 0; i < count; ++i)
            if (popup_item(control, i) == action.text) return choose(i, count, "item");
        return refuse("no item \"" + action.text + "\"");
    }
    case UiActionKind::Click:
        if (kind != Kind::MultiList) return refuse("click needs a multi-list, not a " + type);
        return choose(action.int_value, list_count(control), "row");
    case UiActionKind::Press:
        if (kind != Kind::Button) return refuse("press needs a button, not a " + type);
        return true;
    default: return refuse("not an action on a control");
    }
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
    line += " " + std::to_string(v.x) + "," + std::to_string(v.y) + " " + std::to_string(v.w) + "x" +
            std::to_string(v.h) + " lw=" + std::to_string(v.label_width);
    switch (v.value_kind) {
    case ViewValue::None: break;
    case ViewValue::Int: line += " value=" + std::to_string(v.int_value); break;
    case ViewValue::Float: line += " value=" + real_text(v.float_value); break;
    case ViewValue::Rgb:
        line += " value=" + std::to_string(v.rgb[0]) + "," + std::to_string(v.rgb[1]) + "," +
                std::to_string(v.rgb[2]);
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
        for (std::size_t i = 0; i < v.column_widths.size(); ++i)
            line += (i ? "," : "") + std::to_string(v.column_widths[i]);
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
    text += " " + std::to_string(record.width) + "x" + std::to_string(record.height) +
            " flags=" + std::to_string(record.flags) + " result=" + std::to_string(record.result) + "\n";
    for (const PanelView& view : record.views) {
        text += "view " + view.cause + "\n";
        for (const ControlView& control : view.controls) text += "  " + control_view_text(control) + "\n";
    }
    return text;
}

// ---------------------------------------------------------------------------

namespace services {
void* panel_funcs(Host& host) { return host.panels().funcs(); }
}  // namespace services

}  // namespace lwhost
