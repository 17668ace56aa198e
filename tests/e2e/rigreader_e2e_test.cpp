// "SMD Skeleton Import" loaded from the built plug-in and run by the host:
// the commands a reference import and a sequence import send, in order and
// with their blanks, and the bones, rest poses, keys and bindings they leave
// in the scene.
#include <gtest/gtest.h>

#include "skeleton_import_fixture.h"

namespace {

using namespace skeleton_import;

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

}  // namespace
