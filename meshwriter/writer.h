// The static SMD writer: the collected MeshExportState as one file with a
// single root node, the rest frame "time 0" and the triangles of the chosen
// polygons.
//
//   mesh_write_smd(state, stream)
//       Writes the whole file to a stream opened for writing. Returns 0;
//       EXPORT_NO_SERVICE (5) when "Scene Objects 4" is missing (nothing is
//       written); EXPORT_WRITE_FAILED (6) when the stream did not
//       take a write (writing stops there); EXPORT_NO_MEMORY (1) when the line
//       buffer or a material name could not be made. Only reads the state,
//       so saves can repeat.
//
//   mesh_write_triangle(stream, state, polygon, a, b, c)
//       The three vertex lines of the polygon's corners a, b, c, in that
//       order (no material line): "0", the position times `scale` with y and
//       z swapped, the normal with y and z swapped, u and v. 0 or
//       EXPORT_WRITE_FAILED (also for a corner the polygon does not have).
//
//   mesh_write_file(state, path)
//       Saves to `path` without ever leaving a half-written file there: the
//       file is written beside the target under a temporary name, flushed
//       and closed, and renamed over the target only when every step
//       succeeded; otherwise the temporary file is removed and the target is
//       as it was. A target that could not be opened for writing (a folder,
//       a read-only file) is refused as such; a device or pipe, which
//       renaming would replace, is written directly. Returns 0;
//       EXPORT_FILE_NOT_OPENED when the target is refused or no file could be
//       created beside it ("Unable to save file!"); any other non-zero code
//       when writing, flushing, closing or renaming failed ("Error saving
//       SMD file!"). The reference exporter saves by the same rules.
#pragma once

#include <cstdio>

#include "mesh_state.h"
#include "smd_format.h"

ExportResult mesh_write_smd(const MeshExportState& state, std::FILE* stream) noexcept;
ExportResult mesh_write_triangle(std::FILE* stream, const MeshExportState& state, const ExportPolygon& polygon, int a,
                                 int b, int c) noexcept;
ExportResult mesh_write_file(const MeshExportState& state, const char* path) noexcept;
