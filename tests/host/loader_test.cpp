// The plug-in loader, the activation locals and "Global Render Memory",
// exercised with the fixture modules of tests/host/fixtures.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "fixture_api.h"
#include "host.h"
#include "loader.h"
#include "lwglobsrv.h"

namespace lwhost {
namespace {

template <class T>
T fixture_symbol(const PluginModule* module, const char* name) {
    void* symbol = dlsym(module->handle, name);
    EXPECT_NE(symbol, nullptr) << name;
    return reinterpret_cast<T>(symbol);
}

bool has_diagnostic(const Host& host, const std::string& part) {
    for (const std::string& line : host.diagnostics)
        if (line.find(part) != std::string::npos) return true;
    return false;
}

TEST(Loader, RefusesBrokenModulesWithTheReason) {
    Host host;
    std::string error;

    {  // a missing file
        const std::string path = testing::TempDir() + "no_such_plugin.so";
        EXPECT_EQ(host.plugins().load(path, &error), nullptr);
        EXPECT_EQ(error.rfind("cannot open " + path + ": ", 0), 0u) << error;
        EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    }
    {  // a text file is no shared library
        const std::string path = testing::TempDir() + "not_a_plugin.so";
        std::ofstream(path) << "This is a text file, not a plug-in.\n";
        error.clear();
        EXPECT_EQ(host.plugins().load(path, &error), nullptr);
        EXPECT_EQ(error.rfind("cannot open " + path + ": ", 0), 0u) << error;
        EXPECT_GT(error.size(), ("cannot open " + path + ": ").size()) << "the system's reason is kept";
        std::remove(path.c_str());
    }
    const std::pair<const char*, std::string> broken[] = {
        {FIXTURE_NO_DESCRIP_PATH, "no _mod_descrip"},
        {FIXTURE_BAD_SYNC_PATH, "wrong sync word 0x12345678 (expected 0x04121994)"},
        {FIXTURE_BAD_VERSION_PATH, "wrong descriptor version 2 (expected 3)"},
        {FIXTURE_NULL_STARTUP_PATH, "startup returned null"},
        {FIXTURE_NO_TABLE_PATH, "no server table"},
    };
    for (const auto& [path, reason] : broken) {
        error.clear();
        EXPECT_EQ(host.plugins().load(path, &error), nullptr) << path;
        EXPECT_EQ(error, std::string(path) + ": " + reason);
    }
    EXPECT_TRUE(host.plugins().modules().empty());
    EXPECT_EQ(host.plugins().load(FIXTURE_BAD_SYNC_PATH, nullptr), nullptr) << "no error text asked for";
    EXPECT_EQ(host.run_generic("Fixture Broken"), -1) << "nothing of a refused module stays loaded";
}

TEST(Loader, ListsServersAndActivatesThemWithTheirLocals) {
    Host host;
    std::string error;
    PluginModule* module = host.plugins().load(FIXTURE_GOOD_PATH, &error);
    ASSERT_NE(module, nullptr) << error;
    auto token = fixture_symbol<void* (*)()>(module, "fixture_startup_token");
    auto generic = fixture_symbol<FixtureActivation* (*)()>(module, "fixture_generic_record")();
    auto command = fixture_symbol<FixtureActivation* (*)()>(module, "fixture_command_record")();
    auto set_commands = fixture_symbol<void (*)(const char* const*, int)>(module, "fixture_set_commands");

    ASSERT_EQ(module->servers.size(), 2u);
    EXPECT_EQ(module->servers[0].class_name, "LayoutGeneric");
    EXPECT_EQ(module->servers[0].name, "Fixture Generic");
    EXPECT_EQ(module->servers[1].class_name, "CommandSequence");
    EXPECT_EQ(module->servers[1].name, "Fixture Command");
    EXPECT_EQ(module->server_data, token());
    EXPECT_EQ(host.plugins().find("CommandSequence", "Fixture Command"), module);
    EXPECT_EQ(host.plugins().find("LayoutGeneric", "Fixture Command"), nullptr) << "class and name both count";
    EXPECT_EQ(host.plugins().load(FIXTURE_GOOD_PATH, &error), module) << "a second load gives the same module";
    EXPECT_EQ(host.plugins().modules().size(), 1u);

    {  // the generic: version, server data, global function and a working local
        const char* commands[] = {"BoundingBoxThreshold  777", "NoSuchCommand 1"};
        set_commands(commands, 2);
        EXPECT_EQ(host.run_generic("Fixture Generic"), 0);
        EXPECT_EQ(generic->calls, 1);
        EXPECT_EQ(generic->version, 2);
        EXPECT_EQ(generic->server_data, token());
        EXPECT_EQ(generic->global, reinterpret_cast<void*>(&Host::global_function));
        EXPECT_EQ(generic->data, &host);
        EXPECT_TRUE(generic->has_save_scene && generic->has_load_scene && generic->has_lookup &&
                    generic->has_execute && generic->has_evaluate);
        EXPECT_EQ(generic->lookup_select_item, layout_command_code("SelectItem"));
        EXPECT_GT(generic->lookup_select_item, 0);
        EXPECT_EQ(generic->lookup_unknown, 0);
        EXPECT_EQ(generic->execute_result, 1);
        EXPECT_EQ(generic->evaluate_results[0], 1);
        EXPECT_EQ(generic->evaluate_results[1], 0);
        EXPECT_EQ(host.scene.settings.box_threshold, 777);
        EXPECT_EQ(host.command_log,
                  (std::vector<std::string>{"BoundingBoxThreshold 4321", "BoundingBoxThreshold  777", "NoSuchCommand 1"}));

        EXPECT_EQ(host.run_generic("Fixture Generic", 7), 0);
        EXPECT_EQ(generic->version, 7) << "the version asked for is passed on";
    }
    {  // the command sequence: its local carries the argument and editBegin
        const char* commands[] = {"Surf_NoSuch x"};
        set_commands(commands, 1);
        EXPECT_EQ(host.run_command("Fixture Command", 3, "first second"), 0);
        EXPECT_EQ(command->version, 3);
        EXPECT_EQ(command->server_data, token());
        EXPECT_EQ(command->data, &host);
        EXPECT_STREQ(command->argument, "first second");
        EXPECT_TRUE(command->has_lookup && command->has_execute && command->has_evaluate && command->has_edit_begin);
        EXPECT_EQ(command->evaluate_results[0], 0);
        EXPECT_EQ(host.command_log.back(), "Surf_NoSuch x");

        EXPECT_EQ(host.run_command("Fixture Command", 2), 1) << "the server's answer to a version it refuses";
        EXPECT_EQ(command->version, 2);
        EXPECT_EQ(host.run_command("Fixture Command", 3, nullptr), 0);
        EXPECT_STREQ(command->argument, "") << "a null argument is handed over as an empty text";
    }
    {  // servers that are not loaded, or of another class
        std::size_t notes = host.diagnostics.size();
        EXPECT_EQ(host.run_generic("Fixture Command"), -1);
        EXPECT_EQ(host.run_command("Fixture Generic"), -1);
        EXPECT_EQ(host.run_generic("Missing"), -1);
        EXPECT_EQ(host.diagnostics.size(), notes + 3);
        EXPECT_TRUE(has_diagnostic(host, "\"Missing\""));
        EXPECT_EQ(generic->calls, 2);
    }
}

TEST(Loader, ShutsModulesDownOnceOnUnloadAndWithTheHost) {
    int shutdowns = 0;
    {
        Host host;
        PluginModule* module = host.plugins().load(FIXTURE_GOOD_PATH);
        ASSERT_NE(module, nullptr);
        fixture_symbol<void (*)(int*)>(module, "fixture_set_shutdown_counter")(&shutdowns);
        EXPECT_TRUE(host.plugins().unload(module));
        EXPECT_EQ(shutdowns, 1);
        EXPECT_TRUE(host.plugins().modules().empty());
        EXPECT_FALSE(host.plugins().unload(module)) << "a module already gone";
        EXPECT_EQ(host.run_generic("Fixture Generic"), -1);
    }
    shutdowns = 0;
    {
        Host host;
        PluginModule* good = host.plugins().load(FIXTURE_GOOD_PATH);
        PluginModule* motion = host.plugins().load(FIXTURE_MOTION_PATH);
        ASSERT_NE(good, nullptr);
        ASSERT_NE(motion, nullptr);
        fixture_symbol<void (*)(int*)>(good, "fixture_set_shutdown_counter")(&shutdowns);
        fixture_symbol<void (*)(int*)>(motion, "fixture_set_shutdown_counter")(&shutdowns);
    }
    EXPECT_EQ(shutdowns, 2) << "every module is shut down when the host goes";
}

TEST(GlobalPool, KeepsNamedZeroFilledBlocksForTheHostsLife) {
    Host host;
    auto* pool = static_cast<LWGlobalPool*>(host.global("Global Render Memory", 0));
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(pool->first(), nullptr);
    EXPECT_EQ(pool->find("smd_anim_mem"), nullptr);

    {  // what gives no block
        EXPECT_EQ(pool->create("empty", 0), nullptr);
        EXPECT_EQ(pool->create("negative", -4), nullptr);
        EXPECT_EQ(pool->create(nullptr, 4), nullptr);
        EXPECT_EQ(pool->find(nullptr), nullptr);
        EXPECT_TRUE(host.memory_blocks.empty());
    }

    LWMemChunk first = pool->create("smd_anim_mem", 4);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(pool->size(first), 4);
    EXPECT_STREQ(pool->ID(first), "smd_anim_mem");
    const unsigned char zeros[4] = {0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(first, zeros, 4), 0);
    void* kept = nullptr;
    std::memcpy(&kept, first, sizeof kept);  // a pointer kept in a block sized for 32 bits reads as null
    EXPECT_EQ(kept, nullptr);

    LWMemChunk second = pool->create("smd_anim_mem", 8);  // ids need not be unique
    LWMemChunk other = pool->create("other", 3);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(pool->find("smd_anim_mem"), first) << "find gives the first block of that id";
    EXPECT_EQ(pool->find("other"), other);
    EXPECT_EQ(pool->find("missing"), nullptr);

    {  // walking the pool in creation order
        EXPECT_EQ(pool->first(), first);
        EXPECT_EQ(pool->next(first), second);
        EXPECT_EQ(pool->next(second), other);
        EXPECT_EQ(pool->next(other), nullptr);
        int not_a_block = 0;
        EXPECT_EQ(pool->next(&not_a_block), nullptr);
        EXPECT_EQ(pool->ID(&not_a_block), nullptr);
        EXPECT_EQ(pool->size(&not_a_block), 0);
        EXPECT_EQ(pool->ID(nullptr), nullptr);
    }
    {  // a later fetch of the service sees the same blocks and contents
        void* state = &host;
        std::memcpy(first, &state, 4);
        auto* again = static_cast<LWGlobalPool*>(host.global("Global Render Memory", 0));
        LWMemChunk found = again->find("smd_anim_mem");
        ASSERT_EQ(found, first);
        EXPECT_EQ(std::memcmp(found, &state, 4), 0);
        EXPECT_EQ(host.memory_blocks.size(), 3u);
    }
}

}  // namespace
}  // namespace lwhost
