// What the scene refuses so that it stays usable: a parent that would close
// a loop, and more bones on one object than its item IDs can number.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "host.h"
#include "scene.h"
#include "scene_builder.h"

namespace lwhost {
namespace {

TEST(SceneGuards, AParentLoopIsRefusedWhereverParentsAreSet) {
    Host host;
    SceneBuilder b(host.scene);
    const ItemId object = b.null_object("rig");
    const ItemId a = b.bone(object, "a");
    const ItemId b1 = b.bone(object, "b", a);
    const ItemId c = b.bone(object, "c", b1);

    // Directly: the item itself and each of its descendants.
    for (ItemId below : {a, b1, c}) {
        EXPECT_FALSE(host.scene.set_parent(a, below)) << std::hex << below;
        EXPECT_EQ(host.scene.item(a)->parent, object);
    }
    EXPECT_EQ(host.scene.item(b1)->children, std::vector<ItemId>{c});
    // Through the builder: an error the caller sees, the scene unchanged.
    EXPECT_THROW(b.item(a).parent(c), std::invalid_argument);
    EXPECT_EQ(host.scene.item(a)->parent, object);
    EXPECT_EQ(host.scene.item(c)->children, std::vector<ItemId>{});
    // A move that closes no loop still works, and so does un-parenting.
    EXPECT_TRUE(host.scene.set_parent(c, a));
    EXPECT_EQ(host.scene.item(c)->parent, a);
    EXPECT_TRUE(host.scene.set_parent(c, 0));
    EXPECT_EQ(host.scene.item(c)->parent, 0u);
}

TEST(SceneGuards, AnObjectHoldsAtMost4095Bones) {
    Host host;
    SceneBuilder b(host.scene);
    const ItemId object = b.null_object("rig");
    for (std::size_t i = 0; i < Scene::kMaxBonesPerObject; ++i) {
        std::string name = "b";
        name += std::to_string(i);  // not "b" + ...: g++ 12 warns about that falsely
        b.bone(object, name);
    }
    const ItemId last = host.scene.bones_of(object).back();
    ASSERT_NE(host.scene.item(last), nullptr);
    EXPECT_EQ(host.scene.item(last)->name, "b4094");

    EXPECT_EQ(host.scene.add_bone(object, "one too many"), 0u);
    try {
        b.bone(object, "one too many");
        ADD_FAILURE() << "the builder took a 4,096th bone";
    } catch (const std::invalid_argument& error) {
        EXPECT_NE(std::string(error.what()).find("4,095"), std::string::npos) << error.what();
    }
    // "AddBone": not carried out, and a note says why.
    host.scene.selection.assign(1, object);
    EXPECT_EQ(host.layout_command("AddBone extra"), 0);
    ASSERT_FALSE(host.diagnostics.empty());
    EXPECT_NE(host.diagnostics.back().find("4,095"), std::string::npos) << host.diagnostics.back();
    EXPECT_EQ(host.scene.bones_of(object).size(), Scene::kMaxBonesPerObject);
    EXPECT_EQ(host.scene.selection, std::vector<ItemId>{object});
}

}  // namespace
}  // namespace lwhost
