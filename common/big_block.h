// Big blocks of memory for tables that grow with a mesh (an importer's
// indexes and records, the host's points and polygons): a million-triangle
// file needs hundreds of megabytes of them, and with 4 KiB pages the
// kernel's page faults cost about as much as reading the file. Blocks from
// 2 MiB up are mapped on their own, aligned to 2 MiB and advised as huge
// pages (the system may or may not grant them), and go back to the system
// when freed, so one import does not leave the next a fragmented heap.
// Smaller blocks come from malloc. Not zeroed.
#pragma once

#include <cstddef>

inline constexpr std::size_t BIG_BLOCK_HUGE_PAGE = std::size_t(2) << 20;

// Null when memory runs out. Free with the same size.
void* big_block_allocate(std::size_t bytes) noexcept;
void big_block_free(void* block, std::size_t bytes) noexcept;
