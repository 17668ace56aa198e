// Reading the command texts plug-ins send to Layout and Modeler: a cursor
// over the text with an explicit end, blank-separated tokens, and numbers
// read with std::from_chars (no locale) that must fill their whole token.
// Used by layout_commands.cpp and modeler_commands.cpp.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstddef>
#include <string_view>

namespace lwhost::command_text {

inline bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

inline char lower_ascii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Command words and channel names compare ignoring ASCII case.
inline bool same_word(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower_ascii(a[i]) != lower_ascii(b[i])) return false;
    return true;
}

struct Cursor {
    const char* at;
    const char* end;
};

inline Cursor cursor_over(std::string_view text) { return {text.data(), text.data() + text.size()}; }

inline void skip_blanks(Cursor& c) {
    while (c.at != c.end && is_blank(*c.at)) ++c.at;
}

inline std::string_view next_token(Cursor& c) {
    skip_blanks(c);
    const char* start = c.at;
    while (c.at != c.end && !is_blank(*c.at)) ++c.at;
    return {start, std::size_t(c.at - start)};
}

// The rest of the text without its leading and trailing blanks: names may
// hold blanks, and the blanks the plug-ins leave at the end are not part of
// them.
inline std::string_view rest_of_text(Cursor& c) {
    skip_blanks(c);
    const char* end = c.end;
    while (end != c.at && is_blank(end[-1])) --end;
    std::string_view rest(c.at, std::size_t(end - c.at));
    c.at = c.end;
    return rest;
}

inline bool at_end(Cursor c) {
    skip_blanks(c);
    return c.at == c.end;
}

// from_chars refuses a leading '+', which C's "%+f" writes; step over one.
inline std::string_view without_plus(std::string_view token) {
    if (token.size() > 1 && token.front() == '+' && token[1] != '-' && token[1] != '+') token.remove_prefix(1);
    return token;
}

// [-]digits[.digits] with at most 19 digits in all, as "%f" prints reals,
// from p up to a blank or `end`: the end of the number, or null (and
// nothing stored) for any other text. The digits make an integer below 2^53
// here, and it and the power of ten are exact doubles, so one division
// rounds the quotient exactly as from_chars rounds the text; other numbers
// are left to from_chars.
inline const char* read_plain_decimal(const char* p, const char* end, double& out) {
    static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,
                                              1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19};
    const auto is_digit = [](char c) { return unsigned(c - '0') < 10u; };
    const bool negative = p != end && *p == '-';
    if (negative) ++p;
    // Wraps past 19 digits; such numbers are refused below.
    std::uint64_t mantissa = 0;
    const char* integer = p;
    while (p != end && is_digit(*p)) mantissa = mantissa * 10 + unsigned(*p++ - '0');
    std::size_t digits = std::size_t(p - integer), decimals = 0;
    if (p != end && *p == '.') {
        const char* fraction = ++p;
        while (p != end && is_digit(*p)) mantissa = mantissa * 10 + unsigned(*p++ - '0');
        decimals = std::size_t(p - fraction);
        digits += decimals;
    }
    if ((p != end && !is_blank(*p)) || digits == 0 || digits > 19 || mantissa > (std::uint64_t(1) << 53))
        return nullptr;
    const double value = double(mantissa) / kPowersOfTen[decimals];
    out = negative ? -value : value;
    return p;
}

// A finite real filling the whole token.
inline bool parse_double(std::string_view token, double& out) {
    token = without_plus(token);
    if (token.empty()) return false;
    if (read_plain_decimal(token.data(), token.data() + token.size(), out)) return true;  // no blank in a token
    double value = 0.0;
    auto [next, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (ec != std::errc{} || next != token.data() + token.size() || !std::isfinite(value)) return false;
    out = value;
    return true;
}

// The next token as parse_double reads it; plain decimals are read straight
// off the text, without finding the token's end first.
inline bool next_real(Cursor& c, double& out) {
    skip_blanks(c);
    if (const char* after = read_plain_decimal(c.at, c.end, out)) {
        c.at = after;
        return true;
    }
    return parse_double(next_token(c), out);
}

inline bool parse_int(std::string_view token, int& out) {
    token = without_plus(token);
    if (token.empty()) return false;
    int value = 0;
    auto [next, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (ec != std::errc{} || next != token.data() + token.size()) return false;
    out = value;
    return true;
}

// Item IDs in hex as "%x" prints them (a "0x" prefix is allowed); only the
// low 32 bits of an ID mean anything, as in Layout.
inline bool parse_item_id(std::string_view token, std::uint32_t& out) {
    if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) token.remove_prefix(2);
    if (token.empty() || token.size() > 16) return false;
    std::uint64_t value = 0;
    auto [next, ec] = std::from_chars(token.data(), token.data() + token.size(), value, 16);
    if (ec != std::errc{} || next != token.data() + token.size()) return false;
    out = std::uint32_t(value & 0xFFFFFFFFu);
    return true;
}

// Command tables: arrays of entries with a `word` member. A command's code is
// its 1-based place in the table (words compared ignoring ASCII case); 0 is
// "no such command".
template <class Entry, std::size_t N>
int find_command(const Entry (&table)[N], std::string_view word) {
    for (std::size_t i = 0; i < N; ++i)
        if (same_word(word, table[i].word)) return int(i) + 1;
    return 0;
}

// The code of a text that is one command word and nothing else.
template <class Entry, std::size_t N>
int command_code(const Entry (&table)[N], const char* text) {
    if (!text) return 0;
    Cursor cursor = cursor_over(text);
    std::string_view token = next_token(cursor);
    return at_end(cursor) ? find_command(table, token) : 0;
}

inline const char* word_text(const char* word) { return word; }
inline const char* word_text(std::string_view word) { return word.data(); }  // tables hold literals

template <class Entry, std::size_t N>
const char* command_word(const Entry (&table)[N], int code) {
    return (code >= 1 && std::size_t(code) <= N) ? word_text(table[code - 1].word) : nullptr;
}

}  // namespace lwhost::command_text
