// "SMD Skeleton Import": the Layout generic that reads SMD reference and
// sequence files into bones. The activation fetches the services, makes the
// context with its bone table, runs the panel and frees everything.
#include <new>

#include <lwpanel.h>
#include <lwrender.h>

#include "host_glue.h"
#include "import_state.h"
#include "rigreader.h"

namespace {

constexpr char MESSAGE_NO_PANEL[] = "Error creating user interface !";
constexpr char MESSAGE_NO_MEMORY[] = "Out of memory!";

}  // namespace

SkeletonResult skeleton_allocate_table(SkeletonImport& state) noexcept {
    state.bone_table.reset(new (std::nothrow) ImportBone[SMD_MAX_NODES]());
    return state.bone_table ? SKELETON_OK : SKELETON_NO_MEMORY;
}

void skeleton_release(SkeletonImport& state) noexcept {
    if (state.bone_table) {
        for (int i = 0; i < SMD_MAX_NODES; ++i) state.bone_table[i].name.reset();
    }
    state.bone_table.reset();
}

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

    SkeletonImport state{};
    state.global = global;
    state.generic = static_cast<const LWLayoutGeneric*>(local);
    state.messages = messages;
    state.item_info = item_info;
    state.scale = static_cast<float>(SKELETON_IMPORT_SCALE);
    state.default_rest_length = static_cast<float>(SKELETON_DEFAULT_REST_LENGTH);
    // Without the table no import can run, so no panel is offered.
    if (skeleton_allocate_table(state) != SKELETON_OK) {
        report_error(messages, MESSAGE_NO_MEMORY);
        return AFUNC_OK;
    }
    if (skeleton_run_panel(state, panels) != SKELETON_OK) report_error(messages, MESSAGE_NO_PANEL);
    skeleton_release(state);
    return AFUNC_OK;
}
