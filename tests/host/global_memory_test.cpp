// "Global Memory", the pool that lives until the scene is cleared, beside
// "Global Render Memory": the same record shape, kept apart, so a block made
// in one pool is invisible to the other. (The render pool's own behaviour is
// tested with the loader.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host.h"
#include "lwglobsrv.h"

namespace lwhost {
namespace {

LWGlobalPool* pool_named(Host& host, const char* name) {
    return static_cast<LWGlobalPool*>(host.global(name, 0));
}

TEST(GlobalMemory, IsServedAsAPoolOfItsOwnApartFromRenderMemory) {
    Host host;
    LWGlobalPool* global = pool_named(host, "Global Memory");
    LWGlobalPool* render = pool_named(host, "Global Render Memory");
    ASSERT_NE(global, nullptr);
    ASSERT_NE(render, nullptr);
    EXPECT_NE(global, render);
    EXPECT_EQ(global->first(), nullptr);

    LWMemChunk kept = global->create("settings", 6);
    ASSERT_NE(kept, nullptr);
    const unsigned char zeros[6] = {0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(kept, zeros, sizeof zeros), 0) << "a new block is zero-filled";
    EXPECT_EQ(global->size(kept), 6);
    EXPECT_STREQ(global->ID(kept), "settings");
    EXPECT_EQ(global->find("settings"), kept);
    EXPECT_EQ(global->first(), kept);
    EXPECT_EQ(global->next(kept), nullptr);

    {  // the render pool knows nothing of it, and the other way round
        EXPECT_EQ(render->find("settings"), nullptr);
        EXPECT_EQ(render->first(), nullptr);
        EXPECT_EQ(render->ID(kept), nullptr);
        EXPECT_EQ(render->size(kept), 0);
        EXPECT_TRUE(host.memory_blocks.empty());
        LWMemChunk drawn = render->create("settings", 2);
        ASSERT_NE(drawn, nullptr);
        EXPECT_EQ(global->find("settings"), kept);
        EXPECT_EQ(global->ID(drawn), nullptr);
        EXPECT_EQ(global->next(kept), nullptr);
        EXPECT_EQ(host.memory_blocks.size(), 1u);
    }
    {  // what gives no block
        EXPECT_EQ(global->create(nullptr, 4), nullptr);
        EXPECT_EQ(global->create("none", 0), nullptr);
        EXPECT_EQ(global->find(nullptr), nullptr);
        EXPECT_EQ(global->find("missing"), nullptr);
    }
    {  // a later fetch sees the same block and what was written to it
        std::memcpy(kept, "abc", 3);
        LWMemChunk again = pool_named(host, "Global Memory")->find("settings");
        ASSERT_EQ(again, kept);
        EXPECT_EQ(std::memcmp(again, "abc", 3), 0);
    }
}

TEST(GlobalMemory, BelongsToOneHostAndCanBeWithheld) {
    {
        Host first;
        ASSERT_NE(pool_named(first, "Global Memory")->create("left over", 4), nullptr);
    }
    Host host;
    LWGlobalPool* global = pool_named(host, "Global Memory");
    ASSERT_NE(global, nullptr);
    EXPECT_EQ(global->first(), nullptr) << "a new host starts with an empty pool";
    EXPECT_EQ(global->find("left over"), nullptr);

    host.withhold("Global Memory");
    EXPECT_EQ(host.global("Global Memory", 0), nullptr);
    EXPECT_NE(host.global("Global Render Memory", 0), nullptr);
    ASSERT_GE(host.global_requests.size(), 2u);
    EXPECT_EQ(host.global_requests[host.global_requests.size() - 2].name, "Global Memory");
    EXPECT_FALSE(host.global_requests[host.global_requests.size() - 2].served);
}

}  // namespace
}  // namespace lwhost
