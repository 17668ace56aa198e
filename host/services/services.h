// The service adapters: one function per service family, each returning the
// SDK record the global function hands to a plug-in. Records whose members are
// data (scene info, interface info) are refreshed from the scene each time
// they are fetched and after every command, so a plug-in that keeps the
// pointer sees the current values, as in Layout.
//
// Each adapter lives in its own file under services/ and does only lookups
// and conversions; the rules live in the scene model.
#pragma once

#include "lwmeshes.h"
#include "scene.h"

namespace lwhost {
class Host;

namespace services {

void* message_funcs(Host& host);      // "Info Messages 2"          messages.cpp
void* panel_funcs(Host& host);        // "LWPanelServices"          panels.cpp (host/)
void* file_activate(Host& host);      // "File Request 2"           file_request.cpp
void* item_info(Host& host);          // "LW Item Info 3"           item_info.cpp
void* object_info(Host& host);        // "LW Object Info 4"         object_info.cpp (and the mesh info)
void* bone_info(Host& host);          // "LW Bone Info 3"           bone_info.cpp
void* scene_info(Host& host);         // "LW Scene Info 3"          scene_info.cpp
void* interface_info(Host& host);     // "LW Interface Info 3"      interface_info.cpp
void* scene_objects(Host& host);      // "Scene Objects 4"          scene_objects.cpp
void* surface_funcs(Host& host);      // "Surface Functions 2"      surfaces.cpp
void* texture_funcs(Host& host);      // "Texture Functions 2"      textures.cpp
void* image_list(Host& host);         // "LW Image List 3"          images.cpp
void* image_util(Host& host);         // "Image Utility"            images.cpp
void* global_pool(Host& host);        // "Global Render Memory"     global_pool.cpp
void* global_memory(Host& host);      // "Global Memory"            global_pool.cpp
void* state_query(Host& host);        // "LWM: State Query 3"       state_query.cpp

// Refreshes the data members of the scene and interface info records.
void refresh_scene_info(Host& host);
void refresh_interface_info(Host& host);

// A mesh info over layer index `layer` of mesh `mesh` (object_info.cpp), as
// "LW Object Info 4" `meshInfo` and "Scene Objects 4" `layerMesh` hand it
// out; `object` 0 means no item transform (pntOtherPos gives the rest
// position). The plug-in frees it with its `destroy`. Null when memory runs
// out.
LWMeshInfo* make_mesh_info(Host& host, int mesh, int layer, ItemId object) noexcept;
// Mesh infos the current host made and that were not destroyed yet (tests
// check that plug-ins free them).
int live_mesh_info_count() noexcept;

}  // namespace services
}  // namespace lwhost
