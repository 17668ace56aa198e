// The mesh importer's builder: equal vertices share one Modeler point, found
// through their position text; new points get their UV and weights; each
// triangle becomes one face of its material, with per-polygon UVs where a
// shared point carries another UV.
#include <algorithm>
#include <cstring>
#include <new>

#include <lwmeshes.h>

#include "import_state.h"

namespace {

constexpr std::size_t FIRST_CHUNK_SIZE = 16 * 1024;
constexpr std::size_t LAST_CHUNK_SIZE = 1024 * 1024;

// Exactly equal (float comparison) position and normal: the rule for
// sharing one point. The UV may differ; the corner then carries its own.
bool same_point(const MeshVertex& a, const MeshVertex& b) noexcept {
    return a.position[0] == b.position[0] && a.position[1] == b.position[1] && a.position[2] == b.position[2] &&
           a.normal[0] == b.normal[0] && a.normal[1] == b.normal[1] && a.normal[2] == b.normal[2];
}

bool same_material(const char* a, const char* b) noexcept { return a == b || std::strcmp(a, b) == 0; }

// In a group: the first vertex that matches (its point is shared), and the
// first matching vertex read under the same material (its UV is in that
// material's map); either may be null.
struct GroupMatch {
    const MeshVertex* first;
    const MeshVertex* same_material;
};

GroupMatch find_match(const PositionGroup& group, const MeshVertex& vertex) noexcept {
    GroupMatch match{nullptr, nullptr};
    const PositionBlock* block = &group.first;
    for (int i = 0; i < group.count; ++i) {
        if (i > 0 && i % POSITION_BLOCK_ENTRIES == 0) block = block->next;
        const MeshVertex* entry = block->entries[i % POSITION_BLOCK_ENTRIES];
        if (!same_point(*entry, vertex)) continue;
        if (match.first == nullptr) match.first = entry;
        if (same_material(entry->material, vertex.material)) {
            match.same_material = entry;
            break;
        }
    }
    return match;
}

// Appends the vertex to the group; false (nothing recorded) when the group
// is full or its next block cannot be had.
bool add_entry(MeshImport& state, PositionGroup& group, MeshVertex& vertex) noexcept {
    if (group.count >= POSITION_GROUP_SIZE) return false;
    const int slot = group.count % POSITION_BLOCK_ENTRIES;
    if (slot == 0 && group.count > 0) {
        void* memory = state.arena.take(sizeof(PositionBlock), alignof(PositionBlock));
        if (memory == nullptr) return false;
        PositionBlock* block = new (memory) PositionBlock{};
        group.last->next = block;
        group.last = block;
    }
    group.last->entries[slot] = &vertex;
    ++group.count;
    return true;
}

// A new group holding the vertex, filed under a copy of the key text that
// stays where it is while the map lives. Without memory the vertex is not
// recorded: later equal vertices then get points of their own.
void add_group(MeshImport& state, const char* key, std::size_t length, std::uint32_t hash,
               MeshVertex& vertex) noexcept {
    void* text = state.arena.take(length + 1, 1);
    void* memory = text != nullptr ? state.arena.take(sizeof(PositionGroup), alignof(PositionGroup)) : nullptr;
    if (memory == nullptr) return;
    char* stored_key = static_cast<char*>(text);
    std::memcpy(stored_key, key, length + 1);
    PositionGroup* group = new (memory) PositionGroup{};
    group->count = 1;
    group->first.entries[0] = &vertex;
    group->last = &group->first;
    ++state.groups_used;
    strmap_insert(&state.position_map, stored_key, group, hash);
}

// The point of a vertex that shares no point: its position scaled (the
// product of two floats is exact in double) with the SMD Y and Z axes
// exchanged, its UV, and with import_weights its weights in link order.
void create_point(MeshImport& state, MeshVertex& vertex, MeshVertexLinks& links, const char* material) noexcept {
    MeshEditOp* edit = state.edit_op;
    if (edit == nullptr) return;
    const double s = static_cast<double>(state.scale);
    double xyz[3] = {s * double(vertex.position[0]), s * double(vertex.position[2]), s * double(vertex.position[1])};
    vertex.point = edit->addPoint(edit->state, xyz);
    if (vertex.point == nullptr) return;
    float uv[2] = {vertex.uv[0], vertex.uv[1]};
    edit->pntVMap(edit->state, vertex.point, LWVMAP_TXUV, material, 2, uv);
    if (!state.import_weights || !state.node_names) return;
    for (int k = 0; k < MESH_MAX_LINKS; ++k) {
        const int node = links.bones[k];
        if (node < 0 || node >= SMD_MAX_NODES) continue;
        // A vertex without links belongs wholly to its parent node.
        if (k == 0 && links.weights[0] == MESH_NOT_SET) links.weights[0] = 1.0f;
        if (links.weights[k] == MESH_NOT_SET) continue;
        const char* name = state.node_names[node].get();
        if (name == nullptr) continue;
        float weight = links.weights[k];
        edit->pntVMap(edit->state, vertex.point, LWVMAP_WGHT, name, 1, &weight);
    }
}

// Registers a material name at its first use, up to MESH_MAX_MATERIALS; a
// name beyond those (or one that cannot be copied) gets no surface commands.
void register_material(MeshImport& state, const char* material) noexcept {
    if (!state.material_names) return;
    const std::uint32_t hash = map_string_hash(material);
    void* found = nullptr;
    if (strmap_get(&state.material_map, material, &found, hash) == MAP_OK) return;
    if (state.materials_used >= MESH_MAX_MATERIALS) return;
    std::unique_ptr<char[]>& entry = state.material_names[std::size_t(state.materials_used)];
    const std::size_t length = std::strlen(material);
    if (!mesh_allocation_allowed(MESH_ALLOC_NAME, length + 1)) return;
    entry.reset(new (std::nothrow) char[length + 1]);
    if (!entry) return;
    std::memcpy(entry.get(), material, length + 1);
    strmap_insert(&state.material_map, entry.get(), entry.get(), hash);
    ++state.materials_used;
}

}  // namespace

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

std::size_t mesh_position_key(const MeshVertex& vertex, char (&out)[POSITION_KEY_SIZE]) noexcept {
    // "%06.6f" always writes at least eight characters, so it is "%6.6f".
    char* end = out;
    for (float coordinate : vertex.position) end = smd_append_real(end, static_cast<double>(coordinate));
    *end = '\0';
    return std::size_t(end - out);
}

const char* mesh_intern_material(MeshImport& state, const char* text) noexcept {
    const std::uint32_t hash = map_string_hash(text);
    void* found = nullptr;
    if (strmap_get(&state.material_texts, text, &found, hash) == MAP_OK) return static_cast<const char*>(found);
    const std::size_t length = std::strlen(text);
    char* copy = static_cast<char*>(state.arena.take(length + 1, 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text, length + 1);
    strmap_insert(&state.material_texts, copy, copy, hash);
    return copy;
}

void share_or_create_point(MeshImport& state, MeshVertex& vertex, MeshVertexLinks& links,
                           const char* material) noexcept {
    vertex.material = material;
    char key[POSITION_KEY_SIZE];
    const std::size_t length = mesh_position_key(vertex, key);
    const std::uint32_t hash = map_string_hash(key);
    void* found = nullptr;
    if (strmap_get(&state.position_map, key, &found, hash) != MAP_OK) {
        add_group(state, key, length, hash, vertex);
        create_point(state, vertex, links, material);
        return;
    }
    PositionGroup& group = *static_cast<PositionGroup*>(found);
    const GroupMatch match = find_match(group, vertex);
    if (match.first == nullptr) {
        // A full group records no more: later equal vertices will not find
        // this one and get points of their own.
        add_entry(state, group, vertex);
        create_point(state, vertex, links, material);
        return;
    }
    vertex.point = match.first->point;
    if (match.same_material != nullptr) {
        const MeshVertex& m = *match.same_material;
        if (vertex.uv[0] != m.uv[0] || vertex.uv[1] != m.uv[1]) {
            vertex.uv_corner[0] = vertex.uv[0];
            vertex.uv_corner[1] = vertex.uv[1];
        }
        return;
    }
    // The point's first use under this material: its UV goes into this
    // material's map, where the polygons of this material look for it, and
    // this vertex is the reference for the material's later vertices. When
    // the group has no room for that, the corner carries the UV instead, so
    // a later vertex never overwrites a value polygons already rely on.
    if (!add_entry(state, group, vertex)) {
        vertex.uv_corner[0] = vertex.uv[0];
        vertex.uv_corner[1] = vertex.uv[1];
        return;
    }
    MeshEditOp* edit = state.edit_op;
    if (edit == nullptr || vertex.point == nullptr) return;
    float uv[2] = {vertex.uv[0], vertex.uv[1]};
    edit->pntVMap(edit->state, vertex.point, LWVMAP_TXUV, material, 2, uv);
}

void create_triangle(MeshImport& state, MeshVertex* const corners[3], const char* material) noexcept {
    register_material(state, material);
    MeshEditOp* edit = state.edit_op;
    if (edit == nullptr) return;
    // The file's corner order is the reverse of Modeler's.
    MeshVertex* const order[3] = {corners[2], corners[1], corners[0]};
    const LWPntID points[3] = {order[0]->point, order[1]->point, order[2]->point};
    const LWPolID polygon = edit->addFace(edit->state, material, 3, points);
    if (polygon == nullptr) return;
    for (MeshVertex* corner : order) {
        if (corner->uv_corner[0] == MESH_NOT_SET || corner->uv_corner[1] == MESH_NOT_SET) continue;
        float uv[2] = {corner->uv_corner[0], corner->uv_corner[1]};
        edit->pntVPMap(edit->state, corner->point, polygon, LWVMAP_TXUV, material, 2, uv);
    }
}
