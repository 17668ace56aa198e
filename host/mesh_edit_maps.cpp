// Mesh edit, the vertex maps: choosing a map (pointVSet), reading per-point
// and per-polygon values, writing them (pntVMap, pntVPMap, initUV), and the
// per-host table behind vertex map IDs.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "mesh_edit.h"
#include "mesh_edit_internal.h"
#include "scene.h"

namespace lwhost {

using mesh_edit_internal::EditState;
using mesh_edit_internal::live;

namespace {

// The top byte tells a vertex map ID from the other handles the host gives
// out (surfaces 0x81 to images 0x84, scene.cpp).
constexpr std::uintptr_t kVmapIdKind = std::uintptr_t(0x85) << 56;

// Per host, for its whole life: one ID per (type, name) asked for.
struct VmapIdTable {
    std::vector<std::unique_ptr<VmapName>> vmap_names;
    std::unordered_map<std::string, std::size_t> vmap_index;
};

VmapIdTable& vmap_table(Host& host) { return host.service_state<VmapIdTable>("vertex map IDs"); }

int default_dimension(std::uint32_t type) {
    switch (type) {
    case kTexUV: return 2;
    case fourcc('R', 'G', 'B', ' '): case fourcc('M', 'O', 'R', 'F'): case fourcc('S', 'P', 'O', 'T'): return 3;
    case fourcc('R', 'G', 'B', 'A'): return 4;
    default: return 1;
    }
}

// The map to write in the point's layer: found, or made when `create`.
// Null with `error` set when it cannot be used. Throws std::bad_alloc.
VertexMap* map_to_write(EditState& e, int layer, LWID type, const char* name, int dimension, bool create,
                        EDError& error) {
    error = EDERR_NONE;
    if (!name || dimension < 1 || dimension > kMaxVmapDimension) {
        error = EDERR_BADARGS;
        return nullptr;
    }
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(name);
    auto& last = e.data->recent_maps[((address >> 4) ^ (address >> 10)) % e.data->recent_maps.size()];
    if (last.map && last.text == name && last.layer == layer && last.type == type && last.stamp == e.data->stamp &&
        last.generation == VertexMapList::generation() && last.map->dimension == dimension && last.name == name)
        return last.map;
    // One lookup: the edit's copy of a layer lists its maps in the layer's
    // order, so the index found in the layer seen is good in the copy too.
    const std::string_view key(name);
    const VertexMapList& present = e.view(layer)->vmaps;
    const std::size_t at = present.index_of(type, key);
    if (at != VertexMapList::npos && present[at].dimension != dimension) {
        error = EDERR_BADVMAP;
        return nullptr;
    }
    if (at == VertexMapList::npos && !create) return nullptr;
    Layer* l = e.writable(layer);
    VertexMap* map;
    if (at != VertexMapList::npos) {
        map = &l->vmaps[at];
    } else {
        map = &l->vmaps.add(type, key, dimension);
        ++e.data->stamp;  // a map pointVSet chose may exist now
    }
    last.map = nullptr;  // stays off if the name cannot be copied
    last.name = key;
    last.text = name;
    last.layer = layer;
    last.type = type;
    last.stamp = e.data->stamp;
    last.generation = VertexMapList::generation();
    last.map = map;
    return map;
}

EDError pnt_vmap(EDStateRef ref, LWPntID id, LWID type, const char* name, int dimension, float* value) noexcept {
    EditState* e = live(ref);
    int layer;
    std::uint32_t index;
    if (!e || !e->point_ref(id, layer, index)) return EDERR_BADARGS;
    try {
        EDError error;
        VertexMap* map = map_to_write(*e, layer, type, name, dimension, value != nullptr, error);
        if (map) map->set(index, value);
        return error;
    } catch (...) {
        return EDERR_NOMEMORY;
    }
}

EDError pnt_vpmap(EDStateRef ref, LWPntID point, LWPolID polygon, LWID type, const char* name, int dimension,
                  float* value) noexcept {
    EditState* e = live(ref);
    int layer, polygon_layer;
    std::uint32_t index, polygon_index;
    if (!e || !e->point_ref(point, layer, index) || !e->polygon_ref(polygon, polygon_layer, polygon_index) ||
        layer != polygon_layer)
        return EDERR_BADARGS;
    const Layer& l = *e->view(layer);
    const Polygon& p = l.polygons[polygon_index];
    const std::uint32_t* vertices = l.vertices(p);
    if (std::find(vertices, vertices + p.vertex_count, index) == vertices + p.vertex_count) return EDERR_BADARGS;
    try {
        EDError error;
        VertexMap* map = map_to_write(*e, layer, type, name, dimension, value != nullptr, error);
        if (map) map->set_for_polygon(polygon_index, index, value);
        return error;
    } catch (...) {
        return EDERR_NOMEMORY;
    }
}

void* point_vset(EDStateRef ref, void* id, LWID type, const char* name) noexcept {
    EditState* e = live(ref);
    if (!e) return nullptr;
    auto& d = *e->data;
    try {
        d.map_chosen = false;
        ++d.stamp;
        if (id) {
            const VmapName* known = find_vmap_id(*e->host, id);
            if (!known) return nullptr;
            d.map_type = known->type;
            d.map_name = known->name;
        } else {
            if (!name) return nullptr;
            d.map_type = type;
            d.map_name = name;
        }
        d.map_chosen = true;
        d.map_dimension = std::min(default_dimension(d.map_type), kMaxVmapDimension);
        for (int layer = 0, n = e->layer_count(); layer < n; ++layer) {
            const Layer* l = e->view(layer);
            if (const VertexMap* map = l ? l->find_vmap(d.map_type, d.map_name) : nullptr) {
                d.map_dimension = std::min(map->dimension, kMaxVmapDimension);
                return vmap_id(*e->host, d.map_type, d.map_name);
            }
        }
        return nullptr;
    } catch (...) {
        d.map_chosen = false;
        return nullptr;
    }
}

int point_vget(EDStateRef ref, LWPntID id, float* value) noexcept {
    EditState* e = live(ref);
    int layer;
    std::uint32_t index;
    if (!e || !e->point_ref(id, layer, index)) return 0;
    const VertexMap* map = e->chosen_map(layer);
    return map ? e->copy_value(map, map->get(index), value) : 0;
}

int point_value(EDStateRef ref, LWPntID point, LWPolID polygon, float* value, bool fall_back) noexcept {
    EditState* e = live(ref);
    int layer, polygon_layer;
    std::uint32_t index, polygon_index;
    if (!e || !e->point_ref(point, layer, index)) return 0;
    const VertexMap* map = e->chosen_map(layer);
    if (!map) return 0;
    if (e->polygon_ref(polygon, polygon_layer, polygon_index) && polygon_layer == layer)
        if (e->copy_value(map, map->get_for_polygon(polygon_index, index), value)) return 1;
    return fall_back ? e->copy_value(map, map->get(index), value) : 0;
}

int point_vpget(EDStateRef ref, LWPntID point, LWPolID polygon, float* value) noexcept {
    return point_value(ref, point, polygon, value, false);
}
int point_veval(EDStateRef ref, LWPntID point, LWPolID polygon, float* value) noexcept {
    return point_value(ref, point, polygon, value, true);
}

EDError init_uv(EDStateRef ref, float* uv) noexcept {
    EditState* e = live(ref);
    if (!e || !uv || !e->data->map_chosen || e->data->last_layer < 0) return EDERR_BADARGS;
    int layer = e->data->last_layer;
    try {
        EDError error;
        auto& d = *e->data;
        VertexMap* map = map_to_write(*e, layer, d.map_type, d.map_name.c_str(), 2, true, error);
        if (!map) return error;
        const Layer& l = *e->view(layer);
        const Polygon& p = l.polygons[d.last_polygon];
        for (std::uint32_t k = 0; k < p.vertex_count; ++k) map->set(l.vertices(p)[k], uv + 2 * k);
        return EDERR_NONE;
    } catch (...) {
        return EDERR_NOMEMORY;
    }
}

}  // namespace

void mesh_edit_internal::set_vmap_functions(MeshEditOp& op) {
    op.pntVMap = pnt_vmap;
    op.pntVPMap = pnt_vpmap;
    op.initUV = init_uv;
    op.pointVSet = point_vset;
    op.pointVGet = point_vget;
    op.pointVPGet = point_vpget;
    op.pointVEval = point_veval;
}

void* vmap_id(Host& host, std::uint32_t type, const std::string& name) noexcept {
    try {
        VmapIdTable& table = vmap_table(host);
        std::string key(reinterpret_cast<const char*>(&type), sizeof type);
        key += name;
        auto found = table.vmap_index.find(key);
        std::size_t index;
        if (found != table.vmap_index.end()) {
            index = found->second;
        } else {
            auto entry = std::make_unique<VmapName>();
            entry->type = type;
            entry->name = name;
            table.vmap_names.push_back(std::move(entry));
            index = table.vmap_names.size() - 1;
            table.vmap_index.emplace(std::move(key), index);
        }
        return reinterpret_cast<void*>(kVmapIdKind | (std::uintptr_t(index) + 1));
    } catch (...) {
        return nullptr;
    }
}

const VmapName* find_vmap_id(Host& host, const void* id) noexcept {
    std::uintptr_t handle = reinterpret_cast<std::uintptr_t>(id);
    if ((handle & (std::uintptr_t(0xFF) << 56)) != kVmapIdKind) return nullptr;
    std::uintptr_t index = handle & ~(std::uintptr_t(0xFF) << 56);
    try {
        VmapIdTable& table = vmap_table(host);
        return index >= 1 && index <= table.vmap_names.size() ? table.vmap_names[index - 1].get() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace lwhost
