// The static SMD writer. Lines are composed whole by smd_format into a block
// that goes to the stream in one write when full (a million-triangle file is
// some 300 MB, so the number of writes matters); the first write the stream
// refuses ends the file.
#include "writer.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "export_names.h"
#include "host_glue.h"
#include "smd_format.h"

namespace {

constexpr std::size_t BLOCK_SIZE = 256 * 1024;
static_assert(BLOCK_SIZE > 2 * SMD_LINE_CAPACITY);

// Material of a polygon the host gave no surface name: a triangle needs a
// material line whatever happens.
constexpr char DEFAULT_MATERIAL[] = "default";

// Collects composed lines and hands them to the stream a block at a time.
class LineSink {
public:
    explicit LineSink(std::FILE* stream) noexcept : stream_(stream) {}
    LineSink(const LineSink&) = delete;
    LineSink& operator=(const LineSink&) = delete;

    bool ready() const noexcept { return block_ != nullptr; }
    int result() const noexcept { return rc_; }

    // Room for `length` more bytes, or null after a failed write.
    char* reserve(std::size_t length) noexcept {
        if (rc_ != 0) return nullptr;
        if (BLOCK_SIZE - used_ < length && flush() != 0) return nullptr;
        return block_.get() + used_;
    }
    void commit(std::size_t length) noexcept { used_ += length; }

    int text(const char* text, std::size_t length) noexcept {
        if (length > BLOCK_SIZE / 2) {  // a long material name: past the block
            if (flush() == 0) rc_ = smd_write_text(stream_, text, length);
            return rc_;
        }
        char* out = reserve(length);
        if (out == nullptr) return rc_;
        std::memcpy(out, text, length);
        commit(length);
        return 0;
    }
    int text(std::string_view line) noexcept { return text(line.data(), line.size()); }

    int flush() noexcept {
        if (rc_ == 0 && used_ > 0) rc_ = smd_write_text(stream_, block_.get(), used_);
        used_ = 0;
        return rc_;
    }

private:
    std::unique_ptr<char[]> block_{new (std::nothrow) char[BLOCK_SIZE]};
    std::FILE* stream_;
    std::size_t used_ = 0;
    int rc_ = 0;
};

// The material line of one polygon, blanks turned into underscores in a copy
// (the names in the records stay as the host gave them). Runs of polygons
// usually share a name, so the previous line is reused.
class MaterialLine {
public:
    // Throws std::bad_alloc.
    const std::string& of(const char* name) {
        if (name != source_) {
            line_.assign(name);
            underscore_blanks(line_);
            line_.push_back('\n');
            source_ = name;
        }
        return line_;
    }

private:
    const char* source_ = nullptr;
    std::string line_;
};

void fill_vertex(const MeshExportState& state, const MeshCorner& corner, SmdVertex& vertex) noexcept {
    static constexpr double NO_POSITION[3] = {0.0, 0.0, 0.0};
    vertex.parent = 0;
    vertex.link_count = 0;
    const double* position = corner.point != nullptr ? corner.point->position : NO_POSITION;
    smd_position_from_host(position, static_cast<double>(state.scale), vertex.position);
    smd_direction_from_host(corner.normal, vertex.normal);
    vertex.u = corner.u;
    vertex.v = corner.v;
}

// A vertex line depends only on the corner's point, normal and texture
// coordinates (the scale is fixed for one file). Neighbouring polygons share
// points, and with smooth shading and per-point UVs their corners agree in
// all of it, so the recently written lines are kept by point and reused as
// they are: formatting the numbers is most of a large file's cost.
class VertexLineCache {
public:
    static constexpr std::size_t SLOTS = 4096;  // a power of two
    static constexpr std::size_t TEXT = 176;    // longer lines are not kept

    bool ready() const noexcept { return entries_ != nullptr; }

    // The kept line of this corner, or null.
    const char* find(const MeshCorner& corner, std::size_t& out_length) const noexcept {
        if (corner.point == nullptr) return nullptr;
        const Entry& entry = entries_[slot(corner.point)];
        if (entry.point != corner.point || !same_key(entry, corner)) return nullptr;
        out_length = entry.length;
        return entry.text;
    }

    void keep(const MeshCorner& corner, const char* text, std::size_t length) noexcept {
        if (corner.point == nullptr || length > TEXT) return;
        Entry& entry = entries_[slot(corner.point)];
        entry.point = corner.point;
        // Bit patterns, so that -0 and +0 (written differently) stay apart.
        std::memcpy(entry.normal, corner.normal, sizeof entry.normal);
        std::memcpy(entry.uv, &corner.u, sizeof(float));
        std::memcpy(entry.uv + 1, &corner.v, sizeof(float));
        entry.length = static_cast<std::uint32_t>(length);
        std::memcpy(entry.text, text, length);
    }

private:
    struct Entry {
        const MeshPoint* point = nullptr;
        double normal[3] = {};
        float uv[2] = {};
        std::uint32_t length = 0;
        char text[TEXT];
    };

    static bool same_key(const Entry& entry, const MeshCorner& corner) noexcept {
        return std::memcmp(entry.normal, corner.normal, sizeof entry.normal) == 0 &&
               std::memcmp(&entry.uv[0], &corner.u, sizeof(float)) == 0 &&
               std::memcmp(&entry.uv[1], &corner.v, sizeof(float)) == 0;
    }

    // Points are consecutive records, so nearby points take nearby slots.
    static std::size_t slot(const MeshPoint* point) noexcept {
        return (reinterpret_cast<std::uintptr_t>(point) / sizeof(MeshPoint)) & (SLOTS - 1);
    }

    std::unique_ptr<Entry[]> entries_{new (std::nothrow) Entry[SLOTS]};
};

// `cache` may be null (no reuse).
int write_vertex(LineSink& sink, VertexLineCache* cache, const MeshExportState& state,
                 const MeshCorner& corner) noexcept {
    std::size_t length = 0;
    if (cache != nullptr) {
        if (const char* kept = cache->find(corner, length)) return sink.text(kept, length);
    }
    char* out = sink.reserve(SMD_LINE_CAPACITY);
    if (out == nullptr) return sink.result();
    SmdVertex vertex;
    fill_vertex(state, corner, vertex);
    length = static_cast<std::size_t>(smd_compose_static_vertex_line(out, vertex));
    if (cache != nullptr) cache->keep(corner, out, length);
    sink.commit(length);
    return 0;
}

int write_triangle(LineSink& sink, VertexLineCache* cache, const MeshExportState& state, const MeshPolygon& polygon,
                   const int (&order)[3]) noexcept {
    for (int corner : order) {
        if (polygon.corners == nullptr || corner < 0 || corner >= polygon.size) return SMD_WRITE_FAILED;
        const int rc = write_vertex(sink, cache, state, polygon.corners[corner]);
        if (rc != 0) return rc;
    }
    return 0;
}

bool written(const MeshExportState& state, const MeshPolygon& polygon) noexcept {
    return polygon.valid != 0 && polygon.included == 1 && polygon.corners != nullptr &&
           (polygon.has_uv == 1 || state.verify_uv == 0);
}

// Throws std::bad_alloc (a material name).
int write_triangles(LineSink& sink, const MeshExportState& state) {
    VertexLineCache cache;
    if (!cache.ready()) return MESH_NO_MEMORY;
    MaterialLine material;
    static constexpr int FIRST[3] = {2, 1, 0};
    static constexpr int SECOND[3] = {0, 3, 2};
    for (const MeshPolygon& polygon : state.polygons) {
        if (!written(state, polygon)) continue;
        const std::string& line = material.of(mesh_material_name(state, polygon));
        int rc = sink.text(line);
        if (rc == 0) rc = write_triangle(sink, &cache, state, polygon, FIRST);
        if (rc == 0 && polygon.size == 4) {
            rc = sink.text(line);
            if (rc == 0) rc = write_triangle(sink, &cache, state, polygon, SECOND);
        }
        if (rc != 0) return rc;
    }
    return 0;
}

int write_body(LineSink& sink, const MeshExportState& state) {
    for (const char* text : {SMD_HEADER, SMD_NODES_OPENER, SMD_ROOT_NODE_LINE, SMD_SECTION_END, SMD_SKELETON_OPENER,
                             SMD_TIME_ZERO, SMD_ZERO_BONE_LINE, SMD_SECTION_END, SMD_TRIANGLES_OPENER}) {
        sink.text(text, std::strlen(text));
    }
    if (sink.result() != 0) return sink.result();
    const int rc = write_triangles(sink, state);
    if (rc != 0) return rc;
    sink.text(SMD_SECTION_END, std::strlen(SMD_SECTION_END));
    return sink.flush();
}

// What is at a save's target now.
enum class Target { Missing, RegularFile, Other, Unusable };

// A target that exists must be writable by us: a read-only file is refused,
// as opening it for writing would be, rather than renamed over; a folder
// cannot be written at all; and only a regular file is replaced by renaming.
Target inspect_target(const char* path) noexcept {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) return Target::Missing;
    if (error || status.type() == std::filesystem::file_type::directory) return Target::Unusable;
    // "r+" opens for writing without truncating anything.
    std::FILE* probe = std::fopen(path, "r+");
    if (probe == nullptr) return Target::Unusable;
    std::fclose(probe);
    return status.type() == std::filesystem::file_type::regular ? Target::RegularFile : Target::Other;
}

// A new file beside `path` that no one else is writing: "<path>.tmp", or
// with a number after it when that exists already. Null (out_name empty)
// when none can be created for any other reason.
std::FILE* open_beside(const char* path, std::string& out_name) {
    constexpr int ATTEMPTS = 100;
    for (int attempt = 0; attempt < ATTEMPTS; ++attempt) {
        out_name.assign(path);
        out_name += ".tmp";
        if (attempt > 0) out_name += std::to_string(attempt);
        errno = 0;
        // "x": fails instead of truncating a file that is there already.
        if (std::FILE* stream = std::fopen(out_name.c_str(), "wx")) return stream;
        if (errno != EEXIST) break;
    }
    out_name.clear();
    return nullptr;
}

// The writer's result, or SMD_WRITE_FAILED when the stream reports an error
// at the flush or the close; the stream is closed either way.
int write_and_close(const MeshExportState& state, std::FILE* stream) noexcept {
    int rc = mesh_write_smd(state, stream);
    if ((std::fflush(stream) != 0 || std::ferror(stream) != 0) && rc == 0) rc = SMD_WRITE_FAILED;
    if (std::fclose(stream) != 0 && rc == 0) rc = SMD_WRITE_FAILED;
    return rc;
}

}  // namespace

const char* mesh_material_name(const MeshExportState& state, const MeshPolygon& polygon) noexcept {
    const char* surface_name = polygon.surface != nullptr ? polygon.surface->text.c_str() : DEFAULT_MATERIAL;
    switch (state.group_by) {
        case GROUP_BY_SURFACE:
            return surface_name;
        case GROUP_BY_TEXTURE: {
            const MeshSurface* surface = polygon.surface != nullptr ? polygon.surface->surface : nullptr;
            return surface != nullptr && !surface->texture_image.empty() ? surface->texture_image.c_str()
                                                                          : surface_name;
        }
        default:
            return polygon.uv_map != nullptr ? polygon.uv_map : surface_name;
    }
}

int mesh_write_smd(const MeshExportState& state, std::FILE* stream) noexcept {
    if (get_service<LWObjectFuncs>(state.global, LWOBJECTFUNCS_GLOBAL) == nullptr) return MESH_NO_SERVICE;
    try {
        LineSink sink(stream);
        if (!sink.ready()) return MESH_NO_MEMORY;
        return write_body(sink, state);
    } catch (...) {
        return MESH_NO_MEMORY;
    }
}

int mesh_write_triangle(std::FILE* stream, const MeshExportState& state, const MeshPolygon& polygon, int a, int b,
                        int c) noexcept {
    LineSink sink(stream);
    if (!sink.ready()) return MESH_NO_MEMORY;
    const int order[3] = {a, b, c};
    const int rc = write_triangle(sink, nullptr, state, polygon, order);
    return rc != 0 ? rc : sink.flush();
}

int mesh_write_file(const MeshExportState& state, const char* path) noexcept {
    if (path == nullptr || path[0] == '\0') return MESH_FILE_NOT_OPENED;
    try {
        const Target target = inspect_target(path);
        if (target == Target::Unusable) return MESH_FILE_NOT_OPENED;
        if (target == Target::Other) {
            // A device or pipe cannot be replaced by renaming; what it takes
            // is gone anyway, so it is written directly.
            std::FILE* stream = std::fopen(path, "w");
            if (stream == nullptr) return MESH_FILE_NOT_OPENED;
            return write_and_close(state, stream);
        }
        std::string temporary;
        std::FILE* stream = open_beside(path, temporary);
        if (stream == nullptr) return MESH_FILE_NOT_OPENED;
        int rc = write_and_close(state, stream);
        if (rc == 0 && std::rename(temporary.c_str(), path) != 0) rc = SMD_WRITE_FAILED;
        if (rc != 0) std::remove(temporary.c_str());
        return rc;
    } catch (...) {
        return MESH_NO_MEMORY;
    }
}
