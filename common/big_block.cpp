#include "big_block.h"

#include <cstdint>
#include <cstdlib>

#include <sys/mman.h>

namespace {

std::size_t rounded_up(std::size_t bytes, std::size_t unit) noexcept { return (bytes + unit - 1) / unit * unit; }

}  // namespace

// Maps a huge page more than asked and gives back the ends, so the block
// starts on a huge-page boundary: only whole aligned 2 MiB ranges can be
// huge pages.
void* big_block_allocate(std::size_t bytes) noexcept {
    if (bytes < BIG_BLOCK_HUGE_PAGE) return std::malloc(bytes == 0 ? 1 : bytes);
    const std::size_t size = rounded_up(bytes, BIG_BLOCK_HUGE_PAGE);
    if (size < bytes || size + BIG_BLOCK_HUGE_PAGE < size) return nullptr;
    void* mapped = mmap(nullptr, size + BIG_BLOCK_HUGE_PAGE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = rounded_up(start, BIG_BLOCK_HUGE_PAGE);
    const std::uintptr_t end = start + size + BIG_BLOCK_HUGE_PAGE;
    if (aligned > start) munmap(mapped, aligned - start);
    if (end > aligned + size) munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
#ifdef MADV_HUGEPAGE
    madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);  // advice only
#endif
    return reinterpret_cast<void*>(aligned);
}

void big_block_free(void* block, std::size_t bytes) noexcept {
    if (block == nullptr) return;
    if (bytes < BIG_BLOCK_HUGE_PAGE) std::free(block);
    else munmap(block, rounded_up(bytes, BIG_BLOCK_HUGE_PAGE));
}
