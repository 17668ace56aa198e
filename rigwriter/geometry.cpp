// Geometry of the selected object: allocation of the state, then the shared
// geometry core over the object's mesh info, with the skeleton's steps in
// between; the panel's counts.
#include <cstddef>

#include "host_glue.h"
#include "ref_state.h"

namespace {

int count_bones(const RefExportState& state) noexcept {
    const LWItemInfo* items = state.item_info;
    if (items == nullptr || state.object == nullptr) return 0;
    int count = 0;
    for (LWItemID bone = items->first(LWI_BONE, state.object); bone != nullptr; bone = items->next(bone)) {
        ++count;
    }
    return count;
}

int clamp_count(int count) noexcept { return count > 0 ? count : 0; }

}  // namespace

ExportResult ref_allocate(RefExportState& state) noexcept {
    if (state.mesh == nullptr) return EXPORT_NO_SERVICE;
    auto* objects = get_service<LWObjectFuncs>(state.global, LWOBJECTFUNCS_GLOBAL);
    if (objects == nullptr) return EXPORT_NO_SERVICE;

    ExportGeometry& geometry = state.geometry;
    geometry.source = mesh_source_layout(state.mesh);
    // Every surface of the scene: a Layout object's polygons name surfaces
    // by text, and the scene holds them all.
    if (export_collect_surfaces(geometry, state.global, nullptr) == EXPORT_NO_MEMORY) return EXPORT_NO_MEMORY;
    if (export_geometry_allocate(geometry, *objects) != EXPORT_OK) return EXPORT_NO_MEMORY;

    const int weight_map_count = clamp_count(objects->numVMaps(LWVMAP_WGHT));
    state.bone_count = count_bones(state);
    try {
        state.weight_maps.assign(static_cast<std::size_t>(weight_map_count), RefWeightMap{});
        state.bones.assign(static_cast<std::size_t>(state.bone_count), RefBone{});
    } catch (...) {
        return EXPORT_NO_MEMORY;
    }
    if (strmap_init(&state.weight_bone_map, state.bone_count) != MAP_OK) return EXPORT_NO_MEMORY;
    if (intmap_init(&state.bone_map, state.bone_count) != MAP_OK) return EXPORT_NO_MEMORY;
    return EXPORT_OK;
}

ExportResult ref_collect(RefExportState& state) noexcept {
    if (state.mesh == nullptr) return EXPORT_NO_SERVICE;
    ExportGeometry& geometry = state.geometry;
    ExportResult rc = EXPORT_OK;
    ref_collect_weight_maps(state);
    export_scan(geometry);
    if (export_bind_corners(geometry) != EXPORT_OK) rc = EXPORT_NO_MEMORY;
    export_smooth_normals(geometry);
    // Without "LW Bone Info 3" the mesh is written with the root node only.
    static_cast<void>(ref_collect_bones(state));
    if (auto* objects = get_service<LWObjectFuncs>(state.global, LWOBJECTFUNCS_GLOBAL))
        export_assign_uvs(geometry, *objects);
    if (ref_assign_weights(state) != EXPORT_OK) rc = EXPORT_NO_MEMORY;
    ref_count_polygons(state);
    return rc;
}

void ref_count_polygons(RefExportState& state) noexcept {
    state.counts = export_count_polygons(state.geometry, state.verify_uv);
}

void ref_release(RefExportState& state) noexcept {
    export_geometry_release(state.geometry);
    std::vector<RefWeightMap>().swap(state.weight_maps);
    std::vector<RefBone>().swap(state.bones);
    BigVector<RefPointWeights>().swap(state.point_weights);
    intmap_free(&state.bone_map);
    strmap_free(&state.weight_bone_map);
    state.object_file.clear();
    state.bone_count = 0;
    state.null_bone_count = 0;
    state.scan_index = 0;
    if (state.mesh != nullptr && state.mesh->destroy != nullptr) state.mesh->destroy(state.mesh);
    state.mesh = nullptr;
    state.geometry.source = MeshSource{};
}
