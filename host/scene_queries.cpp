// What the services ask of the scene over and over: live element counts,
// bounding boxes, layers by number, the scene's vertex map list and the
// names Layout shows. Declared in scene.h.
#include <algorithm>

#include "scene.h"

namespace lwhost {

std::size_t Layer::live_point_count() const {
    return std::size_t(std::count_if(points.begin(), points.end(), [](const Point& p) { return !p.deleted; }));
}

std::size_t Layer::live_polygon_count() const {
    return std::size_t(
        std::count_if(polygons.begin(), polygons.end(), [](const Polygon& p) { return !p.deleted; }));
}

void BoundingBox::add(const double position[3]) {
    for (int a = 0; a < 3; ++a) {
        if (points == 0 || position[a] < minmax[2 * a]) minmax[2 * a] = position[a];
        if (points == 0 || position[a] > minmax[2 * a + 1]) minmax[2 * a + 1] = position[a];
    }
    ++points;
}

void BoundingBox::add_live_points(const Layer& layer) {
    for (const Point& p : layer.points)
        if (!p.deleted) add(p.position);
}

int MeshObject::layer_index_numbered(int number) const {
    for (std::size_t i = 0; i < layers.size(); ++i)
        if (layers[i].number == number) return int(i);
    return -1;
}

const Layer* MeshObject::layer_numbered(int number) const {
    int index = layer_index_numbered(number);
    return index < 0 ? nullptr : &layers[std::size_t(index)];
}

int MeshObject::layer_number_end() const {
    int highest = -1;
    for (const Layer& layer : layers) highest = std::max(highest, layer.number);
    return highest + 1;
}

const VertexMap* MeshObject::first_vmap(std::uint32_t type) const {
    for (const Layer& layer : layers)
        for (const VertexMap& map : layer.vmaps)
            if (map.type == type) return &map;
    return nullptr;
}

// The generation moves whenever a layer or its map list is made, copied,
// moved, replaced, added to or destroyed, so also when a mesh edit's layer
// copy is committed or an object file goes. Values changing does not matter
// to names. Object files are never reordered (items refer to them by index).
const std::vector<const VertexMap*>& Scene::vmap_list(std::uint32_t type) const {
    static const std::vector<const VertexMap*> kNone;
    VmapListCache& cache = vmap_list_;
    const std::uint64_t generation = VertexMapList::generation();
    if (!cache.valid || cache.meshes != meshes.size() || cache.generation != generation) {
        cache.valid = false;
        cache.by_type.clear();
        cache.all = vmaps_of_type(0);
        // Splitting the first-met list by type keeps each type's first-met order.
        for (const VertexMap* map : cache.all) cache.by_type[map->type].push_back(map);
        cache.meshes = meshes.size();
        cache.generation = generation;
        cache.valid = true;
    }
    if (type == 0) return cache.all;
    auto found = cache.by_type.find(type);
    return found == cache.by_type.end() ? kNone : found->second;
}

std::string Scene::mesh_user_name(int mesh) const {
    if (mesh < 0 || std::size_t(mesh) >= meshes.size()) return {};
    std::string name;
    for (ItemId id : items(ItemType::Object)) {
        const Item* shown = item(id);
        if (shown && shown->mesh == mesh) {
            name = shown->name;
            break;
        }
    }
    if (!name.empty()) return name;
    name = meshes[std::size_t(mesh)]->filename;
    std::size_t slash = name.find_last_of("/\\:");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

}  // namespace lwhost
