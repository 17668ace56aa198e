// lwhost run as a user runs it: the built executable in a child process,
// its exit status, what it says on standard error and the files it leaves.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "formats/lwo2.h"
#include "formats/lws.h"
#include "scene.h"
#include "scene_builder.h"
#include "../temp_dir.h"
#include "cli_run.h"
#include "../unprivileged.h"
#include "smd_reader.h"

namespace {

namespace fs = std::filesystem;
using test_files::TempDir;
using namespace cli_test;

// Two triangles, two materials, two bones: the first is linked to both.
constexpr char kReference[] =
    "version 1\n"
    "nodes\n0 \"root\" -1\n1 \"arm\" 0\nend\n"
    "skeleton\ntime 0\n"
    "0 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000\n"
    "1 1.000000 0.000000 0.000000 0.000000 0.000000 0.000000\nend\n"
    "triangles\n"
    "skin.bmp\n"
    "0 1.000000 2.000000 3.000000 0 0 1 0.25 0.5\n"
    "1 4.000000 0.000000 0.000000 0 0 1 1 0\n"
    "0 0.000000 4.000000 0.000000 0 0 1 0 1 2 0 0.5 1 0.5\n"
    "cloth.bmp\n"
    "0 1.000000 2.000000 3.000000 0 0 1 0.75 0.5\n"
    "0 0.000000 0.000000 8.000000 0 0 1 1 1\n"
    "0 0.000000 4.000000 0.000000 0 0 1 0 1 2 0 0.5 1 0.5\n"
    "end\n";

// A triangle as an SMD file has it: its material and, per corner, the
// position and UV (normals and links are left out: the object file has no
// place for the reference file's normals).
struct Triangle {
    std::string material;
    std::vector<double> corners;   // x y z u v, three times
};

std::vector<Triangle> triangles_of(const std::string& smd) {
    const test_support::SmdFile file = test_support::read_smd(smd);
    EXPECT_EQ(file.error, "");
    std::vector<Triangle> triangles;
    for (const test_support::SmdTriangle& read : file.triangles) {
        Triangle t{read.material, {}};
        for (const test_support::SmdVertex& c : read.corners)
            t.corners.insert(t.corners.end(), {c.position[0], c.position[1], c.position[2], c.u, c.v});
        triangles.push_back(t);
    }
    return triangles;
}

void expect_same_triangles(const std::vector<Triangle>& got, const std::vector<Triangle>& want, double scale = 1.0) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].material, want[i].material) << i;
        ASSERT_EQ(got[i].corners.size(), want[i].corners.size()) << i;
        for (std::size_t c = 0; c < got[i].corners.size(); ++c) {
            const double expected = c % 5 < 3 ? want[i].corners[c] * scale : want[i].corners[c];
            EXPECT_NEAR(got[i].corners[c], expected, 1e-5) << "triangle " << i << " value " << c;
        }
    }
}

class Cli : public ::testing::Test {
protected:
    TempDir dir;
    std::string file(const std::string& name, const std::string& text) {
        write_file(dir.file(name), text);
        return dir.file(name);
    }
    // The reference file imported unscaled into ref.lwo.
    std::string imported_object() {
        const std::string ref = file("ref.smd", kReference);
        Outcome run = run_lwhost(dir, {"import-mesh", ref, "-o", dir.file("ref.lwo"), "--no-scale"});
        EXPECT_EQ(run.status, 0) << run.err;
        return dir.file("ref.lwo");
    }
};

TEST_F(Cli, HelpAndUsageErrors) {
    Outcome help = run_lwhost(dir, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: lwhost"), std::string::npos);
    for (const char* command : {"info", "run", "import-mesh", "export-ref", "export-mesh"}) {
        Outcome sub = run_lwhost(dir, {command, "--help"});
        EXPECT_EQ(sub.status, 0) << command;
        EXPECT_NE(sub.out.find(std::string("usage: lwhost ") + command), std::string::npos) << command;
    }
    Outcome none = run_lwhost(dir, {});
    EXPECT_EQ(none.status, 2);
    Outcome unknown = run_lwhost(dir, {"frobnicate"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("lwhost: unknown command \"frobnicate\""), std::string::npos) << unknown.err;
    Outcome bad_scale = run_lwhost(dir, {"import-mesh", "a.smd", "-o", "a.lwo", "--scale", "big"});
    EXPECT_EQ(bad_scale.status, 2);
    EXPECT_NE(bad_scale.err.find("--scale needs a number"), std::string::npos) << bad_scale.err;
    Outcome both = run_lwhost(dir, {"export-mesh", "a.lwo", "-o", "a.smd", "--scale", "2", "--no-scale"});
    EXPECT_EQ(both.status, 2);
    Outcome wrong_flag = run_lwhost(dir, {"export-mesh", "a.lwo", "-o", "a.smd", "--no-null-bones"});
    EXPECT_EQ(wrong_flag.status, 2) << "export-mesh has no bones to leave out";
    Outcome no_output = run_lwhost(dir, {"export-mesh", "a.lwo"});
    EXPECT_EQ(no_output.status, 2);
}

TEST_F(Cli, InfoListsServersByNameOrPath) {
    Outcome by_name = run_lwhost(dir, {"info", "motionwriter"});
    EXPECT_EQ(by_name.status, 0) << by_name.err;
    EXPECT_EQ(by_name.out, "LayoutGeneric\tSMD Animation\nItemMotionHandler\tSMD_Anim_Motion\n");
    Outcome by_path = run_lwhost(dir, {"info", std::string(LWSMD_PLUGIN_DIR) + "/shapereader.so"});
    EXPECT_EQ(by_path.out, "CommandSequence\tSMD Mesh Import\n");
    Outcome elsewhere = run_lwhost(dir, {"--plugins", dir.folder(), "info", "rigwriter"});
    EXPECT_EQ(elsewhere.status, 2);
    EXPECT_NE(elsewhere.err.find("no plug-in named rigwriter in " + dir.folder()), std::string::npos) << elsewhere.err;
    Outcome not_a_plugin = run_lwhost(dir, {"info", file("fake.so", "not a shared library")});
    EXPECT_EQ(not_a_plugin.status, 3);
    EXPECT_NE(not_a_plugin.err.find("cannot load plug-in"), std::string::npos) << not_a_plugin.err;
}

TEST_F(Cli, ReferenceRoundTripThroughAnObjectFile) {
    const std::string object = imported_object();
    ASSERT_TRUE(fs::exists(object));
    const std::vector<Triangle> original = triangles_of(kReference);

    Outcome ref = run_lwhost(dir, {"export-ref", object, "-o", dir.file("ref_back.smd"), "--no-scale"});
    EXPECT_EQ(ref.status, 0) << ref.err;
    EXPECT_EQ(ref.err, "") << "a job that succeeds says nothing";
    expect_same_triangles(triangles_of(read_file(dir.file("ref_back.smd"))), original);

    Outcome mesh = run_lwhost(dir, {"export-mesh", object, "-o", dir.file("mesh_back.smd"), "--no-scale"});
    EXPECT_EQ(mesh.status, 0) << mesh.err;
    expect_same_triangles(triangles_of(read_file(dir.file("mesh_back.smd"))), original);
}

TEST_F(Cli, ScaleFlagsReachBothPanels) {
    const std::string ref = file("ref.smd", kReference);
    // The importer's default scale, undone by the exporter's.
    Outcome import = run_lwhost(dir, {"import-mesh", ref, "-o", dir.file("small.lwo")});
    ASSERT_EQ(import.status, 0) << import.err;
    Outcome same = run_lwhost(dir, {"export-mesh", dir.file("small.lwo"), "-o", dir.file("same.smd"), "--scale", "40"});
    ASSERT_EQ(same.status, 0) << same.err;
    expect_same_triangles(triangles_of(read_file(dir.file("same.smd"))), triangles_of(kReference), 40 * 0.025);

    Outcome doubled = run_lwhost(dir, {"import-mesh", ref, "-o", dir.file("big.lwo"), "--scale", "2"});
    ASSERT_EQ(doubled.status, 0) << doubled.err;
    Outcome back = run_lwhost(dir, {"export-ref", dir.file("big.lwo"), "-o", dir.file("big.smd"), "--scale", "0.5"});
    ASSERT_EQ(back.status, 0) << back.err;
    expect_same_triangles(triangles_of(read_file(dir.file("big.smd"))), triangles_of(kReference));
}

TEST_F(Cli, WeightsAreImportedUnlessTurnedOff) {
    const std::string ref = file("ref.smd", kReference);
    ASSERT_EQ(run_lwhost(dir, {"import-mesh", ref, "-o", dir.file("w.lwo")}).status, 0);
    ASSERT_EQ(run_lwhost(dir, {"import-mesh", ref, "-o", dir.file("nw.lwo"), "--no-weights"}).status, 0);
    lwhost::Scene with, without;
    lwhost::load_lwo2(with, dir.file("w.lwo"));
    lwhost::load_lwo2(without, dir.file("nw.lwo"));
    EXPECT_FALSE(with.vmaps_of_type(lwhost::kWeight).empty());
    EXPECT_TRUE(without.vmaps_of_type(lwhost::kWeight).empty());
}

TEST_F(Cli, VerboseSaysWhatWasReadAndWritten) {
    const std::string ref = file("ref.smd", kReference);
    Outcome import = run_lwhost(dir, {"-v", "import-mesh", ref, "-o", dir.file("v.lwo"), "--no-scale"});
    EXPECT_EQ(import.status, 0);
    EXPECT_NE(import.err.find("lwhost: read " + ref + ": 2 triangles, 2 materials, 2 nodes"), std::string::npos)
        << import.err;
    EXPECT_NE(import.err.find(": 4 points, 2 polygons"), std::string::npos) << import.err;
    Outcome mesh = run_lwhost(dir, {"export-mesh", dir.file("v.lwo"), "-o", dir.file("v.smd"), "-v"});
    EXPECT_NE(mesh.err.find("lwhost: wrote " + dir.file("v.smd") + ": 2 triangles, 2 materials, 1 node, 1 frame"),
              std::string::npos)
        << mesh.err;
}

TEST_F(Cli, ObjectsOfASceneAreChosenByName) {
    // A scene of two objects, each its own file, written by the host.
    lwhost::Scene scene;
    lwhost::SceneBuilder b(scene);
    auto first = b.mesh(dir.file("first.lwo"));
    first.triangle(first.point(0, 0, 0), first.point(1, 0, 0), first.point(0, 1, 0), "First");
    auto second = b.mesh(dir.file("second.lwo"));
    second.triangle(second.point(0, 0, 0), second.point(2, 0, 0), second.point(0, 2, 0), "Second");
    second.triangle(second.point(0, 0, 1), second.point(2, 0, 1), second.point(0, 2, 1), "Second");
    b.object("first", first);
    b.object("second", second);
    lwhost::save_lwo2(scene, first.index(), dir.file("first.lwo"));
    lwhost::save_lwo2(scene, second.index(), dir.file("second.lwo"));
    lwhost::save_lws(scene, dir.file("two.lws"));

    Outcome by_default = run_lwhost(dir, {"export-ref", dir.file("two.lws"), "-o", dir.file("d.smd"), "--no-verify-uv"});
    ASSERT_EQ(by_default.status, 0) << by_default.err;
    auto triangles = triangles_of(read_file(dir.file("d.smd")));
    ASSERT_EQ(triangles.size(), 1u);
    EXPECT_EQ(triangles[0].material, "First");

    Outcome named = run_lwhost(dir, {"export-ref", dir.file("two.lws"), "-o", dir.file("s.smd"), "--object", "second",
                             "--no-verify-uv", "--group-by", "surface"});
    ASSERT_EQ(named.status, 0) << named.err;
    triangles = triangles_of(read_file(dir.file("s.smd")));
    ASSERT_EQ(triangles.size(), 2u);
    EXPECT_EQ(triangles[1].material, "Second");

    Outcome missing = run_lwhost(dir, {"export-ref", dir.file("two.lws"), "-o", dir.file("m.smd"), "--object", "third"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("no object named \"third\"; the objects are \"first\", \"second\""), std::string::npos)
        << missing.err;
    EXPECT_FALSE(fs::exists(dir.file("m.smd")));

    // An object file the scene names is gone: the others still export.
    fs::remove(dir.file("second.lwo"));
    Outcome gone = run_lwhost(dir, {"export-ref", dir.file("two.lws"), "-o", dir.file("g.smd"), "--object", "second"});
    EXPECT_EQ(gone.status, 3);
    EXPECT_NE(gone.err.find("its file " + dir.file("second.lwo") + " could not be read"), std::string::npos)
        << gone.err;
    EXPECT_FALSE(fs::exists(dir.file("g.smd")));
    Outcome other = run_lwhost(dir, {"export-ref", dir.file("two.lws"), "-o", dir.file("o.smd"), "--no-verify-uv"});
    EXPECT_EQ(other.status, 0) << other.err;
    EXPECT_NE(other.err.find("second.lwo"), std::string::npos) << "the missing file is still reported";
    EXPECT_EQ(triangles_of(read_file(dir.file("o.smd"))).size(), 1u);
}

TEST_F(Cli, InputsThatCannotBeRead) {
    Outcome missing = run_lwhost(dir, {"import-mesh", dir.file("none.smd"), "-o", dir.file("none.lwo")});
    EXPECT_EQ(missing.status, 3);
    EXPECT_NE(missing.err.find("lwhost: " + dir.file("none.smd") + ": no such file"), std::string::npos) << missing.err;
    const std::string text = file("notes.txt", "just some words\n");
    Outcome not_smd = run_lwhost(dir, {"import-mesh", text, "-o", dir.file("notes.lwo")});
    EXPECT_EQ(not_smd.status, 1);
    EXPECT_NE(not_smd.err.find("lwhost: SMD Mesh Import: "), std::string::npos) << not_smd.err;
    EXPECT_FALSE(fs::exists(dir.file("notes.lwo")));
    for (const char* command : {"export-ref", "export-mesh"}) {
        Outcome not_lwo = run_lwhost(dir, {command, text, "-o", dir.file("notes.smd")});
        EXPECT_EQ(not_lwo.status, 3) << command;
        EXPECT_NE(not_lwo.err.find("lwhost: notes.txt: not an object file"), std::string::npos) << not_lwo.err;
        EXPECT_FALSE(fs::exists(dir.file("notes.smd")));
        Outcome no_file = run_lwhost(dir, {command, dir.file("gone.lwo"), "-o", dir.file("gone.smd")});
        EXPECT_EQ(no_file.status, 3) << command;
    }
}

TEST_F(Cli, OutputsThatCannotBeWrittenLoseNothing) {
    const std::string object = imported_object();
    const std::string ref = dir.file("ref.smd");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"import-mesh", ref, "-o", dir.file("no/such/folder/x.lwo")},
          std::vector<std::string>{"export-ref", object, "-o", dir.file("no/such/folder/x.smd")},
          std::vector<std::string>{"export-mesh", object, "-o", dir.file("no/such/folder/x.smd")}}) {
        Outcome run = run_lwhost(dir, args);
        EXPECT_EQ(run.status, 1) << args[0];
        EXPECT_NE(run.err.find("no/such/folder does not exist"), std::string::npos) << run.err;
    }

    const std::string kept = file("kept.smd", "the user's own file\n");
    const std::string kept_object = file("kept.lwo", "the user's own object\n");
    ASSERT_EQ(::chmod(kept.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(kept_object.c_str(), 0444), 0);
    test_files::Unprivileged user(dir.folder());
    if (!user.active()) GTEST_SKIP() << "cannot give up root's right to write";
    Outcome ref_run = run_lwhost(dir, {"export-ref", object, "-o", kept});
    EXPECT_EQ(ref_run.status, 1);
    EXPECT_NE(ref_run.err.find("lwhost: SMD Export Layout: "), std::string::npos) << ref_run.err;
    Outcome mesh_run = run_lwhost(dir, {"export-mesh", object, "-o", kept});
    EXPECT_EQ(mesh_run.status, 1);
    EXPECT_NE(mesh_run.err.find("lwhost: SMD Export: "), std::string::npos) << mesh_run.err;
    Outcome import_run = run_lwhost(dir, {"import-mesh", ref, "-o", kept_object});
    EXPECT_EQ(import_run.status, 1);
    EXPECT_EQ(read_file(kept), "the user's own file\n");
    EXPECT_EQ(read_file(kept_object), "the user's own object\n");
}

TEST_F(Cli, ScriptsThatDoNotFitThePanelAreErrors) {
    const std::string object = imported_object();
    const std::string out = dir.file("scripted.smd");
    const std::string good = file("good.txt", "set \"Scale geometry:\" 0\npress \"Save SMD file\"\nfile \"" + out +
                                                  "\"\nclose\n");
    Outcome ok = run_lwhost(dir, {"run", "rigwriter", "SMD Export Layout", "--scene", object, "--script", good,
                          "--log", dir.file("commands.log")});
    EXPECT_EQ(ok.status, 0) << ok.err;
    expect_same_triangles(triangles_of(read_file(out)), triangles_of(kReference));
    EXPECT_TRUE(fs::exists(dir.file("commands.log")));

    struct Case {
        const char* script;
        const char* says;
    };
    for (const Case& c : {Case{"set \"Scale it\" 0\nclose\n", "no control \"Scale it\""},
                          Case{"pick \"Group Triangles by:\" \"Bone Name\"\nclose\n", "no item \"Bone Name\""},
                          Case{"click \"Valid Geometry List\" 9\nclose\n", "row 9 out of 0..2"},
                          Case{"close\nclose\n", "1 action(s) left when the plug-in returned"}}) {
        Outcome run = run_lwhost(dir, {"run", "rigwriter", "SMD Export Layout", "--scene", object, "--script",
                               file("bad.txt", c.script)});
        EXPECT_EQ(run.status, 2) << c.script;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("  \"Scale geometry:\" (BoolControl)"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("  FloatControl#0 (FloatControl)"), std::string::npos) << run.err;
    }
    Outcome syntax = run_lwhost(dir, {"run", "rigwriter", "SMD Export Layout", "--script", file("s.txt", "jump \"x\"\n")});
    EXPECT_EQ(syntax.status, 2);
    EXPECT_NE(syntax.err.find("line 1"), std::string::npos) << syntax.err;
    Outcome handler = run_lwhost(dir, {"run", "motionwriter", "SMD_Anim_Motion", "--script", file("e.txt", "")});
    EXPECT_EQ(handler.status, 2);
    EXPECT_NE(handler.err.find("cannot run on its own"), std::string::npos) << handler.err;
}

TEST_F(Cli, PluginErrorMessagesFailTheJob) {
    // An object without polygons: the exporter says why it has nothing to write.
    lwhost::Scene scene;
    lwhost::SceneBuilder b(scene);
    auto empty = b.mesh(dir.file("empty.lwo"));
    empty.point(0, 0, 0);
    lwhost::save_lwo2(scene, empty.index(), dir.file("empty.lwo"));
    Outcome run = run_lwhost(dir, {"export-mesh", dir.file("empty.lwo"), "-o", dir.file("empty.smd")});
    EXPECT_EQ(run.status, 1) << "the actions it never reached are not a script error";
    EXPECT_NE(run.err.find("lwhost: SMD Export: "), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("has these controls"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir.file("empty.smd")));
}

}  // namespace
