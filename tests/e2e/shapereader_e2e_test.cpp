// "SMD Mesh Import" loaded from the built shapereader.so and run by the host
// on Modeler's current object, the user played by a script: the panel as
// laid out, its events, the requester, the messages, repeated imports and
// the activation's checks.
#include <gtest/gtest.h>

#include "shape_import_fixture.h"

namespace {

using namespace shape_import;

struct ExpectedControl {
    const char* type;
    const char* label;
    int x, y;
};

TEST(MeshImportPanel, LaidOutWithItsDefaults) {
    MeshImporter x;
    x.host.script().close();
    ASSERT_EQ(x.run(), 0);
    ASSERT_EQ(x.host.panel_log().size(), 1u);
    const lwhost::PanelRecord& panel = x.host.panel_log()[0];
    EXPECT_EQ(panel.title, "SMD Mesh Importer by Tolvane");
    EXPECT_EQ(panel.width, 400);
    EXPECT_EQ(panel.height, 170);
    EXPECT_EQ(panel.flags, 3);
    const std::vector<ExpectedControl> expected = {
        {"BoolControl", "Scale geometry:", 8, 24},
        {"FloatControl", "", 112, 24},
        {"BoolControl", "Import weightmaps", 8, 60},
        {"TextControl", "Click Import SMD Mesh File to import mesh data:", 5, 100},
        {"ButtonControl", "Import SMD Mesh File", 282, 100},
    };
    const auto& controls = panel.views.front().controls;
    ASSERT_EQ(controls.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(controls[i].type, expected[i].type) << i;
        EXPECT_EQ(controls[i].label, expected[i].label) << i;
        EXPECT_EQ(controls[i].x, expected[i].x) << i;
        EXPECT_EQ(controls[i].y, expected[i].y) << i;
        EXPECT_FALSE(controls[i].ghosted) << i;
    }
    EXPECT_EQ(controls[0].int_value, 1);
    EXPECT_EQ(controls[1].float_value, double(0.025f));
    EXPECT_EQ(controls[2].int_value, 1);
    EXPECT_EQ(controls[3].lines, std::vector<std::string>{""});
    EXPECT_TRUE(x.host.messages.empty());
    EXPECT_TRUE(x.host.file_requests.empty());
    EXPECT_TRUE(x.host.command_log.empty());
    EXPECT_TRUE(x.layer().points.empty());
    EXPECT_EQ(x.host.panels().live_count(), 0u);
}

TEST(MeshImportPanel, ScaleToggleAndTheButtonReadTheSettings) {
    MeshImporter x;
    const std::string path = x.file("two.smd", kTwoTriangles);
    x.host.script()
        .set("Scale geometry:", 0)
        .set(lwhost::unlabelled("float", 0), 2.0)  // ghosted: refused
        .press(kImport)
        .answer_file(path)
        .set("Scale geometry:", 1)
        .set(lwhost::unlabelled("float", 0), 2.0)
        .press(kImport)
        .answer_file(path)
        .close();
    ASSERT_EQ(x.run(), 0);
    const auto& views = x.host.panel_log()[0].views;
    EXPECT_TRUE(views[1].control("FloatControl", 0)->ghosted);
    EXPECT_FALSE(views[4].control("FloatControl", 0)->ghosted);
    EXPECT_TRUE(x.messages().empty());
    // Four points per import (the second triangle shares two).
    ASSERT_EQ(x.layer().points.size(), 8u);
    // File (1, 2, 3): as read with the box off, twice that with 2.0.
    EXPECT_EQ(std::vector<double>(x.layer().points[0].position, x.layer().points[0].position + 3),
              (std::vector<double>{1, 3, 2}));
    EXPECT_EQ(std::vector<double>(x.layer().points[4].position, x.layer().points[4].position + 3),
              (std::vector<double>{2, 6, 4}));

    ASSERT_EQ(x.host.file_requests.size(), 2u);
    const lwhost::FileRequestRecord& request = x.host.file_requests[0];
    EXPECT_EQ(request.version, 3);
    EXPECT_EQ(request.type, 1);
    EXPECT_EQ(request.title, "Open SMD Reference File");
    EXPECT_EQ(request.file_type, "SMD File");
    EXPECT_EQ(request.buffer_length, 1024);
}

TEST(MeshImportPanel, ImportingTwiceAddsTheGeometryTwice) {
    MeshImporter x;
    const std::string path = x.file("two.smd", kTwoTriangles);
    x.host.script().press(kImport).answer_file(path).press(kImport).answer_file(path).close();
    ASSERT_EQ(x.run(), 0);
    EXPECT_TRUE(x.messages().empty());
    const lwhost::Layer& layer = x.layer();
    ASSERT_EQ(layer.points.size(), 8u);
    ASSERT_EQ(layer.polygons.size(), 4u);
    for (std::uint32_t p = 0; p < 4; ++p)
        for (int k = 0; k < 3; ++k) EXPECT_EQ(layer.points[p].position[k], layer.points[p + 4].position[k]);
    const std::vector<std::string> pair = {"Surf_SetSurf  skin.bmp Unnamed", "Surf_SetFloat   SmoothingAngle 3.142",
                                           "Surf_SetSurf  cloth.bmp Unnamed",
                                           "Surf_SetFloat   SmoothingAngle 3.142"};
    std::vector<std::string> twice = pair;
    twice.insert(twice.end(), pair.begin(), pair.end());
    EXPECT_EQ(x.host.command_log, twice);
    std::size_t surfaces = 0;
    for (const auto& s : x.host.scene.surfaces) surfaces += s->mesh == x.mesh ? 1 : 0;
    EXPECT_EQ(surfaces, 2u);
    EXPECT_TRUE(x.host.diagnostics.empty()) << x.host.diagnostics.front();
    EXPECT_TRUE(lwhost::check_scene(x.host.scene).empty());
}

// What a layer holds, compared between two imports.
std::string layer_text(const lwhost::Layer& layer, bool with_weights) {
    std::ostringstream out;
    for (const lwhost::Point& p : layer.points)
        out << p.position[0] << ' ' << p.position[1] << ' ' << p.position[2] << '\n';
    for (const lwhost::Polygon& p : layer.polygons) {
        out << p.surface_tag;
        for (std::uint32_t k = 0; k < p.vertex_count; ++k) out << ' ' << layer.vertices(p)[k];
        out << '\n';
    }
    for (const lwhost::VertexMap& m : layer.vmaps) {
        if (m.type == lwhost::kWeight && !with_weights) continue;
        out << m.name << ':';
        for (const auto row : m.point_values()) for (int k = 0; k < m.dimension; ++k) out << ' ' << row.value[k];
        for (const auto row : m.polygon_values()) for (int k = 0; k < m.dimension; ++k) out << ' ' << row.value[k];
        out << '\n';
    }
    return out.str();
}

TEST(MeshImportPanel, WithoutWeightMapsEverythingElseIsAlike) {
    // One host at a time: the plug-in reaches the current one.
    std::string with_weights, commands;
    {
        MeshImporter on;
        on.host.script().press(kImport).answer_file(on.file("two.smd", kTwoTriangles)).close();
        ASSERT_EQ(on.run(), 0);
        std::vector<std::string> weight_maps;
        for (const lwhost::VertexMap& m : on.layer().vmaps)
            if (m.type == lwhost::kWeight) weight_maps.push_back(m.name);
        EXPECT_EQ(weight_maps, (std::vector<std::string>{"root", "arm"}));
        with_weights = layer_text(on.layer(), false);
        for (std::string_view c : on.host.command_log) commands.append(c) += "\n";
    }
    MeshImporter off;
    off.host.script()
        .set("Import weightmaps", 0)
        .press(kImport)
        .answer_file(off.file("two.smd", kTwoTriangles))
        .close();
    ASSERT_EQ(off.run(), 0);
    for (const lwhost::VertexMap& m : off.layer().vmaps) EXPECT_NE(m.type, lwhost::kWeight) << m.name;
    EXPECT_FALSE(off.layer().points.empty());
    EXPECT_EQ(layer_text(off.layer(), false), with_weights);
    std::string off_commands;
    for (std::string_view c : off.host.command_log) off_commands.append(c) += "\n";
    EXPECT_EQ(off_commands, commands);
}

TEST(MeshImportPanel, RequesterAnswersAndMessages) {
    MeshImporter x;
    const std::string empty = x.file("empty.smd", "version 1\nnodes\n0 \"root\" -1\nend\n");
    x.host.script()
        .press(kImport)
        .cancel_file()
        .press(kImport)
        .fail_file()
        .press(kImport)
        .answer_file(x.dir.file("missing.smd"))
        .press(kImport)
        .answer_file(empty)
        .press(kImport)
        .answer_file(x.file("two.smd", kTwoTriangles))
        .close();
    ASSERT_EQ(x.run(), 0);
    EXPECT_EQ(x.messages(), (std::vector<std::string>{"Unable to open file!", "This file has no geometry data!"}));
    for (const lwhost::Message& m : x.host.messages) {
        EXPECT_EQ(m.level, lwhost::MessageLevel::Error);
        EXPECT_FALSE(m.has_line2);
    }
    EXPECT_EQ(x.host.file_requests.size(), 5u);
    EXPECT_EQ(x.layer().polygons.size(), 2u) << "the last file was imported";
    EXPECT_EQ(x.host.panel_log()[0].result, 1) << "the panel stayed open until closed";

    MeshImporter y;  // without "File Request 2" the button does nothing
    y.host.withhold("File Request 2");
    y.host.script().press(kImport).close();
    ASSERT_EQ(y.run(), 0);
    EXPECT_TRUE(y.host.file_requests.empty());
    EXPECT_TRUE(y.host.messages.empty());
}

TEST(MeshImportActivation, VersionAndServicesAreCheckedInOrder) {
    const struct {
        const char* withheld;
        int version;
        int result;
    } cases[] = {
        {nullptr, 2, 1},
        {"LWPanelServices", 3, 2},
        {"LWPanelServices", 2, 2},       // the panel services come before the version
        {"LWM: State Query 3", 2, 2},    // and so does the state query
        {"Info Messages 2", 3, 2},
        {"Info Messages 2", 2, 1},       // the messages come after it
    };
    for (const auto& c : cases) {
        MeshImporter x;
        if (c.withheld != nullptr) x.host.withhold(c.withheld);
        x.host.script().close();
        EXPECT_EQ(x.run(c.version), c.result) << (c.withheld ? c.withheld : "") << " " << c.version;
        EXPECT_TRUE(x.host.panel_log().empty());
        EXPECT_TRUE(x.host.messages.empty());
    }
}

}  // namespace
