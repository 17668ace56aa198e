// The host's record of the command texts plug-ins send: every text, in
// order, exactly as sent.
//
// An import can send close to a million short texts. One std::string each
// would cost a heap block apiece (about 60 bytes for a 35-character text),
// so the texts are stored end to end in large blocks and the log keeps
// where each one starts (4 bytes a text). Blocks never move: a text is
// written once and never copied again, and a growing log never needs twice
// its size.
//
// It reads like the vector of strings it replaces: size(), empty(), [],
// at(), front(), back(), random-access iteration, clear(), and == with
// another log or a std::vector<std::string>. Elements are std::string_view
// into the log, valid until clear() or the log's end.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lwhost {

class CommandLog {
public:
    class const_iterator;
    using iterator = const_iterator;
    using value_type = std::string_view;
    using size_type = std::size_t;
    using difference_type = std::ptrdiff_t;

    CommandLog() = default;
    CommandLog(const CommandLog& other);
    CommandLog& operator=(const CommandLog& other);
    CommandLog(CommandLog&&) noexcept = default;
    CommandLog& operator=(CommandLog&&) noexcept = default;

    void push_back(std::string_view text);
    void clear() noexcept;

    std::size_t size() const noexcept { return starts_.size(); }
    bool empty() const noexcept { return starts_.empty(); }
    std::string_view operator[](std::size_t index) const noexcept;
    std::string_view at(std::size_t index) const;  // std::out_of_range past the end
    std::string_view front() const noexcept { return (*this)[0]; }
    std::string_view back() const noexcept { return (*this)[size() - 1]; }
    const_iterator begin() const noexcept;
    const_iterator end() const noexcept;

    // Bytes held on the heap: the blocks and the index, as allocated.
    std::size_t allocated_bytes() const noexcept;

    friend bool operator==(const CommandLog& a, const CommandLog& b) noexcept;
    friend bool operator==(const CommandLog& log, const std::vector<std::string>& texts) noexcept;

private:
    struct FreeBlock {
        void operator()(char* bytes) const noexcept;
    };
    struct Block {
        std::unique_ptr<char, FreeBlock> bytes;
        std::size_t capacity = 0;
        std::size_t used = 0;
        std::size_t first = 0;  // index of the first text written into it
    };
    // The smallest and the usual largest block: a short log stays small, a
    // long one allocates a few large blocks. A text longer than the largest
    // gets a block of its own size.
    static constexpr std::size_t kFirstBlockBytes = std::size_t(1) << 12;
    static constexpr std::size_t kLargestBlockBytes = std::size_t(2) << 20;  // a huge page

    std::size_t block_of(std::size_t index) const noexcept;

    std::vector<Block> blocks_;
    std::vector<std::uint32_t> starts_;  // each text's offset in its block
};

class CommandLog::const_iterator {
public:
    using iterator_concept = std::random_access_iterator_tag;
    using iterator_category = std::random_access_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using reference = std::string_view;
    using pointer = void;

    const_iterator() = default;
    const_iterator(const CommandLog* log, std::size_t index) : log_(log), index_(index) {}

    std::string_view operator*() const noexcept { return (*log_)[index_]; }
    std::string_view operator[](difference_type n) const noexcept { return (*log_)[index_ + std::size_t(n)]; }

    const_iterator& operator++() noexcept { return ++index_, *this; }
    const_iterator& operator--() noexcept { return --index_, *this; }
    const_iterator operator++(int) noexcept { const_iterator old = *this; ++index_; return old; }
    const_iterator operator--(int) noexcept { const_iterator old = *this; --index_; return old; }
    const_iterator& operator+=(difference_type n) noexcept { return index_ += std::size_t(n), *this; }
    const_iterator& operator-=(difference_type n) noexcept { return index_ -= std::size_t(n), *this; }
    friend const_iterator operator+(const_iterator it, difference_type n) noexcept { return it += n; }
    friend const_iterator operator+(difference_type n, const_iterator it) noexcept { return it += n; }
    friend const_iterator operator-(const_iterator it, difference_type n) noexcept { return it -= n; }
    friend difference_type operator-(const_iterator a, const_iterator b) noexcept {
        return difference_type(a.index_) - difference_type(b.index_);
    }
    friend bool operator==(const_iterator a, const_iterator b) noexcept { return a.index_ == b.index_; }
    friend std::strong_ordering operator<=>(const_iterator a, const_iterator b) noexcept {
        return a.index_ <=> b.index_;
    }

private:
    const CommandLog* log_ = nullptr;
    std::size_t index_ = 0;
};

inline CommandLog::const_iterator CommandLog::begin() const noexcept { return {this, 0}; }
inline CommandLog::const_iterator CommandLog::end() const noexcept { return {this, size()}; }

}  // namespace lwhost
