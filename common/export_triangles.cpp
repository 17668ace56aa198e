#include "export_triangles.h"

#include "smd_format.h"

namespace {

// A corner the polygon does not have is a write that cannot be made.
// `cache` may be null (no reuse). A vertex line depends only on the corner's
// point, normal and texture coordinates (the scale and the links are fixed
// by the point for one file).
ExportResult write_corner(SmdBlockWriter& writer, SmdVertexLineCache* cache, const ExportPolygon& polygon,
                          int corner, const ExportVertexRule& rule) noexcept {
    if (polygon.corners == nullptr || corner < 0 || corner >= polygon.size || polygon.corners[corner].point == nullptr)
        return EXPORT_WRITE_FAILED;
    const ExportCorner& record = polygon.corners[corner];
    double normal[3];
    export_corner_normal(polygon, record, normal);
    const SmdVertexKey key = smd_vertex_key(record.point, normal, record.u, record.v);
    return smd_block_vertex(writer, cache, key, rule.kind, [&](SmdVertex& vertex) noexcept {
        smd_direction_from_host(normal, vertex.normal);
        vertex.u = record.u;
        vertex.v = record.v;
        rule.fill(rule.context, record, vertex);
    });
}

}  // namespace

ExportResult export_write_triangles(SmdBlockWriter& writer, const ExportGeometry& geometry, int verify_uv,
                                    int group_by, const ExportVertexRule& rule) {
    SmdVertexLineCache cache;
    if (!cache.ready()) return EXPORT_NO_MEMORY;
    SmdMaterialName material;
    for (const ExportPolygon& polygon : geometry.polygons) {
        if (!export_polygon_written(polygon, verify_uv)) continue;
        const ExportResult rc =
            smd_block_face(writer, material.of(export_polygon_material(group_by, polygon)), polygon.size,
                           [&](int corner) noexcept { return write_corner(writer, &cache, polygon, corner, rule); });
        if (rc != EXPORT_OK) return rc;
    }
    return EXPORT_OK;
}

ExportResult export_write_triangle(std::FILE* stream, const ExportPolygon& polygon, const int (&order)[3],
                                   const ExportVertexRule& rule) noexcept {
    return smd_block_file(stream, [&](SmdBlockWriter& writer) noexcept {
        const ExportResult rc = smd_block_triangle(
            writer, order, [&](int corner) noexcept { return write_corner(writer, nullptr, polygon, corner, rule); });
        return rc != EXPORT_OK ? rc : writer.flush();
    });
}
