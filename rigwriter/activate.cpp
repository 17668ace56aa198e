// The activation of "SMD Export Layout": services, the bounding-box
// threshold, the selected object, the gathering, the panel, and the
// threshold put back.
#include <lwpanel.h>
#include <lwrender.h>

#include "host_glue.h"
#include "panel.h"
#include "rigwriter.h"

namespace {

constexpr char MESSAGE_NO_OBJECT[] = "Select object you want to export.";
constexpr char MESSAGE_NO_GEOMETRY[] = "Selected object doesn't contain any geometry.";
constexpr char MESSAGE_NO_PANEL[] = "Error creating user interface !";

constexpr char COMMAND_BOX_THRESHOLD[] = "BoundingBoxThreshold";

// One more than the largest point count of any object mesh of the scene, so
// that Layout keeps drawing every object whole while the exporter works.
int needed_box_threshold(const LWItemInfo* items, const LWObjectInfo* objects) noexcept {
    int largest = 0;
    for (LWItemID object = items->first(LWI_OBJECT, nullptr); object != nullptr; object = items->next(object)) {
        LWMeshInfo* mesh = objects->meshInfo(object, 1);
        if (mesh == nullptr) continue;
        const int points = mesh->numPoints(mesh);
        if (points > largest) largest = points;
        if (mesh->destroy != nullptr) mesh->destroy(mesh);
    }
    return largest + 1;
}

// Everything between finding the object and releasing what was gathered.
void export_object(RefExportState& state, LWPanelFuncs* panels) noexcept {
    state.object = ref_find_selected_object(state.item_info, state.global);
    if (state.object == nullptr) {
        report_error(state.messages, MESSAGE_NO_OBJECT);
        return;
    }
    state.mesh = state.object_info->meshInfo(state.object, 1);
    if (state.mesh != nullptr) {
        state.geometry.point_count = state.mesh->numPoints(state.mesh);
        state.geometry.polygon_count = state.mesh->numPolygons(state.mesh);
    }
    if (state.mesh == nullptr || state.geometry.polygon_count <= 0) {
        report_error(state.messages, MESSAGE_NO_GEOMETRY);
        return;
    }
    if (const char* file = state.object_info->filename(state.object)) {
        if (!copy_host_text(state.object_file, file)) return;
    }
    // A failed gathering (no memory, no "Scene Objects 4") ends without a panel.
    if (ref_allocate(state) != EXPORT_OK || ref_collect(state) != EXPORT_OK) return;
    if (ref_run_panel(state, panels) != 0) report_error(state.messages, MESSAGE_NO_PANEL);
}

}  // namespace

LWItemID ref_find_selected_object(const LWItemInfo* item_info, GlobalFunc* global) noexcept {
    auto* interface_info = get_service<LWInterfaceInfo>(global, LWINTERFACEINFO_GLOBAL);
    if (item_info == nullptr || interface_info == nullptr || interface_info->selItems == nullptr) return nullptr;
    for (const LWItemID* item = interface_info->selItems; *item != nullptr; ++item) {
        if (item_info->type(*item) == LWI_OBJECT) return *item;
    }
    return nullptr;
}

int ref_activate(int, GlobalFunc* global, void* local, void*) noexcept {
    // Layout generics serve any version. Scene Info is required although
    // nothing of it is used, so that the exporter refuses the same hosts.
    auto* messages = get_service<LWMessageFuncs>(global, LWMESSAGEFUNCS_GLOBAL);
    auto* item_info = get_service<LWItemInfo>(global, LWITEMINFO_GLOBAL);
    auto* scene_info = get_service<LWSceneInfo>(global, LWSCENEINFO_GLOBAL);
    auto* object_info = get_service<LWObjectInfo>(global, LWOBJECTINFO_GLOBAL);
    auto* interface_info = get_service<LWInterfaceInfo>(global, LWINTERFACEINFO_GLOBAL);
    auto* panels = get_service<LWPanelFuncs>(global, LWPANELFUNCS_GLOBAL);
    if (!messages || !item_info || !scene_info || !object_info || !interface_info || !panels)
        return AFUNC_BADGLOBAL;
    panels->globalFun = global;
    const auto* generic = static_cast<const LWLayoutGeneric*>(local);

    RefExportState state;
    state.global = global;
    state.item_info = item_info;
    state.object_info = object_info;
    state.messages = messages;
    state.panel_funcs = panels;

    const int saved = interface_info->boxThreshold;
    const int needed = needed_box_threshold(item_info, object_info);
    if (needed > saved) send_command(generic, COMMAND_BOX_THRESHOLD, "%d", needed);

    export_object(state, panels);
    // Also frees a mesh info taken for an object without polygons.
    ref_release(state);

    if (needed > saved) send_command(generic, COMMAND_BOX_THRESHOLD, "%d", saved);
    return AFUNC_OK;
}
