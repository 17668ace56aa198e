// The static SMD writer: a single root node and static vertex lines, written
// through the block writer both mesh exporters share.
#include "writer.h"

#include <cstring>
#include <string>

#include "host_glue.h"
#include "safe_file.h"
#include "smd_block_writer.h"
#include "smd_format.h"

namespace {

void fill_vertex(const MeshExportState& state, const ExportCorner& corner, SmdVertex& vertex) noexcept {
    vertex.parent = 0;
    vertex.link_count = 0;
    smd_position_from_host(corner.point->position, static_cast<double>(state.scale), vertex.position);
    smd_direction_from_host(corner.normal, vertex.normal);
    vertex.u = corner.u;
    vertex.v = corner.v;
}

// `cache` may be null (no reuse).
ExportResult write_vertex(SmdBlockWriter& sink, SmdVertexLineCache* cache, const MeshExportState& state,
                          const ExportCorner& corner) noexcept {
    // The scale is fixed for one file, so the line depends only on the rest.
    const SmdVertexKey key = smd_vertex_key(corner.point, corner.normal, corner.u, corner.v);
    return smd_block_vertex(sink, cache, key, SMD_VERTEX_STATIC,
                            [&](SmdVertex& vertex) noexcept { fill_vertex(state, corner, vertex); });
}

// A corner the polygon does not have is a write that cannot be made.
ExportResult write_corner(SmdBlockWriter& sink, SmdVertexLineCache* cache, const MeshExportState& state,
                          const ExportPolygon& polygon, int corner) noexcept {
    if (polygon.corners == nullptr || corner < 0 || corner >= polygon.size || polygon.corners[corner].point == nullptr)
        return EXPORT_WRITE_FAILED;
    return write_vertex(sink, cache, state, polygon.corners[corner]);
}

// Throws std::bad_alloc (a material name).
ExportResult write_triangles(SmdBlockWriter& sink, const MeshExportState& state) {
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

ExportResult write_body(SmdBlockWriter& sink, const MeshExportState& state) {
    ExportResult rc = EXPORT_OK;
    for (const char* text : {SMD_HEADER, SMD_NODES_OPENER, SMD_ROOT_NODE_LINE, SMD_SECTION_END, SMD_SKELETON_OPENER,
                             SMD_TIME_ZERO, SMD_ZERO_BONE_LINE, SMD_SECTION_END, SMD_TRIANGLES_OPENER}) {
        if (rc == EXPORT_OK) rc = sink.text(text, std::strlen(text));
    }
    if (rc == EXPORT_OK) rc = write_triangles(sink, state);
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
    return smd_block_file(stream, [&](SmdBlockWriter& sink) noexcept {
        const ExportResult rc = smd_block_triangle(
            sink, {a, b, c}, [&](int corner) noexcept { return write_corner(sink, nullptr, state, polygon, corner); });
        return rc != EXPORT_OK ? rc : sink.flush();
    });
}

ExportResult mesh_write_file(const MeshExportState& state, const char* path) noexcept {
    return save_export_file(
        path,
        [](const void* data, std::FILE* stream) noexcept {
            return mesh_write_smd(*static_cast<const MeshExportState*>(data), stream);
        },
        &state);
}
