// The skeleton commands through the built lwhost: import-skeleton (with and
// without an object to build under, with sequences) and export-anim, checked
// against the bundled arm's own files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "formats/lws.h"
#include "scene.h"
#include "smd_model.h"
#include "../unprivileged.h"
#include "cli_run.h"

namespace {

namespace fs = std::filesystem;
using namespace cli_test;

const std::string kArmReference = std::string(LWSMD_EXAMPLES) + "/arm_ref.smd";
const std::string kArmWave = std::string(LWSMD_EXAMPLES) + "/arm_wave.smd";

lwcli::SmdModel model_of(const std::string& file) {
    lwcli::SmdModel model;
    std::string error;
    EXPECT_TRUE(lwcli::read_smd_model(file, model, error)) << error;
    return model;
}

std::string differences(const lwcli::SmdComparison& comparison) {
    std::string text;
    for (const std::string& difference : comparison.differences) text += difference + "\n";
    return text;
}

const lwhost::Item* only_object(const lwhost::Scene& scene) {
    const auto objects = scene.items(lwhost::ItemType::Object);
    EXPECT_EQ(objects.size(), 1u);
    return objects.empty() ? nullptr : scene.item(objects.front());
}

class SkeletonCli : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(SkeletonCli, WithoutAnObjectTheImportersNullCarriesTheBonesAndTheAnimationExportsBack) {
    const std::string scene_file = dir.file("null.lws"), wave = dir.file("wave.smd");
    Outcome import = run_lwhost(dir, {"import-skeleton", kArmReference, "--sequence", kArmWave, "-o", scene_file});
    ASSERT_EQ(import.status, 0) << import.err;
    EXPECT_EQ(import.err, "");

    lwhost::Scene scene;
    lwhost::load_lws(scene, scene_file);
    // Every import that finds no selected object adds a null, the sequence's
    // too (a bone is selected then); the first carries the bones and keys.
    const auto objects = scene.items(lwhost::ItemType::Object);
    ASSERT_EQ(objects.size(), 2u);
    const lwhost::Item* null = scene.item(objects[0]);
    EXPECT_EQ(null->name, "smd_importer_null");
    EXPECT_LT(null->mesh, 0);
    EXPECT_EQ(scene.bones_of(null->id).size(), 6u);
    EXPECT_TRUE(scene.bones_of(objects[1]).empty());

    // The preview range (0 to 60) holds the 30 frames; the sequence's own
    // range is asked for.
    Outcome anim = run_lwhost(dir, {"export-anim", scene_file, "-o", wave, "--first", "0", "--last", "29"});
    ASSERT_EQ(anim.status, 0) << anim.err;
    const lwcli::SmdComparison back = lwcli::compare_skeletons(model_of(kArmWave), model_of(wave));
    EXPECT_TRUE(back.matched) << differences(back);
}

TEST_F(SkeletonCli, IntoAnObjectTheBonesBindToItsWeightMapsAndTheReferenceExportsBack) {
    const std::string object = dir.file("arm.lwo"), scene_file = dir.file("arm.lws"), back = dir.file("back.smd");
    ASSERT_EQ(run_lwhost(dir, {"import-mesh", kArmReference, "-o", object}).status, 0);
    Outcome import = run_lwhost(dir, {"-v", "import-skeleton", kArmReference, "--into", object, "-o", scene_file});
    ASSERT_EQ(import.status, 0) << import.err;
    EXPECT_NE(import.err.find("lwhost: wrote " + scene_file + ": 6 bones under \"arm\""), std::string::npos)
        << import.err;

    lwhost::Scene scene;
    lwhost::load_lws(scene, scene_file);
    const lwhost::Item* arm = only_object(scene);
    ASSERT_NE(arm, nullptr);
    ASSERT_GE(arm->mesh, 0) << "the object file is the scene's object";
    std::vector<std::string> bound;
    for (lwhost::ItemId bone : scene.bones_of(arm->id)) {
        const lwhost::Item* item = scene.item(bone);
        bound.push_back(item->name + ":" + item->bone.weight_map);
    }
    EXPECT_EQ(bound, (std::vector<std::string>{"shoulder:shoulder", "upperarm:upperarm", "forearm:forearm",
                                               "hand:hand", "fingers:fingers", "grip_attach:"}))
        << "the attachment point has no weights, so it stays a null bone";

    Outcome ref = run_lwhost(dir, {"export-ref", scene_file, "-o", back});
    ASSERT_EQ(ref.status, 0) << ref.err;
    const lwcli::SmdModel original = model_of(kArmReference), copy = model_of(back);
    const lwcli::SmdComparison mesh = lwcli::compare_triangles(original, copy, true);
    EXPECT_TRUE(mesh.matched) << differences(mesh);
    const lwcli::SmdComparison skeleton = lwcli::compare_skeletons(original, copy);
    EXPECT_TRUE(skeleton.matched) << differences(skeleton);

    Outcome no_nulls = run_lwhost(dir, {"export-ref", scene_file, "-o", dir.file("lean.smd"), "--no-null-bones"});
    ASSERT_EQ(no_nulls.status, 0) << no_nulls.err;
    EXPECT_EQ(model_of(dir.file("lean.smd")).nodes.size(), 5u);
}

TEST_F(SkeletonCli, TheAnimationRangeComesFromThePreviewRangeUnlessGiven) {
    const std::string scene_file = dir.file("s.lws");
    ASSERT_EQ(run_lwhost(dir, {"import-skeleton", kArmReference, "--sequence", kArmWave, "-o", scene_file}).status, 0);
    lwhost::Scene scene;
    lwhost::load_lws(scene, scene_file);
    const int preview = scene.settings.preview_end - scene.settings.preview_start + 1;

    struct Case {
        std::vector<std::string> range;
        std::size_t frames;
    };
    for (const Case& c : {Case{{}, std::size_t(preview)}, Case{{"--first", "5", "--last", "10"}, 6},
                          Case{{"--first", "100", "--last", "102"}, 3}}) {
        std::vector<std::string> args = {"export-anim", scene_file, "-o", dir.file("a.smd")};
        args.insert(args.end(), c.range.begin(), c.range.end());
        Outcome run = run_lwhost(dir, args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(model_of(dir.file("a.smd")).frames.size(), c.frames) << (c.range.empty() ? "" : c.range[1]);
    }
    Outcome backwards = run_lwhost(dir, {"export-anim", scene_file, "-o", dir.file("b.smd"), "--first", "9", "--last", "3"});
    EXPECT_EQ(backwards.status, 2);
    EXPECT_NE(backwards.err.find("--last 3 comes before --first 9"), std::string::npos) << backwards.err;
}

TEST_F(SkeletonCli, CalculatedLengthsReachTheBones) {
    const std::string plain = dir.file("plain.lws"), measured = dir.file("measured.lws");
    ASSERT_EQ(run_lwhost(dir, {"import-skeleton", kArmReference, "-o", plain}).status, 0);
    ASSERT_EQ(run_lwhost(dir, {"import-skeleton", kArmReference, "-o", measured, "--calc-lengths"}).status, 0);
    lwhost::Scene a, b;
    lwhost::load_lws(a, plain);
    lwhost::load_lws(b, measured);
    auto length_of = [](const lwhost::Scene& scene, const char* name) {
        for (lwhost::ItemId object : scene.items(lwhost::ItemType::Object))
            for (lwhost::ItemId bone : scene.bones_of(object))
                if (scene.item(bone)->name == name) return scene.item(bone)->bone.rest_length;
        return -1.0;
    };
    // The upper arm's child, the forearm, sits 10 units on: 0.25 at the default scale.
    EXPECT_NEAR(length_of(b, "upperarm"), 0.25, 1e-6);
    EXPECT_NE(length_of(a, "upperarm"), length_of(b, "upperarm"));
}

TEST_F(SkeletonCli, BadInputsAndOutputsFailWithoutLeavingAScene) {
    const std::string out = dir.file("out.lws");
    write_file(dir.file("notes.txt"), "just some words\n");

    Outcome missing_sequence =
        run_lwhost(dir, {"import-skeleton", kArmReference, "--sequence", dir.file("gone.smd"), "-o", out});
    EXPECT_EQ(missing_sequence.status, 3);
    EXPECT_NE(missing_sequence.err.find(dir.file("gone.smd") + ": no such file"), std::string::npos)
        << missing_sequence.err;

    Outcome not_smd = run_lwhost(dir, {"import-skeleton", dir.file("notes.txt"), "-o", out});
    EXPECT_EQ(not_smd.status, 1);
    EXPECT_NE(not_smd.err.find("lwhost: SMD Skeleton Import: "), std::string::npos) << not_smd.err;

    Outcome not_object = run_lwhost(dir, {"import-skeleton", kArmReference, "--into", dir.file("notes.txt"), "-o", out});
    EXPECT_EQ(not_object.status, 3);

    Outcome stray_object = run_lwhost(dir, {"import-skeleton", kArmReference, "--object", "arm", "-o", out});
    EXPECT_EQ(stray_object.status, 2);

    Outcome no_folder = run_lwhost(dir, {"import-skeleton", kArmReference, "-o", dir.file("no/such/out.lws")});
    EXPECT_EQ(no_folder.status, 1);
    EXPECT_NE(no_folder.err.find("does not exist"), std::string::npos) << no_folder.err;
    EXPECT_FALSE(fs::exists(out));

    // export-anim: an object without bones, a name that is not there, a
    // scene that is no scene.
    const std::string object = dir.file("arm.lwo");
    ASSERT_EQ(run_lwhost(dir, {"import-mesh", kArmReference, "-o", object}).status, 0);
    Outcome boneless = run_lwhost(dir, {"export-anim", object, "-o", dir.file("a.smd")});
    EXPECT_EQ(boneless.status, 2);
    EXPECT_NE(boneless.err.find("the scene has no object with bones"), std::string::npos) << boneless.err;
    ASSERT_EQ(run_lwhost(dir, {"import-skeleton", kArmReference, "--into", object, "-o", dir.file("arm.lws")}).status, 0);
    Outcome unnamed = run_lwhost(dir, {"export-anim", dir.file("arm.lws"), "-o", dir.file("a.smd"), "--object", "leg"});
    EXPECT_EQ(unnamed.status, 2);
    EXPECT_NE(unnamed.err.find("no object named \"leg\"; the objects are \"arm\""), std::string::npos) << unnamed.err;
    Outcome garbage = run_lwhost(dir, {"export-anim", dir.file("notes.txt"), "-o", dir.file("a.smd")});
    EXPECT_EQ(garbage.status, 3);
    EXPECT_FALSE(fs::exists(dir.file("a.smd")));

    // A write-protected output is left as it was, by both commands.
    write_file(dir.file("kept.lws"), "the user's scene\n");
    write_file(dir.file("kept.smd"), "the user's sequence\n");
    ASSERT_EQ(::chmod(dir.file("kept.lws").c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.file("kept.smd").c_str(), 0444), 0);
    test_files::Unprivileged user(dir.folder());
    if (!user.active()) GTEST_SKIP() << "cannot give up root's right to write";
    Outcome scene_kept = run_lwhost(dir, {"import-skeleton", kArmReference, "-o", dir.file("kept.lws")});
    EXPECT_EQ(scene_kept.status, 1);
    EXPECT_EQ(read_file(dir.file("kept.lws")), "the user's scene\n");
    Outcome anim_kept = run_lwhost(dir, {"export-anim", dir.file("arm.lws"), "-o", dir.file("kept.smd")});
    EXPECT_EQ(anim_kept.status, 1);
    EXPECT_NE(anim_kept.err.find("lwhost: SMD Animation: "), std::string::npos) << anim_kept.err;
    EXPECT_EQ(read_file(dir.file("kept.smd")), "the user's sequence\n");
}

}  // namespace
