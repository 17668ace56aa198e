// The exporter's panel: the grouping and verification choices, the counts of
// valid and invalid geometry, the scale, null bones, the UV template button
// and the save.
#include "panel.h"

#include <iterator>

#include "uv_template.h"
#include "host_glue.h"
#include "panel_kit.h"

namespace {

constexpr char PANEL_TITLE[] = "SMD Reference Mesh Exporter by Tolvane";
constexpr int PANEL_HEIGHT = 432;

constexpr char LABEL_NULL_BONES[] = "Include null bones";

constexpr int VALID_ROWS = 3;
const char* const VALID_LABELS[VALID_ROWS] = {"Triangles", "Bones", "Null Bones"};
constexpr int INVALID_ROWS = MESH_PANEL_INVALID_ROWS;
const int COLUMN_WIDTHS[] = {300, 200};

RefExportState* state_of(void* data) noexcept { return static_cast<RefExportState*>(data); }

// ---- the grouping popup -------------------------------------------------------

int group_count(void* data) noexcept {
    const RefExportState* state = state_of(data);
    if (state == nullptr) return 0;
    return panel_group_count(state->geometry.uv_map_count);
}

char* group_name(void* data, int index) noexcept {
    const RefExportState* state = state_of(data);
    if (state == nullptr) return nullptr;
    return panel_group_name(state->geometry.uv_map_count, index);
}

// ---- the two lists --------------------------------------------------------------

int column_width(void*, int column) noexcept {
    return column >= 0 && column < static_cast<int>(std::size(COLUMN_WIDTHS)) ? COLUMN_WIDTHS[column] : 0;
}

// The count cell: the text lives in the panel record until the next call.
char* count_text(RefExportState& state, int number) noexcept {
    if (state.panel_data == nullptr) return nullptr;
    char* cell = state.panel_data->cell;
    format_c_locale(cell, sizeof state.panel_data->cell, "%d", number);
    return cell;
}

int valid_count(void*) noexcept { return VALID_ROWS; }

char* valid_name(void* data, int row, int column) noexcept {
    RefExportState* state = state_of(data);
    if (state == nullptr) return nullptr;
    if (row == -1) return column == 0 ? panel_text("Valid Geometry") : column == 1 ? panel_text("Count") : nullptr;
    if (row < 0 || row >= VALID_ROWS) return nullptr;
    if (column == 0) return panel_text(VALID_LABELS[row]);
    if (column != 1) return nullptr;
    const int values[VALID_ROWS] = {state->counts.valid_triangles, state->bone_count - state->null_bone_count,
                                    state->null_bone_count};
    return count_text(*state, values[row]);
}

int invalid_count(void*) noexcept { return INVALID_ROWS; }

char* invalid_name(void* data, int row, int column) noexcept {
    RefExportState* state = state_of(data);
    if (state == nullptr) return nullptr;
    if (row == -1) return column == 0 ? panel_text("Invalid Geometry") : column == 1 ? panel_text("Count") : nullptr;
    if (row < 0 || row >= INVALID_ROWS) return nullptr;
    if (column == 0) return panel_text(MESH_PANEL_INVALID_LABELS[row]);
    if (column != 1) return nullptr;
    const ExportCounts& counts = state->counts;
    const int values[INVALID_ROWS] = {counts.no_uv_triangles, counts.degenerate, counts.five_plus, counts.non_face};
    return count_text(*state, values[row]);
}

// ---- events -------------------------------------------------------------------

void verify_changed(LWControlID control, void* data) noexcept {
    RefExportState* state = state_of(data);
    if (state == nullptr || state->panel_data == nullptr) return;
    state->verify_uv = panel_get_int(static_cast<LWControl*>(control), CTL_VALUE) != 0 ? 0 : 1;
    panel_draw(state->panel_data->group_by, DR_REFRESH);
    ref_count_polygons(*state);
    ref_refresh_panel(*state);
}

void grouping_changed(LWControlID control, void* data) noexcept {
    RefExportState* state = state_of(data);
    if (state == nullptr) return;
    state->group_by = ref_group_of_item(*state, panel_get_int(static_cast<LWControl*>(control), CTL_VALUE));
    ref_count_polygons(*state);
    ref_refresh_panel(*state);
}

void scale_box_changed(LWControlID control, void* data) noexcept {
    RefExportState* state = state_of(data);
    if (state == nullptr || state->panel_data == nullptr) return;
    panel_scale_toggled(static_cast<LWControl*>(control), state->panel_data->scale_value,
                        state->panel_data->scale_kept);
}

void scale_value_changed(LWControlID control, void* data) noexcept {
    RefExportState* state = state_of(data);
    if (state == nullptr || state->panel_data == nullptr) return;
    panel_scale_edited(static_cast<LWControl*>(control), state->panel_data->scale_kept);
}

void null_bones_changed(LWControlID control, void* data) noexcept {
    RefExportState* state = state_of(data);
    if (state == nullptr) return;
    state->include_null_bones = panel_get_int(static_cast<LWControl*>(control), CTL_VALUE);
}

void uv_template_pressed(LWControlID control, void* data) noexcept {
    RefExportState* state = state_of(data);
    if (state == nullptr) return;
    const UvTemplateSource source{state->global, state->messages, state->panel_funcs, state->geometry.uv_map_count,
                                  mesh_source_layout(state->mesh)};
    // The template exporter shows its own failures.
    static_cast<void>(uv_template_open(control, source));
}

// ---- building -----------------------------------------------------------------

LWControl* add_text(RefExportState& state, const char* label, int x, int y) noexcept {
    return panel_add_text(state.panel_funcs, state.panel, label, x, y);
}

LWControl* add_list(RefExportState& state, const char* label, int visible_rows, int (*count)(void*),
                    char* (*name)(void*, int, int)) noexcept {
    return panel_add_list(state.panel_funcs, state.panel, label, MESH_PANEL_LIST_WIDTH, visible_rows, count, name,
                          column_width, &state);
}

LWControl* add_simple(RefExportState& state, const char* type, LWType desc_type, const char* label, int x,
                      int y) noexcept {
    return panel_add_typed(state.panel_funcs, state.panel, type, desc_type, label, x, y);
}

// Adds the controls in the panel's order; false when the toolkit refused one
// (a panel with a control missing cannot be used).
bool add_controls(RefExportState& state, RefPanel& c) noexcept {
    c.object = add_text(state, c.object_label.c_str(), 5, 10);
    if (c.object == nullptr) return false;

    c.group_by = panel_add_popup(state.panel_funcs, state.panel, MESH_PANEL_GROUP_BY, MESH_PANEL_POPUP_WIDTH,
                                 group_count, group_name, MESH_PANEL_POPUP_FIELD_X, 42, &state);
    if (c.group_by == nullptr) return false;

    c.verify = add_simple(state, "BoolControl", LWT_BOOLEAN, MESH_PANEL_VERIFY, 366, 42);
    if (c.verify == nullptr) return false;

    c.valid_list = add_list(state, MESH_PANEL_VALID_LIST, 3, valid_count, valid_name);
    if (c.valid_list == nullptr) return false;
    panel_place(c.valid_list, 5, 82);
    // Left where the toolkit puts it, below the valid list, and shown ghosted.
    c.invalid_list = add_list(state, MESH_PANEL_INVALID_LIST, 5, invalid_count, invalid_name);
    if (c.invalid_list == nullptr) return false;
    panel_draw(c.invalid_list, DR_GHOST);

    c.uv_template = add_simple(state, "ButtonControl", LWT_INTEGER, MESH_PANEL_UV_TEMPLATE, 377, 288);
    if (c.uv_template == nullptr) return false;
    c.scale_box = add_simple(state, "BoolControl", LWT_BOOLEAN, MESH_PANEL_SCALE, 8, 288);
    if (c.scale_box == nullptr) return false;
    c.scale_value = add_simple(state, "FloatControl", LWT_FLOAT, "", 112, 288);
    if (c.scale_value == nullptr) return false;
    panel_set_float(c.scale_value, static_cast<double>(state.scale));
    c.scale_kept = state.scale;
    c.include_null_bones = add_simple(state, "BoolControl", LWT_BOOLEAN, LABEL_NULL_BONES, 8, 320);
    if (c.include_null_bones == nullptr) return false;
    c.save_hint = add_text(state, MESH_PANEL_SAVE_HINT, 5, 360);
    if (c.save_hint == nullptr) return false;
    c.save = add_simple(state, "ButtonControl", LWT_INTEGER, MESH_PANEL_SAVE, 442, 360);
    if (c.save == nullptr) return false;

    panel_set_int(c.include_null_bones, CTL_VALUE, 1);
    panel_set_int(c.scale_box, CTL_VALUE, 1);

    panel_set_event(c.verify, verify_changed, &state);
    panel_set_event(c.save, ref_save, &state);
    panel_set_event(c.group_by, grouping_changed, &state);
    panel_set_event(c.uv_template, uv_template_pressed, &state);
    panel_set_event(c.scale_box, scale_box_changed, &state);
    panel_set_event(c.scale_value, scale_value_changed, &state);
    panel_set_event(c.include_null_bones, null_bones_changed, &state);
    return true;
}

}  // namespace

int ref_group_of_item(const RefExportState& state, int index) noexcept {
    return panel_group_of_item(state.geometry.uv_map_count, index);
}

int ref_build_panel(RefExportState& state, LWPanelFuncs* panels, RefPanel& controls) noexcept {
    LWPanelID panel = mesh_panel_create(panels, PANEL_TITLE, PANEL_HEIGHT, state.object_file, controls.object_label);
    if (panel == nullptr) return 1;
    state.panel_funcs = panels;
    state.panel = panel;
    state.panel_data = &controls;
    if (!add_controls(state, controls)) {
        ref_destroy_panel(state);
        return 1;
    }
    return 0;
}

void ref_destroy_panel(RefExportState& state) noexcept {
    if (state.panel != nullptr && state.panel_funcs != nullptr) state.panel_funcs->destroy(state.panel);
    state.panel = nullptr;
    state.panel_data = nullptr;
}

int ref_run_panel(RefExportState& state, LWPanelFuncs* panels) noexcept {
    RefPanel controls;
    if (ref_build_panel(state, panels, controls) != 0) return 1;
    ref_refresh_panel(state);
    panels->open(state.panel, PANF_BLOCKING | PANF_CANCEL);
    ref_destroy_panel(state);
    return 0;
}

void ref_refresh_panel(RefExportState& state) noexcept {
    const RefPanel* c = state.panel_data;
    if (c == nullptr) return;
    panel_draw(c->valid_list, DR_REFRESH);
    panel_draw(c->invalid_list, DR_REFRESH);
    if (state.geometry.uv_map_count == 0) panel_draw(c->uv_template, DR_GHOST);
    panel_draw_enabled(c->save, state.counts.valid_triangles > 0);
}

float ref_panel_scale(const RefExportState& state) noexcept {
    RefPanel* c = state.panel_data;
    if (c == nullptr || c->scale_box == nullptr || c->scale_value == nullptr) return state.scale;
    return panel_scale_setting(c->scale_box, c->scale_value, c->scale_kept);
}
