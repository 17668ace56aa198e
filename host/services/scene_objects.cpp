// "Scene Objects 4": the scene's object files by index (host.scene.meshes),
// their layers, and the scene's vertex map names.
//
// Layers are addressed by their LAYR number (Layer::number), as in the object
// file; maxLayers is one more than the highest number. Vertex maps are listed
// over the whole scene, each (type, name) once, in the order first met (mesh,
// then layer, then map order); type 0 lists every type (Scene::vmap_list).
// userName is the name Layout shows (Scene::mesh_user_name).
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "host.h"
#include "lwmeshes.h"
#include "services/services.h"

namespace lwhost {
namespace services {

namespace {

Scene* scene() {
    Host* host = Host::current();
    return host ? &host->scene : nullptr;
}

const MeshObject* mesh_at(int obj) {
    Scene* s = scene();
    if (!s || obj < 0 || std::size_t(obj) >= s->meshes.size()) return nullptr;
    return s->meshes[std::size_t(obj)].get();
}

const Layer* layer_at(int obj, int number) {
    const MeshObject* mesh = mesh_at(obj);
    return mesh ? mesh->layer_numbered(number) : nullptr;
}

const std::vector<const VertexMap*>& maps_of(LWID type) {
    static const std::vector<const VertexMap*> kNone;
    Scene* s = scene();
    if (!s) return kNone;
    try {
        return s->vmap_list(type);
    } catch (...) {
        return kNone;
    }
}

const VertexMap* map_at(LWID type, int index) {
    const std::vector<const VertexMap*>& maps = maps_of(type);
    if (index < 0 || std::size_t(index) >= maps.size()) return nullptr;
    return maps[std::size_t(index)];
}

// Texts handed out by userName, per object file; each is reassigned only
// when it changes, and a deque keeps earlier ones in place when it grows.
using UserNames = std::deque<std::string>;

int num_objects() noexcept {
    Scene* s = scene();
    return s ? int(s->meshes.size()) : 0;
}

const char* filename(int obj) noexcept {
    const MeshObject* mesh = mesh_at(obj);
    return mesh ? mesh->filename.c_str() : nullptr;
}

int max_layers(int obj) noexcept {
    const MeshObject* mesh = mesh_at(obj);
    return mesh ? mesh->layer_number_end() : 0;
}

int layer_exists(int obj, int layer) noexcept { return layer_at(obj, layer) ? 1 : 0; }

void pivot_point(int obj, int number, LWFVector pos) noexcept {
    if (!pos) return;
    const Layer* layer = layer_at(obj, number);
    for (int k = 0; k < 3; ++k) pos[k] = layer ? float(layer->pivot[k]) : 0.0f;
}

LWMeshInfo* layer_mesh(int obj, int number) noexcept {
    Host* host = Host::current();
    const MeshObject* mesh = mesh_at(obj);
    int index = mesh ? mesh->layer_index_numbered(number) : -1;
    if (!host || index < 0) return nullptr;
    return make_mesh_info(*host, obj, index, 0);
}

int num_vmaps(LWID type) noexcept { return int(maps_of(type).size()); }

const char* vmap_name(LWID type, int index) noexcept {
    const VertexMap* map = map_at(type, index);
    return map ? map->name.c_str() : nullptr;
}

int vmap_dim(LWID type, int index) noexcept {
    const VertexMap* map = map_at(type, index);
    return map ? map->dimension : 0;
}

LWID vmap_type(int index) noexcept {
    const VertexMap* map = map_at(0, index);
    return map ? map->type : 0;
}

const char* layer_name(int obj, int number) noexcept {
    const Layer* layer = layer_at(obj, number);
    return layer ? layer->name.c_str() : nullptr;
}

int layer_vis(int obj, int number) noexcept {
    const Layer* layer = layer_at(obj, number);
    return layer && !layer->hidden ? 1 : 0;
}

const char* user_name(int obj) noexcept {
    Host* host = Host::current();
    if (!host || !mesh_at(obj)) return nullptr;
    try {
        std::string name = host->scene.mesh_user_name(obj);
        auto& names = host->service_state<UserNames>("object user names");
        if (names.size() <= std::size_t(obj)) names.resize(std::size_t(obj) + 1);
        if (names[std::size_t(obj)] != name) names[std::size_t(obj)] = name;
        return names[std::size_t(obj)].c_str();
    } catch (...) {
        return nullptr;
    }
}

// The reference name is the file name: unique per object file in this host.
const char* ref_name(int obj) noexcept { return filename(obj); }

LWObjectFuncs g_scene_objects = {
    num_objects, filename, max_layers, layer_exists, pivot_point, layer_mesh, num_vmaps,
    vmap_name,   vmap_dim, vmap_type,  layer_name,   layer_vis,   user_name,  ref_name,
};

}  // namespace

void* scene_objects(Host&) { return &g_scene_objects; }

}  // namespace services
}  // namespace lwhost
