// Geometry of the selected object: allocation of the state, the point and
// polygon scans, corner binding, face and smoothed normals, texture
// coordinates and the panel's counts.
#include <algorithm>
#include <cstddef>
#include <new>

#include "host_glue.h"
#include "ref_state.h"
#include "rotation.h"
#include "smoothing.h"

namespace {

// Room for one vertex map value; WGHT maps have one float, TXUV maps two.
constexpr int VALUE_CAPACITY = 4;

int clamp_count(int count) noexcept { return count > 0 ? count : 0; }

int count_bones(const RefExportState& state) noexcept {
    const LWItemInfo* items = state.item_info;
    if (items == nullptr || state.object == nullptr) return 0;
    int count = 0;
    for (LWItemID bone = items->first(LWI_BONE, state.object); bone != nullptr; bone = items->next(bone)) {
        ++count;
    }
    return count;
}

RefPoint* find_point(const RefExportState& state, LWPntID id) noexcept {
    void* found = nullptr;
    if (intmap_get(&state.point_map, host_id_key(id), &found) != MAP_OK) return nullptr;
    return static_cast<RefPoint*>(found);
}

RefPolygon* find_polygon(const RefExportState& state, LWPolID id) noexcept {
    void* found = nullptr;
    if (intmap_get(&state.polygon_map, host_id_key(id), &found) != MAP_OK) return nullptr;
    return static_cast<RefPolygon*>(found);
}

bool smooths(const RefPolygon* polygon) noexcept {
    return polygon != nullptr && polygon->valid != 0 && polygon->corners != nullptr && polygon->surface != nullptr &&
           polygon->surface->smoothing_angle > 0.0;
}

// The corner normal of `own` at a point whose polygons (resolved through
// polygon_map, null where an entry is empty or unknown) are `around`: its
// face normal plus, in list order, the face normal of every other polygon
// within the angle, summed in double and normalised in float.
void smooth_corner(const RefPolygon& own, RefPolygon* const* around, int count, const SmoothingLimit& limit,
                   float out_normal[3]) noexcept {
    double sum[3] = {own.normal[0], own.normal[1], own.normal[2]};
    for (int i = 0; i < count; ++i) {
        const RefPolygon* other = around[i];
        if (other == nullptr || other->id == own.id) continue;
        if (!within_smoothing_angle(vec3_dot(own.normal, other->normal), limit)) continue;
        for (int k = 0; k < 3; ++k) sum[k] += static_cast<double>(other->normal[k]);
    }
    float unit[3] = {static_cast<float>(sum[0]), static_cast<float>(sum[1]), static_cast<float>(sum[2])};
    vec3_normalize(unit);
    for (int k = 0; k < 3; ++k) out_normal[k] = unit[k];
}

// Smooths every corner that lies on `point`. Each polygon of the point's list
// is looked up once here rather than once per corner of the point.
void smooth_point(const RefExportState& state, const RefPoint& point, std::vector<RefPolygon*>& around,
                  SmoothingLimitCache& limits) {
    around.resize(static_cast<std::size_t>(point.polygon_count));
    bool any = false;
    for (int i = 0; i < point.polygon_count; ++i) {
        const LWPolID id = point.polygons[i];
        RefPolygon* polygon = id != nullptr ? find_polygon(state, id) : nullptr;
        around[static_cast<std::size_t>(i)] = polygon;
        any = any || smooths(polygon);
    }
    if (!any) return;
    for (int i = 0; i < point.polygon_count; ++i) {
        RefPolygon* polygon = around[static_cast<std::size_t>(i)];
        if (!smooths(polygon)) continue;
        const SmoothingLimit& limit = limits.of(*polygon->surface);
        for (int c = 0; c < polygon->size; ++c) {
            if (polygon->point_ids[c] != point.id) continue;
            smooth_corner(*polygon, around.data(), point.polygon_count, limit, polygon->corners[c].normal);
        }
    }
}

// Enters a polygon into a point's list once: the walk stops at the id when it
// is already there, or stores it in the first empty entry.
void enter_polygon(RefPoint& point, LWPolID id) noexcept {
    for (int i = 0; i < point.polygon_count; ++i) {
        if (point.polygons[i] == id) return;
        if (point.polygons[i] == nullptr) {
            point.polygons[i] = id;
            return;
        }
    }
}

// One array holds every valid polygon's corners and one every point's list,
// so a large mesh costs two allocations rather than millions.
ExportResult allocate_corners(RefExportState& state) noexcept {
    std::size_t total = 0;
    for (const RefPolygon& polygon : state.polygons) {
        if (polygon.valid != 0) total += static_cast<std::size_t>(polygon.size);
    }
    try {
        state.corners.assign(total, RefCorner{});
    } catch (...) {
        return EXPORT_NO_MEMORY;
    }
    RefCorner* next = state.corners.data();
    for (RefPolygon& polygon : state.polygons) {
        if (polygon.valid == 0) continue;
        polygon.corners = next;
        next += polygon.size;
    }
    return EXPORT_OK;
}

// With count_only, counts the corners whose point ID the scan did not record.
// Otherwise binds every corner to its point record, or to a stand-in of its
// own in stray_points (which must hold that many): such a corner has no
// position and no neighbours, but still the weights the host gives its point.
std::size_t bind_points(RefExportState& state, bool count_only) noexcept {
    std::size_t stray = 0;
    for (RefPolygon& polygon : state.polygons) {
        if (polygon.valid == 0) continue;
        for (int c = 0; c < polygon.size; ++c) {
            RefPoint* point = find_point(state, polygon.point_ids[c]);
            if (count_only) {
                if (point == nullptr) ++stray;
                continue;
            }
            if (point == nullptr) {
                point = &state.stray_points[stray++];
                point->id = polygon.point_ids[c];
            } else {
                ++point->polygon_count;
            }
            polygon.corners[c].point = point;
        }
        if (!count_only) ref_face_normal(polygon);
    }
    return stray;
}

ExportResult allocate_point_lists(RefExportState& state) noexcept {
    std::size_t total = 0;
    for (const RefPoint& point : state.points) total += static_cast<std::size_t>(point.polygon_count);
    try {
        state.point_polygons.assign(total, nullptr);
    } catch (...) {
        return EXPORT_NO_MEMORY;
    }
    LWPolID* next = state.point_polygons.data();
    for (RefPoint& point : state.points) {
        point.polygons = point.polygon_count > 0 ? next : nullptr;
        next += point.polygon_count;
    }
    return EXPORT_OK;
}

// Texture coordinates of one polygon from the selected map: per-polygon
// values first, then per-point ones. Corners before a missing one keep the
// values they got, as in the host's own order of reading.
void read_polygon_uvs(const RefExportState& state, RefPolygon& polygon) noexcept {
    LWMeshInfo* mesh = state.mesh;
    polygon.has_uv = 1;
    for (int c = 0; c < polygon.size; ++c) {
        float uv[VALUE_CAPACITY] = {0.0f, 0.0f};
        if (mesh->pntVPGet(mesh, polygon.point_ids[c], polygon.id, uv) == 0 &&
            mesh->pntVGet(mesh, polygon.point_ids[c], uv) == 0) {
            polygon.has_uv = 0;
            return;
        }
        polygon.corners[c].u = uv[0];
        polygon.corners[c].v = uv[1];
    }
}

}  // namespace

ExportResult ref_allocate(RefExportState& state) noexcept {
    if (state.mesh == nullptr) return EXPORT_NO_SERVICE;
    auto* objects = get_service<LWObjectFuncs>(state.global, LWOBJECTFUNCS_GLOBAL);
    if (objects == nullptr) return EXPORT_NO_SERVICE;

    state.point_count = clamp_count(state.point_count);
    state.polygon_count = clamp_count(state.polygon_count);
    try {
        state.polygons.assign(static_cast<std::size_t>(state.polygon_count), RefPolygon{});
        state.points.assign(static_cast<std::size_t>(state.point_count), RefPoint{});
    } catch (...) {
        return EXPORT_NO_MEMORY;
    }

    if (strmap_init(&state.surface_map, 128) != MAP_OK) return EXPORT_NO_MEMORY;
    if (strmap_init(&state.tag_name_map, 8) != MAP_OK) return EXPORT_NO_MEMORY;
    if (ref_collect_surfaces(state) == EXPORT_NO_MEMORY) return EXPORT_NO_MEMORY;

    if (intmap_init(&state.point_map, state.point_count) != MAP_OK) return EXPORT_NO_MEMORY;
    if (intmap_init(&state.polygon_map, state.polygon_count) != MAP_OK) return EXPORT_NO_MEMORY;

    state.uv_map_count = clamp_count(objects->numVMaps(LWVMAP_TXUV));
    const int weight_map_count = clamp_count(objects->numVMaps(LWVMAP_WGHT));
    state.bone_count = count_bones(state);
    try {
        state.uv_map_names.assign(static_cast<std::size_t>(state.uv_map_count), std::string());
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
    ExportResult rc = EXPORT_OK;
    ref_collect_weight_maps(state);
    state.scan_index = 0;
    state.mesh->scanPoints(state.mesh, ref_scan_point, &state);
    state.scan_index = 0;
    state.mesh->scanPolys(state.mesh, ref_scan_polygon, &state);
    if (ref_bind_corners(state) != EXPORT_OK) rc = EXPORT_NO_MEMORY;
    ref_smooth_normals(state);
    // Without "LW Bone Info 3" the mesh is written with the root node only.
    static_cast<void>(ref_collect_bones(state));
    ref_assign_uvs(state);
    if (ref_assign_weights(state) != EXPORT_OK) rc = EXPORT_NO_MEMORY;
    ref_count_polygons(state);
    return rc;
}

int ref_scan_point(void* data, LWPntID point) noexcept {
    auto* state = static_cast<RefExportState*>(data);
    if (state == nullptr || point == nullptr) return 1;
    if (state->scan_index < 0 || static_cast<std::size_t>(state->scan_index) >= state->points.size()) return 1;
    RefPoint& record = state->points[static_cast<std::size_t>(state->scan_index)];
    record.id = point;
    record.polygon_count = 0;
    state->mesh->pntBasePos(state->mesh, point, record.position);
    intmap_insert(&state->point_map, host_id_key(point), &record);
    ++state->scan_index;
    return 0;
}

int ref_scan_polygon(void* data, LWPolID polygon) noexcept {
    auto* state = static_cast<RefExportState*>(data);
    if (state == nullptr || polygon == nullptr) return 1;
    if (state->scan_index < 0 || static_cast<std::size_t>(state->scan_index) >= state->polygons.size()) return 1;
    LWMeshInfo* mesh = state->mesh;
    RefPolygon& record = state->polygons[static_cast<std::size_t>(state->scan_index)];
    record.size = mesh->polSize(mesh, polygon);
    record.type = mesh->polType(mesh, polygon);
    record.id = polygon;
    intmap_insert(&state->polygon_map, host_id_key(polygon), &record);

    if (const char* surface_name = mesh->polTag(mesh, polygon, LWPTAG_SURF)) {
        const std::uint32_t hash = map_string_hash(surface_name);
        void* found = nullptr;
        if (strmap_get(&state->surface_map, surface_name, &found, hash) == MAP_OK) {
            record.surface = static_cast<ExportSurface*>(found);
        } else if (strmap_get(&state->tag_name_map, surface_name, &found, hash) == MAP_OK) {
            record.tag_name = static_cast<const std::string*>(found)->c_str();
        } else {
            // A tag no surface record answers (for instance when the surface
            // service is missing): kept so the triangles still group by it.
            try {
                std::string& copy = *state->tag_names.emplace_back(std::make_unique<std::string>(surface_name));
                strmap_insert(&state->tag_name_map, copy.c_str(), &copy, hash);
                record.tag_name = copy.c_str();
            } catch (...) {
                record.tag_name = nullptr;
            }
        }
    }

    record.valid = record.type == LWPOLTYPE_FACE && (record.size == 3 || record.size == 4) ? 1 : 0;
    if (record.valid != 0) {
        for (int c = 0; c < record.size; ++c) record.point_ids[c] = mesh->polVertex(mesh, polygon, c);
    }
    ++state->scan_index;
    return 0;
}

void ref_face_normal(RefPolygon& polygon) noexcept {
    if (polygon.corners == nullptr || polygon.size < 3 || polygon.size > REF_MAX_CORNERS) return;
    if (polygon.corners[0].point == nullptr || polygon.corners[1].point == nullptr ||
        polygon.corners[polygon.size - 1].point == nullptr)
        return;
    const float* p0 = polygon.corners[0].point->position;
    const float* p1 = polygon.corners[1].point->position;
    const float* pn = polygon.corners[polygon.size - 1].point->position;
    float edge1[3];
    float edge2[3];
    for (int k = 0; k < 3; ++k) {
        edge1[k] = p1[k] - p0[k];
        edge2[k] = pn[k] - p0[k];
    }
    vec3_cross(edge1, edge2, polygon.normal);
    vec3_normalize(polygon.normal);
    for (int c = 0; c < polygon.size; ++c) {
        for (int k = 0; k < 3; ++k) polygon.corners[c].normal[k] = polygon.normal[k];
    }
}

ExportResult ref_bind_corners(RefExportState& state) noexcept {
    if (allocate_corners(state) != EXPORT_OK) {
        for (RefPolygon& polygon : state.polygons) polygon.valid = 0;
        return EXPORT_NO_MEMORY;
    }
    try {
        state.stray_points.assign(bind_points(state, true), RefPoint{});
    } catch (...) {
        for (RefPolygon& polygon : state.polygons) polygon.valid = 0;
        return EXPORT_NO_MEMORY;
    }
    bind_points(state, false);

    if (allocate_point_lists(state) != EXPORT_OK) return EXPORT_NO_MEMORY;
    for (const RefPolygon& polygon : state.polygons) {
        if (polygon.valid == 0) continue;
        for (int c = 0; c < polygon.size; ++c) {
            if (RefPoint* point = find_point(state, polygon.point_ids[c])) enter_polygon(*point, polygon.id);
        }
    }
    return EXPORT_OK;
}

// Polygons of surfaces with smoothing angle 0, and corners whose point was
// not recorded, keep the face normal. The work is done point by point: a
// corner's neighbours are exactly the polygons in its point's list.
void ref_smooth_normals(RefExportState& state) noexcept {
    std::vector<RefPolygon*> around;
    SmoothingLimitCache limits;
    try {
        around.reserve(64);
        for (const RefPoint& point : state.points) {
            if (point.polygon_count > 0 && point.polygons != nullptr) smooth_point(state, point, around, limits);
        }
    } catch (...) {
        // Out of memory for the look-up list: the corners not reached keep
        // their face normals.
    }
}

void ref_assign_uvs(RefExportState& state) noexcept {
    auto* objects = get_service<LWObjectFuncs>(state.global, LWOBJECTFUNCS_GLOBAL);
    if (objects == nullptr || state.mesh == nullptr) return;
    LWMeshInfo* mesh = state.mesh;
    const int map_count = std::min(state.uv_map_count, static_cast<int>(state.uv_map_names.size()));
    for (int m = 0; m < map_count; ++m) {
        const char* kept = nullptr;
        const char* name = copy_uv_map_name(*objects, m, state.uv_map_names[static_cast<std::size_t>(m)], kept);
        if (name == nullptr) continue;
        void* handle = mesh->pntVLookup(mesh, LWVMAP_TXUV, name);
        // A map the object does not have gives no values: every polygon it
        // would visit ends with has_uv 0 at its first corner and no change.
        if (handle == nullptr) continue;
        if (mesh->pntVSelect(mesh, handle) > VALUE_CAPACITY) continue;
        for (RefPolygon& polygon : state.polygons) {
            if (polygon.valid == 0 || polygon.corners == nullptr || polygon.has_uv == 1) continue;
            read_polygon_uvs(state, polygon);
            if (polygon.has_uv == 1) polygon.uv_map = kept;
        }
    }
}

void ref_count_polygons(RefExportState& state) noexcept {
    ExportCounts counts{};
    for (const RefPolygon& polygon : state.polygons) {
        if (polygon.id == nullptr) continue;  // a slot the scan never filled
        count_export_polygon(counts, polygon.type, polygon.size, polygon.has_uv, state.verify_uv);
    }
    state.counts = counts;
}

void ref_release(RefExportState& state) noexcept {
    std::vector<RefPolygon>().swap(state.polygons);
    std::vector<RefCorner>().swap(state.corners);
    std::vector<RefPoint>().swap(state.points);
    std::vector<RefPoint>().swap(state.stray_points);
    std::vector<LWPolID>().swap(state.point_polygons);
    std::vector<std::string>().swap(state.uv_map_names);
    std::vector<ExportSurface>().swap(state.surfaces);
    std::vector<std::unique_ptr<std::string>>().swap(state.tag_names);
    std::vector<RefWeightMap>().swap(state.weight_maps);
    std::vector<RefBone>().swap(state.bones);
    intmap_free(&state.polygon_map);
    intmap_free(&state.point_map);
    intmap_free(&state.bone_map);
    strmap_free(&state.surface_map);
    strmap_free(&state.tag_name_map);
    strmap_free(&state.weight_bone_map);
    state.object_file.clear();
    state.bone_count = 0;
    state.null_bone_count = 0;
    state.uv_map_count = 0;
    state.scan_index = 0;
    if (state.mesh != nullptr && state.mesh->destroy != nullptr) state.mesh->destroy(state.mesh);
    state.mesh = nullptr;
}
