// The panel toolkit's record ("LWPanelServices") and the life of a panel:
// create, open (a blocking open plays the host's script at it), handle,
// close, destroy, and the panel tags of get/set. Controls live in
// panel_controls.cpp, what the user sees in panel_views.cpp, the user's
// actions in panel_user.cpp.
#include "panels.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "host.h"
#include "panels_internal.h"
#include "services/services.h"

namespace lwhost {

using panels_internal::clamp_int;
using panels_internal::current_panels;
using panels_internal::Kind;
using panels_internal::text_or_empty;

namespace {

// --- the C entry points: no context pointer, so they reach the current host.

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

struct Busy {
    int& count;
    explicit Busy(int& c) : count(c) { ++count; }
    ~Busy() { --count; }
};

}  // namespace

Panels* panels_internal::current_panels() {
    Host* host = Host::current();
    return host ? &host->panels() : nullptr;
}

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

// --- panels -------------------------------------------------------------------

std::vector<PanelFaults> panel_failures() {
    PanelFaults no_panel, other_version, no_controls;
    no_panel.refuse_panels = true;
    other_version.version = PANEL_API_VERSION - 1;
    no_controls.refuse_controls = true;
    return {no_panel, other_version, no_controls};
}

void* Panels::create(const char* title) noexcept {
    if (faults.refuse_panels) {
        note("create \"" + text_or_empty(title) + "\": refused (test fault)");
        return nullptr;
    }
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
            if (panel->alive && on_open) on_open(log_[panel->record]);
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
        case PAN_VERSION: *number = faults.version; return;
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

// ---------------------------------------------------------------------------

namespace services {
void* panel_funcs(Host& host) { return host.panels().funcs(); }
}  // namespace services

}  // namespace lwhost
