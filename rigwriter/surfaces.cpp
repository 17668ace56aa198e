// The scene's surfaces (smoothing angle, base colour texture image) and the
// material name each polygon's triangles are written under.
#include <cstddef>

#include <lwsurf.h>

#include "host_glue.h"
#include "ref_state.h"
#include "surface_shading.h"

namespace {

// Material of a polygon that has neither a recorded surface nor a "SURF" tag.
// The host gives every polygon a surface, so this is a guard: a triangle
// needs a material line whatever happens.
constexpr char REF_DEFAULT_MATERIAL[] = "default";

}  // namespace

ExportResult ref_collect_surfaces(RefExportState& state) noexcept {
    auto* surface_funcs = get_service<LWSurfaceFuncs>(state.global, LWSURFACEFUNCS_GLOBAL);
    if (surface_funcs == nullptr) return EXPORT_NO_SERVICE;
    std::size_t count = 0;
    for (LWSurfaceID surface = surface_funcs->first(); surface != nullptr; surface = surface_funcs->next(surface)) {
        ++count;
    }
    try {
        state.surfaces.assign(count, ExportSurface{});
    } catch (...) {
        return EXPORT_NO_MEMORY;
    }
    std::size_t index = 0;
    for (LWSurfaceID surface = surface_funcs->first(); surface != nullptr && index < count;
         surface = surface_funcs->next(surface), ++index) {
        // A surface without a name or texture is kept with what could be read.
        static_cast<void>(
            read_export_surface(state.global, surface_funcs, surface, state.surfaces[index], state.surface_map));
    }
    return EXPORT_OK;
}

// The surface name of a polygon without a recorded surface is its "SURF" tag
// text (kept by the polygon scan), so that a scene whose surface service is
// missing still groups its triangles by surface; without a tag it is
// "default". The grouping rule itself is export_material_name's.
const char* ref_material_name(const RefExportState& state, const RefPolygon& polygon) noexcept {
    const ExportSurface* surface = polygon.surface;
    const char* surface_name = surface != nullptr         ? surface->name.c_str()
                               : polygon.tag_name != nullptr ? polygon.tag_name
                                                             : REF_DEFAULT_MATERIAL;
    return export_material_name(state.group_by, surface_name, surface, polygon.uv_map);
}
