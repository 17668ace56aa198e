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
#include <fstream>
#include <numbers>
#include <string>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "lws.h"
#include "lws_lines.h"
#include "lwo2.h"
#include <lwrender.h>

namespace lwhost {
namespace {

using lws::LineReader;
using lws::Tokens;

constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;
constexpr ItemId kTypeMask = 0xF0000000u;
constexpr ItemId kObjectIds = 0x10000000u, kLightIds = 0x20000000u, kCameraIds = 0x30000000u,
                 kBoneIds = 0x40000000u;
// A bone's item ID keeps its object's ordinal in 16 bits.
constexpr std::size_t kMaxObjectsWithBones = 0x10000;

struct Reference {
    enum Kind { Parent, Target, Goal } kind;
    ItemId item;        // scene ID of the item the line belongs to
    ItemId written;     // as the file gives it (for goals by ordinal: the 0-based ordinal)
    bool by_ordinal;    // a version 3 goal: an object ordinal, not an ID
    std::size_t line;
};

class SceneReader {
public:
    SceneReader(Scene& scene, const std::filesystem::path& file, const SceneLoadOptions& options,
                std::string_view text)
        : scene_(scene), file_(file), options_(options), lines_(text.data(), text.data() + text.size()) {}

    std::vector<std::string> read();

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw FileFormatError(file_, "line " + std::to_string(lines_.number()) + ": " + what);
    }
    void warn(const std::string& what) {
        warnings_.push_back(file_.filename().string() + ": line " + std::to_string(lines_.number()) + ": " + what);
    }
    bool next_line();
    void read_header();
    void read_line(std::string_view keyword, Tokens& tokens);
    bool read_scene_line(std::string_view keyword, Tokens& tokens);
    bool read_item_line(std::string_view keyword, Tokens& tokens);
    bool read_bone_line(std::string_view keyword, Tokens& tokens);

    // Item declarations.
    ItemId baked_id(Tokens& tokens, ItemId type);
    void declare(ItemId written, ItemId id);
    void load_object(Tokens& tokens);
    void add_null(Tokens& tokens);
    void add_bone(Tokens& tokens);
    void add_light_or_camera(Tokens& tokens, ItemType type);
    int mesh_for(const std::string& written, int layer_number);

    // Values.
    double real(Tokens& tokens, std::string_view what);
    long long integer(Tokens& tokens, std::string_view what, long long low, long long high);
    bool flag(Tokens& tokens, std::string_view what) { return integer(tokens, what, 0, 1) != 0; }
    void reals(Tokens& tokens, std::string_view what, double* out, int count, double scale = 1.0);
    void end_of_line(Tokens& tokens, std::string_view keyword);
    std::string name(Tokens& tokens) { return std::string(tokens.rest()); }
    Item& current(std::string_view keyword);
    Item& current_bone(std::string_view keyword);

    // Motion.
    void read_motion(Tokens& tokens, std::string_view keyword);
    void read_envelope(Envelope& envelope);
    void skip_block(std::string_view opening);
    void skip_plugin();

    void resolve();
    void resolve_parents();
    std::string describe(ItemId id) const;

    Scene& scene_;
    const std::filesystem::path& file_;
    const SceneLoadOptions& options_;
    LineReader lines_;
    std::string_view line_;
    std::vector<std::string> warnings_;

    int version_ = 0;
    ItemId current_ = 0;         // the item the lines apply to
    ItemId current_object_ = 0;  // the object bones join
    std::unordered_map<ItemId, ItemId> ids_;  // as written -> scene ID
    std::vector<Reference> references_;
    std::unordered_map<std::string, int> meshes_;  // resolved path -> index
    double current_frame_ = 0.0;
    long long selected_object_ = -1;
};

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
        int falloff = int(integer(tokens, "BoneFalloffType", 0, 1000));
        // An object-level setting in the file, kept per bone by the model.
        if (Item* object = scene_.item(current_object_)) {
            object->bone.falloff = falloff;
            for (ItemId bone : scene_.bones_of(object->id)) scene_.item(bone)->bone.falloff = falloff;
        }
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
    scene_.item(id)->bone.falloff = scene_.item(current_object_)->bone.falloff;
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
// Motion

void SceneReader::read_motion(Tokens& tokens, std::string_view keyword) {
    Item& item = current(keyword);
    const bool fits = (keyword == "ObjectMotion" && item.type == ItemType::Object) ||
                      (keyword == "BoneMotion" && item.type == ItemType::Bone) ||
                      (keyword == "LightMotion" && item.type == ItemType::Light) ||
                      (keyword == "CameraMotion" && item.type == ItemType::Camera);
    if (!fits) fail(std::string(keyword) + " does not belong to the item before it, " + describe(item.id));
    if (!tokens.done()) fail(std::string(keyword) + " has more on its line than expected (an older scene format?)");
    if (!next_line()) fail(std::string(keyword) + ": the file ends before NumChannels");
    Tokens count_line(line_);
    if (count_line.next() != "NumChannels") fail(std::string(keyword) + " is not followed by NumChannels");
    const long long channels = integer(count_line, "NumChannels", 0, kChannelCount);
    end_of_line(count_line, "NumChannels");

    bool seen[kChannelCount] = {};
    for (long long k = 0; k < channels; ++k) {
        if (!next_line()) fail("the file ends after " + std::to_string(k) + " of " + std::to_string(channels) + " channels");
        Tokens channel_line(line_);
        if (channel_line.next() != "Channel")
            fail("expected Channel (" + std::to_string(k) + " of " + std::to_string(channels) + " read)");
        const long long channel = integer(channel_line, "Channel", 0, kChannelCount - 1);
        end_of_line(channel_line, "Channel");
        if (seen[channel]) fail("Channel " + std::to_string(channel) + " appears twice");
        seen[channel] = true;
        if (!next_line()) fail("the file ends before the envelope of channel " + std::to_string(channel));
        Tokens open(line_);
        if (open.next() != "{" || open.next() != "Envelope" || !open.done()) fail("expected '{ Envelope'");
        read_envelope(item.motion[std::size_t(channel)]);
    }
}

void SceneReader::read_envelope(Envelope& envelope) {
    const std::size_t opened = lines_.number();
    auto ends_early = [&] { fail("the file ends inside the envelope opened at line " + std::to_string(opened)); };
    if (!next_line()) ends_early();
    Tokens count_line(line_);
    const long long count = integer(count_line, "the key count", 0, 1LL << 40);
    end_of_line(count_line, "the key count");
    envelope.keys.clear();
    envelope.param_rows.clear();
    // A count is only a claim: room for no more keys than lines could follow.
    envelope.keys.reserve(std::size_t(std::min<long long>(count, (long long)(lines_.bytes_left() / 16))));
    for (long long k = 0; k < count; ++k) {
        if (!next_line()) ends_early();
        Tokens key_line(line_);
        if (key_line.next() != "Key")
            fail("expected Key " + std::to_string(k + 1) + " of " + std::to_string(count) + " (the key count does not match)");
        Key key;
        key.value = real(key_line, "Key value");
        key.time = real(key_line, "Key time");
        key.shape = static_cast<SpanType>(integer(key_line, "Key span type", 0, 5));
        double p[6];
        reals(key_line, "Key parameters", p, 6);
        end_of_line(key_line, "Key");
        if (!envelope.keys.empty() && !(key.time > envelope.keys.back().time))
            fail("key times must increase; " + std::string(lws::trim(line_)) + " does not");
        KeyParams params;
        switch (key.shape) {
        case SpanType::Hermite:
        case SpanType::Bezier1D:
            params.param[0] = p[3];  // incoming tangent
            params.param[1] = p[4];  // outgoing tangent
            break;
        case SpanType::Bezier2D:
            for (int i = 0; i < 4; ++i) params.param[i] = p[i];
            break;
        default:  // TCB; linear and stepped keys keep their numbers too, unused
            for (int i = 0; i < 3; ++i) params.param[i] = p[i];
            break;
        }
        envelope.keys.push_back(key);
        if (params.param[0] != 0.0 || params.param[1] != 0.0 || params.param[2] != 0.0 || params.param[3] != 0.0)
            envelope.edit_params(envelope.keys.size() - 1) = params;
    }
    bool behaviors = false;
    while (true) {
        if (!next_line()) ends_early();
        Tokens tokens(line_);
        std::string_view keyword = tokens.next();
        if (keyword == "}") {
            if (!tokens.done()) fail("'}' has more on its line than expected");
            break;
        }
        if (keyword == "Behaviors") {
            if (behaviors) fail("Behaviors appears twice in one envelope");
            behaviors = true;
            envelope.pre = static_cast<Behavior>(integer(tokens, "Behaviors", 0, 5));
            envelope.post = static_cast<Behavior>(integer(tokens, "Behaviors", 0, 5));
            end_of_line(tokens, keyword);
        } else if (!keyword.empty() && keyword.front() == '{') {
            skip_block(line_);  // a channel modifier's settings
        } else if (keyword == "Key") {
            fail("more keys than the envelope's count of " + std::to_string(count));
        } else if (!keyword.empty()) {
            fail("'" + std::string(keyword) + "' inside an envelope");
        }
    }
}

void SceneReader::skip_block(std::string_view opening) {
    const std::size_t opened = lines_.number();
    const std::string name(lws::trim(opening));
    std::size_t depth = 1;
    while (depth > 0) {
        if (!next_line()) fail("the block '" + name + "' opened at line " + std::to_string(opened) + " is not closed");
        std::string_view text = lws::trim(line_);
        if (!text.empty() && text.front() == '{') ++depth;
        else if (text == "}") --depth;
    }
}

void SceneReader::skip_plugin() {
    const std::size_t opened = lines_.number();
    while (true) {
        if (!next_line()) fail("the plug-in data from line " + std::to_string(opened) + " has no EndPlugin");
        Tokens tokens(line_);
        if (tokens.next() == "EndPlugin") return;
    }
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

}  // namespace

std::vector<std::string> load_lws(Scene& scene, const std::filesystem::path& file, std::span<const std::byte> bytes,
                                  const SceneLoadOptions& options) {
    Scene fresh;
    fresh.settings.name = file.stem().string();
    fresh.settings.filename = file.string();
    fresh.settings.box_threshold = scene.settings.box_threshold;  // an interface setting, not the scene's
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    SceneReader reader(fresh, file, options, text);
    std::vector<std::string> warnings = reader.read();
    scene = std::move(fresh);
    return warnings;
}

std::vector<std::string> load_lws(Scene& scene, const std::filesystem::path& file, const SceneLoadOptions& options) {
    std::error_code error;
    if (std::filesystem::is_directory(file, error)) throw FileFormatError(file, "is a folder, not a scene file");
    std::ifstream in(file, std::ios::binary);
    if (!in) throw FileFormatError(file, std::string("cannot be opened: ") + std::strerror(errno));
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw FileFormatError(file, "cannot be read");
    return load_lws(scene, file, std::as_bytes(std::span<const char>(text.data(), text.size())), options);
}

}  // namespace lwhost
