// The scene file reader's state, shared by its two source files:
// lws_load.cpp (lines, items, references, the entry points) and
// lws_motion.cpp (motion blocks, envelopes, skipped blocks and plug-in data).
#pragma once

#include <numbers>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "lws.h"
#include "lws_lines.h"

namespace lwhost::lws {

inline constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;
inline constexpr ItemId kTypeMask = 0xF0000000u;
inline constexpr ItemId kObjectIds = 0x10000000u, kLightIds = 0x20000000u, kCameraIds = 0x30000000u,
                 kBoneIds = 0x40000000u;
// A bone's item ID keeps its object's ordinal in 16 bits.
inline constexpr std::size_t kMaxObjectsWithBones = 0x10000;

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
    std::unordered_map<ItemId, int> falloffs_;  // BoneFalloffType per object
    std::unordered_map<std::string, int> meshes_;  // resolved path -> index
    double current_frame_ = 0.0;
    long long selected_object_ = -1;
};

}  // namespace lwhost::lws
