#include "scene.h"

#include <algorithm>
#include <cmath>

namespace lwhost {

namespace {

constexpr ItemId kObjectBase = 0x10000000u;
constexpr ItemId kLightBase = 0x20000000u;
constexpr ItemId kCameraBase = 0x30000000u;
constexpr ItemId kBoneBase = 0x40000000u;

constexpr std::uintptr_t kPolygonFlag = std::uintptr_t(1) << 62;

std::uintptr_t element_handle(int mesh, int layer, std::uint32_t index) {
    return (std::uintptr_t(mesh + 1) << 48) | (std::uintptr_t(layer) << 32) | (std::uintptr_t(index) + 1);
}

bool decode_element(std::uintptr_t handle, ElementRef& out) {
    std::uint32_t low = std::uint32_t(handle & 0xFFFFFFFFu);
    std::uintptr_t mesh = (handle >> 48) & 0x3FFF;
    if (low == 0 || mesh == 0) return false;
    out.mesh = int(mesh) - 1;
    out.layer = int((handle >> 32) & 0xFFFF);
    out.index = low - 1;
    return true;
}

}  // namespace

static_assert(sizeof(std::uintptr_t) >= 8, "element handles need 64-bit pointers");

std::uintptr_t point_handle(int mesh, int layer, std::uint32_t index) {
    return element_handle(mesh, layer, index);
}
std::uintptr_t polygon_handle(int mesh, int layer, std::uint32_t index) {
    return element_handle(mesh, layer, index) | kPolygonFlag;
}
bool decode_point(std::uintptr_t handle, ElementRef& out) {
    return (handle & kPolygonFlag) == 0 && decode_element(handle, out);
}
bool decode_polygon(std::uintptr_t handle, ElementRef& out) {
    return (handle & kPolygonFlag) != 0 && decode_element(handle & ~kPolygonFlag, out);
}

// Kind tags live in bits 56-63 with bit 63 set, where element handles always
// have 0 (their mesh field ends at bit 61, the polygon flag is bit 62).
namespace {
constexpr std::uintptr_t kKindMask = std::uintptr_t(0xFF) << 56;
constexpr std::uintptr_t kSurfaceKind = std::uintptr_t(0x81) << 56;
constexpr std::uintptr_t kTextureKind = std::uintptr_t(0x82) << 56;
constexpr std::uintptr_t kTextureLayerKind = std::uintptr_t(0x83) << 56;
constexpr std::uintptr_t kImageKind = std::uintptr_t(0x84) << 56;

std::uintptr_t indexed_handle(std::uintptr_t kind, int index) {
    return index < 0 ? 0 : kind | (std::uintptr_t(std::uint32_t(index)) + 1);
}

bool decode_indexed(std::uintptr_t handle, std::uintptr_t kind, int& out) {
    if ((handle & kKindMask) != kind) return false;
    std::uintptr_t low = handle & ~kKindMask;
    if (low == 0 || low > 0x80000000u) return false;
    out = int(low - 1);
    return true;
}
}  // namespace

std::uintptr_t surface_handle(int surface) { return indexed_handle(kSurfaceKind, surface); }
std::uintptr_t texture_handle(int surface) { return indexed_handle(kTextureKind, surface); }
std::uintptr_t image_handle(int image) { return indexed_handle(kImageKind, image); }
bool decode_surface(std::uintptr_t handle, int& surface) { return decode_indexed(handle, kSurfaceKind, surface); }
bool decode_texture(std::uintptr_t handle, int& surface) { return decode_indexed(handle, kTextureKind, surface); }
bool decode_image(std::uintptr_t handle, int& image) { return decode_indexed(handle, kImageKind, image); }

// Layer: surface + 1 in bits 24-55, layer + 1 in bits 0-23.
std::uintptr_t texture_layer_handle(int surface, int layer) {
    if (surface < 0 || layer < 0 || layer >= 0xFFFFFF || std::uint32_t(surface) >= 0xFFFFFFFFu) return 0;
    return kTextureLayerKind | ((std::uintptr_t(surface) + 1) << 24) | (std::uintptr_t(layer) + 1);
}
bool decode_texture_layer(std::uintptr_t handle, int& surface, int& layer) {
    if ((handle & kKindMask) != kTextureLayerKind) return false;
    std::uintptr_t s = (handle >> 24) & 0xFFFFFFFFu, l = handle & 0xFFFFFFu;
    if (s == 0 || l == 0 || s > 0x80000000u) return false;
    surface = int(s - 1);
    layer = int(l - 1);
    return true;
}

// ---------------------------------------------------------------------------
// Vertex maps

void VertexMap::set(std::uint32_t point, const float* value) {
    if (point >= row_of_point.size()) {
        if (!value) return;
        row_of_point.resize(std::size_t(point) + 1, -1);
    }
    std::int32_t& row = row_of_point[point];
    if (!value) {  // the row's storage stays; only the link goes
        row = -1;
        return;
    }
    if (row < 0) {
        row = std::int32_t(values.size() / std::size_t(dimension));
        values.resize(values.size() + std::size_t(dimension));
    }
    std::copy(value, value + dimension, values.begin() + std::ptrdiff_t(row) * dimension);
}

const float* VertexMap::get(std::uint32_t point) const {
    if (point >= row_of_point.size() || row_of_point[point] < 0) return nullptr;
    return values.data() + std::ptrdiff_t(row_of_point[point]) * dimension;
}

void VertexMap::set_for_polygon(std::uint32_t polygon, std::uint32_t point, const float* value) {
    std::uint64_t key = (std::uint64_t(polygon) << 32) | point;
    auto found = polygon_rows.find(key);
    if (!value) {
        if (found != polygon_rows.end()) polygon_rows.erase(found);
        return;
    }
    std::uint32_t row;
    if (found == polygon_rows.end()) {
        row = std::uint32_t(polygon_values.size() / std::size_t(dimension));
        polygon_values.resize(polygon_values.size() + std::size_t(dimension));
        polygon_rows.emplace(key, row);
    } else {
        row = found->second;
    }
    std::copy(value, value + dimension, polygon_values.begin() + std::ptrdiff_t(row) * dimension);
}

const float* VertexMap::get_for_polygon(std::uint32_t polygon, std::uint32_t point) const {
    if (polygon_rows.empty()) return nullptr;
    auto found = polygon_rows.find((std::uint64_t(polygon) << 32) | point);
    if (found == polygon_rows.end()) return nullptr;
    return polygon_values.data() + std::ptrdiff_t(found->second) * dimension;
}

VertexMap* Layer::find_vmap(std::uint32_t type, const std::string& name) {
    for (auto& map : vmaps)
        if (map.type == type && map.name == name) return &map;
    return nullptr;
}
const VertexMap* Layer::find_vmap(std::uint32_t type, const std::string& name) const {
    for (auto& map : vmaps)
        if (map.type == type && map.name == name) return &map;
    return nullptr;
}
VertexMap& Layer::vmap(std::uint32_t type, const std::string& name, int dimension) {
    if (VertexMap* found = find_vmap(type, name)) return *found;
    VertexMap& map = vmaps.emplace_back();
    map.type = type;
    map.name = name;
    map.dimension = dimension;
    return map;
}

int MeshObject::tag_index(const std::string& tag) {
    auto found = std::find(tags.begin(), tags.end(), tag);
    if (found != tags.end()) return int(found - tags.begin());
    tags.push_back(tag);
    return int(tags.size()) - 1;
}

// ---------------------------------------------------------------------------
// Envelopes

void Envelope::set_key(double time, double value, SpanType shape) {
    // Keys mostly arrive in time order (an import keys frame after frame):
    // appending needs no search.
    auto at = keys.end();
    if (keys.empty() || !(keys.back().time < time))
        at = std::lower_bound(keys.begin(), keys.end(), time, [](const Key& key, double t) { return key.time < t; });
    if (at != keys.end() && at->time == time) {
        at->value = value;
        return;
    }
    Key key;
    key.time = time;
    key.value = value;
    key.shape = shape;
    keys.insert(at, key);
}

// ---------------------------------------------------------------------------
// Items

const std::vector<ItemId> Scene::kNoItems;

ItemId Scene::add_object(const std::string& name, int mesh, int layer) {
    auto item = std::make_unique<Item>();
    item->id = kObjectBase | ItemId(objects_.size());
    item->type = ItemType::Object;
    item->name = name;
    item->mesh = mesh;
    item->layer = layer;
    item->flags = 1;
    ItemId id = item->id;
    objects_.push_back(std::move(item));
    object_ids_.push_back(id);
    bones_.emplace_back();
    bone_ids_.emplace_back();
    return id;
}

ItemId Scene::add_bone(ItemId object, const std::string& name, ItemId parent) {
    Item* owner = item(object);
    if (!owner || owner->type != ItemType::Object) return 0;
    std::size_t ordinal = object & 0xFFFF;
    auto item = std::make_unique<Item>();
    item->id = kBoneBase | (ItemId(bones_[ordinal].size()) << 16) | ItemId(ordinal);
    item->type = ItemType::Bone;
    item->name = name;
    item->flags = 1;
    item->bone.object = object;
    ItemId id = item->id;
    bones_[ordinal].push_back(std::move(item));
    bone_ids_[ordinal].push_back(id);
    set_parent(id, parent ? parent : object);
    return id;
}

ItemId Scene::add_light(const std::string& name) {
    auto item = std::make_unique<Item>();
    item->id = kLightBase | ItemId(lights_.size());
    item->type = ItemType::Light;
    item->name = name;
    item->flags = 1;
    ItemId id = item->id;
    lights_.push_back(std::move(item));
    light_ids_.push_back(id);
    return id;
}

ItemId Scene::add_camera(const std::string& name) {
    auto item = std::make_unique<Item>();
    item->id = kCameraBase | ItemId(cameras_.size());
    item->type = ItemType::Camera;
    item->name = name;
    item->flags = 1;
    ItemId id = item->id;
    cameras_.push_back(std::move(item));
    camera_ids_.push_back(id);
    return id;
}

void Scene::set_parent(ItemId id, ItemId parent) {
    Item* child = item(id);
    if (!child || parent == id) return;
    if (Item* old = item(child->parent)) {
        auto& siblings = old->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), id), siblings.end());
    }
    child->parent = 0;
    if (Item* now = item(parent)) {
        child->parent = parent;
        now->children.push_back(id);
    }
}

Item* Scene::item(ItemId id) {
    return const_cast<Item*>(static_cast<const Scene*>(this)->item(id));
}

const Item* Scene::item(ItemId id) const {
    switch (id & 0xF0000000u) {
    case kObjectBase: {
        std::size_t n = id & 0x0FFFFFFFu;
        return n < objects_.size() ? objects_[n].get() : nullptr;
    }
    case kLightBase: {
        std::size_t n = id & 0x0FFFFFFFu;
        return n < lights_.size() ? lights_[n].get() : nullptr;
    }
    case kCameraBase: {
        std::size_t n = id & 0x0FFFFFFFu;
        return n < cameras_.size() ? cameras_[n].get() : nullptr;
    }
    case kBoneBase: {
        std::size_t object = id & 0xFFFFu, n = (id >> 16) & 0xFFFu;
        if (object >= bones_.size() || n >= bones_[object].size()) return nullptr;
        return bones_[object][n].get();
    }
    default:
        return nullptr;
    }
}

const std::vector<ItemId>& Scene::items(ItemType type) const {
    switch (type) {
    case ItemType::Object: return object_ids_;
    case ItemType::Light: return light_ids_;
    case ItemType::Camera: return camera_ids_;
    case ItemType::Bone: return kNoItems;  // bones are enumerated per object
    }
    return kNoItems;
}

const std::vector<ItemId>& Scene::bones_of(ItemId object) const {
    if ((object & 0xF0000000u) != kObjectBase) return kNoItems;
    std::size_t ordinal = object & 0x0FFFFFFFu;
    return ordinal < bone_ids_.size() ? bone_ids_[ordinal] : kNoItems;
}

ItemId Scene::find_item(const std::string& name) const {
    for (auto* list : {&objects_, &lights_, &cameras_})
        for (auto& item : *list)
            if (item->name == name) return item->id;
    for (auto& per_object : bones_)
        for (auto& bone : per_object)
            if (bone->name == name) return bone->id;
    return 0;
}

// ---------------------------------------------------------------------------
// Meshes, surfaces, images

int Scene::add_mesh(const std::string& filename) {
    auto mesh = std::make_unique<MeshObject>();
    mesh->filename = filename;
    meshes.push_back(std::move(mesh));
    return int(meshes.size()) - 1;
}

MeshObject* Scene::mesh_of(ItemId object) {
    Item* it = item(object);
    if (!it || it->type != ItemType::Object || it->mesh < 0 || std::size_t(it->mesh) >= meshes.size())
        return nullptr;
    return meshes[std::size_t(it->mesh)].get();
}

Layer* Scene::layer_of(ItemId object) {
    MeshObject* mesh = mesh_of(object);
    if (!mesh) return nullptr;
    int layer = item(object)->layer;
    if (layer < 0 || std::size_t(layer) >= mesh->layers.size()) return nullptr;
    return &mesh->layers[std::size_t(layer)];
}

Surface& Scene::add_surface(int mesh, const std::string& name) {
    auto surface = std::make_unique<Surface>();
    surface->name = name;
    surface->mesh = mesh;
    surfaces.push_back(std::move(surface));
    return *surfaces.back();
}

Surface* Scene::find_surface(int mesh, const std::string& name) {
    for (auto& surface : surfaces)
        if (surface->mesh == mesh && surface->name == name) return surface.get();
    return nullptr;
}

int Scene::add_image(const std::string& name, const std::string& filename, int width, int height) {
    auto image = std::make_unique<Image>();
    image->name = name;
    image->filename = filename;
    image->width = width;
    image->height = height;
    image->rgb.assign(std::size_t(width) * std::size_t(height) * 3, 0);
    images.push_back(std::move(image));
    return int(images.size()) - 1;
}

std::vector<const VertexMap*> Scene::vmaps_of_type(std::uint32_t type) const {
    std::vector<const VertexMap*> found;
    for (auto& mesh : meshes)
        for (auto& layer : mesh->layers)
            for (auto& map : layer.vmaps) {
                if (map.type != type) continue;
                bool seen = std::any_of(found.begin(), found.end(),
                                        [&](const VertexMap* other) { return other->name == map.name; });
                if (!seen) found.push_back(&map);
            }
    return found;
}

}  // namespace lwhost
