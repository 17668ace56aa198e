// The scene model as a scene file (LWSC version 3): items numbered by their
// order, which is the model's own numbering, so the IDs in ParentItem lines
// are the model's IDs. The text is composed in memory and written through
// the project's safe save, so a failed save leaves the old file as it was.
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

#include "lws.h"
#include "safe_file.h"
#include <lwrender.h>

namespace lwhost {
namespace {

constexpr double kDegreesPerRadian = 180.0 / std::numbers::pi;

class SceneWriter {
public:
    SceneWriter(const Scene& scene, const std::filesystem::path& file) : scene_(scene), file_(file) {
        std::error_code error;
        // A bare file name is in the current folder ("" has no absolute form).
        const std::filesystem::path parent = file.has_parent_path() ? file.parent_path() : ".";
        folder_ = std::filesystem::absolute(parent, error).lexically_normal();
    }
    std::string compose();

private:
    // Shortest text that reads back as the same double, whatever the locale.
    void real(double value, const char* what) {
        if (!std::isfinite(value))
            throw FileFormatError(file_, "cannot be saved: " + subject_ + " has a " + what + " that is not a finite number");
        char text[32];
        auto [end, ec] = std::to_chars(text, text + sizeof text, value);
        out_.append(text, end);
    }
    void integer(long long value) {
        char text[24];
        auto [end, ec] = std::to_chars(text, text + sizeof text, value);
        out_.append(text, end);
    }
    void id(ItemId value) {
        char text[12];
        auto [end, ec] = std::to_chars(text, text + sizeof text, value, 16);
        out_.append(8 - std::size_t(end - text), '0');
        out_.append(text, end);
    }
    void line(const char* keyword, const double* values, int count, const char* what, double scale = 1.0) {
        out_ += keyword;
        for (int k = 0; k < count; ++k) {
            out_ += ' ';
            real(values[k] * scale, what);
        }
        out_ += '\n';
    }
    void line(const char* keyword, long long value) {
        out_ += keyword;
        out_ += ' ';
        integer(value);
        out_ += '\n';
    }
    // Names run to the end of their line: a line break or other control
    // character in one would split it or be refused when read, so it is
    // written as '_'. A tab inside a name reads back as it is.
    void name_line(const char* keyword, const std::string& name) {
        out_ += keyword;
        out_ += ' ';
        for (char c : name) out_ += ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) ? '_' : c;
        out_ += '\n';
    }

    // Built by appending: GCC 12 warns (-Wrestrict, a false alarm) on "x" + string here.
    void describe(const char* kind, const Item& item) {
        subject_.assign(kind).append(" '").append(item.name).append("'");
    }
    void header();
    void object(const Item& item);
    void bone(const Item& item);
    void light_or_camera(const Item& item);
    void motion(const Item& item, const char* keyword, int channels);
    void envelope(const Item& item, int channel);
    void item_links(const Item& item);
    std::string object_path(const MeshObject& mesh) const;

    const Scene& scene_;
    const std::filesystem::path& file_;
    std::filesystem::path folder_;
    std::string out_;
    std::string subject_;  // the item being written, for errors
};

std::string SceneWriter::compose() {
    header();
    for (ItemId id : scene_.items(ItemType::Object)) {
        object(*scene_.item(id));
        for (ItemId bone_id : scene_.bones_of(id)) bone(*scene_.item(bone_id));
    }
    for (ItemType type : {ItemType::Light, ItemType::Camera})
        for (ItemId id : scene_.items(type)) light_or_camera(*scene_.item(id));

    // Layout's current object; a selected bone stands for its object.
    const auto& objects = scene_.items(ItemType::Object);
    for (ItemId id : scene_.selection) {
        const Item* item = scene_.item(id);
        if (!item || (item->type != ItemType::Object && item->type != ItemType::Bone)) continue;
        const ItemId object = item->type == ItemType::Bone ? item->bone.object : item->id;
        for (std::size_t k = 0; k < objects.size(); ++k)
            if (objects[k] == object) line("CurrentObject", (long long)k);
        break;
    }
    return std::move(out_);
}

void SceneWriter::header() {
    const SceneSettings& s = scene_.settings;
    subject_ = "the scene";
    out_ += "LWSC\n3\n\n";
    line("FirstFrame", s.frame_start);
    line("LastFrame", s.frame_end);
    line("FrameStep", s.frame_step);
    line("PreviewFirstFrame", s.preview_start);
    line("PreviewLastFrame", s.preview_end);
    line("PreviewFrameStep", s.preview_step);
    double frame = s.time * s.frames_per_second;
    if (std::fabs(frame - std::round(frame)) < 1e-9) frame = std::round(frame);  // 40/30 s * 30 is 40, not 40.000000000000007
    line("CurrentFrame", &frame, 1, "current frame");
    line("FramesPerSecond", &s.frames_per_second, 1, "frame rate");
}

std::string SceneWriter::object_path(const MeshObject& mesh) const {
    std::filesystem::path path(mesh.filename);
    if (path.is_absolute()) {
        // A path that is the folder itself or one above it comes out as "."
        // or "..", which names no file: such a path is written whole.
        std::filesystem::path relative = path.lexically_normal().lexically_relative(folder_);
        const std::filesystem::path last = relative.filename();
        if (!last.empty() && last != "." && last != "..") return relative.generic_string();
    }
    return path.generic_string();
}

void SceneWriter::object(const Item& item) {
    describe("object", item);
    out_ += '\n';
    const MeshObject* mesh =
        item.mesh >= 0 && std::size_t(item.mesh) < scene_.meshes.size() ? scene_.meshes[std::size_t(item.mesh)].get() : nullptr;
    if (mesh) {
        int layer = 1;
        if (item.layer >= 0 && std::size_t(item.layer) < mesh->layers.size()) layer = mesh->layers[std::size_t(item.layer)].number + 1;
        out_ += "LoadObjectLayer ";
        integer(layer);
        name_line("", object_path(*mesh));
    } else {
        name_line("AddNullObject", item.name);
    }
    out_ += "ShowObject 6 7\n";
    motion(item, "ObjectMotion", kChannelCount);
    item_links(item);
    const auto& bones = scene_.bones_of(item.id);
    if (!bones.empty()) line("BoneFalloffType", scene_.item(bones.front())->bone.falloff);
}

void SceneWriter::bone(const Item& item) {
    describe("bone", item);
    const BoneData& b = item.bone;
    out_ += "\nAddBone\n";
    name_line("BoneName", item.name);
    out_ += "ShowBone 1 -1\n";
    line("BoneActive", (b.flags & LWBONEF_ACTIVE) ? 1 : 0);
    line("BoneRestPosition", b.rest_position, 3, "rest position");
    line("BoneRestDirection", b.rest_rotation, 3, "rest rotation", kDegreesPerRadian);
    line("BoneRestLength", &b.rest_length, 1, "rest length");
    line("BoneStrength", &b.strength, 1, "strength");
    line("ScaleBoneStrength", (b.flags & LWBONEF_SCALE_STRENGTH) ? 1 : 0);
    if (!b.weight_map.empty()) name_line("BoneWeightMapName", b.weight_map);
    line("BoneWeightMapOnly", b.weight_map_only ? 1 : 0);
    line("BoneNormalization", (b.flags & LWBONEF_WEIGHT_NORM) ? 1 : 0);
    if (b.flags & LWBONEF_LIMITED_RANGE) line("BoneLimitedRange", 1);
    motion(item, "BoneMotion", kChannelCount);
    item_links(item);
}

void SceneWriter::light_or_camera(const Item& item) {
    const bool light = item.type == ItemType::Light;
    describe(light ? "light" : "camera", item);
    out_ += light ? "\nAddLight\n" : "\nAddCamera\n";
    name_line(light ? "LightName" : "CameraName", item.name);
    out_ += light ? "ShowLight 1 -1\n" : "ShowCamera 1 -1\n";
    // Cameras carry no scale channels in scene files.
    motion(item, light ? "LightMotion" : "CameraMotion", light ? kChannelCount : kScaleX);
    item_links(item);
}

void SceneWriter::motion(const Item& item, const char* keyword, int channels) {
    out_ += keyword;
    out_ += '\n';
    line("NumChannels", channels);
    for (int channel = 0; channel < channels; ++channel) envelope(item, channel);
}

// Every envelope in a scene file has a key; a channel without keys is
// written as the one key that gives the value the model gives it.
void SceneWriter::envelope(const Item& item, int channel) {
    const Envelope& env = item.motion[std::size_t(channel)];
    line("Channel", channel);
    out_ += "{ Envelope\n  ";
    if (env.keys.empty()) {
        double value = channel >= kScaleX ? 1.0 : 0.0;
        if (item.type == ItemType::Bone && channel < kHeading) value = item.bone.rest_position[channel];
        if (item.type == ItemType::Bone && channel >= kHeading && channel < kScaleX)
            value = item.bone.rest_rotation[channel - kHeading];
        out_ += "1\n  Key ";
        real(value, "channel value");
        out_ += " 0 0 0 0 0 0 0 0\n";
    } else {
        integer((long long)env.keys.size());
        out_ += '\n';
        for (const Key& key : env.keys) {
            const KeyParams& p = env.params(key);
            double slots[6] = {0, 0, 0, 0, 0, 0};
            switch (key.shape) {
            case SpanType::Hermite:
            case SpanType::Bezier1D:
                slots[3] = p.param[0];
                slots[4] = p.param[1];
                break;
            case SpanType::Bezier2D:
                for (int k = 0; k < 4; ++k) slots[k] = p.param[k];
                break;
            default:
                for (int k = 0; k < 3; ++k) slots[k] = p.param[k];
                break;
            }
            out_ += "  Key ";
            real(key.value, "key value");
            out_ += ' ';
            real(key.time, "key time");
            out_ += ' ';
            integer(int(key.shape));
            for (double slot : slots) {
                out_ += ' ';
                real(slot, "key parameter");
            }
            out_ += '\n';
        }
    }
    out_ += "  Behaviors ";
    integer(int(env.pre));
    out_ += ' ';
    integer(int(env.post));
    out_ += "\n}\n";
}

void SceneWriter::item_links(const Item& item) {
    if (item.pivot[0] != 0.0 || item.pivot[1] != 0.0 || item.pivot[2] != 0.0)
        line("PivotPosition", item.pivot, 3, "pivot position");
    if (item.pivot_rotation[0] != 0.0 || item.pivot_rotation[1] != 0.0 || item.pivot_rotation[2] != 0.0)
        line("PivotRotation", item.pivot_rotation, 3, "pivot rotation", kDegreesPerRadian);
    if (scene_.item(item.parent)) {
        out_ += "ParentItem ";
        id(item.parent);
        out_ += '\n';
    }
    if (scene_.item(item.target)) {
        out_ += "TargetItem ";
        id(item.target);
        out_ += '\n';
    }
    // Version 3 names a goal by its object's number, counted from 1.
    const auto& objects = scene_.items(ItemType::Object);
    for (std::size_t k = 0; k < objects.size(); ++k)
        if (item.goal && objects[k] == item.goal) line("GoalObject", (long long)k + 1);
    line("GoalStrength", &item.goal_strength, 1, "goal strength");
    if (item.flags & LWITEMF_FULLTIME_IK) out_ += "FullTimeIK 1\n";
    if (item.flags & LWITEMF_GOAL_ORIENT) out_ += "MatchGoalOrientation 1\n";
    if (item.flags & LWITEMF_REACH_GOAL) out_ += "KeepGoalWithinReach 1\n";
}

}  // namespace

std::string compose_lws(const Scene& scene, const std::filesystem::path& file) {
    return SceneWriter(scene, file).compose();
}

void save_lws(const Scene& scene, const std::filesystem::path& file) {
    const std::string text = compose_lws(scene, file);
    SafeFile out;
    const std::string path = file.string();
    errno = 0;
    int rc = safe_file_open(out, path.c_str());
    if (rc == SAFE_FILE_NO_MEMORY) throw FileFormatError(file, "cannot be saved: out of memory");
    if (rc != SAFE_FILE_OK)
        throw FileFormatError(file, std::string("cannot be saved: ") +
                                        (errno ? std::strerror(errno) : "the file cannot be opened for writing"));
    if (std::fwrite(text.data(), 1, text.size(), out.stream) != text.size()) rc = 1;
    if (safe_file_commit(out, rc) != 0)
        throw FileFormatError(file, "cannot be saved: writing it failed (is the disk full?); the old file is unchanged");
}

}  // namespace lwhost
