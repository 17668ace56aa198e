// "SMD Skeleton Import" loaded from the built plug-in and run by the host:
// the panel as the user sees it, its events, file requests and messages, and
// imports of real files read independently here.
#include <gtest/gtest.h>

#include "skeleton_import_fixture.h"
#include "smd_reader.h"
#include "test_files.h"

namespace {

using namespace skeleton_import;

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

// The file as the test-support reader reads it: node names (blanks inside
// the quotes as underscores) and parents, and the poses of every frame block,
// a bone that a block leaves out keeping its pose from the block before.
struct ParsedSmd {
    std::vector<std::string> names;
    std::vector<int> parents;
    std::vector<std::vector<std::vector<double>>> frames;  // block -> node -> x y z rx ry rz
};

ParsedSmd parse_smd(const std::string& path) {
    ParsedSmd smd;
    const test_support::SmdFile file = test_support::read_smd(test_support::read_file(path));
    EXPECT_EQ(file.error, "") << path;
    for (const test_support::SmdNode& node : file.nodes) {
        std::string name = node.name;
        for (char& c : name) c = c == ' ' ? '_' : c;
        smd.names.push_back(name);
        smd.parents.push_back(node.parent);
    }
    for (const test_support::SmdFrame& frame : file.frames) {
        if (smd.frames.empty())
            smd.frames.emplace_back(smd.names.size(), std::vector<double>(6, 0.0));
        else
            smd.frames.push_back(smd.frames.back());
        for (const test_support::SmdBone& bone : frame.bones)
            smd.frames.back().at(std::size_t(bone.node)) = {bone.position[0], bone.position[1], bone.position[2],
                                                            bone.rotation[0], bone.rotation[1], bone.rotation[2]};
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
