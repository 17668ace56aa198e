// The static SMD writer: a single root node and static vertex lines, written
// through the block writer both mesh exporters share.
#include "writer.h"

#include <cstring>
#include <string>

#include "host_glue.h"
#include "safe_file.h"
#include "export_triangles.h"
#include "smd_block_writer.h"
#include "smd_format.h"

namespace {

void fill_vertex(const void* context, const ExportCorner& corner, SmdVertex& vertex) noexcept {
    const auto& state = *static_cast<const MeshExportState*>(context);
    vertex.parent = 0;
    vertex.link_count = 0;
    smd_position_from_host(corner.point->position, static_cast<double>(state.scale), vertex.position);
}

ExportVertexRule vertex_rule(const MeshExportState& state) noexcept {
    return ExportVertexRule{SMD_VERTEX_STATIC, fill_vertex, &state};
}

ExportResult write_body(SmdBlockWriter& sink, const MeshExportState& state) {
    ExportResult rc = EXPORT_OK;
    for (const char* text : {SMD_HEADER, SMD_NODES_OPENER, SMD_ROOT_NODE_LINE, SMD_SECTION_END, SMD_SKELETON_OPENER,
                             SMD_TIME_ZERO, SMD_ZERO_BONE_LINE, SMD_SECTION_END, SMD_TRIANGLES_OPENER}) {
        if (rc == EXPORT_OK) rc = sink.text(text, std::strlen(text));
    }
    if (rc == EXPORT_OK)
        rc = export_write_triangles(sink, state.geometry, state.verify_uv, state.group_by, vertex_rule(state));
    if (rc == EXPORT_OK) rc = sink.text(SMD_SECTION_END, std::strlen(SMD_SECTION_END));
    return rc == EXPORT_OK ? sink.flush() : rc;
}

}  // namespace

ExportResult mesh_write_smd(const MeshExportState& state, std::FILE* stream) noexcept {
    if (get_service<LWObjectFuncs>(state.global, LWOBJECTFUNCS_GLOBAL) == nullptr) return EXPORT_NO_SERVICE;
    return smd_block_file(stream, [&](SmdBlockWriter& sink) { return write_body(sink, state); });
}

ExportResult mesh_write_triangle(std::FILE* stream, const MeshExportState& state, const ExportPolygon& polygon, int a,
                                 int b, int c) noexcept {
    return export_write_triangle(stream, polygon, {a, b, c}, vertex_rule(state));
}

ExportResult mesh_write_file(const MeshExportState& state, const char* path) noexcept {
    return save_export_file(
        path,
        [](const void* data, std::FILE* stream) noexcept {
            return mesh_write_smd(*static_cast<const MeshExportState*>(data), stream);
        },
        &state);
}
