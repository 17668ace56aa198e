// The exporter's panel: the layer and grouping choices, the counts of valid
// and invalid geometry, the scale, the UV template button and the save.
#include <cstring>
#include <new>
#include <string>

#include "host_glue.h"
#include "meshwriter.h"
#include "panel_kit.h"
#include "smd_save.h"
#include "uv_template.h"
#include "writer.h"

namespace {

constexpr char PANEL_TITLE[] = "SMD Static Mesh Exporter by Tolvane";
constexpr int PANEL_HEIGHT = 440;

constexpr char LABEL_LAYERS[] = "Export Layers:";

const char* const LAYER_ITEMS[] = {"All layers", "Foreground only"};

static_assert(MESH_INVALID_ROWS == MESH_PANEL_INVALID_ROWS);
constexpr char CLICK_TO_SELECT[] = "Click to select geometry";
const int COLUMN_WIDTHS[] = {200, 100, 200};
constexpr int COLUMN_COUNT = 3;

// ---- popups and lists -------------------------------------------------------

int layers_count(void*) noexcept { return 2; }

char* layers_name(void*, int index) noexcept { return panel_text(LAYER_ITEMS[index == 1 ? 1 : 0]); }

int group_count(void* data) noexcept {
    const auto* state = static_cast<const MeshExportState*>(data);
    return panel_group_count(state != nullptr ? state->geometry.uv_map_count : 0);
}

char* group_name(void* data, int index) noexcept {
    const auto* state = static_cast<const MeshExportState*>(data);
    if (state == nullptr) return nullptr;
    return panel_group_name(state->geometry.uv_map_count, index);
}

int column_width(void*, int column) noexcept {
    return column >= 0 && column < COLUMN_COUNT ? COLUMN_WIDTHS[column] : 0;
}

char* number_text(MeshExportState& state, int number) noexcept {
    format_c_locale(state.cell_text, sizeof state.cell_text, "%d", number);
    return state.cell_text;
}

int valid_count(void*) noexcept { return 1; }

char* valid_name(void* data, int row, int column) noexcept {
    auto* state = static_cast<MeshExportState*>(data);
    if (state == nullptr) return nullptr;
    if (row == -1) return column == 0 ? panel_text("Valid Geometry") : column == 1 ? panel_text("Count") : nullptr;
    if (row != 0) return nullptr;
    switch (column) {
        case 0: return panel_text("Triangles");
        case 1: return number_text(*state, state->counts.valid_triangles);
        case 2: return panel_text("");
        default: return nullptr;
    }
}

int invalid_count(void*) noexcept { return MESH_INVALID_ROWS; }

int invalid_row_count(const MeshExportState& state, int row) noexcept {
    switch (row) {
        case MESH_ROW_NO_UV: return state.counts.no_uv_triangles;
        case MESH_ROW_DEGENERATE: return state.counts.degenerate;
        case MESH_ROW_FIVE_PLUS: return state.counts.five_plus;
        default: return state.counts.non_face;
    }
}

char* invalid_name(void* data, int row, int column) noexcept {
    auto* state = static_cast<MeshExportState*>(data);
    if (state == nullptr) return nullptr;
    if (row == -1) return column == 0 ? panel_text("Invalid Geometry") : column == 1 ? panel_text("Count") : nullptr;
    if (row < 0 || row >= MESH_INVALID_ROWS) return nullptr;
    const int count = invalid_row_count(*state, row);
    switch (column) {
        case 0: return panel_text(MESH_PANEL_INVALID_LABELS[row]);
        case 1: return number_text(*state, count);
        case 2: return panel_text(count > 0 ? CLICK_TO_SELECT : "");
        default: return nullptr;
    }
}

// ---- events -------------------------------------------------------------------

void layers_changed(LWControlID control, void* data) noexcept {
    auto* state = static_cast<MeshExportState*>(data);
    if (state == nullptr) return;
    const int item = panel_get_int(static_cast<LWControl*>(control), CTL_VALUE);
    state->export_layers = item == 1 ? MESH_LAYERS_FOREGROUND : MESH_LAYERS_ALL;
    mesh_mark_layers(*state);
    mesh_refresh_panel(*state);
}

void grouping_changed(LWControlID control, void* data) noexcept {
    auto* state = static_cast<MeshExportState*>(data);
    if (state == nullptr) return;
    const int item = panel_get_int(static_cast<LWControl*>(control), CTL_VALUE);
    state->group_by = panel_group_of_item(state->geometry.uv_map_count, item);
    mesh_count_polygons(*state);
    mesh_refresh_panel(*state);
}

void verify_changed(LWControlID control, void* data) noexcept {
    auto* state = static_cast<MeshExportState*>(data);
    if (state == nullptr) return;
    state->verify_uv = panel_get_int(static_cast<LWControl*>(control), CTL_VALUE) != 0 ? 0 : 1;
    mesh_count_polygons(*state);
    mesh_refresh_panel(*state);
}

void invalid_row_clicked(LWControlID control, void* data) noexcept {
    auto* state = static_cast<MeshExportState*>(data);
    if (state == nullptr) return;
    mesh_select_invalid(*state, panel_get_int(static_cast<LWControl*>(control), CTL_VALUE));
}

void scale_box_changed(LWControlID control, void* data) noexcept {
    auto* state = static_cast<MeshExportState*>(data);
    if (state == nullptr) return;
    panel_scale_toggled(static_cast<LWControl*>(control), state->controls.scale_value, state->controls.scale_kept);
}

void scale_value_changed(LWControlID control, void* data) noexcept {
    auto* state = static_cast<MeshExportState*>(data);
    if (state == nullptr) return;
    panel_scale_edited(static_cast<LWControl*>(control), state->controls.scale_kept);
}

void uv_template_pressed(LWControlID control, void* data) noexcept {
    auto* state = static_cast<MeshExportState*>(data);
    if (state == nullptr) return;
    const UvTemplateSource source{state->global, state->messages, state->panel_funcs, state->geometry.uv_map_count,
                                  mesh_source_modeler(state->edit)};
    // The template exporter shows its own failures.
    static_cast<void>(uv_template_open(control, source));
}

// The factor the writer uses: the float field while "Scale geometry:" is on
// (1.0 for a 0 there, which would put every point at the origin), else 1.0.
float panel_scale(MeshExportState& state) noexcept {
    const float scale =
        panel_scale_setting(state.controls.scale_box, state.controls.scale_value, state.controls.scale_kept);
    return scale == 0.0f ? 1.0f : scale;
}

// Before the requester: a cancelled save still takes the panel's scale.
void take_scale(void* data) noexcept {
    auto* state = static_cast<MeshExportState*>(data);
    state->scale = panel_scale(*state);
}

ExportResult write_static(const void* data, std::FILE* stream) noexcept {
    return mesh_write_smd(*static_cast<const MeshExportState*>(data), stream);
}

// ---- building -----------------------------------------------------------------

LWControl* add_text(MeshExportState& state, const char* label, int x, int y) noexcept {
    return panel_add_text(state.panel_funcs, state.panel, label, x, y);
}

LWControl* add_popup(MeshExportState& state, const char* label, int y, int (*count)(void*),
                     char* (*name)(void*, int), LWCtlEventHook event) noexcept {
    LWControl* control = panel_add_popup(state.panel_funcs, state.panel, label, MESH_PANEL_POPUP_WIDTH, count, name,
                                         MESH_PANEL_POPUP_FIELD_X, y, &state);
    panel_set_event(control, event, &state);
    return control;
}

LWControl* add_list(MeshExportState& state, const char* label, int visible_rows, int (*count)(void*),
                    char* (*name)(void*, int, int)) noexcept {
    return panel_add_list(state.panel_funcs, state.panel, label, MESH_PANEL_LIST_WIDTH, visible_rows, count, name,
                          column_width, &state);
}

LWControl* add_button(MeshExportState& state, const char* label, int x, int y, LWCtlEventHook event) noexcept {
    LWControl* control = panel_add_typed(state.panel_funcs, state.panel, "ButtonControl", LWT_INTEGER, label, x, y);
    panel_set_event(control, event, &state);
    return control;
}

LWControl* add_bool(MeshExportState& state, const char* label, int x, int y, int value,
                    LWCtlEventHook event) noexcept {
    LWControl* control = panel_add_typed(state.panel_funcs, state.panel, "BoolControl", LWT_BOOLEAN, label, x, y);
    panel_set_int(control, CTL_VALUE, value);
    panel_set_event(control, event, &state);
    return control;
}

// Adds the controls in the panel's order; false when the toolkit refused one
// (a panel with a control missing cannot be used).
bool add_controls(MeshExportState& state) noexcept {
    MeshControls& c = state.controls;
    c.object = add_text(state, state.object_label.c_str(), 5, 10);
    if (c.object == nullptr) return false;
    c.layers = add_popup(state, LABEL_LAYERS, 42, layers_count, layers_name, layers_changed);
    if (c.layers == nullptr) return false;
    c.group_by = add_popup(state, MESH_PANEL_GROUP_BY, 77, group_count, group_name, grouping_changed);
    if (c.group_by == nullptr) return false;
    c.verify = add_bool(state, MESH_PANEL_VERIFY, 366, 77, 0, verify_changed);
    if (c.verify == nullptr) return false;

    // The valid list takes no event: a click there selects and changes nothing.
    c.valid_list = add_list(state, MESH_PANEL_VALID_LIST, 3, valid_count, valid_name);
    if (c.valid_list == nullptr) return false;
    panel_place(c.valid_list, 5, 112);
    // Left where the toolkit puts it, below the valid list. Ghosted once: its
    // rows stay clickable to select the polygons they count.
    c.invalid_list = add_list(state, MESH_PANEL_INVALID_LIST, 5, invalid_count, invalid_name);
    if (c.invalid_list == nullptr) return false;
    panel_set_pointer(c.invalid_list, CTL_USEREVENT, reinterpret_cast<void*>(&invalid_row_clicked));
    panel_draw(c.invalid_list, DR_GHOST);

    c.uv_template = add_button(state, MESH_PANEL_UV_TEMPLATE, 377, 320, uv_template_pressed);
    if (c.uv_template == nullptr) return false;
    c.scale_box = add_bool(state, MESH_PANEL_SCALE, 8, 320, 1, scale_box_changed);
    if (c.scale_box == nullptr) return false;
    c.scale_value = panel_add_typed(state.panel_funcs, state.panel, "FloatControl", LWT_FLOAT, "", 112, 320);
    if (c.scale_value == nullptr) return false;
    panel_set_float(c.scale_value, static_cast<double>(state.scale));
    c.scale_kept = state.scale;
    panel_set_event(c.scale_value, scale_value_changed, &state);
    c.save_hint = add_text(state, MESH_PANEL_SAVE_HINT, 5, 360);
    if (c.save_hint == nullptr) return false;
    c.save = add_button(state, MESH_PANEL_SAVE, 422, 360, mesh_save);
    return c.save != nullptr;
}

void forget_panel(MeshExportState& state) noexcept {
    state.panel = nullptr;
    state.controls = MeshControls{};
}

}  // namespace

int mesh_run_panel(MeshExportState& state, LWPanelFuncs* panels) noexcept {
    LWPanelID panel = mesh_panel_create(panels, PANEL_TITLE, PANEL_HEIGHT, state.object_name, state.object_label);
    if (panel == nullptr) return 1;
    state.panel_funcs = panels;
    state.panel = panel;
    if (!add_controls(state)) {
        panels->destroy(panel);
        forget_panel(state);
        return 1;
    }

    // A collection that ran short shows what it gathered: the counts say
    // what will be written.
    if (mesh_allocate(state) == EXPORT_OK) static_cast<void>(mesh_collect(state));
    mesh_refresh_panel(state);
    panels->open(panel, PANF_BLOCKING | PANF_CANCEL);
    panels->destroy(panel);
    forget_panel(state);
    return 0;
}

void mesh_refresh_panel(MeshExportState& state) noexcept {
    panel_draw(state.controls.valid_list, DR_REFRESH);
    panel_draw(state.controls.invalid_list, DR_REFRESH);
    if (state.geometry.uv_map_count == 0) panel_draw(state.controls.uv_template, DR_GHOST);
    panel_draw_enabled(state.controls.save, state.counts.valid_triangles > 0);
}

void mesh_save(LWControlID, void* data) noexcept {
    auto* state = static_cast<MeshExportState*>(data);
    if (state == nullptr) return;
    smd_save_requested(SmdSaveJob{state->global, state->messages, state->object_name.c_str(), SMD_NAME_LOWER_ONLY,
                                  take_scale, write_static, state});
}
