#include "mesh_source.h"

MeshSource mesh_source_modeler(MeshEditOp* edit) noexcept { return MeshSource{MESH_SOURCE_MODELER, edit, nullptr}; }

MeshSource mesh_source_layout(LWMeshInfo* mesh) noexcept { return MeshSource{MESH_SOURCE_LAYOUT, nullptr, mesh}; }

bool mesh_source_select_uv_map(const MeshSource& source, const char* name) noexcept {
    if (name == nullptr) return false;
    if (source.kind == MESH_SOURCE_MODELER) {
        MeshEditOp* edit = source.edit;
        return edit != nullptr && edit->pointVSet(edit->state, nullptr, LWVMAP_TXUV, name) != nullptr;
    }
    LWMeshInfo* mesh = source.mesh;
    if (mesh == nullptr) return false;
    void* handle = mesh->pntVLookup(mesh, LWVMAP_TXUV, name);
    if (handle == nullptr) return false;
    return mesh->pntVSelect(mesh, handle) <= MESH_SOURCE_VALUES;
}

bool mesh_source_uv(const MeshSource& source, LWPntID point, LWPolID polygon, float out_uv[2]) noexcept {
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
