// The animation SMD writer over hand-made states: node lines, which pose
// lines each time block holds, numbers, and what happens when writing fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "../unprivileged.h"
#include "anim_fixture.h"
#include "file_size_limit.h"

namespace {

using namespace animtest;

LWItemID fake_id(int i) { return reinterpret_cast<LWItemID>(std::uintptr_t(0x40000000u + 0x10000u * unsigned(i))); }

// A state as the collection and the sampling would leave it, made by hand:
// bones in node order, each with a parent index (-1: none), and samples.
struct HandState {
    AnimExportState state{};

    HandState(const std::vector<std::tuple<const char*, int, bool>>& bones, int first_frame, int frame_count) {
        const int n = int(bones.size());
        state.boneCount = state.bonesAdded = n;
        state.bones.reset(new AnimBone[std::size_t(n)]());
        intmap_init(&state.boneMap, n);
        for (int i = 0; i < n; ++i) {
            auto [name, parent, null_bone] = bones[std::size_t(i)];
            AnimBone& bone = state.bones[i];
            bone.id = fake_id(i);
            bone.nodeIndex = i;
            if (name) {
                bone.name.reset(new char[std::strlen(name) + 1]);
                std::strcpy(bone.name.get(), name);
            }
            bone.parentBone = parent >= 0 ? fake_id(parent) : nullptr;
            bone.isNull = null_bone ? 1 : 0;
            intmap_insert(&state.boneMap, host_id_key(bone.id), &bone);
        }
        state.includeNullBones = 1;
        state.scale = 40.0f;
        state.firstFrame = first_frame;
        state.lastFrame = first_frame + frame_count - 1;
        EXPECT_EQ(alloc_bone_samples(state), EXPORT_OK);
    }
    ~HandState() { release_bones(state); }

    void pose(int bone, int k, lwhost::Vec3 position, lwhost::Vec3 rotation) {
        for (int axis = 0; axis < 3; ++axis) {
            state.bones[bone].positions[k][axis] = position[std::size_t(axis)];
            state.bones[bone].rotations[k][axis] = rotation[std::size_t(axis)];
        }
    }

    std::string write() {
        char* text = nullptr;
        std::size_t size = 0;
        std::FILE* stream = open_memstream(&text, &size);
        EXPECT_EQ(write_anim_smd(state, stream), EXPORT_OK);
        std::fclose(stream);
        std::string result(text, size);
        std::free(text);
        return result;
    }
};

// The names in a folder, sorted.
std::vector<std::string> entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string section(const std::string& text, const std::string& name) {
    const std::size_t start = text.find(name + "\n");
    if (start == std::string::npos) return "<no " + name + ">";
    const std::size_t body = start + name.size() + 1;
    return text.substr(body, text.find("end\n", body) - body);
}

TEST(AnimWriter, NodeLinesCarryParentsAndTheNullBoneComment) {
    // root, a null child of root, a child of that null, a second root
    // whose name could not be copied.
    HandState h({{"root bone", -1, false}, {"twist", 0, true}, {"hand", 1, false}, {nullptr, -1, false}}, 0, 1);
    EXPECT_EQ(section(h.write(), "nodes"),
              "0\t \"root bone\"\t -1\n"
              "1\t \"twist\"\t 0\t // null bone\n"
              "2\t \"hand\"\t 1\n"
              "3\t \"\"\t -1\n");
    // Without null bones: the null bone's line goes, numbers keep their
    // gaps, and its child still names it.
    h.state.includeNullBones = 0;
    const std::string text = h.write();
    EXPECT_EQ(section(text, "nodes"),
              "0\t \"root bone\"\t -1\n"
              "2\t \"hand\"\t 1\n"
              "3\t \"\"\t -1\n");
    // ... but the null bone still gets its pose line, under its own number.
    EXPECT_NE(section(text, "skeleton").find("\n1  0.000000"), std::string::npos) << text;
}

TEST(AnimWriter, NodeLinesStayWholeWhateverTheNamesAndParents) {
    // A quote or a control character in a name is written as '_'. A parent
    // that comes after its child (only a parent loop in a broken scene does
    // that) is left out, so the nodes stay a tree.
    HandState h({{"bo\"ne\nx", 1, false}, {"tab\there\r", 0, false}, {"plain name\xc3\xa9", 1, true}}, 0, 1);
    EXPECT_EQ(section(h.write(), "nodes"),
              "0\t \"bo_ne_x\"\t -1\n"
              "1\t \"tab_here_\"\t 0\n"
              "2\t \"plain name\xc3\xa9\"\t 1\t // null bone\n");
}

TEST(AnimWriter, LaterBlocksListOnlyBonesWhosePoseChanged) {
    HandState h({{"a", -1, false}, {"b", 0, false}, {"c", 0, true}}, 10, 4);
    for (int k = 0; k < 4; ++k) {
        h.pose(0, k, {0, 0, 0}, {0, 0, 0});        // never moves
        h.pose(1, k, {0, 0, k < 2 ? 0.0 : 1.0}, {0, 0, 0});   // moves once, at frame 12
        h.pose(2, k, {0, 0, 0}, {k == 3 ? 0.5 : 0.0, 0, 0});  // turns at frame 13
    }
    h.pose(1, 1, {0, 0, 0}, {0, 0, -0.0});  // a negative zero equals zero: no change
    h.state.includeNullBones = 0;            // null bones are posed all the same
    EXPECT_EQ(section(h.write(), "skeleton"),
              "time 10\n "
              "0  0.000000 0.000000 0.000000  -0.000000 -0.000000 0.000000\n"
              "1  0.000000 0.000000 0.000000  -0.000000 -0.000000 0.000000\n"
              "2  0.000000 0.000000 0.000000  -0.000000 -0.000000 0.000000\n"
              "time 11\n "  // nothing changed: the next time line follows the blank
              "time 12\n "
              "1  0.000000 40.000000 0.000000  -0.000000 -0.000000 0.000000\n"
              "time 13\n "
              "2  0.000000 0.000000 0.000000  -0.000000 -0.000000 -0.500000\n");
}

TEST(AnimWriter, PositionsAreSwappedAndScaledRotationsAreNot) {
    HandState h({{"a", -1, false}}, 0, 1);
    // A pure pitch p gives rx = -p; a pure bank b gives ry = -b.
    h.pose(0, 0, {1, 2, -3}, {0, 0.25, 0});
    EXPECT_EQ(section(h.write(), "skeleton"), "time 0\n 0  40.000000 -120.000000 80.000000  -0.250000 -0.000000 0.000000\n");
    h.state.scale = 1.0f;
    h.pose(0, 0, {1.5, 0.125, -0.0625}, {0, 0, 0.5});
    EXPECT_EQ(section(h.write(), "skeleton"), "time 0\n 0  1.500000 -0.062500 0.125000  -0.000000 -0.500000 0.000000\n");
    h.state.scale = 2.5f;
    EXPECT_EQ(section(h.write(), "skeleton"), "time 0\n 0  3.750000 -0.156250 0.312500  -0.000000 -0.500000 0.000000\n");
}

TEST(AnimWriter, FilesWithoutBonesOrWithoutFrames) {
    {  // no bones: the root node and the zero bone line, no time line
        AnimExportState empty{};
        empty.scale = 40.0f;
        char* text = nullptr;
        std::size_t size = 0;
        std::FILE* stream = open_memstream(&text, &size);
        EXPECT_EQ(write_anim_smd(empty, stream), EXPORT_OK);
        std::fclose(stream);
        EXPECT_EQ(std::string(text, size),
                  "version 1\nnodes\n0 \"root\" -1\nend\nskeleton\n"
                  "0 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000\nend\n");
        std::free(text);
    }
    {  // last frame below first: a skeleton section without time blocks
        HandState h({{"a", -1, false}}, 5, 0);
        EXPECT_EQ(h.write(), "version 1\nnodes\n0\t \"a\"\t -1\nend\nskeleton\nend\n");
    }
    {  // a single frame lists every bone once
        HandState h({{"a", -1, false}, {"b", 0, false}}, 7, 1);
        EXPECT_EQ(section(h.write(), "skeleton"),
                  "time 7\n "
                  "0  0.000000 0.000000 0.000000  -0.000000 -0.000000 0.000000\n"
                  "1  0.000000 0.000000 0.000000  -0.000000 -0.000000 0.000000\n");
        EXPECT_EQ(write_anim_smd(h.state, nullptr), EXPORT_OK);
    }
}

TEST(AnimWriter, FailedWritesAreReportedAndNeverReplaceAGoodFile) {
    HandState h({{"a", -1, false}, {"b", 0, false}}, 0, 50);
    for (int k = 0; k < 50; ++k) h.pose(1, k, {0.01 * k, 0, 0}, {0, 0, 0});
    {  // a device that is always full
        std::FILE* stream = std::fopen("/dev/full", "w");
        ASSERT_NE(stream, nullptr);
        std::setvbuf(stream, nullptr, _IONBF, 0);
        EXPECT_EQ(write_anim_smd(h.state, stream), EXPORT_WRITE_FAILED);
        EXPECT_EQ(write_anim_nodes(stream, h.state), EXPORT_WRITE_FAILED);
        EXPECT_EQ(write_anim_frames(stream, h.state), EXPORT_WRITE_FAILED);
        std::fclose(stream);
    }
    TempDir dir;
    const std::string target = dir.file("walk.smd");
    ASSERT_EQ(save_anim_file(h.state, target.c_str()), EXPORT_OK);
    const std::string good = read_file(target);
    EXPECT_EQ(good, h.write());
    EXPECT_EQ(entries(dir.folder()), std::vector<std::string>{"walk.smd"});

    HandState other({{"z", -1, false}}, 0, 1);
    {  // the disk fills up after a few bytes: the good file stays
        int rc = EXPORT_OK;
        {
            test_support::FileSizeLimit limit(40);
            ASSERT_TRUE(limit.active());
            rc = save_anim_file(other.state, target.c_str());
        }
        EXPECT_EQ(rc, EXPORT_WRITE_FAILED);
        EXPECT_EQ(read_file(target), good);
        EXPECT_EQ(entries(dir.folder()), std::vector<std::string>{"walk.smd"});
    }
    {  // a folder cannot be written: refused before anything is made
        const std::string folder = dir.file("folder.smd");
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        EXPECT_EQ(save_anim_file(other.state, folder.c_str()), EXPORT_FILE_NOT_OPENED);
        EXPECT_EQ(entries(dir.folder()), (std::vector<std::string>{"folder.smd", "walk.smd"}));
    }
    // No file can be made there at all.
    EXPECT_EQ(save_anim_file(other.state, dir.file("missing/walk.smd").c_str()), EXPORT_FILE_NOT_OPENED);
    EXPECT_EQ(save_anim_file(other.state, ""), EXPORT_FILE_NOT_OPENED);
    EXPECT_EQ(read_file(target), good);
}

// The common safe save: a file we may not write is refused, a link is kept
// and leads to the new content.
TEST(AnimWriter, ASaveKeepsReadOnlyFilesAndLinks) {
    HandState h({{"a", -1, false}}, 0, 2);
    TempDir dir;
    const std::string locked = dir.file("locked.smd");
    {
        std::FILE* old = std::fopen(locked.c_str(), "w");
        ASSERT_NE(old, nullptr);
        std::fputs("old\n", old);
        std::fclose(old);
    }
    ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
    {
        test_files::Unprivileged user(dir.folder());
        ASSERT_TRUE(user.active());
        EXPECT_EQ(save_anim_file(h.state, locked.c_str()), EXPORT_FILE_NOT_OPENED);
    }
    EXPECT_EQ(read_file(locked), "old\n");
    EXPECT_EQ(entries(dir.folder()), std::vector<std::string>{"locked.smd"});

    const std::string link = dir.file("link.smd");
    ASSERT_EQ(symlink("real.smd", link.c_str()), 0);
    EXPECT_EQ(save_anim_file(h.state, link.c_str()), EXPORT_OK);
    struct stat status{};
    ASSERT_EQ(lstat(link.c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    EXPECT_EQ(read_file(dir.file("real.smd")), h.write());
}

// Two saves to one file at the same time: each writes a whole file of its
// own, and the file ends as one of them, never a mixture.
TEST(AnimWriter, TwoSavesAtOnceEachWriteAWholeFile) {
    // Large enough (a few MB) that the two writes overlap.
    auto make = [](double offset) {
        auto state = std::make_unique<HandState>(
            std::vector<std::tuple<const char*, int, bool>>{{"a", -1, false}, {"b", 0, false}}, 0, 20000);
        for (int k = 0; k < 20000; ++k) {
            state->pose(0, k, {offset + k, 0, 0}, {0, 0, 0});
            state->pose(1, k, {0, offset + k, 0}, {0, 0, 0});
        }
        return state;
    };
    const auto first = make(0.0), second = make(0.5);
    const std::string first_text = first->write(), second_text = second->write();
    TempDir dir;
    const std::string target = dir.file("walk.smd");
    for (int round = 0; round < 5; ++round) {
        int first_rc = -1, second_rc = -1;
        std::thread other([&] { second_rc = save_anim_file(second->state, target.c_str()); });
        first_rc = save_anim_file(first->state, target.c_str());
        other.join();
        EXPECT_EQ(first_rc, EXPORT_OK) << "round " << round;
        EXPECT_EQ(second_rc, EXPORT_OK) << "round " << round;
        const std::string text = read_file(target);
        EXPECT_TRUE(text == first_text || text == second_text) << "round " << round << ": a mixture of "
                                                               << text.size() << " bytes";
        EXPECT_EQ(entries(dir.folder()), std::vector<std::string>{"walk.smd"});
    }
}

}  // namespace
