// The scene file's text, line by line and token by token, for the scene
// loader. Lines end at '\n' (a '\r' before it is dropped); tokens are
// separated by blanks and tabs. Every read is bounded by the line's end, and
// the line count lives here only, so an error can always name its line.
#pragma once

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lwhost::lws {

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }

inline std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

class LineReader {
public:
    LineReader(const char* begin, const char* end) : at_(begin), end_(end) {}

    // The next line without its ending; false at the end of the text.
    bool next(std::string_view& out) {
        if (at_ == end_) return false;
        const char* start = at_;
        const char* stop = start;
        while (stop != end_ && *stop != '\n') ++stop;
        at_ = stop == end_ ? stop : stop + 1;
        if (stop != start && stop[-1] == '\r') --stop;
        out = std::string_view(start, std::size_t(stop - start));
        ++number_;
        return true;
    }
    std::size_t number() const { return number_; }  // of the line `next` gave last
    std::size_t bytes_left() const { return std::size_t(end_ - at_); }

private:
    const char* at_;
    const char* end_;
    std::size_t number_ = 0;
};

// Tokens of one line.
class Tokens {
public:
    explicit Tokens(std::string_view line) : rest_(line) {}

    // The next token; empty when the line has no more.
    std::string_view next() {
        std::size_t start = 0;
        while (start < rest_.size() && is_blank(rest_[start])) ++start;
        std::size_t stop = start;
        while (stop < rest_.size() && !is_blank(rest_[stop])) ++stop;
        std::string_view token = rest_.substr(start, stop - start);
        rest_.remove_prefix(stop);
        return token;
    }
    // What follows the tokens taken so far, blanks at both ends removed.
    std::string_view rest() const { return trim(rest_); }
    bool done() const { return trim(rest_).empty(); }

private:
    std::string_view rest_;
};

// Whole-token number reads: false unless the token is all number. A leading
// '+' is allowed (other programs write one); reals must be finite.
inline std::string_view without_plus(std::string_view token) {
    if (token.size() > 1 && token.front() == '+' && token[1] != '-') token.remove_prefix(1);
    return token;
}

inline bool parse_real(std::string_view token, double& out) {
    token = without_plus(token);
    if (token.empty()) return false;
    double value = 0.0;
    auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (ec != std::errc{} || end != token.data() + token.size() || !std::isfinite(value)) return false;
    out = value;
    return true;
}

template <class Int>
bool parse_int(std::string_view token, Int& out) {
    token = without_plus(token);
    if (token.empty()) return false;
    Int value = 0;
    auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (ec != std::errc{} || end != token.data() + token.size()) return false;
    out = value;
    return true;
}

// Item IDs: up to eight hexadecimal digits, either case.
inline bool parse_item_id(std::string_view token, std::uint32_t& out) {
    if (token.empty() || token.size() > 8) return false;
    std::uint32_t value = 0;
    auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value, 16);
    if (ec != std::errc{} || end != token.data() + token.size()) return false;
    out = value;
    return true;
}

}  // namespace lwhost::lws
