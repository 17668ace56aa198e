#include <lwcmdseq.h>
#include <lwmodeler.h>
#include <lwpanel.h>

#include "host_glue.h"
#include "shapereader.h"

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
    (void)local;
    return AFUNC_OK;
}
