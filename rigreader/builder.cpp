// The skeleton importer's builder: turns the bone table into Layout bones
// and keys, almost entirely by command texts sent through the generic's
// local, reading back only the selection, item types and names, bone flags,
// the scene's weight maps, the current time and the preview range.
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <lwmeshes.h>

#include "host_glue.h"
#include "import_state.h"
#include "rotation.h"
#include "smd_format.h"

namespace {

constexpr double DEGREES_PER_RADIAN = 57.29577951308232;  // 180 / pi
constexpr char IMPORTER_NULL_NAME[] = "smd_importer_null";
// The rest length of a bone no child gives a length to.
constexpr double LEAF_REST_LENGTH = 0.1;

bool is_row_index(int index) noexcept { return index >= 0 && index < SMD_MAX_NODES; }

const LWInterfaceInfo* interface_info(const SkeletonImport& state) noexcept {
    return get_service<LWInterfaceInfo>(state.global, LWINTERFACEINFO_GLOBAL);
}

// The first selected item of `type`, or null; null too without the services.
LWItemID first_selected(const SkeletonImport& state, LWItemType type) noexcept {
    const LWInterfaceInfo* info = interface_info(state);
    if (!info || !info->selItems || !state.item_info) return nullptr;
    for (const LWItemID* item = info->selItems; *item; ++item)
        if (state.item_info->type(*item) == type) return *item;
    return nullptr;
}

// ---- pose and selection texts ---------------------------------------------------
//
// A sequence sends a selection and two poses per bone and frame, and
// printf's "%f" would cost more than all the rest of the import. These texts
// are composed here, byte for byte what send_command composes from the same
// word and arguments (the word, a blank, the arguments; cut, never
// overflowed, at COMMAND_TEXT_SIZE).

// What "%f" prints in the C locale. For a finite value that is the text of
// "%06.6f" (never shorter than "0.000000", so the width does nothing);
// "%06.6f" pads the non-finite texts to six with blanks, "%f" does not.
char* append_real(char* out, double value) noexcept {
    if (std::isfinite(value)) return smd_append_real(out, value);
    char padded[SMD_REAL_BUFFER_SIZE];
    const char* end = smd_append_real(padded, value);
    const char* start = padded;
    while (*start == ' ') ++start;
    const std::size_t length = std::size_t(end - start);
    std::memcpy(out, start, length);
    return out + length;
}

// The word and three reals: what send_command(generic, word, "%f %f %f", ...)
// sends.
template <std::size_t N>
void send_reals(const LWLayoutGeneric* generic, const char (&word)[N], double a, double b, double c) noexcept {
    char text[N + 3 * SMD_REAL_BUFFER_SIZE];
    std::memcpy(text, word, N - 1);
    char* out = text + N - 1;
    *out++ = ' ';
    out = append_real(out, a);
    *out++ = ' ';
    out = append_real(out, b);
    *out++ = ' ';
    out = append_real(out, c);
    if (std::size_t(out - text) > COMMAND_TEXT_SIZE - 1) out = text + COMMAND_TEXT_SIZE - 1;
    *out = '\0';
    if (generic && generic->evaluate) generic->evaluate(generic->data, text);
}

void send_rest_length(const SkeletonImport& state, LWItemID item, double length) noexcept {
    select_item(state, item);
    send_command(state.generic, "BoneRestLength ", "%f", length);
}

// Every row that has a bone keyed with its pose at the current frame.
void key_all_rows(const SkeletonImport& state) noexcept {
    for (int i = 0; i < SMD_MAX_NODES; ++i) {
        const ImportBone& row = state.bone_table[i];
        if (!row.item) continue;
        select_item(state, row.item);
        send_pose(state, row, false);
    }
}

// One created row bound to the scene's weight map of its exact name.
void bind_row(const SkeletonImport& state, const LWObjectFuncs* objects, const ImportBone& row) noexcept {
    select_item(state, row.item);
    // The count is asked again after each name: the host may change it.
    for (int i = 0; i < objects->numVMaps(LWVMAP_WGHT); ++i) {
        const char* map = objects->vmapName(LWVMAP_WGHT, i);
        if (!map || std::strcmp(map, row.name.get()) != 0) continue;
        send_command(state.generic, "BoneWeightMapName ", "%s", map);
        send_command(state.generic, "BoneWeightMapOnly ");
        send_command(state.generic, "BoneStrength  ", "%f", 1.0);
        return;
    }
    send_command(state.generic, "BoneStrength  ", "%f", 0.0);
}

}  // namespace

void select_item(const SkeletonImport& state, LWItemID item) noexcept {
    // Item IDs are pointer-sized: the whole ID goes into the text, in hex as
    // "%" PRIxPTR prints it. Composed here for the reason the poses are.
    constexpr char WORD[] = "SelectItem  ";  // the word, its blank and the separator
    char text[sizeof WORD + 2 * sizeof(std::uintptr_t)];
    std::memcpy(text, WORD, sizeof WORD - 1);
    char* out = text + sizeof WORD - 1;
    out = std::to_chars(out, text + sizeof text - 1, reinterpret_cast<std::uintptr_t>(item), 16).ptr;
    *out = '\0';
    if (state.generic && state.generic->evaluate) state.generic->evaluate(state.generic->data, text);
}

int preview_last_frame_needed(double frames_per_second, double current_time, int preview_end, int frames,
                              int* out_last) noexcept {
    const double frame = frames_per_second * current_time;
    // No frame to count from; an infinite or undefined product would reach
    // an undefined conversion to int.
    if (!std::isfinite(frame)) return 0;
    // Compared as reals: trunc(preview_end - frame) < frames holds for the
    // truncated integer exactly when it holds for the real.
    if (!(std::trunc(static_cast<double>(preview_end) - frame) < static_cast<double>(frames))) return 0;
    const double last = std::trunc(frame) + static_cast<double>(frames);
    if (last >= static_cast<double>(INT_MAX)) *out_last = INT_MAX;
    else if (last <= static_cast<double>(INT_MIN)) *out_last = INT_MIN;
    else *out_last = static_cast<int>(last);
    return 1;
}

void extend_preview_range(SkeletonImport& state) noexcept {
    const auto* scene = get_service<LWSceneInfo>(state.global, LWSCENEINFO_GLOBAL);
    const LWInterfaceInfo* info = interface_info(state);
    if (!scene || !info) return;
    const int frames = skeleton_count_frames(state, state.reader);
    int last = 0;
    if (preview_last_frame_needed(scene->framesPerSecond, info->curTime, info->previewEnd, frames, &last))
        send_command(state.generic, "PreviewLastFrame ", "%i", last);
}

LWItemID find_target_object(SkeletonImport& state) noexcept {
    if (!interface_info(state) || !state.item_info) return nullptr;
    LWItemID object = first_selected(state, LWI_OBJECT);
    // The new null is not looked up: the steps that need a target skip it.
    if (!object) send_command(state.generic, "AddNull ", "%s", IMPORTER_NULL_NAME);
    return object;
}

void match_bones_by_name(SkeletonImport& state) noexcept {
    const LWItemInfo* info = state.item_info;
    if (!info) return;
    for (LWItemID bone = info->first(LWI_BONE, state.target); bone; bone = info->next(bone)) {
        const char* name = info->name(bone);
        if (!name) continue;
        for (int i = 0; i < SMD_MAX_NODES; ++i) {
            ImportBone& row = state.bone_table[i];
            if (!row.name || std::strcmp(row.name.get(), name) != 0) continue;
            row.item = bone;
            select_item(state, bone);
            break;
        }
    }
}

LWItemID first_selected_bone(const SkeletonImport& state) noexcept { return first_selected(state, LWI_BONE); }

void create_bone(SkeletonImport& state, ImportBone& row) noexcept {
    if (row.parent == -1) {
        send_command(state.generic, "AddBone", "%s", row.name.get());
    } else {
        // Rows are created in index order: a parent with a larger index has
        // no bone yet, so neither this row nor its descendants are created.
        if (!is_row_index(row.parent)) return;
        const ImportBone& parent = state.bone_table[row.parent];
        if (!parent.item) return;
        select_item(state, parent.item);
        send_command(state.generic, "AddChildBone", "%s", row.name.get());
    }
    send_command(state.generic, "BoneActive ");
    row.item = first_selected_bone(state);
    send_pose(state, row, true);
    row.created = 1;
}

void send_pose(const SkeletonImport& state, const ImportBone& row, bool rest) noexcept {
    const double s = state.scale;
    // The file is Z-up, Layout Y-up: the second and third axes swap.
    send_reals(state.generic, "Position ", s * row.position[0], s * row.position[2], s * row.position[1]);
    double hpb[3];
    smd_rotation_to_hpb(row.rotation, hpb);
    send_reals(state.generic, "Rotation ", hpb[0] * DEGREES_PER_RADIAN, hpb[1] * DEGREES_PER_RADIAN,
               hpb[2] * DEGREES_PER_RADIAN);
    if (rest) send_command(state.generic, "RecordRestPosition ");
}

void set_rest_lengths(SkeletonImport& state) noexcept {
    ImportBone* rows = state.bone_table.get();
    if (!state.calc_lengths) {
        for (int i = 0; i < SMD_MAX_NODES; ++i)
            if (rows[i].item) send_rest_length(state, rows[i].item, state.default_rest_length);
        return;
    }
    // A node's offset from its parent is the parent bone's length; with
    // several children the last in index order decides.
    const double s = state.scale;
    for (int i = 0; i < SMD_MAX_NODES; ++i) {
        const ImportBone& row = rows[i];
        if (!row.item || !is_row_index(row.parent) || !rows[row.parent].item) continue;
        const double* p = row.position;
        const double length = s * std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        send_rest_length(state, rows[row.parent].item, length);
        rows[row.parent].rest_length = length;
    }
    for (int i = 0; i < SMD_MAX_NODES; ++i) {
        ImportBone& row = rows[i];
        if (!row.item || row.rest_length != 0.0) continue;
        // Only marks the row for later imports of this panel opening. A bone
        // matched by name may carry any parent index from its file: one that
        // names no row counts as no parent.
        row.rest_length = is_row_index(row.parent) ? rows[row.parent].rest_length : 1.0;
        send_rest_length(state, row.item, LEAF_REST_LENGTH);
    }
}

void animate_frames(SkeletonImport& state) noexcept {
    activate_bones(state);
    for (;;) {
        key_all_rows(state);
        send_command(state.generic, "NextFrame");
        if (skeleton_read_frame(state, state.reader) != FRAME_NEXT) break;
    }
    // The block that ended the file is keyed at the frame just reached.
    key_all_rows(state);
}

void activate_bones(const SkeletonImport& state) noexcept {
    send_command(state.generic, "EditBones");
    const LWItemInfo* info = state.item_info;
    if (!info) return;
    const auto* bones = get_service<LWBoneInfo>(state.global, LWBONEINFO_GLOBAL);
    for (LWItemID bone = info->first(LWI_BONE, state.target); bone; bone = info->next(bone)) {
        if (bones && (bones->flags(bone) & LWBONEF_ACTIVE) != 0) continue;
        select_item(state, bone);
        send_command(state.generic, "BoneActive ");
    }
}

void bind_weight_maps(const SkeletonImport& state) noexcept {
    const auto* objects = get_service<LWObjectFuncs>(state.global, LWOBJECTFUNCS_GLOBAL);
    if (!objects) return;
    for (int i = 0; i < SMD_MAX_NODES; ++i) {
        const ImportBone& row = state.bone_table[i];
        if (row.name && row.item && row.created) bind_row(state, objects, row);
    }
}

namespace {

SkeletonResult run_import(SkeletonImport& state) noexcept {
    state.more_frames = 0;
    extend_preview_range(state);
    if (smd_find_section(state.reader, "nodes") != 0) return SKELETON_READ_FAILED;
    if (skeleton_read_nodes(state, state.reader) != SKELETON_OK) return SKELETON_READ_FAILED;
    if (smd_find_section(state.reader, "time") != 0) return SKELETON_READ_FAILED;
    if (skeleton_read_frame(state, state.reader) == FRAME_EOF) return SKELETON_READ_FAILED;

    if (state.node_count > 0 && state.generic) {
        state.target = find_target_object(state);
        if (state.target) match_bones_by_name(state);
        send_command(state.generic, "EditBones");
        if (!state.sequence_mode) {
            for (int i = 0; i < SMD_MAX_NODES; ++i) {
                ImportBone& row = state.bone_table[i];
                if (row.name && !row.item) create_bone(state, row);
            }
        }
    }
    set_rest_lengths(state);
    if (state.more_frames) animate_frames(state);
    bind_weight_maps(state);
    if (state.sequence_mode) activate_bones(state);
    if (state.target) {
        send_command(state.generic, "EditObjects ");
        select_item(state, state.target);
    }
    return SKELETON_OK;
}

}  // namespace

SkeletonResult skeleton_import_run(SkeletonImport& state, std::FILE* file) noexcept {
    if (!state.bone_table) return SKELETON_READ_FAILED;
    smd_attach(state.reader, file);
    const SkeletonResult result = run_import(state);
    smd_attach(state.reader, nullptr);  // the caller closes it
    return result;
}
