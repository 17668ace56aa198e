// The mesh exporters' geometry: allocation, the scans of either host, corner
// binding, face and smoothed normals, texture coordinates and counts.
#include "export_geometry.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include <lwmodeler.h>
#include <lwsurf.h>

#include "host_glue.h"
#include "rotation.h"
#include "smoothing.h"

namespace {

// Material of a polygon the host gave no surface name. The host gives every
// polygon a surface, so this is a guard: a triangle needs a material line
// whatever happens.
constexpr char DEFAULT_MATERIAL[] = "default";

int clamp_count(int count) noexcept { return count > 0 ? count : 0; }

ExportGeometry* geometry_of(void* data) noexcept { return static_cast<ExportGeometry*>(data); }

// The record the scan fills next; null once the counted records are filled.
template <class Records>
typename Records::value_type* next_record(ExportGeometry& geometry, Records& records) noexcept {
    if (geometry.scan_index < 0 || static_cast<std::size_t>(geometry.scan_index) >= records.size()) return nullptr;
    return &records[static_cast<std::size_t>(geometry.scan_index)];
}

void release_records(ExportGeometry& geometry) noexcept {
    BigVector<ExportPolygon>().swap(geometry.polygons);
    BigVector<ExportPoint>().swap(geometry.points);
    std::vector<ExportPoint>().swap(geometry.stray_points);
    BigVector<ExportCorner>().swap(geometry.corners);
    BigVector<LWPolID>().swap(geometry.point_polygons);
    intmap_free(&geometry.polygon_map);
    intmap_free(&geometry.point_map);
}

// The one copy of a surface text, made when the text is first met and tied
// then to the surface record of that name; null when memory runs out.
const ExportSurfaceName* surface_name_of(ExportGeometry& geometry, const char* text) noexcept {
    const std::uint32_t hash = map_string_hash(text);
    void* found = nullptr;
    if (strmap_get(&geometry.surface_name_map, text, &found, hash) == MAP_OK)
        return static_cast<const ExportSurfaceName*>(found);
    try {
        auto name = std::make_unique<ExportSurfaceName>();
        name->text.assign(text);
        name->surface = nullptr;
        if (strmap_get(&geometry.surface_map, text, &found, hash) == MAP_OK)
            name->surface = static_cast<const ExportSurface*>(found);
        ExportSurfaceName* kept = geometry.surface_names.emplace_back(std::move(name)).get();
        strmap_insert(&geometry.surface_name_map, kept->text.c_str(), kept, hash);
        return kept;
    } catch (...) {
        return nullptr;
    }
}

void record_point(ExportGeometry& geometry, ExportPoint& record, LWPntID id) noexcept {
    record.id = id;
    record.polygon_count = 0;
    intmap_insert(&geometry.point_map, host_id_key(id), &record);
    ++geometry.scan_index;
}

// Stores what both scans give of a polygon once type and size are set.
void record_polygon(ExportGeometry& geometry, ExportPolygon& record, LWPolID id) noexcept {
    record.id = id;
    record.valid = record.type == LWPOLTYPE_FACE && (record.size == 3 || record.size == 4) ? 1 : 0;
    record.included = 1;
    intmap_insert(&geometry.polygon_map, host_id_key(id), &record);
}

// ---- corners ----------------------------------------------------------------

// One array holds every valid polygon's corners and one every point's list,
// so a large mesh costs two allocations rather than millions.
ExportResult allocate_corners(ExportGeometry& geometry) noexcept {
    std::size_t total = 0;
    for (const ExportPolygon& polygon : geometry.polygons) {
        if (polygon.valid != 0) total += static_cast<std::size_t>(polygon.size);
    }
    try {
        geometry.corners.assign(total, ExportCorner{});
    } catch (...) {
        return EXPORT_NO_MEMORY;
    }
    ExportCorner* next = geometry.corners.data();
    for (ExportPolygon& polygon : geometry.polygons) {
        if (polygon.valid == 0) continue;
        polygon.corners = next;
        next += polygon.size;
    }
    return EXPORT_OK;
}

// With count_only, counts the corners whose point ID the scan did not record.
// Otherwise binds every corner to its point record, or to a stand-in of its
// own in stray_points (which must hold that many), and sets the face normal.
std::size_t bind_points(ExportGeometry& geometry, bool count_only) noexcept {
    std::size_t stray = 0;
    const bool layout = geometry.source.kind == MESH_SOURCE_LAYOUT;
    for (ExportPolygon& polygon : geometry.polygons) {
        if (polygon.valid == 0) continue;
        for (int c = 0; c < polygon.size; ++c) {
            ExportPoint* point = export_find_point(geometry, polygon.point_ids[c]);
            if (count_only) {
                if (point == nullptr) ++stray;
                continue;
            }
            if (point == nullptr) {
                point = &geometry.stray_points[stray++];
                point->id = polygon.point_ids[c];
            } else {
                ++point->polygon_count;
            }
            polygon.corners[c].point = point;
        }
        if (!count_only && layout) export_face_normal(polygon);
    }
    return stray;
}

ExportResult allocate_point_lists(ExportGeometry& geometry) noexcept {
    std::size_t total = 0;
    for (const ExportPoint& point : geometry.points) total += static_cast<std::size_t>(point.polygon_count);
    try {
        geometry.point_polygons.assign(total, nullptr);
    } catch (...) {
        return EXPORT_NO_MEMORY;
    }
    LWPolID* next = geometry.point_polygons.data();
    for (ExportPoint& point : geometry.points) {
        point.polygons = point.polygon_count > 0 ? next : nullptr;
        next += point.polygon_count;
    }
    return EXPORT_OK;
}

// Enters a polygon into a point's list once: the walk stops at the ID when it
// is already there, or stores it in the first empty entry.
void enter_polygon(ExportPoint& point, LWPolID id) noexcept {
    for (int i = 0; i < point.polygon_count; ++i) {
        if (point.polygons[i] == id) return;
        if (point.polygons[i] == nullptr) {
            point.polygons[i] = id;
            return;
        }
    }
}

// ---- smoothing --------------------------------------------------------------

void float_copy(const double in[3], float out[3]) noexcept {
    for (int k = 0; k < 3; ++k) out[k] = static_cast<float>(in[k]);
}

// The surface whose angle smooths the polygon's corners; null when they keep
// the face normal.
const ExportSurface* smoothing_surface(const ExportPolygon* polygon) noexcept {
    if (polygon == nullptr || polygon->valid == 0 || polygon->corners == nullptr || polygon->surface == nullptr)
        return nullptr;
    const ExportSurface* surface = polygon->surface->surface;
    return surface != nullptr && surface->smoothing_angle > 0.0 ? surface : nullptr;
}

// One corner of `own` at a point whose valid polygons are `around` (null
// where the list is empty or the polygon unknown): the face normal, plus in
// list order the face normal of every other polygon within the angle,
// summed in double and normalised in float.
void smooth_corner(const ExportPolygon& own, const ExportPolygon* const* around, int count,
                   const SmoothingLimit& limit, ExportCorner& corner) noexcept {
    float own_normal[3];
    float_copy(own.normal, own_normal);
    double sum[3] = {own.normal[0], own.normal[1], own.normal[2]};
    for (int i = 0; i < count; ++i) {
        const ExportPolygon* other = around[i];
        if (other == nullptr || other->id == own.id || other->valid == 0) continue;
        float other_normal[3];
        float_copy(other->normal, other_normal);
        if (!within_smoothing_angle(vec3_dot(own_normal, other_normal), limit)) continue;
        for (int k = 0; k < 3; ++k) sum[k] += other->normal[k];
    }
    float unit[3] = {static_cast<float>(sum[0]), static_cast<float>(sum[1]), static_cast<float>(sum[2])};
    vec3_normalize(unit);
    for (int k = 0; k < 3; ++k) corner.normal[k] = unit[k];
    corner.smoothed = 1;
}

// Smooths every corner that lies on `point`, looking each polygon of the
// point's list up once instead of once per corner of the point. A corner's
// neighbours are exactly the polygons of its point.
void smooth_point(const ExportGeometry& geometry, const ExportPoint& point, std::vector<ExportPolygon*>& around,
                  SmoothingLimitCache& limits) {
    around.resize(static_cast<std::size_t>(point.polygon_count));
    bool any = false;
    for (int i = 0; i < point.polygon_count; ++i) {
        const LWPolID id = point.polygons[i];
        ExportPolygon* polygon = id != nullptr ? export_find_polygon(geometry, id) : nullptr;
        around[static_cast<std::size_t>(i)] = polygon;
        any = any || smoothing_surface(polygon) != nullptr;
    }
    if (!any) return;
    for (int i = 0; i < point.polygon_count; ++i) {
        ExportPolygon* polygon = around[static_cast<std::size_t>(i)];
        const ExportSurface* surface = smoothing_surface(polygon);
        if (surface == nullptr) continue;
        const SmoothingLimit& limit = limits.of(*surface);
        for (int c = 0; c < polygon->size; ++c) {
            if (polygon->corners[c].point != &point) continue;
            smooth_corner(*polygon, around.data(), point.polygon_count, limit, polygon->corners[c]);
        }
    }
}

// ---- texture coordinates ----------------------------------------------------

// The polygon's UVs in the selected map, corner by corner. Corners before a
// missing one keep what they got.
void read_polygon_uvs(const MeshSource& source, ExportPolygon& polygon) noexcept {
    polygon.has_uv = 1;
    for (int c = 0; c < polygon.size; ++c) {
        float uv[2];
        if (!mesh_source_uv(source, polygon.point_ids[c], polygon.id, uv)) {
            polygon.has_uv = 0;
            return;
        }
        polygon.corners[c].u = uv[0];
        polygon.corners[c].v = uv[1];
    }
}

// ---- surfaces ---------------------------------------------------------------

// The surfaces to record: the object's own (byObject), or every surface of
// the host. Copied, because the host's list lives only until its next
// byName/byObject call. Throws std::bad_alloc.
std::vector<LWSurfaceID> surfaces_to_record(const LWSurfaceFuncs& surface_funcs, const char* object_name) {
    std::vector<LWSurfaceID> list;
    if (object_name == nullptr) {
        for (LWSurfaceID surface = surface_funcs.first(); surface != nullptr; surface = surface_funcs.next(surface))
            list.push_back(surface);
        return list;
    }
    LWSurfaceID* answer = surface_funcs.byObject(object_name);
    for (std::size_t i = 0; answer != nullptr && answer[i] != nullptr; ++i) list.push_back(answer[i]);
    return list;
}

}  // namespace

ExportResult export_collect_surfaces(ExportGeometry& geometry, GlobalFunc* global, const char* object_name) noexcept {
    // A map that could not be sized grows from nothing as records enter it.
    static_cast<void>(strmap_init(&geometry.surface_map, 16));
    auto* surface_funcs = get_service<LWSurfaceFuncs>(global, LWSURFACEFUNCS_GLOBAL);
    if (surface_funcs == nullptr) return EXPORT_NO_SERVICE;
    try {
        const std::vector<LWSurfaceID> list = surfaces_to_record(*surface_funcs, object_name);
        geometry.surfaces.assign(list.size(), ExportSurface{});
        for (std::size_t i = 0; i < list.size(); ++i)
            static_cast<void>(
                read_export_surface(global, surface_funcs, list[i], geometry.surfaces[i], geometry.surface_map));
    } catch (...) {
        std::vector<ExportSurface>().swap(geometry.surfaces);
        strmap_free(&geometry.surface_map);  // its keys were the records' names
        return EXPORT_NO_MEMORY;
    }
    return EXPORT_OK;
}

ExportResult export_geometry_allocate(ExportGeometry& geometry, const LWObjectFuncs& objects) noexcept {
    geometry.point_count = clamp_count(geometry.point_count);
    geometry.polygon_count = clamp_count(geometry.polygon_count);
    try {
        geometry.polygons.assign(static_cast<std::size_t>(geometry.polygon_count), ExportPolygon{});
        geometry.points.assign(static_cast<std::size_t>(geometry.point_count), ExportPoint{});
    } catch (...) {
        release_records(geometry);
        return EXPORT_NO_MEMORY;
    }
    if (intmap_init(&geometry.polygon_map, geometry.polygon_count) != MAP_OK ||
        intmap_init(&geometry.point_map, geometry.point_count) != MAP_OK) {
        release_records(geometry);
        return EXPORT_NO_MEMORY;
    }
    // Few texts: a map that could not be sized grows as they enter it.
    static_cast<void>(strmap_init(&geometry.surface_name_map, 8));
    geometry.uv_map_count = clamp_count(objects.numVMaps(LWVMAP_TXUV));
    try {
        geometry.uv_map_names.assign(static_cast<std::size_t>(geometry.uv_map_count), std::string());
    } catch (...) {
        geometry.uv_map_count = 0;  // no UVs then, as without maps
    }
    return EXPORT_OK;
}

void export_scan(ExportGeometry& geometry) noexcept {
    const MeshSource& source = geometry.source;
    geometry.scan_index = 0;
    if (source.kind == MESH_SOURCE_MODELER) {
        MeshEditOp* edit = source.edit;
        if (edit == nullptr) return;
        edit->pointScan(edit->state, export_scan_modeler_point, &geometry, geometry.layers);
        geometry.scan_index = 0;
        edit->polyScan(edit->state, export_scan_modeler_polygon, &geometry, geometry.layers);
    } else {
        LWMeshInfo* mesh = source.mesh;
        if (mesh == nullptr) return;
        mesh->scanPoints(mesh, export_scan_layout_point, &geometry);
        geometry.scan_index = 0;
        mesh->scanPolys(mesh, export_scan_layout_polygon, &geometry);
    }
}

int export_scan_layout_point(void* data, LWPntID point) noexcept {
    ExportGeometry* geometry = geometry_of(data);
    if (geometry == nullptr || point == nullptr) return 1;
    ExportPoint* record = next_record(*geometry, geometry->points);
    if (record == nullptr) return 1;
    LWMeshInfo* mesh = geometry->source.mesh;
    float position[3] = {0.0f, 0.0f, 0.0f};
    mesh->pntBasePos(mesh, point, position);
    for (int k = 0; k < 3; ++k) record->position[k] = position[k];
    record_point(*geometry, *record, point);
    return 0;
}

int export_scan_layout_polygon(void* data, LWPolID polygon) noexcept {
    ExportGeometry* geometry = geometry_of(data);
    if (geometry == nullptr || polygon == nullptr) return 1;
    ExportPolygon* record = next_record(*geometry, geometry->polygons);
    if (record == nullptr) return 1;
    LWMeshInfo* mesh = geometry->source.mesh;
    record->size = mesh->polSize(mesh, polygon);
    record->type = mesh->polType(mesh, polygon);
    record_polygon(*geometry, *record, polygon);
    // A text that cannot be copied leaves the polygon without a surface: its
    // triangles are still written, flat and under "default".
    if (const char* surface = mesh->polTag(mesh, polygon, LWPTAG_SURF)) record->surface = surface_name_of(*geometry, surface);
    if (record->valid != 0) {
        for (int c = 0; c < record->size; ++c) record->point_ids[c] = mesh->polVertex(mesh, polygon, c);
    }
    ++geometry->scan_index;
    return 0;
}

EDError export_scan_modeler_point(void* data, const EDPointInfo* info) noexcept {
    ExportGeometry* geometry = geometry_of(data);
    if (geometry == nullptr || info == nullptr || info->pnt == nullptr) return 1;
    ExportPoint* record = next_record(*geometry, geometry->points);
    if (record == nullptr) return 1;
    for (int k = 0; k < 3; ++k) record->position[k] = info->position[k];
    record_point(*geometry, *record, info->pnt);
    return EDERR_NONE;
}

EDError export_scan_modeler_polygon(void* data, const EDPolygonInfo* info) noexcept {
    ExportGeometry* geometry = geometry_of(data);
    if (geometry == nullptr || info == nullptr || info->pol == nullptr) return 1;
    ExportPolygon* record = next_record(*geometry, geometry->polygons);
    if (record == nullptr) return 1;
    if (info->surface != nullptr) {
        record->surface = surface_name_of(*geometry, info->surface);
        if (record->surface == nullptr) return 1;  // out of memory: the records so far stay
    }
    record->layer = info->layer;
    record->type = info->type;
    record->size = info->numPnts;
    MeshEditOp* edit = geometry->source.edit;
    if (record->type == LWPOLTYPE_FACE && record->size > 2 && edit != nullptr)
        edit->polyNormal(edit->state, info->pol, record->normal);
    record_polygon(*geometry, *record, info->pol);
    if (info->points == nullptr) record->valid = 0;
    if (record->valid != 0) {
        for (int c = 0; c < record->size; ++c) record->point_ids[c] = info->points[c];
    }
    ++geometry->scan_index;
    return EDERR_NONE;
}

void export_face_normal(ExportPolygon& polygon) noexcept {
    if (polygon.corners == nullptr || polygon.size < 3 || polygon.size > EXPORT_MAX_CORNERS) return;
    const ExportPoint* first = polygon.corners[0].point;
    const ExportPoint* second = polygon.corners[1].point;
    const ExportPoint* last = polygon.corners[polygon.size - 1].point;
    if (first == nullptr || second == nullptr || last == nullptr) return;
    float edge1[3];
    float edge2[3];
    for (int k = 0; k < 3; ++k) {
        const float p0 = static_cast<float>(first->position[k]);
        edge1[k] = static_cast<float>(second->position[k]) - p0;
        edge2[k] = static_cast<float>(last->position[k]) - p0;
    }
    float normal[3];
    vec3_cross(edge1, edge2, normal);
    vec3_normalize(normal);
    for (int k = 0; k < 3; ++k) polygon.normal[k] = normal[k];
}

ExportResult export_bind_corners(ExportGeometry& geometry) noexcept {
    if (allocate_corners(geometry) != EXPORT_OK) {
        for (ExportPolygon& polygon : geometry.polygons) polygon.valid = 0;
        return EXPORT_NO_MEMORY;
    }
    try {
        geometry.stray_points.assign(bind_points(geometry, true), ExportPoint{});
    } catch (...) {
        for (ExportPolygon& polygon : geometry.polygons) polygon.valid = 0;
        return EXPORT_NO_MEMORY;
    }
    bind_points(geometry, false);

    if (allocate_point_lists(geometry) != EXPORT_OK) return EXPORT_NO_MEMORY;
    for (const ExportPolygon& polygon : geometry.polygons) {
        if (polygon.valid == 0) continue;
        for (int c = 0; c < polygon.size; ++c) {
            // Stand-ins keep no list: they lie on this polygon only.
            ExportPoint* point = polygon.corners[c].point;
            if (point->polygons != nullptr) enter_polygon(*point, polygon.id);
        }
    }
    return EXPORT_OK;
}

void export_smooth_normals(ExportGeometry& geometry) noexcept {
    std::vector<ExportPolygon*> around;
    SmoothingLimitCache limits;
    try {
        around.reserve(64);
        for (const ExportPoint& point : geometry.points) {
            if (point.polygon_count > 0 && point.polygons != nullptr) smooth_point(geometry, point, around, limits);
        }
    } catch (...) {
        // Out of memory for the look-up list: the corners not reached keep
        // their face normals.
    }
}

void export_assign_uvs(ExportGeometry& geometry, const LWObjectFuncs& objects) noexcept {
    // The polygons a later map may still cover, fewer after every map: with
    // a map per material each polygon is visited only until its map comes,
    // instead of every record once per map. Without memory for the list
    // every record is visited per map, with the same result.
    BigVector<std::uint32_t> pending;
    bool listed = false;
    try {
        pending.resize(geometry.polygons.size());
        for (std::size_t i = 0; i < pending.size(); ++i) pending[i] = static_cast<std::uint32_t>(i);
        listed = true;
    } catch (...) {
    }
    const int map_count = std::min(geometry.uv_map_count, static_cast<int>(geometry.uv_map_names.size()));
    for (int m = 0; m < map_count; ++m) {
        if (listed && pending.empty()) break;  // every polygon has its map
        const char* kept = nullptr;
        const char* name = copy_uv_map_name(objects, m, geometry.uv_map_names[static_cast<std::size_t>(m)], kept);
        // A map the object does not have gives no values: every polygon it
        // would visit ends with has_uv 0 at its first corner and no change.
        if (!mesh_source_select_uv_map(geometry.source, name)) continue;
        const std::size_t visits = listed ? pending.size() : geometry.polygons.size();
        std::size_t still = 0;
        for (std::size_t v = 0; v < visits; ++v) {
            const std::uint32_t index = listed ? pending[v] : static_cast<std::uint32_t>(v);
            ExportPolygon& polygon = geometry.polygons[index];
            if (polygon.valid == 0 || polygon.corners == nullptr || polygon.has_uv == 1) continue;
            read_polygon_uvs(geometry.source, polygon);
            if (polygon.has_uv == 1) {
                polygon.uv_map = kept;
            } else if (listed) {
                pending[still++] = index;
            }
        }
        if (listed) pending.resize(still);
    }
}

ExportCounts export_count_polygons(const ExportGeometry& geometry, int verify_uv) noexcept {
    ExportCounts counts{};
    for (const ExportPolygon& polygon : geometry.polygons) {
        if (polygon.included != 1) continue;  // also a record the scan never filled
        count_export_polygon(counts, polygon.type, polygon.size, polygon.has_uv, verify_uv);
    }
    return counts;
}

void export_geometry_release(ExportGeometry& geometry) noexcept {
    release_records(geometry);
    std::vector<std::string>().swap(geometry.uv_map_names);
    std::vector<ExportSurface>().swap(geometry.surfaces);
    std::vector<std::unique_ptr<ExportSurfaceName>>().swap(geometry.surface_names);
    strmap_free(&geometry.surface_map);
    strmap_free(&geometry.surface_name_map);
    geometry.point_count = 0;
    geometry.polygon_count = 0;
    geometry.uv_map_count = 0;
    geometry.scan_index = 0;
}

ExportPolygon* export_find_polygon(const ExportGeometry& geometry, LWPolID id) noexcept {
    void* found = nullptr;
    if (intmap_get(&geometry.polygon_map, host_id_key(id), &found) != MAP_OK) return nullptr;
    return static_cast<ExportPolygon*>(found);
}

ExportPoint* export_find_point(const ExportGeometry& geometry, LWPntID id) noexcept {
    void* found = nullptr;
    if (intmap_get(&geometry.point_map, host_id_key(id), &found) != MAP_OK) return nullptr;
    return static_cast<ExportPoint*>(found);
}

std::size_t export_point_index(const ExportGeometry& geometry, const ExportPoint* point) noexcept {
    const auto at = reinterpret_cast<std::uintptr_t>(point);
    const auto in = [at](const auto& records) {
        const auto first = reinterpret_cast<std::uintptr_t>(records.data());
        return at >= first && at < first + records.size() * sizeof(ExportPoint);
    };
    if (in(geometry.points)) return static_cast<std::size_t>(point - geometry.points.data());
    if (in(geometry.stray_points))
        return geometry.points.size() + static_cast<std::size_t>(point - geometry.stray_points.data());
    return SIZE_MAX;
}

const char* export_polygon_material(int group_by, const ExportPolygon& polygon) noexcept {
    if (polygon.surface == nullptr) return export_material_name(group_by, DEFAULT_MATERIAL, nullptr, polygon.uv_map);
    return export_material_name(group_by, polygon.surface->text.c_str(), polygon.surface->surface, polygon.uv_map);
}
