// mesh_source: where a mesh exporter reads an object from, as one value. In
// Modeler that is the activation's open mesh edit, in Layout the selected
// object's mesh info; the geometry core (export_geometry) and the UV template
// take a MeshSource and ask it, so that neither knows which host it runs in
// beyond the calls below.
//
//   mesh_source_modeler(edit), mesh_source_layout(mesh)
//       The two kinds of source; the caller keeps owning the edit or the
//       mesh info, which must outlive every use of the value.
//
//   mesh_source_select_uv_map(source, name)
//       Makes the "TXUV" map of that name the one mesh_source_uv reads.
//       False when the object has no such map (Modeler's pointVSet gives no
//       map, Layout's pntVLookup no handle) or when a value of the map would
//       not fit MESH_SOURCE_VALUES floats; nothing can be read then.
//
//   mesh_source_uv(source, point, polygon, out_uv)
//       The texture coordinates of the point as a corner of the polygon, in
//       the selected map: the polygon's own (per-polygon) value where there
//       is one, else the point's. False, with out_uv zero, when it has
//       neither. Modeler's pointVEval makes that choice itself; Layout asks
//       pntVPGet, then pntVGet.
#pragma once

#include <lwmeshedt.h>
#include <lwmeshes.h>

// A value the host copies has at most this many floats (a map's dimension
// is capped there), so one read never runs past its buffer.
constexpr int MESH_SOURCE_VALUES = 16;

enum MeshSourceKind : int {
    MESH_SOURCE_MODELER = 0,  // Modeler's mesh edit
    MESH_SOURCE_LAYOUT = 1,   // Layout's mesh info of the selected object
};

struct MeshSource {
    int kind;          // a MeshSourceKind
    MeshEditOp* edit;  // MESH_SOURCE_MODELER: the activation's open edit
    LWMeshInfo* mesh;  // MESH_SOURCE_LAYOUT: the object's mesh info
};

MeshSource mesh_source_modeler(MeshEditOp* edit) noexcept;
MeshSource mesh_source_layout(LWMeshInfo* mesh) noexcept;

bool mesh_source_select_uv_map(const MeshSource& source, const char* name) noexcept;
// Inline: an export asks it for every corner of every polygon once per UV
// map until a map covers the polygon, so an object with many maps makes
// hundreds of millions of calls.
inline bool mesh_source_uv(const MeshSource& source, LWPntID point, LWPolID polygon, float out_uv[2]) noexcept {
    float value[MESH_SOURCE_VALUES];  // only the first two are read
    value[0] = value[1] = 0.0f;
    bool found = false;
    if (source.kind == MESH_SOURCE_MODELER) {
        found = source.edit->pointVEval(source.edit->state, point, polygon, value) != 0;
    } else {
        LWMeshInfo* mesh = source.mesh;
        found = mesh->pntVPGet(mesh, point, polygon, value) != 0;
        if (!found) {
            value[0] = value[1] = 0.0f;
            found = mesh->pntVGet(mesh, point, value) != 0;
        }
    }
    out_uv[0] = found ? value[0] : 0.0f;
    out_uv[1] = found ? value[1] : 0.0f;
    return found;
}
