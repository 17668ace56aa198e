#include "mesh_edit.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>
#include <vector>

#include "host.h"
#include "scene.h"

using lwhost::Layer;
using lwhost::MeshObject;
using lwhost::Polygon;
using lwhost::VertexMap;

namespace {
constexpr int kMaxDimension = 16;  // largest vertex map dimension an edit accepts
}

// The edit behind an EDStateRef. The MeshEditOp handed to the plug-in is a
// member, so the record and its state live and die together.
struct st_MeshEditState {
    // Per layer (by index into MeshObject::layers).
    struct LayerEdit {
        std::unique_ptr<Layer> copy;  // private copy, taken at the first change
        std::uint32_t base_points = 0, base_polygons = 0;  // counts at the start; beyond are new
        std::uint32_t removed_points = 0, removed_polygons = 0;
        std::vector<std::int8_t> point_marks, polygon_marks;  // -1 none, 0 deselect, 1 select
        std::vector<unsigned char> point_data, polygon_data;  // userData scratch
        const VertexMap* chosen_map = nullptr;                // pointVSet's map here, cached
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
        float scan_value[kMaxDimension] = {}, info_value[kMaxDimension] = {};
        int last_layer = -1;  // the polygon added last, for initUV
        std::uint32_t last_polygon = 0;
        int last_tag = -1;                    // tag_index's last answer
        std::vector<std::uint32_t> vertices;  // scratch of addFace and polPnts
    };

    MeshEditOp op{};
    lwhost::Host* host = nullptr;
    int mesh = -1;
    int select = 0;
    int point_buffer = 0, polygon_buffer = 0;
    int primary = 0;
    bool open = false;
    std::unique_ptr<Data> data;

    MeshObject* object() const {
        auto& meshes = host->scene.meshes;
        return mesh >= 0 && std::size_t(mesh) < meshes.size() ? meshes[std::size_t(mesh)].get() : nullptr;
    }
    // The layers the edit knows are those of the object when it began (and a
    // new primary layer): `data->layers` has one entry for each.
    const Layer* view(int layer) const {
        if (layer < 0 || std::size_t(layer) >= data->layers.size()) return nullptr;
        if (data->layers[std::size_t(layer)].copy) return data->layers[std::size_t(layer)].copy.get();
        MeshObject* m = object();
        return m && std::size_t(layer) < m->layers.size() ? &m->layers[std::size_t(layer)] : nullptr;
    }
    int layer_count() const { return int(data->layers.size()); }
    LayerEdit* edit_of(int layer) {
        return layer >= 0 && std::size_t(layer) < data->layers.size() ? &data->layers[std::size_t(layer)] : nullptr;
    }
    // The layer to change; copies it on first use. Throws std::bad_alloc.
    Layer* writable(int layer) {
        LayerEdit* edit = edit_of(layer);
        if (!edit) return nullptr;
        if (!edit->copy) {
            const Layer* current = view(layer);
            auto copy = current ? std::make_unique<Layer>(*current) : std::make_unique<Layer>();
            if (!current) copy->number = layer;
            edit->copy = std::move(copy);
            ++data->stamp;
        }
        return edit->copy.get();
    }
    const std::vector<std::string>& tags() const {
        static const std::vector<std::string> kNone;
        if (data->tags) return *data->tags;
        MeshObject* m = object();
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
        const Layer* l = view(layer);
        return (l ? l->number : layer) + 1;
    }
    bool in_layers(EltOpLayer code, int layer) const {
        const Layer* l = view(layer);
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
        const Layer* l = view(ref.layer);
        if (!l || ref.index >= l->points.size()) return false;
        layer = ref.layer;
        index = ref.index;
        return true;
    }
    bool polygon_ref(LWPolID id, int& layer, std::uint32_t& index) const {
        lwhost::ElementRef ref;
        if (!lwhost::decode_polygon(reinterpret_cast<std::uintptr_t>(id), ref) || ref.mesh != mesh) return false;
        const Layer* l = view(ref.layer);
        if (!l || ref.index >= l->polygons.size()) return false;
        const Polygon& p = l->polygons[ref.index];
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
    const VertexMap* chosen_map(int layer) {
        if (!data->map_chosen) return nullptr;
        LayerEdit& edit = data->layers[std::size_t(layer)];
        if (edit.chosen_stamp != data->stamp) {
            const Layer* l = view(layer);
            edit.chosen_map = l ? l->find_vmap(data->map_type, data->map_name) : nullptr;
            edit.chosen_stamp = data->stamp;
        }
        return edit.chosen_map;
    }
    int copy_value(const VertexMap* map, const float* value, float* out) const {
        if (!value) return 0;
        if (out) std::copy(value, value + std::min(map->dimension, data->map_dimension), out);
        return 1;
    }
};

namespace lwhost {

namespace {

using EditState = st_MeshEditState;
using LayerEdit = st_MeshEditState::LayerEdit;

constexpr std::uintptr_t kVmapIdKind = std::uintptr_t(0x85) << 56;

// Per host: the open edit, every finished one (kept so that a stale record
// stays readable) and the vertex map ID table.
struct EditRegistry {
    EditState* open = nullptr;
    std::vector<std::unique_ptr<EditState>> edits;
    std::vector<std::unique_ptr<VmapName>> vmap_names;
    std::unordered_map<std::string, std::size_t> vmap_index;
};

EditRegistry& registry(Host& host) { return host.service_state<EditRegistry>("mesh edit"); }

EditState* live(EDStateRef ref) {
    return ref && ref->open && ref->data ? ref : nullptr;
}

int default_dimension(std::uint32_t type) {
    switch (type) {
    case kTexUV: return 2;
    case fourcc('R', 'G', 'B', ' '): case fourcc('M', 'O', 'R', 'F'): case fourcc('S', 'P', 'O', 'T'): return 3;
    case fourcc('R', 'G', 'B', 'A'): return 4;
    default: return 1;
    }
}

// ---------------------------------------------------------------------------
// Records

void* user_data(std::vector<unsigned char>& scratch, int size, std::size_t count, std::uint32_t index) {
    if (size <= 0 || index >= count) return nullptr;
    std::size_t need = count * std::size_t(size);
    if (scratch.size() < need) scratch.resize(need, 0);  // zeroed, as Modeler gives it
    return scratch.data() + std::size_t(index) * std::size_t(size);
}

void fill_point(EditState& e, EDPointInfo& rec, float* value, int layer, std::uint32_t index) {
    const Layer& l = *e.view(layer);
    const Point& p = l.points[index];
    LayerEdit& edit = e.data->layers[std::size_t(layer)];
    rec.pnt = e.point_id(layer, index);
    rec.userData = user_data(edit.point_data, e.point_buffer, l.points.size(), index);
    rec.layer = l.number + 1;
    rec.flags = (e.point_selected(layer, index, p.selected) ? EDDF_SELECT : 0) | (p.deleted ? EDDF_DELETE : 0);
    std::copy(p.position, p.position + 3, rec.position);
    const VertexMap* map = e.chosen_map(layer);
    rec.vmapVec = map && e.copy_value(map, map->get(index), value) ? value : nullptr;
}

// Throws std::bad_alloc when the point array must grow.
void fill_polygon(EditState& e, EDPolygonInfo& rec, std::vector<LWPntID>& points, int layer, std::uint32_t index) {
    const Layer& l = *e.view(layer);
    const Polygon& p = l.polygons[index];
    LayerEdit& edit = e.data->layers[std::size_t(layer)];
    std::uint32_t count = p.vertex_count;
    if (std::size_t(p.first_vertex) + count > l.vertex_pool.size()) count = 0;  // a broken list shows as empty
    if (points.size() < count) points.resize(count);
    const std::uint32_t* vertices = l.vertices(p);
    for (std::uint32_t k = 0; k < count; ++k) points[k] = e.point_id(layer, vertices[k]);
    rec.pol = e.polygon_id(layer, index);
    rec.userData = user_data(edit.polygon_data, e.polygon_buffer, l.polygons.size(), index);
    rec.layer = l.number + 1;
    rec.flags = (e.polygon_selected(layer, index, p.selected) ? EDDF_SELECT : 0) | (p.deleted ? EDDF_DELETE : 0) |
                int(p.flags & (EDPF_CCEND | EDPF_CCSTART));
    rec.numPnts = int(count);
    rec.points = points.data();
    rec.surface = e.tag_text(p.surface_tag);
    rec.type = p.type;
}

std::vector<int> layers_in(const EditState& e, EltOpLayer code) {
    std::vector<int> layers;
    for (int i = 0, n = e.layer_count(); i < n; ++i)
        if (e.in_layers(code, i)) layers.push_back(i);
    return layers;
}

// ---------------------------------------------------------------------------
// Counting and scanning

int count_elements(EDStateRef ref, EltOpLayer code, int mode, bool polygons) noexcept {
    EditState* e = live(ref);
    if (!e) return 0;
    try {
        long long total = 0;
        for (int layer : layers_in(*e, code)) {
            const Layer& l = *e->view(layer);
            const LayerEdit& edit = e->data->layers[std::size_t(layer)];
            std::size_t size = polygons ? l.polygons.size() : l.points.size();
            std::uint32_t removed = polygons ? edit.removed_polygons : edit.removed_points;
            if (mode == EDCOUNT_ALL) {
                total += (long long)size - removed;
            } else if (mode == EDCOUNT_DELETE) {
                total += removed;
            } else if (mode == EDCOUNT_SELECT) {
                for (std::uint32_t i = 0; i < size; ++i) {
                    bool deleted = polygons ? l.polygons[i].deleted : l.points[i].deleted;
                    bool selected = polygons ? e->polygon_selected(layer, i, l.polygons[i].selected)
                                             : e->point_selected(layer, i, l.points[i].selected);
                    if (!deleted && selected) ++total;
                }
            }
        }
        return int(std::min<long long>(total, 0x7FFFFFFF));
    } catch (...) {
        return 0;
    }
}

int point_count(EDStateRef ref, EltOpLayer code, int mode) noexcept { return count_elements(ref, code, mode, false); }
int poly_count(EDStateRef ref, EltOpLayer code, int mode) noexcept { return count_elements(ref, code, mode, true); }

// The callback may change the mesh (which can replace the layer by its copy
// or grow its arrays), so the layer is looked up again for every element.
// Elements added during the scan are not visited.
EDError point_scan(EDStateRef ref, EDPointScanFunc* callback, void* data, EltOpLayer code) noexcept {
    EditState* e = live(ref);
    if (!e || !callback) return EDERR_BADARGS;
    try {
        for (int layer : layers_in(*e, code)) {
            std::size_t count = e->view(layer)->points.size();
            for (std::uint32_t i = 0; i < count; ++i) {
                if (!live(ref)) return EDERR_NONE;  // the callback ended the edit
                if (e->view(layer)->points[i].deleted) continue;
                fill_point(*e, e->data->scan_point, e->data->scan_value, layer, i);
                if (EDError rc = callback(data, &e->data->scan_point)) return rc;
            }
        }
    } catch (...) {
        return EDERR_NOMEMORY;
    }
    return EDERR_NONE;
}

EDError poly_scan(EDStateRef ref, EDPolyScanFunc* callback, void* data, EltOpLayer code) noexcept {
    EditState* e = live(ref);
    if (!e || !callback) return EDERR_BADARGS;
    try {
        for (int layer : layers_in(*e, code)) {
            std::size_t count = e->view(layer)->polygons.size();
            for (std::uint32_t i = 0; i < count; ++i) {
                if (!live(ref)) return EDERR_NONE;
                if (e->view(layer)->polygons[i].deleted) continue;
                fill_polygon(*e, e->data->scan_polygon, e->data->scan_points, layer, i);
                if (EDError rc = callback(data, &e->data->scan_polygon)) return rc;
            }
        }
    } catch (...) {
        return EDERR_NOMEMORY;
    }
    return EDERR_NONE;
}

EDPointInfo* point_info(EDStateRef ref, LWPntID id) noexcept {
    EditState* e = live(ref);
    int layer;
    std::uint32_t index;
    if (!e || !e->point_ref(id, layer, index)) return nullptr;
    try {
        fill_point(*e, e->data->info_point, e->data->info_value, layer, index);
    } catch (...) {
        return nullptr;
    }
    return &e->data->info_point;
}

EDPolygonInfo* poly_info(EDStateRef ref, LWPolID id) noexcept {
    EditState* e = live(ref);
    int layer;
    std::uint32_t index;
    if (!e || !e->polygon_ref(id, layer, index)) return nullptr;
    try {
        fill_polygon(*e, e->data->info_polygon, e->data->info_points, layer, index);
    } catch (...) {
        return nullptr;
    }
    return &e->data->info_polygon;
}

// Face normal from the first, second and last vertex: (p1 - p0) x (pn - p0),
// which with clockwise vertices in LightWave's left-handed axes points to the
// visible side.
int poly_normal(EDStateRef ref, LWPolID id, double normal[3]) noexcept {
    EditState* e = live(ref);
    int layer;
    std::uint32_t index;
    if (!normal) return 0;
    normal[0] = normal[1] = normal[2] = 0.0;
    if (!e || !e->polygon_ref(id, layer, index)) return 0;
    const Layer& l = *e->view(layer);
    const Polygon& p = l.polygons[index];
    if (p.vertex_count < 3) return 0;
    const std::uint32_t* v = l.vertices(p);
    std::uint32_t corners[3] = {v[0], v[1], v[p.vertex_count - 1]};
    for (std::uint32_t c : corners)
        if (c >= l.points.size()) return 0;
    const double* p0 = l.points[corners[0]].position;
    const double* p1 = l.points[corners[1]].position;
    const double* pn = l.points[corners[2]].position;
    double a[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    double b[3] = {pn[0] - p0[0], pn[1] - p0[1], pn[2] - p0[2]};
    double c[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    double length2 = c[0] * c[0] + c[1] * c[1] + c[2] * c[2];
    double scale2 = (a[0] * a[0] + a[1] * a[1] + a[2] * a[2]) * (b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
    // Collinear corners leave only rounding noise in the cross product:
    // |a x b| <= 1e-12 |a| |b| counts as none.
    if (!std::isfinite(length2) || !(length2 > 1e-24 * scale2)) return 0;
    double length = std::sqrt(length2);
    for (int k = 0; k < 3; ++k) normal[k] = c[k] / length;
    return 1;
}

// ---------------------------------------------------------------------------
// Adding elements

LWPntID add_point(EDStateRef ref, double* xyz) noexcept {
    EditState* e = live(ref);
    if (!e || !xyz) return nullptr;
    try {
        Layer* l = e->writable(e->primary);
        if (!l || l->points.size() >= 0xFFFFFFFEu) return nullptr;
        Point& p = l->points.emplace_back();
        std::copy(xyz, xyz + 3, p.position);
        return e->point_id(e->primary, std::uint32_t(l->points.size() - 1));
    } catch (...) {
        return nullptr;
    }
}

// Every vertex must be a live point of one layer; the polygon joins that layer.
bool resolve_vertices(EditState& e, int count, const LWPntID* ids, int& layer, std::vector<std::uint32_t>& out) {
    if (count <= 0 || !ids) return false;
    out.resize(std::size_t(count));
    layer = -1;
    for (int k = 0; k < count; ++k) {
        int point_layer;
        if (!e.point_ref(ids[k], point_layer, out[std::size_t(k)])) return false;
        if (layer >= 0 && point_layer != layer) return false;
        layer = point_layer;
        if (e.view(layer)->points[out[std::size_t(k)]].deleted) return false;
    }
    return true;
}

LWPolID add_polygon(EDStateRef ref, std::uint32_t type, LWPolID templ, const char* surface, int count,
                    const LWPntID* ids, unsigned flags) noexcept {
    EditState* e = live(ref);
    if (!e) return nullptr;
    try {
        int layer;
        std::vector<std::uint32_t>& vertices = e->data->vertices;
        if (!resolve_vertices(*e, count, ids, layer, vertices)) {
            e->host->note("mesh edit: polygon refused (bad, removed or mixed-layer points)");
            return nullptr;
        }
        std::int32_t surface_tag = -1, part_tag = -1;
        int templ_layer;
        std::uint32_t templ_index;
        bool has_template = templ && e->polygon_ref(templ, templ_layer, templ_index);
        if (has_template) {
            const Polygon& t = e->view(templ_layer)->polygons[templ_index];
            surface_tag = t.surface_tag;
            part_tag = t.part_tag;
        }
        if (surface) surface_tag = e->tag_index(surface, true);
        else if (!has_template) surface_tag = e->tag_index(e->default_surface().c_str(), true);
        Layer* l = e->writable(layer);
        if (l->polygons.size() >= 0xFFFFFFFEu || l->vertex_pool.size() + vertices.size() > 0xFFFFFFFFu) return nullptr;
        Polygon& p = l->polygons.emplace_back();
        p.type = type ? type : kFace;
        p.first_vertex = std::uint32_t(l->vertex_pool.size());
        p.vertex_count = std::uint32_t(vertices.size());
        p.surface_tag = surface_tag;
        p.part_tag = part_tag;
        p.flags = flags;
        l->vertex_pool.insert(l->vertex_pool.end(), vertices.begin(), vertices.end());
        e->data->last_layer = layer;
        e->data->last_polygon = std::uint32_t(l->polygons.size() - 1);
        return e->polygon_id(layer, e->data->last_polygon);
    } catch (...) {
        return nullptr;
    }
}

LWPolID add_face(EDStateRef ref, const char* surface, int count, const LWPntID* ids) noexcept {
    return add_polygon(ref, kFace, nullptr, surface, count, ids, 0);
}
LWPolID add_curve(EDStateRef ref, const char* surface, int count, const LWPntID* ids, int flags) noexcept {
    return add_polygon(ref, kCurve, nullptr, surface, count, ids, unsigned(flags) & (EDPF_CCEND | EDPF_CCSTART));
}
LWPolID add_poly(EDStateRef ref, LWID type, LWPolID templ, const char* surface, int count, const LWPntID* ids) noexcept {
    return add_polygon(ref, type, templ, surface, count, ids, 0);
}
EDError add_quad(EDStateRef ref, LWPntID a, LWPntID b, LWPntID c, LWPntID d) noexcept {
    LWPntID ids[4] = {a, b, c, d};
    return add_face(ref, nullptr, 4, ids) ? EDERR_NONE : EDERR_BADARGS;
}
EDError add_tri(EDStateRef ref, LWPntID a, LWPntID b, LWPntID c) noexcept {
    LWPntID ids[3] = {a, b, c};
    return add_face(ref, nullptr, 3, ids) ? EDERR_NONE : EDERR_BADARGS;
}
EDError add_patch(EDStateRef, int, int, int, int, EDBoundCv*, EDBoundCv*, EDBoundCv*, EDBoundCv*) noexcept {
    return EDERR_BADARGS;  // patches are not modelled
}

// ---------------------------------------------------------------------------
// Changing elements

EDError rem_point(EDStateRef ref, LWPntID id) noexcept {
    EditState* e = live(ref);
    int layer;
    std::uint32_t index;
    if (!e || !e->point_ref(id, layer, index)) return EDERR_BADARGS;
    try {
        Point& p = e->writable(layer)->points[index];
        if (!p.deleted) ++e->data->layers[std::size_t(layer)].removed_points;
        p.deleted = true;
        return EDERR_NONE;
    } catch (...) {
        return EDERR_NOMEMORY;
    }
}

EDError rem_poly(EDStateRef ref, LWPolID id) noexcept {
    EditState* e = live(ref);
    int layer;
    std::uint32_t index;
    if (!e || !e->polygon_ref(id, layer, index)) return EDERR_BADARGS;
    try {
        Polygon& p = e->writable(layer)->polygons[index];
        if (!p.deleted) ++e->data->layers[std::size_t(layer)].removed_polygons;
        p.deleted = true;
        return EDERR_NONE;
    } catch (...) {
        return EDERR_NOMEMORY;
    }
}

EDError pnt_move(EDStateRef ref, LWPntID id, const double* position) noexcept {
    EditState* e = live(ref);
    int layer;
    std::uint32_t index;
    if (!e || !position || !e->point_ref(id, layer, index)) return EDERR_BADARGS;
    try {
        std::copy(position, position + 3, e->writable(layer)->points[index].position);
        return EDERR_NONE;
    } catch (...) {
        return EDERR_NOMEMORY;
    }
}

EDError pol_tag(EDStateRef ref, LWPolID id, LWID type, const char* tag) noexcept {
    EditState* e = live(ref);
    int layer;
    std::uint32_t index;
    if (!e || !e->polygon_ref(id, layer, index)) return EDERR_BADARGS;
    if (type != kSurfTag && type != kPartTag) return EDERR_BADARGS;
    if (!tag && type == kSurfTag) return EDERR_BADSURF;
    try {
        std::int32_t value = tag ? e->tag_index(tag, type == kSurfTag) : -1;
        Polygon& p = e->writable(layer)->polygons[index];
        (type == kSurfTag ? p.surface_tag : p.part_tag) = value;
        return EDERR_NONE;
    } catch (...) {
        return EDERR_NOMEMORY;
    }
}

EDError pol_surf(EDStateRef ref, LWPolID id, const char* surface) noexcept {
    return pol_tag(ref, id, kSurfTag, surface);
}

EDError pol_pnts(EDStateRef ref, LWPolID id, int count, const LWPntID* ids) noexcept {
    EditState* e = live(ref);
    int layer, point_layer;
    std::uint32_t index;
    if (!e || !e->polygon_ref(id, layer, index)) return EDERR_BADARGS;
    try {
        std::vector<std::uint32_t>& vertices = e->data->vertices;
        if (!resolve_vertices(*e, count, ids, point_layer, vertices) || point_layer != layer) return EDERR_BADARGS;
        Layer* l = e->writable(layer);
        if (l->vertex_pool.size() + vertices.size() > 0xFFFFFFFFu) return EDERR_NOMEMORY;
        Polygon& p = l->polygons[index];
        p.first_vertex = std::uint32_t(l->vertex_pool.size());  // the old list stays unused in the pool
        p.vertex_count = std::uint32_t(vertices.size());
        l->vertex_pool.insert(l->vertex_pool.end(), vertices.begin(), vertices.end());
        return EDERR_NONE;
    } catch (...) {
        return EDERR_NOMEMORY;
    }
}

EDError pol_flag(EDStateRef ref, LWPolID id, int mask, int value) noexcept {
    EditState* e = live(ref);
    int layer;
    std::uint32_t index;
    if (!e || !e->polygon_ref(id, layer, index)) return EDERR_BADARGS;
    try {
        Polygon& p = e->writable(layer)->polygons[index];
        p.flags = (p.flags & ~unsigned(mask)) | (unsigned(value) & unsigned(mask));
        return EDERR_NONE;
    } catch (...) {
        return EDERR_NOMEMORY;
    }
}

const char* poly_tag(EDStateRef ref, LWPolID id, LWID type) noexcept {
    EditState* e = live(ref);
    int layer;
    std::uint32_t index;
    if (!e || !e->polygon_ref(id, layer, index)) return nullptr;
    const Polygon& p = e->view(layer)->polygons[index];
    if (type == kSurfTag) return e->tag_text(p.surface_tag);
    if (type == kPartTag) return e->tag_text(p.part_tag);
    return nullptr;
}

EDError mark(EDStateRef ref, std::uintptr_t id, int state, bool polygon) noexcept {
    EditState* e = live(ref);
    if (!e) return EDERR_BADARGS;
    if (!(e->select & OPSEL_MODIFY)) {
        e->host->note("mesh edit: pntSelect/polSelect need an edit begun with OPSEL_MODIFY");
        return EDERR_BADARGS;
    }
    int layer;
    std::uint32_t index;
    bool found = polygon ? e->polygon_ref(reinterpret_cast<LWPolID>(id), layer, index)
                         : e->point_ref(reinterpret_cast<LWPntID>(id), layer, index);
    if (!found) return EDERR_BADARGS;
    try {
        const Layer& l = *e->view(layer);
        LayerEdit& edit = e->data->layers[std::size_t(layer)];
        auto& marks = polygon ? edit.polygon_marks : edit.point_marks;
        if (marks.size() <= index) marks.resize(polygon ? l.polygons.size() : l.points.size(), -1);
        marks[index] = state ? 1 : 0;
        return EDERR_NONE;
    } catch (...) {
        return EDERR_NOMEMORY;
    }
}

EDError pnt_select(EDStateRef ref, LWPntID id, int state) noexcept {
    return mark(ref, reinterpret_cast<std::uintptr_t>(id), state, false);
}
EDError pol_select(EDStateRef ref, LWPolID id, int state) noexcept {
    return mark(ref, reinterpret_cast<std::uintptr_t>(id), state, true);
}

// ---------------------------------------------------------------------------
// Vertex maps

// The map to write in the point's layer: found, or made when `create`.
// Null with `error` set when it cannot be used. Throws std::bad_alloc.
VertexMap* map_to_write(EditState& e, int layer, LWID type, const char* name, int dimension, bool create,
                        EDError& error) {
    error = EDERR_NONE;
    if (!name || dimension < 1 || dimension > kMaxDimension) {
        error = EDERR_BADARGS;
        return nullptr;
    }
    // Compared as C text: building a std::string per call would allocate.
    auto named = [&](const VertexMap& m) { return m.type == type && m.name == name; };
    const auto& present = e.view(layer)->vmaps;
    auto existing = std::find_if(present.begin(), present.end(), named);
    if (existing != present.end() && existing->dimension != dimension) {
        error = EDERR_BADVMAP;
        return nullptr;
    }
    if (existing == present.end() && !create) return nullptr;
    Layer* l = e.writable(layer);
    auto found = std::find_if(l->vmaps.begin(), l->vmaps.end(), named);
    VertexMap* map = found != l->vmaps.end() ? &*found : nullptr;
    if (!map) {
        map = &l->vmap(type, name, dimension);
        ++e.data->stamp;  // the layer's map list may have moved
    }
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
        d.map_dimension = std::min(default_dimension(d.map_type), kMaxDimension);
        for (int layer = 0, n = e->layer_count(); layer < n; ++layer) {
            const Layer* l = e->view(layer);
            if (const VertexMap* map = l ? l->find_vmap(d.map_type, d.map_name) : nullptr) {
                d.map_dimension = std::min(map->dimension, kMaxDimension);
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

LWPntID add_ipnt(EDStateRef ref, double* xyz, int count, const LWPntID* ids, const double* weights) noexcept {
    EditState* e = live(ref);
    if (!e || count < 0 || (count > 0 && !ids) || (!xyz && count == 0)) return nullptr;
    try {
        const std::size_t n = std::size_t(count);
        std::vector<std::uint32_t> sources(n);
        std::vector<double> w(n, count ? 1.0 / count : 0.0);
        for (int k = 0; k < count; ++k) {
            int layer;
            if (!e->point_ref(ids[k], layer, sources[std::size_t(k)]) || layer != e->primary) return nullptr;
            if (weights) w[std::size_t(k)] = weights[k];
        }
        double position[3] = {0, 0, 0};
        if (xyz) {
            std::copy(xyz, xyz + 3, position);
        } else {
            for (int k = 0; k < count; ++k)
                for (int a = 0; a < 3; ++a)
                    position[a] += w[std::size_t(k)] * e->view(e->primary)->points[sources[std::size_t(k)]].position[a];
        }
        LWPntID made = add_point(ref, position);
        if (!made) return nullptr;
        Layer* l = e->writable(e->primary);
        std::uint32_t index = std::uint32_t(l->points.size() - 1);
        for (VertexMap& map : l->vmaps) {
            float sum[kMaxDimension] = {};
            bool any = false;
            int dimension = std::min(map.dimension, kMaxDimension);
            for (int k = 0; k < count; ++k) {
                if (const float* v = map.get(sources[std::size_t(k)])) {
                    any = true;
                    for (int a = 0; a < dimension; ++a) sum[a] += float(w[std::size_t(k)] * v[a]);
                }
            }
            if (any && map.dimension <= kMaxDimension) map.set(index, sum);
        }
        return made;
    } catch (...) {
        return nullptr;
    }
}

// ---------------------------------------------------------------------------
// Ending the edit

// Drops removed elements and polygons that still use a removed point, and
// renumbers what stays (vertex lists and both kinds of vertex map values).
void compact_layer(Layer& l) {
    std::vector<std::int64_t> point_to(l.points.size(), -1);
    std::vector<Point> points;
    for (std::size_t i = 0; i < l.points.size(); ++i) {
        if (l.points[i].deleted) continue;
        point_to[i] = std::int64_t(points.size());
        points.push_back(l.points[i]);
    }
    std::vector<std::int64_t> polygon_to(l.polygons.size(), -1);
    std::vector<Polygon> polygons;
    std::vector<std::uint32_t> pool;
    for (std::size_t i = 0; i < l.polygons.size(); ++i) {
        const Polygon& p = l.polygons[i];
        const std::uint32_t* v = l.vertices(p);
        bool keep = !p.deleted;
        for (std::uint32_t k = 0; keep && k < p.vertex_count; ++k)
            keep = v[k] < point_to.size() && point_to[v[k]] >= 0;
        if (!keep) continue;
        polygon_to[i] = std::int64_t(polygons.size());
        Polygon moved = p;
        moved.first_vertex = std::uint32_t(pool.size());
        for (std::uint32_t k = 0; k < p.vertex_count; ++k) pool.push_back(std::uint32_t(point_to[v[k]]));
        polygons.push_back(moved);
    }
    for (VertexMap& map : l.vmaps) {
        std::vector<std::int32_t> rows(points.size(), -1);
        for (std::size_t i = 0; i < map.row_of_point.size() && i < point_to.size(); ++i)
            if (point_to[i] >= 0) rows[std::size_t(point_to[i])] = map.row_of_point[i];
        map.row_of_point = std::move(rows);
        std::unordered_map<std::uint64_t, std::uint32_t> by_polygon;
        for (const auto& [key, row] : map.polygon_rows) {
            std::uint64_t polygon = key >> 32, point = key & 0xFFFFFFFFu;
            if (polygon >= polygon_to.size() || point >= point_to.size()) continue;
            if (polygon_to[polygon] < 0 || point_to[point] < 0) continue;
            by_polygon.emplace((std::uint64_t(polygon_to[polygon]) << 32) | std::uint64_t(point_to[point]), row);
        }
        map.polygon_rows = std::move(by_polygon);
    }
    l.points = std::move(points);
    l.polygons = std::move(polygons);
    l.vertex_pool = std::move(pool);
}

void apply_selection(EditState& e, MeshObject& mesh, int selm) {
    bool clear_points = selm & (EDSELM_CLEARCURRENT | EDSELM_FORCEVRTS);
    bool clear_polygons = selm & (EDSELM_CLEARCURRENT | EDSELM_FORCEPOLS);
    for (std::size_t i = 0; i < mesh.layers.size(); ++i) {
        Layer& l = mesh.layers[i];
        const LayerEdit* edit = i < e.data->layers.size() ? &e.data->layers[i] : nullptr;
        if (clear_points)
            for (Point& p : l.points) p.selected = false;
        if (clear_polygons)
            for (Polygon& p : l.polygons) p.selected = false;
        if (!edit) continue;
        for (std::size_t k = 0; k < edit->point_marks.size() && k < l.points.size(); ++k)
            if (edit->point_marks[k] >= 0) l.points[k].selected = edit->point_marks[k] != 0;
        for (std::size_t k = 0; k < edit->polygon_marks.size() && k < l.polygons.size(); ++k)
            if (edit->polygon_marks[k] >= 0) l.polygons[k].selected = edit->polygon_marks[k] != 0;
        if (selm & EDSELM_SELECTNEW) {
            for (std::size_t k = edit->base_points; k < l.points.size(); ++k) l.points[k].selected = true;
            for (std::size_t k = edit->base_polygons; k < l.polygons.size(); ++k) l.polygons[k].selected = true;
        }
    }
    if (selm & EDSELM_FORCEVRTS) e.host->scene.selection_mode = 0;
    if (selm & EDSELM_FORCEPOLS) e.host->scene.selection_mode = 1;
}

void commit(EditState& e, int selm) {
    MeshObject* mesh = e.object();
    if (!mesh) return;
    auto& d = *e.data;
    for (std::size_t i = 0; i < d.layers.size(); ++i) {
        if (!d.layers[i].copy) continue;
        while (mesh->layers.size() < i) {  // layers below a new primary layer
            Layer& gap = mesh->layers.emplace_back();
            gap.number = int(mesh->layers.size()) - 1;
        }
        if (mesh->layers.size() == i) mesh->layers.push_back(std::move(*d.layers[i].copy));
        else mesh->layers[i] = std::move(*d.layers[i].copy);
        d.layers[i].copy.reset();
    }
    if (d.tags) mesh->tags = std::move(*d.tags);
    apply_selection(e, *mesh, selm);
    for (std::size_t i = 0; i < d.layers.size() && i < mesh->layers.size(); ++i)
        if (d.layers[i].removed_points || d.layers[i].removed_polygons) compact_layer(mesh->layers[i]);
    for (const std::string& name : d.new_surfaces)
        if (!e.host->scene.find_surface(e.mesh, name)) e.host->scene.add_surface(e.mesh, name);
}

void done(EDStateRef ref, EDError error, int selm) noexcept {
    EditState* e = live(ref);
    if (!e) return;  // already ended: a stale record
    try {
        if (error == EDERR_NONE) commit(*e, selm);
    } catch (...) {
        e->host->note("mesh edit: out of memory while committing; the edit is partly applied");
    }
    e->open = false;
    e->data.reset();
    try {
        EditRegistry& reg = registry(*e->host);
        if (reg.open == e) reg.open = nullptr;
    } catch (...) {
    }
}

void fill_record(MeshEditOp& op) {
    op.done = done;
    op.pointCount = point_count;
    op.polyCount = poly_count;
    op.pointScan = point_scan;
    op.polyScan = poly_scan;
    op.pointInfo = point_info;
    op.polyInfo = poly_info;
    op.polyNormal = poly_normal;
    op.addPoint = add_point;
    op.addFace = add_face;
    op.addCurve = add_curve;
    op.addQuad = add_quad;
    op.addTri = add_tri;
    op.addPatch = add_patch;
    op.remPoint = rem_point;
    op.remPoly = rem_poly;
    op.pntMove = pnt_move;
    op.polSurf = pol_surf;
    op.polPnts = pol_pnts;
    op.polFlag = pol_flag;
    op.polTag = pol_tag;
    op.pntVMap = pnt_vmap;
    op.addPoly = add_poly;
    op.addIPnt = add_ipnt;
    op.initUV = init_uv;
    op.pointVSet = point_vset;
    op.pointVGet = point_vget;
    op.polyTag = poly_tag;
    op.pntSelect = pnt_select;
    op.polSelect = pol_select;
    op.pointVPGet = point_vpget;
    op.pointVEval = point_veval;
    op.pntVPMap = pnt_vpmap;
}

}  // namespace

MeshEditOp* begin_mesh_edit(Host& host, int pntBuf, int polBuf, int select) {
    try {
        EditRegistry& reg = registry(host);
        if (reg.open) {
            host.note("editBegin: an edit is already open");
            return nullptr;
        }
        int mesh = host.scene.current_mesh;
        if (mesh < 0 || std::size_t(mesh) >= host.scene.meshes.size() || !host.scene.meshes[std::size_t(mesh)]) {
            host.note("editBegin: no current object");
            return nullptr;
        }
        const MeshObject& object = *host.scene.meshes[std::size_t(mesh)];
        auto e = std::make_unique<EditState>();
        e->host = &host;
        e->mesh = mesh;
        e->select = select;
        e->point_buffer = std::max(pntBuf, 0);
        e->polygon_buffer = std::max(polBuf, 0);
        e->primary = primary_layer(host.scene);
        e->data = std::make_unique<EditState::Data>();
        e->data->layers.resize(std::max(object.layers.size(), std::size_t(e->primary) + 1));
        for (std::size_t i = 0; i < object.layers.size(); ++i) {
            e->data->layers[i].base_points = std::uint32_t(object.layers[i].points.size());
            e->data->layers[i].base_polygons = std::uint32_t(object.layers[i].polygons.size());
        }
        e->open = true;
        fill_record(e->op);
        e->op.state = e.get();
        e->op.layerNum = e->modeler_number(e->primary);
        reg.edits.push_back(std::move(e));
        reg.open = reg.edits.back().get();
        return &reg.open->op;
    } catch (...) {
        host.note("editBegin: out of memory");
        return nullptr;
    }
}

void* vmap_id(Host& host, std::uint32_t type, const std::string& name) noexcept {
    try {
        EditRegistry& reg = registry(host);
        std::string key(reinterpret_cast<const char*>(&type), sizeof type);
        key += name;
        auto found = reg.vmap_index.find(key);
        std::size_t index;
        if (found != reg.vmap_index.end()) {
            index = found->second;
        } else {
            auto entry = std::make_unique<VmapName>();
            entry->type = type;
            entry->name = name;
            reg.vmap_names.push_back(std::move(entry));
            index = reg.vmap_names.size() - 1;
            reg.vmap_index.emplace(std::move(key), index);
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
        EditRegistry& reg = registry(host);
        return index >= 1 && index <= reg.vmap_names.size() ? reg.vmap_names[index - 1].get() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

bool layer_in_code(const Scene& scene, const Layer& layer, int index, int primary, int code) {
    bool fg = index >= 0 && index < 64 && ((scene.foreground_layers >> index) & 1u);
    bool bg = index >= 0 && index < 64 && ((scene.background_layers >> index) & 1u);
    bool empty = layer.points.empty() && layer.polygons.empty();
    switch (code) {
    case OPLYR_PRIMARY: return index == primary;
    case OPLYR_FG: return fg;
    case OPLYR_BG: return bg;
    case OPLYR_SELECT: return fg || bg;
    case OPLYR_ALL: return true;
    case OPLYR_EMPTY: return empty;
    case OPLYR_NONEMPTY: return !empty;
    default: return code > 100 && layer.number == code - 101;
    }
}

int primary_layer(const Scene& scene) {
    std::uint64_t fg = scene.foreground_layers;
    int index = 0;
    while (fg && !(fg & 1u)) {
        fg >>= 1;
        ++index;
    }
    return index;
}

std::string modeler_object_name(const Scene& scene, int mesh) {
    if (mesh < 0 || std::size_t(mesh) >= scene.meshes.size() || !scene.meshes[std::size_t(mesh)]) return {};
    const std::string& filename = scene.meshes[std::size_t(mesh)]->filename;
    if (!filename.empty()) return filename;
    for (ItemId id : scene.items(ItemType::Object)) {
        const Item* item = scene.item(id);
        if (item && item->mesh == mesh && !item->name.empty()) return item->name;
    }
    return mesh == 0 ? "Unnamed" : "Unnamed " + std::to_string(mesh + 1);
}

int find_modeler_object(const Scene& scene, const char* name) {
    if (!name) return -1;
    for (std::size_t i = 0; i < scene.meshes.size(); ++i)
        if (modeler_object_name(scene, int(i)) == name) return int(i);
    return -1;
}

}  // namespace lwhost
