#include "panel_kit.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "export_names.h"

namespace {

// In GroupBy order.
const char* const GROUP_ITEMS[] = {"UV Texture Map Name", "Surface Name", "Surface Texture Image Name"};

int first_group(int uv_map_count) noexcept { return uv_map_count > 0 ? GROUP_BY_UV_MAP : GROUP_BY_SURFACE; }

void set_size(LWPanelFuncs* funcs, LWPanelID panel, int width, int height) noexcept {
    funcs->set(panel, PAN_W, &width);
    funcs->set(panel, PAN_H, &height);
}

}  // namespace

LWPanelID panel_create_checked(LWPanelFuncs* funcs, const char* title, int width, int height) noexcept {
    if (funcs == nullptr || funcs->create == nullptr) return nullptr;
    LWPanelID panel = funcs->create(panel_text(title), funcs);
    if (panel == nullptr) return nullptr;
    int version = 0;
    funcs->get(panel, PAN_VERSION, &version);
    // Another version lays out its records differently: nothing may be added.
    if (version != LWPANELS_API_VERSION) {
        funcs->destroy(panel);
        return nullptr;
    }
    set_size(funcs, panel, width, height);
    return panel;
}

LWPanelID panel_create_sized(LWPanelFuncs* funcs, const char* title, int width, int height) noexcept {
    if (funcs == nullptr || funcs->create == nullptr) return nullptr;
    LWPanelID panel = funcs->create(panel_text(title), funcs);
    if (panel != nullptr) set_size(funcs, panel, width, height);
    return panel;
}

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

void panel_draw_enabled(LWControl* control, bool enabled) noexcept {
    panel_draw(control, enabled ? DR_RENDER : DR_GHOST);
}

LWControl* panel_add_control(const LWPanelFuncs* funcs, LWPanelID panel, const char* type, LWPanControlDesc& desc,
                             const char* label) noexcept {
    return funcs->addControl(panel, panel_text(type), &desc, panel_text(label));
}

LWControl* panel_add_typed(const LWPanelFuncs* funcs, LWPanelID panel, const char* type, LWType desc_type,
                           const char* label, int x, int y) noexcept {
    LWPanControlDesc desc{};
    desc.type = desc_type;
    LWControl* control = panel_add_control(funcs, panel, type, desc, label);
    panel_place(control, x, y);
    return control;
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

LWControl* panel_add_popup(const LWPanelFuncs* funcs, LWPanelID panel, const char* label, int width,
                           int (*count)(void*), char* (*name)(void*, int), int field_x, int y, void* data) noexcept {
    LWPanControlDesc desc{};
    desc.popup.type = LWT_POPUP;
    desc.popup.width = width;
    desc.popup.countFn = count;
    desc.popup.nameFn = name;
    LWControl* control = panel_add_control(funcs, panel, "CustomPopupControl", desc, label);
    panel_place_after_label(control, field_x, y);
    panel_set_pointer(control, CTL_USERDATA, data);
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

float float_from_double(double value) noexcept {
    // FLT_MAX plus half its last place: from here on the nearest float (ties
    // to even; FLT_MAX is odd) is an infinity. Below it, up to FLT_MAX + a
    // hair, rounding still gives FLT_MAX.
    constexpr double ROUNDS_TO_INFINITY = 0x1.ffffffp127;
    if (value >= ROUNDS_TO_INFINITY) return std::numeric_limits<float>::infinity();
    if (value <= -ROUNDS_TO_INFINITY) return -std::numeric_limits<float>::infinity();
    if (value > static_cast<double>(FLT_MAX)) return FLT_MAX;
    if (value < -static_cast<double>(FLT_MAX)) return -FLT_MAX;
    return static_cast<float>(value);
}

float panel_scale_setting(LWControl* box, LWControl* field) noexcept {
    if (panel_get_int(box, CTL_VALUE) == 0) return 1.0f;
    return float_from_double(panel_get_float(field));
}

float panel_scale_toggled(LWControl* box, LWControl* field) noexcept {
    const float scale = panel_scale_setting(box, field);
    panel_draw_enabled(field, panel_get_int(box, CTL_VALUE) != 0);
    return scale;
}

// A scale that is no finite float would make every number of the file inf
// or NaN, so such a typed value is undone rather than used.
float panel_scale_edited(LWControl* field, float& kept) noexcept {
    const float scale = float_from_double(panel_get_float(field));
    if (!std::isfinite(scale)) {
        panel_set_float(field, static_cast<double>(kept));
        return kept;
    }
    kept = scale;
    return scale;
}

float panel_scale_setting(LWControl* box, LWControl* field, float& kept) noexcept {
    if (panel_get_int(box, CTL_VALUE) == 0) return 1.0f;
    return panel_scale_edited(field, kept);
}

float panel_scale_toggled(LWControl* box, LWControl* field, float& kept) noexcept {
    const float scale = panel_scale_setting(box, field, kept);
    panel_draw_enabled(field, panel_get_int(box, CTL_VALUE) != 0);
    return scale;
}

int panel_group_count(int uv_map_count) noexcept { return GROUP_BY_TEXTURE - first_group(uv_map_count) + 1; }

int panel_group_of_item(int uv_map_count, int index) noexcept {
    const int first = first_group(uv_map_count);
    return index >= 0 && index < panel_group_count(uv_map_count) ? first + index : first;
}

char* panel_group_name(int uv_map_count, int index) noexcept {
    return panel_text(GROUP_ITEMS[panel_group_of_item(uv_map_count, index)]);
}

const char* const MESH_PANEL_INVALID_LABELS[MESH_PANEL_INVALID_ROWS] = {
    "Triangles without UV information:",
    "Degenerated polygons (2 vert etc):",
    "5+ sided polygons:",
    "Subpatches, curves, skelegons etc :",
};

LWPanelID mesh_panel_create(LWPanelFuncs* funcs, const char* title, int height, const std::string& object_name,
                            std::string& out_label) noexcept {
    if (funcs == nullptr || funcs->create == nullptr) return nullptr;
    try {
        out_label = "Object: " + object_name;
    } catch (...) {
        return nullptr;
    }
    return panel_create_checked(funcs, title, MESH_PANEL_WIDTH, height);
}
