// Big blocks of memory for tables that grow with a mesh (an importer's
// indexes and records, the host's points and polygons): a million-triangle
// file needs hundreds of megabytes of them, and with 4 KiB pages the
// kernel's page faults cost about as much as reading the file. Blocks from
// 2 MiB up are mapped on their own, aligned to 2 MiB and advised as huge
// pages (the system may or may not grant them), and go back to the system
// when freed, so one import does not leave the next a fragmented heap.
// Smaller blocks come from malloc. Not zeroed.
//
// BigBlockAllocator / BigVector: a std::vector whose storage comes from big
// blocks; for the arrays that grow with a mesh (the host's scene, the
// exporters' geometry).
#pragma once

#include <cstddef>
#include <new>
#include <vector>

inline constexpr std::size_t BIG_BLOCK_HUGE_PAGE = std::size_t(2) << 20;

// Null when memory runs out. Free with the same size.
void* big_block_allocate(std::size_t bytes) noexcept;
void big_block_free(void* block, std::size_t bytes) noexcept;

template <class T>
struct BigBlockAllocator {
    using value_type = T;

    BigBlockAllocator() noexcept = default;
    template <class U>
    BigBlockAllocator(const BigBlockAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > std::size_t(-1) / sizeof(T)) throw std::bad_array_new_length();
        void* block = big_block_allocate(n * sizeof(T));
        if (block == nullptr) throw std::bad_alloc();
        return static_cast<T*>(block);
    }
    void deallocate(T* block, std::size_t n) noexcept { big_block_free(block, n * sizeof(T)); }

    template <class U>
    bool operator==(const BigBlockAllocator<U>&) const noexcept {
        return true;
    }
};

template <class T>
using BigVector = std::vector<T, BigBlockAllocator<T>>;
