// Scene files in and out: the real files of the corpus load with the items,
// keys and settings they hold (values read off the files by hand), save and
// load back the same, and animate as they were made to; every damaged file
// is refused with its name, its line and what is wrong, leaving the scene
// as it was.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "formats/lws.h"
#include "lws_compare.h"
#include "motion.h"
#include "scene_builder.h"
#include "../temp_dir.h"
#include "test_files.h"
#include <lwrender.h>

namespace {

using test_support::read_file;

namespace fs = std::filesystem;
using lwhost::FileFormatError;
using lwhost::Item;
using lwhost::ItemId;
using lwhost::ItemType;
using lwhost::Scene;
using lwhost::SceneBuilder;
using lwhost::SceneLoadOptions;

fs::path corpus_folder() {
    for (const char* root : {"/work/shared/corpus/lws", "../shared/corpus/lws", "../../shared/corpus/lws"})
        if (fs::is_directory(root)) return root;
    return {};
}

// Stands in for the object file loader: a one-triangle mesh under the
// file's name, and a record of what was asked for.
struct StandInObjects {
    std::vector<fs::path> loaded;
    SceneLoadOptions options(const fs::path& content = {}) {
        SceneLoadOptions o;
        o.content_folder = content;
        o.load_object = [this](Scene& scene, const fs::path& file) {
            loaded.push_back(file);
            lwhost::MeshBuilder mesh = SceneBuilder(scene).mesh(file.string());
            mesh.triangle(mesh.point(0, 0, 0), mesh.point(1, 0, 0), mesh.point(0, 1, 0));
            return mesh.index();
        };
        return o;
    }
};

std::vector<std::string> load_text(Scene& scene, const std::string& text, const fs::path& name = "test.lws",
                                   const SceneLoadOptions& options = {}) {
    return lwhost::load_lws(scene, name, std::as_bytes(std::span<const char>(text.data(), text.size())), options);
}

const Item& item_named(const Scene& scene, const std::string& name) {
    static const Item none;
    const ItemId id = scene.find_item(name);
    EXPECT_NE(id, 0u) << name;
    return id ? *scene.item(id) : none;
}

// A channel line of a scene file with one key.
std::string one_key_motion(const char* keyword, int channels, double value = 0.0) {
    std::string text = std::string(keyword) + "\nNumChannels " + std::to_string(channels) + "\n";
    for (int k = 0; k < channels; ++k)
        text += "Channel " + std::to_string(k) + "\n{ Envelope\n  1\n  Key " + std::to_string(value) +
                " 0 0 0 0 0 0 0 0\n  Behaviors 1 1\n}\n";
    return text;
}

// ---- the corpus --------------------------------------------------------------

TEST(LwsCorpus, EveryVersion3AndLaterFileLoadsSoundly) {
    const fs::path root = corpus_folder();
    if (root.empty()) GTEST_SKIP() << "corpus not present";
    int loaded = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().extension() != ".lws" || entry.path().filename() == "move_x_oldformat_56.lws") continue;
        SCOPED_TRACE(entry.path().string());
        Scene scene;
        StandInObjects objects;
        std::vector<std::string> warnings;
        ASSERT_NO_THROW(warnings = lwhost::load_lws(scene, entry.path(), objects.options()));
        EXPECT_TRUE(warnings.empty()) << warnings.front();
        EXPECT_TRUE(lwhost::check_scene(scene).empty()) << lwhost::check_scene(scene).front();
        EXPECT_EQ(scene.items(ItemType::Light).size(), 1u);
        EXPECT_EQ(scene.items(ItemType::Camera).size(), 1u);
        EXPECT_EQ(scene.settings.frames_per_second, 30.0);
        ++loaded;
    }
    EXPECT_EQ(loaded, 14);
}

TEST(LwsCorpus, MoveXHoldsItsObjectLightCameraAndKeys) {
    const fs::path root = corpus_folder();
    if (root.empty()) GTEST_SKIP() << "corpus not present";
    for (const char* name : {"move_x.lws", "move_x_oldformat_6.lws"}) {  // versions 5 and 3
        SCOPED_TRACE(name);
        Scene scene;
        StandInObjects objects;
        lwhost::load_lws(scene, root / name, objects.options());
        ASSERT_EQ(objects.loaded.size(), 1u);
        EXPECT_EQ(objects.loaded[0], fs::absolute(root / "simple_cube.lwo").lexically_normal());
        EXPECT_EQ(scene.settings.frame_start, 1);
        EXPECT_EQ(scene.settings.frame_end, 60);
        EXPECT_EQ(scene.settings.preview_start, 0);
        EXPECT_EQ(scene.settings.preview_end, 60);
        EXPECT_DOUBLE_EQ(scene.current_frame(), 40.0);
        ASSERT_EQ(scene.items(ItemType::Object).size(), 1u);
        const Item& cube = *scene.item(scene.items(ItemType::Object)[0]);
        EXPECT_EQ(cube.id, 0x10000000u);
        EXPECT_EQ(cube.name, "simple_cube");
        EXPECT_EQ(scene.selection, std::vector<ItemId>{cube.id});
        const lwhost::Envelope& x = cube.motion[lwhost::kPositionX];
        ASSERT_EQ(x.keys.size(), 3u);
        EXPECT_EQ(x.keys[1].time, 0.66666666666666663);
        EXPECT_NEAR(x.keys[1].value, 2.0691125392913818, 1e-15);
        EXPECT_EQ(x.keys[2].shape, lwhost::SpanType::TCB);
        EXPECT_NEAR(cube.motion[lwhost::kScaleY].keys.at(0).value, 0.88587331771850586, 1e-15);
        const Item& light = item_named(scene, "Light");
        EXPECT_EQ(light.motion[lwhost::kPositionY].keys.at(0).value, 2.0);
        EXPECT_NEAR(light.motion[lwhost::kHeading].keys.at(0).value, 0.78539814, 1e-15);
        const Item& camera = item_named(scene, "Camera");
        EXPECT_EQ(camera.motion[lwhost::kPositionZ].keys.at(0).value, -6.384000301361084);
        EXPECT_TRUE(camera.motion[lwhost::kScaleX].keys.empty());  // written with six channels
    }
}

TEST(LwsCorpus, TheRiggedVehicleKeepsItsHierarchyPivotsAndGoals) {
    const fs::path file = corpus_folder() / "nonbsd/LWS/QuickDraw_v2.2.lws";
    if (corpus_folder().empty() || !fs::exists(file)) GTEST_SKIP() << "corpus not present";
    Scene scene;
    StandInObjects objects;
    lwhost::load_lws(scene, file, objects.options());
    EXPECT_EQ(objects.loaded.size(), 11u);
    ASSERT_EQ(scene.items(ItemType::Object).size(), 20u);  // 11 object layers and 9 nulls
    const Item& chassis = item_named(scene, "QuickDraw--Chasis");
    const Item& master = item_named(scene, "Quick Draw == HANDLE == MASTER");
    EXPECT_EQ(master.id, 0x1000000Eu);
    EXPECT_EQ(chassis.parent, master.id);  // a parent given before it is declared
    EXPECT_EQ(item_named(scene, "QuickDraw--Arm-ForeArm").parent, item_named(scene, "QuickDraw--Arm-Shoulder").id);
    int parented = 0;
    for (ItemId id : scene.items(ItemType::Object)) parented += scene.item(id)->parent != 0;
    EXPECT_EQ(parented, 19);
    const Item& wheels = item_named(scene, "QuickDraw--Wheels-Back");
    EXPECT_EQ(wheels.pivot[1], 0.99);
    EXPECT_EQ(wheels.pivot[2], 2.58);
    // GoalObject counts objects from 1: 16 is the sixteenth, the Portals handle.
    EXPECT_EQ(item_named(scene, "Quick Draw -- magnet -- Portals").goal,
              item_named(scene, "Quick Draw == HANDLE == Portals").id);
    const Item& lid_magnet = item_named(scene, "Quick Draw -- magnet -- Pod Lid");
    EXPECT_EQ(lid_magnet.goal, item_named(scene, "Quick Draw == HANDLE == Pod Lid").id);
    EXPECT_TRUE(lid_magnet.flags & LWITEMF_FULLTIME_IK);
    EXPECT_FALSE(item_named(scene, "Quick Draw -- magnet -- Portals").flags & LWITEMF_FULLTIME_IK);
    EXPECT_EQ(chassis.motion[lwhost::kPositionX].keys.size(), 2u);
}

// Without a stand-in the scene's objects go through the object file loader
// (point counts from the corpus notes).
TEST(LwsCorpus, ObjectsLoadThroughTheObjectFileLoader) {
    const fs::path root = corpus_folder();
    if (root.empty()) GTEST_SKIP() << "corpus not present";
    Scene cube;
    EXPECT_TRUE(lwhost::load_lws(cube, root / "move_x.lws").empty());
    ASSERT_EQ(cube.meshes.size(), 1u);
    EXPECT_EQ(cube.layer_of(0x10000000u)->points.size(), 8u);
    EXPECT_EQ(cube.layer_of(0x10000000u)->polygons.size(), 6u);

    const fs::path vehicle = root / "nonbsd/LWS/QuickDraw_v2.2.lws";
    if (!fs::exists(vehicle)) return;
    Scene scene;
    const auto warnings = lwhost::load_lws(scene, vehicle);
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    EXPECT_EQ(scene.meshes.size(), 11u);
    EXPECT_EQ(scene.layer_of(item_named(scene, "QuickDraw--Chasis").id)->points.size(), 4018u);
    EXPECT_EQ(scene.layer_of(item_named(scene, "QuickDraw--Arm-Tip").id)->points.size(), 1268u);
    EXPECT_TRUE(lwhost::check_scene(scene).empty());
}

TEST(LwsCorpus, TheOlderFormatIsRefusedByName) {
    const fs::path root = corpus_folder();
    if (root.empty()) GTEST_SKIP() << "corpus not present";
    Scene scene;
    try {
        lwhost::load_lws(scene, root / "move_x_oldformat_56.lws");
        ADD_FAILURE() << "loaded";
    } catch (const FileFormatError& e) {
        EXPECT_STREQ(e.what(),
                     "move_x_oldformat_56.lws: line 2: scene file version 2 is an older format that is not read; "
                     "only version 3 and later are");
    }
}

// What the files were made to show, with the host's envelope evaluator:
// values at key times, the straight and stepped spans, and each way of
// going on past the last key.
TEST(LwsCorpus, MotionEvaluatesAsTheFilesIntend) {
    const fs::path root = corpus_folder();
    if (root.empty()) GTEST_SKIP() << "corpus not present";
    auto x_of = [&](const char* name, int channel = lwhost::kPositionX) {
        Scene scene;
        StandInObjects objects;
        lwhost::load_lws(scene, root / name, objects.options());
        return scene.item(0x10000000u)->motion[std::size_t(channel)];
    };
    const double frame = 1.0 / 30.0;

    lwhost::Envelope move = x_of("move_x.lws");
    EXPECT_EQ(move.evaluate(20 * frame, 0), 2.0691125392913818);
    EXPECT_EQ(move.evaluate(40 * frame, 0), -2.3748657703399658);
    EXPECT_EQ(move.evaluate(55 * frame, 0), -2.3748657703399658);  // constant after

    lwhost::Envelope linear = x_of("move_xz_linear.lws");  // keys at 0, 20 and 60
    EXPECT_NEAR(linear.evaluate(10 * frame, 0), 1.924918483918713 / 2, 1e-12);
    EXPECT_NEAR(linear.evaluate(40 * frame, 0), (1.924918483918713 - 0.52300345897674561) / 2, 1e-12);
    lwhost::Envelope stepped = x_of("move_xz_stepped.lws");
    EXPECT_EQ(stepped.evaluate(19 * frame, 0), 0.0);
    EXPECT_EQ(stepped.evaluate(59 * frame, 0), 1.924918483918713);
    lwhost::Envelope bezier_z = x_of("move_xz_bezier.lws", lwhost::kPositionZ);
    EXPECT_NEAR(bezier_z.evaluate(40 * frame, 0), -2.6561167240142822, 1e-12);
    EXPECT_EQ(bezier_z.keys[1].shape, lwhost::SpanType::Bezier2D);
    EXPECT_EQ(bezier_z.params(bezier_z.keys[1]).param[0], -0.46576443257676908);
    EXPECT_EQ(bezier_z.params(bezier_z.keys[1]).param[3], -0.018818992720682302);
    lwhost::Envelope hermite = x_of("move_xz_hermite.lws");
    EXPECT_EQ(hermite.params(hermite.keys[1]).param[0], -0.17433448632558185);
    EXPECT_EQ(hermite.params(hermite.keys[1]).param[1], -0.3486689726511637);

    // Keys at 0, 20 and 39 (1.3 s); frame 59 is 20 frames past the last key.
    const double first = 0.0, middle = 2.1381859973436792, last = -1.6381832361221313;
    EXPECT_EQ(x_of("move_x_post_reset.lws").evaluate(59 * frame, 7), 0.0);
    EXPECT_EQ(x_of("move_x_post_constant.lws").evaluate(59 * frame, 7), last);
    EXPECT_NEAR(x_of("move_x_post_repeat.lws").evaluate(1.3 + 20 * frame, 7), middle, 1e-9);
    EXPECT_NEAR(x_of("move_x_post_offset_repeat.lws").evaluate(1.3 + 20 * frame, 7), middle + (last - first), 1e-9);
    lwhost::Envelope straight = x_of("move_x_post_linear.lws");
    const double step1 = straight.evaluate(2.0, 0) - straight.evaluate(1.5, 0);
    const double step2 = straight.evaluate(2.5, 0) - straight.evaluate(2.0, 0);
    EXPECT_NE(step1, 0.0);
    EXPECT_NEAR(step1, step2, 1e-12);

    // Y: keys at 0, 1 and 1.7 s; offset repeat before, oscillate after.
    lwhost::Envelope y = x_of("move_y_pre_ofrep_post_osc.lws", lwhost::kPositionY);
    EXPECT_EQ(y.pre, lwhost::Behavior::OffsetRepeat);
    EXPECT_EQ(y.post, lwhost::Behavior::Oscillate);
    EXPECT_NEAR(y.evaluate(1.7 + 0.7, 7), 0.0, 1e-9);                   // mirrored back to the first key
    EXPECT_NEAR(y.evaluate(1.0 - 1.7, 7), 0.0 - 0.98909872770309448, 1e-9);  // one cycle earlier, one rise lower
}

// ---- load, save, load --------------------------------------------------------

void round_trip(const Scene& original, const SceneLoadOptions& options, Scene& again) {
    test_files::TempDir dir;
    const fs::path saved = fs::path(dir.folder()) / "saved.lws";
    lwhost::save_lws(original, saved);
    lwhost::load_lws(again, saved, options);
    EXPECT_TRUE(lwhost::check_scene(again).empty());
}

TEST(LwsRoundTrip, EveryCorpusFileComesBackTheSame) {
    const fs::path root = corpus_folder();
    if (root.empty()) GTEST_SKIP() << "corpus not present";
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().extension() != ".lws" || entry.path().filename() == "move_x_oldformat_56.lws") continue;
        SCOPED_TRACE(entry.path().string());
        Scene scene, again;
        StandInObjects objects;
        lwhost::load_lws(scene, entry.path(), objects.options());
        // Saved in another folder: the object paths lead back up to the corpus.
        round_trip(scene, objects.options(), again);
        EXPECT_EQ(objects.loaded.size() % 2, 0u);
        lws_test::expect_same_scene(scene, again);
    }
}

// A scene with what the corpus lacks: bones with every setting, every span
// type with parameters, every behaviour, pivots, targets, goals by ID.
Scene rigged_scene() {
    Scene scene;
    SceneBuilder b(scene);
    b.fps(24).preview(-5, 48, 2).render_range(1, 40).frame(12);
    ItemId null = b.null_object("rig root").pivot({0.5, 0, -1}).pivot_rotation({0.25, 0, -0.5});
    ItemId handle = b.null_object("goal handle").parent(null);
    ItemId hip = b.bone(null, "hip").rest({0, 1, 0}, {0.1, -0.2, 0.3}).length(0.75).weight_map("hip weights", true)
                     .strength(2.5).bone_flags(LWBONEF_ACTIVE | LWBONEF_SCALE_STRENGTH | LWBONEF_WEIGHT_NORM)
                     .falloff(3);
    ItemId knee = b.bone(null, "knee", hip).rest({0, -0.5, 0.125}, {0, std::numbers::pi / 2, 0}).falloff(3)
                      .bone_flags(LWBONEF_LIMITED_RANGE);
    b.item(knee).goal(handle, 0.75).flags(1 | LWITEMF_FULLTIME_IK | LWITEMF_GOAL_ORIENT | LWITEMF_REACH_GOAL);
    b.item(handle).target(knee);
    b.key(hip, lwhost::kPositionX, 0, 0.0, lwhost::SpanType::TCB).key(hip, lwhost::kPositionX, 10, 1.0, lwhost::SpanType::Hermite)
        .key(hip, lwhost::kPositionX, 20, -1.0, lwhost::SpanType::Bezier1D).key(hip, lwhost::kPositionX, 30, 2.0, lwhost::SpanType::Linear)
        .key(hip, lwhost::kPositionX, 40, 0.5, lwhost::SpanType::Stepped).key(hip, lwhost::kPositionX, 45, 1.5, lwhost::SpanType::Bezier2D);
    lwhost::Envelope& x = b.envelope(hip, lwhost::kPositionX);
    x.edit_params(0) = {{0.5, -0.25, 0.125, 0}};
    x.edit_params(1) = {{0.3, -0.7, 0, 0}};
    x.edit_params(2) = {{1e-300, 123456.789, 0, 0}};
    x.edit_params(5) = {{-0.1, 0.2, 0.15, -0.3}};
    const lwhost::Behavior behaviours[] = {lwhost::Behavior::Reset, lwhost::Behavior::Constant, lwhost::Behavior::Repeat,
                                           lwhost::Behavior::Oscillate, lwhost::Behavior::OffsetRepeat, lwhost::Behavior::Linear};
    for (int k = 0; k < 6; ++k) {
        b.key(knee, lwhost::kHeading + k % 3, k, 0.1 * k);
        b.behaviors(knee, lwhost::kPositionX + k, behaviours[k], behaviours[5 - k]);
    }
    b.key(b.light("Key light").parent(null), lwhost::kPositionY, 3, 4.0);
    b.key(b.camera("Shot cam"), lwhost::kBank, 0, -0.2);
    b.select(knee);
    return scene;
}

TEST(LwsRoundTrip, BonesKeysAndLinksComeBackTheSame) {
    const Scene scene = rigged_scene();
    ASSERT_TRUE(lwhost::check_scene(scene).empty());
    Scene again;
    round_trip(scene, {}, again);
    lws_test::expect_same_scene(scene, again);
    EXPECT_EQ(again.selection, std::vector<ItemId>{0x10000000u});  // a selected bone is saved as its object
}

// Found by fuzz_lws_loader (fuzz/corpus/fuzz_lws_loader/tab_in_object_path.lws):
// a tab inside an object path came back from a save as '_', so the object
// was another file with another name.
TEST(LwsRoundTrip, ATabInsideAPathOrNameIsKept) {
    const std::string text = "LWSC\r\n5\r\n\r\nLoadObjectLayer 1 100\t0000dObim\n ame0\nAddNullObject a\tb\n";
    Scene scene, again;
    EXPECT_EQ(load_text(scene, text, "tab.lws").size(), 1u);  // the object file is not there
    const std::string saved = lwhost::compose_lws(scene, "tab.lws");
    EXPECT_NE(saved.find("\nLoadObjectLayer 1 100\t0000dObim\n"), std::string::npos) << saved;
    load_text(again, saved, "tab.lws");
    EXPECT_EQ(again.item(0x10000000u)->name, "100\t0000dObim");
    EXPECT_EQ(again.item(0x10000001u)->name, "a\tb");
    lws_test::expect_same_scene(scene, again);
}

// Found by fuzz_lws_loader (fuzz/corpus/fuzz_lws_loader/object_path_is_the_folder.lws):
// an object path naming the scene's own folder was saved as ".", which
// loads as another path with another name.
TEST(LwsRoundTrip, AnObjectPathThatIsTheScenesFolderIsWrittenWhole) {
    test_files::TempDir dir;
    const fs::path folder(dir.folder()), file = folder / "x.lws";
    const std::string text = "LWSC\n3\nLoadObjectLayer 1 ../" + folder.filename().string() + "\n";
    StandInObjects objects;
    Scene scene, again;
    load_text(scene, text, file, objects.options());
    ASSERT_EQ(objects.loaded, std::vector<fs::path>{folder});
    const std::string saved = lwhost::compose_lws(scene, file);
    EXPECT_NE(saved.find("\nLoadObjectLayer 1 " + folder.generic_string() + "\n"), std::string::npos) << saved;
    load_text(again, saved, file, objects.options());
    lws_test::expect_same_scene(scene, again);
    EXPECT_EQ(again.item(0x10000000u)->name, folder.filename().string());
}

TEST(LwsSave, ObjectPathsAreRelativeSoAFolderMovesWhole) {
    test_files::TempDir dir;
    const fs::path folder(dir.folder());
    fs::create_directories(folder / "project/objects");
    std::ofstream(folder / "project/objects/arm.lwo") << "stand-in";
    Scene scene;
    SceneBuilder b(scene);
    lwhost::MeshBuilder arm = b.mesh((folder / "project/objects/arm.lwo").string());
    arm.layer(2, "upper");
    b.object("arm", arm);
    lwhost::save_lws(scene, folder / "project/scene.lws");
    const std::string text = read_file(folder / "project/scene.lws");
    EXPECT_NE(text.find("\nLoadObjectLayer 3 objects/arm.lwo\n"), std::string::npos) << text;

    fs::rename(folder / "project", folder / "moved");
    Scene again;
    StandInObjects objects;
    // The stand-in's mesh has layer number 0 only; layer 3 is added, empty.
    EXPECT_EQ(lwhost::load_lws(again, folder / "moved/scene.lws", objects.options()),
              std::vector<std::string>{"scene.lws: line 13: object file objects/arm.lwo has no layer 3; it is shown empty"});
    ASSERT_EQ(objects.loaded.size(), 1u);
    EXPECT_EQ(objects.loaded[0], folder / "moved/objects/arm.lwo");
    const Item& item = *again.item(again.items(ItemType::Object).at(0));
    EXPECT_EQ(again.meshes[std::size_t(item.mesh)]->layers[std::size_t(item.layer)].number, 2);
}

TEST(LwsSave, NumbersIgnoreTheLocaleAndNamesCannotBreakLines) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string restore = previous ? previous : "C";
    if (!std::setlocale(LC_ALL, "de_DE.utf8")) GTEST_SKIP() << "no de_DE.utf8 locale";
    Scene scene;
    SceneBuilder b(scene);
    b.fps(29.97);
    ItemId null = b.null_object("two\nlines");
    b.key(null, lwhost::kPositionX, 0, 0.5, lwhost::SpanType::Bezier2D);
    b.envelope(null, lwhost::kPositionX).edit_params(0) = {{-0.25, 1.5, 0.125, 1e-7}};
    test_files::TempDir dir;
    const fs::path file = fs::path(dir.folder()) / "locale.lws";
    lwhost::save_lws(scene, file);
    const std::string text = read_file(file);
    Scene again;
    lwhost::load_lws(again, file);
    std::setlocale(LC_ALL, restore.c_str());
    EXPECT_NE(text.find("\nFramesPerSecond 29.97\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nAddNullObject two_lines\n"), std::string::npos);
    EXPECT_NE(text.find("\n  Key 0.5 0 5 -0.25 1.5 0.125 1e-07 0 0\n"), std::string::npos) << text;
    EXPECT_EQ(again.settings.frames_per_second, 29.97);
}

TEST(LwsSave, FailuresNameTheFileAndKeepTheOldOne) {
    test_files::TempDir dir;
    Scene scene;
    SceneBuilder b(scene);
    ItemId null = b.null_object("bad");
    const fs::path file = fs::path(dir.folder()) / "kept.lws";
    std::ofstream(file) << "old content";
    b.key(null, lwhost::kPositionZ, 0, std::nan(""));
    try {
        lwhost::save_lws(scene, file);
        ADD_FAILURE() << "saved";
    } catch (const FileFormatError& e) {
        EXPECT_STREQ(e.what(), "kept.lws: cannot be saved: object 'bad' has a key value that is not a finite number");
    }
    EXPECT_EQ(read_file(file), "old content");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.folder()), fs::directory_iterator()), 1);
    try {
        lwhost::save_lws(Scene(), fs::path(dir.folder()) / "no such folder/x.lws");
        ADD_FAILURE() << "saved";
    } catch (const FileFormatError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("x.lws: cannot be saved: ", 0), 0u) << e.what();
    }
}

// ---- objects that cannot be loaded --------------------------------------------

TEST(LwsObjects, AMissingFileIsReportedAndTheRestLoads) {
    test_files::TempDir dir;
    const fs::path folder(dir.folder()), content = folder / "content";
    fs::create_directories(content / "Objects");
    std::ofstream(content / "Objects/found.lwo") << "x";
    const std::string text = "LWSC\n3\n\nLoadObjectLayer 1 Objects/gone.lwo\n" + one_key_motion("ObjectMotion", 9) +
                             "\nAddBone\nBoneName b\nParentItem 10000000\n"
                             "\nLoadObjectLayer 1 Objects\\found.lwo\nParentItem 10000000\n"
                             "\nLoadObjectLayer 1 Objects/gone.lwo\n";
    std::ofstream(folder / "scene.lws") << text;
    Scene scene;
    StandInObjects objects;
    const auto warnings = lwhost::load_lws(scene, folder / "scene.lws", objects.options(content));
    ASSERT_EQ(warnings.size(), 1u);  // one file, reported once
    EXPECT_EQ(warnings[0], "scene.lws: line 4: object file Objects/gone.lwo not found beside the scene or in " + content.string());
    EXPECT_EQ(objects.loaded, std::vector<fs::path>{content / "Objects/found.lwo"});
    ASSERT_EQ(scene.items(ItemType::Object).size(), 3u);
    EXPECT_EQ(scene.bones_of(0x10000000u).size(), 1u);
    EXPECT_EQ(scene.item(0x10000001u)->parent, 0x10000000u);
    EXPECT_EQ(scene.item(0x10000000u)->mesh, scene.item(0x10000002u)->mesh);  // the same file, kept by name
    EXPECT_TRUE(lwhost::check_scene(scene).empty());

    // A loader's own error becomes the warning.
    SceneLoadOptions failing;
    failing.content_folder = content;
    failing.load_object = [](Scene&, const fs::path& file) -> int { throw FileFormatError(file, "PNTS runs past the end"); };
    const auto reported = lwhost::load_lws(scene, folder / "scene.lws", failing);
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported[1], "scene.lws: line 66: object file Objects\\found.lwo not loaded: found.lwo: PNTS runs past the end");
}

// ---- damaged files -----------------------------------------------------------

// Every case: a FileFormatError with exactly this text, and the scene loaded
// before is still there.
void expect_refused(const std::string& text, const std::string& message) {
    Scene scene;
    SceneBuilder(scene).null_object("kept");
    try {
        load_text(scene, text, "bad.lws");
        ADD_FAILURE() << "loaded: " << text.substr(0, 200);
    } catch (const FileFormatError& e) {
        EXPECT_EQ(std::string(e.what()), "bad.lws: " + message);
    }
    EXPECT_EQ(scene.find_item("kept"), 0x10000000u);
    EXPECT_EQ(scene.items(ItemType::Object).size(), 1u);
}

TEST(LwsErrors, DamagedFilesAreRefusedWithTheirLine) {
    const std::string head = "LWSC\n3\n";
    const std::string null = head + "AddNullObject n\n";
    const std::string envelope = null + "ObjectMotion\nNumChannels 1\nChannel 0\n{ Envelope\n";
    expect_refused("", "is not a scene file (no LWSC on its first line)");
    expect_refused("\x7f" "ELF\x02\x01", "line 1: holds the control character 0x7F; a scene file is text");
    expect_refused("LWSC\n", "ends after its first line: the version number is missing");
    expect_refused("LWSC\nthree\n", "line 2: the version number is not a whole number");
    expect_refused(head + "FirstFrame 99999999999999999999\n", "line 3: FirstFrame: '99999999999999999999' is not a whole number");
    expect_refused(head + "FramesPerSecond 1e999\n", "line 3: FramesPerSecond: '1e999' is not a finite number");
    expect_refused(head + "FramesPerSecond nan\n", "line 3: FramesPerSecond: 'nan' is not a finite number");
    expect_refused(head + "FramesPerSecond 0\n", "line 3: FramesPerSecond must be from 0.001 to 1000000");
    expect_refused(head + "FramesPerSecond 1e-300\nCurrentFrame 1\n", "line 3: FramesPerSecond must be from 0.001 to 1000000");
    expect_refused(head + "CurrentFrame 1e300\n", "line 3: CurrentFrame must be within 1073741824 of 0");
    expect_refused(head + "PreviewFrameStep 0\n", "line 3: PreviewFrameStep: 0 is outside 1 to 1073741824");
    expect_refused(head + "CurrentFrame 1 2\n", "line 3: CurrentFrame has more on its line than expected: '2'");
    expect_refused(head + "BoneName b\n", "line 3: BoneName before any item");
    expect_refused(null + "BoneRestLength 1\n", "line 4: BoneRestLength outside a bone");
    expect_refused(head + "AddBone\n", "line 3: AddBone before any object");
    expect_refused(null + "LightMotion\n", "line 4: LightMotion does not belong to the item before it, 'n' (10000000)");
    expect_refused(null + "ObjectMotion\nNumChannels 10\n", "line 5: NumChannels: 10 is outside 0 to 9");
    expect_refused(null + "ObjectMotion\nNumChannels 2\nChannel 0\n{ Envelope\n  0\n}\nPivotPosition 0 0 0\n",
                   "line 10: expected Channel (1 of 2 read)");
    expect_refused(null + "ObjectMotion\nNumChannels 2\nChannel 1\n{ Envelope\n  0\n}\nChannel 1\n",
                   "line 10: Channel 1 appears twice");
    expect_refused(envelope + "  2\n  Key 1 0 0 0 0 0 0 0 0\n  Behaviors 1 1\n}\n",
                   "line 10: expected Key 2 of 2 (the key count does not match)");
    expect_refused(envelope + "  1\n  Key 1 0 0 0 0 0 0 0 0\n  Key 2 1 0 0 0 0 0 0 0\n}\n",
                   "line 10: more keys than the envelope's count of 1");
    expect_refused(envelope + "  2\n  Key 1 0 0 0 0 0 0 0 0\n  Key 2 0 0 0 0 0 0 0 0\n",
                   "line 10: key times must increase; Key 2 0 0 0 0 0 0 0 0 does not");
    expect_refused(envelope + "  1\n  Key 1 0 6 0 0 0 0 0 0\n", "line 9: Key span type: 6 is outside 0 to 5");
    expect_refused(envelope + "  1\n  Key 1 0 0 0 0\n", "line 9: Key parameters is missing a number");
    expect_refused(envelope + "  1\n  Key 1 1e400 0 0 0 0 0 0 0\n", "line 9: Key time: '1e400' is not a finite number");
    expect_refused(envelope + "  1\n  Key 1 0 0 0 0 0 0 0 0\n  Behaviors 1 9\n}\n", "line 10: Behaviors: 9 is outside 0 to 5");
    expect_refused(envelope + "  1\n  Key 1 0 0 0 0 0 0 0 0\n", "line 9: the file ends inside the envelope opened at line 7");
    // A count is a claim: a huge one ends at the end of the file, not in an allocation.
    expect_refused(envelope + "  1000000000000\n  Key 1 0 0 0 0 0 0 0 0\n",
                   "line 9: the file ends inside the envelope opened at line 7");
    expect_refused(null + "{ APS\n  { VParm\n  }\n", "line 6: the block '{ APS' opened at line 4 is not closed");
    expect_refused(null + "Plugin ItemMotionHandler 1 Spin\nSpeed 3\n", "line 5: the plug-in data from line 4 has no EndPlugin");
    expect_refused(null + "ParentItem 10000001\n", "line 4: ParentItem 10000001 names no item of the scene");
    expect_refused(null + "ParentItem zz\n", "line 4: ParentItem expects an item ID of hexadecimal digits");
    expect_refused(null + "GoalObject 2\n", "line 4: GoalObject 2 names no object; the scene has 1");
    expect_refused(null + "}\n", "line 4: '}' closes no block");
    expect_refused("LWSC\n5\nAddNullObject 10000000 a\nAddNullObject 10000000 b\n", "line 4: item ID 10000000 is declared twice");
    expect_refused("LWSC\n5\nAddBone 10010000\n", "line 3: item ID 10010000 is of another item type");
}

TEST(LwsErrors, ParentLoopsAreRefusedNamingTheItems) {
    expect_refused("LWSC\n3\nAddNullObject a\nParentItem 10000002\nAddNullObject b\nParentItem 10000000\n"
                   "AddNullObject c\nParentItem 10000001\n",
                   "line 8: the parents make a loop: 'c' (10000002) -> 'b' (10000001) -> 'a' (10000000) -> 'c' (10000002)");
    expect_refused("LWSC\n3\nAddNullObject self\nParentItem 10000000\n",
                   "line 4: the parents make a loop: 'self' (10000000) -> 'self' (10000000)");
}

TEST(LwsErrors, AnObjectHoldsAtMost4095Bones) {
    std::string text = "LWSC\n3\nAddNullObject rig\n";
    for (int k = 0; k < 4095; ++k) text += "AddBone\nBoneName b" + std::to_string(k) + "\n";
    Scene full;
    load_text(full, text);
    EXPECT_EQ(full.bones_of(0x10000000u).size(), 4095u);
    EXPECT_EQ(full.item(0x4FFE0000u)->name, "b4094");
    expect_refused(text + "AddBone\n", "line 8194: object 'rig' (10000000) has more than 4,095 bones, more than its item IDs can number");
}

// Every cut of a real file either loads (a cut between items is a shorter
// scene) or is refused; a cut inside an envelope or block never loads.
TEST(LwsErrors, TruncatedAndGarbledCorpusFilesNeverHalfLoad) {
    const fs::path root = corpus_folder();
    if (root.empty()) GTEST_SKIP() << "corpus not present";
    const std::string text = read_file(root / "move_x.lws");
    ASSERT_FALSE(text.empty());
    StandInObjects objects;
    const SceneLoadOptions options = objects.options();
    // Where the envelopes are: a cut inside one must be refused.
    std::vector<std::pair<std::size_t, std::size_t>> envelopes;
    for (std::size_t at = text.find("\n{ Envelope"); at != std::string::npos; at = text.find("\n{ Envelope", at + 1))
        envelopes.emplace_back(at + 1, text.find("\n}\n", at) + 2);
    ASSERT_EQ(envelopes.size(), 24u);
    for (std::size_t cut = 0; cut < text.size(); cut += 3) {
        SCOPED_TRACE(cut);
        bool inside = false;
        for (auto [from, to] : envelopes) inside = inside || (cut > from && cut < to);
        Scene scene;
        try {
            load_text(scene, text.substr(0, cut), root / "move_x.lws", options);
            EXPECT_FALSE(inside) << "loaded a cut inside an envelope";
            EXPECT_TRUE(lwhost::check_scene(scene).empty());
        } catch (const FileFormatError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("move_x.lws: ", 0), 0u);
            EXPECT_TRUE(scene.items(ItemType::Object).empty());
        }
    }

    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::string garbled = text;
        for (int k = 0; k < 4; ++k) garbled[random() % garbled.size()] = char(random() % 256);
        Scene scene;
        try {
            load_text(scene, garbled, "g.lws", options);
        } catch (const FileFormatError&) {
        }
    }
}

}  // namespace
