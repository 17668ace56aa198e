// The command log against a vector of strings fed the same texts, across
// block ends, with empty texts, bytes of any value and a text longer than a
// block; and what it holds for a long run.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "command_log.h"

namespace lwhost {
namespace {

void expect_same(const CommandLog& log, const std::vector<std::string>& texts) {
    ASSERT_EQ(log.size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) ASSERT_EQ(log[i], texts[i]) << "text " << i;
    EXPECT_TRUE(std::equal(log.begin(), log.end(), texts.begin()));
    EXPECT_EQ(log, texts);
    EXPECT_THROW(log.at(texts.size()), std::out_of_range);
}

TEST(CommandLog, ReadsBackEveryTextAsPushed) {
    std::mt19937 random(7);
    CommandLog log;
    std::vector<std::string> texts;
    for (int i = 0; i < 60000; ++i) {
        const std::size_t length = i % 97 == 0 ? 0 : random() % (i % 500 == 0 ? 400 : 40);
        std::string text(length, 'a');
        for (char& c : text) c = char(random() % 256);
        texts.push_back(text);
        if (i == 30000) texts.push_back(std::string(5 << 20, 'x'));  // longer than any block
    }
    for (const std::string& text : texts) log.push_back(text);
    expect_same(log, texts);
    EXPECT_EQ(log.back(), texts.back());

    // Copies are equal and then independent; clearing gives the memory back.
    CommandLog copy = log;
    EXPECT_EQ(copy, log);
    copy.push_back("EditObjects ");
    EXPECT_FALSE(copy == log);
    EXPECT_FALSE(log == std::vector<std::string>(texts.begin(), texts.end() - 1));
    texts.back() += ' ';
    EXPECT_FALSE(log == texts) << "one blank more";
    log.clear();
    expect_same(log, {});
    EXPECT_EQ(log.allocated_bytes(), 0u);
    log.push_back("EditBones");
    expect_same(log, {"EditBones"});
    EXPECT_EQ(copy.back(), "EditObjects ");
}

// A long import's log costs its texts, four bytes a text and less than one
// block more; one string apiece cost about twice that.
TEST(CommandLog, HoldsALongRunInLittleMoreThanItsTexts) {
    CommandLog log;
    std::size_t text_bytes = 0;
    for (int i = 0; i < 300000; ++i) {
        const std::string text = "Position  " + std::to_string(i) + ".000000 -0.250000 1.500000";
        log.push_back(text);
        text_bytes += text.size();
    }
    EXPECT_EQ(log[123456], "Position  123456.000000 -0.250000 1.500000");
    const std::size_t index_bytes = 2 * 4 * log.size();  // a growing index may hold twice its size
    EXPECT_LE(log.allocated_bytes(), text_bytes + index_bytes + (std::size_t(2) << 20));
    EXPECT_GE(log.allocated_bytes(), text_bytes + 4 * log.size());
}

}  // namespace
}  // namespace lwhost
