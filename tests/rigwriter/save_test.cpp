// "Save SMD file": the requester and the name it proposes, and a save that
// fails without putting anything in the place of a good file.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "host.h"
#include "loader.h"
#include "panels.h"
#include "rig_scene.h"
#include "ui_script.h"
#include "../common/uv_template_pictures.h"

namespace {

using lwhost::Host;
using lwhost::SceneBuilder;

void load(Host& host) {
    std::string error;
    ASSERT_NE(host.plugins().load(rigtest::plugin_path(), &error), nullptr) << error;
}

std::vector<std::string> error_texts(const Host& host) {
    std::vector<std::string> texts;
    for (const lwhost::Message& message : host.messages) texts.push_back(message.line1);
    return texts;
}

// A triangle whose object file is `filename`, selected.
void build_named(SceneBuilder& b, const std::string& filename) {
    auto m = b.mesh(filename);
    const auto a = m.point(0, 0, 0), c = m.point(1, 0, 0), d = m.point(0, 1, 0);
    m.triangle(a, c, d, "Plain");
    m.uv("UV", a, 0.0f, 0.0f).uv("UV", c, 1.0f, 0.0f).uv("UV", d, 0.0f, 1.0f);
    b.select(b.object("Named", m));
}

TEST(RefSave, ProposesTheObjectFileWithSmdForLwo) {
    const std::string folder(1010, 'f');
    struct Case {
        std::string file;
        std::string proposed;
    };
    const Case cases[] = {
        {"/models/ship.lwo", "/models/ship.smd"},
        {"/MODELS/SHIP.LWO", "/MODELS/SHIP.smd"},
        {"/models/Ship.LWO.lwo", "/models/Ship.LWO.smd"},     // "lwo" before "LWO"
        {"/models/lwo files/ship.lwo", "/models/smd files/ship.lwo"},  // the first one only
        {"/models/ship.obj", "/models/ship.obj"},
        {"", ""},
        // Up to 1018 characters the name is changed; from 1019 on the change
        // could fall past the buffer's end and the name stays as it is.
        {"/" + folder + "/ab.lwo", "/" + folder + "/ab.smd"},
        {"/" + folder + "/abc.lwo", "/" + folder + "/abc.lwo"},
        {"/" + std::string(1100, 'x') + ".lwo", "/" + std::string(1022, 'x')},  // cut to the buffer
    };
    ASSERT_EQ(cases[6].file.size(), 1018u);
    for (const Case& c : cases) {
        Host host;
        SceneBuilder b(host.scene);
        build_named(b, c.file);
        load(host);
        host.script().press("Save SMD file").cancel_file().close();
        ASSERT_EQ(host.run_generic("SMD Export Layout"), 0);
        ASSERT_EQ(host.file_requests.size(), 1u) << c.file;
        const lwhost::FileRequestRecord& request = host.file_requests[0];
        EXPECT_EQ(request.base_name_in, c.proposed) << c.file;
        EXPECT_EQ(request.version, 3);
        EXPECT_EQ(request.type, FREQ_SAVE);
        EXPECT_EQ(request.title, "Save SMD File");
        EXPECT_EQ(request.file_type, "SMD File");
        EXPECT_EQ(request.buffer_length, 1024);
        EXPECT_TRUE(host.messages.empty()) << c.file;
        EXPECT_EQ(host.panel_log()[0].views[0].controls[0].label, "Object: " + c.file) << c.file;
    }
}

TEST(RefSave, SavesAgainWithTheSameBytesAndOffersTheLastFolder) {
    Host host;
    SceneBuilder b(host.scene);
    rigtest::build_rig(b);
    load(host);
    uv_test::TempDir dir;
    const std::string first = dir.file("one.smd"), second = dir.file("two.smd");
    host.script()
        .press("Save SMD file").answer_file(first)
        .press("Save SMD file").cancel_file()
        .press("Save SMD file").fail_file()
        .press("Save SMD file").answer_file(second)
        .close();
    ASSERT_EQ(host.run_generic("SMD Export Layout"), 0);
    ASSERT_EQ(host.file_requests.size(), 4u);
    EXPECT_EQ(host.file_requests[1].path_in, dir.folder());
    EXPECT_EQ(host.file_requests[1].base_name_in, "/models/rig.smd");
    EXPECT_TRUE(host.messages.empty()) << "cancelled and failed requests are silent";
    const std::string text = rigtest::read_file(first);
    EXPECT_EQ(text.rfind("version 1\nnodes\n", 0), 0u);
    EXPECT_EQ(rigtest::read_file(second), text);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.folder()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"one.smd", "two.smd"})) << "no temporary file is left";
}

// Runs one save of the rig to `path`; returns the messages shown.
std::vector<std::string> save_rig_to(const std::string& path) {
    Host host;
    SceneBuilder b(host.scene);
    rigtest::build_rig(b);
    load(host);
    host.script().press("Save SMD file").answer_file(path).close();
    EXPECT_EQ(host.run_generic("SMD Export Layout"), 0);
    EXPECT_EQ(host.file_requests.size(), 1u);
    return error_texts(host);
}

void write_text(const std::string& path, const char* text) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr) << path;
    std::fputs(text, file);
    std::fclose(file);
}

TEST(RefSave, FailuresAreReportedAndLeaveNoHalfWrittenFile) {
    uv_test::TempDir dir;
    {  // no such folder, and a folder of that name: the file cannot be opened
        EXPECT_EQ(save_rig_to(dir.file("no such folder/rig.smd")), std::vector<std::string>{"Unable to save file!"});
        EXPECT_FALSE(uv_test::exists(dir.file("no such folder")));
        std::filesystem::create_directory(dir.file("taken"));
        EXPECT_EQ(save_rig_to(dir.file("taken")), std::vector<std::string>{"Unable to save file!"});
        EXPECT_TRUE(std::filesystem::is_directory(dir.file("taken")));
        write_text(dir.file("plain file"), "x");
        EXPECT_EQ(save_rig_to(dir.file("plain file/rig.smd")), std::vector<std::string>{"Unable to save file!"});
    }
    if (uv_test::exists("/dev/full")) {  // a device that refuses every write: written in place, reported
        EXPECT_EQ(save_rig_to("/dev/full"), std::vector<std::string>{"Error saving SMD file!"});
        EXPECT_FALSE(uv_test::exists("/dev/full.tmp"));
    }
    {  // the disk fills up half way: the good file stays, the partial one goes
        const std::string path = dir.file("good.smd");
        write_text(path, "a good file\n");
        rlimit saved{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 1000;  // the rig's file is about 2 KB
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const std::vector<std::string> messages = save_rig_to(path);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        EXPECT_EQ(messages, std::vector<std::string>{"Error saving SMD file!"});
        EXPECT_EQ(rigtest::read_file(path), "a good file\n");
        EXPECT_FALSE(uv_test::exists(path + ".tmp"));
        // With room again the same save replaces it.
        EXPECT_TRUE(save_rig_to(path).empty());
        EXPECT_EQ(rigtest::read_file(path).rfind("version 1\n", 0), 0u);
    }
    {  // a temporary name already taken is not touched: the next free one is used
        const std::string path = dir.file("busy.smd");
        write_text(path + ".tmp", "someone else's\n");
        EXPECT_TRUE(save_rig_to(path).empty());
        EXPECT_EQ(rigtest::read_file(path + ".tmp"), "someone else's\n");
        EXPECT_FALSE(uv_test::exists(path + ".tmp1"));
        EXPECT_EQ(rigtest::read_file(path).rfind("version 1\n", 0), 0u);
    }
}

}  // namespace
