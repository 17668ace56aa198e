// The shared SMD line reader: line pieces, keyword tokens, section search,
// quoted names and locale-free number scanning.
#include "smd_line_reader.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

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

}  // namespace
