// mesh_state: what the static mesh exporter reads from Modeler's current
// object before its panel opens, and the steps that read it.
//
// One MeshExportState per activation, created by the activation (every member
// starts zero or empty, the settings at the panel's defaults), which also
// gives it the global function, the messages, the panel services, the open
// mesh edit and the object's name. The panel code then runs, once:
//
//   mesh_allocate(state)   EXPORT_OK, EXPORT_NO_SERVICE (5: no "Scene Objects 4";
//                          nothing is collected) or EXPORT_NO_MEMORY (1: the
//                          arrays could not be made; they stay empty). Counts
//                          the points and polygons of the `export_layers`
//                          layers, records the object's surfaces, sizes the
//                          geometry's records and maps once from the counts,
//                          counts the UV maps.
//   mesh_collect(state)    after a successful mesh_allocate: the shared
//                          geometry core's scans, corners, smoothed normals
//                          and UVs over the edit, then mesh_count_polygons.
//                          EXPORT_OK, or EXPORT_NO_MEMORY when a step ran
//                          short (the records are then consistent but
//                          incomplete: corners without lists keep their face
//                          normals).
//
// and while the panel is open:
//
//   mesh_count_polygons(state)        rewrites the five counters from the
//                                     `included` polygons and verify_uv.
//   mesh_mark_layers(state)           `included` = lies in `export_layers`
//                                     (a polygon scan), then the counters.
//                                     Nothing else is read again.
//   mesh_select_invalid(state, row)   marks, with the edit's polSelect, the
//                                     included polygons of one row of the
//                                     "Invalid Geometry List" (0 no UVs,
//                                     1 degenerate, 2 five or more points,
//                                     3 not a face); the host shows them
//                                     selected when the edit ends.
//
//   mesh_release(state)    frees every array, copy and map; counters 0,
//                          selecting -1. Safe on a zeroed or half-filled
//                          state and when called twice. The edit itself is
//                          the activation's to end.
//
// Who frees what: the state owns everything but the host's records
// (services, the edit, point and polygon IDs) and the panel, which the panel
// code destroys before the state is released. The geometry (export_geometry.h)
// follows the same rules as the reference exporter's, which uses the same
// core over Layout's mesh info.
#pragma once

#include <string>

#include <lwhost.h>
#include <lwmeshedt.h>
#include <lwmeshes.h>
#include <lwmodeler.h>
#include <lwpanel.h>
#include <lwserver.h>

#include "export_counts.h"
#include "export_geometry.h"
#include "export_names.h"
#include "export_result.h"

// "Export Layers:" choices, as the edit's layer codes.
constexpr int MESH_LAYERS_ALL = OPLYR_NONEMPTY;  // "All layers": every layer with geometry
constexpr int MESH_LAYERS_FOREGROUND = OPLYR_FG;  // "Foreground only"

// Rows of the "Invalid Geometry List", the categories mesh_select_invalid takes.
constexpr int MESH_ROW_NO_UV = 0;
constexpr int MESH_ROW_DEGENERATE = 1;
constexpr int MESH_ROW_FIVE_PLUS = 2;
constexpr int MESH_ROW_NON_FACE = 3;
constexpr int MESH_INVALID_ROWS = 4;

// The panel's controls, set by the panel code.
struct MeshControls {
    LWControl* object;
    LWControl* layers;
    LWControl* group_by;
    LWControl* verify;
    LWControl* valid_list;
    LWControl* invalid_list;
    LWControl* uv_template;
    LWControl* scale_box;
    LWControl* scale_value;
    float scale_kept;  // the scale field's last good value (panel_scale_setting)
    LWControl* save_hint;
    LWControl* save;
};

struct MeshExportState {
    MeshExportState() = default;
    MeshExportState(const MeshExportState&) = delete;
    MeshExportState& operator=(const MeshExportState&) = delete;

    // ---- The object (set by the activation) -----------------------------------
    std::string object_name;  // "LWM: State Query 3" object; empty: none

    // ---- Geometry (geometry.cpp) ------------------------------------------------
    // Source: the edit; layers: export_layers at collection time; counts:
    // the points and polygons of those layers.
    ExportGeometry geometry;

    // ---- Host (set by the activation) -------------------------------------------
    MeshEditOp* edit = nullptr;
    GlobalFunc* global = nullptr;
    const LWMessageFuncs* messages = nullptr;  // "Info Messages 2"

    // ---- Counters (the panel's rows) ----------------------------------------------
    ExportCounts counts{};

    // ---- Settings and panel (panel.cpp) --------------------------------------------
    int group_by = GROUP_BY_UV_MAP;
    int export_layers = MESH_LAYERS_ALL;
    int verify_uv = 1;        // 1: triangles without complete UVs are left out
    float scale = 40.0f;      // position factor used by the writer
    LWPanelFuncs* panel_funcs = nullptr;  // "LWPanelServices"
    LWPanelID panel = nullptr;
    MeshControls controls{};
    std::string object_label;  // "Object: <name>"
    char cell_text[16] = {};   // a list cell's number, handed to the toolkit

    int selecting = -1;  // the invalid-geometry row being selected; -1 when idle
};

// ---- geometry.cpp ----------------------------------------------------------------
ExportResult mesh_allocate(MeshExportState& state) noexcept;
ExportResult mesh_collect(MeshExportState& state) noexcept;
void mesh_count_polygons(MeshExportState& state) noexcept;
void mesh_mark_layers(MeshExportState& state) noexcept;
void mesh_select_invalid(MeshExportState& state, int row) noexcept;
void mesh_release(MeshExportState& state) noexcept;

// Sets `included` on the scanned polygon's record; unknown polygons are
// passed over.
EDError mesh_mark_polygon(void* data, const EDPolygonInfo* polygon) noexcept;
