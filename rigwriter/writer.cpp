// The reference SMD writer: nodes, the rest pose and linked vertex lines,
// written through the block writer both mesh exporters share.
#include "writer.h"

#include <string>

#include "host_glue.h"
#include "rotation.h"
#include "export_triangles.h"
#include "smd_block_writer.h"
#include "smd_format.h"

namespace {

std::size_t bone_limit(const RefExportState& state) noexcept {
    const std::size_t count = state.bone_count > 0 ? static_cast<std::size_t>(state.bone_count) : 0;
    return count < state.bones.size() ? count : state.bones.size();
}

// Parents come first in node order; one that does not (only a parent loop
// in a broken scene does that) is left out, so the file's skeleton stays a
// tree that a reader can walk.
int parent_index(const RefExportState& state, const RefBone& bone) noexcept {
    void* found = nullptr;
    if (bone.parent_id == nullptr || intmap_get(&state.bone_map, host_id_key(bone.parent_id), &found) != MAP_OK)
        return -1;
    const int index = static_cast<const RefBone*>(found)->index;
    return index < bone.index ? index : -1;
}

void fill_vertex(const void* context, const ExportCorner& corner, SmdVertex& vertex) noexcept {
    static constexpr RefPointWeights NO_WEIGHTS{};
    const auto& state = *static_cast<const RefExportState*>(context);
    const ExportPoint& point = *corner.point;
    const RefPointWeights* found = ref_point_weights(state, &point);
    const RefPointWeights& weights = found != nullptr ? *found : NO_WEIGHTS;
    int node[REF_MAX_INFLUENCES];
    int links = 0;
    for (int s = 0; s < REF_MAX_INFLUENCES; ++s) {
        node[s] = -1;
        const RefWeightMap* map = ref_influence(state, weights, s);
        if (map == nullptr || map->bone == nullptr) continue;
        node[s] = map->bone->index;
        if (weights.weights[s] > 0.0f) ++links;
    }
    vertex.parent = node[0];  // -1 is written as "0"
    smd_position_from_host(point.position, static_cast<double>(state.scale), vertex.position);
    // Weights are sorted largest first, so the linked slots lead.
    vertex.link_count = links;
    for (int i = 0; i < links; ++i) vertex.links[i] = SmdLink{node[i], static_cast<double>(weights.weights[i])};
}

ExportVertexRule vertex_rule(const RefExportState& state) noexcept {
    return ExportVertexRule{SMD_VERTEX_LINKED, fill_vertex, &state};
}

ExportResult write_nodes(SmdBlockWriter& sink, const RefExportState& state) noexcept {
    const std::size_t count = bone_limit(state);
    for (std::size_t i = 0; i < count; ++i) {
        const RefBone& bone = state.bones[i];
        const bool null_bone = bone.weight_map.empty();
        if (null_bone && state.include_null_bones == 0) continue;
        const SmdNode node{bone.index, bone.name.c_str(), parent_index(state, bone), null_bone};
        if (sink.node(node) != EXPORT_OK) break;
    }
    return sink.result();
}

ExportResult write_skeleton(SmdBlockWriter& sink, const RefExportState& state) noexcept {
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

ExportResult write_body(SmdBlockWriter& sink, const RefExportState& state) {
    const bool has_bones = bone_limit(state) > 0;
    ExportResult rc = sink.text(SMD_HEADER);
    if (rc == EXPORT_OK) rc = sink.text(SMD_NODES_OPENER);
    if (rc == EXPORT_OK) rc = has_bones ? write_nodes(sink, state) : sink.text(SMD_ROOT_NODE_LINE);
    if (rc == EXPORT_OK) rc = sink.text(SMD_SECTION_END);
    if (rc == EXPORT_OK) rc = sink.text(SMD_SKELETON_OPENER);
    if (rc == EXPORT_OK) rc = sink.text(SMD_TIME_ZERO);
    if (rc == EXPORT_OK) rc = has_bones ? write_skeleton(sink, state) : sink.text(SMD_ZERO_BONE_LINE);
    if (rc == EXPORT_OK) rc = sink.text(SMD_SECTION_END);
    if (rc == EXPORT_OK) rc = sink.text(SMD_TRIANGLES_OPENER);
    if (rc == EXPORT_OK)
        rc = export_write_triangles(sink, state.geometry, state.verify_uv, state.group_by, vertex_rule(state));
    if (rc == EXPORT_OK) rc = sink.text(SMD_SECTION_END);
    return rc == EXPORT_OK ? sink.flush() : rc;
}

}  // namespace

ExportResult ref_write_smd(const RefExportState& state, std::FILE* stream) noexcept {
    if (get_service<LWObjectFuncs>(state.global, LWOBJECTFUNCS_GLOBAL) == nullptr) return EXPORT_NO_SERVICE;
    return smd_block_file(stream, [&](SmdBlockWriter& sink) { return write_body(sink, state); });
}

ExportResult ref_write_nodes(std::FILE* stream, const RefExportState& state) noexcept {
    SmdBlockWriter sink(stream);
    if (!sink.ready()) return EXPORT_NO_MEMORY;
    const ExportResult rc = write_nodes(sink, state);
    return rc == EXPORT_OK ? sink.flush() : rc;
}

ExportResult ref_write_skeleton(std::FILE* stream, const RefExportState& state) noexcept {
    SmdBlockWriter sink(stream);
    if (!sink.ready()) return EXPORT_NO_MEMORY;
    const ExportResult rc = write_skeleton(sink, state);
    return rc == EXPORT_OK ? sink.flush() : rc;
}

ExportResult ref_write_triangle(std::FILE* stream, const RefExportState& state, const ExportPolygon& polygon, int a,
                                int b, int c) noexcept {
    return export_write_triangle(stream, polygon, {a, b, c}, vertex_rule(state));
}
