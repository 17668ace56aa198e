// Geometry of Modeler's current object through the mesh edit: allocation, the
// point and polygon scans, corner binding, smoothed normals, texture
// coordinates, the panel's counts, the layer choice and the selection of
// invalid polygons.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

#include "host_glue.h"
#include "mesh_state.h"
#include "rotation.h"
#include "smoothing.h"

namespace {

// Room for one vertex map value: a UV map has two, and the host copies no
// more than a map's dimension, which it caps at 16.
constexpr int VALUE_CAPACITY = 16;

int clamp_count(int count) noexcept { return count > 0 ? count : 0; }

MeshPoint* find_point(const MeshExportState& state, LWPntID id) noexcept {
    void* found = nullptr;
    if (intmap_get(&state.point_map, host_id_key(id), &found) != MAP_OK) return nullptr;
    return static_cast<MeshPoint*>(found);
}

MeshPolygon* find_polygon(const MeshExportState& state, LWPolID id) noexcept {
    void* found = nullptr;
    if (intmap_get(&state.polygon_map, host_id_key(id), &found) != MAP_OK) return nullptr;
    return static_cast<MeshPolygon*>(found);
}

void release_records(MeshExportState& state) noexcept {
    std::vector<MeshPolygon>().swap(state.polygons);
    std::vector<MeshPoint>().swap(state.points);
    std::vector<MeshCorner>().swap(state.corners);
    std::vector<LWPolID>().swap(state.point_polygons);
    intmap_free(&state.polygon_map);
    intmap_free(&state.point_map);
}

// The one copy of a polygon's surface text, made when the text is first met
// and tied then to the surface record of that name; null when memory runs out.
const MeshSurfaceName* surface_name_of(MeshExportState& state, const char* text) noexcept {
    const std::uint32_t hash = map_string_hash(text);
    void* found = nullptr;
    if (strmap_get(&state.surface_name_map, text, &found, hash) == MAP_OK)
        return static_cast<const MeshSurfaceName*>(found);
    try {
        auto name = std::make_unique<MeshSurfaceName>();
        name->text.assign(text);
        name->surface = nullptr;
        if (strmap_get(&state.surface_map, text, &found, hash) == MAP_OK)
            name->surface = static_cast<const ExportSurface*>(found);
        MeshSurfaceName* kept = state.surface_names.emplace_back(std::move(name)).get();
        strmap_insert(&state.surface_name_map, kept->text.c_str(), kept, hash);
        return kept;
    } catch (...) {
        return nullptr;
    }
}

// ---- smoothing ------------------------------------------------------------------

void float_copy(const double in[3], float out[3]) noexcept {
    for (int k = 0; k < 3; ++k) out[k] = static_cast<float>(in[k]);
}

const ExportSurface* smoothing_surface(const MeshPolygon* polygon) noexcept {
    if (polygon == nullptr || polygon->valid == 0 || polygon->corners == nullptr || polygon->surface == nullptr)
        return nullptr;
    const ExportSurface* surface = polygon->surface->surface;
    return surface != nullptr && surface->smoothing_angle > 0.0 ? surface : nullptr;
}

// One corner of `own` at a point whose valid polygons are `around` (null
// where the list is empty or the polygon unknown): the face normal as bound,
// plus in list order the face normal of every other polygon within the
// angle, summed in double and normalised in float.
void smooth_corner(const MeshPolygon& own, MeshPolygon* const* around, int count, const SmoothingLimit& limit,
                   MeshCorner& corner) noexcept {
    float own_normal[3];
    float_copy(own.face_normal, own_normal);
    double sum[3] = {corner.normal[0], corner.normal[1], corner.normal[2]};
    for (int i = 0; i < count; ++i) {
        const MeshPolygon* other = around[i];
        if (other == nullptr || other->id == own.id || other->valid == 0) continue;
        float other_normal[3];
        float_copy(other->face_normal, other_normal);
        if (!within_smoothing_angle(vec3_dot(own_normal, other_normal), limit)) continue;
        for (int k = 0; k < 3; ++k) sum[k] += other->face_normal[k];
    }
    float unit[3] = {static_cast<float>(sum[0]), static_cast<float>(sum[1]), static_cast<float>(sum[2])};
    vec3_normalize(unit);
    for (int k = 0; k < 3; ++k) corner.normal[k] = unit[k];
}

// Smooths every corner that lies on `point`, looking each polygon of the
// point's list up once instead of once per corner. Gives what the per-corner
// rule gives: a corner's neighbours are exactly the polygons of its point.
void smooth_point(const MeshExportState& state, const MeshPoint& point, std::vector<MeshPolygon*>& around,
                  SmoothingLimitCache& limits) {
    around.resize(static_cast<std::size_t>(point.use_count));
    bool any = false;
    for (int i = 0; i < point.use_count; ++i) {
        const LWPolID id = point.polygon_list[i];
        MeshPolygon* polygon = id != nullptr ? find_polygon(state, id) : nullptr;
        around[static_cast<std::size_t>(i)] = polygon;
        any = any || smoothing_surface(polygon) != nullptr;
    }
    if (!any) return;
    for (int i = 0; i < point.use_count; ++i) {
        MeshPolygon* polygon = around[static_cast<std::size_t>(i)];
        const ExportSurface* surface = smoothing_surface(polygon);
        if (surface == nullptr) continue;
        const SmoothingLimit& limit = limits.of(*surface);
        for (int c = 0; c < polygon->size; ++c) {
            if (polygon->corners[c].point != &point) continue;
            smooth_corner(*polygon, around.data(), point.use_count, limit, polygon->corners[c]);
        }
    }
}

// ---- corners ----------------------------------------------------------------------

// One array holds every valid polygon's corners, so a large mesh costs one
// allocation rather than millions.
ExportResult allocate_corners(MeshExportState& state) noexcept {
    std::size_t total = 0;
    for (const MeshPolygon& polygon : state.polygons) {
        if (polygon.valid != 0) total += static_cast<std::size_t>(polygon.size);
    }
    try {
        state.corners.assign(total, MeshCorner{});
    } catch (...) {
        return EXPORT_NO_MEMORY;
    }
    MeshCorner* next = state.corners.data();
    for (MeshPolygon& polygon : state.polygons) {
        if (polygon.valid == 0) continue;
        polygon.corners = next;
        next += polygon.size;
    }
    return EXPORT_OK;
}

ExportResult allocate_point_lists(MeshExportState& state) noexcept {
    std::size_t total = 0;
    for (const MeshPoint& point : state.points) total += static_cast<std::size_t>(point.use_count);
    try {
        state.point_polygons.assign(total, nullptr);
    } catch (...) {
        return EXPORT_NO_MEMORY;
    }
    LWPolID* next = state.point_polygons.data();
    for (MeshPoint& point : state.points) {
        point.polygon_list = point.use_count > 0 ? next : nullptr;
        next += point.use_count;
    }
    return EXPORT_OK;
}

// Enters a polygon into a point's list once: the walk stops at the ID when it
// is already there, or stores it in the first empty entry.
void enter_polygon(MeshPoint& point, LWPolID id) noexcept {
    for (int i = 0; i < point.use_count; ++i) {
        if (point.polygon_list[i] == id) return;
        if (point.polygon_list[i] == nullptr) {
            point.polygon_list[i] = id;
            return;
        }
    }
}

// ---- texture coordinates -------------------------------------------------------------

// The polygon's UVs in the selected map, corner by corner: per-polygon values
// before per-point ones (pointVEval). Corners before a missing one keep what
// they got.
void read_polygon_uvs(const MeshExportState& state, MeshPolygon& polygon) noexcept {
    MeshEditOp* edit = state.edit;
    polygon.has_uv = 1;
    for (int c = 0; c < polygon.size; ++c) {
        float uv[VALUE_CAPACITY];
        uv[0] = uv[1] = 0.0f;
        if (edit->pointVEval(edit->state, polygon.point_ids[c], polygon.id, uv) == 0) {
            polygon.has_uv = 0;
            return;
        }
        polygon.corners[c].u = uv[0];
        polygon.corners[c].v = uv[1];
    }
}

// Which row of the "Invalid Geometry List" a polygon falls in; a polygon may
// fall in none (a valid one with UVs) or in two (a hexagon that is no face).
bool in_row(const MeshPolygon& polygon, int row) noexcept {
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

    state.point_count = clamp_count(edit->pointCount(edit->state, state.export_layers, EDCOUNT_ALL));
    state.polygon_count = clamp_count(edit->polyCount(edit->state, state.export_layers, EDCOUNT_ALL));

    // surface_count is still 0: the map starts small and grows.
    strmap_init(&state.surface_map, state.surface_count);
    // Without its surfaces (no service, no memory) the object is still
    // exported, flat and grouped by the polygons' surface names.
    static_cast<void>(mesh_collect_surfaces(state));
    strmap_init(&state.surface_name_map, 8);

    try {
        state.polygons.assign(static_cast<std::size_t>(state.polygon_count), MeshPolygon{});
        state.points.assign(static_cast<std::size_t>(state.point_count), MeshPoint{});
    } catch (...) {
        release_records(state);
        return EXPORT_NO_MEMORY;
    }
    if (intmap_init(&state.polygon_map, state.polygon_count) != MAP_OK ||
        intmap_init(&state.point_map, state.point_count) != MAP_OK) {
        release_records(state);
        return EXPORT_NO_MEMORY;
    }

    state.uv_map_count = clamp_count(objects->numVMaps(LWVMAP_TXUV));
    try {
        state.uv_map_names.assign(static_cast<std::size_t>(state.uv_map_count), std::string());
    } catch (...) {
        state.uv_map_count = 0;  // no UVs then, as without maps
    }
    return EXPORT_OK;
}

ExportResult mesh_collect(MeshExportState& state) noexcept {
    MeshEditOp* edit = state.edit;
    if (edit == nullptr) return EXPORT_NO_SERVICE;
    ExportResult rc = EXPORT_OK;
    state.scan_index = 0;
    edit->pointScan(edit->state, mesh_scan_point, &state, state.export_layers);
    state.scan_index = 0;
    edit->polyScan(edit->state, mesh_scan_polygon, &state, state.export_layers);
    if (mesh_bind_corners(state) != EXPORT_OK) rc = EXPORT_NO_MEMORY;
    mesh_smooth_normals(state);
    mesh_assign_uvs(state);
    mesh_count_polygons(state);
    return rc;
}

EDError mesh_scan_point(void* data, const EDPointInfo* info) noexcept {
    auto* state = static_cast<MeshExportState*>(data);
    if (state == nullptr || info == nullptr || info->pnt == nullptr) return 1;
    if (state->scan_index < 0 || static_cast<std::size_t>(state->scan_index) >= state->points.size()) return 1;
    MeshPoint& record = state->points[static_cast<std::size_t>(state->scan_index)];
    record.id = info->pnt;
    record.layer = info->layer;
    record.flags = info->flags;
    for (int k = 0; k < 3; ++k) record.position[k] = info->position[k];
    record.use_count = 0;
    intmap_insert(&state->point_map, host_id_key(info->pnt), &record);
    ++state->scan_index;
    return EDERR_NONE;
}

EDError mesh_scan_polygon(void* data, const EDPolygonInfo* info) noexcept {
    auto* state = static_cast<MeshExportState*>(data);
    if (state == nullptr || info == nullptr || info->pol == nullptr) return 1;
    if (state->scan_index < 0 || static_cast<std::size_t>(state->scan_index) >= state->polygons.size()) return 1;
    MeshPolygon& record = state->polygons[static_cast<std::size_t>(state->scan_index)];
    record.id = info->pol;
    record.layer = info->layer;
    record.flags = info->flags;
    record.type = info->type;
    record.size = info->numPnts;
    const bool face = record.type == LWPOLTYPE_FACE;
    if (face && record.size > 2 && state->edit != nullptr)
        state->edit->polyNormal(state->edit->state, info->pol, record.face_normal);
    intmap_insert(&state->polygon_map, host_id_key(info->pol), &record);

    if (info->surface != nullptr) {
        record.surface = surface_name_of(*state, info->surface);
        if (record.surface == nullptr) return 1;  // out of memory: the records so far stay
    }

    record.valid = face && (record.size == 3 || record.size == 4) && info->points != nullptr ? 1 : 0;
    if (record.valid != 0) {
        for (int c = 0; c < record.size; ++c) record.point_ids[c] = info->points[c];
    }
    record.included = 1;
    ++state->scan_index;
    return EDERR_NONE;
}

EDError mesh_mark_polygon(void* data, const EDPolygonInfo* info) noexcept {
    auto* state = static_cast<MeshExportState*>(data);
    if (state == nullptr || info == nullptr) return EDERR_NONE;
    if (MeshPolygon* polygon = find_polygon(*state, info->pol)) polygon->included = 1;
    return EDERR_NONE;
}

ExportResult mesh_bind_corners(MeshExportState& state) noexcept {
    if (allocate_corners(state) != EXPORT_OK) {
        for (MeshPolygon& polygon : state.polygons) polygon.valid = 0;
        return EXPORT_NO_MEMORY;
    }
    for (MeshPolygon& polygon : state.polygons) {
        if (polygon.valid == 0) continue;
        for (int c = 0; c < polygon.size; ++c) {
            MeshPoint* point = find_point(state, polygon.point_ids[c]);
            if (point == nullptr) continue;  // the corner stays zero
            ++point->use_count;
            MeshCorner& corner = polygon.corners[c];
            corner.point = point;
            for (int k = 0; k < 3; ++k) corner.normal[k] = polygon.face_normal[k];
        }
    }
    if (allocate_point_lists(state) != EXPORT_OK) return EXPORT_NO_MEMORY;
    for (MeshPolygon& polygon : state.polygons) {
        if (polygon.valid == 0) continue;
        for (int c = 0; c < polygon.size; ++c) {
            MeshPoint* point = polygon.corners[c].point;
            if (point != nullptr && point->polygon_list != nullptr) enter_polygon(*point, polygon.id);
        }
    }
    return EXPORT_OK;
}

void mesh_smooth_normals(MeshExportState& state) noexcept {
    std::vector<MeshPolygon*> around;
    SmoothingLimitCache limits;
    try {
        around.reserve(64);
        for (const MeshPoint& point : state.points) {
            if (point.use_count > 0 && point.polygon_list != nullptr) smooth_point(state, point, around, limits);
        }
    } catch (...) {
        // Out of memory for the look-up list: the corners not reached keep
        // their face normals.
    }
}

void mesh_assign_uvs(MeshExportState& state) noexcept {
    auto* objects = get_service<LWObjectFuncs>(state.global, LWOBJECTFUNCS_GLOBAL);
    MeshEditOp* edit = state.edit;
    if (objects == nullptr || edit == nullptr) return;
    const int map_count = std::min(state.uv_map_count, static_cast<int>(state.uv_map_names.size()));
    for (int m = 0; m < map_count; ++m) {
        const char* kept = nullptr;
        const char* name = copy_uv_map_name(*objects, m, state.uv_map_names[static_cast<std::size_t>(m)], kept);
        if (name == nullptr) continue;
        // A map the object does not have gives no values: every polygon it
        // would visit ends with has_uv 0 at its first corner and no change.
        if (edit->pointVSet(edit->state, nullptr, LWVMAP_TXUV, kept != nullptr ? kept : name) == nullptr) continue;
        for (MeshPolygon& polygon : state.polygons) {
            if (polygon.valid == 0 || polygon.corners == nullptr || polygon.has_uv == 1) continue;
            read_polygon_uvs(state, polygon);
            if (polygon.has_uv == 1) polygon.uv_map = kept;
        }
    }
}

void mesh_count_polygons(MeshExportState& state) noexcept {
    ExportCounts counts{};
    for (const MeshPolygon& polygon : state.polygons) {
        if (polygon.included != 1) continue;
        count_export_polygon(counts, polygon.type, polygon.size, polygon.has_uv, state.verify_uv);
    }
    state.counts = counts;
}

void mesh_mark_layers(MeshExportState& state) noexcept {
    for (MeshPolygon& polygon : state.polygons) polygon.included = 0;
    MeshEditOp* edit = state.edit;
    if (edit != nullptr) edit->polyScan(edit->state, mesh_mark_polygon, &state, state.export_layers);
    mesh_count_polygons(state);
}

void mesh_select_invalid(MeshExportState& state, int row) noexcept {
    MeshEditOp* edit = state.edit;
    state.selecting = row;
    if (edit != nullptr && edit->polSelect != nullptr) {
        for (const MeshPolygon& polygon : state.polygons) {
            if (polygon.included == 1 && in_row(polygon, row)) edit->polSelect(edit->state, polygon.id, 1);
        }
    }
    state.selecting = -1;
}

void mesh_release(MeshExportState& state) noexcept {
    release_records(state);
    std::vector<ExportSurface>().swap(state.surfaces);
    std::vector<std::string>().swap(state.uv_map_names);
    std::vector<std::unique_ptr<MeshSurfaceName>>().swap(state.surface_names);
    strmap_free(&state.surface_map);
    strmap_free(&state.surface_name_map);
    std::string().swap(state.object_name);
    state.scan_index = 0;
    state.polygon_count = 0;
    state.point_count = 0;
    state.surface_count = 0;
    state.uv_map_count = 0;
    state.counts = ExportCounts{};
    state.selecting = -1;
}
