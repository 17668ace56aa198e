// The reference SMD writer: the collected RefExportState as one file of
// nodes, the rest pose as frame 0, and the triangles with their bone links.
//
//   ref_write_smd(state, stream)
//       Writes the whole file to a stream the caller opened for writing.
//       Returns 0; EXPORT_NO_SERVICE (5) when "Scene Objects 4" is missing
//       (nothing is written); EXPORT_WRITE_FAILED (6) when the
//       stream did not take a write (writing stops there); EXPORT_NO_MEMORY (1)
//       when a material name could not be prepared. The caller writes to a
//       temporary file, flushes and closes it, renames it over the target only
//       when everything returned 0, and reports "Error saving SMD file!"
//       otherwise. Only reads the state, so saves can repeat.
//
//   ref_write_nodes(stream, state)        one node line per recorded bone,
//       null bones (no weight map) only when include_null_bones is set; node
//       numbers are the bones' indexes, so leaving null bones out leaves gaps.
//   ref_write_skeleton(stream, state)     one bone line per recorded bone,
//       null bones included: position scaled with y and z swapped, rotation
//       as the SMD triple.
//   ref_write_triangle(stream, state, polygon, a, b, c)   three vertex lines
//       for the polygon's corners a, b, c in that order (no material line).
// Each returns 0 or EXPORT_WRITE_FAILED.
#pragma once

#include <cstdio>

#include "ref_state.h"

ExportResult ref_write_smd(const RefExportState& state, std::FILE* stream) noexcept;
ExportResult ref_write_nodes(std::FILE* stream, const RefExportState& state) noexcept;
ExportResult ref_write_skeleton(std::FILE* stream, const RefExportState& state) noexcept;
ExportResult ref_write_triangle(std::FILE* stream, const RefExportState& state, const ExportPolygon& polygon, int a,
                                int b, int c) noexcept;
