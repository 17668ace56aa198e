// The animation SMD writer: the collected bones as nodes, then one time
// block per sampled frame with a pose line for each bone whose pose changed
// since the frame before.
#include <cstdio>

#include "anim_state.h"
#include "safe_file.h"

namespace {

bool is_collected(const AnimBone& bone) noexcept { return bone.id != nullptr; }

bool has_collected_bones(const AnimExportState& state) noexcept {
    for (int i = 0; i < state.boneCount; ++i)
        if (is_collected(state.bones[i])) return true;
    return false;
}

bool same_triple(const double a[3], const double b[3]) noexcept {
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

ExportResult write_pose_line(std::FILE* stream, const AnimBone& bone, int frame, double scale) noexcept {
    SmdBoneFrame line;
    line.node = bone.nodeIndex;
    smd_position_from_host(bone.positions[frame], scale, line.position);
    hpb_to_smd_rotation(bone.rotations[frame], line.rotation);
    return smd_write_bone_line(stream, line);
}

}  // namespace

ExportResult write_anim_nodes(std::FILE* stream, const AnimExportState& state) noexcept {
    ExportResult rc = EXPORT_OK;
    for (int i = 0; i < state.boneCount && rc == EXPORT_OK; ++i) {
        const AnimBone& bone = state.bones[i];
        if (!is_collected(bone) || (bone.isNull && !state.includeNullBones)) continue;
        SmdNode node;
        node.index = bone.nodeIndex;
        node.name = bone.name.get();  // a name that could not be copied is written as ""
        node.parent = -1;
        void* parent = nullptr;
        if (bone.parentBone && intmap_get(&state.boneMap, host_id_key(bone.parentBone), &parent) == MAP_OK)
            node.parent = static_cast<const AnimBone*>(parent)->nodeIndex;
        // Parents come first; one that does not (a parent loop in a broken
        // scene) is left out, so the skeleton stays a tree.
        if (node.parent >= node.index) node.parent = -1;
        node.null_bone = bone.isNull != 0;
        rc = smd_write_node_line(stream, node);
    }
    return rc;
}

ExportResult write_anim_frames(std::FILE* stream, const AnimExportState& state) noexcept {
    const double scale = static_cast<double>(state.scale);
    ExportResult rc = EXPORT_OK;
    for (int i = 0; i < state.frameCount && rc == EXPORT_OK; ++i) {
        rc = smd_write_time_line(stream, state.firstFrame + i);
        for (int b = 0; b < state.boneCount && rc == EXPORT_OK; ++b) {
            const AnimBone& bone = state.bones[b];
            if (!is_collected(bone) || !bone.positions || !bone.rotations) continue;
            if (i > 0 && same_triple(bone.positions[i], bone.positions[i - 1]) &&
                same_triple(bone.rotations[i], bone.rotations[i - 1]))
                continue;
            rc = write_pose_line(stream, bone, i, scale);
        }
    }
    return rc;
}

ExportResult write_anim_smd(const AnimExportState& state, std::FILE* stream) noexcept {
    if (!stream) return EXPORT_OK;
    const bool bones = has_collected_bones(state);
    ExportResult rc = smd_write_text(stream, SMD_HEADER);
    if (rc == EXPORT_OK) rc = smd_write_text(stream, SMD_NODES_OPENER);
    if (rc == EXPORT_OK) rc = bones ? write_anim_nodes(stream, state) : smd_write_text(stream, SMD_ROOT_NODE_LINE);
    if (rc == EXPORT_OK) rc = smd_write_text(stream, SMD_SECTION_END);
    if (rc == EXPORT_OK) rc = smd_write_text(stream, SMD_SKELETON_OPENER);
    if (rc == EXPORT_OK) rc = bones ? write_anim_frames(stream, state) : smd_write_text(stream, SMD_ZERO_BONE_LINE);
    if (rc == EXPORT_OK) rc = smd_write_text(stream, SMD_SECTION_END);
    return rc;
}

ExportResult save_anim_file(const AnimExportState& state, const char* path) noexcept {
    return save_export_file(
        path,
        [](const void* data, std::FILE* stream) noexcept {
            return write_anim_smd(*static_cast<const AnimExportState*>(data), stream);
        },
        &state);
}
