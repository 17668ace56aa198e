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
