// The mesh importer against text it was never meant to read: a sample cut
// short at many points, mutated with keywords, numbers and bytes, and pure
// random bytes. Each import must end with a result code, at most one
// message, a sound scene and only triangles; the sanitizer build checks the
// memory accesses. Fixed seed, bounded count.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "../fuzz_knobs.h"
#include "import_fixture.h"

namespace {

using importtest::Importer;

const std::string kSample =
    "version 1\n"
    "nodes\n"
    "0 \"root\" -1\n"
    "1 \"left arm\" 0\n"
    "2 \"hand\" 1\n"
    "end\n"
    "skeleton\n"
    "time 0\n"
    "0 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000\n"
    "1 1.000000 0.000000 0.000000 0.000000 0.000000 0.000000\n"
    "end\n"
    "triangles\n"
    "skin.bmp\n"
    "0 0.000000 0.000000 0.000000 0.000000 0.000000 1.000000 0.000000 0.000000 2 1 0.500000 2 0.500000\n"
    "0 1.000000 0.000000 0.000000 0.000000 0.000000 1.000000 1.000000 0.000000\n"
    "1 0.000000 1.000000 0.000000 0.000000 0.000000 1.000000 0.000000 1.000000 1 2 1.000000\n"
    "skin.bmp\n"
    "0 1.000000 0.000000 0.000000 0.000000 0.000000 1.000000 0.500000 0.000000\n"
    "0 1.000000 1.000000 0.000000 0.000000 0.000000 1.000000 1.000000 1.000000\n"
    "0 0.000000 1.000000 0.000000 0.000000 0.000000 1.000000 0.000000 1.000000\n"
    "cloth.bmp\n"
    "2 0.000000 0.000000 2.000000 0.000000 1.000000 0.000000 0.250000 0.250000 3 0 0.2 1 0.3 2 0.5\n"
    "2 1.000000 0.000000 2.000000 0.000000 1.000000 0.000000 0.750000 0.250000\n"
    "2 0.000000 1.000000 2.000000 0.000000 1.000000 0.000000 0.250000 0.750000\n"
    "end\n";

const char* const kPieces[] = {
    "end",  "END\n", "triangles\n", "nodes\n", "time 0\n", "\"", "\" \"", "-1", "255", "4294967298",
    "-2147483649", "nan", "-inf", "1e39", "0x", "0x7fffffff", "010", " ", "\t", "\r\n", "\n", "\n\n",
    "1skin.bmp\n", "9 9 9 9 9 9 9 9 9 15", " 300 0.5",
};

// Imports `text` and checks what any import must leave.
void import_and_check(const std::string& text, std::size_t case_number) {
    Importer x;
    const int rc = x.import(text);
    EXPECT_TRUE(rc == MESH_IMPORT_OK || rc == MESH_IMPORT_FAILED) << "case " << case_number;
    EXPECT_LE(x.host.messages.size(), 1u) << "case " << case_number;
    EXPECT_EQ(rc == MESH_IMPORT_FAILED, x.host.messages.size() == 1) << "case " << case_number;
    EXPECT_LE(x.state.vertices_read, x.state.vertex_line_count) << "case " << case_number;
    EXPECT_LE(x.point_count(), std::size_t(x.state.vertices_read)) << "case " << case_number;
    EXPECT_LE(x.polygon_count() * 3, std::size_t(x.state.vertices_read)) << "case " << case_number;
    for (const lwhost::Polygon& p : x.layer().polygons) EXPECT_EQ(p.vertex_count, 3u) << "case " << case_number;
    const auto problems = lwhost::check_scene(x.host.scene);
    EXPECT_TRUE(problems.empty()) << "case " << case_number << ": " << problems.front();
}

TEST(MeshReaderFuzz, SampleCutShortAnywhere) {
    {  // the sample itself, as a reference point
        Importer x;
        ASSERT_EQ(x.import(kSample), MESH_IMPORT_OK);
        EXPECT_EQ(x.polygon_count(), 3u);
    }
    for (std::size_t cut = 0; cut < kSample.size(); cut += 3) import_and_check(kSample.substr(0, cut), cut);
}

TEST(MeshReaderFuzz, MutatedSamples) {
    std::mt19937 random(fuzz_knobs::seed(20240611u));
    const auto pick = [&](std::size_t n) { return std::size_t(random() % n); };
    for (std::size_t round = 0; round < 400u * unsigned(fuzz_knobs::scale()); ++round) {
        std::string text = kSample;
        const std::size_t edits = 1 + pick(6);
        for (std::size_t e = 0; e < edits; ++e) {
            const std::size_t at = pick(text.size() + 1);
            switch (pick(5)) {
                case 0:  // a piece from the dictionary, or a NUL byte
                {
                    const std::size_t which = pick(std::size(kPieces) + 1);
                    text.insert(at, which == std::size(kPieces) ? std::string(1, '\0') : std::string(kPieces[which]));
                    break;
                }
                case 1:  // a random byte replaced
                    if (at < text.size()) text[at] = char(random());
                    break;
                case 2:  // a stretch removed
                    text.erase(at, pick(40));
                    break;
                case 3:  // a line repeated many times
                {
                    const std::size_t start = text.rfind('\n', at == 0 ? 0 : at - 1);
                    const std::size_t from = start == std::string::npos ? 0 : start + 1;
                    const std::size_t end = text.find('\n', from);
                    const std::size_t length = end == std::string::npos ? std::string::npos : end - from + 1;
                    const std::string line = text.substr(from, length);
                    for (std::size_t k = pick(200); k > 0; --k) text.insert(from, line);
                    break;
                }
                default:  // a very long run without a line end
                    text.insert(at, std::string(1000 + pick(4000), pick(2) ? '9' : ' '));
                    break;
            }
        }
        import_and_check(text, round);
    }
}

TEST(MeshReaderFuzz, RandomBytes) {
    std::mt19937 random(fuzz_knobs::seed(7u));
    for (std::size_t round = 0; round < 200u * unsigned(fuzz_knobs::scale()); ++round) {
        std::string text = round % 2 == 0 ? "nodes\nend\ntriangles\n" : "";
        const std::size_t length = random() % 3000;
        // Mostly digits, blanks and line ends, so that lines get scanned deep.
        const char alphabet[] = "0123456789 .-\n\"x";
        for (std::size_t i = 0; i < length; ++i)
            text += random() % 8 == 0 ? char(random()) : alphabet[random() % (sizeof alphabet - 1)];
        import_and_check(text, round);
    }
}

}  // namespace
