// The activation of "SMD Mesh Import": services, the state, the panel, and
// the release of what the last import left.
#include <lwcmdseq.h>
#include <lwmodeler.h>
#include <lwpanel.h>

#include "host_glue.h"
#include "import_state.h"
#include "shapereader.h"

namespace {

constexpr char MESSAGE_NO_PANEL[] = "Error creating user interface !";

}  // namespace

int mesh_import_activate(int version, GlobalFunc* global, void* local, void*) noexcept {
    auto* panels = get_service<LWPanelFuncs>(global, LWPANELFUNCS_GLOBAL);
    if (!panels) return AFUNC_BADGLOBAL;
    panels->globalFun = global;
    // Nothing else uses the state query; it is required so the importer runs
    // only inside Modeler.
    if (!get_service<LWStateQueryFuncs>(global, LWSTATEQUERYFUNCS_GLOBAL)) return AFUNC_BADGLOBAL;
    if (version != LWMODCOMMAND_VERSION) return AFUNC_BADVERSION;
    auto* messages = get_service<LWMessageFuncs>(global, LWMESSAGEFUNCS_GLOBAL);
    if (!messages) return AFUNC_BADGLOBAL;

    MeshImport state;
    state.global = global;
    state.command = static_cast<const LWModCommand*>(local);
    state.messages = messages;
    if (mesh_run_panel(state, panels) != 0) report_error(messages, MESSAGE_NO_PANEL);
    mesh_import_release(state);
    return AFUNC_OK;
}
