// The UV template exporter as rigwriter uses it: rendering from the Layout
// mesh info of the selected object, the panel as the host records it, and
// the save flow driven by the user script. Written Targa files are decoded
// and compared with pictures the test draws itself.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include <lwhost.h>
#include <lwimage.h>
#include <lwmeshes.h>
#include <lwpanel.h>
#include <lwrender.h>
#include <sys/stat.h>

#include "host.h"
#include "panels.h"
#include "scene_builder.h"
#include "ui_script.h"
#include "uv_template.h"
#include "uv_template_pictures.h"
#include "../unprivileged.h"

namespace {

using namespace uv_test;

TEST(UvTemplateRender, DrawsTheFacesOfTheLayoutObject) {
    ScanScene scene;
    auto* objects = static_cast<LWObjectInfo*>(scene.host.global(LWOBJECTINFO_GLOBAL, 0));
    ASSERT_NE(objects, nullptr);
    LWMeshInfo* mesh = objects->meshInfo(reinterpret_cast<LWItemID>(std::uintptr_t(scene.object)), 1);
    ASSERT_NE(mesh, nullptr);
    const MeshSource polygons = mesh_source_layout(mesh);

    expect_shared_cases(scene.host, polygons);
    {  // only the object's layer, and only polygons of 3 or more points
        Rgb blue{0, 0, 255};
        Picture expected(100, WHITE);
        expected.outline({{25, 75}, {75, 75}, {50, 25}}, blue);
        EXPECT_EQ(difference(render(scene.host, polygons, "Triangle", 100, blue, WHITE), expected), "");
    }
    if (mesh->destroy) mesh->destroy(mesh);
    EXPECT_TRUE(scene.host.diagnostics.empty()) << scene.host.diagnostics.front();
}

// ---- the panel and the save flow --------------------------------------------------

// Two UV maps, "Zeta" made before "Alpha", on one triangle.
struct PanelScene {
    Host host;
    lwhost::ItemId object = 0;
    LWMeshInfo* mesh = nullptr;

    PanelScene() {
        SceneBuilder b(host.scene);
        auto m = b.mesh("/models/tri.lwo");
        auto t0 = m.point(0, 0, 0), t1 = m.point(1, 0, 0), t2 = m.point(0, 1, 0);
        m.triangle(t0, t1, t2);
        m.uv("Zeta", t0, 0.25f, 0.25f).uv("Zeta", t1, 0.75f, 0.25f).uv("Zeta", t2, 0.5f, 0.75f);
        m.uv("Alpha", t0, 0.1f, 0.1f).uv("Alpha", t1, 0.9f, 0.1f).uv("Alpha", t2, 0.1f, 0.9f);
        object = b.object("tri", m);
        auto* objects = static_cast<LWObjectInfo*>(host.global(LWOBJECTINFO_GLOBAL, 0));
        mesh = objects->meshInfo(reinterpret_cast<LWItemID>(std::uintptr_t(object)), 1);
    }
    ~PanelScene() {
        if (mesh && mesh->destroy) mesh->destroy(mesh);
    }
    UvTemplateSource source() { return source_for(host, mesh_source_layout(mesh)); }
    // Opens the panel; the script must already hold what the user does.
    int open() {
        const UvTemplateSource request = source();
        return uv_template_open(nullptr, request);
    }
    std::vector<std::string> error_texts() const {
        std::vector<std::string> texts;
        for (const lwhost::Message& message : host.messages)
            texts.push_back(message.line1 + (message.has_line2 ? "|" + message.line2 : ""));
        return texts;
    }
};

TEST(UvTemplatePanel, ShowsItsControlsAtTheirPlaces) {
    PanelScene scene;
    scene.host.script().close();
    ASSERT_EQ(scene.open(), UV_TEMPLATE_OK);

    ASSERT_EQ(scene.host.panel_log().size(), 1u);
    const lwhost::PanelRecord& record = scene.host.panel_log().front();
    EXPECT_EQ(record.title, "UV Template Exporter");
    EXPECT_EQ(record.width, 320);
    EXPECT_EQ(record.height, 210);
    EXPECT_EQ(record.flags, PANF_BLOCKING | PANF_CANCEL);
    EXPECT_EQ(scene.host.panels().live_count(), 0u) << "the panel is destroyed after it closes";

    const lwhost::PanelView& shown = record.views.front();
    struct Expected {
        const char* type;
        const char* label;
        int x, y;
    };
    // "150 minus label" with the host's 7 pixels per label byte.
    const Expected expected[] = {
        {"CustomPopupControl", "UV Map:", 150 - 7 * 7, 10},
        {"NumControl", "UV Template Image Size:", 150 - 7 * 23, 35},
        {"MiniRGBControl", "Foreground Color", 150 - 7 * 16, 60},
        {"MiniRGBControl", "Background Color", 150 - 7 * 16, 85},
        {"ButtonControl", "Save UV Template Image", 245, 130},
    };
    ASSERT_EQ(shown.controls.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const lwhost::ControlView& control = shown.controls[i];
        EXPECT_EQ(control.type, expected[i].type) << i;
        EXPECT_EQ(control.label, expected[i].label) << i;
        EXPECT_EQ(control.x, expected[i].x) << control.label;
        EXPECT_EQ(control.y, expected[i].y) << control.label;
        EXPECT_FALSE(control.ghosted) << control.label;
    }
    const lwhost::ControlView* popup = shown.control("UV Map:");
    EXPECT_EQ(popup->w, 7 * 7 + 180);
    EXPECT_EQ(popup->items, (std::vector<std::string>{"Zeta", "Alpha"})) << "the host's order, not sorted";
    EXPECT_EQ(popup->int_value, 0);
    EXPECT_EQ(shown.control("UV Template Image Size:")->int_value, 512);
    const int* foreground = shown.control("Foreground Color")->rgb;
    const int* background = shown.control("Background Color")->rgb;
    EXPECT_EQ(std::vector<int>(foreground, foreground + 3), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(std::vector<int>(background, background + 3), (std::vector<int>{255, 255, 255}));
    EXPECT_TRUE(scene.host.messages.empty());
    EXPECT_TRUE(scene.host.file_requests.empty());
}

TEST(UvTemplatePanel, SavesTheChosenMapThroughTheRequester) {
    PanelScene scene;
    TempDir dir;
    const std::string alpha = dir.file("alpha picture.tga");
    scene.host.script()
        .pick("UV Map:", "Alpha")
        .set("UV Template Image Size:", 40)
        .set_rgb("Foreground Color", 255, 128, 0)
        .set_rgb("Background Color", 0, 0, 64)
        .press("Save UV Template Image")
        .answer_file(alpha)
        .close();
    ASSERT_EQ(scene.open(), UV_TEMPLATE_OK);

    ASSERT_EQ(scene.host.file_requests.size(), 1u);
    const lwhost::FileRequestRecord& request = scene.host.file_requests.front();
    EXPECT_EQ(request.version, 3);
    EXPECT_EQ(request.type, FREQ_SAVE);
    EXPECT_EQ(request.title, "Save TGA Image");
    EXPECT_EQ(request.file_type, "Images");
    EXPECT_EQ(request.base_name_in, "Alpha.tga");
    EXPECT_EQ(request.buffer_length, 1024);

    Picture expected(40, Rgb{0, 0, 64});
    expected.outline({{4, 36}, {36, 36}, {4, 4}}, Rgb{255, 128, 0});
    EXPECT_EQ(difference(read_targa(alpha), expected), "");
    EXPECT_TRUE(scene.host.messages.empty());

    // Next time the panel starts from the defaults again, the requester from
    // the folder chosen last.
    const std::string zeta = dir.file("zeta.tga");
    scene.host.script().press("Save UV Template Image").answer_file(zeta).close();
    ASSERT_EQ(scene.open(), UV_TEMPLATE_OK);
    ASSERT_EQ(scene.host.file_requests.size(), 2u);
    EXPECT_EQ(scene.host.file_requests[1].base_name_in, "Zeta.tga");
    EXPECT_EQ(scene.host.file_requests[1].path_in, dir.folder());
    Picture defaults(512, WHITE);
    defaults.outline({{128, 384}, {384, 384}, {256, 128}}, BLACK);
    EXPECT_EQ(difference(read_targa(zeta), defaults), "");
}

TEST(UvTemplatePanel, WritesNothingWhenTheUserOrTheHostStopsIt) {
    PanelScene scene;
    TempDir dir;
    const std::string path = dir.file("out.tga");
    {  // cancelled, failed requester, size 0 or below: nothing, silently
        scene.host.script()
            .press("Save UV Template Image")
            .cancel_file()
            .press("Save UV Template Image")
            .fail_file()
            .set("UV Template Image Size:", 0)
            .press("Save UV Template Image")
            .answer_file(path)
            .set("UV Template Image Size:", -5)
            .press("Save UV Template Image")
            .answer_file(path)
            .close();
        ASSERT_EQ(scene.open(), UV_TEMPLATE_OK);
        EXPECT_EQ(scene.host.file_requests.size(), 4u);
        EXPECT_FALSE(exists(path));
        EXPECT_TRUE(scene.host.messages.empty());
        EXPECT_TRUE(scene.host.script().finished());
    }
    {  // the image services are missing: the user hears of it
        scene.host.withhold(LWIMAGEUTIL_GLOBAL);
        scene.host.script().press("Save UV Template Image").answer_file(path).close();
        ASSERT_EQ(scene.open(), UV_TEMPLATE_OK);
        EXPECT_FALSE(exists(path));
        EXPECT_EQ(scene.error_texts(), std::vector<std::string>{"Error saving UV Template Image!"});
        EXPECT_EQ(scene.host.messages.back().level, lwhost::MessageLevel::Error);
        scene.host.serve(LWIMAGEUTIL_GLOBAL);
        scene.host.messages.clear();
    }
    {  // the saver fails (no such folder): not reported as success
        const std::string lost = dir.file("no such folder/out.tga");
        scene.host.script().press("Save UV Template Image").answer_file(lost).close();
        ASSERT_EQ(scene.open(), UV_TEMPLATE_OK);
        EXPECT_FALSE(exists(lost));
        EXPECT_EQ(scene.error_texts(), std::vector<std::string>{"Error saving UV Template Image!"});
        scene.host.messages.clear();
    }
    {  // a read-only picture is kept, not replaced: the user hears of it
        const std::string locked = dir.file("locked.tga");
        { std::ofstream(locked, std::ios::binary) << "old"; }
        ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
        scene.host.script().press("Save UV Template Image").answer_file(locked).close();
        {
            test_files::Unprivileged user(dir.folder());
            ASSERT_TRUE(user.active());
            ASSERT_EQ(scene.open(), UV_TEMPLATE_OK);
        }
        const std::string kept_text = test_support::read_file(locked);
        EXPECT_TRUE(kept_text == "old") << "replaced by " << kept_text.size() << " bytes";
        EXPECT_EQ(scene.error_texts(), std::vector<std::string>{"Error saving UV Template Image!"});
        scene.host.messages.clear();
    }
    {  // without "Scene Objects 4" the popup is empty, whatever the exporter counted, and Save asks nothing
        const UvTemplateSource counted = scene.source();
        ASSERT_EQ(counted.uv_map_count, 2);
        scene.host.withhold(LWOBJECTFUNCS_GLOBAL);
        const std::size_t requests = scene.host.file_requests.size();
        scene.host.script().press("Save UV Template Image").close();
        ASSERT_EQ(uv_template_open(nullptr, counted), UV_TEMPLATE_OK);
        EXPECT_TRUE(scene.host.panel_log().back().views.front().control("UV Map:")->items.empty());
        EXPECT_EQ(scene.host.file_requests.size(), requests);
        EXPECT_TRUE(scene.host.messages.empty());
    }
}

}  // namespace
