// Big-block vectors: blocks past the mapping threshold start on a huge page
// boundary, and values survive growth across it in both directions.
#include <gtest/gtest.h>

#include <cstdint>

#include "big_block.h"

namespace {

TEST(BigVector, GrowsAcrossTheMappingThresholdAndKeepsValues) {
    BigVector<std::uint64_t> values;
    const std::size_t mapped_from = BIG_BLOCK_HUGE_PAGE / sizeof(std::uint64_t);
    for (std::uint64_t i = 0; i < 3 * mapped_from; ++i) values.push_back(i * 0x9E3779B97F4A7C15ull);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(values.data()) % BIG_BLOCK_HUGE_PAGE, 0u);
    for (std::uint64_t i = 0; i < values.size(); ++i) ASSERT_EQ(values[i], i * 0x9E3779B97F4A7C15ull) << i;

    BigVector<std::uint64_t> copy = values;  // a mapped block of its own
    EXPECT_NE(copy.data(), values.data());
    values.assign(10, 7);
    values.shrink_to_fit();  // back to the ordinary heap
    EXPECT_EQ(values, BigVector<std::uint64_t>(10, 7));
    EXPECT_EQ(copy.back(), (3 * mapped_from - 1) * 0x9E3779B97F4A7C15ull);
}

}  // namespace
