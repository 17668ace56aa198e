// Scene files with the built plug-ins: an animated skeleton read from a
// scene file exports the same animation as the same skeleton built in the
// host, and a skeleton the importer builds saves, loads back the same and
// exports the same animation after the trip.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "formats/lws.h"
#include "host.h"
#include "loader.h"
#include "scene_builder.h"
#include "ui_script.h"
#include "../host/lws_compare.h"
#include "../temp_dir.h"
#include "walk_animation.h"
#include "test_files.h"

namespace {

using test_support::read_file;

using lwhost::Host;
using lwhost::ItemId;

constexpr const char* SAVE_ANIMATION = "Save animation SMD file";

void write_file(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

void load_plugin(Host& host, const char* name) {
    std::string error;
    ASSERT_NE(host.plugins().load(std::string(LWSMD_PLUGIN_DIR) + "/" + name, &error), nullptr) << error;
}

// Runs the animation exporter on the host's scene as it stands; the file's text.
std::string export_animation(Host& host, const std::string& file) {
    load_plugin(host, "motionwriter.so");
    host.script().press(SAVE_ANIMATION).answer_file(file).close();
    EXPECT_EQ(host.run_generic("SMD Animation"), 0);
    for (const auto& message : host.messages) ADD_FAILURE() << message.line1;
    for (const auto& note : host.diagnostics) ADD_FAILURE() << note;
    return read_file(file);
}

std::string envelope(double value, const std::string& more_keys = "", int count = 1) {
    std::ostringstream text;
    text << "{ Envelope\n  " << count << "\n  Key " << value << " 0 3 0 0 0 0 0 0\n" << more_keys << "  Behaviors 1 1\n}\n";
    return text.str();
}

std::string motion(const char* keyword, const double values[9], const std::string& x_second_key = "") {
    std::string text = std::string(keyword) + "\nNumChannels 9\n";
    for (int channel = 0; channel < 9; ++channel)
        text += "Channel " + std::to_string(channel) + "\n" +
                envelope(values[channel], channel == 0 ? x_second_key : "", channel == 0 && !x_second_key.empty() ? 2 : 1);
    return text;
}

TEST(LwsScene, ALoadedSkeletonExportsTheAnimationOfTheSameSkeletonBuiltInTheHost) {
    test_files::TempDir dir;
    // The animation exporter's own test rig, written as a scene file: hip
    // keyed in x from 0 at frame 0 to 1 at frame 4 (24 frames a second),
    // knee and toe at rest, toe without a weight map.
    const double object[9] = {0, 0, 0, 0, 0, 0, 1, 1, 1};
    const double hip[9] = {0, 1, 0, 0, 0, 0, 1, 1, 1};
    const double knee[9] = {0, -0.5, 0, 0, 0, 0, 1, 1, 1};
    const double toe[9] = {0, 0, 0.25, 0, 0, 0, 1, 1, 1};
    const std::string scene =
        "LWSC\n3\n\nFirstFrame 0\nLastFrame 4\nPreviewFirstFrame 0\nPreviewLastFrame 4\nPreviewFrameStep 1\n"
        "CurrentFrame 0\nFramesPerSecond 24\n\nLoadObjectLayer 1 walker.lwo\n" + motion("ObjectMotion", object) +
        "\nAddBone\nBoneName hip\nBoneActive 1\nBoneRestPosition 0 1 0\nBoneRestDirection 0 0 0\nBoneRestLength 1\n"
        "BoneWeightMapName hip\n" + motion("BoneMotion", hip, "  Key 1 0.16666666666666666 3 0 0 0 0 0 0\n") +
        "ParentItem 10000000\n"
        "\nAddBone\nBoneName knee\nBoneActive 1\nBoneRestPosition 0 -0.5 0\nBoneRestDirection 0 0 0\n"
        "BoneWeightMapName knee\n" + motion("BoneMotion", knee) + "ParentItem 40000000\n"
        "\nAddBone\nBoneName toe\nBoneActive 1\nBoneRestPosition 0 0 0.25\nBoneRestDirection 0 0 0\n" +
        motion("BoneMotion", toe) + "ParentItem 40010000\n\nCurrentObject 0\n";
    write_file(dir.file("walk.lws"), scene);
    write_file(dir.file("walker.lwo"), "read by the stand-in loader only");

    Host host;
    lwhost::SceneLoadOptions options;
    options.load_object = [](lwhost::Scene& into, const std::filesystem::path& file) {
        lwhost::MeshBuilder mesh = lwhost::SceneBuilder(into).mesh(file.string());
        mesh.triangle(mesh.point(0, 0, 0), mesh.point(1, 0, 0), mesh.point(0, 1, 0));
        return mesh.index();
    };
    ASSERT_TRUE(lwhost::load_lws(host.scene, dir.file("walk.lws"), options).empty());
    ASSERT_EQ(host.scene.selection, std::vector<ItemId>{0x10000000u});

    // Byte for byte what the exporter writes for the rig built in the host
    // (motionwriter_e2e_test, AnimSave): the scene file lost nothing it uses.
    EXPECT_EQ(export_animation(host, dir.file("walk.smd")), kWalkAnimationSmd);
}

// A root at (1, 2, 3) and a turned child, three frame blocks that move the
// root along x, turn it, and stretch the child.
const char* const REFERENCE =
    "version 1\nnodes\n0 \"root\" -1\n1 \"child\" 0\nend\nskeleton\ntime 0\n"
    "0 1.000000 2.000000 3.000000 0.000000 0.000000 0.000000\n"
    "1 0.000000 0.000000 4.000000 0.100000 0.200000 0.300000\nend\n";
const char* const SEQUENCE =
    "version 1\nnodes\n0 \"root\" -1\n1 \"child\" 0\nend\nskeleton\n"
    "time 0\n0 4.000000 0.000000 0.000000 0.000000 0.000000 0.000000\n1 0.000000 4.000000 0.000000 0.000000 0.000000 0.000000\n"
    "time 1\n0 8.000000 0.000000 0.000000 0.000000 0.000000 0.500000\n"
    "time 2\n0 12.000000 0.000000 0.000000 0.300000 -0.200000 0.000000\n1 0.000000 20.000000 0.000000 0.000000 0.000000 1.000000\n"
    "end\n";

// The plug-ins reach the host through the one current host, so each host
// here runs alone: the importer's, then the one that loads the saved scene.
TEST(LwsScene, AnImportedSkeletonSavesLoadsBackAndExportsTheSame) {
    test_files::TempDir dir;
    write_file(dir.file("ref.smd"), REFERENCE);
    write_file(dir.file("seq.smd"), SEQUENCE);
    std::string before;
    {
        Host built;
        lwhost::SceneBuilder(built.scene).fps(30).preview(0, 2);
        load_plugin(built, "rigreader.so");
        built.script()
            .press("Import SMD reference file")
            .answer_file(dir.file("ref.smd"))
            .press("Import SMD sequence file")
            .answer_file(dir.file("seq.smd"))
            .close();
        ASSERT_EQ(built.run_generic("SMD Skeleton Import"), 0);
        for (const auto& message : built.messages) ADD_FAILURE() << message.line1;
        const ItemId null_object = built.scene.find_item("smd_importer_null");
        ASSERT_EQ(null_object, 0x10000000u);
        ASSERT_EQ(built.scene.bones_of(null_object).size(), 2u);
        ASSERT_EQ(built.scene.item(built.scene.find_item("root"))->motion[lwhost::kPositionX].keys.size(), 3u);

        lwhost::save_lws(built.scene, dir.file("imported.lws"));
        lwhost::Scene reloaded;
        ASSERT_TRUE(lwhost::load_lws(reloaded, dir.file("imported.lws")).empty());
        EXPECT_TRUE(lwhost::check_scene(reloaded).empty());
        lws_test::expect_same_scene(built.scene, reloaded);

        built.scene.selection.assign(1, null_object);
        before = export_animation(built, dir.file("before.smd"));
    }
    Host again;
    ASSERT_TRUE(lwhost::load_lws(again.scene, dir.file("imported.lws")).empty());
    again.scene.selection.assign(1, 0x10000000u);
    const std::string after = export_animation(again, dir.file("after.smd"));
    EXPECT_NE(before.find("time 2\n 0  12.000000 0.000000 0.000000  0.300000 -0.200000 0.000000\n"), std::string::npos)
        << before;
    EXPECT_EQ(before, after);
}

}  // namespace
