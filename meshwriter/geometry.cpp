// Geometry of Modeler's current object: the shared geometry core over the
// open mesh edit, the panel's counts, the layer choice and the selection of
// invalid polygons.
#include "host_glue.h"
#include "mesh_state.h"

namespace {

// Which row of the "Invalid Geometry List" a polygon falls in; a polygon may
// fall in none (a valid one with UVs) or in two (a hexagon that is no face).
bool in_row(const ExportPolygon& polygon, int row) noexcept {
    const bool face = polygon.type == LWPOLTYPE_FACE;
    switch (row) {
        case MESH_ROW_NO_UV:
            return face && (polygon.size == 3 || polygon.size == 4) && polygon.has_uv == 0;
        case MESH_ROW_DEGENERATE:
            return face && polygon.size < 3;
        case MESH_ROW_FIVE_PLUS:
            return polygon.size > 4;
        case MESH_ROW_NON_FACE:
            return !face;
        default:
            return false;
    }
}

}  // namespace

ExportResult mesh_allocate(MeshExportState& state) noexcept {
    auto* objects = get_service<LWObjectFuncs>(state.global, LWOBJECTFUNCS_GLOBAL);
    MeshEditOp* edit = state.edit;
    if (objects == nullptr || edit == nullptr) return EXPORT_NO_SERVICE;

    ExportGeometry& geometry = state.geometry;
    geometry.source = mesh_source_modeler(edit);
    geometry.layers = state.export_layers;
    geometry.point_count = edit->pointCount(edit->state, state.export_layers, EDCOUNT_ALL);
    geometry.polygon_count = edit->polyCount(edit->state, state.export_layers, EDCOUNT_ALL);
    // The object's own surfaces, or every surface of the host for an object
    // without a name. Without them (no service, no memory) the object is
    // still exported, flat and grouped by the polygons' surface names.
    static_cast<void>(
        export_collect_surfaces(geometry, state.global, state.object_name.empty() ? nullptr : state.object_name.c_str()));
    return export_geometry_allocate(geometry, *objects);
}

ExportResult mesh_collect(MeshExportState& state) noexcept {
    if (state.edit == nullptr) return EXPORT_NO_SERVICE;
    ExportGeometry& geometry = state.geometry;
    ExportResult rc = EXPORT_OK;
    export_scan(geometry);
    if (export_bind_corners(geometry) != EXPORT_OK) rc = EXPORT_NO_MEMORY;
    export_smooth_normals(geometry);
    if (auto* objects = get_service<LWObjectFuncs>(state.global, LWOBJECTFUNCS_GLOBAL))
        export_assign_uvs(geometry, *objects);
    mesh_count_polygons(state);
    return rc;
}

EDError mesh_mark_polygon(void* data, const EDPolygonInfo* info) noexcept {
    auto* state = static_cast<MeshExportState*>(data);
    if (state == nullptr || info == nullptr) return EDERR_NONE;
    if (ExportPolygon* polygon = export_find_polygon(state->geometry, info->pol)) polygon->included = 1;
    return EDERR_NONE;
}

void mesh_count_polygons(MeshExportState& state) noexcept {
    state.counts = export_count_polygons(state.geometry, state.verify_uv);
}

void mesh_mark_layers(MeshExportState& state) noexcept {
    for (ExportPolygon& polygon : state.geometry.polygons) polygon.included = 0;
    MeshEditOp* edit = state.edit;
    if (edit != nullptr) edit->polyScan(edit->state, mesh_mark_polygon, &state, state.export_layers);
    mesh_count_polygons(state);
}

void mesh_select_invalid(MeshExportState& state, int row) noexcept {
    MeshEditOp* edit = state.edit;
    state.selecting = row;
    if (edit != nullptr && edit->polSelect != nullptr) {
        for (const ExportPolygon& polygon : state.geometry.polygons) {
            if (polygon.included == 1 && in_row(polygon, row)) edit->polSelect(edit->state, polygon.id, 1);
        }
    }
    state.selecting = -1;
}

void mesh_release(MeshExportState& state) noexcept {
    export_geometry_release(state.geometry);
    state.geometry.source = MeshSource{};
    std::string().swap(state.object_name);
    state.counts = ExportCounts{};
    state.selecting = -1;
}
