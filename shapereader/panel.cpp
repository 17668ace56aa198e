// The importer's panel: the scale, the weight-map switch and the import
// button, whose press chooses a file and runs one import.
#include <cstdio>

#include "host_glue.h"
#include "import_state.h"
#include "panel_kit.h"

namespace {

// Kept for the life of the loaded plug-in, so the requester opens where the
// previous file was chosen.
FileNameBuffers smd_buffers;

constexpr char PANEL_TITLE[] = "SMD Mesh Importer by Tolvane";
constexpr int PANEL_WIDTH = 400;
constexpr int PANEL_HEIGHT = 170;

constexpr char LABEL_SCALE[] = "Scale geometry:";
constexpr char LABEL_WEIGHTS[] = "Import weightmaps";
constexpr char LABEL_HINT[] = "Click Import SMD Mesh File to import mesh data:";
constexpr char LABEL_IMPORT[] = "Import SMD Mesh File";

constexpr char REQUEST_TITLE[] = "Open SMD Reference File";
constexpr char REQUEST_FILE_TYPE[] = "SMD File";
constexpr char MESSAGE_UNABLE_TO_OPEN[] = "Unable to open file!";

LWControl* add_bool(MeshImport& state, const char* label, int x, int y, LWCtlEventHook event) noexcept {
    LWControl* control = panel_add_typed(state.panel_funcs, state.panel, "BoolControl", LWT_BOOLEAN, label, x, y);
    if (control == nullptr) return nullptr;
    panel_set_int(control, CTL_VALUE, 1);
    if (event != nullptr) panel_set_event(control, event, &state);
    return control;
}

// Adds the controls in the panel's order; false when the toolkit refused one.
bool add_controls(MeshImport& state) noexcept {
    MeshImportControls& c = state.controls;
    c.scale_box = add_bool(state, LABEL_SCALE, 8, 24, mesh_scale_toggled);
    if (c.scale_box == nullptr) return false;
    c.scale_value = panel_add_typed(state.panel_funcs, state.panel, "FloatControl", LWT_FLOAT, "", 112, 24);
    if (c.scale_value == nullptr) return false;
    panel_set_float(c.scale_value, static_cast<double>(state.scale));
    c.weights_box = add_bool(state, LABEL_WEIGHTS, 8, 60, nullptr);
    if (c.weights_box == nullptr) return false;
    c.hint = panel_add_text(state.panel_funcs, state.panel, LABEL_HINT, 5, 100);
    if (c.hint == nullptr) return false;
    c.import_button =
        panel_add_typed(state.panel_funcs, state.panel, "ButtonControl", LWT_INTEGER, LABEL_IMPORT, 282, 100);
    if (c.import_button == nullptr) return false;
    panel_set_event(c.import_button, mesh_import_pressed, &state);
    return true;
}

void forget_panel(MeshImport& state) noexcept {
    state.panel = nullptr;
    state.controls = MeshImportControls{};
}

}  // namespace

int mesh_run_panel(MeshImport& state, LWPanelFuncs* panels) noexcept {
    LWPanelID panel = panel_create_checked(panels, PANEL_TITLE, PANEL_WIDTH, PANEL_HEIGHT);
    if (panel == nullptr) return 1;
    state.panel_funcs = panels;
    state.panel = panel;
    if (!add_controls(state)) {
        panels->destroy(panel);
        forget_panel(state);
        return 1;
    }
    panels->open(panel, PANF_BLOCKING | PANF_CANCEL);
    panels->destroy(panel);
    forget_panel(state);
    return 0;
}

void mesh_scale_toggled(LWControlID control, void* data) noexcept {
    auto* state = static_cast<MeshImport*>(data);
    if (state == nullptr) return;
    state->scale = panel_scale_toggled(static_cast<LWControl*>(control), state->controls.scale_value);
}

void mesh_import_pressed(LWControlID, void* data) noexcept {
    auto* state = static_cast<MeshImport*>(data);
    if (state == nullptr) return;
    const MeshImportControls& c = state->controls;
    state->scale = panel_scale_setting(c.scale_box, c.scale_value);
    state->import_weights = panel_get_int(c.weights_box, CTL_VALUE) != 0 ? 1 : 0;

    LWFileReqLocal request{};
    fill_file_request(request, smd_buffers, FREQ_LOAD, REQUEST_TITLE, REQUEST_FILE_TYPE);
    if (!run_file_request(state->global, request)) return;
    std::FILE* file = std::fopen(smd_buffers.full_name, "r");
    if (file == nullptr) {
        report_error(state->messages, MESSAGE_UNABLE_TO_OPEN);
        return;
    }
    // Its messages are its own; the result is not needed here.
    static_cast<void>(mesh_import_run(*state, file));
    std::fclose(file);
}
