#include "scene.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>
#include <stdexcept>
#include <unordered_set>

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

namespace {

// Removed rows are dropped once they outnumber the rest: each removal costs
// O(1) on average, and a map never holds more than twice its values.
bool mostly_removed(std::size_t removed, std::size_t rows) { return removed * 2 > rows; }

// The corners of the polygon added last are found by a scan while they are
// this few; a polygon with more of them uses the index.
constexpr std::size_t kShortRun = 32;

}  // namespace

void VertexMap::RowIndex::reset(std::size_t rows) {
    std::size_t size = 8;
    while (size * 3 < (rows + 1) * 4) size *= 2;
    slots_.assign(size, 0);
    used_ = 0;
    shift_ = 64;
    for (std::size_t s = size; s > 1; s >>= 1) --shift_;
}

void VertexMap::RowIndex::clear() {
    std::vector<std::uint32_t>().swap(slots_);
    used_ = 0;
}

void VertexMap::RowIndex::insert(std::uint64_t key, std::uint32_t row) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = slot_of(key);
    while (slots_[at] != 0) at = (at + 1) & mask;
    slots_[at] = row + 1;
    ++used_;
}

VertexMap::VertexMap(std::uint32_t type, std::string name, int dimension)
    : type(type), name(std::move(name)), dimension(dimension) {
    if (dimension < 0) throw std::invalid_argument("vertex map dimension below 0");
}

namespace {
// Dimension 0 (a map that only marks points) still needs a non-null value.
const float kNoFloats[1] = {0.0f};
}  // namespace

const float* VertexMap::point_value_at(std::size_t row) const {
    return dimension ? values_.data() + row * std::size_t(dimension) : kNoFloats;
}
const float* VertexMap::corner_value_at(std::size_t row) const {
    return dimension ? corner_values_.data() + row * std::size_t(dimension) : kNoFloats;
}

// --- Per point

std::uint32_t VertexMap::point_row(std::uint32_t point) const {
    if (point >= point_end_) return kNone;
    if (contiguous_) {
        if (point < first_point_) return kNone;
        const std::size_t row = point - first_point_;
        return row < points_.size() && points_[row] == point ? std::uint32_t(row) : kNone;
    }
    if (!point_index_.built() && !index_points()) {
        // No memory for the index: slow, but right.
        for (std::size_t row = 0; row < points_.size(); ++row)
            if (points_[row] == point) return std::uint32_t(row);
        return kNone;
    }
    return point_index_.find(point, [&](std::uint32_t row) { return points_[row] == point; });
}

bool VertexMap::index_points() const {
    try {
        RowIndex index;
        index.reset(value_count());
        for (std::size_t row = 0; row < points_.size(); ++row)
            if (points_[row] != kNone) index.insert(points_[row], std::uint32_t(row));
        point_index_ = std::move(index);
        return true;
    } catch (const std::bad_alloc&) {
        point_index_.clear();
        return false;
    }
}

void VertexMap::append_point(std::uint32_t point, const float* value) {
    const std::size_t row = points_.size();
    if (row >= kNone - 1) throw std::length_error("vertex map rows");
    values_.insert(values_.end(), value, value + dimension);
    try {
        points_.push_back(point);
    } catch (...) {
        values_.resize(values_.size() - std::size_t(dimension));
        throw;
    }
    if (row == 0) {
        first_point_ = point;
        contiguous_ = true;
    } else if (contiguous_ && std::uint64_t(point) != std::uint64_t(first_point_) + row) {
        contiguous_ = false;
    }
    if (point >= point_end_) point_end_ = point + 1;
    if (!point_index_.built()) return;  // built when a lookup needs it
    if (point_index_.full()) index_points();
    else point_index_.insert(point, std::uint32_t(row));
}

void VertexMap::set(std::uint32_t point, const float* value) {
    if (point == kNone) return;
    const std::uint32_t row = point_row(point);
    if (!value) {
        if (row == kNone) return;
        points_[row] = kNone;  // keeps its slot in the index, where it matches nothing
        ++dead_points_;
        if (mostly_removed(dead_points_, points_.size())) drop_removed_points();
        return;
    }
    if (row == kNone) append_point(point, value);
    else std::copy(value, value + dimension, values_.begin() + std::ptrdiff_t(row) * dimension);
}

const float* VertexMap::get(std::uint32_t point) const {
    const std::uint32_t row = point_row(point);
    return row == kNone ? nullptr : point_value_at(row);
}

void VertexMap::drop_removed_points() {
    const std::size_t dim = std::size_t(dimension);
    std::size_t kept = 0;
    for (std::size_t row = 0; row < points_.size(); ++row) {
        if (points_[row] == kNone) continue;
        if (kept != row) {
            points_[kept] = points_[row];
            std::copy_n(values_.begin() + std::ptrdiff_t(row * dim), dim, values_.begin() + std::ptrdiff_t(kept * dim));
        }
        ++kept;
    }
    points_.resize(kept);
    values_.resize(kept * dim);
    recount_points();
}

void VertexMap::recount_points() {
    dead_points_ = 0;
    point_end_ = 0;
    first_point_ = points_.empty() ? 0 : points_[0];
    contiguous_ = true;
    for (std::size_t row = 0; row < points_.size(); ++row) {
        const std::uint32_t point = points_[row];
        if (point == kNone) {
            ++dead_points_;
            continue;
        }
        if (point >= point_end_) point_end_ = point + 1;
        if (std::uint64_t(point) != std::uint64_t(first_point_) + row) contiguous_ = false;
    }
    point_index_.clear();
}

// --- Per polygon

namespace {
std::uint64_t corner_key(std::uint32_t polygon, std::uint32_t point) {
    return (std::uint64_t(polygon) << 32) | point;
}
}  // namespace

std::uint32_t VertexMap::corner_row(std::uint32_t polygon, std::uint32_t point) const {
    if (polygon >= polygon_end_) return kNone;
    auto holds = [&](std::size_t row) { return corners_[row].polygon == polygon && corners_[row].point == point; };
    if (polygon + 1 == polygon_end_ && last_run_ != kNone && corners_.size() - last_run_ <= kShortRun) {
        for (std::size_t row = last_run_; row < corners_.size(); ++row)
            if (holds(row)) return std::uint32_t(row);
        return kNone;
    }
    if (!corner_index_.built() && !index_corners()) {
        for (std::size_t row = 0; row < corners_.size(); ++row)
            if (holds(row)) return std::uint32_t(row);
        return kNone;
    }
    return corner_index_.find(corner_key(polygon, point), holds);
}

bool VertexMap::index_corners() const {
    try {
        RowIndex index;
        index.reset(polygon_value_count());
        for (std::size_t row = 0; row < corners_.size(); ++row)
            if (corners_[row].polygon != kNone)
                index.insert(corner_key(corners_[row].polygon, corners_[row].point), std::uint32_t(row));
        corner_index_ = std::move(index);
        return true;
    } catch (const std::bad_alloc&) {
        corner_index_.clear();
        return false;
    }
}

void VertexMap::append_corner(std::uint32_t polygon, std::uint32_t point, const float* value) {
    const std::size_t row = corners_.size();
    if (row >= kNone - 1) throw std::length_error("vertex map rows");
    corner_values_.insert(corner_values_.end(), value, value + dimension);
    try {
        corners_.push_back(Corner{polygon, point});
    } catch (...) {
        corner_values_.resize(corner_values_.size() - std::size_t(dimension));
        throw;
    }
    if (polygon >= polygon_end_) {
        polygon_end_ = polygon + 1;
        last_run_ = std::uint32_t(row);
    }
    if (!corner_index_.built()) return;
    if (corner_index_.full()) index_corners();
    else corner_index_.insert(corner_key(polygon, point), std::uint32_t(row));
}

void VertexMap::set_for_polygon(std::uint32_t polygon, std::uint32_t point, const float* value) {
    if (polygon == kNone || point == kNone) return;
    const std::uint32_t row = corner_row(polygon, point);
    if (!value) {
        if (row == kNone) return;
        corners_[row].polygon = kNone;
        ++dead_corners_;
        if (mostly_removed(dead_corners_, corners_.size())) drop_removed_corners();
        return;
    }
    if (row == kNone) append_corner(polygon, point, value);
    else std::copy(value, value + dimension, corner_values_.begin() + std::ptrdiff_t(row) * dimension);
}

const float* VertexMap::get_for_polygon(std::uint32_t polygon, std::uint32_t point) const {
    const std::uint32_t row = corner_row(polygon, point);
    return row == kNone ? nullptr : corner_value_at(row);
}

void VertexMap::drop_removed_corners() {
    const std::size_t dim = std::size_t(dimension);
    std::size_t kept = 0;
    for (std::size_t row = 0; row < corners_.size(); ++row) {
        if (corners_[row].polygon == kNone) continue;
        if (kept != row) {
            corners_[kept] = corners_[row];
            std::copy_n(corner_values_.begin() + std::ptrdiff_t(row * dim), dim,
                        corner_values_.begin() + std::ptrdiff_t(kept * dim));
        }
        ++kept;
    }
    corners_.resize(kept);
    corner_values_.resize(kept * dim);
    recount_corners();
}

void VertexMap::recount_corners() {
    dead_corners_ = 0;
    polygon_end_ = 0;
    for (const Corner& corner : corners_) {
        if (corner.polygon == kNone) ++dead_corners_;
        else if (corner.polygon >= polygon_end_) polygon_end_ = corner.polygon + 1;
    }
    last_run_ = kNone;
    corner_index_.clear();
}

// --- Both

void VertexMap::renumber(const std::vector<std::int64_t>& point_to, const std::vector<std::int64_t>& polygon_to) {
    auto new_number = [](const std::vector<std::int64_t>& to, std::uint32_t old) -> std::uint32_t {
        if (old >= to.size() || to[old] < 0 || to[old] >= std::int64_t(kNone)) return kNone;
        return std::uint32_t(to[old]);
    };
    for (std::uint32_t& point : points_)
        if (point != kNone) point = new_number(point_to, point);
    for (Corner& corner : corners_) {
        if (corner.polygon == kNone) continue;
        corner.point = new_number(point_to, corner.point);
        corner.polygon = corner.point == kNone ? kNone : new_number(polygon_to, corner.polygon);
    }
    drop_removed_points();
    drop_removed_corners();
}

std::size_t VertexMap::memory_bytes() const {
    return points_.capacity() * sizeof(std::uint32_t) + values_.capacity() * sizeof(float) + point_index_.bytes() +
           corners_.capacity() * sizeof(Corner) + corner_values_.capacity() * sizeof(float) + corner_index_.bytes();
}

const char* VertexMap::storage_fault() const {
    const std::size_t dim = std::size_t(dimension);
    if (values_.size() != points_.size() * dim) return "per-point rows and values differ in number";
    if (corner_values_.size() != corners_.size() * dim) return "per-polygon rows and values differ in number";
    std::size_t removed = 0;
    for (std::size_t row = 0; row < points_.size(); ++row) {
        if (points_[row] == kNone) {
            ++removed;
            continue;
        }
        if (point_row(points_[row]) != row) return "a per-point value is not found under its point";
    }
    if (removed != dead_points_) return "removed per-point rows miscounted";
    removed = 0;
    for (std::size_t row = 0; row < corners_.size(); ++row) {
        if (corners_[row].polygon == kNone) {
            ++removed;
            continue;
        }
        if (corner_row(corners_[row].polygon, corners_[row].point) != row)
            return "a per-polygon value is not found under its polygon and point";
    }
    if (removed != dead_corners_) return "removed per-polygon rows miscounted";
    return nullptr;
}

// --- The layer's list

namespace {
std::atomic<std::uint64_t> g_vmap_list_generation{0};
void next_generation() { g_vmap_list_generation.fetch_add(1, std::memory_order_relaxed); }
}  // namespace

std::uint64_t VertexMapList::generation() { return g_vmap_list_generation.load(std::memory_order_relaxed); }

VertexMapList::VertexMapList() { next_generation(); }

VertexMapList::VertexMapList(const VertexMapList& other) {
    maps_.reserve(other.maps_.size());
    for (const auto& map : other.maps_) maps_.push_back(std::make_unique<VertexMap>(*map));
    reindex();
    next_generation();
}

// The index's names view the maps themselves, which do not move.
VertexMapList::VertexMapList(VertexMapList&& other) noexcept
    : maps_(std::move(other.maps_)), index_(std::move(other.index_)) {
    other.maps_.clear();
    other.index_.clear();
    next_generation();
}

VertexMapList& VertexMapList::operator=(const VertexMapList& other) {
    if (this != &other) *this = VertexMapList(other);
    return *this;
}

VertexMapList& VertexMapList::operator=(VertexMapList&& other) noexcept {
    if (this != &other) {
        maps_ = std::move(other.maps_);
        index_ = std::move(other.index_);
        other.maps_.clear();
        other.index_.clear();
    }
    next_generation();
    return *this;
}

VertexMapList::~VertexMapList() { next_generation(); }

void VertexMapList::reindex() {
    index_.clear();
    index_.reserve(maps_.size());
    for (std::size_t i = 0; i < maps_.size(); ++i) index_.emplace(Key{maps_[i]->type, maps_[i]->name}, i);
}

std::size_t VertexMapList::index_of(std::uint32_t type, std::string_view name) const {
    auto found = index_.find(Key{type, name});
    return found == index_.end() ? npos : found->second;
}

VertexMap* VertexMapList::find(std::uint32_t type, std::string_view name) {
    std::size_t at = index_of(type, name);
    return at == npos ? nullptr : maps_[at].get();
}

const VertexMap* VertexMapList::find(std::uint32_t type, std::string_view name) const {
    std::size_t at = index_of(type, name);
    return at == npos ? nullptr : maps_[at].get();
}

VertexMap& VertexMapList::add(std::uint32_t type, std::string_view name, int dimension) {
    if (VertexMap* found = find(type, name)) return *found;
    auto map = std::make_unique<VertexMap>(type, std::string(name), dimension);
    if (maps_.size() == maps_.capacity()) maps_.reserve(std::max<std::size_t>(4, maps_.size() * 2));
    index_.emplace(Key{map->type, map->name}, maps_.size());
    maps_.push_back(std::move(map));  // room reserved: cannot throw
    next_generation();
    return *maps_.back();
}

int MeshObject::tag_index(const std::string& tag) {
    auto found = std::find(tags.begin(), tags.end(), tag);
    if (found != tags.end()) return int(found - tags.begin());
    tags.push_back(tag);
    return int(tags.size()) - 1;
}

// ---------------------------------------------------------------------------
// Envelopes

// An animated scene holds millions of keys; their size is most of its memory.
static_assert(sizeof(Key) <= 24, "a key holds its time, value, shape and parameter row, nothing more");

const KeyParams& Envelope::params(const Key& key) const {
    static const KeyParams kNone;
    return key.param_row != 0 && key.param_row <= param_rows.size() ? param_rows[key.param_row - 1] : kNone;
}

KeyParams& Envelope::edit_params(std::size_t k) {
    Key& key = keys.at(k);
    if (key.param_row == 0 || key.param_row > param_rows.size()) {
        param_rows.emplace_back();
        key.param_row = std::uint32_t(param_rows.size());
    }
    return param_rows[key.param_row - 1];
}

void Envelope::set_key(double time, double value, SpanType shape, std::size_t later_keys) {
    Key key;
    key.time = time;
    key.value = value;
    key.shape = shape;
    // Keys mostly arrive in time order (an import keys frame after frame):
    // appending needs no search.
    if (keys.empty() || keys.back().time < time) {
        const std::size_t size = keys.size();
        if (size == keys.capacity()) keys.reserve(size + 1 + std::min(size, later_keys));
        keys.push_back(key);
        return;
    }
    auto at = std::lower_bound(keys.begin(), keys.end(), time, [](const Key& k, double t) { return k.time < t; });
    if (at != keys.end() && at->time == time) {
        at->value = value;
        return;
    }
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
    if (bones_[ordinal].size() >= kMaxBonesPerObject) return 0;  // the next ordinal would spill into the type
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

bool Scene::set_parent(ItemId id, ItemId parent) {
    Item* child = item(id);
    if (!child) return false;
    // The item must not be above its new parent. Scenes are kept free of
    // loops, so the climb ends; the bound is for parents set by hand.
    std::size_t steps = objects_.size() + lights_.size() + cameras_.size();
    for (const auto& per_object : bones_) steps += per_object.size();
    for (const Item* above = item(parent); above && steps > 0; above = item(above->parent), --steps)
        if (above->id == id) return false;
    if (Item* old = item(child->parent)) {
        auto& siblings = old->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), id), siblings.end());
    }
    child->parent = 0;
    if (Item* now = item(parent)) {
        child->parent = parent;
        now->children.push_back(id);
    }
    return true;
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
    std::unordered_set<VertexMapList::Key, VertexMapList::KeyHash> seen;
    for (auto& mesh : meshes)
        for (auto& layer : mesh->layers)
            for (const VertexMap& map : layer.vmaps)
                if ((type == 0 || map.type == type) && seen.insert({map.type, map.name}).second)
                    found.push_back(&map);
    return found;
}

}  // namespace lwhost
