// The rest of the tool through the built lwhost: the UV template, the panel
// shown, a script that stops at its first miss, the bundled sample and the
// demo that runs the whole product on it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../unprivileged.h"
#include "cli_run.h"

namespace {

namespace fs = std::filesystem;
using namespace cli_test;

const std::string kExamples = LWSMD_EXAMPLES;
const std::string kArmReference = kExamples + "/arm_ref.smd";

struct Targa {
    int width = 0, height = 0;
    std::string bytes;
    // Blue, green, red of the pixel at x, y (rows stored bottom up or top
    // down alike for the corner pixels the tests read).
    std::string pixel(int x, int y) const { return bytes.substr(18 + 3 * std::size_t(y * width + x), 3); }
};

Targa targa(const std::string& file) {
    Targa image;
    image.bytes = read_file(file);
    if (image.bytes.size() < 18) return image;
    auto byte = [&](int i) { return int(static_cast<unsigned char>(image.bytes[std::size_t(i)])); };
    image.width = byte(12) | byte(13) << 8;
    image.height = byte(14) | byte(15) << 8;
    return image;
}

class ToolCli : public ::testing::Test {
protected:
    TempDir dir;
    // The arm as an object file and a scene with its skeleton.
    std::string arm_scene() {
        const std::string object = dir.file("arm.lwo"), scene = dir.file("arm.lws");
        EXPECT_EQ(run_lwhost(dir, {"import-mesh", kArmReference, "-o", object}).status, 0);
        EXPECT_EQ(run_lwhost(dir, {"import-skeleton", kArmReference, "--into", object, "-o", scene}).status, 0);
        return scene;
    }
};

TEST_F(ToolCli, EveryCommandTheHelpListsHasItsOwnHelp) {
    Outcome help = run_lwhost(dir, {"--help"});
    ASSERT_EQ(help.status, 0);
    std::vector<std::string> listed;
    const std::string start = "commands:\n";
    for (std::size_t at = help.out.find(start) + start.size(); help.out.compare(at, 2, "  ") == 0;
         at = help.out.find('\n', at) + 1)
        listed.push_back(help.out.substr(at + 2, help.out.find(' ', at + 2) - at - 2));
    EXPECT_EQ(listed, (std::vector<std::string>{"import-mesh", "import-skeleton", "export-ref", "export-mesh",
                                                "export-anim", "uv-template", "demo", "info", "run"}));
    for (const std::string& command : listed) {
        Outcome own = run_lwhost(dir, {command, "--help"});
        EXPECT_EQ(own.status, 0) << command;
        EXPECT_EQ(own.out.rfind("usage: lwhost " + command, 0), 0u) << own.out;
    }
}

TEST_F(ToolCli, UvTemplateTakesItsMapSizeAndColoursFromFlags) {
    const std::string scene = arm_scene();
    Outcome plain = run_lwhost(dir, {"uv-template", scene, "-o", dir.file("plain.tga")});
    ASSERT_EQ(plain.status, 0) << plain.err;
    const Targa defaults = targa(dir.file("plain.tga"));
    EXPECT_GT(defaults.width, 64);

    Outcome styled = run_lwhost(dir, {"uv-template", dir.file("arm.lwo"), "-o", dir.file("glove.tga"), "--map",
                                  "glove.bmp", "--size", "64", "--fg", "ff0000", "--bg", "#102030"});
    ASSERT_EQ(styled.status, 0) << styled.err;
    const Targa glove = targa(dir.file("glove.tga"));
    ASSERT_EQ(glove.width, 64);
    ASSERT_EQ(glove.height, 64);
    ASSERT_EQ(glove.bytes.size(), 18u + 64 * 64 * 3);
    EXPECT_EQ(glove.pixel(0, 0), std::string("\x30\x20\x10", 3)) << "the background colour, stored blue first";
    std::size_t lines = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) lines += glove.pixel(x, y) == std::string("\x00\x00\xff", 3);
    EXPECT_GT(lines, 64u) << "the glove's faces drawn in the foreground colour";

    const std::vector<std::vector<std::string>> refused = {
        {"--map", "nosuch"}, {"--size", "0"}, {"--fg", "red"}, {"--bg", "12345"}};
    for (const auto& flags : refused) {
        std::vector<std::string> args = {"uv-template", scene, "-o", dir.file("bad.tga")};
        args.insert(args.end(), flags.begin(), flags.end());
        Outcome run = run_lwhost(dir, args);
        EXPECT_EQ(run.status, 2) << flags[0] << " " << flags[1] << "\n" << run.err;
        EXPECT_FALSE(fs::exists(dir.file("bad.tga"))) << flags[0] << " " << flags[1];
    }
}

TEST_F(ToolCli, UvTemplateRefusesWhatItCannotReadOrWrite) {
    const std::string scene = arm_scene();
    write_file(dir.file("notes.txt"), "just some words\n");
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {{dir.file("gone.lws"), "-o", dir.file("x.tga")}, 3, ": no such file"},
        {{dir.file("notes.txt"), "-o", dir.file("x.tga")}, 3, "notes.txt: not an object file"},
        {{scene, "-o", dir.file("no/such/x.tga")}, 1, "does not exist"},
        {{scene, "-o", dir.file("x.tga"), "--object", "leg"}, 2, "no object named \"leg\"; the objects are \"arm\""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"uv-template"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Outcome run = run_lwhost(dir, args);
        EXPECT_EQ(run.status, c.status) << c.says << "\n" << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(dir.file("x.tga")));
    }

    write_file(dir.file("kept.tga"), "the user's image\n");
    ASSERT_EQ(::chmod(dir.file("kept.tga").c_str(), 0444), 0);
    test_files::Unprivileged user(dir.folder());
    if (!user.active()) GTEST_SKIP() << "cannot give up root's right to write";
    Outcome kept = run_lwhost(dir, {"uv-template", scene, "-o", dir.file("kept.tga")});
    EXPECT_EQ(kept.status, 1) << kept.err;
    EXPECT_NE(kept.err.find("lwhost: SMD Export Layout: "), std::string::npos) << kept.err;
    EXPECT_EQ(read_file(dir.file("kept.tga")), "the user's image\n");
}

TEST_F(ToolCli, AScriptThatMissesStopsBeforeItsSaveAndListsTheControls) {
    const std::string scene = arm_scene();
    const std::string out = dir.file("wave.smd");
    // A new user's guess: the animation panel's button is "Save animation SMD file".
    write_file(dir.file("guess.txt"), "press \"Save SMD file\"\nfile \"" + out + "\"\nclose\n");
    Outcome guess = run_lwhost(dir, {"run", "motionwriter", "SMD Animation", "--scene", scene, "--script",
                                 dir.file("guess.txt")});
    EXPECT_EQ(guess.status, 2);
    EXPECT_NE(guess.err.find("no control \"Save SMD file\""), std::string::npos) << guess.err;
    EXPECT_NE(guess.err.find("  \"Save animation SMD file\" (ButtonControl)"), std::string::npos) << guess.err;
    EXPECT_FALSE(fs::exists(out));

    // A miss before a save that would fit: the user gives up, nothing is written.
    write_file(dir.file("late.txt"), "set \"First frame\" 3\npress \"Save animation SMD file\"\nfile \"" + out +
                                         "\"\nclose\n");
    Outcome late = run_lwhost(dir, {"run", "motionwriter", "SMD Animation", "--scene", scene, "--script",
                                dir.file("late.txt")});
    EXPECT_EQ(late.status, 2);
    EXPECT_FALSE(fs::exists(out)) << "the save after the miss was not pressed";
}

TEST_F(ToolCli, ShowPanelPrintsThePanelAsItOpens) {
    const std::string scene = arm_scene();
    Outcome shown = run_lwhost(dir, {"--show-panel", "export-ref", scene, "-o", dir.file("r.smd"), "--no-scale"});
    ASSERT_EQ(shown.status, 0) << shown.err;
    const std::string& out = shown.out;
    EXPECT_EQ(out.rfind("panel \"", 0), 0u) << out;
    // As it opened: the flags have not yet turned the scale off.
    EXPECT_NE(out.find("  \"Scale geometry:\" = on\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  FloatControl#0 = 40\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  \"Group Triangles by:\" = \"UV Texture Map Name\""), std::string::npos) << out;
    EXPECT_NE(out.find("  \"Save SMD file\" [button]\n"), std::string::npos) << out;
    EXPECT_NE(out.find(" | 336"), std::string::npos) << "the valid geometry list counts the triangles\n" << out;
}

TEST_F(ToolCli, TheLogIsWrittenOnlyWhenAskedFor) {
    const std::string scene = arm_scene();
    Outcome logged = run_lwhost(dir, {"--log", dir.file("commands.log"), "export-anim", scene, "-o", dir.file("a.smd"),
                                  "--first", "0", "--last", "4"});
    ASSERT_EQ(logged.status, 0) << logged.err;
    const std::string log = read_file(dir.file("commands.log"));
    std::size_t frames = 0;
    for (std::size_t at = log.find("GoToFrame"); at != std::string::npos; at = log.find("GoToFrame", at + 1)) ++frames;
    EXPECT_EQ(frames, 5u) << log;
}

TEST_F(ToolCli, TheDemoRunsTheRoundTripAndSaysWhetherItMatched) {
    Outcome demo = run_lwhost(dir, {"demo", "--out", dir.file("out")});
    ASSERT_EQ(demo.status, 0) << demo.out << demo.err;
    EXPECT_EQ(demo.err, "");
    for (const char* file : {"arm.lwo", "arm.lws", "arm_ref.smd", "arm_static.smd", "arm_wave.smd", "arm_uv.tga"})
        EXPECT_TRUE(fs::is_regular_file(dir.file(std::string("out/") + file))) << file;
    EXPECT_NE(demo.out.find("arm_ref.smd       336 triangles, 3 materials, 6 nodes, 1 frame"), std::string::npos)
        << demo.out;
    EXPECT_NE(demo.out.find("animation        matched: 30 frames of 6 nodes"), std::string::npos) << demo.out;
    EXPECT_NE(demo.out.find("the round trip matched\n"), std::string::npos) << demo.out;

    // A sample that cannot come back whole: a vertex linked to four bones
    // (the exporters write at most three). The demo must say so and fail.
    fs::create_directories(dir.file("four"));
    std::string reference = read_file(kArmReference);
    const std::string three = " 3 1 0.500000 2 0.375000 0 0.125000\n";
    const std::size_t at = reference.find(three);
    ASSERT_NE(at, std::string::npos);
    reference.replace(at, three.size(), " 4 1 0.500000 2 0.250000 0 0.125000 4 0.125000\n");
    write_file(dir.file("four/arm_ref.smd"), reference);
    fs::copy_file(kExamples + "/arm_wave.smd", dir.file("four/arm_wave.smd"));
    Outcome differs = run_lwhost(dir, {"demo", "--out", dir.file("out4"), "--examples", dir.file("four")});
    EXPECT_EQ(differs.status, 1) << differs.out << differs.err;
    EXPECT_NE(differs.out.find("reference mesh   DIFFERS"), std::string::npos) << differs.out;
    EXPECT_NE(differs.out.find("the round trip did NOT match"), std::string::npos) << differs.out;

    Outcome nowhere = run_lwhost(dir, {"demo", "--out", dir.file("o"), "--examples", dir.file("none")});
    EXPECT_EQ(nowhere.status, 3);
    EXPECT_NE(nowhere.err.find("the sample is not in"), std::string::npos) << nowhere.err;
}

TEST_F(ToolCli, TheBundledSampleIsWhatItsScriptWrites) {
    if (std::system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3 to run the script";
    const std::string command = "python3 " + kExamples + "/make_arm.py " + dir.folder();
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (const char* file : {"arm_ref.smd", "arm_wave.smd"})
        EXPECT_EQ(read_file(dir.file(file)), read_file(kExamples + "/" + file)) << file << " differs from its script";
}

}  // namespace
