// The exporter's panel as the user sees it and what its controls do, run
// through the built plug-in with the host playing the user.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "host.h"
#include "loader.h"
#include "panels.h"
#include "rig_scene.h"
#include "ui_script.h"
#include "../common/uv_template_pictures.h"

namespace lwhost::services {
int live_mesh_info_count() noexcept;
}

namespace {

using lwhost::ControlView;
using lwhost::Host;
using lwhost::PanelRecord;
using lwhost::SceneBuilder;

constexpr char kTitle[] = "SMD Reference Mesh Exporter by Tolvane";

void load(Host& host) {
    std::string error;
    ASSERT_NE(host.plugins().load(rigtest::plugin_path(), &error), nullptr) << error;
}

const PanelRecord& exporter_panel(Host& host) {
    const PanelRecord* record = host.panels().find(kTitle);
    if (record == nullptr) {
        static const PanelRecord none;
        ADD_FAILURE() << "the exporter's panel never opened";
        return none;
    }
    return *record;
}

using Rows = std::vector<std::vector<std::string>>;

Rows invalid_rows(const std::string& no_uv, const std::string& degenerate, const std::string& five_plus,
                  const std::string& non_face) {
    return {{"Triangles without UV information:", no_uv},
            {"Degenerated polygons (2 vert etc):", degenerate},
            {"5+ sided polygons:", five_plus},
            {"Subpatches, curves, skelegons etc :", non_face}};
}

TEST(RefPanel, ShowsEveryControlAsLaidOut) {
    Host host;
    SceneBuilder b(host.scene);
    rigtest::build_rig(b);
    load(host);
    const int live_meshes = lwhost::services::live_mesh_info_count();
    host.script().close();
    ASSERT_EQ(host.run_generic("SMD Export Layout"), 0);

    ASSERT_EQ(host.panel_log().size(), 1u);
    const PanelRecord& record = exporter_panel(host);
    EXPECT_EQ(record.width, 520);
    EXPECT_EQ(record.height, 432);
    EXPECT_EQ(record.flags, PANF_BLOCKING | PANF_CANCEL);
    EXPECT_EQ(record.result, 1);

    struct Expected {
        const char* type;
        const char* label;
        int x, y, w, h;
        bool ghosted;
    };
    // Widths and heights follow the host's metrics: 7 pixels per label byte,
    // rows of 19 pixels; the invalid list sits 4 pixels below the valid one.
    const Expected expected[] = {
        {"TextControl", "Object: /models/rig.lwo", 5, 10, 7 * 23, 19, false},
        {"CustomPopupControl", "Group Triangles by:", 160 - 7 * 19, 42, 7 * 19 + 180, 19, false},
        {"BoolControl", "Don't verify UV information", 366, 42, 7 * 27 + 20, 19, false},
        {"MultiListBoxControl", "Valid Geometry List", 5, 82, 500, 19 * 5, false},
        {"MultiListBoxControl", "Invalid Geometry List", 0, 82 + 19 * 5 + 4, 500, 19 * 7, true},
        {"ButtonControl", "UV Template Image Options", 377, 288, 7 * 25 + 16, 19, false},
        {"BoolControl", "Scale geometry:", 8, 288, 7 * 15 + 20, 19, false},
        {"FloatControl", "", 112, 288, 80, 19, false},
        {"BoolControl", "Include null bones", 8, 320, 7 * 18 + 20, 19, false},
        {"TextControl", "Click Save SMD File to export SMD file:", 5, 360, 7 * 39, 19, false},
        {"ButtonControl", "Save SMD file", 442, 360, 7 * 13 + 16, 19, false},
    };
    const lwhost::PanelView& shown = record.views.front();
    EXPECT_EQ(shown.cause, "open");
    ASSERT_EQ(shown.controls.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const ControlView& control = shown.controls[i];
        EXPECT_EQ(control.type, expected[i].type) << i;
        EXPECT_EQ(control.label, expected[i].label) << i;
        EXPECT_EQ(control.x, expected[i].x) << control.label;
        EXPECT_EQ(control.y, expected[i].y) << control.label;
        EXPECT_EQ(control.w, expected[i].w) << control.label;
        EXPECT_EQ(control.h, expected[i].h) << control.label;
        EXPECT_EQ(control.ghosted, expected[i].ghosted) << control.label;
        EXPECT_TRUE(control.visible) << control.label;
    }
    EXPECT_EQ(shown.controls[0].lines, std::vector<std::string>{""});
    EXPECT_EQ(shown.controls[9].lines, std::vector<std::string>{""});

    const ControlView* popup = shown.control("Group Triangles by:");
    EXPECT_EQ(popup->items,
              (std::vector<std::string>{"UV Texture Map Name", "Surface Name", "Surface Texture Image Name"}));
    EXPECT_EQ(popup->int_value, 0);
    EXPECT_EQ(shown.control("Don't verify UV information")->int_value, 0);
    EXPECT_EQ(shown.control("Scale geometry:")->int_value, 1);
    EXPECT_EQ(shown.control("Include null bones")->int_value, 1);
    EXPECT_EQ(shown.control("FloatControl", 0)->float_value, 40.0);

    // Four triangles (the quad counts two); five bones with weight maps and the
    // null bone; one of each kind of invalid geometry.
    const ControlView* valid = shown.control("Valid Geometry List");
    EXPECT_EQ(valid->column_widths, (std::vector<int>{300, 200}));
    EXPECT_EQ(valid->header, (std::vector<std::string>{"Valid Geometry", "Count"}));
    EXPECT_EQ(valid->rows, (Rows{{"Triangles", "4"}, {"Bones", "5"}, {"Null Bones", "1"}}));
    const ControlView* invalid = shown.control("Invalid Geometry List");
    EXPECT_EQ(invalid->column_widths, (std::vector<int>{300, 200}));
    EXPECT_EQ(invalid->header, (std::vector<std::string>{"Invalid Geometry", "Count"}));
    EXPECT_EQ(invalid->rows, invalid_rows("1", "1", "1", "1"));

    EXPECT_EQ(host.panels().live_count(), 0u) << "the panel is destroyed after it closes";
    EXPECT_EQ(lwhost::services::live_mesh_info_count(), live_meshes) << "every mesh info is given back";
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.command_log.empty()) << "the default threshold is large enough";
    EXPECT_TRUE(host.file_requests.empty());
}

// A quad and a triangle on surface "Plain", without any UV map.
lwhost::ItemId build_plain(SceneBuilder& b) {
    auto m = b.mesh("/models/plain.lwo");
    const auto a = m.point(0, 0, 0), c = m.point(1, 0, 0), d = m.point(1, 1, 0), e = m.point(0, 1, 0);
    const auto f = m.point(1, 2, 3);
    m.quad(a, c, d, e, "Plain");
    m.triangle(e, d, f, "Plain");
    const lwhost::ItemId object = b.object("Plain", m);
    b.select(object);
    return object;
}

TEST(RefPanel, WithoutUvMapsNothingIsSavedUntilVerificationIsOff) {
    Host host;
    SceneBuilder b(host.scene);
    build_plain(b);
    load(host);
    uv_test::TempDir dir;
    const std::string path = dir.file("plain.smd");
    host.script()
        .press("Save SMD file")  // ghosted: the user cannot press it
        .set("Don't verify UV information", 1)
        .press("Save SMD file")
        .answer_file(path)
        .set("Don't verify UV information", 0)
        .close();
    ASSERT_EQ(host.run_generic("SMD Export Layout"), 0);
    const PanelRecord& record = exporter_panel(host);
    ASSERT_EQ(record.views.size(), 5u);  // open, three actions carried out, close

    const lwhost::PanelView& opened = record.views[0];
    EXPECT_EQ(opened.control("Group Triangles by:")->items,
              (std::vector<std::string>{"Surface Name", "Surface Texture Image Name"}));
    EXPECT_TRUE(opened.control("UV Template Image Options")->ghosted);
    EXPECT_TRUE(opened.control("Save SMD file")->ghosted);
    EXPECT_EQ(opened.control("Valid Geometry List")->rows[0], (std::vector<std::string>{"Triangles", "0"}));
    EXPECT_EQ(opened.control("Invalid Geometry List")->rows, invalid_rows("3", "0", "0", "0"));
    ASSERT_FALSE(host.diagnostics.empty());
    EXPECT_NE(host.diagnostics.front().find("Save SMD file"), std::string::npos) << host.diagnostics.front();

    const lwhost::PanelView& unverified = record.views[1];
    EXPECT_EQ(unverified.cause, "set \"Don't verify UV information\" 1");
    EXPECT_FALSE(unverified.control("Save SMD file")->ghosted);
    EXPECT_TRUE(unverified.control("UV Template Image Options")->ghosted);
    EXPECT_EQ(unverified.control("Valid Geometry List")->rows[0], (std::vector<std::string>{"Triangles", "3"}));
    EXPECT_EQ(unverified.control("Invalid Geometry List")->rows, invalid_rows("0", "0", "0", "0"));

    // Saved with zero texture coordinates, named after the surface although
    // the popup's first item stands for UV maps here.
    const std::string text = rigtest::read_file(path);
    int materials = 0;
    for (std::size_t at = text.find("\nPlain\n"); at != std::string::npos; at = text.find("\nPlain\n", at + 1))
        ++materials;
    EXPECT_EQ(materials, 3);
    EXPECT_NE(text.find("0.000000 0.000000 \n"), std::string::npos);

    const lwhost::PanelView& verified = record.views[3];
    EXPECT_TRUE(verified.control("Save SMD file")->ghosted);
    EXPECT_EQ(verified.control("Invalid Geometry List")->rows, invalid_rows("3", "0", "0", "0"));
    EXPECT_TRUE(host.messages.empty());
}

TEST(RefPanel, ScaleBoxDecidesTheFactorAndGhostsItsField) {
    Host host;
    SceneBuilder b(host.scene);
    build_plain(b);
    load(host);
    uv_test::TempDir dir;
    const std::string scaled = dir.file("scaled.smd"), unscaled = dir.file("unscaled.smd");
    host.script()
        .set("Don't verify UV information", 1)
        .set(lwhost::unlabelled("float", 0), 12.5)
        .press("Save SMD file")
        .answer_file(scaled)
        .set("Scale geometry:", 0)
        .press("Save SMD file")
        .answer_file(unscaled)
        .set("Scale geometry:", 1)
        .close();
    ASSERT_EQ(host.run_generic("SMD Export Layout"), 0);
    const PanelRecord& record = exporter_panel(host);
    ASSERT_EQ(record.views.size(), 8u);  // open, six actions, close
    EXPECT_FALSE(record.views[2].control("FloatControl", 0)->ghosted);
    EXPECT_TRUE(record.views[4].control("FloatControl", 0)->ghosted);
    EXPECT_EQ(record.views[4].control("FloatControl", 0)->float_value, 12.5) << "the field keeps its value";
    EXPECT_FALSE(record.views[6].control("FloatControl", 0)->ghosted);

    // Point (1, 2, 3) of the host is (1, 3, 2) in the file, times the factor;
    // its normal and texture coordinates do not depend on it.
    const std::string scaled_text = rigtest::read_file(scaled), unscaled_text = rigtest::read_file(unscaled);
    EXPECT_NE(scaled_text.find("\n0 12.500000 37.500000 25.000000 "), std::string::npos) << scaled_text;
    EXPECT_NE(unscaled_text.find("\n0 1.000000 3.000000 2.000000 "), std::string::npos) << unscaled_text;
    EXPECT_EQ(scaled_text.find("\n0 40.000000 120.000000"), std::string::npos);
    EXPECT_TRUE(host.messages.empty());
}

// 1e300 is a double but no float: used, it would make every number of the
// file inf or nan. The field goes back to its last good value instead, and
// so it does for NaN.
TEST(RefPanel, AScaleThatIsNoFiniteFloatGivesWayToTheLastGoodOne) {
    Host host;
    SceneBuilder b(host.scene);
    build_plain(b);
    load(host);
    uv_test::TempDir dir;
    const std::string huge = dir.file("huge.smd"), not_a_number = dir.file("nan.smd");
    host.script()
        .set("Don't verify UV information", 1)
        .set(lwhost::unlabelled("float", 0), 1e300)
        .press("Save SMD file")
        .answer_file(huge)
        .set(lwhost::unlabelled("float", 0), 2.5)
        .set(lwhost::unlabelled("float", 0), std::numeric_limits<double>::quiet_NaN())
        .press("Save SMD file")
        .answer_file(not_a_number)
        .close();
    ASSERT_EQ(host.run_generic("SMD Export Layout"), 0);
    const PanelRecord& record = exporter_panel(host);
    ASSERT_EQ(record.views.size(), 8u);  // open, six actions, close
    // The field takes the bad value back as soon as it is typed.
    for (int view : {2, 3}) EXPECT_EQ(record.views[view].control("FloatControl", 0)->float_value, 40.0) << view;
    for (int view : {5, 6}) EXPECT_EQ(record.views[view].control("FloatControl", 0)->float_value, 2.5) << view;

    // Point (1, 2, 3) of the host is (1, 3, 2) in the file, times the factor.
    const std::string huge_text = rigtest::read_file(huge), nan_text = rigtest::read_file(not_a_number);
    EXPECT_NE(huge_text.find("\n0 40.000000 120.000000 80.000000 "), std::string::npos) << huge_text;
    EXPECT_NE(nan_text.find("\n0 2.500000 7.500000 5.000000 "), std::string::npos) << nan_text;
    for (const std::string* text : {&huge_text, &nan_text}) {
        EXPECT_EQ(text->find("inf"), std::string::npos) << *text;
        EXPECT_EQ(text->find("nan"), std::string::npos) << *text;
    }
    EXPECT_TRUE(host.messages.empty());
}

TEST(RefPanel, GroupingAndNullBonesTakeEffectOnTheNextSave) {
    Host host;
    SceneBuilder b(host.scene);
    rigtest::build_rig(b);
    load(host);
    uv_test::TempDir dir;
    const std::string first = dir.file("first.smd"), second = dir.file("second.smd");
    host.script()
        .pick("Group Triangles by:", "Surface Texture Image Name")
        .set("Include null bones", 0)
        .press("Save SMD file")
        .answer_file(first)
        .set("Include null bones", 1)
        .pick("Group Triangles by:", "Surface Name")
        .press("Save SMD file")
        .answer_file(second)
        .close();
    ASSERT_EQ(host.run_generic("SMD Export Layout"), 0);
    const std::string a = rigtest::read_file(first), c = rigtest::read_file(second);
    EXPECT_EQ(a.find("// null bone"), std::string::npos);
    EXPECT_NE(a.find("\nSkin_Color\n"), std::string::npos);
    EXPECT_NE(c.find("2\t \"Tail\"\t 0\t // null bone\n"), std::string::npos);
    EXPECT_EQ(c.find("Skin_Color"), std::string::npos);
    EXPECT_NE(c.find("\nSkin\n"), std::string::npos);
    // The grouping changes no count.
    const PanelRecord& record = exporter_panel(host);
    for (const lwhost::PanelView& view : record.views)
        EXPECT_EQ(view.control("Valid Geometry List")->rows[0], (std::vector<std::string>{"Triangles", "4"}))
            << view.cause;
}

// "UV Template Image Options" opens the UV template panel over the selected
// object: its maps, and a picture of its polygons only.
TEST(RefPanel, UvTemplateDrawsTheSelectedObject) {
    Host host;
    SceneBuilder b(host.scene);
    rigtest::build_rig(b);
    {  // another object with the same map, not selected: not drawn
        auto other = b.mesh("/models/other.lwo");
        const auto a = other.point(0, 0, 0), c = other.point(1, 0, 0), d = other.point(1, 1, 0);
        other.triangle(a, c, d, "Other");
        other.uv("Detail Map", a, 0.0f, 0.0f).uv("Detail Map", c, 1.0f, 0.0f).uv("Detail Map", d, 1.0f, 1.0f);
        b.object("Other", other);
    }
    load(host);
    uv_test::TempDir dir;
    const std::string picture = dir.file("detail.tga");
    host.script()
        .press("UV Template Image Options")
        .pick("UV Map:", "Detail Map")
        .set("UV Template Image Size:", 16)
        .press("Save UV Template Image")
        .answer_file(picture)
        .close()
        .close();
    ASSERT_EQ(host.run_generic("SMD Export Layout"), 0);
    ASSERT_EQ(host.panel_log().size(), 2u);
    EXPECT_EQ(host.panel_log()[0].title, kTitle);
    EXPECT_EQ(host.panel_log()[1].title, "UV Template Exporter");
    EXPECT_EQ(host.panel_log()[1].views.front().control("UV Map:")->items,
              (std::vector<std::string>{"Main", "Detail Map"}));
    ASSERT_EQ(host.file_requests.size(), 1u);
    EXPECT_EQ(host.file_requests[0].base_name_in, "Detail Map.tga");

    // Only T lies wholly in "Detail Map": (0.125, 0.25), (0.5, 0.875),
    // (0.875, 0.25) on 16 pixels are (2, 12), (8, 2), (14, 12).
    uv_test::Picture expected(16, uv_test::WHITE);
    expected.outline({{2, 12}, {8, 2}, {14, 12}}, uv_test::BLACK);
    EXPECT_EQ(uv_test::difference(uv_test::read_targa(picture), expected), "");
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.panels().live_count(), 0u);
}

}  // namespace
