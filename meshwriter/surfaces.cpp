// The object's surfaces: the smoothing angle the normals use and the image a
// UV-projected base colour layer shows, for "Surface Texture Image Name".
#include <cstddef>
#include <vector>

#include <lwsurf.h>

#include "host_glue.h"
#include "mesh_state.h"
#include "surface_shading.h"

namespace {

// The surfaces to record: the object's own (byObject), or for an object
// without a name every surface of the host. Copied, because the host's list
// lives only until its next byName/byObject call.
std::vector<LWSurfaceID> surfaces_to_record(const MeshExportState& state, const LWSurfaceFuncs* surface_funcs) {
    std::vector<LWSurfaceID> list;
    if (state.object_name.empty()) {
        for (LWSurfaceID surface = surface_funcs->first(); surface != nullptr; surface = surface_funcs->next(surface))
            list.push_back(surface);
        return list;
    }
    LWSurfaceID* answer = surface_funcs->byObject(state.object_name.c_str());
    for (std::size_t i = 0; answer != nullptr && answer[i] != nullptr; ++i) list.push_back(answer[i]);
    return list;
}

}  // namespace

ExportResult mesh_collect_surfaces(MeshExportState& state) noexcept {
    auto* surface_funcs = get_service<LWSurfaceFuncs>(state.global, LWSURFACEFUNCS_GLOBAL);
    if (surface_funcs == nullptr) return EXPORT_OK;
    try {
        const std::vector<LWSurfaceID> list = surfaces_to_record(state, surface_funcs);
        state.surfaces.assign(list.size(), ExportSurface{});
        state.surface_count = static_cast<int>(list.size());
        // A surface without a name or texture is kept with what could be read.
        for (std::size_t i = 0; i < list.size(); ++i)
            static_cast<void>(
                read_export_surface(state.global, surface_funcs, list[i], state.surfaces[i], state.surface_map));
    } catch (...) {
        std::vector<ExportSurface>().swap(state.surfaces);
        state.surface_count = 0;
        return EXPORT_NO_MEMORY;
    }
    return EXPORT_OK;
}
