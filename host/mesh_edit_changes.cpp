// Mesh edit, the changes: adding points (also interpolated ones) and
// polygons, removing and moving elements, and changing a polygon's points,
// tags and flags. Every change goes to the edit's private copy of the layer.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "mesh_edit_internal.h"
#include "scene.h"

namespace lwhost {

using mesh_edit_internal::EditState;
using mesh_edit_internal::live;

namespace {

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
LWPolID add_poly(EDStateRef ref, LWID type, LWPolID templ, const char* surface, int count,
                 const LWPntID* ids) noexcept {
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
            float sum[kMaxVmapDimension] = {};
            bool any = false;
            int dimension = std::min(map.dimension, kMaxVmapDimension);
            for (int k = 0; k < count; ++k) {
                if (const float* v = map.get(sources[std::size_t(k)])) {
                    any = true;
                    for (int a = 0; a < dimension; ++a) sum[a] += float(w[std::size_t(k)] * v[a]);
                }
            }
            if (any && map.dimension <= kMaxVmapDimension) map.set(index, sum);
        }
        return made;
    } catch (...) {
        return nullptr;
    }
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

}  // namespace

void mesh_edit_internal::set_change_functions(MeshEditOp& op) {
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
    op.addPoly = add_poly;
    op.addIPnt = add_ipnt;
}

}  // namespace lwhost
