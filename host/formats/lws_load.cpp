// Scene files (LWSC version 3 and later) into the scene model.
//
// The file is a list of items, each a declaring line (LoadObjectLayer,
// AddNullObject, AddBone, AddLight, AddCamera) followed by lines that apply
// to it, and scene-wide lines before and after. Everything is read into a
// fresh Scene; references between items (parents, targets, goals) are kept
// as written and resolved once every item exists, and the fresh scene
// replaces the caller's only when all of that worked. Lines the model has no
// place for are passed over, and so are nested `{ ... }` blocks and plug-in
// data between `Plugin` and `EndPlugin`.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <utility>

#include "lwo2.h"
#include "lws_reader.h"
#include <lwrender.h>

namespace lwhost {
namespace lws {

bool SceneReader::next_line() {
    if (!lines_.next(line_)) return false;
    for (char c : line_)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "0x%02X", unsigned(static_cast<unsigned char>(c)));
            fail(std::string("holds the control character ") + code + "; a scene file is text");
        }
    return true;
}

std::vector<std::string> SceneReader::read() {
    read_header();
    while (next_line()) {
        Tokens tokens(line_);
        std::string_view keyword = tokens.next();
        if (keyword.empty()) continue;
        if (keyword.front() == '{') {
            skip_block(line_);
            continue;
        }
        if (keyword == "}") fail("'}' closes no block");
        read_line(keyword, tokens);
    }
    resolve();
    return std::move(warnings_);
}

void SceneReader::read_header() {
    if (!next_line() || lws::trim(line_) != "LWSC") throw FileFormatError(file_, "is not a scene file (no LWSC on its first line)");
    if (!next_line()) throw FileFormatError(file_, "ends after its first line: the version number is missing");
    Tokens tokens(line_);
    int version = 0;
    if (!lws::parse_int(tokens.next(), version) || !tokens.done()) fail("the version number is not a whole number");
    if (version < 3)
        fail("scene file version " + std::to_string(version) +
             " is an older format that is not read; only version 3 and later are");
    version_ = version;
}

void SceneReader::read_line(std::string_view keyword, Tokens& tokens) {
    if (keyword == "Plugin") return skip_plugin();
    if (keyword == "EndPlugin") fail("EndPlugin without a Plugin line");
    if (keyword == "LoadObjectLayer") return load_object(tokens);
    if (keyword == "LoadObject") fail("LoadObject belongs to the older scene format; version 3 files use LoadObjectLayer");
    if (keyword == "AddNullObject") return add_null(tokens);
    if (keyword == "AddBone") return add_bone(tokens);
    if (keyword == "AddLight") return add_light_or_camera(tokens, ItemType::Light);
    if (keyword == "AddCamera") return add_light_or_camera(tokens, ItemType::Camera);
    if (keyword == "ObjectMotion" || keyword == "BoneMotion" || keyword == "LightMotion" || keyword == "CameraMotion")
        return read_motion(tokens, keyword);
    if (keyword == "NumChannels" || keyword == "Channel" || keyword == "Key" || keyword == "Behaviors")
        fail(std::string(keyword) + " outside a motion block");
    if (read_scene_line(keyword, tokens)) return;
    if (read_item_line(keyword, tokens)) return;
    read_bone_line(keyword, tokens);  // anything else is a setting the model does not keep
}

bool SceneReader::read_scene_line(std::string_view keyword, Tokens& tokens) {
    SceneSettings& s = scene_.settings;
    constexpr long long kFrames = 1LL << 30;  // far past any real range, and no int overflow in end - start
    if (keyword == "FirstFrame") s.frame_start = int(integer(tokens, "FirstFrame", -kFrames, kFrames));
    else if (keyword == "LastFrame") s.frame_end = int(integer(tokens, "LastFrame", -kFrames, kFrames));
    else if (keyword == "FrameStep") s.frame_step = int(integer(tokens, "FrameStep", 1, kFrames));
    else if (keyword == "PreviewFirstFrame") s.preview_start = int(integer(tokens, "PreviewFirstFrame", -kFrames, kFrames));
    else if (keyword == "PreviewLastFrame") s.preview_end = int(integer(tokens, "PreviewLastFrame", -kFrames, kFrames));
    else if (keyword == "PreviewFrameStep") s.preview_step = int(integer(tokens, "PreviewFrameStep", 1, kFrames));
    else if (keyword == "CurrentFrame") {
        current_frame_ = real(tokens, "CurrentFrame");
        if (std::fabs(current_frame_) > double(kFrames)) fail("CurrentFrame must be within 1073741824 of 0");
    } else if (keyword == "FramesPerSecond") {
        // Bounded both ways, so that the current time (frame / rate) is a number.
        s.frames_per_second = real(tokens, "FramesPerSecond");
        if (!(s.frames_per_second >= 1e-3) || s.frames_per_second > 1e6) fail("FramesPerSecond must be from 0.001 to 1000000");
    } else if (keyword == "CurrentObject") selected_object_ = integer(tokens, "CurrentObject", 0, kTypeMask);
    else return false;
    end_of_line(tokens, keyword);
    return true;
}

bool SceneReader::read_item_line(std::string_view keyword, Tokens& tokens) {
    auto reference = [&](Reference::Kind kind) {
        Item& item = current(keyword);
        ItemId written = 0;
        if (!lws::parse_item_id(tokens.next(), written)) fail(std::string(keyword) + " expects an item ID of hexadecimal digits");
        references_.push_back({kind, item.id, written, false, lines_.number()});
    };
    if (keyword == "ParentItem") reference(Reference::Parent);
    else if (keyword == "TargetItem") reference(Reference::Target);
    else if (keyword == "GoalObject") {
        Item& item = current(keyword);
        std::string_view token = tokens.next();
        ItemId written = 0;
        long long ordinal = 0;
        // Version 3 counts objects from 1 (0: none); later versions give an ID.
        if (token.size() == 8 && lws::parse_item_id(token, written)) {
            references_.push_back({Reference::Goal, item.id, written, false, lines_.number()});
        } else if (lws::parse_int(token, ordinal) && ordinal >= 0 && ordinal <= kTypeMask) {
            if (ordinal > 0) references_.push_back({Reference::Goal, item.id, ItemId(ordinal - 1), true, lines_.number()});
        } else {
            fail("GoalObject expects an object number or an item ID");
        }
    } else if (keyword == "GoalStrength") current(keyword).goal_strength = real(tokens, "GoalStrength");
    else if (keyword == "FullTimeIK" || keyword == "MatchGoalOrientation" || keyword == "KeepGoalWithinReach") {
        unsigned bit = keyword == "FullTimeIK" ? LWITEMF_FULLTIME_IK
                       : keyword == "MatchGoalOrientation" ? LWITEMF_GOAL_ORIENT
                                                           : LWITEMF_REACH_GOAL;
        Item& item = current(keyword);
        item.flags = flag(tokens, keyword) ? (item.flags | bit) : (item.flags & ~bit);
    } else if (keyword == "PivotPosition") reals(tokens, "PivotPosition", current(keyword).pivot, 3);
    else if (keyword == "PivotRotation") reals(tokens, "PivotRotation", current(keyword).pivot_rotation, 3, kRadiansPerDegree);
    else if (keyword == "BoneFalloffType") {
        current(keyword);
        const int falloff = int(integer(tokens, "BoneFalloffType", 0, 1000));
        // An object-level setting in the file, kept per bone by the model:
        // given to the object's bones once they are all read.
        if (current_object_) falloffs_[current_object_] = falloff;
    } else return false;
    end_of_line(tokens, keyword);
    return true;
}

bool SceneReader::read_bone_line(std::string_view keyword, Tokens& tokens) {
    auto bone_flag = [&](unsigned bit) {
        BoneData& bone = current_bone(keyword).bone;
        bone.flags = flag(tokens, keyword) ? (bone.flags | bit) : (bone.flags & ~bit);
    };
    if (keyword == "BoneName") {
        current_bone(keyword).name = name(tokens);
        return true;
    }
    if (keyword == "BoneWeightMapName") {
        current_bone(keyword).bone.weight_map = name(tokens);
        return true;
    }
    if (keyword == "BoneActive") bone_flag(LWBONEF_ACTIVE);
    else if (keyword == "ScaleBoneStrength") bone_flag(LWBONEF_SCALE_STRENGTH);
    else if (keyword == "BoneNormalization") bone_flag(LWBONEF_WEIGHT_NORM);
    else if (keyword == "BoneLimitedRange") bone_flag(LWBONEF_LIMITED_RANGE);
    else if (keyword == "BoneWeightMapOnly") current_bone(keyword).bone.weight_map_only = flag(tokens, "BoneWeightMapOnly");
    else if (keyword == "BoneRestPosition") reals(tokens, "BoneRestPosition", current_bone(keyword).bone.rest_position, 3);
    else if (keyword == "BoneRestDirection")
        reals(tokens, "BoneRestDirection", current_bone(keyword).bone.rest_rotation, 3, kRadiansPerDegree);
    else if (keyword == "BoneRestLength") current_bone(keyword).bone.rest_length = real(tokens, "BoneRestLength");
    else if (keyword == "BoneStrength") current_bone(keyword).bone.strength = real(tokens, "BoneStrength");
    else if (keyword == "LightName") {
        Item& item = current(keyword);
        if (item.type != ItemType::Light) fail("LightName outside a light");
        item.name = name(tokens);
        return true;
    } else if (keyword == "CameraName") {
        Item& item = current(keyword);
        if (item.type != ItemType::Camera) fail("CameraName outside a camera");
        item.name = name(tokens);
        return true;
    } else return false;
    end_of_line(tokens, keyword);
    return true;
}

// ---------------------------------------------------------------------------
// Values

double SceneReader::real(Tokens& tokens, std::string_view what) {
    double value = 0.0;
    std::string_view token = tokens.next();
    if (token.empty()) fail(std::string(what) + " is missing a number");
    if (!lws::parse_real(token, value)) fail(std::string(what) + ": '" + std::string(token) + "' is not a finite number");
    return value;
}

long long SceneReader::integer(Tokens& tokens, std::string_view what, long long low, long long high) {
    long long value = 0;
    std::string_view token = tokens.next();
    if (token.empty()) fail(std::string(what) + " is missing a number");
    if (!lws::parse_int(token, value)) fail(std::string(what) + ": '" + std::string(token) + "' is not a whole number");
    if (value < low || value > high)
        fail(std::string(what) + ": " + std::to_string(value) + " is outside " + std::to_string(low) + " to " +
             std::to_string(high));
    return value;
}

void SceneReader::reals(Tokens& tokens, std::string_view what, double* out, int count, double scale) {
    for (int k = 0; k < count; ++k) out[k] = real(tokens, what) * scale;
}

void SceneReader::end_of_line(Tokens& tokens, std::string_view keyword) {
    if (!tokens.done()) fail(std::string(keyword) + " has more on its line than expected: '" + std::string(tokens.rest()) + "'");
}

Item& SceneReader::current(std::string_view keyword) {
    Item* item = scene_.item(current_);
    if (!item) fail(std::string(keyword) + " before any item");
    return *item;
}

Item& SceneReader::current_bone(std::string_view keyword) {
    Item& item = current(keyword);
    if (item.type != ItemType::Bone) fail(std::string(keyword) + " outside a bone");
    return item;
}

// ---------------------------------------------------------------------------
// Items

// Version 4 and later write the item's ID on its declaring line; version 3
// numbers items by their order in the file.
ItemId SceneReader::baked_id(Tokens& tokens, ItemId type) {
    if (version_ < 4) return 0;
    Tokens ahead = tokens;
    std::string_view token = ahead.next();
    ItemId written = 0;
    if (token.size() != 8 || !lws::parse_item_id(token, written)) return 0;
    if ((written & kTypeMask) != type) fail("item ID " + std::string(token) + " is of another item type");
    tokens = ahead;
    return written;
}

void SceneReader::declare(ItemId written, ItemId id) {
    if (!ids_.emplace(written, id).second) {
        char text[16];
        std::snprintf(text, sizeof text, "%08X", unsigned(written));
        fail(std::string("item ID ") + text + " is declared twice");
    }
    current_ = id;
}

void SceneReader::load_object(Tokens& tokens) {
    long long layer = integer(tokens, "LoadObjectLayer", 1, 0x10000);
    ItemId written = baked_id(tokens, kObjectIds);
    std::string path(tokens.rest());
    if (path.empty()) fail("LoadObjectLayer names no object file");
    int mesh = mesh_for(path, int(layer - 1));
    const MeshObject& object = *scene_.meshes[std::size_t(mesh)];
    int layer_index = 0;
    for (std::size_t k = 0; k < object.layers.size(); ++k)
        if (object.layers[k].number == layer - 1) layer_index = int(k);
    ItemId id = scene_.add_object(std::filesystem::path(object.filename).stem().string(), mesh, layer_index);
    declare(written ? written : id, id);
    current_object_ = id;
}

// Loads each object file once; several layers of one file share it. A file
// that cannot be loaded is reported and stands as an empty object under its
// name, so that the items, their bones and a later save keep it.
int SceneReader::mesh_for(const std::string& written, int layer_number) {
    std::string neutral = written;
    for (char& c : neutral)
        if (c == '\\') c = '/';
    std::filesystem::path relative(neutral);
    std::filesystem::path found;
    std::error_code error;
    if (relative.is_absolute()) {
        found = relative;
    } else {
        std::vector<std::filesystem::path> folders{file_.parent_path()};
        if (!options_.content_folder.empty()) folders.push_back(options_.content_folder);
        for (const std::filesystem::path& folder : folders) {
            std::filesystem::path candidate = folder / relative;
            if (std::filesystem::exists(candidate, error)) {
                found = candidate;
                break;
            }
        }
    }
    std::filesystem::path resolved = found.empty() ? file_.parent_path() / relative : found;
    resolved = std::filesystem::absolute(resolved, error).lexically_normal();
    const std::string key = resolved.string();

    auto known = meshes_.find(key);
    int mesh = -1;
    if (known != meshes_.end()) {
        mesh = known->second;
    } else {
        bool exists = std::filesystem::exists(resolved, error);
        if (!exists) {
            warn("object file " + written + " not found" +
                 (options_.content_folder.empty() ? std::string(" beside the scene")
                                                  : " beside the scene or in " + options_.content_folder.string()));
        } else {
            try {
                mesh = options_.load_object ? options_.load_object(scene_, resolved) : load_lwo2(scene_, resolved);
                if (mesh < 0 || std::size_t(mesh) >= scene_.meshes.size()) {
                    warn("object file " + written + " not loaded");
                    mesh = -1;
                }
            } catch (const FileFormatError& e) {
                warn("object file " + written + " not loaded: " + e.what());
            } catch (const std::filesystem::filesystem_error& e) {
                warn("object file " + written + " not loaded: " + e.code().message());
            }
        }
        if (mesh < 0) mesh = scene_.add_mesh(key);
        meshes_.emplace(key, mesh);
    }

    MeshObject& object = *scene_.meshes[std::size_t(mesh)];
    for (const Layer& layer : object.layers)
        if (layer.number == layer_number) return mesh;
    if (!object.layers.empty())
        warn("object file " + written + " has no layer " + std::to_string(layer_number + 1) + "; it is shown empty");
    object.layers.emplace_back();
    object.layers.back().number = layer_number;
    return mesh;
}

void SceneReader::add_null(Tokens& tokens) {
    ItemId written = baked_id(tokens, kObjectIds);
    ItemId id = scene_.add_object(name(tokens));
    declare(written ? written : id, id);
    current_object_ = id;
}

void SceneReader::add_bone(Tokens& tokens) {
    ItemId written = baked_id(tokens, kBoneIds);
    end_of_line(tokens, "AddBone");
    if (!current_object_) fail("AddBone before any object");
    if ((current_object_ & 0x0FFFFFFFu) >= kMaxObjectsWithBones)
        fail("a bone of object " + std::to_string((current_object_ & 0x0FFFFFFFu) + 1) +
             ": only the first 65,536 objects of a scene can have bones");
    if (scene_.bones_of(current_object_).size() >= Scene::kMaxBonesPerObject)
        fail("object " + describe(current_object_) + " has more than 4,095 bones, more than its item IDs can number");
    ItemId id = scene_.add_bone(current_object_, "Bone");
    if (!id) fail("the bone could not be added");
    declare(written ? written : id, id);
}

void SceneReader::add_light_or_camera(Tokens& tokens, ItemType type) {
    const bool light = type == ItemType::Light;
    ItemId written = baked_id(tokens, light ? kLightIds : kCameraIds);
    end_of_line(tokens, light ? "AddLight" : "AddCamera");
    ItemId id = light ? scene_.add_light("Light") : scene_.add_camera("Camera");
    declare(written ? written : id, id);
}

// ---------------------------------------------------------------------------
// References

std::string SceneReader::describe(ItemId id) const {
    const Item* item = scene_.item(id);
    char text[16];
    std::snprintf(text, sizeof text, "%08X", unsigned(id));
    return "'" + (item ? item->name : std::string()) + "' (" + text + ")";
}

void SceneReader::resolve() {
    for (const Reference& ref : references_) {
        if (ref.kind == Reference::Parent) continue;
        ItemId id = 0;
        if (ref.by_ordinal) {
            const auto& objects = scene_.items(ItemType::Object);
            if (ref.written >= objects.size())
                throw FileFormatError(file_, "line " + std::to_string(ref.line) + ": GoalObject " +
                                                 std::to_string(ref.written + 1) + " names no object; the scene has " +
                                                 std::to_string(objects.size()));
            id = objects[ref.written];
        } else {
            auto found = ids_.find(ref.written);
            char text[16];
            std::snprintf(text, sizeof text, "%08X", unsigned(ref.written));
            if (found == ids_.end())
                throw FileFormatError(file_, "line " + std::to_string(ref.line) + ": item ID " + text +
                                                 " names no item of the scene");
            id = found->second;
        }
        Item& item = *scene_.item(ref.item);
        (ref.kind == Reference::Target ? item.target : item.goal) = id;
    }
    resolve_parents();
    for (auto [object, falloff] : falloffs_)
        for (ItemId bone : scene_.bones_of(object)) scene_.item(bone)->bone.falloff = falloff;

    SceneSettings& s = scene_.settings;
    s.time = current_frame_ / s.frames_per_second;
    const auto& objects = scene_.items(ItemType::Object);
    if (selected_object_ >= 0 && std::size_t(selected_object_) < objects.size())
        scene_.selection.assign(1, objects[std::size_t(selected_object_)]);
}

void SceneReader::resolve_parents() {
    std::unordered_map<ItemId, ItemId> written_parent;  // scene IDs
    for (const Reference& ref : references_) {
        if (ref.kind != Reference::Parent) continue;
        auto found = ids_.find(ref.written);
        if (found == ids_.end()) {
            char text[16];
            std::snprintf(text, sizeof text, "%08X", unsigned(ref.written));
            throw FileFormatError(file_, "line " + std::to_string(ref.line) + ": ParentItem " + text +
                                             " names no item of the scene");
        }
        written_parent[ref.item] = found->second;
        if (scene_.set_parent(ref.item, found->second)) continue;
        // The parent is the item itself or below it: name the whole loop.
        std::string loop = describe(ref.item);
        ItemId at = found->second;
        for (std::size_t steps = 0; at != ref.item && steps <= references_.size(); ++steps) {
            loop += " -> " + describe(at);
            const Item* above = scene_.item(at);
            at = above ? above->parent : ref.item;
        }
        throw FileFormatError(file_, "line " + std::to_string(ref.line) + ": the parents make a loop: " + loop + " -> " +
                                         describe(ref.item));
    }
}

}  // namespace lws

std::vector<std::string> load_lws(Scene& scene, const std::filesystem::path& file, std::span<const std::byte> bytes,
                                  const SceneLoadOptions& options) {
    Scene fresh;
    fresh.settings.name = file.stem().string();
    fresh.settings.filename = file.string();
    fresh.settings.box_threshold = scene.settings.box_threshold;  // an interface setting, not the scene's
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    lws::SceneReader reader(fresh, file, options, text);
    std::vector<std::string> warnings = reader.read();
    scene = std::move(fresh);
    return warnings;
}

std::vector<std::string> load_lws(Scene& scene, const std::filesystem::path& file, const SceneLoadOptions& options) {
    std::error_code error;
    if (std::filesystem::is_directory(file, error)) throw FileFormatError(file, "is a folder, not a scene file");
    std::FILE* in = std::fopen(file.c_str(), "rb");
    if (!in) throw FileFormatError(file, std::string("cannot be opened: ") + std::strerror(errno));
    // One read of the whole file where its size is known; a pipe is read in pieces.
    std::string text;
    const auto size = std::filesystem::file_size(file, error);
    if (!error) text.reserve(std::size_t(size));
    char buffer[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, got);
    const bool failed = std::ferror(in) != 0;
    std::fclose(in);
    if (failed) throw FileFormatError(file, "cannot be read");
    return load_lws(scene, file, std::as_bytes(std::span<const char>(text.data(), text.size())), options);
}

}  // namespace lwhost
