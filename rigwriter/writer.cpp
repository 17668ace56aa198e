// The reference SMD writer: nodes, the rest pose and linked vertex lines,
// written through the block writer both mesh exporters share.
#include "writer.h"

#include <string>

#include "host_glue.h"
#include "rotation.h"
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

void fill_vertex(const RefExportState& state, const ExportCorner& corner, SmdVertex& vertex) noexcept {
    static constexpr RefPointWeights NO_WEIGHTS{};
    const ExportPoint& point = *corner.point;
    const RefPointWeights* found = ref_point_weights(state, &point);
    const RefPointWeights& weights = found != nullptr ? *found : NO_WEIGHTS;
    int node[REF_MAX_INFLUENCES];
    int links = 0;
    for (int s = 0; s < REF_MAX_INFLUENCES; ++s) {
        node[s] = -1;
        const RefWeightMap* map = weights.influences[s];
        if (map == nullptr || map->bone == nullptr) continue;
        node[s] = map->bone->index;
        if (weights.weights[s] > 0.0f) ++links;
    }
    vertex.parent = node[0];  // -1 is written as "0"
    smd_position_from_host(point.position, static_cast<double>(state.scale), vertex.position);
    smd_direction_from_host(corner.normal, vertex.normal);
    vertex.u = corner.u;
    vertex.v = corner.v;
    // Weights are sorted largest first, so the linked slots lead.
    vertex.link_count = links;
    for (int i = 0; i < links; ++i) vertex.links[i] = SmdLink{node[i], static_cast<double>(weights.weights[i])};
}

// `cache` may be null (no reuse). The line depends only on the corner's point
// (position, weights), normal and texture coordinates.
ExportResult write_vertex(SmdBlockWriter& sink, SmdVertexLineCache* cache, const RefExportState& state,
                          const ExportCorner& corner) noexcept {
    const SmdVertexKey key = smd_vertex_key(corner.point, corner.normal, corner.u, corner.v);
    return smd_block_vertex(sink, cache, key, SMD_VERTEX_LINKED,
                            [&](SmdVertex& vertex) noexcept { fill_vertex(state, corner, vertex); });
}

// A corner the polygon does not have is a write that cannot be made.
ExportResult write_corner(SmdBlockWriter& sink, SmdVertexLineCache* cache, const RefExportState& state,
                          const ExportPolygon& polygon, int corner) noexcept {
    if (polygon.corners == nullptr || corner < 0 || corner >= polygon.size || polygon.corners[corner].point == nullptr)
        return EXPORT_WRITE_FAILED;
    return write_vertex(sink, cache, state, polygon.corners[corner]);
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

ExportResult write_triangles(SmdBlockWriter& sink, const RefExportState& state) {
    SmdVertexLineCache cache;
    if (!cache.ready()) return EXPORT_NO_MEMORY;
    SmdMaterialName material;
    for (const ExportPolygon& polygon : state.geometry.polygons) {
        if (!export_polygon_written(polygon, state.verify_uv)) continue;
        const ExportResult rc =
            smd_block_face(sink, material.of(export_polygon_material(state.group_by, polygon)), polygon.size,
                           [&](int corner) noexcept { return write_corner(sink, &cache, state, polygon, corner); });
        if (rc != EXPORT_OK) return rc;
    }
    return EXPORT_OK;
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
    if (rc == EXPORT_OK) rc = write_triangles(sink, state);
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
    return smd_block_file(stream, [&](SmdBlockWriter& sink) noexcept {
        const ExportResult rc = smd_block_triangle(
            sink, {a, b, c}, [&](int corner) noexcept { return write_corner(sink, nullptr, state, polygon, corner); });
        return rc != EXPORT_OK ? rc : sink.flush();
    });
}
