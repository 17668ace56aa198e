// The mesh importer's builder: equal vertices share one Modeler point, found
// through the key of their position text; new points get their UV and
// weights; each triangle becomes one face of its material, with per-polygon
// UVs where a shared point carries another UV.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

#include <lwmeshes.h>

#include "import_state.h"

namespace {

constexpr std::size_t FIRST_CHUNK_SIZE = 16 * 1024;
constexpr std::size_t LAST_CHUNK_SIZE = 1024 * 1024;

// The weights a vertex line gives its point, in link order, as they are
// written: nodes outside 0..254 or without a name are skipped, so are links
// without a weight; a line without links belongs wholly to its parent node.
// Empty when weights are not imported.
int effective_links(const MeshImport& state, const MeshVertexLine& line, MeshLink (&out)[MESH_MAX_LINKS]) noexcept {
    if (!state.import_weights || !state.node_names) return 0;
    int count = 0;
    for (int k = 0; k < line.bones_scanned; ++k) {
        const int node = line.bones[k];
        if (node < 0 || node >= SMD_MAX_NODES || state.node_names[std::size_t(node)] == nullptr) continue;
        float weight;
        if (k < line.weights_scanned) weight = line.weights[k];
        else if (k == 0) weight = 1.0f;
        else continue;
        out[count++] = MeshLink{std::uint8_t(node), weight};
    }
    return count;
}

bool same_weights(const MeshVertex& recorded, const MeshLink* links, int count) noexcept {
    if (recorded.link_count != count) return false;
    for (int k = 0; k < count; ++k) {
        // Bit for bit: -0 and 0, or two NaNs, are written differently or alike exactly so.
        if (recorded.links[k].node != links[k].node ||
            std::bit_cast<std::uint32_t>(recorded.links[k].weight) != std::bit_cast<std::uint32_t>(links[k].weight))
            return false;
    }
    return true;
}

// Exactly equal (float comparison) position and normal, and the same
// weights: the rule for sharing one point. The UV may differ; the corner
// then carries its own.
bool same_point(const MeshVertex& recorded, const MeshVertexLine& line, const MeshLink* links, int count) noexcept {
    return recorded.position[0] == line.position[0] && recorded.position[1] == line.position[1] &&
           recorded.position[2] == line.position[2] && recorded.normal[0] == line.normal[0] &&
           recorded.normal[1] == line.normal[1] && recorded.normal[2] == line.normal[2] &&
           same_weights(recorded, links, count);
}

std::uint32_t hash_key(const MeshPositionKey& key) noexcept {
    std::uint64_t h = key.coordinate[0] * 0x9E3779B97F4A7C15ull;
    h = (h ^ (h >> 32) ^ key.coordinate[1]) * 0xC2B2AE3D27D4EB4Full;
    h = (h ^ (h >> 29) ^ key.coordinate[2]) * 0x165667B19E3779F9ull;
    return std::uint32_t(h >> 32);
}

// Where the search for a hash starts: the hash scaled to the table's size.
std::size_t first_slot(const MeshImport& state, std::uint32_t hash) noexcept {
    return std::size_t((std::uint64_t(hash) * state.position_slots) >> 32);
}

// What a group says about a new vertex: the first recorded vertex it may
// share a point with, the first such vertex read under the same material
// (its UV is in that material's map), the group's last record and size.
struct GroupMatch {
    const MeshVertex* first = nullptr;
    const MeshVertex* same_material = nullptr;
    std::uint32_t last = NO_RECORD;
    int count = 0;
};

GroupMatch find_match(MeshImport& state, std::uint32_t head, const MeshVertexLine& line, std::uint32_t material,
                      const MeshLink* links, int link_count) noexcept {
    GroupMatch match;
    for (std::uint32_t number = head; number != NO_RECORD;) {
        const MeshVertex& entry = state.records[number];
        ++match.count;
        match.last = number;
        if (same_point(entry, line, links, link_count)) {
            if (match.first == nullptr) match.first = &entry;
            if (entry.material == material) {
                match.same_material = &entry;
                break;
            }
        }
        number = entry.next_in_group;
    }
    return match;
}

// A record of the vertex, with a copy of its links; null (nothing recorded)
// when memory runs out.
MeshVertex* record_vertex(MeshImport& state, const MeshVertexLine& line, std::uint32_t material,
                          const MeshLink* links, int link_count, std::uint32_t& out_number) noexcept {
    MeshLink* stored = nullptr;
    if (link_count > 0) {
        stored = static_cast<MeshLink*>(state.arena.take(sizeof(MeshLink) * std::size_t(link_count), alignof(MeshLink)));
        if (stored == nullptr) return nullptr;
        std::copy(links, links + link_count, stored);
    }
    MeshVertex* record = state.records.add(out_number);
    if (record == nullptr) return nullptr;
    std::copy(line.position, line.position + 3, record->position);
    std::copy(line.normal, line.normal + 3, record->normal);
    std::copy(line.uv, line.uv + 2, record->uv);
    record->links = stored;
    record->link_count = std::uint8_t(link_count);
    record->material = material;
    record->next_in_group = NO_RECORD;
    return record;
}

// The point of a vertex that shares no point: its position scaled (the
// product of two floats is exact in double) with the SMD Y and Z axes
// exchanged, its UV, and its weights in link order.
LWPntID create_point(MeshImport& state, const MeshVertexLine& line, const char* material, const MeshLink* links,
                     int link_count) noexcept {
    MeshEditOp* edit = state.edit_op;
    if (edit == nullptr) return nullptr;
    const double s = static_cast<double>(state.scale);
    double xyz[3] = {s * double(line.position[0]), s * double(line.position[2]), s * double(line.position[1])};
    const LWPntID point = edit->addPoint(edit->state, xyz);
    if (point == nullptr) return nullptr;
    float uv[2] = {line.uv[0], line.uv[1]};
    edit->pntVMap(edit->state, point, LWVMAP_TXUV, material, 2, uv);
    for (int k = 0; k < link_count; ++k) {
        float weight = links[k].weight;
        edit->pntVMap(edit->state, point, LWVMAP_WGHT, state.node_names[links[k].node].get(), 1, &weight);
    }
    return point;
}

// Registers a material name at its first use, up to MESH_MAX_MATERIALS; a
// name beyond those (or one that cannot be copied) gets no surface commands.
// False when the name could not be copied (a later triangle tries again).
bool register_material(MeshImport& state, const char* material) noexcept {
    if (!state.material_names) return false;
    const std::uint32_t hash = map_string_hash(material);
    void* found = nullptr;
    if (strmap_get(&state.material_map, material, &found, hash) == MAP_OK) return true;
    if (state.materials_used >= MESH_MAX_MATERIALS) return true;
    std::unique_ptr<char[]>& entry = state.material_names[std::size_t(state.materials_used)];
    const std::size_t length = std::strlen(material);
    if (!mesh_allocation_allowed(MESH_ALLOC_NAME, length + 1)) return false;
    entry.reset(new (std::nothrow) char[length + 1]);
    if (!entry) return false;
    std::memcpy(entry.get(), material, length + 1);
    if (strmap_insert(&state.material_map, entry.get(), entry.get(), hash) != MAP_OK) {
        entry.reset();
        return false;
    }
    ++state.materials_used;
    return true;
}

void carry_own_uv(const MeshVertexLine& line, MeshCorner& corner) noexcept {
    corner.uv[0] = line.uv[0];
    corner.uv[1] = line.uv[1];
    corner.has_corner_uv = true;
}

}  // namespace

bool VertexRecords::prepare() noexcept {
    if (!chunks_.empty()) return true;
    std::uint32_t ignored;
    if (add(ignored) == nullptr) return false;
    count_ = 0;
    return true;
}

MeshVertex* VertexRecords::add(std::uint32_t& out_number) noexcept {
    if (count_ == NO_RECORD) return nullptr;  // numbers are 32-bit
    const std::size_t chunk = count_ >> RECORD_CHUNK_BITS;
    if (chunk == chunks_.size()) {
        constexpr std::size_t chunk_records = std::size_t(1) << RECORD_CHUNK_BITS;
        if (!mesh_allocation_allowed(MESH_ALLOC_RECORDS, chunk_records * sizeof(MeshVertex))) return nullptr;
        MeshBigArray<MeshVertex> fresh = mesh_big_array<MeshVertex>(chunk_records);
        if (!fresh) return nullptr;
        try {
            chunks_.push_back(std::move(fresh));
        } catch (...) {
            return nullptr;
        }
    }
    out_number = count_++;
    MeshVertex& record = (*this)[out_number];
    record = MeshVertex{};
    return &record;
}

void VertexRecords::clear() noexcept {
    chunks_.clear();
    chunks_.shrink_to_fit();
    count_ = 0;
}

bool ImportArena::prepare() noexcept { return !chunks_.empty() || take(0, 1) != nullptr; }

void* ImportArena::take(std::size_t bytes, std::size_t alignment) noexcept {
    std::size_t at = (used_ + alignment - 1) / alignment * alignment;
    if (chunks_.empty() || at > chunk_size_ || bytes > chunk_size_ - at) {
        std::size_t size = chunks_.empty() ? FIRST_CHUNK_SIZE : std::min(chunk_size_ * 2, LAST_CHUNK_SIZE);
        size = std::max(size, bytes);
        if (!mesh_allocation_allowed(MESH_ALLOC_ARENA, size)) return nullptr;
        std::unique_ptr<unsigned char[]> chunk(new (std::nothrow) unsigned char[size]());
        if (!chunk) return nullptr;
        try {
            chunks_.push_back(std::move(chunk));
        } catch (...) {
            return nullptr;
        }
        chunk_size_ = size;
        at = 0;
    }
    used_ = at + bytes;
    return chunks_.back().get() + at;
}

void ImportArena::clear() noexcept {
    chunks_.clear();
    chunks_.shrink_to_fit();
    chunk_size_ = 0;
    used_ = 0;
}

MeshPositionKey mesh_position_key(const float position[3]) noexcept {
    MeshPositionKey key;
    for (int k = 0; k < 3; ++k) {
        const double value = static_cast<double>(position[k]);
        double printed;
        if (std::isnan(value)) {
            printed = std::copysign(std::numeric_limits<double>::quiet_NaN(), value);  // "nan" or "-nan"
        } else {
            // A float has 24 significant bits and 10^6 = 15625 * 2^6 needs
            // 14, so the product is exact; rounding it to an integer in the
            // default mode (to nearest, ties to even) gives the printed digits.
            printed = std::copysign(std::nearbyint(std::fabs(value) * 1e6), value);
        }
        key.coordinate[k] = std::bit_cast<std::uint64_t>(printed);
    }
    return key;
}

bool mesh_intern_material(MeshImport& state, const char* text, std::uint32_t& out_number) noexcept {
    const std::uint32_t hash = map_string_hash(text);
    void* found = nullptr;
    if (strmap_get(&state.material_texts, text, &found, hash) == MAP_OK) {
        out_number = std::uint32_t(reinterpret_cast<std::uintptr_t>(found) - 1);
        return true;
    }
    const std::size_t length = std::strlen(text);
    char* copy = static_cast<char*>(state.arena.take(length + 1, 1));
    if (copy == nullptr) return false;
    std::memcpy(copy, text, length + 1);
    try {
        state.material_list.push_back(copy);
    } catch (...) {
        return false;
    }
    out_number = std::uint32_t(state.material_list.size() - 1);
    // The map's value is the number plus one: a null value reads as absent.
    if (strmap_insert(&state.material_texts, copy, reinterpret_cast<void*>(std::uintptr_t(out_number) + 1), hash) !=
        MAP_OK) {
        state.material_list.pop_back();
        return false;
    }
    return true;
}

void mesh_locate_position(const MeshImport& state, MeshVertexLine& line) noexcept {
    line.position_hash = hash_key(mesh_position_key(line.position));
    // The index is far larger than the caches and visited at random: the
    // slot is fetched while the next line is scanned.
    if (state.position_slots > 0) __builtin_prefetch(&state.position_index[first_slot(state, line.position_hash)]);
}

void share_or_create_point(MeshImport& state, const MeshVertexLine& line, MeshCorner& out_corner) noexcept {
    out_corner = MeshCorner{};
    const std::uint32_t material = line.material;
    const char* material_text = state.material_list[material];
    MeshLink links[MESH_MAX_LINKS];
    const int link_count = effective_links(state, line, links);
    std::uint32_t number = NO_RECORD;

    const MeshPositionKey key = mesh_position_key(line.position);
    const std::uint32_t hash = line.position_hash;
    PositionSlot* slot = nullptr;
    if (state.position_slots > 0) {
        std::size_t at = first_slot(state, hash);
        for (;;) {
            slot = &state.position_index[at];
            if (slot->head_plus_one == 0) break;
            if (slot->hash == hash && mesh_position_key(state.records[slot->head_plus_one - 1].position) == key) break;
            if (++at == state.position_slots) at = 0;
        }
    }
    if (slot == nullptr || slot->head_plus_one == 0) {
        // A new position text: a new group, unless there is no room to record
        // the vertex (later equal vertices then get points of their own).
        MeshVertex* record = slot != nullptr ? record_vertex(state, line, material, links, link_count, number) : nullptr;
        const LWPntID point = create_point(state, line, material_text, links, link_count);
        out_corner.point = point;
        if (record != nullptr) {
            record->point = point;
            *slot = PositionSlot{hash, number + 1};
            ++state.groups_used;
        }
        return;
    }

    const GroupMatch match = find_match(state, slot->head_plus_one - 1, line, material, links, link_count);
    // A full group records no more: later equal vertices will not find
    // this one and get points of their own.
    MeshVertex* record = match.same_material == nullptr && match.count < POSITION_GROUP_SIZE
                             ? record_vertex(state, line, material, links, link_count, number)
                             : nullptr;
    if (record != nullptr) state.records[match.last].next_in_group = number;

    if (match.first == nullptr) {
        out_corner.point = create_point(state, line, material_text, links, link_count);
        if (record != nullptr) record->point = out_corner.point;
        return;
    }
    out_corner.point = match.first->point;
    if (record != nullptr) record->point = out_corner.point;
    if (match.same_material != nullptr) {
        const MeshVertex& m = *match.same_material;
        if (line.uv[0] != m.uv[0] || line.uv[1] != m.uv[1]) carry_own_uv(line, out_corner);
        return;
    }
    // The point's first use under this material: its UV goes into this
    // material's map, where the polygons of this material look for it, and
    // this vertex is the reference for the material's later vertices. When
    // the group has no room for that, the corner carries the UV instead, so
    // a later vertex never overwrites a value polygons already rely on.
    if (record == nullptr) {
        carry_own_uv(line, out_corner);
        return;
    }
    MeshEditOp* edit = state.edit_op;
    if (edit == nullptr || out_corner.point == nullptr) return;
    float uv[2] = {line.uv[0], line.uv[1]};
    edit->pntVMap(edit->state, out_corner.point, LWVMAP_TXUV, material_text, 2, uv);
}

void create_triangle(MeshImport& state, const MeshCorner corners[3], std::uint32_t material) noexcept {
    const char* material_text = state.material_list[material];
    // Triangles of one material mostly come one after the other.
    if (material != state.last_registered && register_material(state, material_text))
        state.last_registered = material;
    MeshEditOp* edit = state.edit_op;
    if (edit == nullptr) return;
    // The file's corner order is the reverse of Modeler's.
    const MeshCorner* const order[3] = {&corners[2], &corners[1], &corners[0]};
    const LWPntID points[3] = {order[0]->point, order[1]->point, order[2]->point};
    const LWPolID polygon = edit->addFace(edit->state, material_text, 3, points);
    if (polygon == nullptr) return;
    for (const MeshCorner* corner : order) {
        if (!corner->has_corner_uv) continue;
        float uv[2] = {corner->uv[0], corner->uv[1]};
        edit->pntVPMap(edit->state, corner->point, polygon, LWVMAP_TXUV, material_text, 2, uv);
    }
}
