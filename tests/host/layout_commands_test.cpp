// Layout and Modeler command texts as the plug-ins send them (with their
// extra blanks), and item motion handlers applied and evaluated through them.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "fixture_api.h"
#include "host.h"
#include "loader.h"
#include "lwrender.h"

namespace lwhost {
namespace {

constexpr double kPi = 3.14159265358979323846;

std::string hex(ItemId id) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", unsigned(id));
    return text;
}

int run(Host& host, const std::string& text) { return host.layout_command(text.c_str()); }

bool has_diagnostic(const Host& host, const std::string& part) {
    for (const std::string& line : host.diagnostics)
        if (line.find(part) != std::string::npos) return true;
    return false;
}

const Key* key_at(const Item& item, int channel, double time) {
    for (const Key& key : item.motion[std::size_t(channel)].keys)
        if (key.time == time) return &key;
    return nullptr;
}

TEST(LayoutCommands, LogsEveryTextAsSentAndIgnoresUnknownOnes) {
    Host host;
    EXPECT_EQ(run(host, "EditBones"), 1);
    EXPECT_EQ(run(host, "EditObjects "), 1);
    EXPECT_EQ(run(host, "FlyToTheMoon  now"), 0);
    EXPECT_EQ(host.command_log, (std::vector<std::string>{"EditBones", "EditObjects ", "FlyToTheMoon  now"}));
    ASSERT_FALSE(host.diagnostics.empty());
    EXPECT_EQ(host.diagnostics.back(), "Layout command \"FlyToTheMoon  now\": unknown command");

    EXPECT_EQ(host.layout_command(nullptr), 0);
    EXPECT_EQ(host.command_log.size(), 3u) << "no text, nothing to log";
    EXPECT_EQ(run(host, ""), 0);
    EXPECT_EQ(host.command_log.back(), "");

    EXPECT_EQ(layout_command_code("GoToFrame"), layout_command_code("gotoframe")) << "command words ignore case";
    EXPECT_STREQ(layout_command_word(layout_command_code("RefreshNow")), "RefreshNow");
    EXPECT_EQ(layout_command_code("Position 1 2 3"), 0) << "lookup takes a word, not a command text";
    EXPECT_EQ(layout_command_word(0), nullptr);

    // Every word is carried out in any case; a word one letter longer or
    // shorter is unknown.
    for (int code = 1; layout_command_word(code); ++code) {
        const std::string word = layout_command_word(code);
        std::string lower = word, upper = word;
        for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
        for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
        for (const std::string& text : {word, lower, upper, word + "s", word.substr(0, word.size() - 1)}) {
            Host other;
            run(other, text + " !");
            const bool known = text.size() == word.size();
            EXPECT_EQ(has_diagnostic(other, "unknown command"), !known) << text;
        }
    }
}

TEST(LayoutCommands, SelectsItemsByHexIdAndKeepsTheEditMode) {
    Host host;
    std::vector<ItemId> objects;
    for (int i = 0; i < 27; ++i) objects.push_back(host.scene.add_object("object" + std::to_string(i)));
    ItemId light = host.scene.add_light("Light");

    EXPECT_EQ(run(host, "SelectItem  1000001a"), 1);  // "%x" of 0x1000001a, after the word's own blank
    EXPECT_EQ(host.scene.selection, std::vector<ItemId>{objects[26]});
    EXPECT_EQ(run(host, "AddToSelection 20000000"), 1);
    EXPECT_EQ(run(host, "AddToSelection 20000000"), 1);
    EXPECT_EQ(host.scene.selection, (std::vector<ItemId>{objects[26], light})) << "an item is selected once";
    EXPECT_EQ(run(host, "SelectItem 0x1000000A"), 1);
    EXPECT_EQ(host.scene.selection, std::vector<ItemId>{objects[10]});

    EXPECT_EQ(run(host, "SelectItem  1000001g"), 0);
    EXPECT_EQ(host.scene.selection, std::vector<ItemId>{objects[10]}) << "a bad ID changes nothing";
    EXPECT_EQ(run(host, "SelectItem 10000005 10000006"), 0);
    EXPECT_EQ(run(host, "SelectItem"), 0);
    EXPECT_EQ(host.scene.selection, std::vector<ItemId>{objects[10]});

    EXPECT_EQ(run(host, "SelectItem  1000001b"), 0);
    EXPECT_TRUE(host.scene.selection.empty()) << "an unknown item leaves nothing selected";
    EXPECT_TRUE(has_diagnostic(host, "no item 1000001b"));

    const std::pair<const char*, Host::EditMode> modes[] = {{"EditBones", Host::EditMode::Bones},
                                                            {"EditLights", Host::EditMode::Lights},
                                                            {"EditCameras ", Host::EditMode::Cameras},
                                                            {"EditObjects ", Host::EditMode::Objects}};
    for (const auto& [text, mode] : modes) {
        EXPECT_EQ(run(host, text), 1) << text;
        EXPECT_EQ(host.edit_mode, mode) << text;
    }
    EXPECT_EQ(run(host, "EditBones now"), 0);
    EXPECT_EQ(host.edit_mode, Host::EditMode::Objects);
}

// The texts the skeleton importer sends for a root and a child bone.
TEST(LayoutCommands, BuildsBonesAsTheSkeletonImporterSendsThem) {
    Host host;
    EXPECT_EQ(run(host, "AddNull  smd_importer_null"), 1);
    ItemId null_object = host.scene.find_item("smd_importer_null");
    ASSERT_NE(null_object, 0u);
    EXPECT_EQ(host.scene.item(null_object)->type, ItemType::Object);
    EXPECT_EQ(host.scene.item(null_object)->mesh, -1) << "a null has no mesh";
    EXPECT_EQ(host.scene.selection, std::vector<ItemId>{null_object});

    EXPECT_EQ(run(host, "EditBones"), 1);
    EXPECT_EQ(run(host, "AddBone pelvis"), 1);
    ItemId root = host.scene.find_item("pelvis");
    ASSERT_NE(root, 0u);
    const Item& pelvis = *host.scene.item(root);
    EXPECT_EQ(pelvis.type, ItemType::Bone);
    EXPECT_EQ(pelvis.bone.object, null_object);
    EXPECT_EQ(pelvis.parent, null_object);
    EXPECT_EQ(host.scene.selection, std::vector<ItemId>{root});
    EXPECT_EQ(pelvis.bone.flags & LWBONEF_ACTIVE, 0u) << "a new bone waits for BoneActive";
    EXPECT_EQ(run(host, "BoneActive "), 1);
    EXPECT_EQ(pelvis.bone.flags & LWBONEF_ACTIVE, unsigned(LWBONEF_ACTIVE));
    EXPECT_EQ(run(host, "BoneActive "), 1);
    EXPECT_EQ(pelvis.bone.flags & LWBONEF_ACTIVE, unsigned(LWBONEF_ACTIVE)) << "BoneActive never switches a bone off";

    EXPECT_EQ(run(host, "Position  0.025000 0.075000 0.050000"), 1);
    EXPECT_EQ(run(host, "Rotation  90.000000 -0.000000 -45.000000"), 1);
    EXPECT_EQ(run(host, "RecordRestPosition "), 1);
    EXPECT_DOUBLE_EQ(pelvis.motion[kPositionX].keys.at(0).value, 0.025);
    EXPECT_DOUBLE_EQ(pelvis.motion[kPositionY].keys.at(0).value, 0.075);
    EXPECT_DOUBLE_EQ(pelvis.motion[kPositionZ].keys.at(0).value, 0.05);
    EXPECT_DOUBLE_EQ(pelvis.motion[kHeading].keys.at(0).value, kPi / 2);
    EXPECT_DOUBLE_EQ(pelvis.motion[kPitch].keys.at(0).value, 0.0);
    EXPECT_DOUBLE_EQ(pelvis.motion[kBank].keys.at(0).value, -kPi / 4);
    EXPECT_DOUBLE_EQ(pelvis.bone.rest_position[0], 0.025);
    EXPECT_DOUBLE_EQ(pelvis.bone.rest_position[1], 0.075);
    EXPECT_DOUBLE_EQ(pelvis.bone.rest_position[2], 0.05);
    EXPECT_DOUBLE_EQ(pelvis.bone.rest_rotation[0], kPi / 2);
    EXPECT_DOUBLE_EQ(pelvis.bone.rest_rotation[2], -kPi / 4);

    EXPECT_EQ(run(host, "SelectItem  " + hex(root)), 1);
    EXPECT_EQ(run(host, "AddChildBone spine"), 1);
    ItemId child = host.scene.find_item("spine");
    ASSERT_NE(child, 0u);
    const Item& spine = *host.scene.item(child);
    EXPECT_EQ(spine.parent, root);
    EXPECT_EQ(spine.bone.object, null_object);
    EXPECT_EQ(host.scene.selection, std::vector<ItemId>{child});
    EXPECT_EQ(run(host, "AddBone thigh"), 1) << "AddBone with a bone current adds a root bone of its object";
    EXPECT_EQ(host.scene.item(host.scene.find_item("thigh"))->parent, null_object);

    EXPECT_EQ(run(host, "SelectItem  " + hex(child)), 1);
    EXPECT_EQ(run(host, "BoneRestLength  5.000000"), 1);
    EXPECT_EQ(run(host, "BoneWeightMapName  spine"), 1);
    EXPECT_EQ(run(host, "BoneWeightMapOnly "), 1);
    EXPECT_EQ(run(host, "BoneStrength   0.500000"), 1);
    EXPECT_DOUBLE_EQ(spine.bone.rest_length, 5.0);
    EXPECT_EQ(spine.bone.weight_map, "spine");
    EXPECT_TRUE(spine.bone.weight_map_only);
    EXPECT_EQ(spine.bone.flags & LWBONEF_WEIGHT_MAP_ONLY, unsigned(LWBONEF_WEIGHT_MAP_ONLY));
    EXPECT_DOUBLE_EQ(spine.bone.strength, 0.5);
    EXPECT_EQ(run(host, "BoneWeightMapName  left arm "), 1);
    EXPECT_EQ(spine.bone.weight_map, "left arm") << "a name keeps its inner blanks, not the trailing ones";

    {  // bone commands need a bone; AddBone needs an object or a bone
        EXPECT_EQ(run(host, "SelectItem  " + hex(null_object)), 1);
        EXPECT_EQ(run(host, "BoneRestLength  2.0"), 0);
        EXPECT_EQ(run(host, "AddChildBone orphan"), 0);
        EXPECT_EQ(run(host, "BoneActive "), 0);
        EXPECT_EQ(host.scene.find_item("orphan"), 0u);
        ItemId light = host.scene.add_light("Light");
        EXPECT_EQ(run(host, "SelectItem  " + hex(light)), 1);
        EXPECT_EQ(run(host, "AddBone stray"), 0);
        EXPECT_EQ(run(host, "AddNull "), 0) << "a null needs a name";
    }
}

TEST(LayoutCommands, KeysAtTheCurrentTimeAndMovesThroughFrames) {
    Host host;
    host.scene.settings.frames_per_second = 25.0;
    ItemId object = host.scene.add_object("Box");
    const Item& box = *host.scene.item(object);
    EXPECT_EQ(run(host, "SelectItem  " + hex(object)), 1);

    EXPECT_EQ(run(host, "GoToFrame 10"), 1);
    EXPECT_DOUBLE_EQ(host.scene.settings.time, 10.0 / 25.0);
    EXPECT_EQ(run(host, "Position  1.000000 2.000000 3.000000"), 1);
    EXPECT_EQ(run(host, "NextFrame"), 1);
    EXPECT_DOUBLE_EQ(host.scene.settings.time, 11.0 / 25.0);
    EXPECT_EQ(run(host, "Position  4 5 6"), 1);
    EXPECT_EQ(run(host, "Rotation  180 0 0"), 1);
    ASSERT_EQ(box.motion[kPositionX].keys.size(), 2u);
    ASSERT_NE(key_at(box, kPositionY, 10.0 / 25.0), nullptr);
    EXPECT_EQ(key_at(box, kPositionY, 10.0 / 25.0)->value, 2.0);
    ASSERT_NE(key_at(box, kPositionZ, 11.0 / 25.0), nullptr);
    EXPECT_EQ(key_at(box, kPositionZ, 11.0 / 25.0)->value, 6.0);
    ASSERT_NE(key_at(box, kHeading, 11.0 / 25.0), nullptr);
    EXPECT_DOUBLE_EQ(key_at(box, kHeading, 11.0 / 25.0)->value, kPi);
    EXPECT_TRUE(box.motion[kHeading].keys.size() == 1u) << "only the keyed frame";

    EXPECT_EQ(run(host, "PreviousFrame"), 1);
    EXPECT_EQ(run(host, "Position  7 8 9"), 1);
    EXPECT_EQ(box.motion[kPositionX].keys.size(), 2u) << "a key at an existing time is replaced";
    EXPECT_EQ(key_at(box, kPositionX, 10.0 / 25.0)->value, 7.0);

    EXPECT_EQ(run(host, "GoToFrame -3"), 1);
    EXPECT_DOUBLE_EQ(host.scene.settings.time, -3.0 / 25.0);
    EXPECT_EQ(run(host, "RefreshNow"), 1);
    EXPECT_DOUBLE_EQ(host.scene.settings.time, -3.0 / 25.0) << "RefreshNow stays at the current time";

    {  // ranges and the bounding-box threshold
        EXPECT_EQ(run(host, "PreviewFirstFrame 5"), 1);
        EXPECT_EQ(run(host, "PreviewLastFrame  120"), 1);
        EXPECT_EQ(run(host, "PreviewFrameStep 2"), 1);
        EXPECT_EQ(run(host, "FirstFrame 1"), 1);
        EXPECT_EQ(run(host, "LastFrame 90"), 1);
        EXPECT_EQ(run(host, "BoundingBoxThreshold 5001"), 1);
        const SceneSettings& s = host.scene.settings;
        EXPECT_EQ(s.preview_start, 5);
        EXPECT_EQ(s.preview_end, 120);
        EXPECT_EQ(s.preview_step, 2);
        EXPECT_EQ(s.frame_start, 1);
        EXPECT_EQ(s.frame_end, 90);
        EXPECT_EQ(s.box_threshold, 5001);
    }
    {  // keying every frame to the end of the preview range fills the key
       // arrays exactly; keys past it grow them as before
        EXPECT_EQ(run(host, "SelectItem  " + hex(object)), 1);
        EXPECT_EQ(run(host, "GoToFrame 121"), 1);
        EXPECT_EQ(run(host, "PreviewLastFrame 400"), 1);
        for (int frame = 121; frame <= 400; ++frame) {
            ASSERT_EQ(run(host, "Position  1 2 3"), 1);
            ASSERT_EQ(run(host, "Rotation  0 90 0"), 1);
            ASSERT_EQ(run(host, "NextFrame"), 1);
        }
        EXPECT_EQ(box.motion[kPositionX].keys.size(), 2u + 280u);
        EXPECT_EQ(box.motion[kPositionX].keys.capacity(), box.motion[kPositionX].keys.size());
        EXPECT_EQ(box.motion[kPitch].keys.capacity(), box.motion[kPitch].keys.size());
        EXPECT_EQ(run(host, "Position  1 2 3"), 1);  // frame 401
        EXPECT_EQ(box.motion[kPositionX].keys.size(), 283u);
        EXPECT_DOUBLE_EQ(box.motion[kPositionX].keys.back().time, 401.0 / 25.0);
    }
    {  // keys need a current item
        host.scene.selection.clear();
        EXPECT_EQ(run(host, "Position 1 1 1"), 0);
        EXPECT_TRUE(has_diagnostic(host, "no current item"));
    }
}

TEST(LayoutCommands, RefusesBadArgumentsWithoutChangingAnything) {
    Host host;
    ItemId object = host.scene.add_object("Box");
    const Item& box = *host.scene.item(object);
    EXPECT_EQ(run(host, "SelectItem " + hex(object)), 1);
    const int threshold = host.scene.settings.box_threshold;
    const double time = host.scene.settings.time;

    const char* bad[] = {
        "Position  1 x 3",      "Position 1 2",          "Position 1 2 3 4",   "Position 1,5 2 3",
        "Rotation nan 0 0",     "Rotation 1e999 0 0",    "Position 1 2 3x",    "Position ++1 2 3",
        "GoToFrame 1.5",        "GoToFrame",             "GoToFrame 99999999999",
        "BoundingBoxThreshold 12abc", "BoundingBoxThreshold -1", "PreviewFrameStep 0", "NextFrame 2",
        "ApplyServer ItemMotionHandler", "ApplyServer ChannelHandler Anything",
    };
    for (const char* text : bad) {
        std::size_t notes = host.diagnostics.size();
        EXPECT_EQ(run(host, text), 0) << text;
        EXPECT_EQ(host.diagnostics.size(), notes + 1) << text;
    }
    for (const auto& channel : box.motion) EXPECT_TRUE(channel.keys.empty());
    EXPECT_EQ(host.scene.settings.box_threshold, threshold);
    EXPECT_EQ(host.scene.settings.time, time);
    EXPECT_EQ(host.scene.settings.preview_step, 1);
    EXPECT_EQ(host.command_log.size(), 1 + std::size(bad)) << "refused texts are logged too";

    EXPECT_EQ(run(host, "Position +1 -2 3e0"), 1) << "a '+' sign, as \"%+f\" writes, is accepted";
    EXPECT_EQ(box.motion[kPositionX].keys.at(0).value, 1.0);
    EXPECT_EQ(box.motion[kPositionY].keys.at(0).value, -2.0);
}

// Keeps a fixture module mapped after the host has unloaded it, so that its
// records can still be read.
struct ModuleHold {
    explicit ModuleHold(const char* path) : handle(dlopen(path, RTLD_NOW | RTLD_NOLOAD)) {}
    ~ModuleHold() {
        if (handle) dlclose(handle);
    }
    void* handle;
};

struct MotionScene {
    Host host;
    PluginModule* module = nullptr;
    FixtureMotionLog* log = nullptr;
    ItemId body = 0, root = 0, child = 0, grandchild = 0, other = 0, other_bone = 0;

    MotionScene() {
        std::string error;
        module = host.plugins().load(FIXTURE_MOTION_PATH, &error);
        EXPECT_NE(module, nullptr) << error;
        if (!module) return;
        log = reinterpret_cast<FixtureMotionLog* (*)()>(dlsym(module->handle, "fixture_motion_log"))();
        Scene& scene = host.scene;
        body = scene.add_object("Body");
        root = scene.add_bone(body, "root");
        // The grandchild is created before its parent: evaluation follows the
        // hierarchy, not the order of creation.
        grandchild = scene.add_bone(body, "grandchild", root);
        child = scene.add_bone(body, "child", root);
        scene.set_parent(grandchild, child);
        other = scene.add_object("Other");
        other_bone = scene.add_bone(other, "other_bone");
    }
    void apply(ItemId item, const char* server = "Fixture Motion") {
        EXPECT_EQ(run(host, "SelectItem  " + hex(item)), 1);
        EXPECT_EQ(run(host, std::string("ApplyServer ItemMotionHandler ") + server), 1) << server;
    }
    std::vector<ItemId> evaluated_items(int from) const {
        std::vector<ItemId> items;
        for (int i = from; i < log->evaluations && i < FIXTURE_MAX_EVALUATIONS; ++i)
            items.push_back(ItemId(log->entries[i].item));
        return items;
    }
};

TEST(MotionHandlers, EvaluateEveryAppliedItemAtEveryFrameParentsFirst) {
    MotionScene s;
    ASSERT_NE(s.log, nullptr);
    Host& host = s.host;
    host.scene.settings.frames_per_second = 24.0;
    EXPECT_EQ(run(host, "EditBones"), 1);
    // Applied out of hierarchy order on purpose.
    for (ItemId item : {s.other_bone, s.grandchild, s.child, s.root}) s.apply(item);
    EXPECT_EQ(s.log->activations, 4);
    EXPECT_EQ(s.log->last_version, 4);
    EXPECT_EQ(s.log->creates, 4);
    EXPECT_EQ(s.log->evaluations, 0) << "applying evaluates nothing";
    EXPECT_EQ(host.plugins().motion_handlers().count(s.child), 1u);
    EXPECT_STREQ(host.plugins().motion_handlers().server_name(s.child, 1), "Fixture Motion");
    EXPECT_EQ(host.plugins().motion_handlers().server_name(s.child, 2), nullptr);
    EXPECT_EQ(host.plugins().motion_handlers().description(s.child), "Fixture item=" + hex(s.child));

    EXPECT_EQ(run(host, "SelectItem  " + hex(s.child)), 1);
    EXPECT_EQ(run(host, "GoToFrame 2"), 1);
    EXPECT_EQ(run(host, "Position  1.5 2.5 3.5"), 1);
    EXPECT_EQ(run(host, "Rotation  0 90 0"), 1);

    const std::vector<ItemId> order = {s.root, s.child, s.grandchild, s.other_bone};
    int first = s.log->evaluations;
    EXPECT_EQ(run(host, "GoToFrame 3"), 1);
    EXPECT_EQ(run(host, "RefreshNow"), 1);  // nothing changed since frame 3 was evaluated
    EXPECT_EQ(run(host, "SelectItem  " + hex(s.other_bone)), 1);
    EXPECT_EQ(run(host, "RefreshNow"), 1);  // a command came in between: evaluated again
    EXPECT_EQ(run(host, "NextFrame"), 1);
    ASSERT_EQ(s.log->evaluations, first + 12);
    std::vector<ItemId> expected;
    for (int pass = 0; pass < 3; ++pass) expected.insert(expected.end(), order.begin(), order.end());
    EXPECT_EQ(s.evaluated_items(first), expected);
    const int frames[3] = {3, 3, 4};
    for (int i = 0; i < 12; ++i) {
        const FixtureEvaluation& entry = s.log->entries[first + i];
        EXPECT_EQ(entry.frame, frames[i / 4]) << i;
        EXPECT_DOUBLE_EQ(entry.time, frames[i / 4] / 24.0) << i;
        EXPECT_EQ(entry.instance_item, entry.item) << "each instance is evaluated for its own item";
    }
    {  // getParam gives the evaluated channels of the item being evaluated
        const FixtureEvaluation& child_entry = s.log->entries[first + 1];
        ASSERT_EQ(ItemId(child_entry.item), s.child);
        EXPECT_DOUBLE_EQ(child_entry.position[0], 1.5);  // one key: its value at every time
        EXPECT_DOUBLE_EQ(child_entry.position[1], 2.5);
        EXPECT_DOUBLE_EQ(child_entry.position[2], 3.5);
        EXPECT_DOUBLE_EQ(child_entry.rotation[1], kPi / 2);
    }

    {  // RemoveServer destroys the instance on the current item only
        EXPECT_EQ(run(host, "SelectItem  " + hex(s.child)), 1);
        EXPECT_EQ(run(host, "RemoveServer ItemMotionHandler Fixture Motion"), 1);
        EXPECT_EQ(s.log->destroys, 1);
        EXPECT_EQ(run(host, "RemoveServer ItemMotionHandler Fixture Motion"), 0);
        EXPECT_EQ(s.log->destroys, 1);
        first = s.log->evaluations;
        EXPECT_EQ(run(host, "GoToFrame 0"), 1);
        EXPECT_EQ(s.evaluated_items(first), (std::vector<ItemId>{s.root, s.grandchild, s.other_bone}));
    }
    {  // two handlers on one item run in the order they were applied
        s.apply(s.root, "Fixture Echo");
        EXPECT_STREQ(host.plugins().motion_handlers().server_name(s.root, 2), "Fixture Echo");
        first = s.log->evaluations;
        EXPECT_EQ(run(host, "RefreshNow"), 1);
        EXPECT_EQ(s.evaluated_items(first), (std::vector<ItemId>{s.root, s.root, s.grandchild, s.other_bone}));
    }
    {  // the host goes: every instance is destroyed before the module is closed
        ModuleHold hold(FIXTURE_MOTION_PATH);
        ASSERT_NE(hold.handle, nullptr);
        FixtureMotionLog* log = s.log;
        host.plugins().unload_all();
        EXPECT_EQ(log->destroys, log->creates);
    }
}

TEST(MotionHandlers, ReportFailuresAndKeepTheMotionUnchanged) {
    MotionScene s;
    ASSERT_NE(s.log, nullptr);
    Host& host = s.host;
    auto set_create_error = reinterpret_cast<void (*)(const char*)>(dlsym(s.module->handle, "fixture_set_create_error"));
    auto set_param = reinterpret_cast<void (*)(int)>(dlsym(s.module->handle, "fixture_set_param_on_evaluate"));
    ASSERT_NE(set_create_error, nullptr);
    ASSERT_NE(set_param, nullptr);

    {  // unknown server, no current item
        EXPECT_EQ(run(host, "SelectItem  " + hex(s.root)), 1);
        EXPECT_EQ(run(host, "ApplyServer ItemMotionHandler No Such Handler"), 0);
        EXPECT_TRUE(has_diagnostic(host, "\"No Such Handler\""));
        host.scene.selection.clear();
        EXPECT_EQ(run(host, "ApplyServer ItemMotionHandler Fixture Motion"), 0);
        EXPECT_EQ(host.plugins().motion_handlers().total(), 0u);
    }
    {  // an error text from create is noted; the instance it returned stays
        set_create_error("Couldn't allocate instance data.");
        s.apply(s.root);
        set_create_error(nullptr);
        EXPECT_TRUE(has_diagnostic(host, "Couldn't allocate instance data."));
        EXPECT_EQ(host.plugins().motion_handlers().count(s.root), 1u);
    }
    {  // setParam is recorded and changes nothing
        EXPECT_EQ(run(host, "Position  1 2 3"), 1);
        set_param(1);
        EXPECT_EQ(run(host, "RefreshNow"), 1);
        set_param(0);
        const auto& calls = host.plugins().motion_handlers().set_param_calls;
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].item, s.root);
        EXPECT_EQ(calls[0].param, LWIP_POSITION);
        EXPECT_EQ(calls[0].value[1], 200.0);
        const Item& root = *host.scene.item(s.root);
        EXPECT_EQ(root.motion[kPositionX].keys.size(), 1u);
        EXPECT_EQ(root.motion[kPositionX].keys[0].value, 1.0);
    }
    {  // a generic's commands drive the handler while it runs
        auto set_commands =
            reinterpret_cast<void (*)(const char* const*, int)>(dlsym(s.module->handle, "fixture_set_commands"));
        auto generic = reinterpret_cast<FixtureActivation* (*)()>(dlsym(s.module->handle, "fixture_generic_record"))();
        const std::string select = "SelectItem  " + hex(s.child);
        const char* commands[] = {"EditBones", select.c_str(), "ApplyServer ItemMotionHandler Fixture Motion",
                                  "GoToFrame 7", "RemoveServer ItemMotionHandler Fixture Motion"};
        set_commands(commands, 5);
        int first = s.log->evaluations;
        EXPECT_EQ(host.run_generic("Fixture Driver"), 0);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(generic->evaluate_results[i], 1) << commands[i];
        EXPECT_EQ(s.evaluated_items(first), (std::vector<ItemId>{s.root, s.child}));
        EXPECT_EQ(s.log->entries[first + 1].frame, 7);
        EXPECT_EQ(host.plugins().motion_handlers().count(s.child), 0u);
    }
}

TEST(ModelerCommands, SetSurfacesOfTheCurrentObject) {
    Host host;
    EXPECT_EQ(host.modeler_command("Surf_SetSurf  a.bmp Unnamed"), 0) << "no current object";
    host.scene.current_mesh = host.scene.add_mesh("/tmp/imported.lwo");
    const int mesh = host.scene.current_mesh;

    EXPECT_EQ(host.modeler_command("Surf_SetSurf  a.bmp Unnamed"), 1);
    EXPECT_EQ(host.modeler_command("Surf_SetFloat   SmoothingAngle 3.142"), 1);
    EXPECT_EQ(host.modeler_command("Surf_SetSurf  b.bmp Unnamed"), 1);
    EXPECT_EQ(host.modeler_command("Surf_SetFloat   SmoothingAngle 0.5"), 1);
    EXPECT_EQ(host.modeler_command("Surf_SetSurf  a.bmp Unnamed"), 1);
    Surface* a = host.scene.find_surface(mesh, "a.bmp");
    Surface* b = host.scene.find_surface(mesh, "b.bmp");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(host.scene.surfaces.size(), 2u) << "an existing surface is made current, not added again";
    EXPECT_DOUBLE_EQ(a->smoothing_angle, 3.142);
    EXPECT_DOUBLE_EQ(b->smoothing_angle, 0.5);
    EXPECT_EQ(host.current_surface, "a.bmp");

    EXPECT_EQ(host.modeler_command("Surf_SetSurf  \"my skin.bmp\" Unnamed"), 1);
    EXPECT_NE(host.scene.find_surface(mesh, "my skin.bmp"), nullptr) << "a quoted name may hold blanks";
    EXPECT_EQ(host.modeler_command("Surf_SetSurf lonely"), 1);
    EXPECT_EQ(host.current_surface, "lonely");

    std::size_t notes = host.diagnostics.size();
    EXPECT_EQ(host.modeler_command("Surf_SetFloat   Luminosity 0.5"), 0);
    EXPECT_EQ(host.modeler_command("Surf_SetFloat   SmoothingAngle half"), 0);
    EXPECT_EQ(host.modeler_command("Surf_Rename x"), 0);
    EXPECT_EQ(host.modeler_command("Surf_SetSurf  "), 0);
    EXPECT_EQ(host.diagnostics.size(), notes + 4);
    EXPECT_EQ(host.diagnostics[notes + 2], "Modeler command \"Surf_Rename x\": unknown command");
    EXPECT_DOUBLE_EQ(host.scene.find_surface(mesh, "lonely")->smoothing_angle, 0.0);
    EXPECT_EQ(host.command_log.front(), "Surf_SetSurf  a.bmp Unnamed");
    EXPECT_EQ(host.command_log.back(), "Surf_SetSurf  ");
}

}  // namespace
}  // namespace lwhost
