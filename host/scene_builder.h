// A small fluent API for building scenes in tests and benchmarks, and the
// scene's invariant check.
//
//   SceneBuilder b(host.scene);
//   auto mesh = b.mesh("C:/models/ship.lwo");            // object file, layer 0
//   auto p0 = mesh.point(0, 0, 0), p1 = ..., p2 = ..., p3 = ...;
//   auto quad = mesh.quad(p0, p1, p2, p3, "Skin Mat");
//   mesh.uv("UVMap", p0, 0.0f, 1.0f).weight("arm", p0, 0.5f);
//   mesh.uv_for_polygon("UVMap", quad, p0, 0.5f, 0.5f); // per-polygon (VMAD-like)
//   int image = b.image("skin.png", 64, 64);
//   b.surface(mesh, "Skin Mat").smoothing_degrees(89.5).uv_image_layer(image, "UVMap");
//   ItemId obj = b.object("ship", mesh);
//   ItemId root = b.bone(obj, "root").rest({0, 0, 0}, {0, 0, 0}).weight_map("root");
//   ItemId arm = b.bone(obj, "arm", root).rest({0, 0, 1}, {0, 0, 0}).length(0.5);
//   b.fps(24).preview(0, 60).select(obj);
//   b.key(arm, kHeading, 10, 0.5);                        // frame 10, radians
//   EXPECT_THAT(check_scene(host.scene), IsEmpty());
//
// Builders hold a pointer to the scene and indices into it; they stay valid
// as long as the scene does. Nothing here is called by plug-ins, so it
// reports misuse with std::invalid_argument rather than codes.
//
// Speed: a point or polygon costs one push_back into the layer's vectors; the
// surface tag and vertex map of the previous call are remembered, so building
// a large mesh in runs of one surface and one map does no name look-ups.
// Call MeshBuilder::reserve first for million-element meshes.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "scene.h"

namespace lwhost {

using Vec3 = std::array<double, 3>;

// Points, polygons and vertex maps of one layer of one object file.
class MeshBuilder {
public:
    MeshBuilder(Scene& scene, int mesh);

    int index() const { return mesh_; }            // into Scene::meshes
    int layer_index() const { return layer_; }     // into MeshObject::layers
    MeshObject& object() const { return *scene_->meshes[std::size_t(mesh_)]; }
    Layer& current_layer() const { return object().layers[std::size_t(layer_)]; }

    // Switches to the layer with this LAYR number, adding it when missing.
    MeshBuilder& layer(int number, const std::string& name = "");
    MeshBuilder& reserve(std::size_t points, std::size_t polygons, std::size_t corners = 0);

    std::uint32_t point(double x, double y, double z);
    // Polygons return their index in the layer. An empty surface name leaves
    // the polygon without a SURF tag.
    std::uint32_t triangle(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::string_view surface = "Default");
    std::uint32_t quad(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                       std::string_view surface = "Default");
    std::uint32_t polygon(std::initializer_list<std::uint32_t> points, std::string_view surface = "Default",
                          std::uint32_t type = kFace);
    std::uint32_t polygon(const std::uint32_t* points, std::size_t count, std::string_view surface,
                          std::uint32_t type = kFace);
    MeshBuilder& part(std::uint32_t polygon, std::string_view name);

    // Per-point values (like VMAP) and per-polygon-per-point values (VMAD).
    MeshBuilder& uv(std::string_view map, std::uint32_t point, float u, float v);
    MeshBuilder& uv_for_polygon(std::string_view map, std::uint32_t polygon, std::uint32_t point, float u, float v);
    MeshBuilder& weight(std::string_view map, std::uint32_t point, float w);
    // Any map type; `values` holds `dimension` floats.
    MeshBuilder& value(std::uint32_t type, std::string_view map, int dimension, std::uint32_t point,
                       const float* values);
    MeshBuilder& value_for_polygon(std::uint32_t type, std::string_view map, int dimension, std::uint32_t polygon,
                                   std::uint32_t point, const float* values);

    // Tags by their index in MeshObject::tags (-1: none), for readers that
    // meet tag numbers rather than names; and the polygon's EDPF_* flags.
    MeshBuilder& surface_tag(std::uint32_t polygon, int tag);
    MeshBuilder& part_tag(std::uint32_t polygon, int tag);
    MeshBuilder& polygon_flags(std::uint32_t polygon, unsigned flags);

private:
    int tag_for(std::string_view name);
    VertexMap& map_for(std::uint32_t type, std::string_view name, int dimension);
    Polygon& checked_polygon(std::uint32_t polygon) const;

    Scene* scene_;
    int mesh_;
    int layer_ = 0;
    std::string last_tag_name_;
    int last_tag_ = -1;
    VertexMap* last_map_ = nullptr;  // good while the map lists' generation stays
    int last_map_layer_ = -1;
    std::uint64_t last_map_generation_ = 0;
};

class SurfaceBuilder {
public:
    SurfaceBuilder(Scene& scene, Surface& surface) : scene_(&scene), surface_(&surface) {}
    Surface& surface() const { return *surface_; }

    SurfaceBuilder& smoothing_degrees(double degrees);
    SurfaceBuilder& smoothing_radians(double radians);
    SurfaceBuilder& color(double r, double g, double b);
    // Base-colour texture layers, in the order added.
    SurfaceBuilder& uv_image_layer(int image, const std::string& uv_map);
    SurfaceBuilder& image_layer(int image, Projection projection, int axis = 0);
    SurfaceBuilder& procedural_layer();

private:
    Scene* scene_;
    Surface* surface_;
};

// Setters shared by every item kind; each returns the concrete builder so a
// chain can go on with bone settings.
template <class Self>
class ItemSetters {
public:
    ItemSetters(Scene& scene, ItemId id) : scene_(&scene), id_(id) {}
    ItemId id() const { return id_; }
    operator ItemId() const { return id_; }
    Item& item() const { return *scene_->item(id_); }

    // Keys at time 0 on the three channels (rotation in radians).
    Self& position(const Vec3& at) { return keys_at_zero(kPositionX, at); }
    Self& rotation(const Vec3& hpb) { return keys_at_zero(kHeading, hpb); }
    Self& scale(const Vec3& factors) { return keys_at_zero(kScaleX, factors); }
    Self& pivot(const Vec3& at) { return set3(item().pivot, at); }
    Self& pivot_rotation(const Vec3& hpb) { return set3(item().pivot_rotation, hpb); }
    Self& parent(ItemId parent) {
        if (!scene_->set_parent(id_, parent)) throw std::invalid_argument("the parent would close a loop");
        return self();
    }
    Self& target(ItemId target) { item().target = target; return self(); }
    Self& goal(ItemId goal, double strength = 1.0) {
        item().goal = goal;
        item().goal_strength = strength;
        return self();
    }
    Self& flags(unsigned flags) { item().flags = flags; return self(); }

protected:
    Self& self() { return static_cast<Self&>(*this); }
    Self& set3(double* out, const Vec3& in) {
        for (int k = 0; k < 3; ++k) out[k] = in[std::size_t(k)];
        return self();
    }
    Self& keys_at_zero(int first_channel, const Vec3& values) {
        for (int k = 0; k < 3; ++k)
            item().motion[std::size_t(first_channel + k)].set_key(0.0, values[std::size_t(k)]);
        return self();
    }

    Scene* scene_;
    ItemId id_;
};

class ItemBuilder : public ItemSetters<ItemBuilder> {
public:
    using ItemSetters::ItemSetters;
};

class BoneBuilder : public ItemSetters<BoneBuilder> {
public:
    using ItemSetters::ItemSetters;
    // Rest position (parent space) and rest heading, pitch, bank in radians.
    BoneBuilder& rest(const Vec3& position, const Vec3& rotation);
    BoneBuilder& length(double rest_length);
    BoneBuilder& weight_map(const std::string& name, bool only = false);
    BoneBuilder& strength(double strength);
    BoneBuilder& bone_flags(unsigned flags);  // LWBONEF_* bits
    BoneBuilder& falloff(int type);
};

class SceneBuilder {
public:
    explicit SceneBuilder(Scene& scene) : scene_(&scene) {}
    Scene& scene() const { return *scene_; }

    // A new object file with an empty layer 0.
    MeshBuilder mesh(const std::string& filename);
    // Finds or adds the surface of that object file. The reference stays
    // valid as long as the builder.
    SurfaceBuilder& surface(const MeshBuilder& mesh, const std::string& name);
    // An image, all black; `filename` defaults to the name. Returns its index.
    int image(const std::string& name, int width, int height, const std::string& filename = "");

    // An object item showing the mesh's current layer (or layer index `layer`).
    ItemBuilder object(const std::string& name, const MeshBuilder& mesh);
    ItemBuilder object(const std::string& name, const MeshBuilder& mesh, int layer);
    ItemBuilder null_object(const std::string& name);
    ItemBuilder light(const std::string& name);
    ItemBuilder camera(const std::string& name);
    // A bone of `object`, child of `parent` (the object when 0).
    BoneBuilder bone(ItemId object, const std::string& name, ItemId parent = 0);
    ItemBuilder item(ItemId id) { return ItemBuilder(*scene_, id); }

    // A key at `frame` (converted to seconds with the frames per second set
    // at the time of the call) or at `seconds`.
    SceneBuilder& key(ItemId item, int channel, double frame, double value, SpanType shape = SpanType::TCB);
    SceneBuilder& key_at_time(ItemId item, int channel, double seconds, double value,
                              SpanType shape = SpanType::TCB);
    SceneBuilder& behaviors(ItemId item, int channel, Behavior pre, Behavior post);
    Envelope& envelope(ItemId item, int channel);

    SceneBuilder& select(ItemId item);       // adds to the selection
    SceneBuilder& preview(int start, int end, int step = 1);
    SceneBuilder& render_range(int start, int end, int step = 1);
    SceneBuilder& fps(double frames_per_second);
    SceneBuilder& frame(double frame);        // current time
    SceneBuilder& box_threshold(int points);
    SceneBuilder& scene_file(const std::string& filename);  // also names the scene

private:
    Item& checked(ItemId id) const;

    Scene* scene_;
    std::deque<SurfaceBuilder> surfaces_;
};

// A rigged benchmark mesh: a grid of `columns` x `rows` quads, each split
// into two triangles, on surface "Skin" with a per-point UV map "UVMap", and
// a chain of `bone_count` bones "bone0", "bone1", ... along the grid's rows,
// each with a weight map of its own name; every point is weighted to the
// nearest one or two bones. Returns the object item.
ItemId build_rigged_grid(SceneBuilder& builder, const std::string& filename, int columns, int rows, int bone_count);

// Violations of the scene model's invariants, one line each; empty when the
// scene is sound. Checks: items' parents, targets and goals exist; child
// lists and parents agree and parent chains end; bones belong to an object;
// objects name an existing mesh and layer; envelope keys ascend; polygon
// vertex lists and tags are in range; vertex maps are found under their
// names, their rows agree with their lookups and name existing points, and
// per-polygon values name a corner of their polygon; surfaces name an
// existing mesh and image; the selection names existing items.
std::vector<std::string> check_scene(const Scene& scene);

}  // namespace lwhost
