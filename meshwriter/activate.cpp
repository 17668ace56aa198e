#include <lwcmdseq.h>
#include <lwmodeler.h>
#include <lwpanel.h>

#include "host_glue.h"
#include "meshwriter.h"

namespace {
// The edit selects nothing by itself and may mark polygons (OPSEL_MODIFY),
// acting on the elements directly (OPSEL_DIRECT).
constexpr EltOpSelect EDIT_SELECTION = OPSEL_MODIFY | OPSEL_DIRECT;
}  // namespace

int mesh_activate(int version, GlobalFunc* global, void* local, void*) noexcept {
    auto* panels = get_service<LWPanelFuncs>(global, LWPANELFUNCS_GLOBAL);
    if (!panels) return AFUNC_BADGLOBAL;
    panels->globalFun = global;
    if (!get_service<LWStateQueryFuncs>(global, LWSTATEQUERYFUNCS_GLOBAL)) return AFUNC_BADGLOBAL;
    if (version != LWMODCOMMAND_VERSION) return AFUNC_BADVERSION;
    auto* messages = get_service<LWMessageFuncs>(global, LWMESSAGEFUNCS_GLOBAL);
    if (!messages) return AFUNC_BADGLOBAL;

    auto* command = static_cast<LWModCommand*>(local);
    MeshEditOp* edit = command && command->editBegin ? command->editBegin(0, 0, EDIT_SELECTION) : nullptr;
    if (!edit) return AFUNC_BADLOCAL;
    edit->done(edit->state, EDERR_NONE, 0);
    return AFUNC_OK;
}
