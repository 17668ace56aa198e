// The allocator of the scene's bulk arrays (points, polygons, vertex lists,
// vertex map rows), which an import grows to hundreds of megabytes: their
// big blocks are huge-page mappings of their own (common/big_block.h).
#pragma once

#include <cstddef>
#include <new>

#include "big_block.h"

namespace lwhost {

template <class T>
struct BulkAllocator {
    using value_type = T;

    BulkAllocator() noexcept = default;
    template <class U>
    BulkAllocator(const BulkAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > std::size_t(-1) / sizeof(T)) throw std::bad_array_new_length();
        void* block = big_block_allocate(n * sizeof(T));
        if (block == nullptr) throw std::bad_alloc();
        return static_cast<T*>(block);
    }
    void deallocate(T* block, std::size_t n) noexcept { big_block_free(block, n * sizeof(T)); }

    template <class U>
    bool operator==(const BulkAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace lwhost
