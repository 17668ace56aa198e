// The reference SMD writer. Lines are composed whole by smd_format into a
// block that goes to the stream in one write when full (a million-triangle
// file is some 300 MB, so the number of writes matters), and the first write
// the stream refuses ends the file.
#include "writer.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "export_names.h"
#include "host_glue.h"
#include "rotation.h"
#include "smd_format.h"

namespace {

constexpr std::size_t BLOCK_SIZE = 256 * 1024;
static_assert(BLOCK_SIZE > 2 * SMD_LINE_CAPACITY);

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
        if (length > BLOCK_SIZE) {
            if (flush() == 0) rc_ = smd_write_text(stream_, text, length);
            return rc_;
        }
        char* out = reserve(length);
        if (out == nullptr) return rc_;
        std::memcpy(out, text, length);
        commit(length);
        return 0;
    }
    int text(std::string_view text) noexcept { return this->text(text.data(), text.size()); }

    int flush() noexcept {
        if (rc_ == 0 && used_ > 0) rc_ = smd_write_text(stream_, block_.get(), used_);
        used_ = 0;
        return rc_;
    }

    // Node and material lines carry names of any length: composed here when
    // they fit a line buffer, else written piecewise by smd_format.
    int node(const SmdNode& node) noexcept {
        char* out = reserve(SMD_LINE_CAPACITY);
        if (out == nullptr) return rc_;
        const int length = smd_compose_node_line(out, SMD_LINE_CAPACITY, node);
        if (static_cast<std::size_t>(length) <= SMD_LINE_CAPACITY) {
            commit(static_cast<std::size_t>(length));
            return 0;
        }
        if (flush() == 0) rc_ = smd_write_node_line(stream_, node);
        return rc_;
    }

    int material(const std::string& name) noexcept {
        if (name.size() + sizeof SMD_MATERIAL_FORMAT > SMD_LINE_CAPACITY) {
            if (flush() == 0) rc_ = smd_write_material_line(stream_, name.c_str());
            return rc_;
        }
        char* out = reserve(SMD_LINE_CAPACITY);
        if (out == nullptr) return rc_;
        commit(static_cast<std::size_t>(smd_append<SMD_MATERIAL_FORMAT>(out, std::string_view(name)) - out));
        return 0;
    }

private:
    std::unique_ptr<char[]> block_{new (std::nothrow) char[BLOCK_SIZE]};
    std::FILE* stream_;
    std::size_t used_ = 0;
    int rc_ = 0;
};

std::size_t bone_limit(const RefExportState& state) noexcept {
    const std::size_t count = state.bone_count > 0 ? static_cast<std::size_t>(state.bone_count) : 0;
    return count < state.bones.size() ? count : state.bones.size();
}

int parent_index(const RefExportState& state, const RefBone& bone) noexcept {
    void* found = nullptr;
    if (bone.parent_id == nullptr || intmap_get(&state.bone_map, ref_id_key(bone.parent_id), &found) != MAP_OK)
        return -1;
    return static_cast<const RefBone*>(found)->index;
}

void fill_vertex(const RefExportState& state, const RefCorner& corner, SmdVertex& vertex) noexcept {
    const RefPoint& point = *corner.point;
    int node[REF_MAX_INFLUENCES];
    int links = 0;
    for (int s = 0; s < REF_MAX_INFLUENCES; ++s) {
        node[s] = -1;
        const RefWeightMap* map = point.influences[s];
        if (map == nullptr || map->bone == nullptr) continue;
        node[s] = map->bone->index;
        if (point.weights[s] > 0.0f) ++links;
    }
    vertex.parent = node[0];  // -1 is written as "0"
    const double position[3] = {point.position[0], point.position[1], point.position[2]};
    smd_position_from_host(position, static_cast<double>(state.scale), vertex.position);
    const double normal[3] = {corner.normal[0], corner.normal[1], corner.normal[2]};
    smd_direction_from_host(normal, vertex.normal);
    vertex.u = corner.u;
    vertex.v = corner.v;
    // Weights are sorted largest first, so the linked slots lead.
    vertex.link_count = links;
    for (int i = 0; i < links; ++i) vertex.links[i] = SmdLink{node[i], static_cast<double>(point.weights[i])};
}

// A vertex line depends only on the corner's point (position, weights) and
// its normal and texture coordinates. Neighbouring polygons share points, and
// with smooth shading and per-point UVs their corners agree in all of it, so
// the recently written lines are kept by point and reused as they are.
class VertexLineCache {
public:
    static constexpr std::size_t SLOTS = 4096;  // a power of two
    static constexpr std::size_t TEXT = 176;    // longer lines are not kept

    bool ready() const noexcept { return entries_ != nullptr; }

    // The cached line of this corner, or null.
    const char* find(const RefCorner& corner, std::size_t& out_length) const noexcept {
        const Entry& entry = entries_[slot(corner.point)];
        if (entry.point != corner.point || std::memcmp(entry.key, key_of(corner).bits, sizeof entry.key) != 0)
            return nullptr;
        out_length = entry.length;
        return entry.text;
    }

    void keep(const RefCorner& corner, const char* text, std::size_t length) noexcept {
        if (length > TEXT) return;
        Entry& entry = entries_[slot(corner.point)];
        entry.point = corner.point;
        std::memcpy(entry.key, key_of(corner).bits, sizeof entry.key);
        entry.length = static_cast<std::uint32_t>(length);
        std::memcpy(entry.text, text, length);
    }

private:
    struct Key {
        std::uint32_t bits[5];
    };
    struct Entry {
        const RefPoint* point = nullptr;
        std::uint32_t key[5] = {};
        std::uint32_t length = 0;
        char text[TEXT];
    };

    // Bit patterns, so that -0 and +0 (written differently) stay apart.
    static Key key_of(const RefCorner& corner) noexcept {
        Key key;
        std::memcpy(&key.bits[0], corner.normal, sizeof corner.normal);
        std::memcpy(&key.bits[3], &corner.u, sizeof corner.u);
        std::memcpy(&key.bits[4], &corner.v, sizeof corner.v);
        return key;
    }

    // Points are consecutive records, so nearby points take nearby slots.
    static std::size_t slot(const RefPoint* point) noexcept {
        return (reinterpret_cast<std::uintptr_t>(point) / sizeof(RefPoint)) & (SLOTS - 1);
    }

    std::unique_ptr<Entry[]> entries_{new (std::nothrow) Entry[SLOTS]};
};

// `cache` may be null (no reuse).
int write_vertex(LineSink& sink, VertexLineCache* cache, const RefExportState& state,
                 const RefCorner& corner) noexcept {
    std::size_t length = 0;
    if (cache != nullptr) {
        if (const char* cached = cache->find(corner, length)) return sink.text(cached, length);
    }
    char* out = sink.reserve(SMD_LINE_CAPACITY);
    if (out == nullptr) return sink.result();
    SmdVertex vertex;
    fill_vertex(state, corner, vertex);
    length = static_cast<std::size_t>(smd_compose_vertex_line(out, vertex));
    if (cache != nullptr) cache->keep(corner, out, length);
    sink.commit(length);
    return 0;
}

int write_triangle(LineSink& sink, VertexLineCache* cache, const RefExportState& state, const RefPolygon& polygon,
                   const int (&order)[3]) noexcept {
    for (int corner : order) {
        if (polygon.corners == nullptr || corner < 0 || corner >= polygon.size ||
            polygon.corners[corner].point == nullptr)
            return SMD_WRITE_FAILED;
        const int rc = write_vertex(sink, cache, state, polygon.corners[corner]);
        if (rc != 0) return rc;
    }
    return 0;
}

// The material line of one polygon, blanks turned into underscores. Runs of
// polygons usually share a name, so the previous one is reused.
struct MaterialName {
    const char* source = nullptr;
    std::string text;

    const std::string& of(const char* name) {
        if (name != source || source == nullptr) {
            text.assign(name);
            underscore_blanks(text);
            source = name;
        }
        return text;
    }
};

int write_nodes(LineSink& sink, const RefExportState& state) noexcept {
    const std::size_t count = bone_limit(state);
    for (std::size_t i = 0; i < count; ++i) {
        const RefBone& bone = state.bones[i];
        const bool null_bone = bone.weight_map.empty();
        if (null_bone && state.include_null_bones == 0) continue;
        const SmdNode node{bone.index, bone.name.c_str(), parent_index(state, bone), null_bone};
        if (sink.node(node) != 0) break;
    }
    return sink.result();
}

int write_skeleton(LineSink& sink, const RefExportState& state) noexcept {
    const std::size_t count = bone_limit(state);
    for (std::size_t i = 0; i < count; ++i) {
        const RefBone& bone = state.bones[i];
        SmdBoneFrame frame{};
        frame.node = bone.index;
        smd_position_from_host(bone.position, static_cast<double>(state.scale), frame.position);
        hpb_to_smd_rotation(bone.rotation, frame.rotation);
        char* out = sink.reserve(SMD_LINE_CAPACITY);
        if (out == nullptr) break;
        sink.commit(static_cast<std::size_t>(smd_compose_bone_line(out, frame)));
    }
    return sink.result();
}

int write_triangles(LineSink& sink, const RefExportState& state) {
    VertexLineCache cache;
    if (!cache.ready()) return REF_NO_MEMORY;
    MaterialName material;
    static constexpr int FIRST[3] = {2, 1, 0};
    static constexpr int SECOND[3] = {0, 3, 2};
    for (const RefPolygon& polygon : state.polygons) {
        if (polygon.valid == 0 || polygon.corners == nullptr) continue;
        if (polygon.has_uv == 0 && state.verify_uv == 1) continue;
        const std::string& name = material.of(ref_material_name(state, polygon));
        int rc = sink.material(name);
        if (rc == 0) rc = write_triangle(sink, &cache, state, polygon, FIRST);
        if (rc == 0 && polygon.size == 4) {
            rc = sink.material(name);
            if (rc == 0) rc = write_triangle(sink, &cache, state, polygon, SECOND);
        }
        if (rc != 0) return rc;
    }
    return 0;
}

int write_body(LineSink& sink, const RefExportState& state) {
    const bool has_bones = bone_limit(state) > 0;
    sink.text(SMD_HEADER);
    sink.text(SMD_NODES_OPENER);
    if (has_bones) {
        write_nodes(sink, state);
    } else {
        sink.text(SMD_ROOT_NODE_LINE);
    }
    sink.text(SMD_SECTION_END);
    sink.text(SMD_SKELETON_OPENER);
    sink.text(SMD_TIME_ZERO);
    if (has_bones) {
        write_skeleton(sink, state);
    } else {
        sink.text(SMD_ZERO_BONE_LINE);
    }
    sink.text(SMD_SECTION_END);
    sink.text(SMD_TRIANGLES_OPENER);
    if (sink.result() != 0) return sink.result();
    const int rc = write_triangles(sink, state);
    if (rc != 0) return rc;
    sink.text(SMD_SECTION_END);
    return sink.flush();
}

}  // namespace

int ref_write_smd(const RefExportState& state, std::FILE* stream) noexcept {
    if (get_service<LWObjectFuncs>(state.global, LWOBJECTFUNCS_GLOBAL) == nullptr) return REF_NO_SERVICE;
    try {
        LineSink sink(stream);
        if (!sink.ready()) return REF_NO_MEMORY;
        return write_body(sink, state);
    } catch (...) {
        return REF_NO_MEMORY;
    }
}

int ref_write_nodes(std::FILE* stream, const RefExportState& state) noexcept {
    LineSink sink(stream);
    if (!sink.ready()) return REF_NO_MEMORY;
    write_nodes(sink, state);
    return sink.flush();
}

int ref_write_skeleton(std::FILE* stream, const RefExportState& state) noexcept {
    LineSink sink(stream);
    if (!sink.ready()) return REF_NO_MEMORY;
    write_skeleton(sink, state);
    return sink.flush();
}

int ref_write_triangle(std::FILE* stream, const RefExportState& state, const RefPolygon& polygon, int a, int b,
                       int c) noexcept {
    LineSink sink(stream);
    if (!sink.ready()) return REF_NO_MEMORY;
    const int order[3] = {a, b, c};
    const int rc = write_triangle(sink, nullptr, state, polygon, order);
    return rc != 0 ? rc : sink.flush();
}
