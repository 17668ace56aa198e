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
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace lwhost {

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

// One key of an envelope. `shape` is the span type of the interval that ends
// at this key. For TCB keys tension/continuity/bias are used; Hermite keys use
// param[0] (incoming) and param[1] (outgoing) tangents; 2D Bezier keys use
// param[0..3] as in the scene file (in time, in value, out time, out value).
struct Key {
    double time = 0.0;  // seconds
    double value = 0.0;
    SpanType shape = SpanType::TCB;
    double tension = 0.0, continuity = 0.0, bias = 0.0;
    double param[4] = {0.0, 0.0, 0.0, 0.0};
};

struct Envelope {
    std::vector<Key> keys;  // ascending time
    Behavior pre = Behavior::Constant;
    Behavior post = Behavior::Constant;

    // Adds a key or replaces the value of the key at exactly that time.
    void set_key(double time, double value, SpanType shape = SpanType::TCB);
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

// Values of one named map in one layer. Per-point rows are found through a
// dense index (one int per point), so a lookup is O(1) even for millions of
// points; per-polygon values (discontinuous, like VMAD) through a hash map.
struct VertexMap {
    std::uint32_t type = kTexUV;
    std::string name;
    int dimension = 2;
    std::vector<std::int32_t> row_of_point;  // -1: no value
    std::vector<float> values;               // rows of `dimension` floats
    std::unordered_map<std::uint64_t, std::uint32_t> polygon_rows;  // (polygon << 32 | point) -> row
    std::vector<float> polygon_values;

    void set(std::uint32_t point, const float* value);  // value == nullptr removes
    const float* get(std::uint32_t point) const;        // nullptr: no value
    void set_for_polygon(std::uint32_t polygon, std::uint32_t point, const float* value);
    const float* get_for_polygon(std::uint32_t polygon, std::uint32_t point) const;
};

struct Layer {
    int number = 0;            // LWO2 LAYR number (0-based)
    std::string name;
    int parent = -1;
    double pivot[3] = {0, 0, 0};
    bool hidden = false;
    std::vector<Point> points;
    std::vector<Polygon> polygons;
    std::vector<std::uint32_t> vertex_pool;  // polygon vertex lists, point indices
    std::vector<VertexMap> vmaps;

    const std::uint32_t* vertices(const Polygon& polygon) const {
        return vertex_pool.data() + polygon.first_vertex;
    }
    VertexMap* find_vmap(std::uint32_t type, const std::string& name);
    const VertexMap* find_vmap(std::uint32_t type, const std::string& name) const;
    VertexMap& vmap(std::uint32_t type, const std::string& name, int dimension);  // find or add
};

struct MeshObject {
    std::string filename;  // full path, as "LW Object Info 4" and Modeler report it
    std::vector<Layer> layers;
    std::vector<std::string> tags;  // like LWO2 TAGS: surface and part names

    int tag_index(const std::string& tag);  // find or add
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
    ItemId add_bone(ItemId object, const std::string& name, ItemId parent = 0);
    ItemId add_light(const std::string& name);
    ItemId add_camera(const std::string& name);
    void set_parent(ItemId item, ItemId parent);  // 0: no parent

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

    // Every named vertex map of one type over all meshes, in the order first
    // met (mesh order, then layer order, then map order): "Scene Objects 4".
    std::vector<const VertexMap*> vmaps_of_type(std::uint32_t type) const;

    double current_frame() const { return settings.time * settings.frames_per_second; }

private:
    std::vector<std::unique_ptr<Item>> objects_, lights_, cameras_;
    std::vector<std::vector<std::unique_ptr<Item>>> bones_;  // per object ordinal
    std::vector<ItemId> object_ids_, light_ids_, camera_ids_;
    std::vector<std::vector<ItemId>> bone_ids_;
    static const std::vector<ItemId> kNoItems;
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
