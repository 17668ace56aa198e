// The skeleton importer's panel: the scale and length settings and the two
// import buttons, each of which asks for a file and runs one import. Any
// number of imports can follow one another before the panel closes; they
// share the bone table.
#include <cstdio>

#include "host_glue.h"
#include "import_state.h"
#include "panel_kit.h"

namespace {

constexpr char PANEL_TITLE[] = "SMD Skeleton Reference Importer by Tolvane";
constexpr int PANEL_WIDTH = 400;
constexpr int PANEL_HEIGHT = 170;

constexpr char LABEL_SCALE[] = "Scale geometry:";
constexpr char LABEL_CALC_LENGTHS[] = "Calculate bones length:";
constexpr char LABEL_REFERENCE_TEXT[] = "Click to import skeleton reference :";
constexpr char LABEL_SEQUENCE_TEXT[] = "Click to import skeleton sequence :";
constexpr char LABEL_REFERENCE_BUTTON[] = "Import SMD reference file";
constexpr char LABEL_SEQUENCE_BUTTON[] = "Import SMD sequence file";

constexpr char TITLE_REFERENCE[] = "Open SMD Reference File";
constexpr char TITLE_SEQUENCE[] = "Open SMD Sequence File";

constexpr char MESSAGE_OPEN_FAILED[] = "Unable to open file!";
constexpr char MESSAGE_READ_FAILED[] = "Error reading SMD file!";

// The name buffers keep the last choice for as long as the plug-in stays
// loaded, so the requester opens where the previous file was picked.
FileNameBuffers g_names;

SkeletonImport* state_of(void* data) noexcept { return static_cast<SkeletonImport*>(data); }

// ---- events -------------------------------------------------------------------

void scale_toggled(LWControlID, void* data) noexcept {
    SkeletonImport* state = state_of(data);
    if (state == nullptr || state->panel == nullptr) return;
    state->scale = panel_scale_toggled(state->controls.scale_box, state->controls.scale_value);
}

void reference_pressed(LWControlID, void* data) noexcept {
    if (SkeletonImport* state = state_of(data)) skeleton_import_file(*state, 0);
}

void sequence_pressed(LWControlID, void* data) noexcept {
    if (SkeletonImport* state = state_of(data)) skeleton_import_file(*state, 1);
}

// ---- building -----------------------------------------------------------------

LWControl* add_simple(SkeletonImport& state, const char* type, LWType desc_type, const char* label, int x,
                      int y) noexcept {
    return panel_add_typed(state.panel_funcs, state.panel, type, desc_type, label, x, y);
}

// Adds the controls in the panel's order; false when the toolkit refused one
// (a panel with a control missing cannot be used).
bool add_controls(SkeletonImport& state) noexcept {
    SkeletonPanel& c = state.controls;
    c.scale_box = add_simple(state, "BoolControl", LWT_BOOLEAN, LABEL_SCALE, 8, 24);
    c.calc_lengths_box = add_simple(state, "BoolControl", LWT_BOOLEAN, LABEL_CALC_LENGTHS, 248, 24);
    c.scale_value = add_simple(state, "FloatControl", LWT_FLOAT, "", 112, 24);
    c.reference_text = panel_add_text(state.panel_funcs, state.panel, LABEL_REFERENCE_TEXT, 5, 70);
    c.sequence_text = panel_add_text(state.panel_funcs, state.panel, LABEL_SEQUENCE_TEXT, 5, 100);
    c.reference_button = add_simple(state, "ButtonControl", LWT_INTEGER, LABEL_REFERENCE_BUTTON, 282, 70);
    c.sequence_button = add_simple(state, "ButtonControl", LWT_INTEGER, LABEL_SEQUENCE_BUTTON, 282, 100);
    for (LWControl* control : {c.scale_box, c.calc_lengths_box, c.scale_value, c.reference_text, c.sequence_text,
                               c.reference_button, c.sequence_button})
        if (control == nullptr) return false;

    panel_set_int(c.scale_box, CTL_VALUE, 1);
    panel_set_int(c.calc_lengths_box, CTL_VALUE, 0);
    panel_set_float(c.scale_value, static_cast<double>(state.scale));
    panel_set_event(c.scale_box, scale_toggled, &state);
    panel_set_event(c.reference_button, reference_pressed, &state);
    panel_set_event(c.sequence_button, sequence_pressed, &state);
    return true;
}

void destroy_panel(SkeletonImport& state) noexcept {
    if (state.panel != nullptr && state.panel_funcs != nullptr) state.panel_funcs->destroy(state.panel);
    state.panel = nullptr;
    state.controls = SkeletonPanel{};
}

}  // namespace

void skeleton_import_file(SkeletonImport& state, int sequence_mode) noexcept {
    state.sequence_mode = sequence_mode;
    if (state.panel != nullptr) {
        state.scale = panel_scale_setting(state.controls.scale_box, state.controls.scale_value);
        state.calc_lengths = panel_get_int(state.controls.calc_lengths_box, CTL_VALUE) != 0 ? 1 : 0;
    }
    LWFileReqLocal request{};
    fill_file_request(request, g_names, FREQ_LOAD, sequence_mode ? TITLE_SEQUENCE : TITLE_REFERENCE, "SMD File");
    // A missing requester, a failed request and a cancel all end the press.
    if (run_file_request(state.global, request) == 0) return;
    std::FILE* file = std::fopen(g_names.full_name, "r");
    if (file == nullptr) {
        report_error(state.messages, MESSAGE_OPEN_FAILED);
        return;
    }
    if (skeleton_import_run(state, file) != SKELETON_OK) report_error(state.messages, MESSAGE_READ_FAILED);
    std::fclose(file);
}

SkeletonResult skeleton_run_panel(SkeletonImport& state, LWPanelFuncs* panels) noexcept {
    LWPanelID panel = panel_create_checked(panels, PANEL_TITLE, PANEL_WIDTH, PANEL_HEIGHT);
    if (panel == nullptr) return SKELETON_NO_PANEL;
    state.panel_funcs = panels;
    state.panel = panel;
    if (!add_controls(state)) {
        destroy_panel(state);
        return SKELETON_NO_PANEL;
    }
    panels->open(panel, PANF_BLOCKING | PANF_CANCEL);
    destroy_panel(state);
    return SKELETON_OK;
}
