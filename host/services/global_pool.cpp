// "Global Render Memory": named blocks of memory kept in host.memory_blocks
// for as long as the host lives. A chunk handle is the block's memory itself.
// Ids need not be unique: find returns the first block with that id. A new
// block is zero-filled; a size of 0 or less, or a null id, gives no block.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "host.h"
#include "lwglobsrv.h"
#include "services/services.h"

namespace lwhost {

namespace {

// Every block's storage holds at least 16 zero bytes, though `bytes.size()`
// (and the size reported) stays the size asked for: a plug-in that sizes a
// block for a 32-bit pointer and keeps a 64-bit one there then reads and
// writes zeroed storage of its block instead of memory past it.
constexpr std::size_t kMinimumBytes = 16;

Host::MemoryBlock* block_of(Host& host, LWMemChunk chunk, std::size_t* out_index = nullptr) {
    if (!chunk) return nullptr;
    auto& blocks = host.memory_blocks;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (blocks[i]->bytes.data() == chunk) {
            if (out_index) *out_index = i;
            return blocks[i].get();
        }
    }
    return nullptr;
}

LWMemChunk pool_first() noexcept {
    Host* host = Host::current();
    if (!host || host->memory_blocks.empty()) return nullptr;
    return host->memory_blocks.front()->bytes.data();
}

LWMemChunk pool_next(LWMemChunk chunk) noexcept {
    Host* host = Host::current();
    std::size_t index = 0;
    if (!host || !block_of(*host, chunk, &index) || index + 1 >= host->memory_blocks.size()) return nullptr;
    return host->memory_blocks[index + 1]->bytes.data();
}

const char* pool_id(LWMemChunk chunk) noexcept {
    Host* host = Host::current();
    Host::MemoryBlock* block = host ? block_of(*host, chunk) : nullptr;
    return block ? block->id.c_str() : nullptr;
}

int pool_size(LWMemChunk chunk) noexcept {
    Host* host = Host::current();
    Host::MemoryBlock* block = host ? block_of(*host, chunk) : nullptr;
    return block ? int(block->bytes.size()) : 0;
}

LWMemChunk pool_find(const char* id) noexcept {
    Host* host = Host::current();
    if (!host || !id) return nullptr;
    for (auto& block : host->memory_blocks)
        if (block->id == id) return block->bytes.data();
    return nullptr;
}

LWMemChunk pool_create(const char* id, int size) noexcept {
    Host* host = Host::current();
    if (!host || !id || size <= 0) return nullptr;
    try {
        auto block = std::make_unique<Host::MemoryBlock>();
        block->id = id;
        // Shrinking keeps the storage (and its zeros); it never reallocates.
        block->bytes.assign(std::max(std::size_t(size), kMinimumBytes), 0);
        block->bytes.resize(std::size_t(size));
        host->memory_blocks.push_back(std::move(block));
        return host->memory_blocks.back()->bytes.data();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

const LWGlobalPool kPool = {pool_first, pool_next, pool_id, pool_size, pool_find, pool_create};

}  // namespace

namespace services {

void* global_pool(Host&) { return const_cast<LWGlobalPool*>(&kPool); }

}  // namespace services
}  // namespace lwhost
