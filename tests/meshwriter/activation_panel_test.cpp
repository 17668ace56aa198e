// The activation's handled failures, run in-process: a panel toolkit that
// cannot make the panel, and a host without "Scene Objects 4", whose panel
// opens with nothing collected.
#include <gtest/gtest.h>

#include <cstring>

#include <lwmeshes.h>
#include <lwpanel.h>

#include "mesh_fixture.h"
#include "panels.h"
#include "ui_script.h"

namespace {

TEST(MeshActivation, TellsTheUserWhenThePanelCannotBeMade) {
    const std::vector<lwhost::PanelFaults> failures = lwhost::panel_failures();
    for (std::size_t i = 0; i < failures.size(); ++i) {
        lwhost::Host host;
        lwhost::SceneBuilder b(host.scene);
        auto m = b.mesh("/models/one.lwo");
        m.triangle(m.point(0, 0, 0), m.point(1, 0, 0), m.point(0, 1, 0));
        host.scene.current_mesh = m.index();
        host.panels().faults = failures[i];
        EXPECT_EQ(meshtest::run_export(host), 0) << i;
        ASSERT_EQ(host.messages.size(), 1u) << i;
        EXPECT_EQ(host.messages[0].line1, "Error creating user interface !");
        EXPECT_FALSE(host.messages[0].has_line2);
        EXPECT_TRUE(host.panel_log().empty()) << i;
        EXPECT_EQ(host.panels().live_count(), 0u) << i;
        MeshEditOp* again = lwhost::begin_mesh_edit(host, 0, 0, 0);
        ASSERT_NE(again, nullptr) << "the edit was ended, case " << i;
        again->done(again->state, EDERR_NONE, 0);
    }
}

TEST(MeshActivation, WithoutSceneObjectsThePanelOpensEmpty) {
    lwhost::Host host;
    lwhost::SceneBuilder b(host.scene);
    auto m = b.mesh("/models/one.lwo");
    auto p = m.point(0, 0, 0), q = m.point(1, 0, 0), r = m.point(0, 1, 0);
    m.triangle(p, q, r);
    m.uv("UVMap", p, 0, 0).uv("UVMap", q, 1, 0).uv("UVMap", r, 0, 1);
    host.scene.current_mesh = m.index();
    host.withhold(LWOBJECTFUNCS_GLOBAL);
    host.script().press("Save SMD file").close();  // ghosted: refused
    ASSERT_EQ(meshtest::run_export(host), 0);
    ASSERT_EQ(host.panel_log().size(), 1u);
    const lwhost::PanelRecord& panel = host.panel_log()[0];
    EXPECT_EQ(panel.rows("Valid Geometry List")[0][1], "0");
    for (const auto& row : panel.rows("Invalid Geometry List")) EXPECT_EQ(row[1], "0");
    EXPECT_TRUE(panel.control("Save SMD file")->ghosted);
    EXPECT_TRUE(panel.control("UV Template Image Options")->ghosted);
    EXPECT_TRUE(host.file_requests.empty());
    EXPECT_TRUE(host.messages.empty());
}

}  // namespace
