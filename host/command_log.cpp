#include "command_log.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace lwhost {

void CommandLog::FreeBlock::operator()(char* bytes) const noexcept { std::free(bytes); }

namespace {

// Blocks of the largest size sit on their own size's boundary and are
// advised as huge pages: a long import logs tens of megabytes, and on a
// virtual machine the first touch of each 4 KiB page can cost more than
// writing the texts into it. The advice may be refused; nothing depends on
// it.
char* allocate_block(std::size_t bytes, std::size_t huge_page_bytes) {
    const bool huge = bytes == huge_page_bytes;
    void* memory = huge ? std::aligned_alloc(huge_page_bytes, bytes) : std::malloc(bytes);
    if (!memory) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    if (huge) madvise(memory, bytes, MADV_HUGEPAGE);
#endif
    return static_cast<char*>(memory);  // not zeroed: only written parts are read
}

}  // namespace

CommandLog::CommandLog(const CommandLog& other) {
    for (std::string_view text : other) push_back(text);
}

CommandLog& CommandLog::operator=(const CommandLog& other) {
    if (this != &other) {
        CommandLog copy(other);
        *this = std::move(copy);
    }
    return *this;
}

namespace {
constexpr std::size_t kMaxStart = UINT32_MAX;
}

void CommandLog::push_back(std::string_view text) {
    // A text goes into the last block when it fits there and its offset
    // fits the index (only a block made for a text of 4 GB ends further).
    if (blocks_.empty() || blocks_.back().capacity - blocks_.back().used < text.size() ||
        blocks_.back().used > kMaxStart) {
        const std::size_t previous = blocks_.empty() ? 0 : blocks_.back().capacity;
        const std::size_t usual = std::clamp(2 * previous, kFirstBlockBytes, kLargestBlockBytes);
        Block block;
        block.capacity = std::max(usual, text.size());
        block.bytes.reset(allocate_block(block.capacity, kLargestBlockBytes));
        block.first = starts_.size();
        // Both may throw; the log is unchanged then.
        starts_.reserve(starts_.size() + 1);
        blocks_.push_back(std::move(block));
    }
    Block& block = blocks_.back();
    starts_.push_back(std::uint32_t(block.used));
    if (!text.empty()) std::memcpy(block.bytes.get() + block.used, text.data(), text.size());
    block.used += text.size();
}

void CommandLog::clear() noexcept {
    blocks_ = std::vector<Block>();  // the memory goes too
    starts_ = std::vector<std::uint32_t>();
}

// Mostly the last block (back(), or a log read in order near its end), so
// that is tried before the search.
std::size_t CommandLog::block_of(std::size_t index) const noexcept {
    if (index >= blocks_.back().first) return blocks_.size() - 1;
    auto after = std::upper_bound(blocks_.begin(), blocks_.end(), index,
                                  [](std::size_t i, const Block& block) { return i < block.first; });
    return std::size_t(after - blocks_.begin()) - 1;
}

std::string_view CommandLog::operator[](std::size_t index) const noexcept {
    const std::size_t b = block_of(index);
    const Block& block = blocks_[b];
    const std::size_t next_block_first = b + 1 < blocks_.size() ? blocks_[b + 1].first : starts_.size();
    const std::size_t start = starts_[index];
    const std::size_t end = index + 1 < next_block_first ? starts_[index + 1] : block.used;
    return {block.bytes.get() + start, end - start};
}

std::string_view CommandLog::at(std::size_t index) const {
    if (index >= size()) throw std::out_of_range("CommandLog::at");
    return (*this)[index];
}

std::size_t CommandLog::allocated_bytes() const noexcept {
    std::size_t bytes = blocks_.capacity() * sizeof(Block) + starts_.capacity() * sizeof(std::uint32_t);
    for (const Block& block : blocks_) bytes += block.capacity;
    return bytes;
}

bool operator==(const CommandLog& a, const CommandLog& b) noexcept {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

bool operator==(const CommandLog& log, const std::vector<std::string>& texts) noexcept {
    return log.size() == texts.size() && std::equal(log.begin(), log.end(), texts.begin());
}

}  // namespace lwhost
