// The skeleton reader: node lines into rows, frame blocks into poses, the
// frame count, and a fuzz run of random and mutated files through a whole
// import.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <random>
#include <string>

#include "../fuzz_knobs.h"
#include "import_fixture.h"

namespace {

using importtest::text_file;

// A context with a table and a reader over `text`.
struct Reading {
    SkeletonImport state{};
    SmdLineReader reader;

    explicit Reading(const std::string& text) {
        EXPECT_EQ(skeleton_allocate_table(state), SKELETON_OK);
        reader.file = text_file(text);
    }
    ~Reading() {
        std::fclose(reader.file);
        skeleton_release(state);
    }
    int nodes() { return skeleton_read_nodes(state, reader); }
    int frame() { return skeleton_read_frame(state, reader); }
    const ImportBone& row(int index) const { return state.bone_table[index]; }
    std::string name(int index) const { return row(index).name ? row(index).name.get() : "<empty>"; }
    std::string next_line() { return smd_read_line(reader) ? reader.line_buffer : "<end of file>"; }
};

TEST(SkeletonNodes, FillRowsByIndexWithUnderscoredNames) {
    Reading r("3 \"left upper arm\" 2\n010 \"octal\" -1\n0x10\t \"hex\"\t 3\t // null bone\n5 \"two fields\"\n"
              "7 x\"glued\" 3\nEnD\nafter\n");
    ASSERT_EQ(r.nodes(), SKELETON_OK);
    EXPECT_EQ(r.name(3), "left_upper_arm");
    EXPECT_EQ(r.row(3).index, 3);
    EXPECT_EQ(r.row(3).parent, 2);
    EXPECT_EQ(r.name(8), "octal");
    EXPECT_EQ(r.row(8).parent, -1);
    EXPECT_EQ(r.name(16), "hex");
    EXPECT_EQ(r.name(5), "<empty>") << "a line of two fields is skipped";
    EXPECT_EQ(r.name(7), "glued") << "a name with text before its quote is taken between the quotes";
    EXPECT_EQ(r.state.node_count, 4);
    EXPECT_EQ(r.next_line(), "after\n") << "reading goes on after \"end\"";

    // A later line of the same index replaces the row; the count goes on.
    Reading again("3 \"first\" -1\n3 \"second\" 1\nend\n");
    again.state.node_count = 7;
    ASSERT_EQ(again.nodes(), SKELETON_OK);
    EXPECT_EQ(again.name(3), "second");
    EXPECT_EQ(again.row(3).parent, 1);
    EXPECT_EQ(again.state.node_count, 9);
}

TEST(SkeletonNodes, BadLinesFailTheSectionAndKeepTheRowsBefore) {
    struct Failing {
        const char* text;
        int accepted;  // node lines taken before the failure
    };
    const Failing failing[] = {
        {"1 root -1\nend\n", 1},              // no quotes
        {"1 \"\" -1\nend\n", 1},              // nothing between them
        {"1\t\"root\t-1\nend\n", 1},          // no closing quote
        {"255 \"far\" 0\nend\n", 1},          // past the table
        {"-1 \"neg\" 0\nend\n", 1},
        {"4294967296 \"wrap\" -1\nend\n", 1}, // would be 0 if it wrapped
        {"1 \"open\" 0\n", 2},                // no end before the end of the file
        {"1 \"open\" 0\nendings\n", 2},       // a token that only begins with "end"
    };
    for (const Failing& c : failing) {
        Reading r(std::string("0 \"kept\" -1\n") + c.text);
        EXPECT_EQ(r.nodes(), SKELETON_READ_FAILED) << c.text;
        EXPECT_EQ(r.name(0), "kept") << c.text;
        EXPECT_EQ(r.state.node_count, c.accepted) << c.text;
    }
    {  // a lone quote followed by blanks glues the parent to the name: skipped
        Reading r("1 \"root -1\nend\n");
        EXPECT_EQ(r.nodes(), SKELETON_OK);
        EXPECT_EQ(r.name(1), "<empty>");
    }
    {  // the row takes index and parent before the name is found bad
        Reading r("2 \"b\" 1\n2 \"\" 9\nend\n");
        EXPECT_EQ(r.nodes(), SKELETON_READ_FAILED);
        EXPECT_EQ(r.name(2), "b");
        EXPECT_EQ(r.row(2).parent, 9);
    }
}

TEST(SkeletonFrames, BlocksEndAtEndTimeOrAnIndexOffTheTable) {
    Reading r("0 1 2 3 0.1 0.2 0.3\n1 9 9 9 9 9\n0x2 4 5 6 0 0 0\n time 0\n"
              "0 7 8 9 0 0 0\nTIME 7\n4294967296 1 1 1 1 1 1\n0 -1 -1 -1 0 0 0\n"
              "300 0 0 0 0 0 0\n0 5 5 5 5 5 5\nend\n");
    ASSERT_EQ(r.frame(), FRAME_NEXT);
    EXPECT_EQ(r.state.more_frames, 1);
    EXPECT_EQ(r.row(0).position[1], 2.0);
    EXPECT_EQ(r.row(0).rotation[0], double(0.1f)) << "read as floats and widened";
    EXPECT_EQ(r.row(1).position[0], 0.0) << "six numbers are skipped";
    EXPECT_EQ(r.row(2).position[2], 6.0);
    ASSERT_EQ(r.frame(), FRAME_NEXT) << "the frame number is never read";
    EXPECT_EQ(r.row(0).position[0], 7.0);
    EXPECT_EQ(r.row(2).position[0], 4.0) << "rows a block leaves out keep their pose";
    EXPECT_EQ(r.frame(), FRAME_END) << "an index beyond the int range ends the block";
    EXPECT_EQ(r.row(0).position[0], 7.0) << "and never lands on row 0";
    EXPECT_EQ(r.frame(), FRAME_END) << "at index 300";
    EXPECT_EQ(r.row(0).position[0], -1.0);
    EXPECT_EQ(r.frame(), FRAME_END) << "at end";
    EXPECT_EQ(r.frame(), FRAME_EOF);

    // A line past 2047 characters is read in pieces, each a line of its own.
    Reading pieces("1 1 1 1 1 1 1" + std::string(2034, ' ') + "2 2 2 2 2 2 2\nend\n");
    EXPECT_EQ(pieces.frame(), FRAME_END);
    EXPECT_EQ(pieces.row(1).position[0], 1.0);
    EXPECT_EQ(pieces.row(2).position[0], 2.0);
}

TEST(SkeletonFrames, CountIsEveryTimeLineAndRewinds) {
    std::string text = "version 1\nnodes\n0 \"time\" -1\nend\nskeleton\ntimeline\n";
    for (int i = 0; i < 30; ++i) text += (i % 2 ? " TIME " : "time ") + std::to_string(i) + "\n0 0 0 0 0 0 0\n";
    Reading r(text + "end\n");
    EXPECT_EQ(skeleton_count_frames(r.state, r.reader), 30);
    EXPECT_EQ(r.next_line(), "version 1\n");
    Reading one("nodes\nend\nskeleton\ntime 0\nend\n");
    EXPECT_EQ(skeleton_count_frames(one.state, one.reader), 1);
    Reading none("nodes\nend\n");
    EXPECT_EQ(skeleton_count_frames(none.state, none.reader), 0);
    EXPECT_EQ(smd_find_section(none.reader, "nodes"), 0) << "rewound";
    EXPECT_EQ(smd_find_section(none.reader, "time"), 1) << "no time line after the nodes";
}

// ---- fuzzing ------------------------------------------------------------------------

const char* const SEEDS[] = {
    "version 1\nnodes\n0 \"root\" -1\n1 \"left arm\" 0\n2 \"hand\" 1\nend\nskeleton\ntime 0\n"
    "0 1 2 3 0.1 0.2 0.3\n1 0 0 4 0 0 1.5\n2 0 2 0 -1 0 0\nend\n",
    "version 1\nnodes\n0\t \"a\"\t -1\n1\t \"b\"\t 0\t // null bone\nend\nskeleton\ntime 0\n 0  1.0 2.0 3.0  0 0 0\n"
    "1  0 0 1  0 0 0\ntime 1\n 0  2.0 2.0 3.0  0 0 0.5\ntime 2\n 1  0 0 2  0.5 0 0\nend\n",
    "nodes\n0x0 \"hex\" -1\n07 \"oct\" 0\nEND\nTIME 3\n7 0 0 0 0 0 0\n0 1e30 -1e30 nan inf 0 0\nend\n",
};

const char* const TOKENS[] = {"end\n", "time 0\n", "nodes\n", "\"", " ", "\t", "\n", "-1", "255", "4294967296",
                              "0x", "nan", "1e39", "-0", "\r\n", "\"x y\"", "9999999999999999999999"};

std::string mutate(std::mt19937& rng, std::string text) {
    auto pick = [&](std::size_t n) { return n == 0 ? std::size_t(0) : std::size_t(rng() % n); };
    const int edits = 1 + int(rng() % 6);
    for (int e = 0; e < edits; ++e) {
        const std::size_t at = pick(text.size() + 1);
        switch (rng() % 5) {
        case 0: if (at < text.size()) text[at] = char(rng() % 256); break;
        case 1: text.insert(at, TOKENS[pick(std::size(TOKENS))]); break;
        case 2: text.erase(at, pick(16)); break;
        case 3: text.resize(at); break;
        default: text.insert(at, std::string(1 + pick(2200), char(" 0\"9x"[pick(5)]))); break;
        }
    }
    return text;
}

std::string random_text(std::mt19937& rng) {
    static const char ALPHABET[] = "0123456789 \t\n\"-.xetimndos\r";
    std::string text(std::size_t(rng() % 600), ' ');
    for (char& c : text) c = ALPHABET[rng() % (sizeof ALPHABET - 1)];
    return "nodes\n" + text;
}

void expect_sound_table(const importtest::ImportFixture& f) {
    int named = 0;
    for (int i = 0; i < SMD_MAX_NODES; ++i) {
        const ImportBone& row = f.row(i);
        if (row.name) {
            ++named;
            const std::size_t length = std::strlen(row.name.get());
            EXPECT_GE(length, 1u);
            EXPECT_LE(length, 253u);
            for (std::size_t k = 0; k < length; ++k) {
                EXPECT_NE(row.name[k], '"');
                EXPECT_FALSE(std::isspace(static_cast<unsigned char>(row.name[k])));
            }
            EXPECT_EQ(row.index, i);
        }
        if (row.item) {
            const lwhost::Item* bone =
                f.host.scene.item(lwhost::ItemId(reinterpret_cast<std::uintptr_t>(row.item)));
            ASSERT_NE(bone, nullptr);
            EXPECT_EQ(bone->type, lwhost::ItemType::Bone);
        }
    }
    EXPECT_GE(f.state.node_count, named);
}

TEST(SkeletonReaderFuzz, RandomAndMutatedFilesImportOrFailCleanly) {
    std::mt19937 rng(fuzz_knobs::seed(0x5eed));
    int imported = 0, bones = 0;
    for (int round = 0; round < 100 * fuzz_knobs::scale(); ++round) {
        importtest::ImportFixture f;
        f.state.calc_lengths = round % 2;
        for (int n = 0; n < 10; ++n) {
            const std::string text = n % 4 == 3 ? random_text(rng) : mutate(rng, SEEDS[rng() % std::size(SEEDS)]);
            f.state.sequence_mode = n % 3 == 2;
            const int result = f.import(text);
            EXPECT_TRUE(result == SKELETON_OK || result == SKELETON_READ_FAILED);
            imported += result == SKELETON_OK;
            ASSERT_NO_FATAL_FAILURE(expect_sound_table(f));
        }
        const auto problems = lwhost::check_scene(f.host.scene);
        EXPECT_TRUE(problems.empty()) << problems.front();
        for (lwhost::ItemId object : f.host.scene.items(lwhost::ItemType::Object))
            bones += int(f.host.scene.bones_of(object).size());
    }
    // The mutations leave enough files whole to reach the builder.
    EXPECT_GT(imported, 100);
    EXPECT_GT(bones, 100);
}

}  // namespace
