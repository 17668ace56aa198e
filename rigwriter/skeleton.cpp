// The object's skeleton in node order with its rest pose, and up to three
// bone influences per polygon corner from the bones' weight maps.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "host_glue.h"
#include "ref_state.h"
#include "rotation.h"

namespace {

bool is_bone(const LWItemInfo* items, LWItemID item) noexcept {
    return item != nullptr && items->type(item) == LWI_BONE;
}

bool is_recorded(const RefExportState& state, LWItemID bone) noexcept {
    void* found = nullptr;
    return intmap_get(&state.bone_map, host_id_key(bone), &found) == MAP_OK;
}

// Depth-first from `top`: a bone is recorded before its children, children in
// the host's child order. A child bone that was recorded before has had its
// whole subtree recorded with it, so the walk does not enter it again; that
// also keeps a host whose child links form a loop from hanging the export.
void visit(RefExportState& state, const LWBoneInfo* bone_info, LWItemID top) noexcept {
    const LWItemInfo* items = state.item_info;
    if (is_bone(items, top) && ref_add_bone(top, state, bone_info) == 0) return;
    struct Frame {
        LWItemID item;
        LWItemID child;
    };
    std::vector<Frame> stack;
    try {
        stack.reserve(16);
        stack.push_back(Frame{top, items->firstChild(top)});
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.child == nullptr) {
                stack.pop_back();
                if (!stack.empty()) {
                    Frame& parent = stack.back();
                    parent.child = items->nextChild(parent.item, parent.child);
                }
                continue;
            }
            const LWItemID child = frame.child;
            if (is_bone(items, child) && ref_add_bone(child, state, bone_info) != 0) {
                stack.push_back(Frame{child, items->firstChild(child)});
            } else {
                frame.child = items->nextChild(frame.item, child);
            }
        }
    } catch (...) {
        // Out of memory for the walk: the bones recorded so far stay.
    }
}

// Influence selection for one value w of map k at a point: a slot holding exactly 0 is
// free and takes it; otherwise the first slot (not the smallest) holding less
// than w is replaced; else w is dropped.
void offer_weight(RefPointWeights& point, float w, std::uint32_t map) noexcept {
    for (int s = 0; s < REF_MAX_INFLUENCES; ++s) {
        if (point.weights[s] == 0.0f) {
            point.weights[s] = w;
            point.influences[s] = map;
            return;
        }
    }
    for (int s = 0; s < REF_MAX_INFLUENCES; ++s) {
        if (point.weights[s] < w) {
            point.weights[s] = w;
            point.influences[s] = map;
            return;
        }
    }
}

// Largest weight first, equal weights in slot order; then divided by their
// sum. A sum that overflows leaves the weights as they are rather than
// dividing by it.
void finish_slots(RefPointWeights& point) noexcept {
    for (int i = 1; i < REF_MAX_INFLUENCES; ++i) {
        for (int j = i; j > 0 && point.weights[j - 1] < point.weights[j]; --j) {
            std::swap(point.weights[j - 1], point.weights[j]);
            std::swap(point.influences[j - 1], point.influences[j]);
        }
    }
    if (point.weights[0] == 0.0f) return;
    const float sum = point.weights[2] + point.weights[0] + point.weights[1];
    if (sum == 0.0f || !std::isfinite(sum)) return;
    for (float& weight : point.weights) weight /= sum;
}

// Room for one value of the selected map (a weight map has one float); a
// map that reports more is passed over.
constexpr int VALUE_CAPACITY = 4;

bool select_map(LWMeshInfo* mesh, const RefWeightMap& map) noexcept {
    return mesh->pntVSelect(mesh, map.handle) <= VALUE_CAPACITY;
}

// Value of the selected weight map at a point, if it has one. A negative or
// non-finite value counts as none: it would flip or poison the normalised
// links of the point's other weights. Zero is a value (it can name the
// point's parent bone without a link).
bool read_weight(LWMeshInfo* mesh, LWPntID point, float& out) noexcept {
    float value[VALUE_CAPACITY] = {0.0f, 0.0f, 0.0f, 0.0f};
    if (mesh->pntVGet(mesh, point, value) == 0) return false;
    if (!std::isfinite(value[0]) || value[0] < 0.0f) return false;
    out = value[0];
    return true;
}

}  // namespace

void ref_collect_weight_maps(RefExportState& state) noexcept {
    auto* objects = get_service<LWObjectFuncs>(state.global, LWOBJECTFUNCS_GLOBAL);
    if (objects == nullptr) return;
    for (std::size_t k = 0; k < state.weight_maps.size(); ++k) {
        if (const char* name = objects->vmapName(LWVMAP_WGHT, static_cast<int>(k))) {
            copy_host_text(state.weight_maps[k].name, name);
        }
    }
}

ExportResult ref_collect_bones(RefExportState& state) noexcept {
    auto* bone_info = get_service<LWBoneInfo>(state.global, LWBONEINFO_GLOBAL);
    const LWItemInfo* items = state.item_info;
    state.scan_index = 0;
    if (bone_info == nullptr || items == nullptr || state.object == nullptr) {
        state.bone_count = 0;
        return EXPORT_NO_SERVICE;
    }
    // A chain of parents longer than the object's bones can only be a loop
    // in a broken scene; the climb stops there instead of going round.
    const std::size_t max_climb = state.bones.size() + 1;
    for (LWItemID bone = items->first(LWI_BONE, state.object); bone != nullptr; bone = items->next(bone)) {
        // Climb to the first item above the bone chain (normally the object).
        LWItemID top = bone;
        for (std::size_t step = 0; step < max_climb && is_bone(items, top); ++step) {
            LWItemID parent = items->parent(top);
            if (parent == nullptr) break;
            top = parent;
        }
        visit(state, bone_info, top);
    }
    state.bone_count = state.scan_index;
    return EXPORT_OK;
}

int ref_add_bone(LWItemID bone, RefExportState& state, const LWBoneInfo* bone_info) noexcept {
    if (bone == nullptr || is_recorded(state, bone)) return 0;
    if (state.scan_index < 0 || static_cast<std::size_t>(state.scan_index) >= state.bones.size()) return 0;
    const LWItemInfo* items = state.item_info;
    RefBone& record = state.bones[static_cast<std::size_t>(state.scan_index)];
    record.id = bone;
    record.index = state.scan_index;
    copy_host_text(record.name, items->name(bone));

    LWItemID parent = items->parent(bone);
    if (parent != nullptr && items->type(parent) != LWI_BONE) parent = nullptr;
    record.parent_id = parent;

    double rest_rotation[3] = {0.0, 0.0, 0.0};
    bone_info->restParam(bone, LWIP_ROTATION, rest_rotation);
    bone_info->restParam(bone, parent == nullptr ? LWIP_W_POSITION : LWIP_POSITION, record.position);
    double pivot[3] = {0.0, 0.0, 0.0};
    items->param(bone, LWIP_PIVOT_ROT, 0.0, pivot);

    // The rest rotation applied first, then the pivot rotation.
    Mat4 combined;
    Mat4 rest;
    Mat4 pivot_matrix;
    mat4_identity(combined);
    mat4_identity(rest);
    mat4_identity(pivot_matrix);
    hpb_to_matrix(rest_rotation, rest);
    hpb_to_matrix(pivot, pivot_matrix);
    mat4_multiply(combined, rest, combined);
    mat4_multiply(combined, pivot_matrix, combined);
    matrix_to_hpb(combined, record.rotation);

    const char* weight_map = bone_info->weightMap(bone);
    if (weight_map != nullptr && weight_map[0] != '\0' && copy_host_text(record.weight_map, weight_map)) {
        // Several bones may name one map: the one recorded last keeps it.
        strmap_insert(&state.weight_bone_map, record.weight_map.c_str(), &record,
                      map_string_hash(record.weight_map.c_str()));
    } else {
        // Also a bone whose map name could not be copied: the writer treats
        // an empty name as a null bone, and the panel's count agrees.
        ++state.null_bone_count;
    }

    intmap_insert(&state.bone_map, host_id_key(bone), &record);
    ++state.scan_index;
    return 1;
}

ExportResult ref_assign_weights(RefExportState& state) noexcept {
    LWMeshInfo* mesh = state.mesh;
    if (mesh == nullptr) return EXPORT_OK;

    // The maps a bone names, in scene order, with their handles, by slot
    // number (1 + index).
    std::vector<std::uint32_t> used;
    try {
        used.reserve(state.weight_maps.size());
        for (std::size_t k = 0; k < state.weight_maps.size(); ++k) {
            RefWeightMap& map = state.weight_maps[k];
            map.handle = map.name.empty() ? nullptr : mesh->pntVLookup(mesh, LWVMAP_WGHT, map.name.c_str());
            map.bone = nullptr;
            void* bone = nullptr;
            if (!map.name.empty() &&
                strmap_get(&state.weight_bone_map, map.name.c_str(), &bone, map_string_hash(map.name.c_str())) ==
                    MAP_OK) {
                map.bone = static_cast<const RefBone*>(bone);
            }
            // A map the object lacks has no values to give.
            if (map.bone != nullptr && map.handle != nullptr) used.push_back(static_cast<std::uint32_t>(k + 1));
        }
    } catch (...) {
        return EXPORT_NO_MEMORY;
    }

    // Every corner of a point gets the same values in the same map order, so
    // the selection runs once per point (and per stand-in) and the corners
    // read it through their point. Maps go in the outer loop: one select
    // each.
    const ExportGeometry& geometry = state.geometry;
    try {
        state.point_weights.assign(export_point_total(geometry), RefPointWeights{});
    } catch (...) {
        return EXPORT_NO_MEMORY;
    }
    const std::size_t recorded = geometry.points.size();
    for (const std::uint32_t map : used) {
        if (!select_map(mesh, state.weight_maps[map - 1])) continue;
        for (std::size_t i = 0; i < recorded; ++i) {
            const ExportPoint& point = geometry.points[i];
            float w;
            if (point.polygon_count > 0 && read_weight(mesh, point.id, w)) offer_weight(state.point_weights[i], w, map);
        }
        for (std::size_t i = 0; i < geometry.stray_points.size(); ++i) {
            float w;
            if (read_weight(mesh, geometry.stray_points[i].id, w))
                offer_weight(state.point_weights[recorded + i], w, map);
        }
    }
    for (RefPointWeights& point : state.point_weights) finish_slots(point);
    return EXPORT_OK;
}

const RefPointWeights* ref_point_weights(const RefExportState& state, const ExportPoint* point) noexcept {
    const std::size_t index = export_point_index(state.geometry, point);
    return index < state.point_weights.size() ? &state.point_weights[index] : nullptr;
}

const RefWeightMap* ref_influence(const RefExportState& state, const RefPointWeights& weights, int slot) noexcept {
    if (slot < 0 || slot >= REF_MAX_INFLUENCES) return nullptr;
    const std::uint32_t number = weights.influences[slot];
    return number != 0 && number <= state.weight_maps.size() ? &state.weight_maps[number - 1] : nullptr;
}
