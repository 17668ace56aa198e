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
    LWPanControlDesc desc{};
    desc.type = LWT_BOOLEAN;
    LWControl* control = panel_add_control(state.panel_funcs, state.panel, "BoolControl", desc, label);
    if (control == nullptr) return nullptr;
    panel_place(control, x, y);
    panel_set_int(control, CTL_VALUE, 1);
    if (event != nullptr) panel_set_event(control, event, &state);
    return control;
}

// Adds the controls in the panel's order; false when the toolkit refused one.
bool add_controls(MeshImport& state) noexcept {
    MeshImportControls& c = state.controls;
    c.scale_box = add_bool(state, LABEL_SCALE, 8, 24, mesh_scale_toggled);
    if (c.scale_box == nullptr) return false;
    LWPanControlDesc float_desc{};
    float_desc.type = LWT_FLOAT;
    c.scale_value = panel_add_control(state.panel_funcs, state.panel, "FloatControl", float_desc, "");
    if (c.scale_value == nullptr) return false;
    panel_place(c.scale_value, 112, 24);
    panel_set_float(c.scale_value, static_cast<double>(state.scale));
    c.weights_box = add_bool(state, LABEL_WEIGHTS, 8, 60, nullptr);
    if (c.weights_box == nullptr) return false;
    c.hint = panel_add_text(state.panel_funcs, state.panel, LABEL_HINT, 5, 100);
    if (c.hint == nullptr) return false;
    LWPanControlDesc button_desc{};
    button_desc.type = LWT_INTEGER;
    c.import_button = panel_add_control(state.panel_funcs, state.panel, "ButtonControl", button_desc, LABEL_IMPORT);
    if (c.import_button == nullptr) return false;
    panel_place(c.import_button, 282, 100);
    panel_set_event(c.import_button, mesh_import_pressed, &state);
    return true;
}

void forget_panel(MeshImport& state) noexcept {
    state.panel = nullptr;
    state.controls = MeshImportControls{};
}

}  // namespace

int mesh_run_panel(MeshImport& state, LWPanelFuncs* panels) noexcept {
    if (panels == nullptr || panels->create == nullptr) return 1;
    LWPanelID panel = panels->create(panel_text(PANEL_TITLE), panels);
    if (panel == nullptr) return 1;
    int version = 0;
    panels->get(panel, PAN_VERSION, &version);
    if (version != LWPANELS_API_VERSION) {
        panels->destroy(panel);
        return 1;
    }
    int width = PANEL_WIDTH;
    int height = PANEL_HEIGHT;
    panels->set(panel, PAN_W, &width);
    panels->set(panel, PAN_H, &height);
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
    if (panel_get_int(static_cast<LWControl*>(control), CTL_VALUE) != 0) {
        state->scale = static_cast<float>(panel_get_float(state->controls.scale_value));
        panel_draw(state->controls.scale_value, DR_RENDER);
    } else {
        state->scale = 1.0f;
        panel_draw(state->controls.scale_value, DR_GHOST);
    }
}

void mesh_import_pressed(LWControlID, void* data) noexcept {
    auto* state = static_cast<MeshImport*>(data);
    if (state == nullptr) return;
    const MeshImportControls& c = state->controls;
    state->scale = panel_get_int(c.scale_box, CTL_VALUE) != 0 ? static_cast<float>(panel_get_float(c.scale_value))
                                                              : 1.0f;
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
    mesh_import_run(*state, file);
    std::fclose(file);
}
