// "LW Object Info 4" and the mesh info (LWMeshInfo) it hands out, also used
// by "Scene Objects 4" `layerMesh`.
//
// A mesh info is a heap record over one layer of one object file; it holds
// indices, not pointers, and resolves them on every call, so it never reads
// freed scene memory. Every point, polygon and vertex map handle a plug-in
// passes in is decoded and checked against that layer before use. The host
// does not subdivide or build metaballs, so frozen and live mesh infos show
// the same base mesh.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "host.h"
#include "lwrender.h"
#include "motion.h"
#include "services/services.h"

namespace lwhost {
namespace services {

namespace {

struct MeshInfoRecord {
    LWMeshInfo record;  // first member: the LWMeshInfoID a plug-in holds is this record
    Host* host = nullptr;
    int mesh = -1;
    int layer = -1;
    ItemId object = 0;        // 0: a layer of "Scene Objects 4" (no item, no transform)
    int selected_vmap = -1;   // index into the layer's vmaps, from pntVSelect
    WorldTransformCache world;  // the item transform for pntOtherPos
};

// Every record a host handed out and that was not destroyed yet, so that a
// stale or foreign pointer given to destroy is refused instead of freed.
// Records a plug-in never gave back go with their host.
using LiveRecords = std::unordered_map<const MeshInfoRecord*, std::unique_ptr<MeshInfoRecord>>;

LiveRecords* live_records(Host* host) noexcept {
    if (!host) return nullptr;
    try {
        return &host->service_state<LiveRecords>("mesh infos");
    } catch (...) {
        return nullptr;
    }
}

MeshInfoRecord* record_of(LWMeshInfoID info) { return reinterpret_cast<MeshInfoRecord*>(info); }

// The layer a record shows, or null when its host is gone or the layer no
// longer exists.
const Layer* layer_of(const MeshInfoRecord* rec) {
    if (!rec || rec->host != Host::current()) return nullptr;
    const Scene& scene = rec->host->scene;
    if (rec->mesh < 0 || std::size_t(rec->mesh) >= scene.meshes.size()) return nullptr;
    const MeshObject& mesh = *scene.meshes[std::size_t(rec->mesh)];
    if (rec->layer < 0 || std::size_t(rec->layer) >= mesh.layers.size()) return nullptr;
    return &mesh.layers[std::size_t(rec->layer)];
}

const MeshObject* mesh_of(const MeshInfoRecord* rec) {
    return layer_of(rec) ? rec->host->scene.meshes[std::size_t(rec->mesh)].get() : nullptr;
}

const Point* point_of(const MeshInfoRecord* rec, const Layer& layer, LWPntID id, std::uint32_t* out_index) {
    ElementRef ref;
    if (!decode_point(reinterpret_cast<std::uintptr_t>(id), ref)) return nullptr;
    if (ref.mesh != rec->mesh || ref.layer != rec->layer || ref.index >= layer.points.size()) return nullptr;
    const Point& point = layer.points[ref.index];
    if (point.deleted) return nullptr;
    if (out_index) *out_index = ref.index;
    return &point;
}

const Polygon* polygon_of(const MeshInfoRecord* rec, const Layer& layer, LWPolID id,
                          std::uint32_t* out_index) {
    ElementRef ref;
    if (!decode_polygon(reinterpret_cast<std::uintptr_t>(id), ref)) return nullptr;
    if (ref.mesh != rec->mesh || ref.layer != rec->layer || ref.index >= layer.polygons.size()) return nullptr;
    const Polygon& polygon = layer.polygons[ref.index];
    if (polygon.deleted || std::size_t(polygon.first_vertex) + polygon.vertex_count > layer.vertex_pool.size())
        return nullptr;
    if (out_index) *out_index = ref.index;
    return &polygon;
}

// Vertex map handles: tag bit 62, the mesh in bits 40-61, the layer in bits
// 24-39, the map's index + 1 in bits 0-23. A handle from another layer is
// refused rather than read as a map of this one.
constexpr std::uintptr_t kVMapTag = std::uintptr_t(1) << 62;

void* vmap_handle(int mesh, int layer, std::size_t index) {
    return reinterpret_cast<void*>(kVMapTag | (std::uintptr_t(mesh + 1) << 40) |
                                   (std::uintptr_t(layer & 0xFFFF) << 24) | std::uintptr_t(index + 1));
}

// The index of the map a handle names in this layer, or -1.
int vmap_index(const MeshInfoRecord* rec, const Layer& layer, void* handle) {
    std::uintptr_t bits = reinterpret_cast<std::uintptr_t>(handle);
    if ((bits & (std::uintptr_t(3) << 62)) != kVMapTag) return -1;
    std::uintptr_t index = bits & 0xFFFFFF;
    if (int((bits >> 40) & 0x3FFFFF) != rec->mesh + 1 || int((bits >> 24) & 0xFFFF) != (rec->layer & 0xFFFF))
        return -1;
    if (index == 0 || index > layer.vmaps.size()) return -1;
    return int(index - 1);
}

const VertexMap* vmap_of(const MeshInfoRecord* rec, const Layer& layer, void* handle) {
    int index = vmap_index(rec, layer, handle);
    return index < 0 ? nullptr : &layer.vmaps[std::size_t(index)];
}

const VertexMap* selected_vmap(const MeshInfoRecord* rec, const Layer& layer) {
    if (rec->selected_vmap < 0 || std::size_t(rec->selected_vmap) >= layer.vmaps.size()) return nullptr;
    return &layer.vmaps[std::size_t(rec->selected_vmap)];
}

// --- LWMeshInfo members ------------------------------------------------------

void mi_destroy(LWMeshInfoID info) noexcept {
    Host* host = Host::current();
    LiveRecords* live = live_records(host);
    auto found = live ? live->find(record_of(info)) : LiveRecords::iterator();
    if (!live || found == live->end()) {
        if (host) {
            try {
                host->note("LWMeshInfo destroy: not a live mesh info");
            } catch (...) {
            }
        }
        return;
    }
    live->erase(found);
}

int mi_num_points(LWMeshInfoID info) noexcept {
    const Layer* layer = layer_of(record_of(info));
    return layer ? int(layer->live_point_count()) : 0;
}

int mi_num_polygons(LWMeshInfoID info) noexcept {
    const Layer* layer = layer_of(record_of(info));
    return layer ? int(layer->live_polygon_count()) : 0;
}

// The bound is re-read each step: a callback that changes the mesh must not
// make the scan read past it.
int mi_scan_points(LWMeshInfoID info, LWPntScanFunc* func, void* data) noexcept {
    MeshInfoRecord* rec = record_of(info);
    if (!func) return 0;
    for (std::uint32_t i = 0;; ++i) {
        const Layer* layer = layer_of(rec);
        if (!layer || i >= layer->points.size()) return 0;
        if (layer->points[i].deleted) continue;
        int result = func(data, reinterpret_cast<LWPntID>(point_handle(rec->mesh, rec->layer, i)));
        if (result != 0) return result;
    }
}

int mi_scan_polys(LWMeshInfoID info, LWPolScanFunc* func, void* data) noexcept {
    MeshInfoRecord* rec = record_of(info);
    if (!func) return 0;
    for (std::uint32_t i = 0;; ++i) {
        const Layer* layer = layer_of(rec);
        if (!layer || i >= layer->polygons.size()) return 0;
        if (layer->polygons[i].deleted) continue;
        int result = func(data, reinterpret_cast<LWPolID>(polygon_handle(rec->mesh, rec->layer, i)));
        if (result != 0) return result;
    }
}

void mi_pnt_base_pos(LWMeshInfoID info, LWPntID id, LWFVector pos) noexcept {
    if (!pos) return;
    pos[0] = pos[1] = pos[2] = 0.0f;
    const MeshInfoRecord* rec = record_of(info);
    const Layer* layer = layer_of(rec);
    const Point* point = layer ? point_of(rec, *layer, id, nullptr) : nullptr;
    if (!point) return;
    for (int k = 0; k < 3; ++k) pos[k] = float(point->position[k]);
}

// World position at the scene's current time through the object's item
// transform (no bone deformation: the host does not skin meshes).
void mi_pnt_other_pos(LWMeshInfoID info, LWPntID id, LWFVector pos) noexcept {
    if (!pos) return;
    pos[0] = pos[1] = pos[2] = 0.0f;
    MeshInfoRecord* rec = record_of(info);
    const Layer* layer = layer_of(rec);
    const Point* point = layer ? point_of(rec, *layer, id, nullptr) : nullptr;
    if (!point) return;
    double world[3] = {point->position[0], point->position[1], point->position[2]};
    if (rec->object != 0) {
        const Scene& scene = rec->host->scene;
        rec->world.at(scene, rec->object, scene.settings.time).apply(point->position, world);
    }
    for (int k = 0; k < 3; ++k) pos[k] = float(world[k]);
}

void* mi_pnt_v_lookup(LWMeshInfoID info, LWID type, const char* name) noexcept {
    const MeshInfoRecord* rec = record_of(info);
    const Layer* layer = layer_of(rec);
    if (!layer || !name) return nullptr;
    std::size_t index = layer->vmaps.index_of(type, name);
    return index == VertexMapList::npos ? nullptr : vmap_handle(rec->mesh, rec->layer, index);
}

int mi_pnt_v_select(LWMeshInfoID info, void* handle) noexcept {
    MeshInfoRecord* rec = record_of(info);
    const Layer* layer = layer_of(rec);
    if (!layer) return 0;
    rec->selected_vmap = vmap_index(rec, *layer, handle);
    return rec->selected_vmap < 0 ? 0 : layer->vmaps[std::size_t(rec->selected_vmap)].dimension;
}

int copy_value(const float* value, int dimension, float* out) {
    if (!value) return 0;
    if (out) std::copy(value, value + dimension, out);
    return 1;
}

int point_value(const MeshInfoRecord* rec, const Layer& layer, const VertexMap* map, LWPntID id, float* out) {
    std::uint32_t index;
    if (!map || !point_of(rec, layer, id, &index)) return 0;
    return copy_value(map->get(index), map->dimension, out);
}

int polygon_value(const MeshInfoRecord* rec, const Layer& layer, const VertexMap* map, LWPntID point,
                  LWPolID polygon, float* out) {
    // Most maps hold no per-polygon values: an exporter that asks every
    // corner of every polygon in each map then needs no ID decoded.
    if (!map || map->polygon_value_count() == 0) return 0;
    std::uint32_t point_index, polygon_index;
    if (!point_of(rec, layer, point, &point_index) || !polygon_of(rec, layer, polygon, &polygon_index)) return 0;
    return copy_value(map->get_for_polygon(polygon_index, point_index), map->dimension, out);
}

int mi_pnt_v_get(LWMeshInfoID info, LWPntID id, float* out) noexcept {
    const MeshInfoRecord* rec = record_of(info);
    const Layer* layer = layer_of(rec);
    return layer ? point_value(rec, *layer, selected_vmap(rec, *layer), id, out) : 0;
}

int mi_pnt_vp_get(LWMeshInfoID info, LWPntID point, LWPolID polygon, float* out) noexcept {
    const MeshInfoRecord* rec = record_of(info);
    const Layer* layer = layer_of(rec);
    return layer ? polygon_value(rec, *layer, selected_vmap(rec, *layer), point, polygon, out) : 0;
}

int mi_pnt_vid_get(LWMeshInfoID info, LWPntID id, float* out, void* handle) noexcept {
    const MeshInfoRecord* rec = record_of(info);
    const Layer* layer = layer_of(rec);
    return layer ? point_value(rec, *layer, vmap_of(rec, *layer, handle), id, out) : 0;
}

int mi_pnt_vpid_get(LWMeshInfoID info, LWPntID point, LWPolID polygon, float* out, void* handle) noexcept {
    const MeshInfoRecord* rec = record_of(info);
    const Layer* layer = layer_of(rec);
    return layer ? polygon_value(rec, *layer, vmap_of(rec, *layer, handle), point, polygon, out) : 0;
}

LWID mi_pol_type(LWMeshInfoID info, LWPolID id) noexcept {
    const MeshInfoRecord* rec = record_of(info);
    const Layer* layer = layer_of(rec);
    const Polygon* polygon = layer ? polygon_of(rec, *layer, id, nullptr) : nullptr;
    return polygon ? polygon->type : 0;
}

int mi_pol_size(LWMeshInfoID info, LWPolID id) noexcept {
    const MeshInfoRecord* rec = record_of(info);
    const Layer* layer = layer_of(rec);
    const Polygon* polygon = layer ? polygon_of(rec, *layer, id, nullptr) : nullptr;
    return polygon ? int(polygon->vertex_count) : 0;
}

LWPntID mi_pol_vertex(LWMeshInfoID info, LWPolID id, int index) noexcept {
    const MeshInfoRecord* rec = record_of(info);
    const Layer* layer = layer_of(rec);
    const Polygon* polygon = layer ? polygon_of(rec, *layer, id, nullptr) : nullptr;
    if (!polygon || index < 0 || std::uint32_t(index) >= polygon->vertex_count) return nullptr;
    std::uint32_t point = layer->vertices(*polygon)[index];
    if (point >= layer->points.size()) return nullptr;
    return reinterpret_cast<LWPntID>(point_handle(rec->mesh, rec->layer, point));
}

const char* mi_pol_tag(LWMeshInfoID info, LWPolID id, LWID tag_type) noexcept {
    const MeshInfoRecord* rec = record_of(info);
    const Layer* layer = layer_of(rec);
    const Polygon* polygon = layer ? polygon_of(rec, *layer, id, nullptr) : nullptr;
    if (!polygon) return nullptr;
    int tag = tag_type == LWPTAG_SURF ? polygon->surface_tag : tag_type == LWPTAG_PART ? polygon->part_tag : -1;
    const MeshObject* mesh = mesh_of(rec);
    if (tag < 0 || std::size_t(tag) >= mesh->tags.size()) return nullptr;
    return mesh->tags[std::size_t(tag)].c_str();
}

unsigned int mi_pol_flags(LWMeshInfoID info, LWPolID id) noexcept {
    const MeshInfoRecord* rec = record_of(info);
    const Layer* layer = layer_of(rec);
    const Polygon* polygon = layer ? polygon_of(rec, *layer, id, nullptr) : nullptr;
    return polygon ? polygon->flags : 0u;
}

// --- LWObjectInfo members ----------------------------------------------------

Scene* scene() {
    Host* host = Host::current();
    return host ? &host->scene : nullptr;
}

ItemId from_lw(LWItemID id) { return ItemId(reinterpret_cast<std::uintptr_t>(id) & 0xFFFFFFFFu); }

const char* oi_filename(LWItemID id) noexcept {
    Scene* s = scene();
    const MeshObject* mesh = s ? s->mesh_of(from_lw(id)) : nullptr;
    return mesh ? mesh->filename.c_str() : nullptr;
}

int oi_num_points(LWItemID id) noexcept {
    Scene* s = scene();
    const Layer* layer = s ? s->layer_of(from_lw(id)) : nullptr;
    return layer ? int(layer->live_point_count()) : 0;
}

int oi_num_polygons(LWItemID id) noexcept {
    Scene* s = scene();
    const Layer* layer = s ? s->layer_of(from_lw(id)) : nullptr;
    return layer ? int(layer->live_polygon_count()) : 0;
}

unsigned int oi_shadow_opts(LWItemID) noexcept { return 7; }  // self, cast, receive: Layout's default
double oi_zero_at(LWItemID, LWTime) noexcept { return 0.0; }

LWMeshInfoID oi_mesh_info(LWItemID id, int) noexcept {
    Host* host = Host::current();
    if (!host) return nullptr;
    ItemId object = from_lw(id);
    const Item* item = host->scene.item(object);
    if (!item || !host->scene.layer_of(object)) return nullptr;  // not an object, or a null
    return reinterpret_cast<LWMeshInfoID>(make_mesh_info(*host, item->mesh, item->layer, object));
}

unsigned int oi_flags(LWItemID) noexcept { return 0; }
LWTextureID oi_no_texture(LWItemID) noexcept { return nullptr; }

void oi_patch_level(LWItemID, int* display, int* render) noexcept {
    if (display) *display = 3;
    if (render) *render = 3;
}

void oi_metaball_res(LWItemID, double* display, double* render) noexcept {
    if (display) *display = 0.1;
    if (render) *render = 0.05;
}

LWItemID oi_no_item(LWItemID) noexcept { return nullptr; }
unsigned int oi_edge_opts(LWItemID) noexcept { return 0; }

void oi_edge_color(LWItemID, LWTime, LWDVector color) noexcept {
    if (color) color[0] = color[1] = color[2] = 0.0;
}

int oi_subdiv_order(LWItemID) noexcept { return 0; }
double oi_polygon_size(LWItemID, LWTime) noexcept { return 1.0; }
int oi_excluded(LWItemID, LWItemID) noexcept { return 0; }

LWObjectInfo g_object_info = {
    oi_filename,     oi_num_points,   oi_num_polygons, oi_shadow_opts, oi_zero_at,  oi_mesh_info,
    oi_flags,        oi_zero_at,      oi_no_texture,   oi_no_texture,  oi_patch_level,
    oi_metaball_res, oi_no_item,      oi_no_item,      oi_zero_at,     oi_edge_opts,
    oi_edge_color,   oi_subdiv_order, oi_polygon_size, oi_excluded,
};

}  // namespace

// Creates a mesh info over one layer; `object` 0 means no item transform
// (pntOtherPos gives the rest position). Null when memory runs out.
LWMeshInfo* make_mesh_info(Host& host, int mesh, int layer, ItemId object) noexcept {
    LiveRecords* live = live_records(&host);
    MeshInfoRecord* rec = nullptr;
    try {
        if (!live) return nullptr;
        auto owned = std::make_unique<MeshInfoRecord>();
        rec = owned.get();
        live->emplace(rec, std::move(owned));
    } catch (...) {
        return nullptr;
    }
    rec->host = &host;
    rec->mesh = mesh;
    rec->layer = layer;
    rec->object = object;
    LWMeshInfo& r = rec->record;
    r.priv = rec;
    r.destroy = mi_destroy;
    r.numPoints = mi_num_points;
    r.numPolygons = mi_num_polygons;
    r.scanPoints = mi_scan_points;
    r.scanPolys = mi_scan_polys;
    r.pntBasePos = mi_pnt_base_pos;
    r.pntOtherPos = mi_pnt_other_pos;
    r.pntVLookup = mi_pnt_v_lookup;
    r.pntVSelect = mi_pnt_v_select;
    r.pntVGet = mi_pnt_v_get;
    r.polType = mi_pol_type;
    r.polSize = mi_pol_size;
    r.polVertex = mi_pol_vertex;
    r.polTag = mi_pol_tag;
    r.pntVPGet = mi_pnt_vp_get;
    r.polFlags = mi_pol_flags;
    r.pntVIDGet = mi_pnt_vid_get;
    r.pntVPIDGet = mi_pnt_vpid_get;
    return &rec->record;
}

// Mesh infos the current host handed out and that were not destroyed yet
// (tests check plug-ins free them).
int live_mesh_info_count() noexcept {
    LiveRecords* live = live_records(Host::current());
    return live ? int(live->size()) : 0;
}

void* object_info(Host&) { return &g_object_info; }

}  // namespace services
}  // namespace lwhost
