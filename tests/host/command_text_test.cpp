// Reals in command texts: the plain decimals read without from_chars must
// come out as the very doubles from_chars gives, and everything else must
// still be read (or refused) as from_chars reads it, from a token or
// straight off a text.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "command_text.h"

namespace lwhost::command_text {
namespace {

// What from_chars makes of the whole token, finite only: parse_double's
// contract written the slow way.
bool reference(std::string token, double& out) {
    if (token.size() > 1 && token[0] == '+' && token[1] != '-' && token[1] != '+') token.erase(0, 1);
    double value = 0.0;
    auto [next, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (ec != std::errc{} || next != token.data() + token.size() || !std::isfinite(value)) return false;
    out = value;
    return true;
}

// parse_double on the token, and next_real on a text holding it between
// blanks, which must leave the cursor on what follows.
void expect_as_from_chars(const std::string& token) {
    double expected = 0.0, got = 0.0, next = 0.0;
    const bool expected_ok = reference(token, expected);
    ASSERT_EQ(parse_double(token, got), expected_ok) << token;
    const std::string text = " \t" + token + "  7";
    Cursor cursor = cursor_over(text);
    ASSERT_EQ(next_real(cursor, next), expected_ok) << token;
    if (expected_ok) {
        ASSERT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(expected)) << token;
        ASSERT_EQ(std::bit_cast<std::uint64_t>(next), std::bit_cast<std::uint64_t>(expected)) << token;
        ASSERT_EQ(next_token(cursor), "7") << token;
    }
}

TEST(CommandText, RealsAreReadAsFromCharsReadsThem) {
    for (const char* token :
         {"0", "-0", "0.000000", "-0.000000", "1.", ".5", "-.5", ".", "-", "+1.5", "+-1", "--1", "1.5.", "1e5",
          "1.5E-3", "inf", "-nan", "0x1p3", "1,5", "12a", "9007199254740992", "9007199254740993",
          "9007199254740993.0", "0.9007199254740993", "1234567890123456789", "12345678901234567890",
          "0.0000000000000000000001", "00000000000000000000.5", "1e400", "4.9406564584124654e-324"})
        expect_as_from_chars(token);

    // What "%f" and "%.17g" print for values across the range.
    std::mt19937_64 random(11);
    for (int i = 0; i < 200000; ++i) {
        double value = 0.0;
        switch (i % 4) {
        case 0: value = std::ldexp(double(random() >> 11), int(random() % 80) - 60); break;
        case 1: value = double(std::int64_t(random() % 2000001) - 1000000) / 1e6; break;
        case 2: value = std::bit_cast<double>(random()); break;
        default: value = double(random() % 100000) / double(1 + random() % 1000); break;
        }
        if (random() % 2) value = -value;
        char text[400];
        std::snprintf(text, sizeof text, i % 3 == 0 ? "%.17g" : "%f", value);
        expect_as_from_chars(text);
    }
}

}  // namespace
}  // namespace lwhost::command_text
