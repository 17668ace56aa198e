// "Scene Objects 4": the scene's object files by index (host.scene.meshes),
// their layers, and the scene's vertex map names.
//
// Layers are addressed by their LAYR number (Layer::number), as in the object
// file; maxLayers is one more than the highest number. Vertex maps are listed
// over the whole scene, each (type, name) once, in the order first met (mesh,
// then layer, then map order); type 0 lists every type. The list is kept
// between calls (see VmapListCache).
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
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

// Index into MeshObject::layers of the layer with that LAYR number, or -1.
int layer_index(const MeshObject* mesh, int number) {
    if (!mesh) return -1;
    for (std::size_t i = 0; i < mesh->layers.size(); ++i)
        if (mesh->layers[i].number == number) return int(i);
    return -1;
}

const Layer* layer_at(int obj, int number) {
    const MeshObject* mesh = mesh_at(obj);
    int index = layer_index(mesh, number);
    return index < 0 ? nullptr : &mesh->layers[std::size_t(index)];
}

// The scene's map list, made when first asked for and kept while it can
// still be right: for the same scene, the same number of object files, and
// the same generation of layer map lists (which moves whenever a layer or
// its map list is made, copied, moved, replaced, added to or destroyed, so
// also when a mesh edit's layer copy is committed or an object file goes).
// Values changing does not matter to names. Object files are never
// reordered (items refer to them by index). A plug-in lists n names with
// n + 1 calls, so each must be O(1).
struct VmapListCache {
    const Scene* scene = nullptr;
    std::size_t meshes = 0;
    std::uint64_t generation = 0;
    bool valid = false;
    std::vector<const VertexMap*> all;  // type 0
    std::unordered_map<std::uint32_t, std::vector<const VertexMap*>> by_type;
};

const std::vector<const VertexMap*>& maps_of(LWID type) {
    static const std::vector<const VertexMap*> kNone;
    Host* host = Host::current();
    if (!host) return kNone;
    try {
        VmapListCache& cache = host->service_state<VmapListCache>("vmap list");
        const Scene& s = host->scene;
        const std::uint64_t generation = VertexMapList::generation();
        if (!cache.valid || cache.scene != &s || cache.meshes != s.meshes.size() || cache.generation != generation) {
            cache.valid = false;
            cache.by_type.clear();
            cache.all = s.vmaps_of_type(0);
            // Filtering the first-met list by type keeps each type's first-met order.
            for (const VertexMap* map : cache.all) cache.by_type[map->type].push_back(map);
            cache.scene = &s;
            cache.meshes = s.meshes.size();
            cache.generation = generation;
            cache.valid = true;
        }
        if (type == 0) return cache.all;
        auto found = cache.by_type.find(type);
        return found == cache.by_type.end() ? kNone : found->second;
    } catch (...) {
        return kNone;
    }
}

const VertexMap* map_at(LWID type, int index) {
    const std::vector<const VertexMap*>& maps = maps_of(type);
    if (index < 0 || std::size_t(index) >= maps.size()) return nullptr;
    return maps[std::size_t(index)];
}

// Per-object texts made on request; each is reassigned only when it changes,
// and a deque keeps earlier ones in place when it grows.
std::deque<std::string>& user_names() {
    static std::deque<std::string> names;
    return names;
}

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
    if (!mesh) return 0;
    int highest = -1;
    for (const Layer& layer : mesh->layers) highest = layer.number > highest ? layer.number : highest;
    return highest + 1;
}

int layer_exists(int obj, int layer) noexcept { return layer_at(obj, layer) ? 1 : 0; }

void pivot_point(int obj, int number, LWFVector pos) noexcept {
    if (!pos) return;
    const Layer* layer = layer_at(obj, number);
    for (int k = 0; k < 3; ++k) pos[k] = layer ? float(layer->pivot[k]) : 0.0f;
}

LWMeshInfo* layer_mesh(int obj, int number) noexcept {
    Host* host = Host::current();
    int index = layer_index(mesh_at(obj), number);
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

// The name Layout shows: the first object item loaded from the file, or the
// file's base name without extension when no item shows it.
const char* user_name(int obj) noexcept {
    Scene* s = scene();
    const MeshObject* mesh = mesh_at(obj);
    if (!mesh) return nullptr;
    try {
        std::string name;
        for (ItemId id : s->items(ItemType::Object)) {
            const Item* item = s->item(id);
            if (item && item->mesh == obj) {
                name = item->name;
                break;
            }
        }
        if (name.empty()) {
            name = mesh->filename;
            std::size_t slash = name.find_last_of("/\\:");
            if (slash != std::string::npos) name.erase(0, slash + 1);
            std::size_t dot = name.rfind('.');
            if (dot != std::string::npos && dot > 0) name.erase(dot);
        }
        auto& names = user_names();
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
