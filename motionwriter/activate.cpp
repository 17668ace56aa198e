// "SMD Animation": the Layout generic that exports the selected object's
// skeletal animation. It prepares Layout, collects the bones, applies its own
// motion handler to each of them, runs the panel, and undoes all of that
// before it returns.
#include <cinttypes>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>

#include <lwpanel.h>
#include <lwrender.h>

#include "anim_state.h"
#include "host_glue.h"
#include "motionwriter.h"

namespace {

constexpr char MESSAGE_NO_OBJECT[] = "Select object you want to export.";
constexpr char MESSAGE_NO_BONES[] = "Selected object has no skeletal information.";
constexpr char MESSAGE_NO_PANEL[] = "Error creating user interface !";

// Item IDs are pointer-sized: the whole ID goes into the command text.
void select_item(const LWLayoutGeneric* generic, LWItemID item) noexcept {
    send_command(generic, "SelectItem", "%" PRIxPTR, reinterpret_cast<std::uintptr_t>(item));
}

// One more than the largest point count of any object in the scene, so that
// Layout draws every object in full while the frames are stepped.
int bounding_box_need(const LWItemInfo* info, const LWObjectInfo* objects) noexcept {
    long long largest = 0;
    for (LWItemID object = info->first(LWI_OBJECT, nullptr); object; object = info->next(object)) {
        LWMeshInfoID mesh = objects->meshInfo ? objects->meshInfo(object, 1) : nullptr;
        if (!mesh) continue;
        const int points = mesh->numPoints ? mesh->numPoints(mesh) : 0;
        if (points > largest) largest = points;
        if (mesh->destroy) mesh->destroy(mesh);
    }
    return largest >= INT_MAX ? INT_MAX : static_cast<int>(largest + 1);
}

std::unique_ptr<char[]> copy_text(const char* text) noexcept {
    const std::size_t length = std::strlen(text);
    std::unique_ptr<char[]> copy(new (std::nothrow) char[length + 1]);
    if (copy) std::memcpy(copy.get(), text, length + 1);
    return copy;
}

// Everything between raising and restoring the bounding-box threshold.
void export_selected_object(AnimExportState& state, const LWSceneInfo* scene, const LWInterfaceInfo* interface_info,
                            LWPanelFuncs* panels) noexcept {
    state.object = find_selected_object(state.itemInfo, state.global);
    if (!state.object) {
        report_error(state.msgFuncs, MESSAGE_NO_OBJECT);
        return;
    }
    if (scene->filename) {
        state.sceneFile = copy_text(scene->filename);
        if (!state.sceneFile) return;
    }
    state.firstFrame = interface_info->previewStart;
    state.lastFrame = interface_info->previewEnd;
    state.frameStep = interface_info->previewStep != 0 ? interface_info->previewStep : 1;

    prepare_bones(state);
    // No record filled (no "LW Bone Info 3") is as good as no skeleton: the
    // counts below tell, whatever the result says.
    static_cast<void>(collect_bones(&state));
    if (state.boneCount == 0 || state.bonesAdded == 0) {
        report_error(state.msgFuncs, MESSAGE_NO_BONES);
        release_export_state(state);
        return;
    }
    set_bone_motion_handlers(state.generic, &state, 0);
    if (open_anim_panel(state, panels) != 0) report_error(state.msgFuncs, MESSAGE_NO_PANEL);
    set_bone_motion_handlers(state.generic, &state, 1);
    select_item(state.generic, state.object);
    release_export_state(state);
}

}  // namespace

LWItemID find_selected_object(const LWItemInfo* info, GlobalFunc* global) noexcept {
    auto* interface_info = get_service<LWInterfaceInfo>(global, LWINTERFACEINFO_GLOBAL);
    if (!interface_info || !info || !interface_info->selItems) return nullptr;
    for (const LWItemID* item = interface_info->selItems; *item; ++item)
        if (info->type(*item) == LWI_OBJECT) return *item;
    return nullptr;
}

void set_bone_motion_handlers(const LWLayoutGeneric* generic, const AnimExportState* state, int remove) noexcept {
    if (!state || state->boneCount == 0) return;
    send_command(generic, "EditBones");
    for (int i = 0; i < state->boneCount; ++i) {
        const AnimBone& bone = state->bones[i];
        if (!bone.id) continue;  // a record the collection never filled names no item
        select_item(generic, bone.id);
        send_command(generic, remove ? "RemoveServer ItemMotionHandler SMD_Anim_Motion"
                                     : "ApplyServer ItemMotionHandler SMD_Anim_Motion");
    }
}

void release_export_state(AnimExportState& state) noexcept {
    release_bones(state);
    withdraw_export_state(state);
    state.sceneFile.reset();
}

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

    // The motion handler reads this record through the shared block while
    // the panel runs, so it stays in this frame until it is withdrawn.
    AnimExportState state{};
    state.msgFuncs = messages;
    state.itemInfo = item_info;
    state.objectInfo = object_info;
    state.global = global;
    state.generic = static_cast<const LWLayoutGeneric*>(local);
    state.includeNullBones = 1;
    state.scale = SMD_EXPORT_SCALE;

    send_command(state.generic, "EditObjects");
    const int threshold = interface_info->boxThreshold;
    const int needed = bounding_box_need(item_info, object_info);
    const bool raised = threshold < needed;
    if (raised) send_command(state.generic, "BoundingBoxThreshold", "%d", needed);

    export_selected_object(state, scene_info, interface_info, panels);

    if (raised) send_command(state.generic, "BoundingBoxThreshold", "%d", threshold);
    return AFUNC_OK;
}
