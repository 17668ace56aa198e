// "SMD Skeleton Import" loaded from the built plug-in and run by the host:
// the commands each import sends, in order and with their blanks, the bones,
// rest poses, keys and bindings they leave in the scene, the panel as the
// user sees it, its events and file requests, and the messages.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <lwrender.h>

#include "host.h"
#include "loader.h"
#include "motion.h"
#include "panels.h"
#include "scene_builder.h"
#include "ui_script.h"
#include "../temp_dir.h"

namespace {

using lwhost::Host;
using lwhost::Item;
using lwhost::ItemId;

constexpr const char* TITLE = "SMD Skeleton Reference Importer by Tolvane";
constexpr const char* REFERENCE = "Import SMD reference file";
constexpr const char* SEQUENCE = "Import SMD sequence file";
constexpr double PI = 3.14159265358979323846;

std::string plugin_path() { return std::string(LWSMD_PLUGIN_DIR) + "/rigreader.so"; }

std::string hex(ItemId id) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", unsigned(id));
    return text;
}

std::string select(ItemId id) { return "SelectItem  " + hex(id); }

// A root "root" at (1, 2, 3) unturned and its child "child" at (0, 0, 4)
// turned by (0.1, 0.2, 0.3), one frame block.
const char* const TWO_BONES =
    "version 1\nnodes\n0 \"root\" -1\n1 \"child\" 0\nend\nskeleton\ntime 0\n"
    "0 1.000000 2.000000 3.000000 0.000000 0.000000 0.000000\n"
    "1 0.000000 0.000000 4.000000 0.100000 0.200000 0.300000\nend\n";

// ---- independent rotation math ---------------------------------------------------
//
// An SMD rotation (rx, ry, rz) turns the file's axes by Rz(rz) Ry(ry) Rx(rx)
// (column vectors, right-handed, Z up). The host's axes are the file's with
// the second and third swapped (P), so the same turn in the host is
// P R P, and the host's orientation matrix is Ry(h) Rx(p) Rz(b).

using Mat = std::vector<std::vector<double>>;

Mat multiply(const Mat& a, const Mat& b) {
    Mat c(3, std::vector<double>(3, 0.0));
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) c[i][j] += a[i][k] * b[k][j];
    return c;
}

Mat host_matrix_of_smd(double rx, double ry, double rz) {
    const Mat x = {{1, 0, 0}, {0, std::cos(rx), -std::sin(rx)}, {0, std::sin(rx), std::cos(rx)}};
    const Mat y = {{std::cos(ry), 0, std::sin(ry)}, {0, 1, 0}, {-std::sin(ry), 0, std::cos(ry)}};
    const Mat z = {{std::cos(rz), -std::sin(rz), 0}, {std::sin(rz), std::cos(rz), 0}, {0, 0, 1}};
    const Mat file = multiply(z, multiply(y, x));
    const int swap[3] = {0, 2, 1};
    Mat host(3, std::vector<double>(3));
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) host[i][j] = file[swap[i]][swap[j]];
    return host;
}

// Heading, pitch, bank in degrees of Ry(h) Rx(p) Rz(b) = m: row 1 of that
// product is (cos p sin b, cos p cos b, -sin p); column 2 is (sin h cos p,
// -sin p, cos h cos p).
void host_degrees_of_smd(double rx, double ry, double rz, double out[3]) {
    const Mat m = host_matrix_of_smd(rx, ry, rz);
    out[0] = std::atan2(m[0][2], m[2][2]) * 180.0 / PI;
    out[1] = std::asin(-m[1][2]) * 180.0 / PI;
    out[2] = std::atan2(m[1][0], m[1][1]) * 180.0 / PI;
}

std::string rotation_text(double rx, double ry, double rz) {
    double hpb[3];
    host_degrees_of_smd(rx, ry, rz, hpb);
    char text[96];
    std::snprintf(text, sizeof text, "Rotation  %f %f %f", hpb[0], hpb[1], hpb[2]);
    return text;
}

// The item's orientation from its rest rotation matches the file's turn.
void expect_rest_turn(const Item& bone, double rx, double ry, double rz) {
    double m[3][3];
    lwhost::hpb_matrix(bone.bone.rest_rotation, m);
    const Mat expected = host_matrix_of_smd(rx, ry, rz);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(m[i][j], expected[i][j], 2e-6) << bone.name << " entry " << i << "," << j;
}

// Lines compared one by one; a "Rotation  " line by its three numbers, to
// the six decimals printed (the angles are floats).
template <class Texts>
void expect_commands(const Texts& actual, const std::vector<std::string>& expected) {
    for (std::size_t i = 0; i < actual.size() && i < expected.size(); ++i) {
        if (expected[i].rfind("Rotation  ", 0) == 0 && actual[i].rfind("Rotation  ", 0) == 0) {
            double a[3], e[3];
            ASSERT_EQ(std::sscanf(std::string(actual[i]).c_str() + 10, "%lf %lf %lf", &a[0], &a[1], &a[2]), 3) << actual[i];
            ASSERT_EQ(std::sscanf(expected[i].c_str() + 10, "%lf %lf %lf", &e[0], &e[1], &e[2]), 3);
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(a[k], e[k], 3e-5) << "line " << i << ": " << actual[i];
        } else {
            EXPECT_EQ(actual[i], expected[i]) << "line " << i;
        }
    }
    EXPECT_EQ(actual.size(), expected.size());
}

// ---- fixture ----------------------------------------------------------------------

using TempDir = test_files::TempDir;

// The host at frame 0 of a 24 fps scene whose preview reaches frame 60, the
// importer loaded, and files in a private folder.
struct Importer {
    Host host;
    lwhost::SceneBuilder b{host.scene};
    TempDir dir;

    Importer() {
        b.fps(24).preview(0, 60);
        EXPECT_NE(host.plugins().load(plugin_path()), nullptr);
    }

    std::string file(const std::string& name, const std::string& text) {
        const std::string path = dir.file(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    // One import by `button` of `text`, then the panel closes.
    int import(const char* button, const std::string& text) {
        host.script().press(button).answer_file(file("in.smd", text)).close();
        return run();
    }

    int run() { return host.run_generic("SMD Skeleton Import"); }

    const Item& item(const std::string& name) const {
        const Item* found = host.scene.item(host.scene.find_item(name));
        EXPECT_NE(found, nullptr) << name;
        static const Item none;
        return found ? *found : none;
    }
    ItemId id(const std::string& name) const { return host.scene.find_item(name); }

    std::vector<std::string> errors() const {
        std::vector<std::string> texts;
        for (const auto& message : host.messages) {
            EXPECT_EQ(message.level, lwhost::MessageLevel::Error);
            EXPECT_FALSE(message.has_line2);
            texts.push_back(message.line1);
        }
        return texts;
    }

    void expect_clean() {
        EXPECT_TRUE(lwhost::check_scene(host.scene).empty()) << lwhost::check_scene(host.scene).front();
        EXPECT_TRUE(host.diagnostics.empty()) << host.diagnostics.front();
        EXPECT_EQ(host.panels().live_count(), 0u);
    }
};

const lwhost::Key* key_at(const Item& item, int channel, double frame, double fps = 24.0) {
    for (const auto& key : item.motion[std::size_t(channel)].keys)
        if (std::fabs(key.time - frame / fps) < 1e-9) return &key;
    return nullptr;
}

double key_value(const Item& item, int channel, double frame) {
    const lwhost::Key* key = key_at(item, channel, frame);
    EXPECT_NE(key, nullptr) << item.name << " channel " << channel << " frame " << frame;
    return key ? key->value : std::nan("");
}

// "SelectItem" and "BoneRestLength" pairs, as "<item name> <length text>".
std::vector<std::string> rest_lengths(const Importer& im, std::size_t from = 0) {
    std::vector<std::string> out;
    std::string selected;
    const auto& log = im.host.command_log;
    for (std::size_t i = from; i < log.size(); ++i) {
        if (log[i].rfind("SelectItem  ", 0) == 0) {
            const Item* item = im.host.scene.item(ItemId(std::strtoul(std::string(log[i].substr(12)).c_str(), nullptr, 16)));
            selected = item ? item->name : "?";
        } else if (log[i].rfind("BoneRestLength  ", 0) == 0) {
            out.push_back(selected + " " + std::string(log[i].substr(16)));
        }
    }
    return out;
}

std::size_t count_of(const lwhost::CommandLog& log, std::string_view text) {
    return std::size_t(std::count(log.begin(), log.end(), text));
}

// ---- a reference import -----------------------------------------------------------

TEST(SkeletonReference, NothingSelectedBuildsUnderANewNullInThisOrder) {
    Importer im;
    ASSERT_EQ(im.import(REFERENCE, TWO_BONES), 0);
    const ItemId null_object = im.id("smd_importer_null");
    const ItemId root = im.id("root"), child = im.id("child");
    ASSERT_NE(root, 0u);
    ASSERT_NE(child, 0u);
    expect_commands(im.host.command_log,
                    {"AddNull  smd_importer_null", "EditBones", "AddBone root", "BoneActive ",
                     "Position  0.025000 0.075000 0.050000", rotation_text(0, 0, 0), "RecordRestPosition ",
                     select(root), "AddChildBone child", "BoneActive ", "Position  0.000000 0.100000 0.000000",
                     rotation_text(0.1, 0.2, 0.3), "RecordRestPosition ",
                     select(root), "BoneRestLength  0.200000", select(child), "BoneRestLength  0.200000",
                     select(root), "BoneStrength   0.000000", select(child), "BoneStrength   0.000000"});
    EXPECT_TRUE(im.errors().empty());
    im.expect_clean();

    // The scene: two active bones under the null, posed at frame 0 and with
    // that pose as their rest pose.
    EXPECT_EQ(im.host.scene.bones_of(null_object), (std::vector<ItemId>{root, child}));
    const Item& r = im.item("root");
    const Item& c = im.item("child");
    EXPECT_EQ(r.parent, null_object);
    EXPECT_EQ(c.parent, root);
    for (const Item* bone : {&r, &c}) {
        EXPECT_NE(bone->bone.flags & LWBONEF_ACTIVE, 0u) << bone->name;
        EXPECT_DOUBLE_EQ(bone->bone.rest_length, 0.2);
        EXPECT_EQ(bone->bone.strength, 0.0);
        EXPECT_EQ(bone->bone.weight_map, "");
        for (int channel = lwhost::kPositionX; channel <= lwhost::kBank; ++channel)
            EXPECT_EQ(bone->motion[std::size_t(channel)].keys.size(), 1u) << bone->name << " " << channel;
    }
    EXPECT_DOUBLE_EQ(r.bone.rest_position[0], 0.025);
    EXPECT_DOUBLE_EQ(r.bone.rest_position[1], 0.075);
    EXPECT_DOUBLE_EQ(r.bone.rest_position[2], 0.05);
    EXPECT_DOUBLE_EQ(c.bone.rest_position[1], 0.1);
    EXPECT_DOUBLE_EQ(key_value(c, lwhost::kPositionY, 0), 0.1);
    expect_rest_turn(r, 0, 0, 0);
    expect_rest_turn(c, 0.1, 0.2, 0.3);
    EXPECT_EQ(im.host.edit_mode, Host::EditMode::Bones);  // no "EditObjects " without a target
}

TEST(SkeletonReference, PosesTurnLikeTheFileInEveryQuadrant) {
    struct Turn {
        double rx, ry, rz;
    };
    const Turn turns[] = {{0.3, -0.5, 1.2}, {-2.0, 0.7, -0.4}, {1.5, 1.4, 3.0},     {4.0, -3.5, 2.8},
                          {0, 0, -PI / 2}, {0, 1.5707, 0},   {-0.25, -1.5, -2.5}, {3.1, 0.05, -3.1}};
    std::string text = "version 1\nnodes\n";
    for (int i = 0; i < 8; ++i) text += std::to_string(i) + " \"b" + std::to_string(i) + "\" -1\n";
    text += "end\nskeleton\ntime 0\n";
    for (int i = 0; i < 8; ++i) {
        char line[128];
        std::snprintf(line, sizeof line, "%d 0 0 0 %f %f %f\n", i, turns[i].rx, turns[i].ry, turns[i].rz);
        text += line;
    }
    Importer im;
    ASSERT_EQ(im.import(REFERENCE, text + "end\n"), 0);
    for (int i = 0; i < 8; ++i) {
        const Item& bone = im.item(std::string("b").append(std::to_string(i)));
        expect_rest_turn(bone, turns[i].rx, turns[i].ry, turns[i].rz);
        for (int k = 0; k < 3; ++k)  // keyed at frame 0 and recorded as rest
            EXPECT_DOUBLE_EQ(key_value(bone, lwhost::kHeading + k, 0), bone.bone.rest_rotation[k]);
    }
    im.expect_clean();
}

TEST(SkeletonReference, RestLengthsFromChildOffsetsOrFixed) {
    const std::string arm =
        "nodes\n0 \"root\" -1\n1 \"arm\" 0\nend\ntime 0\n0 0 0 0 0 0 0\n1 3 4 0 0 0 0\nend\n";
    {  // off: every bone 0.2
        Importer im;
        ASSERT_EQ(im.import(REFERENCE, arm), 0);
        EXPECT_EQ(rest_lengths(im), (std::vector<std::string>{"root 0.200000", "arm 0.200000"}));
    }
    {  // on, unscaled: the parent takes its child's distance, the leaf 0.1
        Importer im;
        im.host.script().set("Scale geometry:", 0).set("Calculate bones length:", 1);
        ASSERT_EQ(im.import(REFERENCE, arm), 0);
        EXPECT_EQ(rest_lengths(im), (std::vector<std::string>{"root 5.000000", "arm 0.100000"}));
        EXPECT_DOUBLE_EQ(im.item("root").bone.rest_length, 5.0);
        EXPECT_DOUBLE_EQ(im.item("arm").bone.rest_length, 0.1);
    }
    {  // scaled, and a parent of two children takes the last one's length
        Importer im;
        im.host.script().set("Calculate bones length:", 1);
        ASSERT_EQ(im.import(REFERENCE, "nodes\n0 \"hub\" -1\n1 \"a\" 0\n2 \"b\" 0\nend\ntime 0\n"
                                       "0 0 0 0 0 0 0\n1 0 0 40 0 0 0\n2 0 0 80 0 0 0\nend\n"),
                  0);
        EXPECT_EQ(rest_lengths(im), (std::vector<std::string>{"hub 1.000000", "hub 2.000000", "a 0.100000",
                                                              "b 0.100000"}));
    }
    {  // a chain sitting at its origins, imported twice in one opening: the
       // second import sends 0.1 only to the rows whose stored length is 0
        Importer im;
        const std::string chain = im.file("chain.smd", "nodes\n0 \"a\" -1\n1 \"b\" 0\n2 \"c\" 1\nend\ntime 0\n"
                                                       "0 0 0 0 0 0 0\n1 0 0 0 0 0 0\n2 0 0 0 0 0 0\nend\n");
        im.host.script().set("Calculate bones length:", 1).press(REFERENCE).answer_file(chain);
        im.host.script().press(REFERENCE).answer_file(chain).close();
        ASSERT_EQ(im.run(), 0);
        EXPECT_EQ(rest_lengths(im),
                  (std::vector<std::string>{"a 0.000000", "b 0.000000", "a 0.100000", "b 0.100000", "c 0.100000",
                                            "a 0.000000", "b 0.000000", "a 0.100000", "b 0.100000"}));
    }
}

TEST(SkeletonReference, NodesBelowAParentNotYetBuiltAreLeftOut) {
    Importer im;
    ASSERT_EQ(im.import(REFERENCE, "nodes\n0 \"root\" -1\n1 \"a\" 0\n2 \"b\" 5\n3 \"c\" 2\n4 \"d\" 3\n5 \"e\" 0\n"
                                   "6 \"f\" -2\n7 \"g\" 300\nend\ntime 0\nend\n"),
              0);
    const ItemId null_object = im.id("smd_importer_null");
    EXPECT_EQ(im.host.scene.bones_of(null_object), (std::vector<ItemId>{im.id("root"), im.id("a"), im.id("e")}));
    for (const char* name : {"b", "c", "d", "f", "g"}) EXPECT_EQ(im.id(name), 0u) << name;
    EXPECT_EQ(count_of(im.host.command_log, "BoneActive "), 3u);
    im.expect_clean();
}

TEST(SkeletonReference, ReusesTheSelectedObjectsBonesByExactName) {
    Importer im;
    lwhost::MeshBuilder mesh = im.b.mesh("C:/models/leg.lwo");
    const auto p = mesh.point(0, 0, 0);
    mesh.weight("foot", p, 1.0f).weight("hip", p, 1.0f);
    const ItemId leg = im.b.object("leg", mesh);
    const ItemId hip = im.b.bone(leg, "hip").rest({0, 1, 0}, {0, 0, 0});
    const ItemId knee = im.b.bone(leg, "knee", hip).rest({0, -0.5, 0}, {0, 0, 0});
    const ItemId upper_toe = im.b.bone(leg, "Toe", knee);
    const ItemId lamp = im.b.light("lamp");
    im.b.select(lamp).select(leg);
    ASSERT_EQ(im.import(REFERENCE, "nodes\n0 \"hip\" -1\n1 \"knee\" 0\n2 \"foot\" 1\n3 \"toe\" 2\nend\ntime 0\n"
                                   "2 0 0 -8 0 0 0\n3 0 4 0 0 0 0\nend\n"),
              0);
    const ItemId foot = im.id("foot"), toe = im.id("toe");
    expect_commands(im.host.command_log,
                    {select(hip), select(knee), "EditBones",
                     select(knee), "AddChildBone foot", "BoneActive ", "Position  0.000000 -0.200000 0.000000",
                     rotation_text(0, 0, 0), "RecordRestPosition ",
                     select(foot), "AddChildBone toe", "BoneActive ", "Position  0.000000 0.000000 0.100000",
                     rotation_text(0, 0, 0), "RecordRestPosition ",
                     select(hip), "BoneRestLength  0.200000", select(knee), "BoneRestLength  0.200000",
                     select(foot), "BoneRestLength  0.200000", select(toe), "BoneRestLength  0.200000",
                     select(foot), "BoneWeightMapName  foot", "BoneWeightMapOnly ", "BoneStrength   1.000000",
                     select(toe), "BoneStrength   0.000000", "EditObjects ", select(leg)});
    EXPECT_EQ(im.host.scene.bones_of(leg), (std::vector<ItemId>{hip, knee, upper_toe, foot, toe}));
    EXPECT_EQ(im.item("foot").parent, knee);
    EXPECT_EQ(im.item("toe").parent, foot);
    EXPECT_EQ(im.item("hip").bone.rest_position[1], 1.0) << "a reused bone is not posed";
    EXPECT_TRUE(im.item("hip").motion[lwhost::kPositionY].keys.empty());
    EXPECT_EQ(im.item("hip").bone.weight_map, "") << "nor bound, since this panel did not create it";
    EXPECT_EQ(im.item("foot").bone.weight_map, "foot");
    EXPECT_TRUE(im.item("foot").bone.weight_map_only);
    EXPECT_EQ(im.item("foot").bone.strength, 1.0);
    EXPECT_EQ(im.host.scene.selection, std::vector<ItemId>{leg});
    EXPECT_EQ(im.host.edit_mode, Host::EditMode::Objects);
    im.expect_clean();
}

TEST(SkeletonReference, WeightMapsMatchCaseSensitively) {
    Importer im;
    lwhost::MeshBuilder mesh = im.b.mesh("C:/models/body.lwo");
    const auto p = mesh.point(0, 0, 0);
    mesh.weight("Child", p, 1.0f).weight("root", p, 1.0f);
    im.b.select(im.b.object("body", mesh));
    ASSERT_EQ(im.import(REFERENCE, TWO_BONES), 0);
    const auto& log = im.host.command_log;
    EXPECT_EQ(std::vector<std::string>(log.end() - 8, log.end()),
              (std::vector<std::string>{select(im.id("root")), "BoneWeightMapName  root", "BoneWeightMapOnly ",
                                        "BoneStrength   1.000000", select(im.id("child")), "BoneStrength   0.000000",
                                        "EditObjects ", select(im.id("body"))}));
    EXPECT_EQ(im.item("root").bone.weight_map, "root");
    EXPECT_EQ(im.item("child").bone.weight_map, "");
    EXPECT_EQ(im.item("child").bone.strength, 0.0);

    Importer without;  // no "Scene Objects 4": nothing is bound or weakened
    without.host.withhold("Scene Objects 4");
    ASSERT_EQ(without.import(REFERENCE, TWO_BONES), 0);
    EXPECT_EQ(count_of(without.host.command_log, "BoneStrength   0.000000"), 0u);
    EXPECT_EQ(without.host.command_log.back(), "BoneRestLength  0.200000");
}

TEST(SkeletonReference, ASecondImportInOnePanelOpeningBuildsNothingNew) {
    Importer im;
    const std::string path = im.file("twice.smd", TWO_BONES);
    im.host.script().press(REFERENCE).answer_file(path).press(REFERENCE).answer_file(path).close();
    ASSERT_EQ(im.run(), 0);
    EXPECT_EQ(im.host.scene.items(lwhost::ItemType::Object).size(), 2u) << "each run adds its null";
    const ItemId first_null = im.host.scene.items(lwhost::ItemType::Object)[0];
    EXPECT_EQ(im.host.scene.bones_of(first_null).size(), 2u);
    EXPECT_EQ(count_of(im.host.command_log, "AddBone root"), 1u);
    EXPECT_EQ(count_of(im.host.command_log, "RecordRestPosition "), 2u);
    EXPECT_EQ(count_of(im.host.command_log, "BoneRestLength  0.200000"), 4u);
    EXPECT_EQ(count_of(im.host.command_log, "BoneStrength   0.000000"), 4u) << "bindings are sent again";
    im.expect_clean();
}

// ---- sequences ----------------------------------------------------------------------

const char* const THREE_BLOCKS =
    "version 1\nnodes\n0 \"root\" -1\n1 \"child\" 0\nend\nskeleton\n"
    "time 0\n 0 4 0 0 0 0 0\n1 0 0 4 0 0 0\n"
    "time 0\n 0 8 0 0 0 0 0.5\n"
    "time 7\n 0 12 0 0 0 0 0\n1 0 0 20 0 0 0\nend\n";

TEST(SkeletonSequence, KeysOneFramePerBlockOnTheBonesTheReferenceBuilt) {
    Importer im;
    im.host.script()
        .press(REFERENCE)
        .answer_file(im.file("ref.smd", TWO_BONES))
        .press(SEQUENCE)
        .answer_file(im.file("seq.smd", THREE_BLOCKS))
        .close();
    ASSERT_EQ(im.run(), 0);
    EXPECT_TRUE(im.errors().empty());
    const ItemId root = im.id("root"), child = im.id("child");
    auto& log = im.host.command_log;
    const auto second_null = std::find(log.begin() + 1, log.end(), "AddNull  smd_importer_null");
    ASSERT_NE(second_null, log.end()) << "nothing selected is an object: the run adds its null";
    const std::vector<std::string> sequence(second_null, log.end());
    std::vector<std::string> expected = {"AddNull  smd_importer_null", "EditBones", select(root),
                                         "BoneRestLength  0.200000", select(child), "BoneRestLength  0.200000",
                                         "EditBones"};
    const double root_x[3] = {4, 8, 12}, child_y[3] = {4, 4, 20}, root_rz[3] = {0, 0.5, 0};
    for (int frame = 0; frame < 3; ++frame) {
        char position[64];
        std::snprintf(position, sizeof position, "Position  %f 0.000000 0.000000", 0.025 * root_x[frame]);
        expected.insert(expected.end(), {select(root), position, rotation_text(0, 0, root_rz[frame])});
        std::snprintf(position, sizeof position, "Position  0.000000 %f 0.000000", 0.025 * child_y[frame]);
        expected.insert(expected.end(), {select(child), position, rotation_text(0, 0, 0)});
        if (frame < 2) expected.push_back("NextFrame");
    }
    expected.insert(expected.end(), {select(root), "BoneStrength   0.000000", select(child),
                                     "BoneStrength   0.000000", "EditBones"});
    expect_commands(sequence, expected);

    // Keys at frames 0, 1 and 2; the reference's frame-0 key is replaced, the
    // rest pose stays the reference's.
    const Item& r = im.item("root");
    const Item& c = im.item("child");
    EXPECT_EQ(r.motion[lwhost::kPositionX].keys.size(), 3u);
    EXPECT_DOUBLE_EQ(key_value(r, lwhost::kPositionX, 0), 0.1);
    EXPECT_DOUBLE_EQ(key_value(r, lwhost::kPositionX, 1), 0.2);
    EXPECT_DOUBLE_EQ(key_value(r, lwhost::kPositionX, 2), 0.3);
    EXPECT_DOUBLE_EQ(key_value(c, lwhost::kPositionY, 1), 0.1) << "a row a block leaves out keeps its pose";
    EXPECT_DOUBLE_EQ(key_value(c, lwhost::kPositionY, 2), 0.5);
    EXPECT_NEAR(key_value(r, lwhost::kHeading, 1), -0.5, 1e-6) << "SMD z turns about the host's up axis";
    EXPECT_DOUBLE_EQ(r.bone.rest_position[0], 0.025);
    EXPECT_DOUBLE_EQ(im.host.scene.current_frame(), 2.0);
    EXPECT_EQ(count_of(log, "NextFrame"), 2u);
    im.expect_clean();
}

TEST(SkeletonSequence, BindsToTheSelectedObjectsBonesAndActivatesThem) {
    Importer im;
    lwhost::MeshBuilder mesh = im.b.mesh("C:/models/body.lwo");
    const ItemId body = im.b.object("body", mesh);
    const ItemId root = im.b.bone(body, "root");
    const ItemId child = im.b.bone(body, "child", root).bone_flags(0);
    im.b.select(body).frame(5);
    ASSERT_EQ(im.import(SEQUENCE, THREE_BLOCKS), 0);
    const auto& log = im.host.command_log;
    const std::vector<std::string> start(log.begin(), log.begin() + 10);
    EXPECT_EQ(start, (std::vector<std::string>{select(root), select(child), "EditBones", select(root),
                                               "BoneRestLength  0.200000", select(child), "BoneRestLength  0.200000",
                                               "EditBones", select(child), "BoneActive "}));
    EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()),
              (std::vector<std::string>{"EditBones", "EditObjects ", select(body)}))
        << "no binding for bones this panel did not create; all active by now";
    EXPECT_EQ(count_of(log, "BoneActive "), 1u);
    EXPECT_DOUBLE_EQ(key_value(im.item("root"), lwhost::kPositionX, 5), 0.1);
    EXPECT_DOUBLE_EQ(key_value(im.item("root"), lwhost::kPositionX, 7), 0.3);
    EXPECT_EQ(im.host.scene.bones_of(body).size(), 2u);
    im.expect_clean();
}

TEST(SkeletonSequence, ThePreviewRangeGrowsToShowEveryBlock) {
    std::string ten_blocks = "nodes\n0 \"root\" -1\nend\n";
    for (int i = 0; i < 10; ++i) ten_blocks += "time " + std::to_string(i) + "\n0 0 0 0 0 0 0\n";
    ten_blocks += "end\n";
    struct Case {
        int preview_end;
        double frame;
        const char* first_command;
    };
    for (const Case& c : {Case{5, 0, "PreviewLastFrame  10"}, Case{60, 0, "AddNull  smd_importer_null"},
                          Case{5, 3, "PreviewLastFrame  13"}, Case{12, 3, "PreviewLastFrame  13"},
                          Case{13, 3, "AddNull  smd_importer_null"}}) {
        Importer im;
        im.b.preview(0, c.preview_end).frame(c.frame);
        ASSERT_EQ(im.import(SEQUENCE, ten_blocks), 0);
        ASSERT_FALSE(im.host.command_log.empty());
        EXPECT_EQ(im.host.command_log[0], c.first_command) << c.preview_end << " " << c.frame;
        im.expect_clean();
    }
    {  // a file that then fails to read has still extended the range
        Importer im;
        im.b.preview(0, 1);
        ASSERT_EQ(im.import(REFERENCE, "time 0\ntime 1\ntime 2\n"), 0);
        EXPECT_EQ(im.host.command_log, std::vector<std::string>{"PreviewLastFrame  3"});
        EXPECT_EQ(im.errors(), std::vector<std::string>{"Error reading SMD file!"});
        EXPECT_EQ(im.host.scene.settings.preview_end, 3);
    }
}

// ---- the panel, its requests and messages ----------------------------------------------

TEST(SkeletonPanel, IsLaidOutAndTheScaleBoxGhostsItsValue) {
    Importer im;
    im.host.script().set("Scale geometry:", 0).set("Scale geometry:", 1).close();
    ASSERT_EQ(im.run(), 0);
    const lwhost::PanelRecord* panel = im.host.panels().find(TITLE);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->width, 400);
    EXPECT_EQ(panel->height, 170);
    EXPECT_EQ(panel->flags, 3);
    const auto& controls = panel->views[0].controls;
    struct Expected {
        const char* type;
        const char* label;
        int x, y;
    };
    const Expected expected[] = {
        {"BoolControl", "Scale geometry:", 8, 24},
        {"BoolControl", "Calculate bones length:", 248, 24},
        {"FloatControl", "", 112, 24},
        {"TextControl", "Click to import skeleton reference :", 5, 70},
        {"TextControl", "Click to import skeleton sequence :", 5, 100},
        {"ButtonControl", REFERENCE, 282, 70},
        {"ButtonControl", SEQUENCE, 282, 100},
    };
    ASSERT_EQ(controls.size(), std::size(expected)) << lwhost::panel_view_text(panel->views[0]);
    for (std::size_t i = 0; i < controls.size(); ++i) {
        EXPECT_EQ(controls[i].type, expected[i].type) << i;
        EXPECT_EQ(controls[i].label, expected[i].label) << i;
        EXPECT_EQ(controls[i].x, expected[i].x) << i;
        EXPECT_EQ(controls[i].y, expected[i].y) << i;
        EXPECT_FALSE(controls[i].ghosted) << i;
    }
    EXPECT_EQ(controls[0].int_value, 1);
    EXPECT_EQ(controls[1].int_value, 0);
    EXPECT_EQ(controls[2].float_value, double(0.025f)) << "the scale is kept as a float";
    EXPECT_EQ(controls[3].lines, std::vector<std::string>{""});
    EXPECT_EQ(controls[4].lines, std::vector<std::string>{""});
    ASSERT_EQ(panel->views.size(), 4u);
    EXPECT_TRUE(panel->views[1].controls[2].ghosted);
    EXPECT_FALSE(panel->views[2].controls[2].ghosted);
    EXPECT_TRUE(im.host.command_log.empty());
    im.expect_clean();
}

TEST(SkeletonPanel, EachPressTakesTheScaleShownThen) {
    const std::string one_bone = "nodes\n0 \"root\" -1\nend\ntime 0\n0 1 2 3 0 0 0\nend\n";
    auto first_position = [&](auto&& script) {
        Importer im;
        script(im.host.script());
        EXPECT_EQ(im.import(REFERENCE, one_bone), 0);
        for (const auto& text : im.host.command_log)
            if (text.rfind("Position", 0) == 0) return std::string(text);
        return std::string("<none>");
    };
    EXPECT_EQ(first_position([](lwhost::UiScript&) {}), "Position  0.025000 0.075000 0.050000");
    EXPECT_EQ(first_position([](lwhost::UiScript& s) { s.set(lwhost::unlabelled("float", 0), 7.0).set("Scale geometry:", 0); }),
              "Position  1.000000 3.000000 2.000000");
    EXPECT_EQ(first_position([](lwhost::UiScript& s) {
                  s.set("Scale geometry:", 0).set("Scale geometry:", 1).set(lwhost::unlabelled("float", 0), 0.5);
              }),
              "Position  0.500000 1.500000 1.000000");
}

TEST(SkeletonPanel, RequestsNameTheButtonAndOpenWhereTheLastFileWas) {
    Importer im;
    const std::string path = im.file("first.smd", TWO_BONES);
    im.host.script().press(REFERENCE).answer_file(path).press(SEQUENCE).cancel_file().close();
    ASSERT_EQ(im.run(), 0);
    ASSERT_EQ(im.host.file_requests.size(), 2u);
    for (const auto& request : im.host.file_requests) {
        EXPECT_EQ(request.version, 3);
        EXPECT_EQ(request.type, 1);
        EXPECT_EQ(request.file_type, "SMD File");
        EXPECT_EQ(request.buffer_length, 1024);
    }
    EXPECT_EQ(im.host.file_requests[0].title, "Open SMD Reference File");
    EXPECT_EQ(im.host.file_requests[1].title, "Open SMD Sequence File");
    EXPECT_EQ(im.host.file_requests[1].path_in, im.dir.folder());
    EXPECT_EQ(im.host.file_requests[1].base_name_in, "first.smd");
}

TEST(SkeletonPanel, CancelFailureAndUnreadableFilesSendNothing) {
    for (int way = 0; way < 4; ++way) {
        Importer im;
        im.host.script().press(way % 2 ? SEQUENCE : REFERENCE);
        if (way == 0) im.host.script().cancel_file();
        if (way == 1) im.host.script().fail_file();
        if (way == 2) im.host.withhold("File Request 2");
        if (way == 3) im.host.script().answer_file(im.dir.file("missing.smd"));
        im.host.script().close();
        ASSERT_EQ(im.run(), 0);
        EXPECT_TRUE(im.host.command_log.empty()) << way;
        EXPECT_EQ(im.errors(), way == 3 ? std::vector<std::string>{"Unable to open file!"}
                                        : std::vector<std::string>{})
            << way;
        EXPECT_EQ(im.host.file_requests.size(), way == 2 ? 0u : 1u) << way;
    }
}

TEST(SkeletonPanel, FilesThatCannotBeReadAreReportedAndBuildNothing) {
    const char* const broken[] = {
        "version 1\nskeleton\ntime 0\n0 0 0 0 0 0 0\nend\n",                 // no nodes section
        "nodes\n0 \"root\" -1\n",                                            // no end
        "nodes\n0 root -1\nend\ntime 0\nend\n",                              // unquoted name
        "nodes\n0 \"\" -1\nend\ntime 0\nend\n",                              // empty name
        "nodes\n0\t\"root\t-1\nend\ntime 0\nend\n",                        // no closing quote
        "nodes\n0 \"root\" -1\n255 \"far\" 0\nend\ntime 0\nend\n",           // index past the table
        "nodes\n4294967296 \"wrapped\" -1\nend\ntime 0\nend\n",              // not row 0
        "nodes\n0 \"root\" -1\nend\nskeleton\nend\n",                        // no time line
        "nodes\n0 \"root\" -1\nend\ntime 0\n0 0 0 0 0 0 0\n",                // ends in the first block
    };
    for (const char* text : broken) {
        Importer im;
        ASSERT_EQ(im.import(REFERENCE, text), 0);
        EXPECT_EQ(im.errors(), std::vector<std::string>{"Error reading SMD file!"}) << text;
        EXPECT_TRUE(im.host.command_log.empty()) << text;
        EXPECT_EQ(im.id("root"), 0u) << text;
    }
}

TEST(SkeletonPanel, NumbersAreReadAndSentWithPointsUnderACommaLocale) {
    if (!std::setlocale(LC_ALL, "de_DE.utf8")) GTEST_SKIP() << "no de_DE.utf8 locale";
    Importer im;
    const int result = im.import(REFERENCE, "nodes\n0 \"root\" -1\nend\ntime 0\n0 1.5 2.25 -3.75 0 0 0\nend\n");
    std::setlocale(LC_ALL, "C");
    ASSERT_EQ(result, 0);
    EXPECT_EQ(im.host.command_log[4], "Position  0.037500 -0.093750 0.056250");
}

// ---- real files -----------------------------------------------------------------------

std::string corpus_file(const std::string& name) {
    const char* const roots[] = {"/work/shared/corpus/smd/", "../shared/corpus/smd/"};
    for (const char* root : roots) {
        const std::string path = std::string(root) + name;
        if (std::ifstream(path).good()) return path;
    }
    return {};
}

// An independent reading of a file: node names (blanks inside the quotes
// as underscores) and parents, and the poses of every frame block.
struct ParsedSmd {
    std::vector<std::string> names;
    std::vector<int> parents;
    std::vector<std::vector<std::vector<double>>> frames;  // block -> node -> x y z rx ry rz
};

ParsedSmd parse_smd(const std::string& path) {
    ParsedSmd smd;
    std::ifstream in(path);
    std::string line, section;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string first;
        words >> first;
        if (first == "nodes" || first == "skeleton" || first == "triangles") {
            section = first;
        } else if (first == "end") {
            if (section == "skeleton") break;
            section.clear();
        } else if (section == "nodes") {
            const auto open = line.find('"'), close = line.find('"', open + 1);
            std::string name = line.substr(open + 1, close - open - 1);
            for (char& c : name) c = c == ' ' ? '_' : c;
            smd.names.push_back(name);
            smd.parents.push_back(std::stoi(line.substr(close + 1)));
        } else if (section == "skeleton" && first == "time") {
            smd.frames.emplace_back(smd.names.size(), std::vector<double>(6, 0.0));
            if (smd.frames.size() > 1) smd.frames.back() = smd.frames[smd.frames.size() - 2];
        } else if (section == "skeleton" && !smd.frames.empty()) {
            const int node = std::stoi(first);
            for (double& value : smd.frames.back()[std::size_t(node)]) words >> value;
        }
    }
    return smd;
}

void expect_skeleton_built(const Importer& im, const ParsedSmd& smd) {
    for (std::size_t i = 0; i < smd.names.size(); ++i) {
        const Item& bone = im.item(smd.names[i]);
        ASSERT_EQ(bone.type, lwhost::ItemType::Bone) << smd.names[i];
        if (smd.parents[i] >= 0) {
            EXPECT_EQ(bone.parent, im.id(smd.names[std::size_t(smd.parents[i])])) << smd.names[i];
        } else {
            EXPECT_EQ(im.host.scene.item(bone.parent)->name, "smd_importer_null") << smd.names[i];
        }
        const auto& pose = smd.frames[0][i];
        const double expected[3] = {0.025 * pose[0], 0.025 * pose[2], 0.025 * pose[1]};
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(bone.bone.rest_position[k], expected[k], 1e-6) << smd.names[i];
        expect_rest_turn(bone, pose[3], pose[4], pose[5]);
    }
}

TEST(SkeletonCorpus, ABipedReferenceWithBlanksInItsNames) {
    const std::string path = corpus_file("nuclide_player_ref_empty.smd");
    if (path.empty()) GTEST_SKIP() << "corpus not present";
    const ParsedSmd smd = parse_smd(path);
    ASSERT_EQ(smd.names.size(), 55u);
    Importer im;
    im.host.script().press(REFERENCE).answer_file(path).close();
    ASSERT_EQ(im.run(), 0);
    EXPECT_TRUE(im.errors().empty());
    EXPECT_EQ(im.host.scene.bones_of(im.id("smd_importer_null")).size(), 55u);
    EXPECT_EQ(im.item("Bip01_Pelvis").type, lwhost::ItemType::Bone);
    expect_skeleton_built(im, smd);
    im.expect_clean();
}

TEST(SkeletonCorpus, AWeaponReferenceThenItsIdleSequence) {
    const std::string reference = corpus_file("nuclide_v_bat_slugger.smd");
    const std::string sequence = corpus_file("nuclide_v_bat_1h_idle.smd");
    if (reference.empty() || sequence.empty()) GTEST_SKIP() << "corpus not present";
    const ParsedSmd ref = parse_smd(reference);
    const ParsedSmd seq = parse_smd(sequence);
    ASSERT_EQ(seq.frames.size(), 10u);
    Importer im;
    im.host.script().press(REFERENCE).answer_file(reference).press(SEQUENCE).answer_file(sequence).close();
    ASSERT_EQ(im.run(), 0);
    EXPECT_TRUE(im.errors().empty());
    expect_skeleton_built(im, ref);
    EXPECT_EQ(count_of(im.host.command_log, "NextFrame"), 9u);
    for (std::size_t i = 0; i < seq.names.size(); ++i) {
        const Item& bone = im.item(seq.names[i]);
        for (int frame : {0, 9}) {
            const auto& pose = seq.frames[std::size_t(frame)][i];
            EXPECT_NEAR(key_value(bone, lwhost::kPositionX, frame), 0.025 * pose[0], 1e-6) << seq.names[i];
            EXPECT_NEAR(key_value(bone, lwhost::kPositionY, frame), 0.025 * pose[2], 1e-6) << seq.names[i];
            EXPECT_NEAR(key_value(bone, lwhost::kPositionZ, frame), 0.025 * pose[1], 1e-6) << seq.names[i];
            double hpb[3], m[3][3];
            for (int k = 0; k < 3; ++k) hpb[k] = key_value(bone, lwhost::kHeading + k, frame);
            lwhost::hpb_matrix(hpb, m);
            const Mat expected = host_matrix_of_smd(pose[3], pose[4], pose[5]);
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) EXPECT_NEAR(m[r][c], expected[r][c], 2e-6) << seq.names[i];
        }
    }
    im.expect_clean();
}

}  // namespace
