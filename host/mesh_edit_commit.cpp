// Mesh edit, the end: selection marks (pntSelect/polSelect) and `done`,
// which moves the edit's layer copies and tags into the scene, applies the
// selection rules of its selm argument and drops removed elements.
#include <cstdint>
#include <utility>
#include <vector>

#include "mesh_edit_internal.h"
#include "scene.h"

namespace lwhost {

using mesh_edit_internal::EditRegistry;
using mesh_edit_internal::EditState;
using mesh_edit_internal::LayerEdit;
using mesh_edit_internal::live;
using mesh_edit_internal::registry;

namespace {

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
// Ending the edit

// Drops removed elements and polygons that still use a removed point, and
// renumbers what stays (vertex lists and both kinds of vertex map values).
void compact_layer(Layer& l) {
    std::vector<std::int64_t> point_to(l.points.size(), -1);
    decltype(l.points) points;
    for (std::size_t i = 0; i < l.points.size(); ++i) {
        if (l.points[i].deleted) continue;
        point_to[i] = std::int64_t(points.size());
        points.push_back(l.points[i]);
    }
    std::vector<std::int64_t> polygon_to(l.polygons.size(), -1);
    decltype(l.polygons) polygons;
    decltype(l.vertex_pool) pool;
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
    for (VertexMap& map : l.vmaps) map.renumber(point_to, polygon_to);
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

}  // namespace

void mesh_edit_internal::set_commit_functions(MeshEditOp& op) {
    op.pntSelect = pnt_select;
    op.polSelect = pol_select;
    op.done = done;
}

}  // namespace lwhost
