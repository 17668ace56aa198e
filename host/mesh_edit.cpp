// Modeler's mesh edit: beginning an edit over the current object, the
// MeshEditOp record, and what the edit reads (counts, scans, point and
// polygon info, normals, tags); plus the layer sets of EltOpLayer codes and
// Modeler's object names, which "LWM: State Query 3" shares. The other parts
// are listed in mesh_edit_internal.h.
#include "mesh_edit.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "host.h"
#include "mesh_edit_internal.h"
#include "scene.h"

namespace lwhost {

using mesh_edit_internal::EditRegistry;
using mesh_edit_internal::EditState;
using mesh_edit_internal::LayerEdit;
using mesh_edit_internal::live;
using mesh_edit_internal::registry;

namespace {

// ---------------------------------------------------------------------------
// The info records handed to scans and to pointInfo/polyInfo

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
// Reading: counts, scans, info, normals and tags

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

// The reading members are set here; each other part sets its own.
void fill_record(MeshEditOp& op) {
    op.pointCount = point_count;
    op.polyCount = poly_count;
    op.pointScan = point_scan;
    op.polyScan = poly_scan;
    op.pointInfo = point_info;
    op.polyInfo = poly_info;
    op.polyNormal = poly_normal;
    op.polyTag = poly_tag;
    mesh_edit_internal::set_change_functions(op);
    mesh_edit_internal::set_vmap_functions(op);
    mesh_edit_internal::set_commit_functions(op);
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
