// "LW Scene Info 3": a record of data members, refreshed from host.scene
// when it is fetched and after every command. Texts are kept in strings that
// are reassigned only when they change, so a pointer a plug-in took stays
// valid as long as the scene's name or file name does not change.
#include <cstdint>
#include <string>

#include "host.h"
#include "lwrender.h"
#include "services/services.h"

namespace lwhost {
namespace services {
namespace {

LWItemID render_camera(LWTime) noexcept {
    Host* host = Host::current();
    if (!host) return nullptr;
    const auto& cameras = host->scene.items(ItemType::Camera);
    return cameras.empty() ? nullptr : reinterpret_cast<LWItemID>(std::uintptr_t(cameras.front()));
}

struct SceneInfoRecord {
    LWSceneInfo record{};
    std::string name;
    std::string filename;
};

// The host's record: a plug-in may keep the pointer as long as the host lives.
SceneInfoRecord* storage(Host& host) noexcept {
    try {
        return &host.service_state<SceneInfoRecord>("scene info");
    } catch (...) {
        return nullptr;
    }
}

void assign_if_changed(std::string& kept, const std::string& now) {
    if (kept != now) kept = now;
}

}  // namespace

void refresh_scene_info(Host& host) {
    SceneInfoRecord* kept = storage(host);
    if (!kept) return;
    SceneInfoRecord& info = *kept;
    const Scene& scene = host.scene;
    const SceneSettings& settings = scene.settings;
    LWSceneInfo& r = info.record;
    try {
        assign_if_changed(info.name, settings.name);
        assign_if_changed(info.filename, settings.filename);
        r.name = info.name.c_str();
        r.filename = info.filename.empty() ? nullptr : info.filename.c_str();  // never saved
    } catch (...) {
        r.name = "";
        r.filename = nullptr;
    }
    // Totals over the object items (a layer shown twice counts twice). This
    // runs after every command, so it stays O(objects): elements that a
    // Modeler edit marked deleted are counted until the edit is compacted.
    long long points = 0, polygons = 0;
    for (ItemId object : scene.items(ItemType::Object)) {
        if (const Layer* layer = host.scene.layer_of(object)) {
            points += (long long)layer->points.size();
            polygons += (long long)layer->polygons.size();
        }
    }
    r.numPoints = int(points);
    r.numPolygons = int(polygons);
    r.renderType = 0;   // wireframe preview off; no renderer in the host
    r.renderOpts = 0;
    r.frameStart = settings.frame_start;
    r.frameEnd = settings.frame_end;
    r.frameStep = settings.frame_step;
    r.framesPerSecond = settings.frames_per_second;
    r.frameWidth = 640;
    r.frameHeight = 480;
    r.pixelAspect = 1.0;
    r.minSamplesPerPixel = 1;
    r.maxSamplesPerPixel = 1;
    r.limitedRegion[0] = 0;
    r.limitedRegion[1] = 0;
    r.limitedRegion[2] = 639;
    r.limitedRegion[3] = 479;
    r.recursionDepth = 16;
    r.renderCamera = render_camera;
    r.numThreads = 1;
}

void* scene_info(Host& host) {
    refresh_scene_info(host);
    SceneInfoRecord* info = storage(host);
    return info ? &info->record : nullptr;
}

}  // namespace services
}  // namespace lwhost
