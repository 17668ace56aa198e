// "SMD Export" loaded from the built meshwriter.so and run by the host on
// Modeler's current object, the user played by a script: the panel as laid
// out, its events, the polygon selection it hands back to Modeler, the save
// requester, the scale, the messages, and the UV template over every layer.
#include <gtest/gtest.h>


#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "host.h"
#include "loader.h"
#include "mesh_edit.h"
#include "panels.h"
#include "scene_builder.h"
#include "ui_script.h"
#include "../common/uv_template_pictures.h"
#include "smd_reader.h"
#include "file_size_limit.h"
#include "test_files.h"

namespace {

using lwhost::Host;
using lwhost::SceneBuilder;
using uv_test::TempDir;
using test_support::lines_of;
using test_support::read_file;
using test_support::smd_triangle_lines;

constexpr char kServer[] = "SMD Export";
constexpr char kTitle[] = "SMD Static Mesh Exporter by Tolvane";

// A host with meshwriter.so loaded.
struct Exporter {
    Host host;
    SceneBuilder builder{host.scene};

    Exporter() {
        std::string error;
        EXPECT_NE(host.plugins().load(std::string(LWSMD_PLUGIN_DIR) + "/meshwriter.so", &error), nullptr) << error;
    }
    int run() { return host.run_command(kServer); }
    const lwhost::PanelRecord& panel(std::size_t index = 0) const { return host.panel_log().at(index); }
};

// Layer 0 (the foreground): a quad with UVs and a triangle without on
// "Hull Paint", whose base colour shows "hull map.png" through the UV map,
// and a two-point polygon. Layer 1: a triangle with UVs on "Deck".
// All layers: 3 valid triangles, 1 without UVs, 1 degenerate polygon.
struct Ship {
    int mesh = -1;
    std::uint32_t quad = 0, bare = 0, two = 0, deck = 0;

    explicit Ship(SceneBuilder& b, const char* file = "/models/ship.lwo") {
        auto m = b.mesh(file);
        mesh = m.index();
        auto a = m.point(0, 0, 0), c = m.point(0, 1, 0), d = m.point(1, 1, 0), e = m.point(1, 0, 0);
        auto g = m.point(2, 0, 0);
        quad = m.quad(a, c, d, e, "Hull Paint");
        bare = m.triangle(d, e, g, "Hull Paint");
        two = m.polygon({a, g}, "Hull Paint");
        m.uv("UVMap", a, 0.125f, 0.125f).uv("UVMap", c, 0.125f, 0.875f);
        m.uv("UVMap", d, 0.875f, 0.875f).uv("UVMap", e, 0.875f, 0.125f);
        m.layer(1);
        auto h = m.point(0, 0, 5), i = m.point(1, 0, 5), j = m.point(0, 1, 5);
        deck = m.triangle(h, i, j, "Deck");
        m.uv("UVMap", h, 0.25f, 0.25f).uv("UVMap", i, 0.75f, 0.25f).uv("UVMap", j, 0.5f, 0.75f);
        const int image = b.image("hull map.png", 8, 8);
        b.surface(m, "Hull Paint").smoothing_degrees(30).uv_image_layer(image, "UVMap");
        b.surface(m, "Deck");
        b.scene().current_mesh = mesh;
        b.scene().foreground_layers = 0b01;
    }
};

// A field that ends its label at x = 160.
int after_label(const char* label) { return 160 - lwhost::PANEL_LABEL_CHAR_WIDTH * int(std::strlen(label)); }

struct ExpectedControl {
    const char* type;
    std::string label;
    int x, y;
    bool ghosted;
};

TEST(StaticExport, PanelShowsTheCountsAndSettingsAsLaidOut) {
    Exporter x;
    Ship ship(x.builder);
    x.host.script().close();
    ASSERT_EQ(x.run(), 0);
    ASSERT_EQ(x.host.panel_log().size(), 1u);
    const lwhost::PanelRecord& panel = x.panel();
    EXPECT_EQ(panel.title, kTitle);
    EXPECT_EQ(panel.width, 520);
    EXPECT_EQ(panel.height, 440);
    EXPECT_EQ(panel.flags, 3);

    // The invalid list is left to the toolkit: below the valid list, whose
    // height is 19 x (3 visible rows + label and header).
    const int invalid_y = 112 + lwhost::PANEL_CONTROL_HEIGHT * (3 + 2) + lwhost::PANEL_LAYOUT_GAP;
    const std::vector<ExpectedControl> expected = {
        {"TextControl", "Object: /models/ship.lwo", 5, 10, false},
        {"CustomPopupControl", "Export Layers:", after_label("Export Layers:"), 42, false},
        {"CustomPopupControl", "Group Triangles by:", after_label("Group Triangles by:"), 77, false},
        {"BoolControl", "Don't verify UV information", 366, 77, false},
        {"MultiListBoxControl", "Valid Geometry List", 5, 112, false},
        {"MultiListBoxControl", "Invalid Geometry List", 0, invalid_y, true},
        {"ButtonControl", "UV Template Image Options", 377, 320, false},
        {"BoolControl", "Scale geometry:", 8, 320, false},
        {"FloatControl", "", 112, 320, false},
        {"TextControl", "Click Save SMD File to export SMD file:", 5, 360, false},
        {"ButtonControl", "Save SMD file", 422, 360, false},
    };
    const auto& controls = panel.views.front().controls;
    ASSERT_EQ(controls.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(controls[i].type, expected[i].type) << i;
        EXPECT_EQ(controls[i].label, expected[i].label) << i;
        EXPECT_EQ(controls[i].x, expected[i].x) << expected[i].label;
        EXPECT_EQ(controls[i].y, expected[i].y) << expected[i].label;
        EXPECT_EQ(controls[i].ghosted, expected[i].ghosted) << expected[i].label;
    }
    const auto* layers = panel.control("Export Layers:");
    EXPECT_EQ(layers->items, (std::vector<std::string>{"All layers", "Foreground only"}));
    EXPECT_EQ(layers->w - layers->label_width, 180);
    EXPECT_EQ(panel.control("Group Triangles by:")->items,
              (std::vector<std::string>{"UV Texture Map Name", "Surface Name", "Surface Texture Image Name"}));
    EXPECT_EQ(panel.control("Don't verify UV information")->int_value, 0);
    EXPECT_EQ(panel.control("Scale geometry:")->int_value, 1);
    EXPECT_EQ(panel.views.front().control("FloatControl", 0)->float_value, 40.0);
    EXPECT_EQ(panel.control("Object: /models/ship.lwo")->lines, std::vector<std::string>{""});

    const auto* valid = panel.control("Valid Geometry List");
    EXPECT_EQ(valid->w, 500);
    EXPECT_EQ(valid->column_widths, (std::vector<int>{200, 100, 200}));
    EXPECT_EQ(valid->header, (std::vector<std::string>{"Valid Geometry", "Count", ""}));
    EXPECT_EQ(valid->rows, (std::vector<std::vector<std::string>>{{"Triangles", "3", ""}}));
    const auto* invalid = panel.control("Invalid Geometry List");
    EXPECT_EQ(invalid->h, lwhost::PANEL_CONTROL_HEIGHT * (5 + 2));
    EXPECT_EQ(invalid->column_widths, (std::vector<int>{200, 100, 200}));
    EXPECT_EQ(invalid->header, (std::vector<std::string>{"Invalid Geometry", "Count", ""}));
    EXPECT_EQ(invalid->rows, (std::vector<std::vector<std::string>>{
                                 {"Triangles without UV information:", "1", "Click to select geometry"},
                                 {"Degenerated polygons (2 vert etc):", "1", "Click to select geometry"},
                                 {"5+ sided polygons:", "0", ""},
                                 {"Subpatches, curves, skelegons etc :", "0", ""},
                             }));

    {  // no UV map: two grouping items, the UV template ghosted, nothing valid to save
        Exporter y;
        auto m = y.builder.mesh("/models/plain.lwo");
        m.triangle(m.point(0, 0, 0), m.point(1, 0, 0), m.point(0, 1, 0));
        y.host.scene.current_mesh = m.index();
        y.host.script().close();
        ASSERT_EQ(y.run(), 0);
        const lwhost::PanelRecord& plain = y.panel();
        EXPECT_EQ(plain.control("Group Triangles by:")->items,
                  (std::vector<std::string>{"Surface Name", "Surface Texture Image Name"}));
        EXPECT_TRUE(plain.control("UV Template Image Options")->ghosted);
        EXPECT_TRUE(plain.control("Save SMD file")->ghosted);
        EXPECT_EQ(plain.rows("Invalid Geometry List")[0][1], "1");
        EXPECT_EQ(y.host.panels().live_count(), 0u);
    }
}

TEST(StaticExport, ObjectWithoutPolygonsEndsTheEditAtOnce) {
    Exporter x;
    auto m = x.builder.mesh("/models/dots.lwo");
    m.point(0, 0, 0);
    m.point(1, 0, 0);
    x.host.scene.current_mesh = m.index();
    x.host.scene.meshes[0]->layers[0].points[1].selected = true;
    ASSERT_EQ(x.run(), 0);
    ASSERT_EQ(x.host.messages.size(), 1u);
    EXPECT_EQ(x.host.messages[0].line1, "No geometry to export !");
    EXPECT_FALSE(x.host.messages[0].has_line2);
    EXPECT_TRUE(x.host.panel_log().empty());
    EXPECT_TRUE(x.host.scene.meshes[0]->layers[0].points[1].selected) << "the selection is kept";
    MeshEditOp* again = lwhost::begin_mesh_edit(x.host, 0, 0, 0);
    ASSERT_NE(again, nullptr) << "the exporter's edit was ended";
    again->done(again->state, EDERR_NONE, 0);
}

TEST(StaticExport, EventsRecountWithoutCollectingAgain) {
    Exporter x;
    Ship ship(x.builder);
    TempDir dir;
    const std::string path = dir.file("ship.smd");
    x.host.script()
        .pick("Export Layers:", "Foreground only")
        .pick("Export Layers:", "All layers")
        .set("Don't verify UV information", 1)
        .pick("Group Triangles by:", "Surface Texture Image Name")
        .press("Save SMD file")
        .answer_file(path)
        .set("Scale geometry:", 0)
        .set("Scale geometry:", 1)
        .close();
    ASSERT_EQ(x.run(), 0);
    const auto& views = x.panel().views;
    ASSERT_EQ(views.size(), 9u);  // open, seven actions, close
    const auto counts = [&](std::size_t view) {
        const lwhost::ControlView* valid = views[view].control("Valid Geometry List");
        const lwhost::ControlView* invalid = views[view].control("Invalid Geometry List");
        std::vector<std::string> shown{valid->rows[0][1]};
        for (const auto& row : invalid->rows) shown.push_back(row[1]);
        return shown;
    };
    EXPECT_EQ(counts(0), (std::vector<std::string>{"3", "1", "1", "0", "0"}));
    EXPECT_EQ(counts(1), (std::vector<std::string>{"2", "1", "1", "0", "0"})) << "foreground only";
    EXPECT_EQ(counts(2), counts(0)) << "all layers again";
    EXPECT_EQ(counts(3), (std::vector<std::string>{"4", "0", "1", "0", "0"})) << "UVs not verified";
    EXPECT_EQ(views[3].control("Invalid Geometry List")->rows[0][2], "");
    EXPECT_TRUE(views[6].control("FloatControl", 0)->ghosted) << "scale off";
    EXPECT_FALSE(views[7].control("FloatControl", 0)->ghosted) << "scale on";

    // Grouped by texture image, blanks turned into underscores; the deck
    // surface has no image and falls back to its name.
    std::vector<std::string> materials;
    const auto lines = smd_triangle_lines(read_file(path));
    for (std::size_t i = 0; i < lines.size(); i += 4) materials.push_back(lines[i]);
    EXPECT_EQ(materials, (std::vector<std::string>{"hull_map.png", "hull_map.png", "hull_map.png", "Deck"}));
    EXPECT_TRUE(x.host.messages.empty());
}

TEST(StaticExport, ClickedRowsBecomeModelersPolygonSelection) {
    Exporter x;
    Ship ship(x.builder);
    auto& layers = x.host.scene.meshes[std::size_t(ship.mesh)]->layers;
    layers[0].polygons[ship.quad].selected = true;  // cleared: the edit ends forcing polygons
    x.host.script()
        .click("Invalid Geometry List", 0)
        .click("Invalid Geometry List", 1)
        .click("Invalid Geometry List", 3)  // nothing of that kind
        .close();
    ASSERT_EQ(x.run(), 0);
    std::vector<std::pair<int, std::uint32_t>> selected;
    for (std::size_t l = 0; l < layers.size(); ++l)
        for (std::uint32_t p = 0; p < layers[l].polygons.size(); ++p)
            if (layers[l].polygons[p].selected) selected.emplace_back(int(l), p);
    EXPECT_EQ(selected, (std::vector<std::pair<int, std::uint32_t>>{{0, ship.bare}, {0, ship.two}}));
    EXPECT_EQ(x.host.scene.selection_mode, 1);
    EXPECT_TRUE(x.host.diagnostics.empty()) << x.host.diagnostics.front();
}

TEST(StaticExport, SaveProposesTheNameAndAppliesTheScale) {
    Exporter x;
    Ship ship(x.builder);
    TempDir dir;
    x.host.script()
        .press("Save SMD file")
        .cancel_file()
        .set("Scale geometry:", 0)
        .set(lwhost::unlabelled("float", 0), 12.5)
        .press("Save SMD file")
        .answer_file(dir.file("off.smd"))
        .set("Scale geometry:", 1)
        .set(lwhost::unlabelled("float", 0), 0)
        .press("Save SMD file")
        .answer_file(dir.file("zero.smd"))
        .set(lwhost::unlabelled("float", 0), 2.5)
        .press("Save SMD file")
        .answer_file(dir.file("scaled.smd"))
        .close();
    ASSERT_EQ(x.run(), 0);
    EXPECT_TRUE(x.host.messages.empty());
    ASSERT_EQ(x.host.file_requests.size(), 4u);
    const lwhost::FileRequestRecord& request = x.host.file_requests[0];
    EXPECT_EQ(request.version, 3);
    EXPECT_EQ(request.type, 2);
    EXPECT_EQ(request.title, "Save SMD File");
    EXPECT_EQ(request.file_type, "SMD File");
    EXPECT_EQ(request.base_name_in, "/models/ship.smd");
    EXPECT_EQ(request.buffer_length, 1024);

    // The quad's corner 2 is the point (1, 1, 0): file (x, z, y).
    const auto first_vertex = [&](const char* name) { return smd_triangle_lines(read_file(dir.file(name))).at(1); };
    EXPECT_EQ(first_vertex("off.smd").substr(0, 30), "0 1.000000 0.000000 1.000000 0");
    EXPECT_EQ(first_vertex("zero.smd").substr(0, 30), "0 1.000000 0.000000 1.000000 0");
    EXPECT_EQ(first_vertex("scaled.smd").substr(0, 30), "0 2.500000 0.000000 2.500000 0");
    EXPECT_EQ(first_vertex("off.smd").substr(29), first_vertex("scaled.smd").substr(29)) << "normals and UVs";

    // Only the first lower-case "lwo" becomes "smd".
    for (const auto& [file, proposed] : std::vector<std::pair<std::string, std::string>>{
             {"/models/lwowl.lwo", "/models/smdwl.lwo"}, {"/models/SHIP.LWO", "/models/SHIP.LWO"}}) {
        Exporter y;
        Ship other(y.builder, file.c_str());
        y.host.script().press("Save SMD file").cancel_file().close();
        ASSERT_EQ(y.run(), 0);
        ASSERT_EQ(y.host.file_requests.size(), 1u);
        EXPECT_EQ(y.host.file_requests[0].base_name_in, proposed);
    }
}


// A scale that is no float (1e300) or no number is taken back as soon as it
// is typed; the save uses the last good one.
TEST(StaticExport, AScaleThatIsNoFiniteFloatGivesWayToTheLastGoodOne) {
    Exporter x;
    Ship ship(x.builder);
    TempDir dir;
    x.host.script()
        .set(lwhost::unlabelled("float", 0), 1e300)
        .press("Save SMD file")
        .answer_file(dir.file("huge.smd"))
        .set(lwhost::unlabelled("float", 0), 2.5)
        .set(lwhost::unlabelled("float", 0), std::numeric_limits<double>::quiet_NaN())
        .press("Save SMD file")
        .answer_file(dir.file("nan.smd"))
        .close();
    ASSERT_EQ(x.run(), 0);
    EXPECT_TRUE(x.host.messages.empty());
    const lwhost::PanelRecord* panel = x.host.panels().find(kTitle);
    ASSERT_NE(panel, nullptr);
    ASSERT_EQ(panel->views.size(), 7u);  // open, five actions, close
    EXPECT_EQ(panel->views[1].control("FloatControl", 0)->float_value, 40.0);
    EXPECT_EQ(panel->views[4].control("FloatControl", 0)->float_value, 2.5);

    // The quad's corner 2 is the point (1, 1, 0): file (x, z, y).
    const auto first_vertex = [&](const char* name) { return smd_triangle_lines(read_file(dir.file(name))).at(1); };
    EXPECT_EQ(first_vertex("huge.smd").substr(0, 32), "0 40.000000 0.000000 40.000000 0");
    EXPECT_EQ(first_vertex("nan.smd").substr(0, 30), "0 2.500000 0.000000 2.500000 0");
}
TEST(StaticExport, ReportsFilesThatCannotBeSavedAndKeepsThePanelOpen) {
    Exporter x;
    auto m = x.builder.mesh("/models/many.lwo");
    for (int i = 0; i < 40; ++i) {
        auto a = m.point(i, 0, 0), b = m.point(i, 1, 0), c = m.point(i, 0, 1);
        m.triangle(a, b, c);
        m.uv("UVMap", a, 0, 0).uv("UVMap", b, 1, 0).uv("UVMap", c, 0, 1);
    }
    x.host.scene.current_mesh = m.index();
    TempDir dir;
    const std::string good = dir.file("good.smd");
    {
        std::ofstream out(good);
        out << "kept\n";
    }
    x.host.script()
        .press("Save SMD file")
        .answer_file(dir.file("missing/out.smd"))
        .press("Save SMD file")
        .answer_file(good)
        .close();
    {
        test_support::FileSizeLimit limit(4096);  // the file is some 8 KB
        ASSERT_TRUE(limit.active());
        ASSERT_EQ(x.run(), 0);
    }
    ASSERT_EQ(x.host.messages.size(), 2u);
    EXPECT_EQ(x.host.messages[0].line1, "Unable to save file!");
    EXPECT_EQ(x.host.messages[1].line1, "Error saving SMD file!");
    EXPECT_FALSE(x.host.messages[1].has_line2);
    EXPECT_EQ(read_file(good), "kept\n");
    EXPECT_EQ(x.panel().result, 1) << "the panel stayed open until closed";

    x.host.messages.clear();
    x.host.script().clear();
    x.host.script().press("Save SMD file").answer_file(good).close();
    ASSERT_EQ(x.run(), 0);
    EXPECT_TRUE(x.host.messages.empty());
    EXPECT_EQ(smd_triangle_lines(read_file(good)).size(), 160u);
}

TEST(StaticExport, UvTemplateDrawsThePolygonsOfEveryLayer) {
    Exporter x;
    Ship ship(x.builder);
    TempDir dir;
    const std::string path = dir.file("UVMap.tga");
    x.host.script()
        .pick("Export Layers:", "Foreground only")
        .press("UV Template Image Options")
        .set("UV Template Image Size:", 64)
        .press("Save UV Template Image")
        .answer_file(path)
        .close()
        .close();
    ASSERT_EQ(x.run(), 0);
    EXPECT_TRUE(x.host.messages.empty());
    ASSERT_EQ(x.host.panel_log().size(), 2u);
    EXPECT_EQ(x.panel(1).title, "UV Template Exporter");
    EXPECT_EQ(x.panel(1).control("UV Map:")->items, std::vector<std::string>{"UVMap"});
    ASSERT_EQ(x.host.file_requests.size(), 1u);
    EXPECT_EQ(x.host.file_requests[0].base_name_in, "UVMap.tga");

    // px = trunc(64 u + 0.5), py = 64 - trunc(64 v + 0.5): the quad of layer 0
    // and, although only the foreground is exported, the triangle of layer 1.
    uv_test::Picture expected(64, uv_test::WHITE);
    expected.outline({{8, 56}, {8, 8}, {56, 8}, {56, 56}}, uv_test::BLACK);
    expected.outline({{16, 48}, {48, 48}, {32, 16}}, uv_test::BLACK);
    EXPECT_EQ(uv_test::difference(uv_test::read_targa(path), expected), "");
}

// ---- the two mesh exporters agree ----------------------------------------------

// The triangles of a file as material, then per corner position, normal and
// UV. Positions and UVs are compared as written; normals within a few units
// of the last written digit, because the reference exporter forms face
// normals in float from float positions and the static one takes the host's
// double normal.
struct Corner {
    std::string position[3];
    double normal[3];
    std::string uv[2];
};
struct Triangle {
    std::string material;
    Corner corners[3];
};

std::vector<Triangle> parse_triangles(const std::string& text) {
    std::vector<Triangle> out;
    for (const test_support::SmdTriangle& read : test_support::read_smd(text).triangles) {
        Triangle t;
        t.material = read.material;
        for (int c = 0; c < 3; ++c) {
            const test_support::SmdVertex& vertex = read.corners[c];
            if (vertex.fields.size() < 9) return {};
            for (int k = 0; k < 3; ++k) {
                t.corners[c].position[k] = vertex.fields[std::size_t(1 + k)];
                t.corners[c].normal[k] = vertex.normal[k];
            }
            t.corners[c].uv[0] = vertex.fields[7];
            t.corners[c].uv[1] = vertex.fields[8];
        }
        out.push_back(t);
    }
    return out;
}

// One layer that exercises every collection rule: a bent grid of quads and
// triangles on a smoothed surface with a texture, a flat band, two UV maps
// (the second covering what the first covers only in part), seam values,
// a triangle without UVs and polygons that are never exported. Corners are
// multiples of 1/32 so that float and double positions agree.
void build_shared_model(SceneBuilder& b) {
    auto m = b.mesh("/models/shared.lwo");
    constexpr int N = 4;
    std::vector<std::uint32_t> id;
    for (int r = 0; r <= N; ++r) {
        for (int c = 0; c <= N; ++c) {
            // Gentle waves that smoothing joins, and one spike it does not.
            const double height = ((r * 3 + c * 5) % 7) * 0.03125 + (r == 2 && c == 2 ? 0.5 : 0.0);
            id.push_back(m.point(c * 0.5, height, r * 0.5));
            if (!(r == 0 && c == 1)) m.uv("Main", id.back(), float(c) / N, float(r) / N);
            if (r == 0) m.uv("Second", id.back(), 0.5f, float(c) / N);
        }
    }
    const auto at = [&](int r, int c) { return id[std::size_t(r * (N + 1) + c)]; };
    for (int r = 0; r < N; ++r) {
        for (int c = 0; c < N; ++c) {
            const char* surface = r == 3 ? "Flat Band" : "Smooth Skin";
            if ((r + c) % 2 == 0) {
                const auto quad = m.quad(at(r, c), at(r + 1, c), at(r + 1, c + 1), at(r, c + 1), surface);
                if (c == 2) m.uv_for_polygon("Main", quad, at(r, c), 0.875f, 0.125f);
            } else {
                m.triangle(at(r, c), at(r + 1, c), at(r + 1, c + 1), surface);
                m.triangle(at(r, c), at(r + 1, c + 1), at(r, c + 1), surface);
            }
        }
    }
    for (int r = 0; r <= 1; ++r) m.uv("Second", at(1, r), 0.25f, 0.25f);
    auto lone0 = m.point(4, 0, 4), lone1 = m.point(5, 0, 4), lone2 = m.point(4, 0, 5);
    m.triangle(lone0, lone1, lone2, "Flat Band");  // no UV at all
    m.polygon({lone0, lone1}, "Flat Band");
    m.polygon({at(0, 0), at(0, 1), at(0, 2), at(1, 2), at(1, 1), at(1, 0)}, "Smooth Skin");
    m.polygon({at(2, 2), at(2, 3), at(3, 3)}, "Smooth Skin", lwhost::kSubdivision);
    const int image = b.image("skin colour.png", 8, 8);
    b.surface(m, "Smooth Skin").smoothing_degrees(50).uv_image_layer(image, "Main");
    b.surface(m, "Flat Band").smoothing_degrees(0);
    const lwhost::ItemId object = b.object("shared", m);
    b.select(object);
    b.scene().current_mesh = m.index();
}

TEST(MeshExporters, LayoutAndModelerWriteTheSameTriangles) {
    Exporter x;
    std::string error;
    ASSERT_NE(x.host.plugins().load(std::string(LWSMD_PLUGIN_DIR) + "/rigwriter.so", &error), nullptr) << error;
    build_shared_model(x.builder);
    TempDir dir;
    const auto script = [&](const std::string& prefix) {
        x.host.script()
            .set("Don't verify UV information", 1)
            .press("Save SMD file")
            .answer_file(dir.file(prefix + "_uv.smd"))
            .pick("Group Triangles by:", "Surface Texture Image Name")
            .press("Save SMD file")
            .answer_file(dir.file(prefix + "_texture.smd"))
            .close();
    };
    script("layout");
    ASSERT_EQ(x.host.run_generic("SMD Export Layout"), 0);
    script("modeler");
    ASSERT_EQ(x.run(), 0);
    EXPECT_TRUE(x.host.messages.empty());
    EXPECT_TRUE(x.host.diagnostics.empty()) << x.host.diagnostics.front();

    for (const char* grouping : {"_uv.smd", "_texture.smd"}) {
        const auto layout = parse_triangles(read_file(dir.file(std::string("layout") + grouping)));
        const auto modeler = parse_triangles(read_file(dir.file(std::string("modeler") + grouping)));
        // 8 quads, 16 triangles of the grid and the triangle without UVs.
        ASSERT_EQ(layout.size(), 33u) << grouping;
        ASSERT_EQ(modeler.size(), layout.size()) << grouping;
        for (std::size_t t = 0; t < layout.size(); ++t) {
            EXPECT_EQ(modeler[t].material, layout[t].material) << grouping << " triangle " << t;
            for (int c = 0; c < 3; ++c) {
                const Corner& a = layout[t].corners[c];
                const Corner& b = modeler[t].corners[c];
                for (int k = 0; k < 3; ++k) {
                    EXPECT_EQ(b.position[k], a.position[k]) << grouping << " triangle " << t << " corner " << c;
                    EXPECT_NEAR(b.normal[k], a.normal[k], 2.5e-6) << grouping << " triangle " << t << " corner " << c;
                }
                EXPECT_EQ(b.uv[0], a.uv[0]) << grouping << " triangle " << t << " corner " << c;
                EXPECT_EQ(b.uv[1], a.uv[1]) << grouping << " triangle " << t << " corner " << c;
            }
        }
    }
}

}  // namespace
