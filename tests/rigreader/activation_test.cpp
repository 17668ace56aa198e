// The activation's failures that the host cannot provoke: a bone table that
// cannot be allocated, a node name that cannot be copied, and panel
// toolkits that refuse the panel, are of another version, or refuse a
// control. The activation runs in this process with a global function that
// changes what the host serves.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <lwpanel.h>

#include "import_fixture.h"
#include "panels.h"
#include "rigreader.h"
#include "ui_script.h"

namespace {

bool g_fail_next_array = false;

}  // namespace

// The nothrow array allocation of this test program, which can be made to
// fail once. It takes its memory from the throwing form so that the matching
// delete[] (and a sanitizer's bookkeeping) stays right.
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (g_fail_next_array) {
        g_fail_next_array = false;
        return nullptr;
    }
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

using importtest::evaluate;

LWPanelFuncs g_panels{};
void (*g_host_get)(LWPanelID, pTag, void*) = nullptr;
LWControl* (*g_host_add)(LWPanelID, char*, LWPanControlDesc*, char*) = nullptr;

enum class PanelFault { None, NoPanel, OldVersion, NoButton };
PanelFault g_fault = PanelFault::None;

// The host's panel services, with one fault.
void* faulty_global(const char* name, int use) {
    void* service = lwhost::Host::global_function(name, use);
    if (std::strcmp(name, LWPANELFUNCS_GLOBAL) != 0 || !service || g_fault == PanelFault::None) return service;
    g_panels = *static_cast<LWPanelFuncs*>(service);
    g_host_get = g_panels.get;
    g_host_add = g_panels.addControl;
    if (g_fault == PanelFault::NoPanel) g_panels.create = [](char*, void*) -> LWPanelID { return nullptr; };
    if (g_fault == PanelFault::OldVersion) {
        g_panels.get = [](LWPanelID panel, pTag tag, void* value) {
            g_host_get(panel, tag, value);
            if (tag == PAN_VERSION) *static_cast<int*>(value) = 18;
        };
    }
    if (g_fault == PanelFault::NoButton) {
        g_panels.addControl = [](LWPanelID panel, char* type, LWPanControlDesc* desc, char* label) -> LWControl* {
            return std::strcmp(type, "ButtonControl") == 0 ? nullptr : g_host_add(panel, type, desc, label);
        };
    }
    return &g_panels;
}

int activate(PanelFault fault) {
    g_fault = fault;
    LWLayoutGeneric generic{nullptr, nullptr, nullptr, nullptr, nullptr, evaluate};
    const int result = skeleton_activate(2, faulty_global, &generic, nullptr);
    g_fault = PanelFault::None;
    return result;
}

std::string only_message(const lwhost::Host& host) {
    if (host.messages.size() != 1) return std::to_string(host.messages.size()) + " messages";
    EXPECT_EQ(host.messages[0].level, lwhost::MessageLevel::Error);
    EXPECT_FALSE(host.messages[0].has_line2);
    return host.messages[0].line1;
}

TEST(SkeletonActivation, WithoutTheBoneTableNoImportCanRun) {
    lwhost::Host host;
    host.script().press("Import SMD reference file").answer_file("/tmp/never.smd").close();
    g_fail_next_array = true;
    EXPECT_EQ(activate(PanelFault::None), AFUNC_OK);
    EXPECT_FALSE(g_fail_next_array) << "the table is the first array the activation allocates";
    EXPECT_EQ(only_message(host), "Out of memory!");
    EXPECT_TRUE(host.panel_log().empty());
    EXPECT_TRUE(host.file_requests.empty());
    EXPECT_TRUE(host.command_log.empty());
}

TEST(SkeletonActivation, APanelThatCannotBeMadeIsReported) {
    for (PanelFault fault : {PanelFault::NoPanel, PanelFault::OldVersion, PanelFault::NoButton}) {
        lwhost::Host host;
        EXPECT_EQ(activate(fault), AFUNC_OK);
        EXPECT_EQ(only_message(host), "Error creating user interface !") << int(fault);
        EXPECT_TRUE(host.panel_log().empty()) << int(fault);
        EXPECT_EQ(host.panels().live_count(), 0u) << "destroyed again";
    }
    lwhost::Host host;  // and the same global function without a fault opens it
    host.script().close();
    EXPECT_EQ(activate(PanelFault::None), AFUNC_OK);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.panel_log().size(), 1u);
}

TEST(SkeletonActivation, ANameThatCannotBeCopiedFailsTheNodes) {
    importtest::ImportFixture f;
    SmdLineReader reader;
    reader.file = importtest::text_file("0 \"root\" -1\nend\n");
    g_fail_next_array = true;
    EXPECT_EQ(skeleton_read_nodes(f.state, reader), SKELETON_READ_FAILED);
    std::fclose(reader.file);
    EXPECT_EQ(f.row(0).name, nullptr);
    EXPECT_EQ(f.state.node_count, 0);
}

}  // namespace
