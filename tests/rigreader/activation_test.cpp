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
#include <vector>

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

int activate() {
    LWLayoutGeneric generic{nullptr, nullptr, nullptr, nullptr, nullptr, evaluate};
    return skeleton_activate(2, lwhost::Host::global_function, &generic, nullptr);
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
    EXPECT_EQ(activate(), AFUNC_OK);
    EXPECT_FALSE(g_fail_next_array) << "the table is the first array the activation allocates";
    EXPECT_EQ(only_message(host), "Out of memory!");
    EXPECT_TRUE(host.panel_log().empty());
    EXPECT_TRUE(host.file_requests.empty());
    EXPECT_TRUE(host.command_log.empty());
}

TEST(SkeletonActivation, APanelThatCannotBeMadeIsReported) {
    std::vector<lwhost::PanelFaults> failures = lwhost::panel_failures();
    failures.emplace_back();  // and an import button refused alone
    failures.back().refuse_controls = true;
    failures.back().refused_control_type = "ButtonControl";
    for (std::size_t i = 0; i < failures.size(); ++i) {
        lwhost::Host host;
        host.panels().faults = failures[i];
        EXPECT_EQ(activate(), AFUNC_OK);
        EXPECT_EQ(only_message(host), "Error creating user interface !") << i;
        EXPECT_TRUE(host.panel_log().empty()) << i;
        EXPECT_EQ(host.panels().live_count(), 0u) << "destroyed again";
    }
    lwhost::Host host;  // and without a fault it opens
    host.script().close();
    EXPECT_EQ(activate(), AFUNC_OK);
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
