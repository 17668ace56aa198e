// The shared SMD line reader: line pieces, keyword tokens, section search,
// quoted names and locale-free number scanning.
#include "smd_line_reader.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <clocale>
#include <cstring>
#include <random>
#include <vector>
#include <cstdio>
#include <string>

#include "../fuzz_knobs.h"

namespace {

// A reader over an in-memory text.
struct TextFile {
    explicit TextFile(const std::string& text) {
        reader.file = std::tmpfile();
        std::fwrite(text.data(), 1, text.size(), reader.file);
        std::rewind(reader.file);
    }
    ~TextFile() { std::fclose(reader.file); }
    SmdLineReader reader;
};

TEST(SmdLineReader, ReadsLinesAndLongLinesInPieces) {
    const std::string long_line(3000, 'x');
    TextFile text("first\r\n" + long_line + "\nlast");
    ASSERT_TRUE(smd_read_line(text.reader));
    EXPECT_STREQ("first\r\n", text.reader.line_buffer);
    ASSERT_TRUE(smd_read_line(text.reader));
    EXPECT_EQ(std::string(2047, 'x'), text.reader.line_buffer);
    ASSERT_TRUE(smd_read_line(text.reader));
    EXPECT_EQ(std::string(953, 'x') + "\n", text.reader.line_buffer);
    ASSERT_TRUE(smd_read_line(text.reader));
    EXPECT_STREQ("last", text.reader.line_buffer);
    EXPECT_FALSE(smd_read_line(text.reader));

    SmdLineReader closed;
    EXPECT_FALSE(smd_read_line(closed));
}

// Every piece fgets would give, with its bytes (NULs included).
std::vector<std::string> fgets_pieces(const std::string& text) {
    std::vector<std::string> pieces;
    std::FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    char buffer[SMD_LINE_BUFFER_SIZE];
    for (long at = 0; std::fgets(buffer, sizeof buffer, file); at = std::ftell(file))
        pieces.emplace_back(buffer, std::size_t(std::ftell(file) - at));
    std::fclose(file);
    return pieces;
}

TEST(SmdLineReader, GivesExactlyThePiecesFgetsGives) {
    // Lines of every length around the buffer's, across read-ahead blocks,
    // with NUL bytes and CRs, and a last line without a newline.
    std::mt19937 random(fuzz_knobs::seed(7));
    const int texts = 40 * fuzz_knobs::scale();
    for (int t = 0; t < texts; ++t) {
        std::string text;
        const std::size_t size = random() % 300000;
        while (text.size() < size) {
            const int kind = int(random() % 8);
            std::size_t length = kind == 0   ? SMD_LINE_BUFFER_SIZE - 2 + random() % 4
                                 : kind == 1 ? 2 * SMD_LINE_BUFFER_SIZE - 3 + random() % 6
                                 : kind == 2 ? 0
                                             : random() % 120;
            for (std::size_t i = 0; i < length; ++i) {
                const unsigned r = random() % 64;
                text += r == 0 ? '\0' : r == 1 ? '\r' : char('a' + r % 26);
            }
            text += '\n';
        }
        if (!text.empty() && random() % 2) text.pop_back();
        const std::vector<std::string> expected = fgets_pieces(text);
        TextFile file(text);
        std::size_t i = 0;
        for (; smd_read_line(file.reader); ++i) {
            ASSERT_LT(i, expected.size()) << "text " << t;
            // The piece's bytes, up to its newline or its 2047 characters.
            const std::string& want = expected[i];
            ASSERT_EQ(std::string(file.reader.line_buffer, want.size()), want) << "text " << t << " piece " << i;
            ASSERT_EQ(file.reader.line_buffer[want.size()], '\0');
        }
        EXPECT_EQ(i, expected.size()) << "text " << t;
    }
}

TEST(SmdLineReader, RewindAndAttachDropWhatWasReadAhead) {
    TextFile text("one\ntwo\nthree\n");
    ASSERT_TRUE(smd_read_line(text.reader));
    ASSERT_TRUE(smd_read_line(text.reader));
    EXPECT_STREQ("two\n", text.reader.line_buffer);
    smd_rewind(text.reader);
    EXPECT_EQ(std::ftell(text.reader.file), 0L);
    ASSERT_TRUE(smd_read_line(text.reader));
    EXPECT_STREQ("one\n", text.reader.line_buffer);

    // Another file at the same reader: none of the first file's lines.
    std::FILE* other = std::tmpfile();
    std::fputs("alpha\n", other);
    std::rewind(other);
    std::FILE* first = text.reader.file;
    smd_attach(text.reader, other);
    ASSERT_TRUE(smd_read_line(text.reader));
    EXPECT_STREQ("alpha\n", text.reader.line_buffer);
    EXPECT_FALSE(smd_read_line(text.reader));
    smd_attach(text.reader, nullptr);
    EXPECT_FALSE(smd_read_line(text.reader));
    std::fclose(other);
    text.reader.file = first;  // closed by TextFile
}

TEST(SmdLineReader, KeywordsAreWholeTokensInAnyCase) {
    EXPECT_EQ(0, smd_keyword_equal("end", "END"));
    EXPECT_EQ(0, smd_keyword_equal("TiMe", "time"));
    EXPECT_NE(0, smd_keyword_equal("ending", "end"));
    EXPECT_NE(0, smd_keyword_equal("en", "end"));
    EXPECT_NE(0, smd_keyword_equal("", "end"));

    SmdLineReader line;
    auto first_is = [&](const char* text, const char* keyword) {
        std::snprintf(line.line_buffer, sizeof line.line_buffer, "%s", text);
        return smd_first_token_is(line, keyword);
    };
    EXPECT_TRUE(first_is("end\n", "end"));
    EXPECT_TRUE(first_is("  \tEnd  \r\n", "end"));
    EXPECT_TRUE(first_is(" time 7\n", "time"));  // the blank after a "time" line of an animation
    EXPECT_FALSE(first_is("endings\n", "end"));
    EXPECT_FALSE(first_is("timeline 3\n", "time"));
    EXPECT_FALSE(first_is("\n", "end"));
    EXPECT_FALSE(first_is("   \t\r\n", "end"));
    EXPECT_FALSE(first_is("", "end"));
    EXPECT_FALSE(first_is("0 \"end\" -1\n", "end"));
    // Only 255 characters of a token are compared: "end" followed by 252
    // more letters is cut to 255 and still is not "end"; a 300-letter token
    // is not "end" either.
    EXPECT_FALSE(first_is(("end" + std::string(297, 'x')).c_str(), "end"));
    // Bytes outside ASCII never fold onto keyword letters.
    EXPECT_FALSE(first_is("\xC4nd\n", "end"));
}

// The first token is what "%255s" scans: white space skipped, at most 255
// characters, bytes outside ASCII kept.
TEST(SmdLineReader, FirstTokenAsPercent255sScansIt) {
    const std::string lines[] = {"skin.bmp\n", "  \t\v\fleft arm.tga  x\r\n", "\xC4rm\xE9\n", "a\tb", "",
                                 " \n", std::string(300, 'm') + " tail", "1skin.bmp\n"};
    for (const std::string& line : lines) {
        char want[SMD_TOKEN_BUFFER_SIZE] = "unset", got[SMD_TOKEN_BUFFER_SIZE] = "unset";
        const bool scanned = std::sscanf(line.c_str(), "%255s", want) == 1;
        EXPECT_EQ(scanned, smd_first_token(line.c_str(), got)) << "[" << line << "]";
        if (scanned) {
            EXPECT_STREQ(want, got) << "[" << line << "]";
        }
    }
}

TEST(SmdLineReader, FindsSectionsByFirstToken) {
    TextFile text("version 1\nnodes_not\n  NODES\n0 \"a\" -1\nend\nskeleton\n time 0\n");
    EXPECT_EQ(0, smd_find_section(text.reader, "nodes"));
    ASSERT_TRUE(smd_read_line(text.reader));  // reading goes on after the keyword line
    EXPECT_STREQ("0 \"a\" -1\n", text.reader.line_buffer);
    EXPECT_EQ(0, smd_find_section(text.reader, "time"));
    EXPECT_EQ(1, smd_find_section(text.reader, "triangles"));
    EXPECT_EQ(1, smd_find_section(text.reader, "time"));  // still at the end
}

TEST(SmdLineReader, QuotedBlanksAndNames) {
    char line[] = "3 \"left upper arm\" 2  \"second stretch\"\n";
    smd_underscore_quoted_blanks(line);
    EXPECT_STREQ("3 \"left_upper_arm\" 2  \"second stretch\"\n", line);

    char tabs[] = "1\t\"a\tb c\"\t0\n";  // tabs are left alone
    smd_underscore_quoted_blanks(tabs);
    EXPECT_STREQ("1\t\"a\tb_c\"\t0\n", tabs);

    char open_only[] = "1 \"a b\n";  // no closing quote: to the end of the line
    smd_underscore_quoted_blanks(open_only);
    EXPECT_STREQ("1 \"a_b\n", open_only);

    const char* start = nullptr;
    EXPECT_EQ(3u, smd_unquote_name("\"arm\"", &start));
    EXPECT_EQ(0, std::string(start, 3).compare("arm"));
    EXPECT_EQ(0u, smd_unquote_name("arm", &start));
    EXPECT_EQ(0u, smd_unquote_name("\"arm", &start));
    EXPECT_EQ(0u, smd_unquote_name("\"\"", &start));
    EXPECT_EQ(1u, smd_unquote_name("x\"y\"z", &start));  // glued text: the name between the quotes
    EXPECT_EQ('y', *start);
}

TEST(SmdLineReader, NodeLines) {
    auto parse = [](std::string text, SmdNodeFields& fields, std::string* name = nullptr) {
        const char* start = nullptr;
        std::size_t length = 0;
        SmdNodeLineResult result = smd_parse_node_line(text.data(), fields, &start, &length);
        if (result == SMD_NODE_LINE_OK && name) *name = std::string(start, length);
        return result;
    };
    SmdNodeFields fields;
    std::string name;
    ASSERT_EQ(SMD_NODE_LINE_OK, parse("3 \"left upper arm\" 2\n", fields, &name));
    EXPECT_EQ(3, fields.index);
    EXPECT_EQ(2, fields.parent);
    EXPECT_EQ("left_upper_arm", name);

    // "%i": octal, hexadecimal and signs.
    ASSERT_EQ(SMD_NODE_LINE_OK, parse("010\t \"a\"\t -1  // null bone\n", fields, &name));
    EXPECT_EQ(8, fields.index);
    EXPECT_EQ(-1, fields.parent);
    ASSERT_EQ(SMD_NODE_LINE_OK, parse("0x10 \"b\" +0x2\n", fields, &name));
    EXPECT_EQ(16, fields.index);
    EXPECT_EQ(2, fields.parent);

    EXPECT_EQ(SMD_NODE_LINE_SKIPPED, parse("4 \"only two\"\n", fields));
    EXPECT_EQ(SMD_NODE_LINE_SKIPPED, parse("\n", fields));
    EXPECT_EQ(SMD_NODE_LINE_SKIPPED, parse("bone 1 2\n", fields));

    EXPECT_EQ(SMD_NODE_LINE_BAD_INDEX, parse("255 \"a\" 0\n", fields));
    EXPECT_EQ(SMD_NODE_LINE_BAD_INDEX, parse("-1 \"a\" 0\n", fields));
    // An index too large for an int must not wrap onto a valid row.
    EXPECT_EQ(SMD_NODE_LINE_BAD_INDEX, parse("4294967296 \"a\" 0\n", fields));
    EXPECT_EQ(SMD_NODE_LINE_BAD_INDEX, parse("99999999999999999999999 \"a\" 0\n", fields));

    ASSERT_EQ(SMD_NODE_LINE_BAD_NAME, parse("5 bare 4\n", fields));
    EXPECT_EQ(5, fields.index);  // index and parent are known even so
    EXPECT_EQ(4, fields.parent);
    EXPECT_EQ(SMD_NODE_LINE_BAD_NAME, parse("5 \"\" 4\n", fields));
    EXPECT_EQ(SMD_NODE_LINE_BAD_NAME, parse("5 \"open\t4\n", fields));
    // With a blank after the open quote the parent joins the name token, so
    // the line has two fields and is skipped.
    EXPECT_EQ(SMD_NODE_LINE_SKIPPED, parse("5 \"open 4\n", fields));
}

TEST(SmdLineReader, NumbersScanInTheCLocaleWhateverTheProcessLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 locale not installed";
    float x = 0, y = 0;
    long node = 0;
    EXPECT_EQ(3, smd_scan("7 1.500000 -0.250000\n", "%li%f%f", &node, &x, &y));
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(7, node);
    EXPECT_EQ(1.5f, x);
    EXPECT_EQ(-0.25f, y);
    EXPECT_EQ(INT_MAX, smd_int_from_long(1L << 40));
    EXPECT_EQ(INT_MIN, smd_int_from_long(-(1L << 40)));
}

// The fast path must be invisible: over lines of plain, odd and broken
// numbers, the fields, their count (EOF included) and every value stored
// before the count are what sscanf gives for the same conversions.
TEST(SmdLineReader, NumberFieldsScanExactlyAsSscanfWould) {
    std::mt19937 rng(fuzz_knobs::seed(2024));
    std::uniform_int_distribution<int> pick(0, 99);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-50, 45);
    const char* const odd[] = {"0",     "-0",    "+7",       "007",   "0x1F", "-0x",  "099",  "1e",   "1e+",  ".",
                               "-.",    "+.5",   "5.",       "1e39",  "-1e39", "1e-46", "1e-40", "inf", "-nan", "infinity",
                               "0x1p3", "1.5e+3x", "12.5.3", "1-2",   "abc",  "//",   "-",    "+",    "9223372036854775807",
                               "9223372036854775808", "-9223372036854775809", "99999999999999999999999", "3.4028235e38",
                               "3.4028236e38", "1.4e-45", "7e-46", "0.000000", "-0.000000", "1.17549435e-38", "+-1", "-+1", "--1", "++2"};
    auto token = [&]() -> std::string {
        char text[64];
        const double value = unit(rng) * std::pow(10.0, exponent(rng));
        const float f = float(value);
        const double midpoint = (double(f) + double(std::nextafter(f, HUGE_VALF))) / 2;  // a float tie
        switch (pick(rng) % 10) {
        case 7: std::snprintf(text, sizeof text, "%.16g", midpoint); return text;
        case 8: std::snprintf(text, sizeof text, "%.15g", midpoint); return text;
        case 0: return odd[std::size_t(pick(rng)) % (sizeof odd / sizeof odd[0])];
        case 1: std::snprintf(text, sizeof text, "%d", int(unit(rng) * 300)); return text;
        case 2: std::snprintf(text, sizeof text, "%.9g", value); return text;
        case 3: std::snprintf(text, sizeof text, "%.17g", value); return text;
        case 4: std::snprintf(text, sizeof text, "%e", value); return text;
        case 5: std::snprintf(text, sizeof text, "%f", unit(rng) * 1000); return text;
        case 6: std::snprintf(text, sizeof text, "%.3f", float(unit(rng))); return text;
        default: std::snprintf(text, sizeof text, "%+.8g", float(value)); return text;
        }
    };
    const char* const separators[] = {" ", " ", " ", "\t", "  ", "", "\r\n"};
    auto line_of = [&](int tokens) {
        std::string line = pick(rng) < 20 ? " " : "";
        for (int t = 0; t < tokens; ++t) {
            line += token();
            line += separators[std::size_t(pick(rng)) % (sizeof separators / sizeof separators[0])];
        }
        return line;
    };
    auto same_float = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; };

    for (int n = 0; n < 20000 * fuzz_knobs::scale(); ++n) {
        // A bone line of a frame block: "%li%f%f%f%f%f%f".
        const std::string line = line_of(pick(rng) % 9);
        long want_i = -1, got_i[1] = {-1};
        float want_f[6], got_f[6];
        for (int k = 0; k < 6; ++k) want_f[k] = got_f[k] = -7.0f;
        const int want = std::sscanf(line.c_str(), "%li%f%f%f%f%f%f", &want_i, &want_f[0], &want_f[1], &want_f[2],
                                     &want_f[3], &want_f[4], &want_f[5]);
        const int got = smd_scan_numbers(line.c_str(), "iffffff", got_i, got_f);
        ASSERT_EQ(want, got) << "[" << line << "]";
        if (got >= 1) {
            ASSERT_EQ(want_i, got_i[0]) << "[" << line << "]";
        }
        for (int k = 0; k + 1 < got; ++k) ASSERT_TRUE(same_float(want_f[k], got_f[k])) << k << " [" << line << "]";
    }

    for (int n = 0; n < 5000 * fuzz_knobs::scale(); ++n) {
        // A vertex line: parent, 8 reals, the count, then (node, weight) pairs.
        std::string line = line_of(9 + pick(rng) % 32);
        long wi[17] = {}, gi[17] = {};
        float wf[23] = {}, gf[23] = {};
        const int want = std::sscanf(
            line.c_str(),
            "%li %f %f %f %f %f %f %f %f %li %li %f %li %f %li %f %li %f %li %f %li %f %li %f %li %f %li %f %li %f"
            " %li %f %li %f %li %f %li %f %li %f",
            &wi[0], &wf[0], &wf[1], &wf[2], &wf[3], &wf[4], &wf[5], &wf[6], &wf[7], &wi[1], &wi[2], &wf[8], &wi[3],
            &wf[9], &wi[4], &wf[10], &wi[5], &wf[11], &wi[6], &wf[12], &wi[7], &wf[13], &wi[8], &wf[14], &wi[9],
            &wf[15], &wi[10], &wf[16], &wi[11], &wf[17], &wi[12], &wf[18], &wi[13], &wf[19], &wi[14], &wf[20],
            &wi[15], &wf[21], &wi[16], &wf[22]);
        // Parent, 3 + 3 + 2 reals, the count, then 15 (node, weight) pairs.
        std::string kinds = "iffffffffi";
        for (int pair = 0; pair < 15; ++pair) kinds += "if";
        const int got = smd_scan_numbers(line.c_str(), kinds.c_str(), gi, gf);
        ASSERT_EQ(want, got) << "[" << line << "]";
        int ints = 0, reals = 0;
        for (int k = 0; k < got; ++k) {
            if (kinds[std::size_t(k)] == 'i') {
                ASSERT_EQ(wi[ints], gi[ints]) << "field " << k << " [" << line << "]";
                ++ints;
            } else {
                ASSERT_TRUE(same_float(wf[reals], gf[reals])) << "field " << k << " [" << line << "]";
                ++reals;
            }
        }
    }
}

}  // namespace
