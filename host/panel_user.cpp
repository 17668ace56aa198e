// The user at a panel: takes the host script's actions one at a time, finds
// the control each names, refuses what a user could not do (a hidden or
// ghosted control, a value that does not fit, an index out of range) with a
// diagnostic, sets the value and fires the control's event.
#include <algorithm>
#include <string>

#include "host.h"
#include "panels.h"
#include "panels_internal.h"
#include "ui_script.h"

namespace lwhost {

using panels_internal::append_quoted;
using panels_internal::Kind;

namespace {

std::string shown_ref(const ControlRef& ref) {
    if (!ref.by_label()) return ref.type + "#" + std::to_string(ref.index);
    std::string text;
    append_quoted(text, ref.label);
    return text;
}

}  // namespace

void Panels::run_script(Panel& panel, bool until_closed) {
    UiScript& script = host_.script();
    while (panel.alive && panel.is_open) {
        if (panel.close_requested) {
            finish_close(panel, 1, "closed by the plug-in");
            return;
        }
        const UiAction* next = script.peek();
        if (!next) {
            if (script.abandoned()) finish_close(panel, 0, "script abandoned");
            else finish_close(panel, 1, "script ran out");
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
            script.missed();
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
        host_.script().missed();
        return;
    }
    if (!apply(panel, *control, action)) return;
    if (control->event) control->event(&control->record, control->userdata);
    if (panel.alive && panel.is_open) record_view(panel, action_text(action));
}

bool Panels::apply(Panel& panel, Control& control, const UiAction& action) {
    auto refuse = [&](const std::string& why) {
        note("\"" + panel.title + "\": " + why + "; skipped: " + action_text(action));
        host_.script().missed();
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

}  // namespace lwhost
