// "Global Render Memory" and "Global Memory": two pools of named blocks of
// memory, each with its own `LWGlobalPool` record, so a block created in one
// is not found in the other. Render memory is kept in host.memory_blocks;
// global memory, which lasts until the scene is cleared, is kept in the
// host's service state. The host never clears its scene, so both pools last
// as long as the host. A chunk handle is the block's memory itself. Ids need
// not be unique: find returns the first block with that id. A new block is
// zero-filled; a size of 0 or less, or a null id, gives no block.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "host.h"
#include "lwglobsrv.h"
#include "services/services.h"

namespace lwhost {

namespace {

using Blocks = std::vector<std::unique_ptr<Host::MemoryBlock>>;
using PoolOf = Blocks* (*)(Host&) noexcept;

// Every block's storage holds at least 16 zero bytes, though `bytes.size()`
// (and the size reported) stays the size asked for: a plug-in that sizes a
// block for a 32-bit pointer and keeps a 64-bit one there then reads and
// writes zeroed storage of its block instead of memory past it.
constexpr std::size_t kMinimumBytes = 16;

Blocks* render_memory_blocks(Host& host) noexcept { return &host.memory_blocks; }

Blocks* global_memory_blocks(Host& host) noexcept {
    try {
        return &host.service_state<Blocks>("Global Memory");
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// The pool's blocks in the current host, or null.
template <PoolOf kPool>
Blocks* current_blocks() noexcept {
    Host* host = Host::current();
    return host ? kPool(*host) : nullptr;
}

Host::MemoryBlock* block_of(Blocks* blocks, LWMemChunk chunk, std::size_t* out_index = nullptr) {
    if (!blocks || !chunk) return nullptr;
    for (std::size_t i = 0; i < blocks->size(); ++i) {
        if ((*blocks)[i]->bytes.data() == chunk) {
            if (out_index) *out_index = i;
            return (*blocks)[i].get();
        }
    }
    return nullptr;
}

template <PoolOf kPool>
LWMemChunk pool_first() noexcept {
    Blocks* blocks = current_blocks<kPool>();
    return blocks && !blocks->empty() ? blocks->front()->bytes.data() : nullptr;
}

template <PoolOf kPool>
LWMemChunk pool_next(LWMemChunk chunk) noexcept {
    Blocks* blocks = current_blocks<kPool>();
    std::size_t index = 0;
    if (!block_of(blocks, chunk, &index) || index + 1 >= blocks->size()) return nullptr;
    return (*blocks)[index + 1]->bytes.data();
}

template <PoolOf kPool>
const char* pool_id(LWMemChunk chunk) noexcept {
    Host::MemoryBlock* block = block_of(current_blocks<kPool>(), chunk);
    return block ? block->id.c_str() : nullptr;
}

template <PoolOf kPool>
int pool_size(LWMemChunk chunk) noexcept {
    Host::MemoryBlock* block = block_of(current_blocks<kPool>(), chunk);
    return block ? int(block->bytes.size()) : 0;
}

template <PoolOf kPool>
LWMemChunk pool_find(const char* id) noexcept {
    Blocks* blocks = current_blocks<kPool>();
    if (!blocks || !id) return nullptr;
    for (auto& block : *blocks)
        if (block->id == id) return block->bytes.data();
    return nullptr;
}

template <PoolOf kPool>
LWMemChunk pool_create(const char* id, int size) noexcept {
    Blocks* blocks = current_blocks<kPool>();
    if (!blocks || !id || size <= 0) return nullptr;
    try {
        auto block = std::make_unique<Host::MemoryBlock>();
        block->id = id;
        // Shrinking keeps the storage (and its zeros); it never reallocates.
        block->bytes.assign(std::max(std::size_t(size), kMinimumBytes), 0);
        block->bytes.resize(std::size_t(size));
        blocks->push_back(std::move(block));
        return blocks->back()->bytes.data();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

template <PoolOf kPool>
constexpr LWGlobalPool kPoolRecord = {pool_first<kPool>, pool_next<kPool>,  pool_id<kPool>,
                                      pool_size<kPool>,  pool_find<kPool>,  pool_create<kPool>};

}  // namespace

namespace services {

void* global_pool(Host&) { return const_cast<LWGlobalPool*>(&kPoolRecord<render_memory_blocks>); }
void* global_memory(Host&) { return const_cast<LWGlobalPool*>(&kPoolRecord<global_memory_blocks>); }

}  // namespace services
}  // namespace lwhost
