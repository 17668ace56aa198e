// The activation run in-process with a panel toolkit that cannot make the
// panel: the one message, no import, and nothing left open.
#include <gtest/gtest.h>

#include <vector>

#include <lwpanel.h>

#include "import_fixture.h"
#include "panels.h"
#include "shapereader.h"
#include "ui_script.h"

namespace {

TEST(MeshImportActivation, TellsTheUserWhenThePanelCannotBeMade) {
    const std::vector<lwhost::PanelFaults> failures = lwhost::panel_failures();
    for (std::size_t i = 0; i < failures.size(); ++i) {
        importtest::Importer x;
        x.host.panels().faults = failures[i];
        x.host.script().press("Import SMD Mesh File").close();
        EXPECT_EQ(mesh_import_activate(LWMODCOMMAND_VERSION, lwhost::Host::global_function, &x.local, nullptr), 0)
            << i;
        ASSERT_EQ(x.host.messages.size(), 1u) << i;
        EXPECT_EQ(x.host.messages[0].line1, "Error creating user interface !");
        EXPECT_FALSE(x.host.messages[0].has_line2);
        EXPECT_TRUE(x.host.panel_log().empty()) << i;
        EXPECT_EQ(x.host.panels().live_count(), 0u) << i;
        EXPECT_TRUE(x.host.file_requests.empty()) << i;
    }
}

TEST(MeshImportActivation, EventsWithoutAStateDoNothing) {
    importtest::Importer x;
    mesh_scale_toggled(nullptr, nullptr);
    mesh_import_pressed(nullptr, nullptr);
    EXPECT_TRUE(x.host.file_requests.empty());
    EXPECT_TRUE(x.host.messages.empty());
}

}  // namespace
