// Each plug-in loads through the host, lists the servers of its descriptor,
// fetches its services by name in its own order, and answers a missing
// required service with 2 and a version it does not serve with 1, before any
// panel opens.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host.h"
#include "loader.h"
#include "scene_builder.h"

namespace {

using lwhost::Host;

std::string plugin_path(const char* name) { return std::string(LWSMD_PLUGIN_DIR) + "/" + name + ".so"; }

std::vector<std::string> requested_names(const Host& host) {
    std::vector<std::string> names;
    for (const auto& request : host.global_requests) names.push_back(request.name);
    return names;
}

struct ServerEntry {
    const char* class_name;
    const char* name;
};

struct PluginEntry {
    const char* file;
    std::vector<ServerEntry> servers;
};

TEST(Activation, DescriptorsListTheirServers) {
    const std::vector<PluginEntry> plugins = {
        {"rigwriter", {{"LayoutGeneric", "SMD Export Layout"}}},
        {"meshwriter", {{"CommandSequence", "SMD Export"}}},
        {"motionwriter", {{"LayoutGeneric", "SMD Animation"}, {"ItemMotionHandler", "SMD_Anim_Motion"}}},
        {"rigreader", {{"LayoutGeneric", "SMD Skeleton Import"}}},
        {"shapereader", {{"CommandSequence", "SMD Mesh Import"}}},
    };
    for (const auto& plugin : plugins) {
        Host host;
        std::string error;
        lwhost::PluginModule* module = host.plugins().load(plugin_path(plugin.file), &error);
        ASSERT_NE(module, nullptr) << error;
        EXPECT_EQ(module->descriptor->sysSync, 0x04121994u);
        EXPECT_EQ(module->descriptor->sysVersion, 3u);
        EXPECT_EQ(module->descriptor->sysMachine, 0x300u);
        EXPECT_EQ(module->server_data, reinterpret_cast<void*>(std::uintptr_t(4)));
        ASSERT_EQ(module->servers.size(), plugin.servers.size()) << plugin.file;
        for (std::size_t i = 0; i < plugin.servers.size(); ++i) {
            EXPECT_EQ(module->servers[i].class_name, plugin.servers[i].class_name);
            EXPECT_EQ(module->servers[i].name, plugin.servers[i].name);
        }
    }
}

// A Layout generic that fetches `order` and needs `required` of them.
struct GenericEntry {
    const char* file;
    const char* server;
    std::vector<std::string> order;
    std::vector<std::string> required;
};

const std::vector<GenericEntry>& layout_generics() {
    static const std::vector<GenericEntry> table = {
        {"rigwriter", "SMD Export Layout",
         {"Info Messages 2", "LW Item Info 3", "LW Scene Info 3", "LW Object Info 4", "LW Interface Info 3",
          "LWPanelServices"},
         {"Info Messages 2", "LW Item Info 3", "LW Scene Info 3", "LW Object Info 4", "LW Interface Info 3",
          "LWPanelServices"}},
        {"motionwriter", "SMD Animation",
         {"Info Messages 2", "LW Item Info 3", "LW Scene Info 3", "LW Object Info 4", "LW Interface Info 3",
          "LWPanelServices"},
         {"Info Messages 2", "LW Item Info 3", "LW Scene Info 3", "LW Object Info 4", "LW Interface Info 3",
          "LWPanelServices"}},
        {"rigreader", "SMD Skeleton Import",
         {"Info Messages 2", "LW Item Info 3", "LW Scene Info 3", "LW Interface Info 3", "LWPanelServices"},
         {"Info Messages 2", "LW Item Info 3", "LW Scene Info 3", "LWPanelServices"}},
    };
    return table;
}

TEST(Activation, LayoutGenericsFetchTheirServicesInOrder) {
    for (const auto& expected : layout_generics()) {
        Host host;
        ASSERT_NE(host.plugins().load(plugin_path(expected.file)), nullptr);
        host.run_generic(expected.server);
        std::vector<std::string> names = requested_names(host);
        names.resize(std::min(names.size(), expected.order.size()));
        EXPECT_EQ(names, expected.order) << expected.server;
    }
}

TEST(Activation, LayoutGenericsReturnTwoWithoutARequiredService) {
    for (const auto& expected : layout_generics()) {
        for (const auto& missing : expected.required) {
            Host host;
            ASSERT_NE(host.plugins().load(plugin_path(expected.file)), nullptr);
            host.withhold(missing);
            EXPECT_EQ(host.run_generic(expected.server), 2) << expected.server << " without " << missing;
            EXPECT_TRUE(host.panel_log().empty()) << expected.server << " without " << missing;
            EXPECT_TRUE(host.command_log.empty()) << expected.server << " without " << missing;
            EXPECT_TRUE(host.messages.empty()) << expected.server << " without " << missing;
        }
    }
}

TEST(Activation, LayoutGenericsServeAnyVersion) {
    for (const auto& expected : layout_generics()) {
        for (int version : {1, 2, 7}) {
            Host host;
            ASSERT_NE(host.plugins().load(plugin_path(expected.file)), nullptr);
            EXPECT_NE(host.run_generic(expected.server, version), 1) << expected.server << " version " << version;
        }
    }
}

TEST(Activation, SkeletonImporterDoesWithoutInterfaceInfo) {
    Host host;
    ASSERT_NE(host.plugins().load(plugin_path("rigreader")), nullptr);
    host.withhold("LW Interface Info 3");
    EXPECT_NE(host.run_generic("SMD Skeleton Import"), 2);
}

// Modeler command sequences: panel services first, then the state query,
// then the version, then the messages.
struct CommandEntry {
    const char* file;
    const char* server;
};
const CommandEntry kCommands[] = {{"meshwriter", "SMD Export"}, {"shapereader", "SMD Mesh Import"}};

TEST(Activation, CommandSequencesCheckServicesAroundTheVersion) {
    for (const auto& expected : kCommands) {
        {
            Host host;
            ASSERT_NE(host.plugins().load(plugin_path(expected.file)), nullptr);
            host.withhold("LWPanelServices");
            EXPECT_EQ(host.run_command(expected.server, 2), 2) << expected.server;
            EXPECT_EQ(requested_names(host), std::vector<std::string>{"LWPanelServices"});
        }
        {
            Host host;
            ASSERT_NE(host.plugins().load(plugin_path(expected.file)), nullptr);
            host.withhold("LWM: State Query 3");
            EXPECT_EQ(host.run_command(expected.server, 2), 2) << expected.server;
            EXPECT_EQ(requested_names(host), (std::vector<std::string>{"LWPanelServices", "LWM: State Query 3"}));
        }
        {  // the version is checked before the messages are fetched
            Host host;
            ASSERT_NE(host.plugins().load(plugin_path(expected.file)), nullptr);
            host.withhold("Info Messages 2");
            EXPECT_EQ(host.run_command(expected.server, 2), 1) << expected.server;
            EXPECT_EQ(host.run_command(expected.server, 4), 1) << expected.server;
            EXPECT_EQ(host.run_command(expected.server, 3), 2) << expected.server;
            EXPECT_TRUE(host.panel_log().empty());
        }
    }
}

TEST(Activation, StaticExporterNeedsAMeshEdit) {
    Host host;
    ASSERT_NE(host.plugins().load(plugin_path("meshwriter")), nullptr);
    // No current object: the edit cannot begin.
    EXPECT_EQ(host.run_command("SMD Export"), 3);
    EXPECT_TRUE(host.panel_log().empty());
}

TEST(Activation, MotionHandlerServesVersionFourOnly) {
    Host host;
    ASSERT_NE(host.plugins().load(plugin_path("motionwriter")), nullptr);
    for (int version : {3, 5}) {
        LWInstanceFuncs inst{};
        LWItemFuncs item{};
        LWItemMotionHandler handler{&inst, &item, nullptr, nullptr};
        EXPECT_EQ(host.plugins().activate("ItemMotionHandler", "SMD_Anim_Motion", version, &handler), 1);
        EXPECT_EQ(inst.create, nullptr);
        EXPECT_EQ(handler.evaluate, nullptr);
    }
    LWInstanceFuncs inst{};
    LWItemFuncs item{};
    LWItemMotionHandler handler{&inst, &item, nullptr, nullptr};
    ASSERT_EQ(host.plugins().activate("ItemMotionHandler", "SMD_Anim_Motion", 4, &handler), 0);
    EXPECT_EQ(inst.priv, reinterpret_cast<void*>(&Host::global_function));
    ASSERT_NE(inst.create, nullptr);
    ASSERT_NE(inst.descln, nullptr);
    ASSERT_NE(handler.flags, nullptr);
    EXPECT_EQ(handler.item, &item);  // left as the host gave it

    LWError error = nullptr;
    LWInstance instance = inst.create(inst.priv, reinterpret_cast<void*>(std::uintptr_t(255)), &error);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(error, nullptr);
    EXPECT_STREQ(inst.descln(instance), "SMD Anim item=ff");
    EXPECT_EQ(handler.flags(instance), 1u);  // evaluated after inverse kinematics
    inst.destroy(instance);
    // The shared block holds a whole pointer, and a new block reads as null.
    ASSERT_EQ(host.memory_blocks.size(), 1u);
    EXPECT_EQ(host.memory_blocks[0]->id, "smd_anim_mem");
    ASSERT_EQ(host.memory_blocks[0]->bytes.size(), sizeof(void*));
    EXPECT_EQ(*reinterpret_cast<void**>(host.memory_blocks[0]->bytes.data()), nullptr);

    host.withhold("Global Render Memory");  // no shared block: an inert instance with an error
    instance = inst.create(inst.priv, reinterpret_cast<void*>(std::uintptr_t(1)), &error);
    ASSERT_NE(instance, nullptr);
    EXPECT_STREQ(error, "Couldn't allocate instance data.");
    inst.destroy(instance);
}

}  // namespace
