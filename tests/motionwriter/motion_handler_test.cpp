// The "SMD_Anim_Motion" handler's instances and the shared block: what an
// evaluation records, and when it records nothing.
#include <gtest/gtest.h>

#include <cstring>

#include <lwglobsrv.h>

#include "anim_fixture.h"
#include "motionwriter.h"

namespace {

using namespace animtest;

struct Handler {
    LWInstanceFuncs inst{};
    LWItemFuncs item{};
    LWItemMotionHandler local{&inst, &item, nullptr, nullptr};

    Handler() { EXPECT_EQ(anim_motion_activate(4, &lwhost::Host::global_function, &local, nullptr), AFUNC_OK); }

    LWInstance create(ItemId item_id, LWError* error = nullptr) {
        LWError ignored = nullptr;
        return inst.create(inst.priv, reinterpret_cast<void*>(std::uintptr_t(item_id)), error ? error : &ignored);
    }
};

void* block_pointer(lwhost::Host& host) {
    for (auto& block : host.memory_blocks)
        if (block->id == "smd_anim_mem") {
            void* stored = nullptr;
            std::memcpy(&stored, block->bytes.data(), sizeof stored);
            return stored;
        }
    return reinterpret_cast<void*>(std::uintptr_t(1));  // no block at all
}

TEST(AnimHandler, InstancesDescribeTheirWholeItemAndCopy) {
    lwhost::Host host;
    Handler h;
    LWInstance small = h.create(255);
    EXPECT_STREQ(h.inst.descln(small), "SMD Anim item=ff");
    // A pointer-sized ID is described whole, not cut to 32 bits.
    LWError error = nullptr;
    LWInstance wide = h.inst.create(h.inst.priv, reinterpret_cast<void*>(std::uintptr_t(0x12345678abULL)), &error);
    EXPECT_EQ(error, nullptr);
    EXPECT_STREQ(h.inst.descln(wide), "SMD Anim item=12345678ab");
    EXPECT_EQ(h.inst.copy(wide, small), nullptr);
    EXPECT_STREQ(h.inst.descln(wide), "SMD Anim item=ff");
    EXPECT_EQ(h.inst.load(small, nullptr), nullptr);
    EXPECT_EQ(h.inst.save(small, nullptr), nullptr);
    h.inst.destroy(small);
    h.inst.destroy(wide);
    // Both instances found the one block, made once.
    EXPECT_EQ(host.memory_blocks.size(), 1u);
}

TEST(AnimHandler, AnOlderFourByteBlockIsRefusedNotOverrun) {
    AnimFixture f;
    auto* pool = static_cast<LWGlobalPool*>(f.host.global(LWGLOBALPOOL_RENDER_GLOBAL, 0));
    ASSERT_NE(pool->create("smd_anim_mem", 4), nullptr);
    Handler h;
    LWError error = nullptr;
    LWInstance instance = h.create(1, &error);
    ASSERT_NE(instance, nullptr);
    EXPECT_STREQ(error, "Couldn't allocate instance data.");
    h.inst.destroy(instance);
    WalkScene s = build_walk_scene(f.builder);
    f.prepare(s.object);
    EXPECT_EQ(publish_export_state(f.state), EXPORT_NO_SERVICE);
    prepare_bones(f.state);
    EXPECT_EQ(f.state.boneCount, 0);  // the activation then reports "no skeletal information"
}

TEST(AnimHandler, EvaluationRecordsOnlyTheExportedBonesInsideTheRange) {
    AnimFixture f;
    WalkScene s = build_walk_scene(f.builder);
    Handler h;
    LWInstance pelvis = h.create(s.pelvis);
    LWInstance target = h.create(s.target);  // carries the handler, is no bone of the export
    EXPECT_EQ(block_pointer(f.host), nullptr);  // a new block reads as null

    // No export running: nothing happens, whatever is evaluated.
    LWItemMotionAccess at2 = Access::at(f.host, s.pelvis, 2);
    h.local.evaluate(pelvis, &at2);
    h.local.evaluate(nullptr, &at2);
    h.local.evaluate(pelvis, nullptr);

    ASSERT_NO_FATAL_FAILURE(f.collect(s.object));
    EXPECT_EQ(block_pointer(f.host), &f.state);
    f.state.firstFrame = 1;
    f.state.lastFrame = 3;
    ASSERT_EQ(alloc_bone_samples(f.state), EXPORT_OK);
    AnimBone& record = *f.bone(s.pelvis);
    for (int frame = 0; frame <= 4; ++frame) {
        LWItemMotionAccess access = Access::at(f.host, s.pelvis, frame);
        h.local.evaluate(pelvis, &access);
        LWItemMotionAccess other = Access::at(f.host, s.target, frame);
        h.local.evaluate(target, &other);
    }
    // Frames 1 and 3, the ends of the range, are recorded: pelvis x is 0.25
    // and 0.5 there, plus the object's 0.25.
    EXPECT_EQ(record.positions[0][0], 0.5);
    EXPECT_EQ(record.positions[1][0], 0.75);
    EXPECT_EQ(record.positions[2][0], 0.75);
    // Nothing else got samples: the target is no exported bone.
    for (int i = 0; i < f.state.boneCount; ++i) {
        if (&f.state.bones[i] == &record) continue;
        for (int k = 0; k < 3; ++k) EXPECT_EQ(f.state.bones[i].positions[k][0], 0.0) << i;
    }

    // Frames just outside the range, set after the arrays were sized, are
    // refused by the range check before the arrays are touched.
    record.positions[0][0] = -1;
    f.state.firstFrame = 2;
    LWItemMotionAccess at1 = Access::at(f.host, s.pelvis, 1);
    h.local.evaluate(pelvis, &at1);
    EXPECT_EQ(record.positions[0][0], -1);

    // Once withdrawn, the instance is inert again.
    withdraw_export_state(f.state);
    EXPECT_EQ(block_pointer(f.host), nullptr);
    f.state.firstFrame = 1;
    h.local.evaluate(pelvis, &at1);
    EXPECT_EQ(record.positions[0][0], -1);
    h.inst.destroy(pelvis);
    h.inst.destroy(target);
}

}  // namespace
