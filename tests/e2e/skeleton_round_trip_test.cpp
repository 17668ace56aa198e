// A skeleton and its animation carried out of Layout by the exporters and
// back in by the skeleton importer, each through its built plug-in: the
// bones come back with their names, parents and rest poses, and the keys the
// sequence import makes give every bone the pose it had at every frame. The
// two sides share nothing but the files, so this holds the exporters' and
// the importer's conventions (axis swap, scale, rotation order and signs,
// frame numbering) to each other.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "host.h"
#include "loader.h"
#include "motion.h"
#include "scene_builder.h"
#include "ui_script.h"
#include <lwrender.h>
#include "../common/uv_template_pictures.h"

namespace {

using lwhost::Host;
using lwhost::Item;
using lwhost::ItemId;
using lwhost::SceneBuilder;

constexpr int LAST_FRAME = 20;

struct PlannedBone {
    const char* name;
    const char* parent;  // null for a root
    lwhost::Vec3 position;
    lwhost::Vec3 rotation;
};

// Two trees; every bone turned on all three axes, one of them past 90
// degrees of heading and one close to a pitch pole.
const PlannedBone BONES[] = {
    {"pelvis", nullptr, {0.0, 0.5, 0.0}, {0.3, -0.2, 0.1}},
    {"spine", "pelvis", {0.0, 0.3, 0.05}, {-0.4, 0.25, 0.6}},
    {"head", "spine", {0.02, 0.2, 0.0}, {2.2, 0.1, -0.3}},
    {"left arm", "spine", {0.15, 0.18, 0.0}, {0.0, 1.45, 0.7}},
    {"tail", nullptr, {0.0, 0.4, -0.2}, {0.0, 1.0, 0.0}},
};

// The source scene: one object carrying the bones, each bone keyed on all
// six channels at frames 0, 10 and 20 (TCB), the preview range 0..20.
void build_source(Host& host) {
    SceneBuilder b(host.scene);
    b.fps(30).preview(0, LAST_FRAME);
    lwhost::MeshBuilder mesh = b.mesh("C:/models/rig.lwo");
    const std::uint32_t p0 = mesh.point(0, 0, 0), p1 = mesh.point(1, 0, 0), p2 = mesh.point(0, 1, 0);
    mesh.triangle(p0, p1, p2);
    mesh.uv("UVMap", p0, 0.0f, 0.0f).uv("UVMap", p1, 1.0f, 0.0f).uv("UVMap", p2, 0.0f, 1.0f);
    const ItemId object = b.object("rig", mesh);
    std::map<std::string, ItemId> ids;
    int n = 0;
    for (const PlannedBone& planned : BONES) {
        const ItemId parent = planned.parent ? ids.at(planned.parent) : 0;
        lwhost::BoneBuilder bone = b.bone(object, planned.name, parent).rest(planned.position, planned.rotation).weight_map(planned.name);
        for (int frame = 0; frame <= LAST_FRAME; frame += 10) {
            const double wave = std::sin(0.15 * frame + n);
            for (int axis = 0; axis < 3; ++axis) {
                b.key(bone, lwhost::kPositionX + axis, frame, planned.position[std::size_t(axis)] + 0.05 * wave * (axis + 1));
                b.key(bone, lwhost::kHeading + axis, frame, planned.rotation[std::size_t(axis)] + 0.4 * wave / (axis + 1));
            }
        }
        ids[planned.name] = bone;
        ++n;
    }
    b.select(object);
}

void load(Host& host, const char* plugin) {
    std::string error;
    ASSERT_NE(host.plugins().load(std::string(LWSMD_PLUGIN_DIR) + "/" + plugin, &error), nullptr) << error;
}

const Item* bone_named(const Host& host, const std::string& name) {
    for (ItemId object : host.scene.items(lwhost::ItemType::Object))
        for (ItemId bone : host.scene.bones_of(object)) {
            const Item* item = host.scene.item(bone);
            if (item && item->name == name) return item;
        }
    return nullptr;
}

// The names in the files have their blanks turned into underscores.
std::string file_name_of(const char* name) {
    std::string text = name;
    for (char& c : text)
        if (c == ' ') c = '_';
    return text;
}

// Largest difference between the orientation matrices of two
// heading/pitch/bank triples: equal turns may be written as different angles.
double turn_difference(const double a[3], const double b[3]) {
    double ma[3][3], mb[3][3], worst = 0.0;
    lwhost::hpb_matrix(a, ma);
    lwhost::hpb_matrix(b, mb);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) worst = std::max(worst, std::fabs(ma[i][j] - mb[i][j]));
    return worst;
}

TEST(SkeletonRoundTrip, ExportedReferenceAndSequenceImportAsTheSamePoses) {
    uv_test::TempDir dir;
    const std::string reference = dir.file("rig.smd"), sequence = dir.file("rig_anim.smd");

    Host source;
    build_source(source);
    load(source, "rigwriter.so");
    load(source, "motionwriter.so");
    source.script().press("Save SMD file").answer_file(reference).close();
    ASSERT_EQ(0, source.run_generic("SMD Export Layout"));
    source.script().press("Save animation SMD file").answer_file(sequence).close();
    ASSERT_EQ(0, source.run_generic("SMD Animation"));
    for (const auto& note : source.diagnostics) ADD_FAILURE() << note;
    for (const auto& message : source.messages) ADD_FAILURE() << message.line1;
    ASSERT_TRUE(source.messages.empty());

    // Nothing selected: the importer makes its own null, at the origin like
    // the source object, so parent spaces and world space agree.
    Host target;
    SceneBuilder(target.scene).fps(30).preview(0, LAST_FRAME);
    load(target, "rigreader.so");
    target.script()
        .press("Import SMD reference file")
        .answer_file(reference)
        .press("Import SMD sequence file")
        .answer_file(sequence)
        .close();
    ASSERT_EQ(0, target.run_generic("SMD Skeleton Import"));
    for (const auto& message : target.messages) ADD_FAILURE() << message.line1;
    ASSERT_TRUE(target.messages.empty());

    for (const PlannedBone& planned : BONES) {
        SCOPED_TRACE(planned.name);
        const Item* before = bone_named(source, planned.name);
        const Item* after = bone_named(target, file_name_of(planned.name));
        ASSERT_NE(nullptr, before);
        ASSERT_NE(nullptr, after);
        const Item* parent = target.scene.item(after->parent);
        ASSERT_NE(nullptr, parent);
        if (planned.parent) EXPECT_EQ(file_name_of(planned.parent), parent->name);
        else EXPECT_EQ(lwhost::ItemType::Object, parent->type) << "a root hangs from the importer's null";

        // Rest pose: six decimals of 40 times the position, read back at
        // 0.025, and float angles.
        for (int axis = 0; axis < 3; ++axis)
            EXPECT_NEAR(before->bone.rest_position[axis], after->bone.rest_position[axis], 1e-6) << axis;
        EXPECT_LT(turn_difference(before->bone.rest_rotation, after->bone.rest_rotation), 2e-6);

        // Every frame of the sequence: the source's keyed channels there
        // against the target's keys, frame k of the file keyed at frame k.
        for (int frame = 0; frame <= LAST_FRAME; ++frame) {
            SCOPED_TRACE(frame);
            const double time = frame / 30.0;
            double want[3], got[3], want_turn[3], got_turn[3];
            lwhost::item_param(source.scene, before->id, LWIP_POSITION, time, want);
            lwhost::item_param(target.scene, after->id, LWIP_POSITION, time, got);
            lwhost::item_param(source.scene, before->id, LWIP_ROTATION, time, want_turn);
            lwhost::item_param(target.scene, after->id, LWIP_ROTATION, time, got_turn);
            for (int axis = 0; axis < 3; ++axis) EXPECT_NEAR(want[axis], got[axis], 1e-6) << axis;
            EXPECT_LT(turn_difference(want_turn, got_turn), 2e-6);
        }
    }
}

}  // namespace
