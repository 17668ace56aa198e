#include "scene_builder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <stdexcept>

namespace lwhost {

// ---------------------------------------------------------------------------
// Meshes

MeshBuilder::MeshBuilder(Scene& scene, int mesh) : scene_(&scene), mesh_(mesh) {
    if (mesh < 0 || std::size_t(mesh) >= scene.meshes.size()) throw std::invalid_argument("no such mesh");
    MeshObject& object = *scene.meshes[std::size_t(mesh)];
    if (object.layers.empty()) object.layers.emplace_back();
    layer_ = 0;
}

MeshBuilder& MeshBuilder::layer(int number, const std::string& name) {
    auto& layers = object().layers;
    auto found = std::find_if(layers.begin(), layers.end(), [&](const Layer& l) { return l.number == number; });
    if (found == layers.end()) {
        Layer& added = layers.emplace_back();
        added.number = number;
        found = layers.end() - 1;
    }
    if (!name.empty()) found->name = name;
    layer_ = int(found - layers.begin());
    return *this;
}

MeshBuilder& MeshBuilder::reserve(std::size_t points, std::size_t polygons, std::size_t corners) {
    Layer& l = current_layer();
    l.points.reserve(points);
    l.polygons.reserve(polygons);
    l.vertex_pool.reserve(corners ? corners : polygons * 3);
    return *this;
}

std::uint32_t MeshBuilder::point(double x, double y, double z) {
    auto& points = current_layer().points;
    Point& p = points.emplace_back();
    p.position[0] = x;
    p.position[1] = y;
    p.position[2] = z;
    return std::uint32_t(points.size() - 1);
}

int MeshBuilder::tag_for(std::string_view name) {
    if (name.empty()) return -1;
    if (last_tag_ < 0 || last_tag_name_ != name) {
        last_tag_name_.assign(name);
        last_tag_ = object().tag_index(last_tag_name_);
    }
    return last_tag_;
}

std::uint32_t MeshBuilder::polygon(const std::uint32_t* points, std::size_t count, std::string_view surface,
                                   std::uint32_t type) {
    int tag = tag_for(surface);
    Layer& l = current_layer();
    Polygon& p = l.polygons.emplace_back();
    p.type = type;
    p.first_vertex = std::uint32_t(l.vertex_pool.size());
    p.vertex_count = std::uint32_t(count);
    p.surface_tag = tag;
    l.vertex_pool.insert(l.vertex_pool.end(), points, points + count);
    return std::uint32_t(l.polygons.size() - 1);
}

std::uint32_t MeshBuilder::polygon(std::initializer_list<std::uint32_t> points, std::string_view surface,
                                   std::uint32_t type) {
    return polygon(points.begin(), points.size(), surface, type);
}

std::uint32_t MeshBuilder::triangle(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::string_view surface) {
    const std::uint32_t corners[3] = {a, b, c};
    return polygon(corners, 3, surface, kFace);
}

std::uint32_t MeshBuilder::quad(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                                std::string_view surface) {
    const std::uint32_t corners[4] = {a, b, c, d};
    return polygon(corners, 4, surface, kFace);
}

MeshBuilder& MeshBuilder::part(std::uint32_t polygon, std::string_view name) {
    Layer& l = current_layer();
    if (polygon >= l.polygons.size()) throw std::invalid_argument("no such polygon");
    l.polygons[polygon].part_tag = object().tag_index(std::string(name));
    return *this;
}

VertexMap& MeshBuilder::map_for(std::uint32_t type, std::string_view name, int dimension) {
    if (!last_map_ || last_map_layer_ != layer_ || last_map_generation_ != VertexMapList::generation() ||
        last_map_->type != type || last_map_->name != name) {
        last_map_ = &current_layer().vmap(type, name, dimension);
        last_map_layer_ = layer_;
        last_map_generation_ = VertexMapList::generation();
    }
    if (last_map_->dimension != dimension) throw std::invalid_argument("vertex map dimension differs");
    return *last_map_;
}

MeshBuilder& MeshBuilder::value(std::uint32_t type, std::string_view map, int dimension, std::uint32_t point,
                                const float* values) {
    map_for(type, map, dimension).set(point, values);
    return *this;
}

MeshBuilder& MeshBuilder::value_for_polygon(std::uint32_t type, std::string_view map, int dimension,
                                            std::uint32_t polygon, std::uint32_t point, const float* values) {
    map_for(type, map, dimension).set_for_polygon(polygon, point, values);
    return *this;
}

Polygon& MeshBuilder::checked_polygon(std::uint32_t polygon) const {
    Layer& l = current_layer();
    if (polygon >= l.polygons.size()) throw std::invalid_argument("no such polygon");
    return l.polygons[polygon];
}

MeshBuilder& MeshBuilder::surface_tag(std::uint32_t polygon, int tag) {
    if (tag < -1 || (tag >= 0 && std::size_t(tag) >= object().tags.size())) throw std::invalid_argument("no such tag");
    checked_polygon(polygon).surface_tag = tag;
    return *this;
}

MeshBuilder& MeshBuilder::part_tag(std::uint32_t polygon, int tag) {
    if (tag < -1 || (tag >= 0 && std::size_t(tag) >= object().tags.size())) throw std::invalid_argument("no such tag");
    checked_polygon(polygon).part_tag = tag;
    return *this;
}

MeshBuilder& MeshBuilder::polygon_flags(std::uint32_t polygon, unsigned flags) {
    checked_polygon(polygon).flags = flags;
    return *this;
}

MeshBuilder& MeshBuilder::uv(std::string_view map, std::uint32_t point, float u, float v) {
    const float values[2] = {u, v};
    return value(kTexUV, map, 2, point, values);
}

MeshBuilder& MeshBuilder::uv_for_polygon(std::string_view map, std::uint32_t polygon, std::uint32_t point, float u,
                                         float v) {
    const float values[2] = {u, v};
    map_for(kTexUV, map, 2).set_for_polygon(polygon, point, values);
    return *this;
}

MeshBuilder& MeshBuilder::weight(std::string_view map, std::uint32_t point, float w) {
    return value(kWeight, map, 1, point, &w);
}

// ---------------------------------------------------------------------------
// Surfaces

SurfaceBuilder& SurfaceBuilder::smoothing_degrees(double degrees) {
    surface_->smoothing_angle = degrees * (3.14159265358979323846 / 180.0);
    return *this;
}

SurfaceBuilder& SurfaceBuilder::smoothing_radians(double radians) {
    surface_->smoothing_angle = radians;
    return *this;
}

SurfaceBuilder& SurfaceBuilder::color(double r, double g, double b) {
    surface_->color[0] = r;
    surface_->color[1] = g;
    surface_->color[2] = b;
    return *this;
}

SurfaceBuilder& SurfaceBuilder::uv_image_layer(int image, const std::string& uv_map) {
    TextureLayer& layer = surface_->color_texture.emplace_back();
    layer.type = TextureLayerType::Image;
    layer.projection = Projection::UV;
    layer.image = image;
    layer.uv_map = uv_map;
    return *this;
}

SurfaceBuilder& SurfaceBuilder::image_layer(int image, Projection projection, int axis) {
    TextureLayer& layer = surface_->color_texture.emplace_back();
    layer.type = TextureLayerType::Image;
    layer.projection = projection;
    layer.axis = axis;
    layer.image = image;
    return *this;
}

SurfaceBuilder& SurfaceBuilder::procedural_layer() {
    surface_->color_texture.emplace_back().type = TextureLayerType::Procedural;
    return *this;
}

// ---------------------------------------------------------------------------
// Bones

BoneBuilder& BoneBuilder::rest(const Vec3& position, const Vec3& rotation) {
    BoneData& bone = item().bone;
    for (int k = 0; k < 3; ++k) {
        bone.rest_position[k] = position[std::size_t(k)];
        bone.rest_rotation[k] = rotation[std::size_t(k)];
    }
    return *this;
}

BoneBuilder& BoneBuilder::length(double rest_length) {
    item().bone.rest_length = rest_length;
    return *this;
}

BoneBuilder& BoneBuilder::weight_map(const std::string& name, bool only) {
    item().bone.weight_map = name;
    item().bone.weight_map_only = only;
    return *this;
}

BoneBuilder& BoneBuilder::strength(double strength) {
    item().bone.strength = strength;
    return *this;
}

BoneBuilder& BoneBuilder::bone_flags(unsigned flags) {
    item().bone.flags = flags;
    return *this;
}

BoneBuilder& BoneBuilder::falloff(int type) {
    item().bone.falloff = type;
    return *this;
}

// ---------------------------------------------------------------------------
// Scene

MeshBuilder SceneBuilder::mesh(const std::string& filename) {
    return MeshBuilder(*scene_, scene_->add_mesh(filename));
}

SurfaceBuilder& SceneBuilder::surface(const MeshBuilder& mesh, const std::string& name) {
    Surface* surface = scene_->find_surface(mesh.index(), name);
    if (!surface) surface = &scene_->add_surface(mesh.index(), name);
    for (SurfaceBuilder& made : surfaces_)
        if (&made.surface() == surface) return made;
    return surfaces_.emplace_back(*scene_, *surface);
}

int SceneBuilder::image(const std::string& name, int width, int height, const std::string& filename) {
    return scene_->add_image(name, filename.empty() ? name : filename, width, height);
}

ItemBuilder SceneBuilder::object(const std::string& name, const MeshBuilder& mesh) {
    return object(name, mesh, mesh.layer_index());
}

ItemBuilder SceneBuilder::object(const std::string& name, const MeshBuilder& mesh, int layer) {
    return ItemBuilder(*scene_, scene_->add_object(name, mesh.index(), layer));
}

ItemBuilder SceneBuilder::null_object(const std::string& name) {
    return ItemBuilder(*scene_, scene_->add_object(name));
}

ItemBuilder SceneBuilder::light(const std::string& name) { return ItemBuilder(*scene_, scene_->add_light(name)); }

ItemBuilder SceneBuilder::camera(const std::string& name) { return ItemBuilder(*scene_, scene_->add_camera(name)); }

BoneBuilder SceneBuilder::bone(ItemId object, const std::string& name, ItemId parent) {
    ItemId id = scene_->add_bone(object, name, parent);
    if (id == 0 && scene_->bones_of(object).size() >= Scene::kMaxBonesPerObject)
        throw std::invalid_argument("an object has at most 4,095 bones");
    if (id == 0) throw std::invalid_argument("bone needs an object item");
    return BoneBuilder(*scene_, id);
}

Item& SceneBuilder::checked(ItemId id) const {
    Item* item = scene_->item(id);
    if (!item) throw std::invalid_argument("no such item");
    return *item;
}

Envelope& SceneBuilder::envelope(ItemId item, int channel) {
    if (channel < 0 || channel >= kChannelCount) throw std::invalid_argument("no such channel");
    return checked(item).motion[std::size_t(channel)];
}

SceneBuilder& SceneBuilder::key(ItemId item, int channel, double frame, double value, SpanType shape) {
    return key_at_time(item, channel, frame / scene_->settings.frames_per_second, value, shape);
}

SceneBuilder& SceneBuilder::key_at_time(ItemId item, int channel, double seconds, double value, SpanType shape) {
    envelope(item, channel).set_key(seconds, value, shape);
    return *this;
}

SceneBuilder& SceneBuilder::behaviors(ItemId item, int channel, Behavior pre, Behavior post) {
    Envelope& env = envelope(item, channel);
    env.pre = pre;
    env.post = post;
    return *this;
}

SceneBuilder& SceneBuilder::select(ItemId item) {
    checked(item);
    scene_->selection.push_back(item);
    return *this;
}

SceneBuilder& SceneBuilder::preview(int start, int end, int step) {
    scene_->settings.preview_start = start;
    scene_->settings.preview_end = end;
    scene_->settings.preview_step = step;
    return *this;
}

SceneBuilder& SceneBuilder::render_range(int start, int end, int step) {
    scene_->settings.frame_start = start;
    scene_->settings.frame_end = end;
    scene_->settings.frame_step = step;
    return *this;
}

SceneBuilder& SceneBuilder::fps(double frames_per_second) {
    if (!(frames_per_second > 0)) throw std::invalid_argument("frames per second must be positive");
    scene_->settings.frames_per_second = frames_per_second;
    return *this;
}

SceneBuilder& SceneBuilder::frame(double frame) {
    scene_->settings.time = frame / scene_->settings.frames_per_second;
    return *this;
}

SceneBuilder& SceneBuilder::box_threshold(int points) {
    scene_->settings.box_threshold = points;
    return *this;
}

SceneBuilder& SceneBuilder::scene_file(const std::string& filename) {
    scene_->settings.filename = filename;
    std::size_t slash = filename.find_last_of("/\\:");
    scene_->settings.name = slash == std::string::npos ? filename : filename.substr(slash + 1);
    return *this;
}

// ---------------------------------------------------------------------------
// Benchmark mesh

ItemId build_rigged_grid(SceneBuilder& builder, const std::string& filename, int columns, int rows,
                         int bone_count) {
    if (columns < 1 || rows < 1 || bone_count < 1) throw std::invalid_argument("empty grid");
    MeshBuilder mesh = builder.mesh(filename);
    std::size_t point_count = std::size_t(columns + 1) * std::size_t(rows + 1);
    std::size_t quad_count = std::size_t(columns) * std::size_t(rows);
    mesh.reserve(point_count, quad_count * 2, quad_count * 6);

    std::vector<std::string> names(static_cast<std::size_t>(bone_count));
    for (int b = 0; b < bone_count; ++b) names[std::size_t(b)] = "bone" + std::to_string(b);
    // Bone b spans rows [b, b + 1) * rows / bone_count; a point between two
    // bone centres is shared by both, its weights falling off linearly.
    double span = double(rows) / bone_count;
    for (int y = 0; y <= rows; ++y) {
        double along = y / span - 0.5;  // in bone units, 0 at the first bone's centre
        int lower = std::clamp(int(std::floor(along)), 0, bone_count - 1);
        int upper = std::min(lower + 1, bone_count - 1);
        double share = std::clamp(along - lower, 0.0, 1.0);
        std::uint32_t row_start = std::uint32_t(y) * std::uint32_t(columns + 1);
        for (int x = 0; x <= columns; ++x)
            mesh.uv("UVMap", mesh.point(x, y, 0.0), float(x) / float(columns), float(y) / float(rows));
        // One map per run, so the builder's map cache hits.
        bool shared = upper != lower && share > 0.0;
        for (int x = 0; x <= columns; ++x)
            mesh.weight(names[std::size_t(lower)], row_start + std::uint32_t(x), shared ? float(1.0 - share) : 1.0f);
        if (shared)
            for (int x = 0; x <= columns; ++x)
                mesh.weight(names[std::size_t(upper)], row_start + std::uint32_t(x), float(share));
    }
    std::uint32_t stride = std::uint32_t(columns + 1);
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < columns; ++x) {
            std::uint32_t p0 = std::uint32_t(y) * stride + std::uint32_t(x);
            mesh.triangle(p0, p0 + 1, p0 + stride + 1, "Skin");
            mesh.triangle(p0, p0 + stride + 1, p0 + stride, "Skin");
        }
    }
    builder.surface(mesh, "Skin").smoothing_degrees(89.5);

    ItemId object = builder.object(filename, mesh);
    ItemId parent = 0;
    for (int b = 0; b < bone_count; ++b) {
        // The root turns its +Z (the bone's length axis) to +Y; each child
        // sits at its parent's tip, along the parent's +Z.
        Vec3 at = {0.0, 0.0, b == 0 ? 0.0 : span};
        Vec3 turn = {0.0, b == 0 ? -1.5707963267948966 : 0.0, 0.0};
        parent = builder.bone(object, names[std::size_t(b)], parent)
                     .rest(at, turn)
                     .length(span)
                     .weight_map(names[std::size_t(b)]);
    }
    return object;
}

// ---------------------------------------------------------------------------
// Invariants

namespace {

std::string hex(ItemId id) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", unsigned(id));
    return text;
}

void check_items(const Scene& scene, std::vector<std::string>& out) {
    std::vector<ItemId> all;
    for (ItemType type : {ItemType::Object, ItemType::Light, ItemType::Camera})
        for (ItemId id : scene.items(type)) {
            all.push_back(id);
            if (type == ItemType::Object)
                for (ItemId bone : scene.bones_of(id)) all.push_back(bone);
        }
    for (ItemId id : all) {
        const Item* item = scene.item(id);
        std::string name = "item " + hex(id);
        if (!item || item->id != id) {
            out.push_back(name + ": listed but not found under its ID");
            continue;
        }
        if (item->parent && !scene.item(item->parent)) out.push_back(name + ": parent " + hex(item->parent) + " missing");
        if (const Item* parent = scene.item(item->parent)) {
            if (std::count(parent->children.begin(), parent->children.end(), id) != 1)
                out.push_back(name + ": not listed once among its parent's children");
        }
        for (ItemId child : item->children) {
            const Item* c = scene.item(child);
            if (!c || c->parent != id) out.push_back(name + ": child " + hex(child) + " has another parent");
        }
        if (item->target && !scene.item(item->target)) out.push_back(name + ": target missing");
        if (item->goal && !scene.item(item->goal)) out.push_back(name + ": goal missing");
        std::size_t steps = 0;
        for (ItemId up = item->parent; up && steps <= all.size(); ++steps) {
            const Item* p = scene.item(up);
            up = p ? p->parent : 0;
        }
        if (steps > all.size()) out.push_back(name + ": parent chain loops");
        if (item->type == ItemType::Bone) {
            const Item* owner = scene.item(item->bone.object);
            if (!owner || owner->type != ItemType::Object) out.push_back(name + ": bone's object is not an object");
        }
        if (item->type == ItemType::Object && item->mesh >= 0) {
            if (std::size_t(item->mesh) >= scene.meshes.size())
                out.push_back(name + ": mesh index out of range");
            else if (item->layer < 0 || std::size_t(item->layer) >= scene.meshes[std::size_t(item->mesh)]->layers.size())
                out.push_back(name + ": layer index out of range");
        }
        for (int c = 0; c < kChannelCount; ++c) {
            const auto& keys = item->motion[std::size_t(c)].keys;
            for (std::size_t k = 1; k < keys.size(); ++k)
                if (!(keys[k - 1].time < keys[k].time)) {
                    out.push_back(name + ": channel " + std::to_string(c) + " keys not ascending");
                    break;
                }
        }
    }
    for (ItemId id : scene.selection)
        if (!scene.item(id)) out.push_back("selection: item " + hex(id) + " missing");
}

void check_vmap(const std::string& where, const Layer& layer, const VertexMap& map, std::vector<std::string>& out) {
    std::string name = where + " vmap '" + map.name + "'";
    if (const char* fault = map.storage_fault()) {
        out.push_back(name + ": " + fault);
        return;
    }
    for (const VertexMap::PointValue row : map.point_values())
        if (row.point >= layer.points.size()) {
            out.push_back(name + ": value for a point that does not exist");
            break;
        }
    for (const VertexMap::PolygonValue row : map.polygon_values()) {
        if (row.polygon >= layer.polygons.size() || row.point >= layer.points.size()) {
            out.push_back(name + ": per-polygon value for a missing element");
        } else {
            const Polygon& p = layer.polygons[row.polygon];
            const std::uint32_t* v = layer.vertex_pool.data() + p.first_vertex;
            if (std::size_t(p.first_vertex) + p.vertex_count <= layer.vertex_pool.size() &&
                std::find(v, v + p.vertex_count, row.point) == v + p.vertex_count)
                out.push_back(name + ": per-polygon value for a point not in the polygon");
        }
    }
}

void check_meshes(const Scene& scene, std::vector<std::string>& out) {
    for (std::size_t m = 0; m < scene.meshes.size(); ++m) {
        const MeshObject& mesh = *scene.meshes[m];
        for (std::size_t l = 0; l < mesh.layers.size(); ++l) {
            const Layer& layer = mesh.layers[l];
            std::string where = "mesh " + std::to_string(m) + " layer " + std::to_string(l);
            for (std::size_t p = 0; p < layer.polygons.size(); ++p) {
                const Polygon& polygon = layer.polygons[p];
                std::string name = where + " polygon " + std::to_string(p);
                if (std::size_t(polygon.first_vertex) + polygon.vertex_count > layer.vertex_pool.size()) {
                    out.push_back(name + ": vertex list past the pool");
                    continue;
                }
                const std::uint32_t* v = layer.vertices(polygon);
                for (std::uint32_t c = 0; c < polygon.vertex_count; ++c)
                    if (v[c] >= layer.points.size()) {
                        out.push_back(name + ": vertex index out of range");
                        break;
                    }
                for (std::int32_t tag : {polygon.surface_tag, polygon.part_tag})
                    if (tag < -1 || (tag >= 0 && std::size_t(tag) >= mesh.tags.size()))
                        out.push_back(name + ": tag index out of range");
            }
            std::set<std::pair<std::uint32_t, std::string>> names;
            for (const VertexMap& map : layer.vmaps) {
                if (!names.insert({map.type, map.name}).second)
                    out.push_back(where + ": vmap '" + map.name + "' twice");
                else if (layer.vmaps.find(map.type, map.name) != &map)
                    out.push_back(where + ": vmap '" + map.name + "' not found under its name");
                check_vmap(where, layer, map, out);
            }
        }
    }
    for (const auto& surface : scene.surfaces) {
        std::string name = "surface '" + surface->name + "'";
        if (surface->mesh < -1 || (surface->mesh >= 0 && std::size_t(surface->mesh) >= scene.meshes.size()))
            out.push_back(name + ": mesh index out of range");
        for (const TextureLayer& layer : surface->color_texture)
            if (layer.image < -1 || (layer.image >= 0 && std::size_t(layer.image) >= scene.images.size()))
                out.push_back(name + ": image index out of range");
    }
    for (const auto& image : scene.images)
        if (image->rgb.size() != std::size_t(image->width) * std::size_t(image->height) * 3)
            out.push_back("image '" + image->name + "': pixel buffer does not match its size");
}

}  // namespace

std::vector<std::string> check_scene(const Scene& scene) {
    std::vector<std::string> out;
    check_items(scene, out);
    check_meshes(scene, out);
    return out;
}

}  // namespace lwhost
