// The animation exporter's panel: scene information, the export settings and
// the save button, whose event requests a file name, steps Layout through
// the frame range so that the motion handler samples every bone, and writes
// the file.
#include <cstdio>
#include <cstring>
#include <new>

#include "anim_state.h"
#include "host_glue.h"
#include "panel_kit.h"

namespace {

constexpr int PANEL_WIDTH = 520;
constexpr int PANEL_HEIGHT = 312;
constexpr int SCENE_LIST_WIDTH = 500;
constexpr int SCENE_LIST_ROWS = 5;
constexpr int SCENE_LIST_HEADER = -1;

// A scene name of this length or more is offered as it stands.
constexpr std::size_t MAX_RENAMED_LENGTH = 1019;

constexpr char MESSAGE_OPEN_FAILED[] = "Unable to save file!";
constexpr char MESSAGE_SAVE_FAILED[] = "Error saving SMD file!";

// The request record and its buffers keep the last name for as long as the
// plug-in stays loaded, so the next save offers the same folder.
LWFileReqLocal g_request;
FileNameBuffers g_names;

LWControl* control_at(const AnimExportState& state, int slot) noexcept {
    return state.controls ? state.controls[slot] : nullptr;
}

// ---- the scene information list --------------------------------------------------

int scene_list_count(void*) noexcept { return SCENE_LIST_ROWS; }

int scene_list_column_width(void*, int column) noexcept {
    return column == 0 ? 300 : column == 1 ? 200 : 0;
}

// The toolkit's callback type is not const-correct; it only reads the text.
char* scene_list_name(void* data, int row, int column) noexcept {
    static char value[16];  // each call overwrites it
    if (row == SCENE_LIST_HEADER) {
        return const_cast<char*>(column == 0 ? "Scene Information" : column == 1 ? "Count" : nullptr);
    }
    const auto* state = static_cast<const AnimExportState*>(data);
    if (!state || row < 0 || row >= SCENE_LIST_ROWS || column < 0 || column > 1) return nullptr;
    static const char* const LABELS[SCENE_LIST_ROWS] = {"Bones", "Null Bones", "First Frame", "Last Frame",
                                                         "Frame Step"};
    if (column == 0) return const_cast<char*>(LABELS[row]);
    const int values[SCENE_LIST_ROWS] = {state->boneCount - state->nullBoneCount, state->nullBoneCount,
                                         state->firstFrame, state->lastFrame, state->frameStep};
    format_c_locale(value, sizeof value, "%d", values[row]);
    return value;
}

// ---- events ------------------------------------------------------------------------

void on_scale_switch(LWControlID control, void* data) noexcept {
    auto* state = static_cast<AnimExportState*>(data);
    if (!state) return;
    panel_scale_toggled(static_cast<LWControl*>(control), control_at(*state, ANIM_CTL_SCALE), state->scaleKept);
}

void on_scale_value(LWControlID control, void* data) noexcept {
    auto* state = static_cast<AnimExportState*>(data);
    if (state) panel_scale_edited(static_cast<LWControl*>(control), state->scaleKept);
}

void on_null_bones_switch(LWControlID control, void* data) noexcept {
    auto* state = static_cast<AnimExportState*>(data);
    if (state) state->includeNullBones = panel_get_int(static_cast<LWControl*>(control), CTL_VALUE);
}

void on_first_frame(LWControlID control, void* data) noexcept {
    auto* state = static_cast<AnimExportState*>(data);
    if (!state) return;
    state->firstFrame = panel_get_int(static_cast<LWControl*>(control), CTL_VALUE);
    panel_draw_enabled(control_at(*state, ANIM_CTL_SAVE), anim_range_savable(*state));
}

void on_last_frame(LWControlID control, void* data) noexcept {
    auto* state = static_cast<AnimExportState*>(data);
    if (!state) return;
    state->lastFrame = panel_get_int(static_cast<LWControl*>(control), CTL_VALUE);
    panel_draw_enabled(control_at(*state, ANIM_CTL_SAVE), anim_range_savable(*state));
}

void on_save(LWControlID control, void* data) noexcept {
    auto* state = static_cast<AnimExportState*>(data);
    if (state) export_animation(static_cast<LWControl*>(control), *state);
}

// ---- building the panel -------------------------------------------------------------

// "Object: <file name>", only when the host names the object's file.
LWControl* add_object_line(const AnimExportState& state, LWPanelFuncs* panels, LWPanelID panel) noexcept {
    if (!state.objectInfo || !state.object) return nullptr;
    const char* file = state.objectInfo->filename(state.object);
    if (!file) return nullptr;
    static constexpr char PREFIX[] = "Object: ";
    const std::size_t length = std::strlen(file);
    std::unique_ptr<char[]> label(new (std::nothrow) char[sizeof PREFIX + length]);
    if (!label) return nullptr;
    std::memcpy(label.get(), PREFIX, sizeof PREFIX - 1);
    std::memcpy(label.get() + sizeof PREFIX - 1, file, length + 1);
    return panel_add_text(panels, panel, label.get(), 5, 10);
}

void add_controls(AnimExportState& state, LWPanelFuncs* panels, LWPanelID panel, LWControl** controls) noexcept {
    controls[ANIM_CTL_OBJECT] = add_object_line(state, panels, panel);

    controls[ANIM_CTL_SCENE_LIST] =
        panel_add_list(panels, panel, "Valid Geometry List", SCENE_LIST_WIDTH, SCENE_LIST_ROWS, scene_list_count,
                       scene_list_name, scene_list_column_width, &state);
    panel_place(controls[ANIM_CTL_SCENE_LIST], 5, 42);

    controls[ANIM_CTL_SCALE_ON] = panel_add_typed(panels, panel, "BoolControl", LWT_BOOLEAN, "Scale geometry:", 8, 168);
    controls[ANIM_CTL_SCALE] = panel_add_typed(panels, panel, "FloatControl", LWT_FLOAT, "", 112, 168);
    controls[ANIM_CTL_NULL_BONES] =
        panel_add_typed(panels, panel, "BoolControl", LWT_BOOLEAN, "Include null bones", 398, 168);
    controls[ANIM_CTL_FIRST] = panel_add_typed(panels, panel, "NumControl", LWT_INTEGER, "First frame:", 60, 202);
    controls[ANIM_CTL_LAST] = panel_add_typed(panels, panel, "NumControl", LWT_INTEGER, "Last frame:", 59, 232);
    controls[ANIM_CTL_SAVE] =
        panel_add_typed(panels, panel, "ButtonControl", LWT_INTEGER, "Save animation SMD file", 378, 232);
}

void set_initial_values(AnimExportState& state, LWControl** controls) noexcept {
    panel_set_int(controls[ANIM_CTL_SCALE_ON], CTL_VALUE, 1);
    panel_set_float(controls[ANIM_CTL_SCALE], state.scale);
    state.scaleKept = state.scale;
    panel_set_int(controls[ANIM_CTL_NULL_BONES], CTL_VALUE, 1);
    panel_set_int(controls[ANIM_CTL_FIRST], CTL_VALUE, state.firstFrame);
    panel_set_int(controls[ANIM_CTL_LAST], CTL_VALUE, state.lastFrame);

    panel_set_event(controls[ANIM_CTL_SAVE], on_save, &state);
    panel_set_event(controls[ANIM_CTL_SCALE_ON], on_scale_switch, &state);
    panel_set_event(controls[ANIM_CTL_SCALE], on_scale_value, &state);
    panel_set_event(controls[ANIM_CTL_NULL_BONES], on_null_bones_switch, &state);
    panel_set_event(controls[ANIM_CTL_FIRST], on_first_frame, &state);
    panel_set_event(controls[ANIM_CTL_LAST], on_last_frame, &state);
    // The scene's own preview range may be empty too (first after last).
    panel_draw_enabled(controls[ANIM_CTL_SAVE], anim_range_savable(state));
}

}  // namespace

int replace_scene_extension(char* text, const char* pattern) noexcept {
    if (!text || !*text || !pattern || std::strlen(pattern) != 3) return 0;
    char* found = std::strstr(text, pattern);
    if (!found) return 0;
    std::memcpy(found, "smd", 3);
    return 1;
}

bool anim_range_savable(const AnimExportState& state) noexcept { return state.firstFrame < state.lastFrame; }

void step_frames(AnimExportState& state) noexcept {
    // Counted in a wider type: a last frame of INT_MAX must still end the loop.
    for (long long frame = state.firstFrame; frame <= state.lastFrame; ++frame) {
        send_command(state.generic, "GoToFrame", "%d", static_cast<int>(frame));
        send_command(state.generic, "RefreshNow");
    }
}

void export_animation(LWControl*, AnimExportState& state) noexcept {
    auto* request_file = get_service<LWFileActivateFunc>(state.global, LWFILEACTIVATEFUNC_GLOBAL);
    if (!request_file) return;
    fill_file_request(g_request, g_names, FREQ_SAVE, "Save SMD File", "SMD File");
    if (state.controls)
        state.scale = panel_scale_setting(control_at(state, ANIM_CTL_SCALE_ON), control_at(state, ANIM_CTL_SCALE),
                                          state.scaleKept);
    // A scene never saved has no name to offer: the request starts empty.
    const std::size_t length = set_base_name(g_names, state.sceneFile.get());
    if (length < MAX_RENAMED_LENGTH && !replace_scene_extension(g_names.base_name, "lws"))
        replace_scene_extension(g_names.base_name, "LWS");
    if (request_file(LWFILEREQ_VERSION, &g_request) != AFUNC_OK || g_request.result <= 0) return;

    // Without room for the samples nothing is stepped or written: a file of
    // empty time blocks would replace a good one.
    if (alloc_bone_samples(state) != EXPORT_OK) {
        report_error(state.msgFuncs, MESSAGE_SAVE_FAILED);
        return;
    }
    step_frames(state);
    const ExportResult rc = save_anim_file(state, g_names.full_name);
    if (rc == EXPORT_FILE_NOT_OPENED) report_error(state.msgFuncs, MESSAGE_OPEN_FAILED);
    else if (rc != EXPORT_OK) report_error(state.msgFuncs, MESSAGE_SAVE_FAILED);
}

int open_anim_panel(AnimExportState& state, LWPanelFuncs* panels) noexcept {
    LWPanelID panel = panel_create_sized(panels, "SMD Animation Exporter by Tolvane", PANEL_WIDTH, PANEL_HEIGHT);
    if (!panel) return 1;
    LWControl* controls[ANIM_CONTROL_COUNT] = {};
    state.panelFuncs = panels;
    state.panel = panel;
    state.controls = controls;
    add_controls(state, panels, panel, controls);
    set_initial_values(state, controls);
    panels->open(panel, PANF_BLOCKING | PANF_CANCEL);
    panels->destroy(panel);
    state.panel = nullptr;
    state.controls = nullptr;  // the table lives in this frame only
    return 0;
}
