// export_counts: what the mesh exporters' "Valid Geometry List" and
// "Invalid Geometry List" count, by one rule for both.
//
//   count_export_polygon(counts, type, size, has_uv, verify_uv)
//       Adds one polygon: a polygon that is no face counts under non_face;
//       a face of more than 4 points under five_plus, of fewer than 3 under
//       degenerate; a face of 3 or 4 points adds its 1 or 2 triangles to
//       no_uv_triangles when it has no UVs and they are verified (verify_uv
//       1), else to valid_triangles.
#pragma once

#include <lwmeshes.h>

struct ExportCounts {
    int non_face;         // "Subpatches, curves, skelegons etc :"
    int five_plus;        // "5+ sided polygons:"
    int degenerate;       // "Degenerated polygons (2 vert etc):"
    int no_uv_triangles;  // "Triangles without UV information:"
    int valid_triangles;  // "Triangles"
};

inline void count_export_polygon(ExportCounts& counts, LWID type, int size, int has_uv, int verify_uv) noexcept {
    if (type != LWPOLTYPE_FACE) {
        ++counts.non_face;
    } else if (size > 4) {
        ++counts.five_plus;
    } else if (size < 3) {
        ++counts.degenerate;
    } else {
        const int triangles = size == 4 ? 2 : 1;
        if (has_uv == 0 && verify_uv == 1) {
            counts.no_uv_triangles += triangles;
        } else {
            counts.valid_triangles += triangles;
        }
    }
}
