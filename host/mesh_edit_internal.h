// What the parts of Modeler's mesh edit share: the state behind an
// EDStateRef, the per-host list of edits, and how each part fills in its
// members of the MeshEditOp record. The parts are mesh_edit.cpp (beginning
// an edit, reading, counting and scanning), mesh_edit_changes.cpp (adding,
// moving, removing and retagging elements), mesh_edit_maps.cpp (vertex map
// values and the vertex map ID table) and mesh_edit_commit.cpp (selection
// marks and ending the edit). Not for use outside them: the interface is
// mesh_edit.h.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <lwmeshedt.h>

#include "host.h"
#include "mesh_edit.h"
#include "scene.h"

namespace lwhost {
inline constexpr int kMaxVmapDimension = 16;  // largest vertex map dimension an edit accepts
}

// The edit behind an EDStateRef. The MeshEditOp handed to the plug-in is a
// member, so the record and its state live and die together.
struct st_MeshEditState {
    // Per layer (by index into MeshObject::layers).
    struct LayerEdit {
        std::unique_ptr<lwhost::Layer> copy;  // private copy, taken at the first change
        std::uint32_t base_points = 0, base_polygons = 0;  // counts at the start; beyond are new
        std::uint32_t removed_points = 0, removed_polygons = 0;
        std::vector<std::int8_t> point_marks, polygon_marks;  // -1 none, 0 deselect, 1 select
        std::vector<unsigned char> point_data, polygon_data;  // userData scratch
        const lwhost::VertexMap* chosen_map = nullptr;        // pointVSet's map here, cached
        std::uint64_t chosen_stamp = 0;
    };
    // Everything an open edit owns; freed at done.
    struct Data {
        std::vector<LayerEdit> layers;
        std::unique_ptr<std::vector<std::string>> tags;  // private copy of the object's tags
        std::vector<std::string> new_surfaces;           // surface names the edit introduced
        bool map_chosen = false;
        std::uint32_t map_type = 0;
        std::string map_name;
        int map_dimension = 0;
        std::uint64_t stamp = 1;  // changes whenever a cached VertexMap pointer may go stale
        EDPointInfo scan_point{}, info_point{};
        EDPolygonInfo scan_polygon{}, info_polygon{};
        std::vector<LWPntID> scan_points, info_points;
        float scan_value[lwhost::kMaxVmapDimension] = {}, info_value[lwhost::kMaxVmapDimension] = {};
        int last_layer = -1;  // the polygon added last, for initUV
        std::uint32_t last_polygon = 0;
        int last_tag = -1;                    // tag_index's last answer
        std::vector<std::uint32_t> vertices;  // scratch of addFace and polPnts
        // map_to_write's recent answers, in slots chosen by the address of
        // the name the plug-in passed: an import sets values of a few maps
        // over and over (a UV map, a weight map per link), each name from
        // its own buffer, so most calls compare one name instead of hashing.
        struct MapLookup {
            const char* text = nullptr;  // the address the name came from
            int layer = -1;
            std::uint32_t type = 0;
            std::string name;
            lwhost::VertexMap* map = nullptr;  // in the layer's writable copy
            std::uint64_t stamp = 0, generation = 0;
        };
        std::array<MapLookup, 16> recent_maps;
    };

    MeshEditOp op{};
    lwhost::Host* host = nullptr;
    int mesh = -1;
    int select = 0;
    int point_buffer = 0, polygon_buffer = 0;
    int primary = 0;
    bool open = false;
    std::unique_ptr<Data> data;

    lwhost::MeshObject* object() const {
        auto& meshes = host->scene.meshes;
        return mesh >= 0 && std::size_t(mesh) < meshes.size() ? meshes[std::size_t(mesh)].get() : nullptr;
    }
    // The layers the edit knows are those of the object when it began (and a
    // new primary layer): `data->layers` has one entry for each.
    const lwhost::Layer* view(int layer) const {
        if (layer < 0 || std::size_t(layer) >= data->layers.size()) return nullptr;
        if (data->layers[std::size_t(layer)].copy) return data->layers[std::size_t(layer)].copy.get();
        lwhost::MeshObject* m = object();
        return m && std::size_t(layer) < m->layers.size() ? &m->layers[std::size_t(layer)] : nullptr;
    }
    int layer_count() const { return int(data->layers.size()); }
    LayerEdit* edit_of(int layer) {
        return layer >= 0 && std::size_t(layer) < data->layers.size() ? &data->layers[std::size_t(layer)] : nullptr;
    }
    // The layer to change; copies it on first use. Throws std::bad_alloc.
    lwhost::Layer* writable(int layer) {
        LayerEdit* edit = edit_of(layer);
        if (!edit) return nullptr;
        if (!edit->copy) {
            const lwhost::Layer* current = view(layer);
            auto copy = current ? std::make_unique<lwhost::Layer>(*current) : std::make_unique<lwhost::Layer>();
            if (!current) copy->number = layer;
            edit->copy = std::move(copy);
            ++data->stamp;
        }
        return edit->copy.get();
    }
    const std::vector<std::string>& tags() const {
        static const std::vector<std::string> kNone;
        if (data->tags) return *data->tags;
        lwhost::MeshObject* m = object();
        return m ? m->tags : kNone;
    }
    // Index of a tag string, added to the private tag list when new. The
    // last answer is kept: importers add many polygons of one surface in a row.
    int tag_index(const char* tag, bool surface) {
        if (data->last_tag >= 0 && tag_text(data->last_tag) && std::strcmp(tag_text(data->last_tag), tag) == 0)
            return data->last_tag;
        const auto& list = tags();
        auto found = std::find_if(list.begin(), list.end(), [&](const std::string& t) { return t == tag; });
        if (found != list.end()) return data->last_tag = int(found - list.begin());
        if (!data->tags) data->tags = std::make_unique<std::vector<std::string>>(list);
        data->tags->push_back(tag);
        if (surface) data->new_surfaces.push_back(tag);
        return data->last_tag = int(data->tags->size()) - 1;
    }
    const char* tag_text(std::int32_t index) const {
        const auto& list = tags();
        return index >= 0 && std::size_t(index) < list.size() ? list[std::size_t(index)].c_str() : nullptr;
    }
    std::string default_surface() const {
        return host->current_surface.empty() ? std::string("Default") : host->current_surface;
    }
    int modeler_number(int layer) const {
        const lwhost::Layer* l = view(layer);
        return (l ? l->number : layer) + 1;
    }
    bool in_layers(EltOpLayer code, int layer) const {
        const lwhost::Layer* l = view(layer);
        return l && lwhost::layer_in_code(host->scene, *l, layer, primary, code);
    }
    bool all_selected() const { return (select & ~OPSEL_MODIFY) == OPSEL_GLOBAL; }
    bool point_selected(int layer, std::uint32_t index, bool scene_flag) const {
        if (all_selected()) return true;
        const auto& marks = data->layers[std::size_t(layer)].point_marks;
        return index < marks.size() && marks[index] >= 0 ? marks[index] != 0 : scene_flag;
    }
    bool polygon_selected(int layer, std::uint32_t index, bool scene_flag) const {
        if (all_selected()) return true;
        const auto& marks = data->layers[std::size_t(layer)].polygon_marks;
        return index < marks.size() && marks[index] >= 0 ? marks[index] != 0 : scene_flag;
    }
    // Handles: only elements of this object's existing layers are accepted.
    bool point_ref(LWPntID id, int& layer, std::uint32_t& index) const {
        lwhost::ElementRef ref;
        if (!lwhost::decode_point(reinterpret_cast<std::uintptr_t>(id), ref) || ref.mesh != mesh) return false;
        const lwhost::Layer* l = view(ref.layer);
        if (!l || ref.index >= l->points.size()) return false;
        layer = ref.layer;
        index = ref.index;
        return true;
    }
    bool polygon_ref(LWPolID id, int& layer, std::uint32_t& index) const {
        lwhost::ElementRef ref;
        if (!lwhost::decode_polygon(reinterpret_cast<std::uintptr_t>(id), ref) || ref.mesh != mesh) return false;
        const lwhost::Layer* l = view(ref.layer);
        if (!l || ref.index >= l->polygons.size()) return false;
        const lwhost::Polygon& p = l->polygons[ref.index];
        if (std::size_t(p.first_vertex) + p.vertex_count > l->vertex_pool.size()) return false;
        layer = ref.layer;
        index = ref.index;
        return true;
    }
    LWPntID point_id(int layer, std::uint32_t index) const {
        return reinterpret_cast<LWPntID>(lwhost::point_handle(mesh, layer, index));
    }
    LWPolID polygon_id(int layer, std::uint32_t index) const {
        return reinterpret_cast<LWPolID>(lwhost::polygon_handle(mesh, layer, index));
    }
    // The map pointVSet chose, in one layer; null when that layer has none.
    const lwhost::VertexMap* chosen_map(int layer) {
        if (!data->map_chosen) return nullptr;
        LayerEdit& edit = data->layers[std::size_t(layer)];
        if (edit.chosen_stamp != data->stamp) {
            const lwhost::Layer* l = view(layer);
            edit.chosen_map = l ? l->find_vmap(data->map_type, data->map_name) : nullptr;
            edit.chosen_stamp = data->stamp;
        }
        return edit.chosen_map;
    }
    int copy_value(const lwhost::VertexMap* map, const float* value, float* out) const {
        if (!value) return 0;
        if (out) std::copy(value, value + std::min(map->dimension, data->map_dimension), out);
        return 1;
    }
};

namespace lwhost::mesh_edit_internal {

using EditState = st_MeshEditState;
using LayerEdit = st_MeshEditState::LayerEdit;

// Per host: the open edit and every finished one (kept so that a stale
// record stays readable).
struct EditRegistry {
    EditState* open = nullptr;
    std::vector<std::unique_ptr<EditState>> edits;
};

inline EditRegistry& registry(Host& host) { return host.service_state<EditRegistry>("mesh edit"); }

// The edit behind a record while it is open; null for a null or finished one.
inline EditState* live(EDStateRef ref) {
    return ref && ref->open && ref->data ? ref : nullptr;
}

// Each part sets the members of the record that it carries out.
void set_change_functions(MeshEditOp& op);   // mesh_edit_changes.cpp
void set_vmap_functions(MeshEditOp& op);     // mesh_edit_maps.cpp
void set_commit_functions(MeshEditOp& op);   // mesh_edit_commit.cpp

}  // namespace lwhost::mesh_edit_internal
