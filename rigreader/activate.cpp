#include <lwpanel.h>
#include <lwrender.h>

#include "host_glue.h"
#include "rigreader.h"

int skeleton_activate(int, GlobalFunc* global, void* local, void*) noexcept {
    auto* messages = get_service<LWMessageFuncs>(global, LWMESSAGEFUNCS_GLOBAL);
    auto* item_info = get_service<LWItemInfo>(global, LWITEMINFO_GLOBAL);
    auto* scene_info = get_service<LWSceneInfo>(global, LWSCENEINFO_GLOBAL);
    // Interface Info is fetched again where the import needs it, and the
    // import does without it; it is not required here.
    get_service<LWInterfaceInfo>(global, LWINTERFACEINFO_GLOBAL);
    auto* panels = get_service<LWPanelFuncs>(global, LWPANELFUNCS_GLOBAL);
    if (!messages || !item_info || !scene_info || !panels) return AFUNC_BADGLOBAL;
    panels->globalFun = global;
    (void)local;
    return AFUNC_OK;
}
