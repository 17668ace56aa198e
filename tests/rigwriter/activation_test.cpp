// The activation of "SMD Export Layout": the bounding-box threshold, the
// selection, and every message of its failure table. Most cases run the
// built plug-in; the few the host cannot provoke (a panel toolkit of another
// version, a service that goes away while the panel is open) call the
// activation in this process with a global function that changes what the
// host serves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <lwgeneric.h>
#include <lwhost.h>
#include <lwpanel.h>

#include "host.h"
#include "loader.h"
#include "panels.h"
#include "rig_scene.h"
#include "rigwriter.h"
#include "ui_script.h"
#include "../common/uv_template_pictures.h"

namespace lwhost::services {
int live_mesh_info_count() noexcept;
}

namespace {

using lwhost::Host;
using lwhost::SceneBuilder;

constexpr char kTitle[] = "SMD Reference Mesh Exporter by Tolvane";
constexpr char kNoObject[] = "Select object you want to export.";
constexpr char kNoGeometry[] = "Selected object doesn't contain any geometry.";
constexpr char kNoPanel[] = "Error creating user interface !";
constexpr char kSaveFailed[] = "Error saving SMD file!";

void load(Host& host) {
    std::string error;
    ASSERT_NE(host.plugins().load(rigtest::plugin_path(), &error), nullptr) << error;
}

std::vector<std::string> error_texts(const Host& host) {
    std::vector<std::string> texts;
    for (const lwhost::Message& message : host.messages) {
        EXPECT_EQ(message.level, lwhost::MessageLevel::Error) << message.line1;
        EXPECT_FALSE(message.has_line2) << message.line1;
        texts.push_back(message.line1);
    }
    return texts;
}

// An object of `points` points in a row and (with `polygons`) one triangle.
lwhost::ItemId add_object(SceneBuilder& b, const std::string& name, int points, bool polygons = true) {
    auto m = b.mesh("/models/" + name + ".lwo");
    for (int i = 0; i < points; ++i) m.point(i, i % 2, 0);
    if (polygons) m.triangle(0, 1, 2);
    return b.object(name, m);
}

TEST(RefActivation, RaisesTheBoxThresholdToTheLargestMeshAndPutsItBack) {
    {  // a larger object elsewhere decides; a null object has no mesh to count
        Host host;
        SceneBuilder b(host.scene);
        const lwhost::ItemId small = add_object(b, "small", 4);
        add_object(b, "large", 10);
        b.null_object("Null");
        b.box_threshold(3).select(small);
        load(host);
        host.script().close();
        ASSERT_EQ(host.run_generic("SMD Export Layout"), 0);
        EXPECT_EQ(host.command_log, (std::vector<std::string>{"BoundingBoxThreshold 11", "BoundingBoxThreshold 3"}));
        EXPECT_EQ(host.scene.settings.box_threshold, 3);
        EXPECT_EQ(host.panel_log().size(), 1u);
    }
    for (int threshold : {11, 12, 5000}) {  // large enough: no command at all
        Host host;
        SceneBuilder b(host.scene);
        add_object(b, "large", 10);
        b.box_threshold(threshold).select(add_object(b, "small", 4));
        load(host);
        host.script().close();
        ASSERT_EQ(host.run_generic("SMD Export Layout"), 0);
        EXPECT_TRUE(host.command_log.empty()) << threshold;
        EXPECT_EQ(host.scene.settings.box_threshold, threshold);
    }
    {  // one short: raised by one
        Host host;
        SceneBuilder b(host.scene);
        b.box_threshold(9).select(add_object(b, "large", 10));
        load(host);
        host.script().close();
        ASSERT_EQ(host.run_generic("SMD Export Layout"), 0);
        EXPECT_EQ(host.command_log, (std::vector<std::string>{"BoundingBoxThreshold 11", "BoundingBoxThreshold 9"}));
    }
}

TEST(RefActivation, ReportsWhatItCannotExport) {
    struct Case {
        const char* what;
        int threshold;
        std::vector<std::string> commands;
        std::string message;
    };
    enum Selection { NOTHING, LIGHT, NULL_OBJECT, NO_POLYGONS };
    const std::pair<Selection, Case> cases[] = {
        {NOTHING, {"nothing selected", 5000, {}, kNoObject}},
        {LIGHT, {"a light selected", 5000, {}, kNoObject}},
        {LIGHT, {"a light selected, threshold raised", 2, {"BoundingBoxThreshold 6", "BoundingBoxThreshold 2"}, kNoObject}},
        {NULL_OBJECT, {"a null object selected", 5000, {}, kNoGeometry}},
        {NO_POLYGONS, {"an object of points only", 5000, {}, kNoGeometry}},
        {NO_POLYGONS, {"points only, threshold raised", 4, {"BoundingBoxThreshold 6", "BoundingBoxThreshold 4"}, kNoGeometry}},
    };
    for (const auto& [selection, c] : cases) {
        Host host;
        SceneBuilder b(host.scene);
        add_object(b, "five", 5);
        const lwhost::ItemId light = b.light("Light");
        const lwhost::ItemId null = b.null_object("Null");
        const lwhost::ItemId points = add_object(b, "points", 3, false);
        b.box_threshold(c.threshold);
        if (selection == LIGHT) b.select(light);
        if (selection == NULL_OBJECT) b.select(light).select(null);
        if (selection == NO_POLYGONS) b.select(points);
        load(host);
        const int live_meshes = lwhost::services::live_mesh_info_count();
        ASSERT_EQ(host.run_generic("SMD Export Layout"), 0) << c.what;
        EXPECT_EQ(error_texts(host), std::vector<std::string>{c.message}) << c.what;
        EXPECT_EQ(host.command_log, c.commands) << c.what;
        EXPECT_EQ(host.scene.settings.box_threshold, c.threshold) << c.what;
        EXPECT_TRUE(host.panel_log().empty()) << c.what;
        EXPECT_EQ(lwhost::services::live_mesh_info_count(), live_meshes) << c.what;
    }
}

TEST(RefActivation, ExportsTheFirstSelectedObject) {
    Host host;
    SceneBuilder b(host.scene);
    const lwhost::ItemId light = b.light("Light");
    const lwhost::ItemId first = add_object(b, "first", 3);
    const lwhost::ItemId second = add_object(b, "second", 4);
    b.select(light).select(first).select(second);
    load(host);
    host.script().close();
    ASSERT_EQ(host.run_generic("SMD Export Layout"), 0);
    ASSERT_EQ(host.panel_log().size(), 1u);
    EXPECT_EQ(host.panel_log()[0].views[0].controls[0].label, "Object: /models/first.lwo");
    EXPECT_TRUE(host.messages.empty());
}

TEST(RefActivation, WithoutSceneObjectsNoPanelOpens) {
    Host host;
    SceneBuilder b(host.scene);
    b.select(add_object(b, "tri", 3));
    load(host);
    host.withhold("Scene Objects 4");
    ASSERT_EQ(host.run_generic("SMD Export Layout"), 0);
    EXPECT_TRUE(host.panel_log().empty());
    EXPECT_TRUE(host.messages.empty());
}

// ---- in this process, with the host's services changed on the way ---------------

// "Scene Objects 4" withdrawn when the save asks for the file requester.
void* scene_objects_gone_at_save(const char* name, int use) {
    if (name != nullptr && std::string(name) == LWFILEACTIVATEFUNC_GLOBAL)
        Host::current()->withhold("Scene Objects 4");
    return Host::global_function(name, use);
}

int evaluate(void* data, const char* text) { return static_cast<Host*>(data)->layout_command(text); }

int activate(Host& host, GlobalFunc* global = Host::global_function) {
    LWLayoutGeneric local{};
    local.data = &host;
    local.evaluate = evaluate;
    return ref_activate(2, global, &local, nullptr);
}

TEST(RefActivation, PanelThatCannotBeBuiltIsReported) {
    for (const lwhost::PanelFaults& failure : lwhost::panel_failures()) {
        Host host;
        host.panels().faults = failure;
        SceneBuilder b(host.scene);
        b.box_threshold(2).select(add_object(b, "tri", 3));
        const int live_meshes = lwhost::services::live_mesh_info_count();
        ASSERT_EQ(activate(host), 0);
        EXPECT_EQ(error_texts(host), std::vector<std::string>{kNoPanel});
        EXPECT_TRUE(host.panel_log().empty());
        EXPECT_EQ(host.panels().live_count(), 0u) << "a panel that cannot be used is destroyed";
        EXPECT_EQ(host.command_log, (std::vector<std::string>{"BoundingBoxThreshold 4", "BoundingBoxThreshold 2"}));
        EXPECT_EQ(lwhost::services::live_mesh_info_count(), live_meshes);
    }
}

TEST(RefActivation, SceneObjectsMissingAtSaveLeavesTheOldFile) {
    Host host;
    SceneBuilder b(host.scene);
    rigtest::build_rig(b);
    uv_test::TempDir dir;
    const std::string path = dir.file("rig.smd");
    {
        std::FILE* good = std::fopen(path.c_str(), "w");
        ASSERT_NE(good, nullptr);
        std::fputs("a good file\n", good);
        std::fclose(good);
    }
    host.script().press("Save SMD file").answer_file(path).close();
    ASSERT_EQ(activate(host, scene_objects_gone_at_save), 0);
    EXPECT_EQ(error_texts(host), std::vector<std::string>{kSaveFailed});
    EXPECT_EQ(rigtest::read_file(path), "a good file\n");
    EXPECT_FALSE(uv_test::exists(path + ".tmp"));
}

}  // namespace
