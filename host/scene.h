// The headless host's scene: what Layout and Modeler would hold in memory.
//
// Shaped after LightWave's own files so that an object (LWO2) or scene (LWS)
// reader can fill it directly:
//   - `MeshObject` is one object file: layers of points and polygons, the
//     file's tag strings, vertex maps per layer (per-point values like VMAP,
//     per-polygon-per-point values like VMAD).
//   - `Item` is one Layout item: objects (a layer of a `MeshObject`, or a null),
//     bones, lights and cameras, with the scene file's numbering as item IDs.
//   - `Surface` and `Image` are the scene's surface and image lists.
//   - Scene-wide settings (frames per second, ranges, current time, selection,
//     bounding-box threshold) and Modeler's edit state (current object,
//     foreground/background layers, element selection).
//
// The scene knows nothing about plug-ins or the SDK records: the service
// adapters under services/ translate between the two. Elements are addressed
// by index; `element_id` turns an index into the pointer-sized handle the
// plug-ins see and back, in O(1).
#pragma once

#include <array>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "big_block.h"

namespace lwhost {

// Arrays that grow with the mesh, in big blocks (see big_block.h).
template <class T>
using BulkVector = BigVector<T>;

// Four-character codes, first character in the most significant byte.
constexpr std::uint32_t fourcc(char a, char b, char c, char d) {
    return (std::uint32_t(std::uint8_t(a)) << 24) | (std::uint32_t(std::uint8_t(b)) << 16) |
           (std::uint32_t(std::uint8_t(c)) << 8) | std::uint32_t(std::uint8_t(d));
}
inline constexpr std::uint32_t kFace = fourcc('F', 'A', 'C', 'E');
inline constexpr std::uint32_t kCurve = fourcc('C', 'U', 'R', 'V');
inline constexpr std::uint32_t kPatch = fourcc('P', 'T', 'C', 'H');
inline constexpr std::uint32_t kSubdivision = fourcc('S', 'U', 'B', 'D');
inline constexpr std::uint32_t kBone = fourcc('B', 'O', 'N', 'E');
inline constexpr std::uint32_t kSurfTag = fourcc('S', 'U', 'R', 'F');
inline constexpr std::uint32_t kPartTag = fourcc('P', 'A', 'R', 'T');
inline constexpr std::uint32_t kTexUV = fourcc('T', 'X', 'U', 'V');
inline constexpr std::uint32_t kWeight = fourcc('W', 'G', 'H', 'T');

// ---------------------------------------------------------------------------
// Items

enum class ItemType : int { Object = 0, Light = 1, Camera = 2, Bone = 3 };

// Item IDs follow the scene file's numbering: the top hex digit is the type
// (1 object, 2 light, 3 camera, 4 bone), then the ordinal; a bone carries its
// ordinal within its object in bits 16-27 and the object's ordinal in bits
// 0-15. 0 is "no item". Only the low 32 bits are meaningful, as in Layout.
using ItemId = std::uint32_t;

enum class SpanType : int { TCB = 0, Hermite = 1, Bezier1D = 2, Linear = 3, Stepped = 4, Bezier2D = 5 };
enum class Behavior : int { Reset = 0, Constant = 1, Repeat = 2, Oscillate = 3, OffsetRepeat = 4, Linear = 5 };

// The span parameters of a key, in the order the scene file lists them
// after the span type. What they mean depends on the key's shape: TCB keys
// tension, continuity, bias (the accessors below); Hermite and 1D Bezier
// keys param[0] (incoming) and param[1] (outgoing) tangents; 2D Bezier keys
// param[0..3] (in time, in value, out time, out value). A key has one
// shape, so the kinds share the array.
struct KeyParams {
    double param[4] = {0.0, 0.0, 0.0, 0.0};

    double& tension() { return param[0]; }
    double& continuity() { return param[1]; }
    double& bias() { return param[2]; }
    double tension() const { return param[0]; }
    double continuity() const { return param[1]; }
    double bias() const { return param[2]; }
};

// One key of an envelope. `shape` is the span type of the interval that ends
// at this key. Its parameters are kept by the envelope (Envelope::params):
// an animated scene holds millions of keys and hardly any has parameters
// (none the Layout commands set), so a key is 24 bytes.
struct Key {
    double time = 0.0;  // seconds
    double value = 0.0;
    SpanType shape = SpanType::TCB;
    std::uint32_t param_row = 0;  // 1 + its row of Envelope::param_rows; 0: every parameter 0
};

struct Envelope {
    std::vector<Key> keys;  // ascending time
    std::vector<KeyParams> param_rows;  // parameters of the keys that have a row
    Behavior pre = Behavior::Constant;
    Behavior post = Behavior::Constant;

    // The parameters of a key of this envelope: all 0 for a key without a
    // row (or with a row number this envelope does not have).
    const KeyParams& params(const Key& key) const;
    // keys[k]'s parameters, to be changed; a key without a row gets one of
    // zeros. A row stays with its key however the keys are moved.
    KeyParams& edit_params(std::size_t k);

    // Adds a key or replaces the value of the key at exactly that time.
    // `later_keys` is how many keys at most the caller expects after this
    // one (kUnknownLaterKeys: no idea). When the array must grow for a key
    // appended at the end it grows by no more than that, and never by more
    // than doubling: keying every frame up to a known last frame leaves no
    // room unused.
    static constexpr std::size_t kUnknownLaterKeys = std::size_t(-1);
    void set_key(double time, double value, SpanType shape = SpanType::TCB,
                 std::size_t later_keys = kUnknownLaterKeys);
    // Value at `time` seconds; `fallback` when the envelope has no key.
    double evaluate(double time, double fallback) const;

    // The span the last evaluation fell in. Playback and frame stepping ask
    // for times in order, so the next time is nearly always in this span or
    // the one after it; checked before use, so edits to `keys` need not
    // touch it.
    mutable std::size_t span_hint = 0;
};

enum Channel : int {
    kPositionX, kPositionY, kPositionZ, kHeading, kPitch, kBank, kScaleX, kScaleY, kScaleZ, kChannelCount
};

struct BoneData {
    ItemId object = 0;           // owning object
    double rest_position[3] = {0, 0, 0};   // relative to the parent
    double rest_rotation[3] = {0, 0, 0};   // heading, pitch, bank, radians
    double rest_length = 1.0;
    std::string weight_map;       // empty: no weight map (a null bone)
    bool weight_map_only = false;
    double strength = 1.0;
    unsigned flags = 1;           // LWBONEF_* bits; active by default
    int falloff = 0;
};

struct Item {
    ItemId id = 0;
    ItemType type = ItemType::Object;
    std::string name;
    ItemId parent = 0;
    std::vector<ItemId> children;  // child order, as the schematic lists them
    ItemId target = 0;
    ItemId goal = 0;
    double goal_strength = 1.0;
    unsigned flags = 0;           // LWITEMF_* bits of Item Info
    std::array<Envelope, kChannelCount> motion;
    double pivot[3] = {0, 0, 0};
    double pivot_rotation[3] = {0, 0, 0};  // heading, pitch, bank, radians
    // Objects: the mesh object and its layer index this item shows; -1 for a null.
    int mesh = -1;
    int layer = 0;
    BoneData bone;  // bones only
    std::vector<std::string> tags;  // Item Info getTag/setTag, tag 1 first
};

// ---------------------------------------------------------------------------
// Meshes

struct Point {
    double position[3] = {0, 0, 0};
    bool selected = false;
    bool deleted = false;
};

struct Polygon {
    std::uint32_t type = kFace;
    std::uint32_t first_vertex = 0;  // into Layer::vertex_pool
    std::uint32_t vertex_count = 0;
    std::int32_t surface_tag = -1;   // index into MeshObject::tags, -1 none
    std::int32_t part_tag = -1;
    unsigned flags = 0;              // EDPF_* bits
    bool selected = false;
    bool deleted = false;
};

// Values of one named map in one layer, kept as the object file keeps them:
// per-point values (VMAP) and per-polygon-per-point values (VMAD), each a
// list of rows in the order the values were first given, with storage only
// for the points and corners that have a value. Overwriting a value keeps
// its row; removing one drops the row, and giving it again adds a new row at
// the end.
//
// Lookups are O(1). Per-point rows whose points run on without a gap (one
// row per point from the first, as an importer writes one map per material)
// need no index. Otherwise the first lookup that needs it builds a compact
// open-addressing index (4 bytes a slot, at most 3/4 full) and later writes
// keep it up to date. Writing a value for a point (or polygon) past every one
// the map has seen is an append that needs no lookup, so an import that
// writes each new point's values at once builds no index at all.
//
// `get` may build that index, so two threads must not read one map at once
// before a lookup has been done. Points and polygons are numbered below
// 0xFFFFFFFF (`kNone`); a write for kNone is ignored.
class VertexMap {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    struct PointValue {
        std::uint32_t point;
        const float* value;  // `dimension` floats
    };
    struct PolygonValue {
        std::uint32_t polygon, point;
        const float* value;
    };
    // The rows of one kind, in stored order (removed rows are skipped).
    template <class Row>
    class Rows;

    VertexMap(std::uint32_t type, std::string name, int dimension);

    // Fixed for the map's life: its layer finds it by type and name, and
    // every row is `dimension` floats.
    const std::uint32_t type;
    const std::string name;
    const int dimension;

    void set(std::uint32_t point, const float* value);  // value == nullptr removes
    const float* get(std::uint32_t point) const;        // nullptr: no value
    void set_for_polygon(std::uint32_t polygon, std::uint32_t point, const float* value);
    const float* get_for_polygon(std::uint32_t polygon, std::uint32_t point) const;

    std::size_t value_count() const { return points_.size() - dead_points_; }
    std::size_t polygon_value_count() const { return corners_.size() - dead_corners_; }
    Rows<PointValue> point_values() const;
    Rows<PolygonValue> polygon_values() const;

    // After elements were dropped from the layer: `point_to[i]` is point i's
    // new number (negative: dropped), likewise `polygon_to`; elements past
    // either list count as dropped. Values of dropped elements go, the rest
    // keep their order.
    void renumber(const std::vector<std::int64_t>& point_to, const std::vector<std::int64_t>& polygon_to);

    // Heap bytes the map holds for its rows and indexes.
    std::size_t memory_bytes() const;
    // Null when the rows, their values and the lookups agree; else what is
    // wrong. For the scene's invariant check; O(rows).
    const char* storage_fault() const;

private:
    // Open addressing over row numbers: a slot holds row + 1 (0: empty) and
    // the row itself holds the key, so an entry costs one uint32. Rows that
    // were removed keep their slots until the next rebuild; their keys are
    // kNone, which no lookup asks for.
    class RowIndex {
    public:
        bool built() const { return !slots_.empty(); }
        bool full() const { return (std::size_t(used_) + 1) * 4 > slots_.size() * 3; }
        void reset(std::size_t rows);  // empty, with room for `rows`
        void clear();                  // not built; memory released
        void insert(std::uint64_t key, std::uint32_t row);
        template <class Holds>
        std::uint32_t find(std::uint64_t key, Holds holds) const {
            const std::size_t mask = slots_.size() - 1;
            for (std::size_t at = slot_of(key);; at = (at + 1) & mask) {
                const std::uint32_t slot = slots_[at];
                if (slot == 0) return kNone;
                if (holds(slot - 1)) return slot - 1;
            }
        }
        std::size_t bytes() const { return slots_.capacity() * sizeof(std::uint32_t); }

    private:
        std::size_t slot_of(std::uint64_t key) const {
            return std::size_t((key * 0x9E3779B97F4A7C15ull) >> shift_);
        }
        std::vector<std::uint32_t> slots_;
        std::uint32_t used_ = 0;
        unsigned shift_ = 63;
    };
    struct Corner {
        std::uint32_t polygon, point;
    };
    friend struct VertexMapTestAccess;  // tests damage the storage to see storage_fault

    std::uint32_t point_row(std::uint32_t point) const;
    std::uint32_t corner_row(std::uint32_t polygon, std::uint32_t point) const;
    void append_point(std::uint32_t point, const float* value);
    void append_corner(std::uint32_t polygon, std::uint32_t point, const float* value);
    // Build the index from the rows; false (and none built) without memory.
    bool index_points() const;
    bool index_corners() const;
    const float* point_value_at(std::size_t row) const;
    const float* corner_value_at(std::size_t row) const;
    void drop_removed_points();
    void drop_removed_corners();
    void recount_points();
    void recount_corners();

    // Per point: the point of each row (kNone once removed), the rows' values.
    BulkVector<std::uint32_t> points_;
    BulkVector<float> values_;
    mutable RowIndex point_index_;
    std::uint32_t point_end_ = 0;    // 1 + the highest point given a row; 0 for none
    std::uint32_t first_point_ = 0;  // with `contiguous_`: row r belongs to first_point_ + r
    bool contiguous_ = true;
    std::uint32_t dead_points_ = 0;
    // Per polygon and point, likewise (removed: polygon kNone).
    BulkVector<Corner> corners_;
    BulkVector<float> corner_values_;
    mutable RowIndex corner_index_;
    std::uint32_t polygon_end_ = 0;  // 1 + the highest polygon given a row
    // Rows [last_run_, end) hold every row of polygon polygon_end_ - 1, so
    // the corners of the polygon added last are told apart without an index
    // while the run is short (kNone: unknown).
    std::uint32_t last_run_ = kNone;
    std::uint32_t dead_corners_ = 0;
};

template <class Row>
class VertexMap::Rows {
public:
    class iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Row;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = Row;

        iterator() = default;
        iterator(const VertexMap* map, std::size_t row) : map_(map), row_(row) { skip(); }
        Row operator*() const {
            if constexpr (std::is_same_v<Row, PointValue>)
                return Row{map_->points_[row_], map_->point_value_at(row_)};
            else
                return Row{map_->corners_[row_].polygon, map_->corners_[row_].point, map_->corner_value_at(row_)};
        }
        iterator& operator++() {
            ++row_;
            skip();
            return *this;
        }
        iterator operator++(int) {
            iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const iterator& other) const { return row_ == other.row_; }

    private:
        std::size_t rows() const {
            if constexpr (std::is_same_v<Row, PointValue>) return map_->points_.size();
            else return map_->corners_.size();
        }
        bool removed() const {
            if constexpr (std::is_same_v<Row, PointValue>) return map_->points_[row_] == kNone;
            else return map_->corners_[row_].polygon == kNone;
        }
        void skip() {
            while (row_ < rows() && removed()) ++row_;
        }
        const VertexMap* map_ = nullptr;
        std::size_t row_ = 0;
    };

    explicit Rows(const VertexMap& map) : map_(&map) {}
    iterator begin() const { return iterator(map_, 0); }
    iterator end() const {
        if constexpr (std::is_same_v<Row, PointValue>) return iterator(map_, map_->points_.size());
        else return iterator(map_, map_->corners_.size());
    }

private:
    const VertexMap* map_;
};

inline VertexMap::Rows<VertexMap::PointValue> VertexMap::point_values() const { return Rows<PointValue>(*this); }
inline VertexMap::Rows<VertexMap::PolygonValue> VertexMap::polygon_values() const {
    return Rows<PolygonValue>(*this);
}

// A layer's vertex maps in the order they were added, found by (type, name)
// in O(1). Maps are only added (or go with the whole list), each at a fixed
// address, so a pointer to a map stays good as long as its list.
//
// `generation()` is a process-wide count that changes whenever any list is
// made, copied, moved, assigned, added to or destroyed; a cache of maps taken
// from many layers (the scene's map names, "Scene Objects 4") is good while
// it stays the same. Changing values does not move it.
class VertexMapList {
    using Maps = std::vector<std::unique_ptr<VertexMap>>;

public:
    // Iterates the maps themselves.
    template <class Map>
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = VertexMap;
        using difference_type = std::ptrdiff_t;
        using pointer = Map*;
        using reference = Map&;

        Iterator() = default;
        explicit Iterator(Maps::const_iterator at) : at_(at) {}
        Map& operator*() const { return **at_; }
        Map* operator->() const { return at_->get(); }
        Iterator& operator++() {
            ++at_;
            return *this;
        }
        Iterator operator++(int) {
            Iterator before = *this;
            ++at_;
            return before;
        }
        bool operator==(const Iterator& other) const { return at_ == other.at_; }

    private:
        Maps::const_iterator at_{};
    };
    using iterator = Iterator<VertexMap>;
    using const_iterator = Iterator<const VertexMap>;
    static constexpr std::size_t npos = std::size_t(-1);

    VertexMapList();
    VertexMapList(const VertexMapList& other);
    VertexMapList(VertexMapList&& other) noexcept;
    VertexMapList& operator=(const VertexMapList& other);
    VertexMapList& operator=(VertexMapList&& other) noexcept;
    ~VertexMapList();

    static std::uint64_t generation();

    std::size_t size() const { return maps_.size(); }
    bool empty() const { return maps_.empty(); }
    VertexMap& operator[](std::size_t i) { return *maps_[i]; }
    const VertexMap& operator[](std::size_t i) const { return *maps_[i]; }
    iterator begin() { return iterator(maps_.begin()); }
    iterator end() { return iterator(maps_.end()); }
    const_iterator begin() const { return const_iterator(maps_.begin()); }
    const_iterator end() const { return const_iterator(maps_.end()); }

    std::size_t index_of(std::uint32_t type, std::string_view name) const;  // npos: none
    VertexMap* find(std::uint32_t type, std::string_view name);
    const VertexMap* find(std::uint32_t type, std::string_view name) const;
    // Finds the map or adds an empty one; a found map keeps its dimension.
    VertexMap& add(std::uint32_t type, std::string_view name, int dimension);

    // What the index is keyed on: the name views the map's own name.
    struct Key {
        std::uint32_t type;
        std::string_view name;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const {
            return std::hash<std::string_view>()(key.name) ^ (std::size_t(key.type) * 0x9E3779B97F4A7C15ull);
        }
    };

private:
    void reindex();

    Maps maps_;
    std::unordered_map<Key, std::size_t, KeyHash> index_;
};

struct Layer {
    int number = 0;            // LWO2 LAYR number (0-based)
    std::string name;
    int parent = -1;
    double pivot[3] = {0, 0, 0};
    bool hidden = false;
    BulkVector<Point> points;
    BulkVector<Polygon> polygons;
    BulkVector<std::uint32_t> vertex_pool;  // polygon vertex lists, point indices
    VertexMapList vmaps;                     // maps are added through it, never renamed

    const std::uint32_t* vertices(const Polygon& polygon) const {
        return vertex_pool.data() + polygon.first_vertex;
    }
    VertexMap* find_vmap(std::uint32_t type, std::string_view name) { return vmaps.find(type, name); }
    const VertexMap* find_vmap(std::uint32_t type, std::string_view name) const { return vmaps.find(type, name); }
    VertexMap& vmap(std::uint32_t type, std::string_view name, int dimension) {  // find or add
        return vmaps.add(type, name, dimension);
    }

    // Points and polygons not marked deleted. O(elements): a Modeler edit
    // marks elements deleted in place, so there is no count to keep.
    std::size_t live_point_count() const;
    std::size_t live_polygon_count() const;
};

// The box around a set of points, built point by point.
struct BoundingBox {
    double minmax[6] = {0, 0, 0, 0, 0, 0};  // min x, max x, min y, max y, min z, max z
    std::size_t points = 0;

    void add(const double position[3]);
    void add_live_points(const Layer& layer);  // every point not marked deleted
};

namespace lwo2 {
struct Kept;  // formats/lwo2_internal.h
}

struct MeshObject {
    std::string filename;  // full path, as "LW Object Info 4" and Modeler report it
    std::vector<Layer> layers;
    std::vector<std::string> tags;  // like LWO2 TAGS: surface and part names
    // What the object file held that the scene model does not interpret
    // (unknown chunks, sub-chunks, flag bits), for a save to give back.
    std::shared_ptr<const lwo2::Kept> kept_file_data;

    int tag_index(const std::string& tag);  // find or add

    // The layer with that LAYR number, or null.
    const Layer* layer_numbered(int number) const;
    int layer_index_numbered(int number) const;  // index into `layers`, -1: none
    // One more than the highest LAYR number; 0 without layers.
    int layer_number_end() const;
    // The first map of that type, in layer order, then map order; null: none.
    const VertexMap* first_vmap(std::uint32_t type) const;
};

// ---------------------------------------------------------------------------
// Surfaces and images

enum class TextureLayerType : int { Image = 0, Procedural = 1, Gradient = 2 };
enum class Projection : int { Planar = 0, Cylindrical = 1, Spherical = 2, Cubic = 3, Front = 4, UV = 5 };

struct TextureLayer {
    TextureLayerType type = TextureLayerType::Image;
    Projection projection = Projection::Planar;
    int axis = 0;
    int image = -1;          // index into Scene::images, -1 none
    std::string uv_map;      // for the UV projection
};

struct Surface {
    std::string name;
    int mesh = -1;                   // the object file it belongs to
    double smoothing_angle = 0.0;    // radians; 0 = no smoothing
    double color[3] = {0.78, 0.78, 0.78};
    std::string color_vmap;          // vertex colour map (VCOL), empty: none
    std::vector<TextureLayer> color_texture;  // base colour texture layers, in order
};

struct Image {
    std::string name;
    std::string filename;
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;  // width * height * 3
};

// ---------------------------------------------------------------------------
// The scene

struct SceneSettings {
    std::string name = "Untitled";
    std::string filename;            // empty: never saved
    double frames_per_second = 30.0;
    int frame_start = 0, frame_end = 60, frame_step = 1;         // render range
    int preview_start = 0, preview_end = 60, preview_step = 1;   // slider range
    double time = 0.0;               // current time, seconds
    int box_threshold = 5000;        // bounding-box threshold, points
};

class Scene {
public:
    SceneSettings settings;

    // Layout items. Objects, lights and cameras are numbered in creation order;
    // bones per object. Parents must exist; children are kept in child order.
    ItemId add_object(const std::string& name, int mesh = -1, int layer = 0);
    // An object's bones are numbered in 12 bits of their item IDs.
    static constexpr std::size_t kMaxBonesPerObject = 4095;
    // 0 when `object` is no object or has kMaxBonesPerObject bones already.
    ItemId add_bone(ItemId object, const std::string& name, ItemId parent = 0);
    ItemId add_light(const std::string& name);
    ItemId add_camera(const std::string& name);
    // 0: no parent. False, and nothing changes, when there is no such item or
    // `parent` is the item or one of its descendants (a loop).
    bool set_parent(ItemId item, ItemId parent);

    Item* item(ItemId id);
    const Item* item(ItemId id) const;
    // Enumeration as Item Info does it: objects, lights, cameras in order;
    // bones of one object in order.
    const std::vector<ItemId>& items(ItemType type) const;
    const std::vector<ItemId>& bones_of(ItemId object) const;
    ItemId find_item(const std::string& name) const;  // first item of that name, or 0

    // Layout selection, in selection order.
    std::vector<ItemId> selection;

    // Object files and their contents.
    std::vector<std::unique_ptr<MeshObject>> meshes;
    int add_mesh(const std::string& filename);
    MeshObject* mesh_of(ItemId object);  // nullptr for nulls and non-objects
    Layer* layer_of(ItemId object);

    std::vector<std::unique_ptr<Surface>> surfaces;  // stable addresses: handles point at them
    Surface& add_surface(int mesh, const std::string& name);
    Surface* find_surface(int mesh, const std::string& name);

    std::vector<std::unique_ptr<Image>> images;
    int add_image(const std::string& name, const std::string& filename, int width, int height);

    // Modeler: the object being edited and its layer choice.
    int current_mesh = -1;
    std::uint64_t foreground_layers = 1;  // bit i = layer index i
    std::uint64_t background_layers = 0;
    int selection_mode = 0;  // LWM_MODE_SELECTION: 0 points, 1 polygons

    // Every named vertex map of one type (0: of every type) over all meshes,
    // each (type, name) once, in the order first met (mesh order, then layer
    // order, then map order): "Scene Objects 4". Linear in the number of maps.
    std::vector<const VertexMap*> vmaps_of_type(std::uint32_t type) const;
    // The same list, kept between calls while it can still be right, so
    // that reading n names one call at a time is O(n). Throws std::bad_alloc.
    const std::vector<const VertexMap*>& vmap_list(std::uint32_t type) const;

    // The name Layout shows for an object file: the first object item that
    // shows it, or the file's base name without extension. Empty for a mesh
    // index out of range.
    std::string mesh_user_name(int mesh) const;

    double current_frame() const { return settings.time * settings.frames_per_second; }

private:
    std::vector<std::unique_ptr<Item>> objects_, lights_, cameras_;
    std::vector<std::vector<std::unique_ptr<Item>>> bones_;  // per object ordinal
    std::vector<ItemId> object_ids_, light_ids_, camera_ids_;
    std::vector<std::vector<ItemId>> bone_ids_;
    static const std::vector<ItemId> kNoItems;

    // vmap_list's lists: good while the number of object files and the
    // generation of layer map lists (VertexMapList::generation) stay the same.
    struct VmapListCache {
        std::size_t meshes = 0;
        std::uint64_t generation = 0;
        bool valid = false;
        std::vector<const VertexMap*> all;  // type 0
        std::unordered_map<std::uint32_t, std::vector<const VertexMap*>> by_type;
    };
    mutable VmapListCache vmap_list_;
};

// Pointer-sized handles for points and polygons. The layer travels in the high
// 32 bits so that two elements of different layers never share a handle, and
// so that a plug-in that keeps only 32 bits of a handle is caught at once.
struct ElementRef {
    int mesh = -1;
    int layer = -1;
    std::uint32_t index = 0;
};
std::uintptr_t point_handle(int mesh, int layer, std::uint32_t index);
std::uintptr_t polygon_handle(int mesh, int layer, std::uint32_t index);
bool decode_point(std::uintptr_t handle, ElementRef& out);
bool decode_polygon(std::uintptr_t handle, ElementRef& out);

// Handles of surfaces, base-colour textures (one per surface), texture layers
// and images: a kind tag in the top byte and 1-based indices below, so that a
// handle of one kind is never taken for another and garbage is refused in
// O(1). Decoding checks the form only; callers check the indices against the
// scene's lists.
std::uintptr_t surface_handle(int surface);
std::uintptr_t texture_handle(int surface);
std::uintptr_t texture_layer_handle(int surface, int layer);
std::uintptr_t image_handle(int image);
bool decode_surface(std::uintptr_t handle, int& surface);
bool decode_texture(std::uintptr_t handle, int& surface);
bool decode_texture_layer(std::uintptr_t handle, int& surface, int& layer);
bool decode_image(std::uintptr_t handle, int& image);

}  // namespace lwhost
