// smd_block_writer: the buffered line writing both mesh exporters share.
// Lines are composed whole by smd_format into a block that goes to the
// stream in one write when full (a million-triangle file is some 300 MB, so
// the number of writes matters); the first write the stream refuses ends the
// file.
//
//   SmdBlockWriter(stream)
//       ready()            false when the block could not be allocated.
//       result()           EXPORT_OK, or EXPORT_WRITE_FAILED once a write
//                          failed; every later call then does nothing and
//                          returns it.
//       reserve(length)    room for `length` more bytes (at most a block),
//                          or null after a failed write;
//       commit(length)     takes what was composed there.
//       text(text[, length])  a constant or composed text (each of these
//                          three gives the result); a text longer
//                          than half a block is written past the block.
//       node(node)         a node line, whatever the name's length.
//       material(name)     `name` and a newline, whatever its length.
//       flush()            hands the block to the stream; the result.
//
//   SmdMaterialName::of(name)
//       `name` as one token (underscore_material), in a copy kept until the
//       next call (the names in the records stay as the host gave them).
//       Runs of polygons usually share a name, so the same pointer given
//       again returns the kept copy. Throws std::bad_alloc.
//
//   SmdVertexLineCache, smd_block_vertex(writer, cache, key, kind, fill[, context])
//       A vertex line depends only on the corner's point and on its normal
//       and texture coordinates; neighbouring polygons share points, and with
//       smooth shading and per-point UVs their corners agree in all of it, so
//       recently written lines are kept by point and reused as they are
//       (formatting the numbers is most of a large file's cost). The key
//       (smd_vertex_key) holds the point (null: never kept), its slot and the
//       bit patterns of the rest, so that -0 and +0, written differently,
//       stay apart. On a miss fill(context, vertex), or fill(vertex) without
//       a context, makes the vertex, composed as a static (SMD_VERTEX_STATIC)
//       or reference (SMD_VERTEX_LINKED) line. `cache` may be null (no
//       reuse). Returns the writer's result.
//
//   smd_block_file(stream, body[, context])
//       A whole file's writing: a block writer over `stream`, then
//       body(context, writer) or body(writer), which writes and flushes.
//       Its result, or EXPORT_NO_MEMORY when the block could not be had or
//       the body ran out of memory (std::bad_alloc).
//
//   smd_block_triangle(writer, order, vertex)
//       Three vertex lines, corners order[0], order[1], order[2] (no
//       material line), stopping at the first that fails.
//
//   smd_block_face(writer, material, size, vertex)
//       The triangles of a face of 3 or 4 corners, each after its material
//       line: corners 2, 1, 0, and for 4 corners 0, 3, 2 as well, the split
//       both mesh exporters write. vertex(corner), a callable that must not
//       throw, writes one vertex line. Stops at the first result that is not
//       EXPORT_OK and returns it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "smd_format.h"

class SmdBlockWriter {
public:
    static constexpr std::size_t BLOCK_SIZE = 256 * 1024;
    static_assert(BLOCK_SIZE > 2 * SMD_LINE_CAPACITY);

    explicit SmdBlockWriter(std::FILE* stream) noexcept;
    SmdBlockWriter(const SmdBlockWriter&) = delete;
    SmdBlockWriter& operator=(const SmdBlockWriter&) = delete;

    bool ready() const noexcept { return block_ != nullptr; }
    ExportResult result() const noexcept { return rc_; }

    char* reserve(std::size_t length) noexcept {
        if (rc_ != EXPORT_OK) return nullptr;
        if (BLOCK_SIZE - used_ < length && flush() != EXPORT_OK) return nullptr;
        return block_.get() + used_;
    }
    void commit(std::size_t length) noexcept { used_ += length; }

    ExportResult text(const char* text, std::size_t length) noexcept;
    ExportResult text(std::string_view line) noexcept { return text(line.data(), line.size()); }
    ExportResult node(const SmdNode& node) noexcept;
    ExportResult material(const std::string& name) noexcept;
    ExportResult flush() noexcept;

private:
    std::unique_ptr<char[]> block_;
    std::FILE* stream_;
    std::size_t used_ = 0;
    ExportResult rc_ = EXPORT_OK;
};

class SmdMaterialName {
public:
    const std::string& of(const char* name);

private:
    const char* source_ = nullptr;
    std::string text_;
};

struct SmdVertexKey {
    static constexpr std::size_t BITS = 32;  // a double normal and two floats
    const void* point = nullptr;
    std::size_t slot = 0;
    unsigned char bits[BITS] = {};
};

// The key of a corner: its point, normal (float or double) and texture
// coordinates. Points are consecutive records, so nearby points take nearby
// slots.
template <typename Point, typename Real>
SmdVertexKey smd_vertex_key(const Point* point, const Real (&normal)[3], float u, float v) noexcept {
    static_assert(sizeof normal + 2 * sizeof(float) <= SmdVertexKey::BITS);
    SmdVertexKey key;
    key.point = point;
    key.slot = reinterpret_cast<std::uintptr_t>(point) / sizeof(Point);
    std::memcpy(key.bits, normal, sizeof normal);
    std::memcpy(key.bits + sizeof normal, &u, sizeof u);
    std::memcpy(key.bits + sizeof normal + sizeof u, &v, sizeof v);
    return key;
}

class SmdVertexLineCache {
public:
    static constexpr std::size_t SLOTS = 4096;  // a power of two
    static constexpr std::size_t TEXT = 176;    // longer lines are not kept

    SmdVertexLineCache() noexcept;
    bool ready() const noexcept { return entries_ != nullptr; }

    // The kept line of this key, or null.
    const char* find(const SmdVertexKey& key, std::size_t& out_length) const noexcept;
    void keep(const SmdVertexKey& key, const char* text, std::size_t length) noexcept;

private:
    struct Entry {
        const void* point = nullptr;
        unsigned char bits[SmdVertexKey::BITS] = {};
        std::uint32_t length = 0;
        char text[TEXT];
    };
    std::unique_ptr<Entry[]> entries_;
};

enum SmdVertexKind { SMD_VERTEX_STATIC, SMD_VERTEX_LINKED };

using SmdVertexFill = void (*)(const void* context, SmdVertex& vertex) noexcept;

ExportResult smd_block_vertex(SmdBlockWriter& writer, SmdVertexLineCache* cache, const SmdVertexKey& key,
                              SmdVertexKind kind, SmdVertexFill fill, const void* context) noexcept;

// The same with fill(vertex), a callable that must not throw.
template <class Fill>
ExportResult smd_block_vertex(SmdBlockWriter& writer, SmdVertexLineCache* cache, const SmdVertexKey& key,
                              SmdVertexKind kind, const Fill& fill) noexcept {
    const SmdVertexFill call = [](const void* context, SmdVertex& vertex) noexcept {
        (*static_cast<const Fill*>(context))(vertex);
    };
    return smd_block_vertex(writer, cache, key, kind, call, &fill);
}

// Inline: they run for every corner of a large file, where a call through a
// pointer costs more than the few lines they are.
template <class Vertex>
ExportResult smd_block_triangle(SmdBlockWriter&, const int (&order)[3], const Vertex& vertex) noexcept {
    ExportResult rc = EXPORT_OK;
    for (int i = 0; i < 3 && rc == EXPORT_OK; ++i) rc = vertex(order[i]);
    return rc;
}

template <class Vertex>
ExportResult smd_block_face(SmdBlockWriter& writer, const std::string& material, int size,
                            const Vertex& vertex) noexcept {
    static constexpr int FIRST[3] = {2, 1, 0};
    static constexpr int SECOND[3] = {0, 3, 2};
    ExportResult rc = writer.material(material);
    if (rc == EXPORT_OK) rc = smd_block_triangle(writer, FIRST, vertex);
    if (size != 4 || rc != EXPORT_OK) return rc;
    rc = writer.material(material);
    return rc == EXPORT_OK ? smd_block_triangle(writer, SECOND, vertex) : rc;
}

using SmdBlockBody = ExportResult (*)(const void* context, SmdBlockWriter& writer);  // may throw std::bad_alloc

ExportResult smd_block_file(std::FILE* stream, SmdBlockBody body, const void* context) noexcept;

// The same with body(writer), a callable.
template <class Body>
ExportResult smd_block_file(std::FILE* stream, const Body& body) noexcept {
    const SmdBlockBody call = [](const void* context, SmdBlockWriter& writer) {
        return (*static_cast<const Body*>(context))(writer);
    };
    return smd_block_file(stream, call, &body);
}
