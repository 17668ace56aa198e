#include "panel_kit.h"

void panel_set_int(LWControl* control, cTag tag, int number) noexcept {
    if (control == nullptr) return;
    LWValue value{};
    value.intv.type = LWT_INTEGER;
    value.intv.value = number;
    control->set(control, tag, &value);
}

int panel_get_int(LWControl* control, cTag tag) noexcept {
    if (control == nullptr) return 0;
    LWValue value{};
    value.intv.type = LWT_INTEGER;
    control->get(control, tag, &value);
    return value.intv.value;
}

void panel_set_float(LWControl* control, double number) noexcept {
    if (control == nullptr) return;
    LWValue value{};
    value.flt.type = LWT_FLOAT;
    value.flt.value = number;
    control->set(control, CTL_VALUE, &value);
}

double panel_get_float(LWControl* control) noexcept {
    if (control == nullptr) return 0.0;
    LWValue value{};
    value.flt.type = LWT_FLOAT;
    control->get(control, CTL_VALUE, &value);
    return value.flt.value;
}

void panel_set_pointer(LWControl* control, cTag tag, void* pointer) noexcept {
    if (control == nullptr) return;
    LWValue value{};
    value.ptr.ptr = pointer;
    control->set(control, tag, &value);
}

void panel_set_event(LWControl* control, LWCtlEventHook event, void* data) noexcept {
    panel_set_pointer(control, CTL_USERDATA, data);
    panel_set_pointer(control, CTL_USEREVENT, reinterpret_cast<void*>(event));
}

void panel_place(LWControl* control, int x, int y) noexcept {
    panel_set_int(control, CTL_X, x);
    panel_set_int(control, CTL_Y, y);
}

void panel_place_after_label(LWControl* control, int field_x, int y) noexcept {
    if (control == nullptr) return;
    panel_place(control, field_x - panel_get_int(control, CTL_LABELWIDTH), y);
}

void panel_draw(LWControl* control, DrMode mode) noexcept {
    if (control != nullptr) control->draw(control, mode);
}

LWControl* panel_add_control(const LWPanelFuncs* funcs, LWPanelID panel, const char* type, LWPanControlDesc& desc,
                             const char* label) noexcept {
    return funcs->addControl(panel, panel_text(type), &desc, panel_text(label));
}

LWControl* panel_add_text(const LWPanelFuncs* funcs, LWPanelID panel, const char* label, int x, int y) noexcept {
    static const char* const ONE_EMPTY_LINE[] = {"", nullptr};
    LWPanControlDesc desc{};
    desc.text.type = LWT_TEXT;
    desc.text.text = const_cast<const char**>(ONE_EMPTY_LINE);
    LWControl* control = panel_add_control(funcs, panel, "TextControl", desc, label);
    if (control != nullptr) panel_place(control, x, y);
    return control;
}

LWControl* panel_add_list(const LWPanelFuncs* funcs, LWPanelID panel, const char* label, int width, int visible_rows,
                          int (*count)(void*), char* (*name)(void*, int, int), int (*column_width)(void*, int),
                          void* data) noexcept {
    LWPanControlDesc desc{};
    desc.multiList.type = LWT_MLIST;
    desc.multiList.width = width;
    desc.multiList.visItems = visible_rows;
    desc.multiList.countFn = count;
    desc.multiList.nameFn = name;
    desc.multiList.colWidth = column_width;
    LWControl* control = panel_add_control(funcs, panel, "MultiListBoxControl", desc, label);
    if (control != nullptr) panel_set_pointer(control, CTL_USERDATA, data);
    return control;
}
