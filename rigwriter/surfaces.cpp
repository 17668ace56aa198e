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
        state.surfaces.assign(count, RefSurface{});
    } catch (...) {
        return EXPORT_NO_MEMORY;
    }
    std::size_t index = 0;
    for (LWSurfaceID surface = surface_funcs->first(); surface != nullptr && index < count;
         surface = surface_funcs->next(surface), ++index) {
        // A surface without a name or texture is kept with what could be read.
        static_cast<void>(ref_read_surface(state, surface_funcs, state.surfaces[index], surface));
    }
    return EXPORT_OK;
}

ExportResult ref_read_surface(RefExportState& state, const LWSurfaceFuncs* surface_funcs, RefSurface& record,
                     LWSurfaceID surface) noexcept {
    const char* name = surface_funcs->name(surface);
    if (name == nullptr || !copy_host_text(record.name, name)) return EXPORT_NO_SERVICE;
    // A later surface of the same name (another object's) takes the entry.
    strmap_insert(&state.surface_map, record.name.c_str(), &record, map_string_hash(record.name.c_str()));

    return read_surface_shading(state.global, surface_funcs, surface, record.smoothing_angle, record.texture_image)
               ? EXPORT_OK
               : EXPORT_NO_SERVICE;
}

// GROUP_BY_SURFACE: the surface name. GROUP_BY_TEXTURE: the surface's texture
// image when it has one, else the surface name. GROUP_BY_UV_MAP (and any
// other value): the polygon's UV map when it has one, else the surface name.
//
// The surface name of a polygon without a recorded surface is its "SURF" tag
// text (kept by the polygon scan), so that a scene whose surface service is
// missing still groups its triangles by surface; without a tag it is
// "default".
const char* ref_material_name(const RefExportState& state, const RefPolygon& polygon) noexcept {
    const RefSurface* surface = polygon.surface;
    const char* surface_name = surface != nullptr         ? surface->name.c_str()
                               : polygon.tag_name != nullptr ? polygon.tag_name
                                                             : REF_DEFAULT_MATERIAL;
    switch (state.group_by) {
        case GROUP_BY_SURFACE:
            return surface_name;
        case GROUP_BY_TEXTURE:
            return surface != nullptr && !surface->texture_image.empty() ? surface->texture_image.c_str()
                                                                         : surface_name;
        default:
            return polygon.uv_map != nullptr ? polygon.uv_map : surface_name;
    }
}
