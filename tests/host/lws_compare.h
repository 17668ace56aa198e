// Whether two scenes hold the same items as a scene file carries them: for
// tests that save a scene and load it again. Angles the file writes in
// degrees come back within rounding; everything else must be equal. A
// channel without keys may come back as the one key a scene file needs,
// holding the value the channel had.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include "motion.h"
#include "scene.h"

namespace lws_test {

inline std::filesystem::path mesh_file(const lwhost::Scene& scene, const lwhost::Item& item) {
    if (item.mesh < 0) return {};
    return std::filesystem::path(scene.meshes[std::size_t(item.mesh)]->filename).lexically_normal();
}

inline void expect_same_envelope(const lwhost::Item& before, const lwhost::Item& after, int channel) {
    const lwhost::Envelope& a = before.motion[std::size_t(channel)];
    const lwhost::Envelope& b = after.motion[std::size_t(channel)];
    SCOPED_TRACE("channel " + std::to_string(channel));
    if (a.keys.empty() && b.keys.size() == 1) {
        EXPECT_EQ(b.keys[0].time, 0.0);
        EXPECT_EQ(b.keys[0].value, lwhost::channel_value(before, channel, 0.0));
        return;
    }
    ASSERT_EQ(a.keys.size(), b.keys.size());
    for (std::size_t k = 0; k < a.keys.size(); ++k) {
        SCOPED_TRACE("key " + std::to_string(k));
        EXPECT_EQ(a.keys[k].time, b.keys[k].time);
        EXPECT_EQ(a.keys[k].value, b.keys[k].value);
        EXPECT_EQ(a.keys[k].shape, b.keys[k].shape);
        const lwhost::KeyParams& pa = a.params(a.keys[k]);
        const lwhost::KeyParams& pb = b.params(b.keys[k]);
        // A TCB key's fourth number is no span parameter; the file has no place for it.
        const int used = a.keys[k].shape == lwhost::SpanType::Bezier2D ? 4
                         : a.keys[k].shape == lwhost::SpanType::Hermite || a.keys[k].shape == lwhost::SpanType::Bezier1D ? 2
                                                                                                                         : 3;
        for (int i = 0; i < used; ++i) EXPECT_EQ(pa.param[i], pb.param[i]) << "parameter " << i;
    }
    EXPECT_EQ(a.pre, b.pre);
    EXPECT_EQ(a.post, b.post);
}

inline void expect_same_item(const lwhost::Scene& sa, const lwhost::Item& a, const lwhost::Scene& sb,
                             const lwhost::Item& b, int channels) {
    SCOPED_TRACE(a.name);
    EXPECT_EQ(a.id, b.id);
    EXPECT_EQ(a.type, b.type);
    if (a.type != lwhost::ItemType::Object || a.mesh < 0) {
        EXPECT_EQ(a.name, b.name);
    }
    EXPECT_EQ(a.parent, b.parent);
    // A file lists items by type and number, so children come back in that order.
    std::vector<lwhost::ItemId> children_a = a.children, children_b = b.children;
    std::sort(children_a.begin(), children_a.end());
    std::sort(children_b.begin(), children_b.end());
    EXPECT_EQ(children_a, children_b);
    EXPECT_EQ(a.target, b.target);
    EXPECT_EQ(a.goal, b.goal);
    EXPECT_EQ(a.goal_strength, b.goal_strength);
    EXPECT_EQ(a.flags, b.flags);
    EXPECT_EQ(mesh_file(sa, a), mesh_file(sb, b));
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(a.pivot[k], b.pivot[k]);
        EXPECT_NEAR(a.pivot_rotation[k], b.pivot_rotation[k], 1e-12);
    }
    for (int channel = 0; channel < channels; ++channel) expect_same_envelope(a, b, channel);
    if (a.type != lwhost::ItemType::Bone) return;
    EXPECT_EQ(a.bone.object, b.bone.object);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(a.bone.rest_position[k], b.bone.rest_position[k]);
        EXPECT_NEAR(a.bone.rest_rotation[k], b.bone.rest_rotation[k], 1e-12);
    }
    EXPECT_EQ(a.bone.rest_length, b.bone.rest_length);
    EXPECT_EQ(a.bone.weight_map, b.bone.weight_map);
    EXPECT_EQ(a.bone.weight_map_only, b.bone.weight_map_only);
    EXPECT_EQ(a.bone.strength, b.bone.strength);
    EXPECT_EQ(a.bone.flags, b.bone.flags);
    EXPECT_EQ(a.bone.falloff, b.bone.falloff);
}

// Items, their order, parents, keys and bone data, and the scene settings a
// file keeps.
inline void expect_same_scene(const lwhost::Scene& a, const lwhost::Scene& b) {
    using lwhost::ItemType;
    const auto& sa = a.settings;
    const auto& sb = b.settings;
    EXPECT_EQ(sa.frames_per_second, sb.frames_per_second);
    EXPECT_EQ(sa.frame_start, sb.frame_start);
    EXPECT_EQ(sa.frame_end, sb.frame_end);
    EXPECT_EQ(sa.frame_step, sb.frame_step);
    EXPECT_EQ(sa.preview_start, sb.preview_start);
    EXPECT_EQ(sa.preview_end, sb.preview_end);
    EXPECT_EQ(sa.preview_step, sb.preview_step);
    EXPECT_NEAR(sa.time, sb.time, 1e-12);
    for (ItemType type : {ItemType::Object, ItemType::Light, ItemType::Camera}) {
        ASSERT_EQ(a.items(type), b.items(type));
        // Cameras have no scale channels in a scene file.
        const int channels = type == ItemType::Camera ? lwhost::kScaleX : lwhost::kChannelCount;
        for (lwhost::ItemId id : a.items(type)) {
            expect_same_item(a, *a.item(id), b, *b.item(id), channels);
            if (type != ItemType::Object) continue;
            ASSERT_EQ(a.bones_of(id), b.bones_of(id));
            for (lwhost::ItemId bone : a.bones_of(id))
                expect_same_item(a, *a.item(bone), b, *b.item(bone), lwhost::kChannelCount);
        }
    }
}

}  // namespace lws_test
