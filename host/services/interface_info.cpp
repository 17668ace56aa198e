// "LW Interface Info 3": Layout's interface state as data members, refreshed
// from host.scene when fetched and after every command. `selItems` is a
// null-terminated copy of the selection that stays valid until the next
// refresh.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "host.h"
#include "lwrender.h"
#include "services/services.h"

namespace lwhost {
namespace services {
namespace {

ItemId from_lw(LWItemID id) { return ItemId(reinterpret_cast<std::uintptr_t>(id) & 0xFFFFFFFFu); }

struct InterfaceInfoRecord {
    LWInterfaceInfo record{};
    std::vector<LWItemID> selected;  // null-terminated
};

// The host's record: a plug-in may keep the pointer as long as the host lives.
InterfaceInfoRecord* storage(Host& host) noexcept {
    try {
        return &host.service_state<InterfaceInfoRecord>("interface info");
    } catch (...) {
        return nullptr;
    }
}

const LWItemID kNoSelection[1] = {nullptr};

unsigned int item_flags(LWItemID id) noexcept {
    Host* host = Host::current();
    if (!host || !id) return 0;
    const Scene& scene = host->scene;
    ItemId item = from_lw(id);
    const Item* found = scene.item(item);
    if (!found) return 0;
    unsigned flags = 0;
    if (std::find(scene.selection.begin(), scene.selection.end(), item) != scene.selection.end())
        flags |= LWITEMF_SELECTED;
    if (!found->children.empty()) flags |= LWITEMF_SHOWCHILDREN;
    return flags;
}

void schema_pos(LWItemID, double* x, double* y) noexcept {
    if (x) *x = 0.0;
    if (y) *y = 0.0;
}

int item_vis(LWItemID id) noexcept {
    Host* host = Host::current();
    return host && id && host->scene.item(from_lw(id)) ? LWIVIS_VISIBLE : LWIVIS_HIDDEN;
}

int item_color(LWItemID) noexcept { return 0; }

}  // namespace

void refresh_interface_info(Host& host) {
    InterfaceInfoRecord* kept = storage(host);
    if (!kept) return;
    InterfaceInfoRecord& info = *kept;
    const Scene& scene = host.scene;
    const SceneSettings& settings = scene.settings;
    LWInterfaceInfo& r = info.record;
    try {
        info.selected.clear();
        for (ItemId id : scene.selection) info.selected.push_back(reinterpret_cast<LWItemID>(std::uintptr_t(id)));
        info.selected.push_back(nullptr);
        r.selItems = info.selected.data();
    } catch (...) {
        r.selItems = kNoSelection;
    }
    r.curTime = settings.time;
    r.itemFlags = item_flags;
    r.previewStart = settings.preview_start;
    r.previewEnd = settings.preview_end;
    r.previewStep = settings.preview_step;
    r.dynaUpdate = LWDYNUP_INTERACTIVE;
    r.schemaPos = schema_pos;
    r.itemVis = item_vis;
    r.displayFlags = 0;
    r.generalFlags = 0;
    r.boxThreshold = settings.box_threshold;
    r.itemColor = item_color;
    r.alertLevel = LWALERT_EXPERT;
}

void* interface_info(Host& host) {
    refresh_interface_info(host);
    InterfaceInfoRecord* info = storage(host);
    return info ? &info->record : nullptr;
}

}  // namespace services
}  // namespace lwhost
