// The UV template exporter as meshwriter uses it: the rasteriser against the
// incremental Bresenham loop, rendering from Modeler's mesh edit through the
// host's Image Utility, what stops a save, the proposed file name and a panel
// the toolkit refuses. (The panel and the Layout source are tested in
// uv_template_layout_test.cpp.)
#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <lwimage.h>
#include <lwmeshedt.h>
#include <lwmodeler.h>

#include "host.h"
#include "mesh_edit.h"
#include "panels.h"
#include "scene_builder.h"
#include "ui_script.h"
#include "uv_raster.h"
#include "uv_template.h"
#include "uv_template_pictures.h"

namespace {

using namespace uv_test;

// ---- a canvas that records what draw_line hands to setPixel --------------------

std::vector<Pixel> g_set_pixels;
void record_pixel(LWPixmapID, int x, int y, void*) { g_set_pixels.emplace_back(x, y); }

std::set<Pixel> drawn(UvPixel from, UvPixel to, int size) {
    static LWImageUtil recorder = [] {
        LWImageUtil util{};
        util.setPixel = record_pixel;
        return util;
    }();
    g_set_pixels.clear();
    int image = 0;
    draw_line(from, to, UvColor{{1, 2, 3}}, UvCanvas{&recorder, &image, size});
    EXPECT_EQ(std::set<Pixel>(g_set_pixels.begin(), g_set_pixels.end()).size(), g_set_pixels.size())
        << "a pixel was set twice";
    return {g_set_pixels.begin(), g_set_pixels.end()};
}

std::set<Pixel> reference_inside(Pixel from, Pixel to, int size) {
    std::set<Pixel> inside;
    for (const Pixel& p : reference_line(from.first, from.second, to.first, to.second))
        if (p.first >= 0 && p.second >= 0 && p.first < size && p.second < size) inside.insert(p);
    return inside;
}

Pixel mapped(int size, float u, float v) {
    UvPixel pixel{-1, -1};
    EXPECT_EQ(uv_to_pixel(size, u, v, pixel), 1) << u << "," << v;
    return {pixel.x, pixel.y};
}

TEST(UvRaster, MapsUvPairsToPixels) {
    // The unit square on 512 and the triangle on 100.
    EXPECT_EQ(mapped(512, 0.0f, 0.0f), Pixel(0, 512));
    EXPECT_EQ(mapped(512, 1.0f, 0.0f), Pixel(512, 512));
    EXPECT_EQ(mapped(512, 1.0f, 1.0f), Pixel(512, 0));
    EXPECT_EQ(mapped(512, 0.0f, 1.0f), Pixel(0, 0));
    EXPECT_EQ(mapped(100, 0.25f, 0.25f), Pixel(25, 75));
    EXPECT_EQ(mapped(100, 0.75f, 0.25f), Pixel(75, 75));
    EXPECT_EQ(mapped(100, 0.5f, 0.75f), Pixel(50, 25));
    // Halves round up; negatives truncate toward zero: 10 x -0.3 + 0.5 = -2.5 -> -2.
    // 0.95f is 0.94999998..., so 10 x v + 0.5 stays below 10.
    EXPECT_EQ(mapped(10, 0.05f, 0.95f), Pixel(1, 1));
    EXPECT_EQ(mapped(10, -0.3f, 1.3f), Pixel(-2, -3));
    // Far-off values are clamped, not overflowed; values that are not numbers have no pixel.
    EXPECT_EQ(mapped(4096, 3.0e38f, -3.0e38f), Pixel(UV_PIXEL_LIMIT, UV_PIXEL_LIMIT));
    UvPixel pixel{7, 7};
    EXPECT_EQ(uv_to_pixel(16, std::numeric_limits<float>::quiet_NaN(), 0.5f, pixel), 0);
    EXPECT_EQ(uv_to_pixel(16, 0.5f, std::numeric_limits<float>::infinity(), pixel), 0);
}

TEST(UvRaster, DrawsTheBresenhamLine) {
    {  // x dominant, both ends drawn
        std::set<Pixel> expected{{0, 0}, {1, 0}, {2, 1}, {3, 1}};
        EXPECT_EQ(drawn({0, 0}, {3, 1}, 8), expected);
    }
    {  // a diagonal walks along y
        std::set<Pixel> expected{{0, 0}, {1, 1}, {2, 2}};
        EXPECT_EQ(drawn({0, 0}, {2, 2}, 8), expected);
        EXPECT_EQ(drawn({2, 0}, {0, 2}, 8), (std::set<Pixel>{{2, 0}, {1, 1}, {0, 2}}));
    }
    {  // length zero: one pixel
        EXPECT_EQ(drawn({5, 6}, {5, 6}, 8), (std::set<Pixel>{{5, 6}}));
    }
    {  // a tie (d = 0) steps at once, so direction matters
        EXPECT_EQ(drawn({0, 0}, {2, 1}, 8), (std::set<Pixel>{{0, 0}, {1, 1}, {2, 1}}));
        EXPECT_EQ(drawn({2, 1}, {0, 0}, 8), (std::set<Pixel>{{2, 1}, {1, 0}, {0, 0}}));
    }
    {  // pixels outside the image never reach setPixel
        EXPECT_EQ(drawn({-5, 3}, {20, 9}, 8), reference_inside({-5, 3}, {20, 9}, 8));
        EXPECT_EQ(drawn({0, 8}, {8, 8}, 8), std::set<Pixel>{});
        EXPECT_EQ(drawn({8, 0}, {0, 8}, 8), reference_inside({8, 0}, {0, 8}, 8));
        EXPECT_EQ(drawn({1, 1}, {1, 1}, 0), std::set<Pixel>{});
    }
    {  // a line to a far-off point only walks the image
        std::set<Pixel> row;
        for (long long x = 0; x < 16; ++x) row.insert({x, 0});
        EXPECT_EQ(drawn({0, 0}, {UV_PIXEL_LIMIT, 1}, 16), row);
        // From the far end the loop steps to y = 0 halfway, long before x < 16.
        EXPECT_EQ(drawn({UV_PIXEL_LIMIT, 1}, {0, 0}, 16), row);
    }
}

TEST(UvRaster, AgreesWithTheIncrementalLoop) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> coordinate(-40, 80);
    for (int n = 0; n < 3000; ++n) {
        const Pixel from{coordinate(random), coordinate(random)}, to{coordinate(random), coordinate(random)};
        ASSERT_EQ(drawn({from.first, from.second}, {to.first, to.second}, 32), reference_inside(from, to, 32))
            << "(" << from.first << "," << from.second << ")-(" << to.first << "," << to.second << ")";
    }
}

// ---- rendering from Modeler's mesh edit -------------------------------------------

TEST(UvTemplateRender, DrawsEveryPolygonOfTheModelerEdit) {
    ScanScene scene;
    MeshEditOp* edit = lwhost::begin_mesh_edit(scene.host, 0, 0, OPSEL_USER);
    ASSERT_NE(edit, nullptr);
    const MeshSource polygons = mesh_source_modeler(edit);

    expect_shared_cases(scene.host, polygons);
    {  // polygons of any size, in every layer
        Rgb blue{0, 0, 255};
        Picture expected(100, WHITE);
        expected.outline({{25, 75}, {75, 75}, {50, 25}}, blue);
        expected.line({10, 10}, {90, 10}, blue);
        expected.plot(50, 50, blue);
        expected.outline({{10, 90}, {30, 90}, {20, 70}}, blue);
        EXPECT_EQ(difference(render(scene.host, polygons, "Triangle", 100, blue, WHITE), expected), "");
    }
    edit->done(edit->state, EDERR_NONE, 0);
    EXPECT_TRUE(scene.host.diagnostics.empty()) << scene.host.diagnostics.front();
}

TEST(UvTemplateRender, ReportsWhatKeepsTheImageFromBeingSaved) {
    ScanScene scene;
    MeshEditOp* edit = lwhost::begin_mesh_edit(scene.host, 0, 0, OPSEL_USER);
    ASSERT_NE(edit, nullptr);
    const UvTemplateSource source = source_for(scene.host, mesh_source_modeler(edit));
    TempDir dir;
    {  // the host cannot make the image
        const std::string path = dir.file("zero.tga");
        EXPECT_EQ(uv_template_render(path.c_str(), source, "Square", 0, colour(BLACK), colour(WHITE)),
                  UV_TEMPLATE_NO_IMAGE);
        EXPECT_FALSE(exists(path));
    }
    {  // the saver fails: a folder that does not exist
        const std::string path = dir.file("missing/square.tga");
        EXPECT_EQ(uv_template_render(path.c_str(), source, "Square", 16, colour(BLACK), colour(WHITE)),
                  UV_TEMPLATE_SAVE_FAILED);
        EXPECT_FALSE(exists(path));
    }
    {  // no image services at all
        scene.host.withhold(LWIMAGEUTIL_GLOBAL);
        const std::string path = dir.file("none.tga");
        EXPECT_EQ(uv_template_render(path.c_str(), source, "Square", 16, colour(BLACK), colour(WHITE)),
                  UV_TEMPLATE_NO_SERVICE);
        EXPECT_FALSE(exists(path));
    }
    edit->done(edit->state, EDERR_NONE, 0);
}

// ---- the save flow and the panel ------------------------------------------------------

TEST(UvTemplatePanel, ProposesTheMapNameWithTheExtensionWhileItFits) {
    Host host;
    SceneBuilder b(host.scene);
    auto m = b.mesh("/models/long.lwo");
    auto p = m.point(0, 0, 0);
    m.polygon({p});
    const std::string fits(1018, 'a'), too_long(1019, 'b');
    m.uv(fits, p, 0.5f, 0.5f).uv(too_long, p, 0.5f, 0.5f);
    host.scene.current_mesh = m.index();
    MeshEditOp* edit = lwhost::begin_mesh_edit(host, 0, 0, OPSEL_USER);
    ASSERT_NE(edit, nullptr);
    const UvTemplateSource source = source_for(host, mesh_source_modeler(edit));

    host.script()
        .press("Save UV Template Image")
        .cancel_file()
        .set("UV Map:", 1)
        .press("Save UV Template Image")
        .cancel_file()
        .close();
    ASSERT_EQ(uv_template_open(nullptr, source), UV_TEMPLATE_OK);
    ASSERT_EQ(host.file_requests.size(), 2u);
    EXPECT_EQ(host.file_requests[0].base_name_in, fits + ".tga");
    EXPECT_EQ(host.file_requests[1].base_name_in, too_long);
    edit->done(edit->state, EDERR_NONE, 0);
}

TEST(UvTemplatePanel, TellsTheUserWhenThePanelCannotBeMade) {
    ScanScene scene;
    MeshEditOp* edit = lwhost::begin_mesh_edit(scene.host, 0, 0, OPSEL_USER);
    ASSERT_NE(edit, nullptr);
    UvTemplateSource source = source_for(scene.host, mesh_source_modeler(edit));
    LWPanelFuncs* host_panels = source.panels;
    LWPanelFuncs refusing = *host_panels;
    source.panels = &refusing;
    {  // the toolkit makes no panel
        refusing.create = [](char*, void*) -> LWPanelID { return nullptr; };
        EXPECT_EQ(uv_template_open(nullptr, source), UV_TEMPLATE_NO_PANEL);
        ASSERT_EQ(scene.host.messages.size(), 1u);
        EXPECT_EQ(scene.host.messages[0].line1, "Unable to create UV Template Panel!");
        EXPECT_FALSE(scene.host.messages[0].has_line2);
    }
    {  // the toolkit refuses a control: the half-built panel is destroyed
        refusing = *host_panels;
        refusing.addControl = [](LWPanelID, char*, LWPanControlDesc*, char*) -> LWControl* { return nullptr; };
        EXPECT_EQ(uv_template_open(nullptr, source), UV_TEMPLATE_NO_PANEL);
        ASSERT_EQ(scene.host.messages.size(), 2u);
        EXPECT_EQ(scene.host.messages[1].line1, "Unable to create UV Template Panel!");
        EXPECT_EQ(scene.host.panels().live_count(), 0u);
        EXPECT_TRUE(scene.host.panel_log().empty()) << "never opened";
    }
    edit->done(edit->state, EDERR_NONE, 0);
}

}  // namespace
