// The safe save's own failure paths: the steps after the writer (rename,
// removal of the temporary) that the exporters' save tests cannot reach.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "safe_file.h"
#include "smd_format.h"

namespace {

namespace fs = std::filesystem;

struct Folder {
    fs::path path;
    Folder() {
        path = fs::temp_directory_path() / ("safe_file_test_" + std::to_string(::getpid()));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Folder() { fs::remove_all(path); }
    std::string file(const char* name) const { return (path / name).string(); }
    std::size_t count() const {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(path)) ++n;
        return n;
    }
};

std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void put(const std::string& path, const char* text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(SafeFile, CommitReplacesTheTargetOnlyWhenEverythingSucceeded) {
    Folder folder;
    const std::string target = folder.file("out.smd");
    {  // success: the temporary becomes the target
        put(target, "old\n");
        SafeFile file;
        ASSERT_EQ(safe_file_open(file, target.c_str()), SAFE_FILE_OK);
        EXPECT_EQ(file.temporary, target + ".tmp");
        EXPECT_EQ(read(target), "old\n");  // untouched while writing
        std::fputs("new\n", file.stream);
        EXPECT_EQ(safe_file_commit(file, 0), 0);
        EXPECT_EQ(file.stream, nullptr);
        EXPECT_EQ(read(target), "new\n");
        EXPECT_EQ(folder.count(), 1u);
    }
    {  // the writer failed: its code comes back, the temporary goes
        SafeFile file;
        ASSERT_EQ(safe_file_open(file, target.c_str()), SAFE_FILE_OK);
        std::fputs("half", file.stream);
        EXPECT_EQ(safe_file_commit(file, 42), 42);
        EXPECT_EQ(read(target), "new\n");
        EXPECT_EQ(folder.count(), 1u);
    }
    {  // the rename fails (the target became a folder meanwhile): reported, the temporary goes
        const std::string moved = folder.file("moved.smd");
        SafeFile file;
        ASSERT_EQ(safe_file_open(file, moved.c_str()), SAFE_FILE_OK);
        fs::create_directory(moved);
        put(moved + "/inside", "x");
        std::fputs("data\n", file.stream);
        EXPECT_EQ(safe_file_commit(file, 0), SMD_WRITE_FAILED);
        EXPECT_TRUE(fs::is_directory(moved));
        EXPECT_FALSE(fs::exists(moved + ".tmp"));
    }
    {  // a missing target is created the same way
        const std::string fresh = folder.file("fresh.smd");
        SafeFile file;
        ASSERT_EQ(safe_file_open(file, fresh.c_str()), SAFE_FILE_OK);
        EXPECT_FALSE(fs::exists(fresh));
        EXPECT_EQ(safe_file_commit(file, 0), 0);
        EXPECT_TRUE(fs::is_regular_file(fresh));
        EXPECT_EQ(read(fresh), "");
    }
}

TEST(SafeFile, OpenRefusesWhatCannotBeWrittenAndWritesDevicesDirectly) {
    Folder folder;
    {  // no path, a folder, a folder that is not there: nothing is left open
        for (const std::string& path : {std::string(), folder.path.string(), folder.file("none/out.smd")}) {
            SafeFile file;
            EXPECT_EQ(safe_file_open(file, path.c_str()), SAFE_FILE_NOT_OPENED) << path;
            EXPECT_EQ(file.stream, nullptr);
        }
        SafeFile file;
        EXPECT_EQ(safe_file_open(file, nullptr), SAFE_FILE_NOT_OPENED);
        EXPECT_EQ(folder.count(), 0u);
    }
    {  // a taken temporary name is passed over, not truncated
        const std::string target = folder.file("busy.smd");
        put(target + ".tmp", "someone else's");
        put(target + ".tmp1", "someone else's too");
        SafeFile file;
        ASSERT_EQ(safe_file_open(file, target.c_str()), SAFE_FILE_OK);
        EXPECT_EQ(file.temporary, target + ".tmp2");
        EXPECT_EQ(safe_file_commit(file, 0), 0);
        EXPECT_EQ(read(target + ".tmp"), "someone else's");
        EXPECT_EQ(read(target + ".tmp1"), "someone else's too");
    }
    if (fs::exists("/dev/full")) {  // a device: no temporary, and its failed write is reported at the flush
        SafeFile file;
        ASSERT_EQ(safe_file_open(file, "/dev/full"), SAFE_FILE_OK);
        EXPECT_TRUE(file.temporary.empty());
        std::fputs("lost\n", file.stream);
        EXPECT_EQ(safe_file_commit(file, 0), SMD_WRITE_FAILED);
        EXPECT_TRUE(fs::is_character_file("/dev/full"));
    }
    if (::geteuid() != 0) {  // a read-only file is refused rather than renamed over
        const std::string locked = folder.file("locked.smd");
        put(locked, "locked\n");
        fs::permissions(locked, fs::perms::owner_read);
        SafeFile file;
        EXPECT_EQ(safe_file_open(file, locked.c_str()), SAFE_FILE_NOT_OPENED);
        EXPECT_EQ(read(locked), "locked\n");
    }
}

}  // namespace
