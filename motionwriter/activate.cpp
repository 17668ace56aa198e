#include <lwpanel.h>
#include <lwrender.h>

#include "host_glue.h"
#include "motionwriter.h"

int anim_activate(int, GlobalFunc* global, void* local, void*) noexcept {
    auto* messages = get_service<LWMessageFuncs>(global, LWMESSAGEFUNCS_GLOBAL);
    auto* item_info = get_service<LWItemInfo>(global, LWITEMINFO_GLOBAL);
    auto* scene_info = get_service<LWSceneInfo>(global, LWSCENEINFO_GLOBAL);
    auto* object_info = get_service<LWObjectInfo>(global, LWOBJECTINFO_GLOBAL);
    auto* interface_info = get_service<LWInterfaceInfo>(global, LWINTERFACEINFO_GLOBAL);
    auto* panels = get_service<LWPanelFuncs>(global, LWPANELFUNCS_GLOBAL);
    if (!messages || !item_info || !scene_info || !object_info || !interface_info || !panels)
        return AFUNC_BADGLOBAL;
    panels->globalFun = global;
    (void)local;
    return AFUNC_OK;
}
