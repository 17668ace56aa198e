// Layout command texts, as a generic plug-in sends them through its local's
// `evaluate`: the command word, then its arguments separated by any number of
// blanks. Every text goes into host.command_log (when it keeps records)
// exactly as received before it is parsed. Commands that act on "the
// current item" use the last item of the selection (the one Layout shows as
// current). Numbers are read as
// std::from_chars reads them (no locale) and must fill their whole token; a
// text that cannot be carried out changes nothing and leaves a diagnostic.
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "command_text.h"
#include "host.h"
#include "loader.h"
#include "lwmotion.h"
#include "lwrender.h"
#include "motion.h"
#include "services/services.h"

namespace lwhost {

namespace {

constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180.0;

using namespace command_text;

std::string hex(ItemId id) {
    char text[16];
    auto [end, ec] = std::to_chars(text, text + sizeof text, id, 16);
    (void)ec;
    return std::string(text, end);
}

struct Command {
    Host& host;
    std::string_view text;  // as sent
    Cursor args;            // after the command word
};

int fail(Command& command, const std::string& why) {
    command.host.note("Layout command \"" + std::string(command.text) + "\": " + why);
    return 0;
}

bool read_numbers(Cursor& args, double* out, int count) {
    for (int i = 0; i < count; ++i)
        if (!next_real(args, out[i])) return false;
    return at_end(args);
}

bool read_int(Cursor& args, int& out) { return parse_int(next_token(args), out) && at_end(args); }

Item* current_item(Command& command) {
    auto& selection = command.host.scene.selection;
    return selection.empty() ? nullptr : command.host.scene.item(selection.back());
}

Item* current_bone(Command& command) {
    Item* item = current_item(command);
    return (item && item->type == ItemType::Bone) ? item : nullptr;
}

// --- selection and edit mode ---------------------------------------------

int edit_mode(Command& command, Host::EditMode mode) {
    if (!at_end(command.args)) return fail(command, "takes no argument");
    command.host.edit_mode = mode;
    return 1;
}
int edit_objects(Command& c) { return edit_mode(c, Host::EditMode::Objects); }
int edit_bones(Command& c) { return edit_mode(c, Host::EditMode::Bones); }
int edit_lights(Command& c) { return edit_mode(c, Host::EditMode::Lights); }
int edit_cameras(Command& c) { return edit_mode(c, Host::EditMode::Cameras); }

int select_item(Command& command, bool add) {
    ItemId id = 0;
    if (!parse_item_id(next_token(command.args), id) || !at_end(command.args))
        return fail(command, "expects one item ID in hex");
    auto& selection = command.host.scene.selection;
    if (!command.host.scene.item(id)) {
        if (!add) selection.clear();
        return fail(command, "no item " + hex(id));
    }
    if (!add) selection.clear();
    for (ItemId selected : selection)
        if (selected == id) return 1;
    selection.push_back(id);
    return 1;
}
int select_item(Command& c) { return select_item(c, false); }
int add_to_selection(Command& c) { return select_item(c, true); }

// --- adding items -----------------------------------------------------------

int add_null(Command& command) {
    std::string_view name = rest_of_text(command.args);
    if (name.empty()) return fail(command, "expects a name");
    ItemId id = command.host.scene.add_object(std::string(name));
    command.host.scene.selection.assign(1, id);
    return 1;
}

// New bones start inactive, as in Layout, until BoneActive.
int add_bone_under(Command& command, ItemId object, ItemId parent, std::string_view name) {
    if (command.host.scene.bones_of(object).size() >= Scene::kMaxBonesPerObject)
        return fail(command, "the object has 4,095 bones, as many as it can hold");
    ItemId id = command.host.scene.add_bone(object, std::string(name), parent);
    if (!id) return fail(command, "the bone could not be added");
    command.host.scene.item(id)->bone.flags &= ~unsigned(LWBONEF_ACTIVE);
    command.host.scene.selection.assign(1, id);
    return 1;
}

int add_bone(Command& command) {
    std::string_view name = rest_of_text(command.args);
    if (name.empty()) return fail(command, "expects a name");
    Item* item = current_item(command);
    if (!item) return fail(command, "no current item");
    ItemId object = item->type == ItemType::Object ? item->id
                    : item->type == ItemType::Bone ? item->bone.object
                                                   : 0;
    if (!object) return fail(command, "the current item is neither an object nor a bone");
    return add_bone_under(command, object, 0, name);
}

int add_child_bone(Command& command) {
    std::string_view name = rest_of_text(command.args);
    if (name.empty()) return fail(command, "expects a name");
    Item* bone = current_bone(command);
    if (!bone) return fail(command, "the current item is not a bone");
    return add_bone_under(command, bone->bone.object, bone->id, name);
}

// --- motion keys --------------------------------------------------------------

int key_channels(Command& command, int first_channel, double scale) {
    double values[3];
    if (!read_numbers(command.args, values, 3)) return fail(command, "expects three numbers");
    Item* item = current_item(command);
    if (!item) return fail(command, "no current item");
    const Scene& scene = command.host.scene;
    const double time = scene.settings.time;
    // Commands key the current frame, and the frame moves by whole frames:
    // up to the end of the preview range at most one key per frame follows.
    // That bounds how far a growing key array reaches ahead.
    const double frames_left = double(scene.settings.preview_end) - std::round(scene.current_frame());
    const std::size_t later_keys =
        frames_left >= 0.0 && frames_left <= 1e9 ? std::size_t(frames_left) : Envelope::kUnknownLaterKeys;
    for (int i = 0; i < 3; ++i)
        item->motion[std::size_t(first_channel + i)].set_key(time, values[i] * scale, SpanType::TCB, later_keys);
    return 1;
}
int position(Command& c) { return key_channels(c, kPositionX, 1.0); }
int rotation(Command& c) { return key_channels(c, kHeading, kRadiansPerDegree); }  // sent in degrees

// --- bone settings --------------------------------------------------------------

int bone_active(Command& command) {
    if (!at_end(command.args)) return fail(command, "takes no argument");
    Item* bone = current_bone(command);
    if (!bone) return fail(command, "the current item is not a bone");
    // Layout toggles; the plug-ins send this only to make a bone active (right
    // after creating it, or for a bone whose active bit is clear), so the host
    // sets the bit and a repeated text cannot switch a bone off.
    bone->bone.flags |= LWBONEF_ACTIVE;
    return 1;
}

int record_rest_position(Command& command) {
    if (!at_end(command.args)) return fail(command, "takes no argument");
    Item* bone = current_bone(command);
    if (!bone) return fail(command, "the current item is not a bone");
    const Scene& scene = command.host.scene;
    item_param(scene, bone->id, LWIP_POSITION, scene.settings.time, bone->bone.rest_position);
    item_param(scene, bone->id, LWIP_ROTATION, scene.settings.time, bone->bone.rest_rotation);
    return 1;
}

int bone_number(Command& command, double BoneData::*field) {
    double value = 0.0;
    if (!read_numbers(command.args, &value, 1)) return fail(command, "expects one number");
    Item* bone = current_bone(command);
    if (!bone) return fail(command, "the current item is not a bone");
    bone->bone.*field = value;
    return 1;
}
int bone_rest_length(Command& c) { return bone_number(c, &BoneData::rest_length); }
int bone_strength(Command& c) { return bone_number(c, &BoneData::strength); }

int bone_weight_map_name(Command& command) {
    std::string_view name = rest_of_text(command.args);  // empty: no weight map
    Item* bone = current_bone(command);
    if (!bone) return fail(command, "the current item is not a bone");
    bone->bone.weight_map = std::string(name);
    return 1;
}

int bone_weight_map_only(Command& command) {
    if (!at_end(command.args)) return fail(command, "takes no argument");
    Item* bone = current_bone(command);
    if (!bone) return fail(command, "the current item is not a bone");
    bone->bone.weight_map_only = true;  // like BoneActive: the plug-ins only switch it on
    bone->bone.flags |= LWBONEF_WEIGHT_MAP_ONLY;
    return 1;
}

// --- time ---------------------------------------------------------------------------

void refresh_records(Host& host) {
    services::refresh_scene_info(host);
    services::refresh_interface_info(host);
}

// Moves to a whole frame and lets every applied motion handler see it; the
// info records are refreshed first because handlers may read them.
int go_to(Command& command, long long frame) {
    Host& host = command.host;
    double fps = host.scene.settings.frames_per_second;
    if (!(fps > 0.0)) return fail(command, "the scene has no frame rate");
    host.scene.settings.time = double(frame) / fps;
    refresh_records(host);
    host.plugins().motion_handlers().evaluate_all();
    return 1;
}

long long current_frame(const Host& host) { return std::llround(host.scene.current_frame()); }

int go_to_frame(Command& command) {
    int frame = 0;
    if (!read_int(command.args, frame)) return fail(command, "expects a whole frame number");
    return go_to(command, frame);
}

int step_frame(Command& command, int step) {
    if (!at_end(command.args)) return fail(command, "takes no argument");
    return go_to(command, current_frame(command.host) + step);
}
int next_frame(Command& c) { return step_frame(c, 1); }
int previous_frame(Command& c) { return step_frame(c, -1); }

int refresh_now(Command& command) {
    if (!at_end(command.args)) return fail(command, "takes no argument");
    refresh_records(command.host);
    command.host.plugins().motion_handlers().refresh();
    return 1;
}

int frame_setting(Command& command, int SceneSettings::*field, int minimum) {
    int value = 0;
    if (!read_int(command.args, value) || value < minimum) return fail(command, "expects a whole number");
    command.host.scene.settings.*field = value;
    return 1;
}
int preview_first_frame(Command& c) { return frame_setting(c, &SceneSettings::preview_start, -1000000000); }
int preview_last_frame(Command& c) { return frame_setting(c, &SceneSettings::preview_end, -1000000000); }
int preview_frame_step(Command& c) { return frame_setting(c, &SceneSettings::preview_step, 1); }
int first_frame(Command& c) { return frame_setting(c, &SceneSettings::frame_start, -1000000000); }
int last_frame(Command& c) { return frame_setting(c, &SceneSettings::frame_end, -1000000000); }
int frame_step(Command& c) { return frame_setting(c, &SceneSettings::frame_step, 1); }
int bounding_box_threshold(Command& c) { return frame_setting(c, &SceneSettings::box_threshold, 0); }

// --- servers --------------------------------------------------------------------------

int server_command(Command& command, bool apply) {
    std::string_view class_name = next_token(command.args);
    std::string_view name = rest_of_text(command.args);
    if (class_name.empty() || name.empty()) return fail(command, "expects a class and a server name");
    if (class_name != LWITEMMOTION_HCLASS) return fail(command, "only ItemMotionHandler servers are supported");
    Item* item = current_item(command);
    if (!item) return fail(command, "no current item");
    MotionHandlers& handlers = command.host.plugins().motion_handlers();
    return apply ? handlers.apply(item->id, std::string(name)) : handlers.remove(item->id, std::string(name));
}
int apply_server(Command& c) { return server_command(c, true); }
int remove_server(Command& c) { return server_command(c, false); }

struct CommandEntry {
    std::string_view word;
    int (*run)(Command&);
    // The command sets keys of the current item, nothing the info records
    // show: no refresh follows it.
    bool keys_only = false;
};

constexpr CommandEntry kCommands[] = {
    {"BoundingBoxThreshold", bounding_box_threshold},
    {"EditObjects", edit_objects},
    {"EditBones", edit_bones},
    {"EditLights", edit_lights},
    {"EditCameras", edit_cameras},
    {"SelectItem", select_item},
    {"AddToSelection", add_to_selection},
    {"AddNull", add_null},
    {"AddBone", add_bone},
    {"AddChildBone", add_child_bone},
    {"BoneActive", bone_active},
    {"Position", position, true},
    {"Rotation", rotation, true},
    {"RecordRestPosition", record_rest_position},
    {"BoneRestLength", bone_rest_length},
    {"BoneWeightMapName", bone_weight_map_name},
    {"BoneWeightMapOnly", bone_weight_map_only},
    {"BoneStrength", bone_strength},
    {"GoToFrame", go_to_frame},
    {"NextFrame", next_frame},
    {"PreviousFrame", previous_frame},
    {"RefreshNow", refresh_now},
    {"PreviewFirstFrame", preview_first_frame},
    {"PreviewLastFrame", preview_last_frame},
    {"PreviewFrameStep", preview_frame_step},
    {"FirstFrame", first_frame},
    {"LastFrame", last_frame},
    {"FrameStep", frame_step},
    {"ApplyServer", apply_server},
    {"RemoveServer", remove_server},
};

// Every text is looked up, so the words are indexed by their length: a
// length has at most a few words, in table order. A longer word, or a ninth
// of one length, does not compile.
constexpr std::size_t kLongestWord = 24;
struct WordsOfLength {
    int count = 0;
    int codes[8] = {};
};
constexpr auto kWordsByLength = [] {
    std::array<WordsOfLength, kLongestWord + 1> index{};
    for (std::size_t i = 0; i < std::size(kCommands); ++i) {
        WordsOfLength& words = index[kCommands[i].word.size()];
        words.codes[words.count++] = int(i) + 1;
    }
    return index;
}();

// find_command's answer: the code of the first word equal to `word`,
// ignoring case; 0 for none.
int find_layout_command(std::string_view word) {
    if (word.size() > kLongestWord) return 0;
    const WordsOfLength& words = kWordsByLength[word.size()];
    for (int k = 0; k < words.count; ++k)
        if (same_word(word, kCommands[words.codes[k] - 1].word)) return words.codes[k];
    return 0;
}

}  // namespace

int layout_command_code(const char* word) noexcept { return command_code(kCommands, word); }

const char* layout_command_word(int code) noexcept { return command_word(kCommands, code); }

int Host::layout_command(const char* text) {
    if (!text) {
        note("Layout command: null text");
        return 0;
    }
    std::string_view whole(text);
    if (keep_records) command_log.push_back(whole);
    Cursor cursor = cursor_over(whole);
    std::string_view word = next_token(cursor);
    Command command{*this, whole, cursor};
    int code = find_layout_command(word);
    // Any command but a refresh may change what the handlers would see.
    if (!code || kCommands[code - 1].run != refresh_now) plugins().motion_handlers().mark_changed();
    int result = code ? kCommands[code - 1].run(command) : fail(command, "unknown command");
    if (!code || !kCommands[code - 1].keys_only) refresh_records(*this);
    return result;
}

}  // namespace lwhost
