// The safe save's own failure paths: the steps after the writer (rename,
// removal of the temporary) that the exporters' save tests cannot reach.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iterator>
#include <fstream>
#include <sstream>
#include <string>

#include "../unprivileged.h"
#include "safe_file.h"
#include "smd_format.h"
#include "test_files.h"

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

std::string read(const std::string& path) { return test_support::read_file(path); }

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
        EXPECT_EQ(safe_file_commit(file, 0), EXPORT_WRITE_FAILED);
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
        EXPECT_EQ(safe_file_commit(file, 0), EXPORT_WRITE_FAILED);
        EXPECT_TRUE(fs::is_character_file("/dev/full"));
    }
    {  // a read-only file is refused rather than renamed over
        const std::string locked = folder.file("locked.smd");
        put(locked, "locked\n");
        fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        test_files::Unprivileged user(folder.path.string());
        ASSERT_TRUE(user.active());
        SafeFile file;
        EXPECT_EQ(safe_file_open(file, locked.c_str()), SAFE_FILE_NOT_OPENED);
        EXPECT_EQ(file.stream, nullptr);
        EXPECT_EQ(read(locked), "locked\n");
        EXPECT_FALSE(fs::exists(locked + ".tmp"));
    }
}

// Saving to a symbolic link writes the file it leads to and keeps the link:
// the temporary is made and renamed beside that file.
TEST(SafeFile, LinksAreFollowedAndKept) {
    Folder folder;
    fs::create_directory(folder.path / "real");
    const std::string real = folder.file("real/model.smd");
    put(real, "old\n");
    auto save = [](const std::string& path, const char* text, int rc = 0) {
        SafeFile file;
        const int opened = safe_file_open(file, path.c_str());
        if (opened != SAFE_FILE_OK) return opened;
        std::fputs(text, file.stream);
        return safe_file_commit(file, rc);
    };
    {  // a relative link, and a link to that link
        const std::string link = folder.file("link.smd"), chain = folder.file("chain.smd");
        fs::create_symlink("real/model.smd", link);
        fs::create_symlink(link, chain);
        EXPECT_EQ(save(link, "first\n"), 0);
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(read(real), "first\n");
        EXPECT_EQ(save(chain, "second\n"), 0);
        EXPECT_TRUE(fs::is_symlink(chain));
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(read(real), "second\n");
        // A failed save through the link keeps everything as it was.
        EXPECT_EQ(save(link, "half", 42), 42);
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(read(real), "second\n");
        EXPECT_EQ(std::distance(fs::directory_iterator(folder.path / "real"), fs::directory_iterator()), 1);
    }
    {  // a link to a file not made yet: the file is made where it points
        const std::string ahead = folder.file("ahead.smd");
        fs::create_symlink(folder.file("real/later.smd"), ahead);
        EXPECT_EQ(save(ahead, "made\n"), 0);
        EXPECT_TRUE(fs::is_symlink(ahead));
        EXPECT_EQ(read(folder.file("real/later.smd")), "made\n");
    }
    {  // links that lead round in a circle are refused
        const std::string a = folder.file("a.smd"), b = folder.file("b.smd");
        fs::create_symlink(b, a);
        fs::create_symlink(a, b);
        SafeFile file;
        EXPECT_EQ(safe_file_open(file, a.c_str()), SAFE_FILE_NOT_OPENED);
        EXPECT_EQ(file.stream, nullptr);
        EXPECT_TRUE(fs::is_symlink(a));
    }
}

// The exporters' whole save: the writer's code comes back as it is, a
// refused target is reported as such without running the writer, and only a
// save that fully succeeded replaces the file.
TEST(SaveExportFile, GivesTheWritersOrTheSavesOwnResult) {
    Folder folder;
    const std::string target = folder.file("out.smd");
    put(target, "old\n");
    struct Job {
        const char* text;
        ExportResult result;
        int calls = 0;
    };
    const ExportWriter write = [](const void* data, std::FILE* stream) noexcept {
        auto* job = static_cast<Job*>(const_cast<void*>(data));
        ++job->calls;
        std::fputs(job->text, stream);
        return job->result;
    };
    {
        Job job{"half", EXPORT_NO_SERVICE};
        EXPECT_EQ(save_export_file(target.c_str(), write, &job), EXPORT_NO_SERVICE);
        EXPECT_EQ(job.calls, 1);
        EXPECT_EQ(read(target), "old\n");
        EXPECT_EQ(folder.count(), 1u);
    }
    {
        Job job{"new\n", EXPORT_OK};
        EXPECT_EQ(save_export_file(target.c_str(), write, &job), EXPORT_OK);
        EXPECT_EQ(read(target), "new\n");
        EXPECT_EQ(folder.count(), 1u);
    }
    {
        Job job{"never\n", EXPORT_OK};
        EXPECT_EQ(save_export_file(folder.file("missing/out.smd").c_str(), write, &job), EXPORT_FILE_NOT_OPENED);
        EXPECT_EQ(save_export_file(folder.path.string().c_str(), write, &job), EXPORT_FILE_NOT_OPENED);
        EXPECT_EQ(job.calls, 0);
    }
    {  // a device that refuses the bytes: the commit's flush reports it
        Job job{"lost\n", EXPORT_OK};
        if (std::FILE* probe = std::fopen("/dev/full", "w")) {
            std::fclose(probe);
            EXPECT_EQ(save_export_file("/dev/full", write, &job), EXPORT_WRITE_FAILED);
        }
    }
}

}  // namespace
