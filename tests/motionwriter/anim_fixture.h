// Shared set-up of the animation exporter's tests: the small animated
// skeleton of the golden file, a state filled the way the activation fills
// it, an access record like the host's, files in a private folder, and a
// byte-for-byte comparison that names the first differing line.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <lwrender.h>
#include <unistd.h>

#include "anim_state.h"
#include "host.h"
#include "loader.h"
#include "motion.h"
#include "scene_builder.h"
#include "../temp_dir.h"
#include "test_files.h"

namespace animtest {

using lwhost::ItemId;
using lwhost::SpanType;

inline LWItemID lw_item(ItemId id) { return reinterpret_cast<LWItemID>(static_cast<std::uintptr_t>(id)); }

inline std::string plugin_path() { return std::string(LWSMD_PLUGIN_DIR) + "/motionwriter.so"; }
inline std::string data_path(const std::string& name) {
    return std::string(LWSMD_TEST_DATA) + "/motionwriter/" + name;
}

using test_support::read_file;

inline bool file_exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// Empty when the texts are equal byte for byte; otherwise the first line that
// differs (numbered from 1), both versions, or which text ends first.
inline std::string first_difference(const std::string& expected, const std::string& actual) {
    if (expected == actual) return {};
    std::size_t line = 1, start = 0;
    for (std::size_t i = 0; i < expected.size() && i < actual.size(); ++i) {
        if (expected[i] != actual[i]) break;
        if (expected[i] == '\n') {
            ++line;
            start = i + 1;
        }
    }
    auto line_at = [start](const std::string& text) {
        std::string quoted;
        if (start >= text.size()) return quoted.append("<end of file>");
        std::size_t end = text.find('\n', start);
        quoted.push_back('"');
        quoted.append(text, start, end == std::string::npos ? std::string::npos : end - start);
        quoted.push_back('"');
        return quoted;
    };
    return "line " + std::to_string(line) + ": expected " + line_at(expected) + ", written " + line_at(actual);
}

// A private folder, removed with its files when the test ends.
using TempDir = test_files::TempDir;

// The golden skeleton: object "walker" at (0.25, 0, 0) with two bone trees,
// keyed on frames 0, 2, 3 and 4 with linear spans and identical values on
// frames 2 and 3, so that frame 3 changes nothing.
//   pelvis (root)   position and rotation keys
//     spine         pitch keys, pivot rotation bank 0.3
//       head        null bone (no weight map), bank keys, still from frame 2
//     thigh         goal-oriented at the null "target"; its own heading keys
//                   must not matter
//   tail (root)     no keys: holds its rest pose, never moves
//     tail_tip      heading keys
// The bones are created thigh, tail, pelvis, spine, head, tail_tip, and thigh
// is then moved under pelvis, so the enumeration reaches the pelvis tree first
// through thigh.
struct WalkScene {
    ItemId object = 0, target = 0;
    ItemId pelvis = 0, spine = 0, head = 0, thigh = 0, tail = 0, tail_tip = 0;
};

inline void keys(lwhost::SceneBuilder& b, ItemId item, int channel, std::vector<std::pair<int, double>> frames) {
    for (auto [frame, value] : frames) b.key(item, channel, frame, value, SpanType::Linear);
}

inline WalkScene build_walk_scene(lwhost::SceneBuilder& b) {
    using namespace lwhost;
    WalkScene s;
    b.fps(24).preview(0, 4).scene_file("C:/scenes/walk_cycle.lws");
    MeshBuilder mesh = b.mesh("C:/models/walker.lwo");
    mesh.triangle(mesh.point(0, 0, 0), mesh.point(1, 0, 0), mesh.point(0, 1, 0));
    s.object = b.object("walker", mesh).position({0.25, 0, 0});
    s.target = b.null_object("target");
    keys(b, s.target, kHeading, {{0, 0.3}, {2, 0.6}, {3, 0.6}, {4, 0.9}});
    keys(b, s.target, kPitch, {{0, 0.1}, {2, 0.2}, {3, 0.2}, {4, 0.2}});
    keys(b, s.target, kBank, {{0, 0.0}, {2, 0.1}, {3, 0.1}, {4, -0.1}});

    s.thigh = b.bone(s.object, "thigh").rest({0.1, -0.2, 0}, {0, 0, 0}).weight_map("thigh")
                  .flags(LWITEMF_GOAL_ORIENT).goal(s.target);
    keys(b, s.thigh, kHeading, {{0, 1.0}, {4, -1.0}});
    s.tail = b.bone(s.object, "tail").rest({-0.5, 0.75, 0.125}, {0.1, 0, 0}).weight_map("tail");
    s.pelvis = b.bone(s.object, "pelvis").weight_map("pelvis");
    keys(b, s.pelvis, kPositionX, {{0, 0.0}, {2, 0.5}, {3, 0.5}, {4, 0.5}});
    keys(b, s.pelvis, kPositionY, {{0, 1.0}, {2, 1.0}, {3, 1.0}, {4, 1.25}});
    keys(b, s.pelvis, kPositionZ, {{0, 0.0}, {2, 0.25}, {3, 0.25}, {4, 0.25}});
    keys(b, s.pelvis, kHeading, {{0, 0.0}, {2, 0.5}, {3, 0.5}, {4, 0.5}});
    keys(b, s.pelvis, kPitch, {{0, 0.0}, {2, 0.0}, {3, 0.0}, {4, 0.25}});
    s.spine = b.bone(s.object, "spine", s.pelvis).rest({0, 0.5, 0}, {0, 0, 0}).weight_map("spine")
                  .pivot_rotation({0, 0, 0.3});
    keys(b, s.spine, kPitch, {{0, 0.0}, {2, 0.4}, {3, 0.4}, {4, 0.2}});
    s.head = b.bone(s.object, "head", s.spine).rest({0, 0.3, 0}, {0, 0, 0});
    keys(b, s.head, kBank, {{0, 0.0}, {2, 0.2}, {3, 0.2}, {4, 0.2}});
    s.tail_tip = b.bone(s.object, "tail_tip", s.tail).rest({0, 0, 0.5}, {0, 0, 0}).weight_map("tail_tip");
    keys(b, s.tail_tip, kHeading, {{0, 0.0}, {2, -0.3}, {3, -0.3}, {4, -0.6}});
    b.item(s.thigh).parent(s.pelvis);
    b.select(s.object);
    return s;
}

// The host's item motion access for one item at one frame: getParam gives
// the evaluated channels, as Layout hands them to a handler.
struct Access {
    static inline lwhost::Host* host = nullptr;
    static inline ItemId item = 0;
    static void get_param(LWItemParam param, LWTime time, LWDVector out) {
        lwhost::item_param(host->scene, item, param, time, out);
    }
    static LWItemMotionAccess at(lwhost::Host& h, ItemId id, int frame) {
        host = &h;
        item = id;
        LWItemMotionAccess access{};
        access.item = lw_item(id);
        access.frame = frame;
        access.time = frame / h.scene.settings.frames_per_second;
        access.getParam = get_param;
        return access;
    }
};

// A host, a scene and an AnimExportState set up as the activation sets it;
// the state is released (and withdrawn) when the fixture goes.
struct AnimFixture {
    lwhost::Host host;
    lwhost::SceneBuilder builder{host.scene};
    AnimExportState state{};

    ~AnimFixture() { release_export_state(state); }

    void prepare(ItemId object) {
        state.global = &lwhost::Host::global_function;
        state.itemInfo = static_cast<const LWItemInfo*>(host.global(LWITEMINFO_GLOBAL, 0));
        state.objectInfo = static_cast<const LWObjectInfo*>(host.global(LWOBJECTINFO_GLOBAL, 0));
        state.msgFuncs = static_cast<const LWMessageFuncs*>(host.global(LWMESSAGEFUNCS_GLOBAL, 0));
        state.object = lw_item(object);
        state.includeNullBones = 1;
        state.scale = 40.0f;
        state.firstFrame = host.scene.settings.preview_start;
        state.lastFrame = host.scene.settings.preview_end;
        state.frameStep = 1;
    }

    void collect(ItemId object) {
        prepare(object);
        prepare_bones(state);
        ASSERT_EQ(collect_bones(&state), EXPORT_OK);
    }

    AnimBone* bone(ItemId id) {
        for (int i = 0; i < state.boneCount; ++i)
            if (state.bones[i].id == lw_item(id)) return &state.bones[i];
        return nullptr;
    }

    // Samples every collected bone at every frame of the range, as the host
    // would during the export's frame stepping.
    void sample_range() {
        ASSERT_EQ(alloc_bone_samples(state), EXPORT_OK);
        for (int frame = state.firstFrame; frame <= state.lastFrame; ++frame)
            for (int i = 0; i < state.bonesAdded; ++i) {
                LWItemMotionAccess access = Access::at(host, ItemId(reinterpret_cast<std::uintptr_t>(state.bones[i].id)), frame);
                sample_bone_pose(state, state.bones[i], access);
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

    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (int i = 0; i < state.bonesAdded; ++i) out.push_back(state.bones[i].name ? state.bones[i].name.get() : "<null>");
        return out;
    }
};

}  // namespace animtest
