// Controls of the panel toolkit: adding one from a type name and a
// descriptor, walking a panel's controls, the draw modes, and the control
// tags of get/set (CTL_VALUE as the LWValue member of the control's type).
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "panels.h"
#include "panels_internal.h"

namespace lwhost {

using panels_internal::current_panels;
using panels_internal::Kind;
using panels_internal::KindInfo;
using panels_internal::text_or_empty;

namespace {

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

const KindInfo* kind_named(const char* name) {
    if (!name) return nullptr;
    for (const KindInfo& info : kKinds)
        if (std::strcmp(info.name, name) == 0) return &info;
    return nullptr;
}

void put_integer(LWValue& value, int number) {
    value.intv.type = LWT_INTEGER;
    value.intv.value = number;
}

// The control record's entry points (LWControl draw/get/set).
void ctl_draw(LWControlID control, DrMode mode) {
    if (Panels* panels = current_panels()) panels->control_draw(control, mode);
}
void ctl_get(LWControlID control, cTag tag, LWValue* value) {
    if (Panels* panels = current_panels()) panels->control_get(control, tag, value);
}
void ctl_set(LWControlID control, cTag tag, LWValue* value) {
    if (Panels* panels = current_panels()) panels->control_set(control, tag, value);
}

}  // namespace

LWControl* Panels::add_control(void* id, const char* type, const LWPanControlDesc* desc,
                               const char* label) noexcept {
    try {
        Panel* panel = panel_of(id, "addControl");
        if (!panel) return nullptr;
        const KindInfo* info = kind_named(type);
        std::string what = "addControl \"" + text_or_empty(type) + "\" \"" + text_or_empty(label) + "\"";
        if (faults.refuse_controls &&
            (faults.refused_control_type.empty() || faults.refused_control_type == text_or_empty(type))) {
            note(what + ": refused (test fault)");
            return nullptr;
        }
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
        control->take_descriptor(*desc);
        LWControl* record = &control->record;
        panel->controls.push_back(std::move(control));
        control_ids_.emplace(record, panel->controls.back().get());
        return record;
    } catch (...) {
        note("addControl: out of memory");
        return nullptr;
    }
}

void Panels::Control::take_descriptor(const LWPanControlDesc& desc) {
    switch (kind()) {
    case Kind::Button:
        if (desc.type == LWT_AREA) {
            desc_width = desc.area.width;
            desc_height = desc.area.height;
        }
        break;
    case Kind::Popup:
        desc_width = desc.popup.width;
        count_fn = desc.popup.countFn;
        popup_name_fn = desc.popup.nameFn;
        break;
    case Kind::MultiList:
        desc_width = desc.multiList.width;
        visible_rows = desc.multiList.visItems;
        count_fn = desc.multiList.countFn;
        list_name_fn = desc.multiList.nameFn;
        column_width_fn = desc.multiList.colWidth;
        break;
    case Kind::Text:
        for (int i = 0; desc.text.text && desc.text.text[i] && i < kMaxTextLines; ++i)
            lines.emplace_back(desc.text.text[i]);
        break;
    case Kind::String: desc_width = desc.string.width; break;
    default: break;
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
        auto integer = [&](int number) { put_integer(*value, number); };
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
        case CTL_VALUE: control->get_value(*value); return;
        default: note("get: unknown control tag " + std::to_string(tag)); return;
        }
    } catch (...) {
    }
}

void Panels::Control::get_value(LWValue& value) const {
    switch (kind()) {
    case Kind::Float:
        value.flt.type = LWT_FLOAT;
        value.flt.value = float_value;
        return;
    case Kind::Rgb:
        value.ivec.type = LWT_VINT;
        std::copy(rgb, rgb + 3, value.ivec.val);
        return;
    case Kind::String:
        // Copied into the caller's buffer, as GET_STR expects.
        if (value.str.buf && value.str.bufLen > 0) {
            std::size_t room = std::size_t(value.str.bufLen) - 1;
            std::size_t length = std::min(room, text.size());
            std::memcpy(value.str.buf, text.data(), length);
            value.str.buf[length] = '\0';
        }
        return;
    case Kind::Button:
    case Kind::Text: put_integer(value, 0); return;
    default: put_integer(value, int_value); return;
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
        case CTL_VALUE: control->set_value(*value); return;
        default: note("set: control tag " + std::to_string(tag) + " cannot be set"); return;
        }
    } catch (...) {
    }
}

// Throws std::bad_alloc (a string's copy).
void Panels::Control::set_value(const LWValue& value) {
    switch (kind()) {
    case Kind::Float: float_value = value.flt.value; return;
    case Kind::Rgb: std::copy(value.ivec.val, value.ivec.val + 3, rgb); return;
    case Kind::String: text = text_or_empty(value.str.buf); return;
    case Kind::Button:
    case Kind::Text: return;   // they hold no value
    default: int_value = value.intv.value; return;
    }
}
}  // namespace lwhost
