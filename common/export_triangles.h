// export_triangles: the "triangles" section as both mesh exporters write it
// from their geometry (export_geometry.h). What differs between them is how
// a corner becomes a vertex line (the reference exporter links bones, the
// static one does not), which the caller passes in as an ExportVertexRule.
//
//   export_write_triangles(writer, geometry, verify_uv, group_by, rule)
//       Every polygon export_polygon_written lets through, in scan order: its
//       triangles under its material line (export_polygon_material, made one
//       token), split by smd_block_face, the vertex lines made by the rule and
//       reused for repeated corners. Stops at the first failed write and
//       returns it. Throws std::bad_alloc (a material name).
//
//   export_write_triangle(stream, polygon, order, rule)
//       The three vertex lines of the polygon's corners order[0..2] (no
//       material line, no reuse), for tests. EXPORT_OK, or
//       EXPORT_WRITE_FAILED for a write the stream refused or a corner the
//       polygon does not have.
#pragma once

#include <cstdio>

#include "export_geometry.h"
#include "smd_block_writer.h"

// Completes the vertex of a corner: its parent, links and position (the
// normal and texture coordinates are set already); context: the caller's.
using ExportVertexFill = void (*)(const void* context, const ExportCorner& corner, SmdVertex& vertex) noexcept;

struct ExportVertexRule {
    SmdVertexKind kind;  // static lines, or lines with bone links
    ExportVertexFill fill;
    const void* context;
};

ExportResult export_write_triangles(SmdBlockWriter& writer, const ExportGeometry& geometry, int verify_uv,
                                    int group_by, const ExportVertexRule& rule);
ExportResult export_write_triangle(std::FILE* stream, const ExportPolygon& polygon, const int (&order)[3],
                                   const ExportVertexRule& rule) noexcept;
