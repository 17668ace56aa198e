// Skeleton pose sampling: the object's bones as parent-first records, their
// per-frame sample arrays, and the rule that turns Layout's item parameters
// into one position and one heading/pitch/bank triple per bone and frame.
#include <climits>
#include <cstring>
#include <new>

#include "anim_state.h"

namespace {

// Longer parent chains than this can only be loops in a broken scene.
constexpr int MAX_CHAIN_LENGTH = 1 << 16;

void hpb_matrix4(const double hpb[3], Mat4& out) noexcept {
    mat4_identity(out);
    hpb_to_matrix(hpb, out);
}

bool is_zero_rotation(const double hpb[3]) noexcept { return hpb[0] == 0.0 && hpb[1] == 0.0 && hpb[2] == 0.0; }

// matrix = matrix x translation(-pivot) x HPB(rotation) x HPB(pivot rotation):
// the item's rotation followed by its pivot rotation, about its pivot.
//
// Two of the three products are left out where they cannot change a bit of
// the upper-left 3x3, the only part ever turned into angles or inverted for
// them (this halved the time of the 100-bone benchmark export):
// - the translation: rows 0 to 2 of every matrix here end in 0, so the pivot
//   only ever meets them multiplied by an exact zero, and a product's sums
//   start from +0, which absorbs a zero of either sign;
// - a pivot rotation of exactly (0, 0, 0): its HPB matrix is the identity
//   with +0 off the diagonal, and a product with it only turns -0 entries
//   into +0, which mat4_multiply and hpb_to_matrix results never hold.
// The pivot is still queried, so the host sees the same calls.
void append_local_rotation(Mat4& matrix, const double pivot[3], const double rotation[3],
                           const double pivot_rotation[3]) noexcept {
    (void)pivot;
    Mat4 step;
    hpb_matrix4(rotation, step);
    mat4_multiply(matrix, step, matrix);
    if (is_zero_rotation(pivot_rotation)) return;
    hpb_matrix4(pivot_rotation, step);
    mat4_multiply(matrix, step, matrix);
}

bool is_bone(const LWItemInfo* info, LWItemID item) noexcept { return item && info->type(item) == LWI_BONE; }

// A heap copy of a host text; null for a null text or when memory runs out.
std::unique_ptr<char[]> copy_text(const char* text) noexcept {
    if (!text) return nullptr;
    const std::size_t length = std::strlen(text);
    std::unique_ptr<char[]> copy(new (std::nothrow) char[length + 1]);
    if (copy) std::memcpy(copy.get(), text, length + 1);
    return copy;
}

// Filling one record of `bones`. The walk may reach a bone twice (and a host
// may report more bones than it counted): nothing is stored past boneCount.
void add_bone(AnimExportState& state, const LWBoneInfo* bone_info, LWItemID bone) noexcept {
    void* found = nullptr;
    if (intmap_get(&state.boneMap, host_id_key(bone), &found) == MAP_OK) return;
    if (state.bonesAdded >= state.boneCount) return;
    const LWItemInfo* info = state.itemInfo;
    AnimBone& record = state.bones[state.bonesAdded];
    record.id = bone;
    record.nodeIndex = state.bonesAdded;
    record.name = copy_text(info->name(bone));
    LWItemID parent = info->parent(bone);
    record.parentBone = is_bone(info, parent) ? parent : nullptr;
    if (!bone_info->weightMap(bone)) {
        record.isNull = 1;
        ++state.nullBoneCount;
    }
    intmap_insert(&state.boneMap, host_id_key(bone), &record);
    ++state.bonesAdded;
}

LWItemID first_bone_child(const LWItemInfo* info, LWItemID parent) noexcept {
    LWItemID child = info->firstChild(parent);
    while (child && !is_bone(info, child)) child = info->nextChild(parent, child);
    return child;
}

LWItemID next_bone_sibling(const LWItemInfo* info, LWItemID parent, LWItemID child) noexcept {
    child = info->nextChild(parent, child);
    while (child && !is_bone(info, child)) child = info->nextChild(parent, child);
    return child;
}

// Depth-first pre-order over the bone tree under `top`, in the host's child
// order, without recursion (a chain of bones can be deep). A consistent tree
// of n bones takes at most 3n moves; the bound only stops a host whose child
// lists and parents disagree.
void visit_tree(AnimExportState& state, const LWBoneInfo* bone_info, LWItemID top) noexcept {
    const LWItemInfo* info = state.itemInfo;
    if (!is_bone(info, top)) return;
    add_bone(state, bone_info, top);
    const long long max_moves = 3LL * state.boneCount + 3;
    LWItemID node = top;
    for (long long moves = 0; moves < max_moves; ++moves) {
        if (LWItemID child = first_bone_child(info, node)) {
            node = child;
            add_bone(state, bone_info, node);
            continue;
        }
        LWItemID sibling = nullptr;
        while (node != top && !sibling && moves < max_moves) {
            LWItemID parent = info->parent(node);
            if (!parent) return;
            sibling = next_bone_sibling(info, parent, node);
            node = sibling ? sibling : parent;
            ++moves;
        }
        if (!sibling) return;
        add_bone(state, bone_info, node);
    }
}

// The top bone of `bone`'s tree: climb while the parent is a bone.
LWItemID top_bone(const LWItemInfo* info, LWItemID bone, int max_steps) noexcept {
    for (int step = 0; step < max_steps; ++step) {
        LWItemID parent = info->parent(bone);
        if (!is_bone(info, parent)) break;
        bone = parent;
    }
    return bone;
}

void release_samples(AnimExportState& state) noexcept {
    for (int i = 0; i < state.boneCount; ++i) {
        state.bones[i].positions.reset();
        state.bones[i].rotations.reset();
    }
    state.frameCount = 0;
}

}  // namespace

void prepare_bones(AnimExportState& state) noexcept {
    if (publish_export_state(state) != EXPORT_OK) return;
    const LWItemInfo* info = state.itemInfo;
    if (!info || !state.object) return;
    int count = 0;
    for (LWItemID bone = info->first(LWI_BONE, state.object); bone && count < INT_MAX; bone = info->next(bone))
        ++count;
    if (count == 0) return;
    // boneCount is set only once the records exist, so that every loop over
    // `bones` sees none when memory runs out.
    state.bones.reset(new (std::nothrow) AnimBone[static_cast<std::size_t>(count)]());
    if (!state.bones) return;
    if (intmap_init(&state.boneMap, count) != MAP_OK) {
        intmap_free(&state.boneMap);
        state.bones.reset();
        return;
    }
    state.boneCount = count;
}

ExportResult collect_bones(AnimExportState* state) noexcept {
    if (!state) return EXPORT_NO_SERVICE;
    const auto* bone_info = static_cast<const LWBoneInfo*>(
        state->global ? state->global(LWBONEINFO_GLOBAL, GFUSE_TRANSIENT) : nullptr);
    if (!bone_info || !state->itemInfo) return EXPORT_NO_SERVICE;
    const LWItemInfo* info = state->itemInfo;
    state->bonesAdded = 0;
    if (state->boneCount == 0) return EXPORT_OK;
    int seen = 0;
    for (LWItemID bone = info->first(LWI_BONE, state->object); bone && seen < state->boneCount;
         bone = info->next(bone), ++seen) {
        LWItemID top = top_bone(info, bone, state->boneCount);
        // A tree whose top is recorded was walked whole already: walking it
        // again would add nothing.
        void* found = nullptr;
        if (intmap_get(&state->boneMap, host_id_key(top), &found) == MAP_OK) continue;
        visit_tree(*state, bone_info, top);
    }
    return EXPORT_OK;
}

ExportResult alloc_bone_samples(AnimExportState& state) noexcept {
    release_samples(state);
    const long long frames = static_cast<long long>(state.lastFrame) - state.firstFrame + 1;
    if (frames <= 0) return EXPORT_OK;
    if (frames > INT_MAX) return EXPORT_NO_MEMORY;
    const auto count = static_cast<std::size_t>(frames);
    for (int i = 0; i < state.boneCount; ++i) {
        AnimBone& bone = state.bones[i];
        if (!bone.id) continue;  // a record the collection never filled is never sampled
        bone.positions.reset(new (std::nothrow) double[count][3]());
        bone.rotations.reset(new (std::nothrow) double[count][3]());
        if (!bone.positions || !bone.rotations) {
            release_samples(state);
            return EXPORT_NO_MEMORY;
        }
    }
    state.frameCount = static_cast<int>(frames);
    return EXPORT_OK;
}

void sample_bone_pose(AnimExportState& state, AnimBone& bone, const LWItemMotionAccess& access) noexcept {
    if (!bone.positions || !bone.rotations) return;
    const long long k = static_cast<long long>(access.frame) - state.firstFrame;
    if (k < 0 || k >= state.frameCount) return;
    const LWItemInfo* info = state.itemInfo;
    double* position = bone.positions[k];
    double* rotation = bone.rotations[k];

    // A root bone's parent space is its object's, which the file does not
    // have: its position is written in world space instead.
    if (!bone.parentBone) {
        if (info) info->param(bone.id, LWIP_W_POSITION, access.time, position);
    } else if (access.getParam) {
        access.getParam(LWIP_POSITION, access.time, position);
    }
    if (access.getParam) access.getParam(LWIP_ROTATION, access.time, rotation);
    if (!info) return;

    LWItemID goal = (info->flags(bone.id) & LWITEMF_GOAL_ORIENT) ? info->goal(bone.id) : nullptr;
    if (goal) {
        goal_aligned_angles(info, goal, bone.id, access.time, rotation);
        return;
    }
    double pivot[3], pivot_rotation[3];
    info->param(bone.id, LWIP_PIVOT, access.time, pivot);
    info->param(bone.id, LWIP_PIVOT_ROT, access.time, pivot_rotation);
    // identity x translation(-pivot) x HPB(rotation) x HPB(pivot rotation),
    // shortened as in append_local_rotation; the leading identity changes
    // nothing either, since HPB(rotation) holds no -0.
    Mat4 matrix, turn;
    hpb_matrix4(rotation, matrix);
    if (!is_zero_rotation(pivot_rotation)) {
        hpb_matrix4(pivot_rotation, turn);
        mat4_multiply(matrix, turn, matrix);
    }
    matrix_to_hpb(matrix, rotation);
}

void release_bones(AnimExportState& state) noexcept {
    state.bones.reset();  // each record's name and samples go with it
    intmap_free(&state.boneMap);
    state.boneCount = 0;
    state.bonesAdded = 0;
    state.frameCount = 0;
}

void item_chain_matrix(const LWItemInfo* info, LWItemID item, LWTime time, Mat4& matrix) noexcept {
    if (!info) return;
    for (int step = 0; item && step < MAX_CHAIN_LENGTH; ++step, item = info->parent(item)) {
        double pivot[3], rotation[3], pivot_rotation[3];
        info->param(item, LWIP_PIVOT, time, pivot);
        info->param(item, LWIP_ROTATION, time, rotation);
        info->param(item, LWIP_PIVOT_ROT, time, pivot_rotation);
        append_local_rotation(matrix, pivot, rotation, pivot_rotation);
    }
}

void item_world_angles(const LWItemInfo* info, LWItemID item, LWTime time, double out_angles[3],
                       Mat4& out_matrix) noexcept {
    out_angles[0] = out_angles[1] = out_angles[2] = 0.0;
    mat4_identity(out_matrix);
    item_chain_matrix(info, item, time, out_matrix);
    matrix_to_hpb(out_matrix, out_angles);
}

void parent_relative_angles(const LWItemInfo* info, LWItemID item, LWTime time, const double fallback[3],
                            const Mat4& world, double out_angles[3]) noexcept {
    out_angles[0] = out_angles[1] = out_angles[2] = 0.0;
    LWItemID parent = info ? info->parent(item) : nullptr;
    if (!parent) {
        for (int axis = 0; axis < 3; ++axis) out_angles[axis] = fallback[axis];
        return;
    }
    Mat4 parent_world, inverse, relative;
    mat4_identity(parent_world);
    item_chain_matrix(info, parent, time, parent_world);
    mat4_identity(inverse);
    mat4_invert(parent_world, inverse);  // a singular chain leaves the identity
    mat4_multiply(world, inverse, relative);
    matrix_to_hpb(relative, out_angles);
}

void goal_aligned_angles(const LWItemInfo* info, LWItemID goal, LWItemID bone, LWTime time,
                         double out_angles[3]) noexcept {
    double goal_angles[3];
    Mat4 goal_world;
    item_world_angles(info, goal, time, goal_angles, goal_world);
    parent_relative_angles(info, bone, time, goal_angles, goal_world, out_angles);
}
