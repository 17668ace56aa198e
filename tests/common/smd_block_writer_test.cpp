// The shared block writer: what it writes past the block keeps its place in
// the file, a refused write ends everything after it, and a kept vertex line
// is reused only for exactly the same corner.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "smd_block_writer.h"
#include "smd_format.h"
#include "smd_text.h"

namespace {

TEST(SmdBlockWriter, LinesOfEveryLengthKeepTheirOrder) {
    const std::string short_name = "skin";
    const std::string line_long(SMD_LINE_CAPACITY + 10, 'L');                 // past a line buffer
    const std::string block_long(SmdBlockWriter::BLOCK_SIZE / 2 + 5, 'H');    // past half a block
    const std::string huge(SmdBlockWriter::BLOCK_SIZE + 7, 'G');              // past the whole block
    const std::string node_name(SMD_LINE_CAPACITY * 2, 'N');
    const std::string text = smdtest::capture_stream(
        [&](std::FILE* stream) {
            SmdBlockWriter writer(stream);
            if (!writer.ready()) return -1;
            EXPECT_EQ(writer.text("version 1\n"), EXPORT_OK);
            EXPECT_EQ(writer.material(short_name), EXPORT_OK);
            EXPECT_EQ(writer.material(line_long), EXPORT_OK);
            EXPECT_EQ(writer.text("queued\n"), EXPORT_OK);  // still in the block when the long text comes
            EXPECT_EQ(writer.text(block_long), EXPORT_OK);
            EXPECT_EQ(writer.material(huge), EXPORT_OK);
            EXPECT_EQ(writer.node(SmdNode{3, node_name.c_str(), -1, false}), EXPORT_OK);
            EXPECT_EQ(writer.node(SmdNode{4, "b", 3, false}), EXPORT_OK);
            char* out = writer.reserve(4);
            if (out == nullptr) return -2;
            out[0] = 'e', out[1] = 'n', out[2] = 'd', out[3] = '\n';
            writer.commit(4);
            return static_cast<int>(writer.flush());
        },
        nullptr);
    const std::string expected = "version 1\n" + short_name + "\n" + line_long + "\n" + "queued\n" + block_long +
                                 huge + "\n" + "3\t \"" + node_name + "\"\t -1\n" + "4\t \"b\"\t 3\nend\n";
    EXPECT_EQ(text.size(), expected.size());
    EXPECT_TRUE(text == expected);
}

TEST(SmdBlockWriter, ARefusedWriteEndsTheFile) {
    std::FILE* full = std::fopen("/dev/full", "w");
    if (full == nullptr) GTEST_SKIP() << "no /dev/full";
    std::setvbuf(full, nullptr, _IONBF, 0);  // the device refuses at once, not at the close
    SmdBlockWriter writer(full);
    ASSERT_TRUE(writer.ready());
    EXPECT_EQ(writer.text("queued\n"), 0);  // only in the block so far
    EXPECT_EQ(writer.result(), 0);
    EXPECT_EQ(writer.flush(), EXPORT_WRITE_FAILED);
    EXPECT_EQ(writer.reserve(1), nullptr);
    EXPECT_EQ(writer.text("more\n"), EXPORT_WRITE_FAILED);
    EXPECT_EQ(writer.material(std::string(SmdBlockWriter::BLOCK_SIZE, 'x')), EXPORT_WRITE_FAILED);
    EXPECT_EQ(writer.flush(), EXPORT_WRITE_FAILED);
    std::fclose(full);
}

struct Corner {
    int point;  // a stand-in record: only its address is used
    double normal[3];
    float u, v;
};

struct Fill {
    const Corner* corner;
    int* calls;
};

void fill_corner(const void* context, SmdVertex& vertex) noexcept {
    const Fill& fill = *static_cast<const Fill*>(context);
    ++*fill.calls;
    vertex = SmdVertex{};
    for (int k = 0; k < 3; ++k) vertex.normal[k] = fill.corner->normal[k];
    vertex.u = fill.corner->u;
    vertex.v = fill.corner->v;
}

TEST(SmdBlockWriter, KeptVertexLinesServeOnlyTheSameCorner) {
    int points[2] = {0, 0};
    const Corner base{0, {0.0, 1.0, 0.0}, 0.25f, 0.5f};
    Corner negative_zero = base;
    negative_zero.normal[0] = -0.0;  // equal as a number, written differently
    Corner other_uv = base;
    other_uv.v = 0.75f;
    int calls = 0;
    std::string expected;
    const std::string text = smdtest::capture_stream(
        [&](std::FILE* stream) {
            SmdBlockWriter writer(stream);
            SmdVertexLineCache cache;
            if (!writer.ready() || !cache.ready()) return -1;
            const auto put = [&](const int* point, const Corner& corner, SmdVertexKind kind,
                                 SmdVertexLineCache* use) {
                const Fill fill{&corner, &calls};
                const SmdVertexKey key = smd_vertex_key(point, corner.normal, corner.u, corner.v);
                EXPECT_EQ(smd_block_vertex(writer, use, key, kind, fill_corner, &fill), EXPORT_OK);
                SmdVertex vertex;
                int ignored = 0;
                const Fill fresh{&corner, &ignored};
                fill_corner(&fresh, vertex);
                char line[SMD_LINE_CAPACITY];
                const int length = kind == SMD_VERTEX_STATIC ? smd_compose_static_vertex_line(line, vertex)
                                                             : smd_compose_vertex_line(line, vertex);
                expected.append(line, static_cast<std::size_t>(length));
            };
            put(&points[0], base, SMD_VERTEX_STATIC, &cache);           // composed
            put(&points[0], base, SMD_VERTEX_STATIC, &cache);           // reused
            put(&points[0], negative_zero, SMD_VERTEX_STATIC, &cache);  // composed
            put(&points[0], other_uv, SMD_VERTEX_STATIC, &cache);       // composed
            put(&points[1], other_uv, SMD_VERTEX_STATIC, &cache);       // another point: composed
            put(&points[1], other_uv, SMD_VERTEX_STATIC, &cache);       // reused
            put(&points[1], other_uv, SMD_VERTEX_LINKED, nullptr);      // no cache: composed
            put(nullptr, base, SMD_VERTEX_STATIC, &cache);              // no point: never kept
            put(nullptr, base, SMD_VERTEX_STATIC, &cache);
            return static_cast<int>(writer.flush());
        },
        nullptr);
    EXPECT_EQ(calls, 7);
    EXPECT_EQ(text, expected);
    EXPECT_NE(expected.find("-0.000000"), std::string::npos);  // the two zeros did differ
}

TEST(SmdMaterialName, BlanksBecomeUnderscoresInACopyKeptForTheSameName) {
    SmdMaterialName material;
    const char first[] = "red skin  2";
    EXPECT_EQ(material.of(first), "red_skin__2");
    EXPECT_STREQ(first, "red skin  2");
    char changing[] = "a b";
    EXPECT_EQ(material.of(changing), "a_b");
    changing[0] = 'z';  // the same pointer again: the copy is kept, not re-read
    EXPECT_EQ(material.of(changing), "a_b");
    EXPECT_EQ(material.of(first), "red_skin__2");
}

// The split of a face into triangles, as both exporters write it: corners
// 2 1 0, and 0 3 2 for a quad, each triangle after the material line; the
// first corner that fails ends the face.
TEST(SmdBlockFace, QuadsSplitAlongTheDiagonalFromCornerZero) {
    const auto write = [](int size, int failing) {
        std::string order;
        int rc = -1;
        const std::string text = smdtest::capture_stream(
            [&](std::FILE* stream) {
                SmdBlockWriter writer(stream);
                if (!writer.ready()) return -1;
                const ExportResult rc = smd_block_face(writer, "skin", size, [&](int corner) noexcept {
                    if (corner == failing) return EXPORT_WRITE_FAILED;
                    order += static_cast<char>('0' + corner);
                    return writer.text("v\n");
                });
                const ExportResult flushed = writer.flush();
                return static_cast<int>(rc != EXPORT_OK ? rc : flushed);
            },
            &rc);
        EXPECT_EQ(rc, failing < 0 ? EXPORT_OK : EXPORT_WRITE_FAILED);
        return order + "|" + text;
    };
    EXPECT_EQ(write(3, -1), "210|skin\nv\nv\nv\n");
    EXPECT_EQ(write(4, -1), "210032|skin\nv\nv\nv\nskin\nv\nv\nv\n");
    EXPECT_EQ(write(4, 3), "2100|skin\nv\nv\nv\nskin\nv\n");  // stops at corner 3
}

}  // namespace
