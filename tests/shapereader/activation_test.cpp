// The activation run in-process with a panel toolkit that cannot make the
// panel: the one message, no import, and nothing left open.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <lwpanel.h>

#include "import_fixture.h"
#include "panels.h"
#include "shapereader.h"
#include "ui_script.h"

namespace {

// The host's panel services with one function replaced; handed out by
// patched_global in place of the host's record.
LWPanelFuncs g_patched_panels;
void (*g_patch)(LWPanelFuncs&) = nullptr;

void* patched_global(const char* name, int use) {
    void* service = lwhost::Host::global_function(name, use);
    if (service == nullptr || std::strcmp(name, LWPANELFUNCS_GLOBAL) != 0) return service;
    g_patched_panels = *static_cast<LWPanelFuncs*>(service);
    g_patch(g_patched_panels);
    return &g_patched_panels;
}

TEST(MeshImportActivation, TellsTheUserWhenThePanelCannotBeMade) {
    const std::vector<void (*)(LWPanelFuncs&)> patches = {
        [](LWPanelFuncs& p) { p.create = [](char*, void*) -> LWPanelID { return nullptr; }; },
        [](LWPanelFuncs& p) {  // a toolkit of another version
            static void (*host_get)(LWPanelID, pTag, void*) = nullptr;
            host_get = p.get;
            p.get = [](LWPanelID panel, pTag tag, void* value) {
                host_get(panel, tag, value);
                if (tag == PAN_VERSION) *static_cast<int*>(value) = 18;
            };
        },
        [](LWPanelFuncs& p) {  // a control refused
            p.addControl = [](LWPanelID, char*, LWPanControlDesc*, char*) -> LWControl* { return nullptr; };
        },
    };
    for (std::size_t i = 0; i < patches.size(); ++i) {
        importtest::Importer x;
        g_patch = patches[i];
        x.host.script().press("Import SMD Mesh File").close();
        EXPECT_EQ(mesh_import_activate(LWMODCOMMAND_VERSION, patched_global, &x.local, nullptr), 0) << i;
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
