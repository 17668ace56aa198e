// The activation of "SMD Export": services, the mesh edit over the current
// object, the panel, and the end of the edit that hands the user's
// selection of invalid polygons to Modeler.
#include <lwcmdseq.h>
#include <lwmodeler.h>
#include <lwpanel.h>

#include "host_glue.h"
#include "meshwriter.h"

namespace {

// The edit selects nothing by itself and may mark polygons (OPSEL_MODIFY),
// acting on the elements directly (OPSEL_DIRECT).
constexpr EltOpSelect EDIT_SELECTION = OPSEL_MODIFY | OPSEL_DIRECT;

constexpr char MESSAGE_NO_GEOMETRY[] = "No geometry to export !";
constexpr char MESSAGE_NO_PANEL[] = "Error creating user interface !";

// Runs the exporter on an open edit; the caller ends the edit.
// Returns the selection mode the edit ends with.
int export_with_panel(MeshExportState& state, LWPanelFuncs* panels, const LWStateQueryFuncs* query) noexcept {
    MeshEditOp* edit = state.edit;
    if (edit->polyCount(edit->state, MESH_LAYERS_ALL, EDCOUNT_ALL) == 0) {
        report_error(state.messages, MESSAGE_NO_GEOMETRY);
        return 0;
    }
    if (const char* name = query->object ? query->object() : nullptr) {
        if (!copy_host_text(state.object_name, name)) return 0;
    }
    if (mesh_run_panel(state, panels) != 0) report_error(state.messages, MESSAGE_NO_PANEL);
    // Mode 8 makes what mesh_select_invalid marked Modeler's polygon selection.
    return EDSELM_FORCEPOLS;
}

}  // namespace

int mesh_activate(int version, GlobalFunc* global, void* local, void*) noexcept {
    auto* panels = get_service<LWPanelFuncs>(global, LWPANELFUNCS_GLOBAL);
    if (!panels) return AFUNC_BADGLOBAL;
    panels->globalFun = global;
    auto* query = get_service<LWStateQueryFuncs>(global, LWSTATEQUERYFUNCS_GLOBAL);
    if (!query) return AFUNC_BADGLOBAL;
    if (version != LWMODCOMMAND_VERSION) return AFUNC_BADVERSION;
    MeshExportState state;
    state.messages = get_service<LWMessageFuncs>(global, LWMESSAGEFUNCS_GLOBAL);
    if (!state.messages) return AFUNC_BADGLOBAL;

    auto* command = static_cast<LWModCommand*>(local);
    MeshEditOp* edit = command && command->editBegin ? command->editBegin(0, 0, EDIT_SELECTION) : nullptr;
    if (!edit) return AFUNC_BADLOCAL;
    state.edit = edit;
    state.global = global;

    const int selection_mode = export_with_panel(state, panels, query);
    edit->done(edit->state, EDERR_NONE, selection_mode);
    mesh_release(state);
    return AFUNC_OK;
}
