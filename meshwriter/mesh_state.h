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
//                          arrays could not be made; both stay empty). Counts
//                          the points and polygons of the `export_layers`
//                          layers, records the object's surfaces
//                          (mesh_collect_surfaces), sizes the arrays and maps
//                          once from the counts, counts the UV maps.
//   mesh_collect(state)    after a successful mesh_allocate: the point scan,
//                          the polygon scan, mesh_bind_corners,
//                          mesh_smooth_normals, mesh_assign_uvs,
//                          mesh_count_polygons. EXPORT_OK, or EXPORT_NO_MEMORY
//                          when a step ran short (the records are then
//                          consistent but incomplete: corners without lists
//                          keep their face normals).
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
// code destroys before the state is released. Texts from the host are copied
// once: a polygon's surface name points at the state's one copy of that text
// (surface_names), its uv_map at the state's copy of that map's name
// (uv_map_names), each point's polygon list into the one point_polygons
// array, each valid polygon's corners into the one corners array. Pointers
// between records stay valid because no array is resized after it is
// filled; the state is therefore neither copied nor moved.
//
// The collection follows the same rules as the reference exporter's
// (rigwriter/ref_state.h); where Modeler's services differ (the host's face
// normal, per-polygon values through pointVEval), the difference is noted at
// the function.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <lwhost.h>
#include <lwmeshedt.h>
#include <lwmeshes.h>
#include <lwmodeler.h>
#include <lwpanel.h>
#include <lwserver.h>
#include <lwsurf.h>

#include "export_counts.h"
#include "export_names.h"
#include "export_result.h"
#include "mapkit.h"
#include "surface_shading.h"

// "Export Layers:" choices, as the edit's layer codes.
constexpr int MESH_LAYERS_ALL = OPLYR_NONEMPTY;  // "All layers": every layer with geometry
constexpr int MESH_LAYERS_FOREGROUND = OPLYR_FG;  // "Foreground only"

// Rows of the "Invalid Geometry List", the categories mesh_select_invalid takes.
constexpr int MESH_ROW_NO_UV = 0;
constexpr int MESH_ROW_DEGENERATE = 1;
constexpr int MESH_ROW_FIVE_PLUS = 2;
constexpr int MESH_ROW_NON_FACE = 3;
constexpr int MESH_INVALID_ROWS = 4;

// Polygons of more points are never exported, so a record keeps at most four
// point IDs and corners.
constexpr int MESH_MAX_CORNERS = 4;

// One surface name as polygons carry it: the text, and the surface record of
// that name when the object has one (found once, when the text is first met).
struct MeshSurfaceName {
    std::string text;
    const ExportSurface* surface;
};

struct MeshPoint {
    LWPntID id;
    int flags;             // the host's EDDF_ bits
    int layer;             // Modeler's layer number
    int use_count;         // corners of valid polygons that use the point
    double position[3];    // host axes, unscaled
    LWPolID* polygon_list; // use_count entries in point_polygons: each valid polygon once, unused ones null
};

// A corner's position is its point's; the corner refers to the point record
// instead of copying it. Texture coordinates are floats because every value
// they hold is one of the host's floats.
struct MeshCorner {
    MeshPoint* point;  // null when the point scan did not record the point
    float u, v;
    double normal[3];        // the face normal, or the smoothed one; zero without a point
};

struct MeshPolygon {
    LWPolID id;      // null for a record the scan never filled
    int valid;       // a face of 3 or 4 points
    int has_uv;      // one UV map covered every corner
    int size;        // the host's point count, whatever it is
    LWPntID point_ids[MESH_MAX_CORNERS];  // valid polygons only
    double face_normal[3];                // the host's unit normal (faces of 3 or more points)
    const MeshSurfaceName* surface;       // null: the host gave no surface name
    const char* uv_map;                   // into uv_map_names; null: none
    int layer;       // Modeler's layer number
    int flags;       // the host's EDDF_/EDPF_ bits
    LWID type;       // the host's polygon type code
    MeshCorner* corners;  // `size` corners in `corners` for a valid polygon; else null
    int included;    // lies in the layers chosen under "Export Layers:"
};

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
    int scan_index = 0;     // next record a scan fills
    int polygon_count = 0;  // polygons in export_layers at collection time
    int point_count = 0;    // points likewise
    int surface_count = 0;
    int uv_map_count = 0;   // "TXUV" maps ("Scene Objects 4")
    IntMap polygon_map{};   // polygon ID -> MeshPolygon*
    IntMap point_map{};     // point ID -> MeshPoint*
    StringMap surface_map{};  // surface name -> ExportSurface* (keys: the records' names)
    std::vector<ExportSurface> surfaces;   // surface_count records, host order
    std::vector<MeshPolygon> polygons;   // polygon_count records, scan order
    std::vector<MeshPoint> points;       // point_count records, scan order
    std::vector<MeshCorner> corners;     // storage of every valid polygon's corners
    std::vector<LWPolID> point_polygons; // storage of every MeshPoint::polygon_list
    std::vector<std::string> uv_map_names;  // uv_map_count entries; MeshPolygon::uv_map points here
    // Each distinct surface text of the polygons, once (the records stay in
    // place when the vector grows); surface_name_map finds them by text.
    std::vector<std::unique_ptr<MeshSurfaceName>> surface_names;
    StringMap surface_name_map{};

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

// Scan callbacks (data: the MeshExportState). EDERR_NONE continues. They
// stop the scan (1) when the state or the record is missing or once the
// counted records are all filled (nothing beyond them is stored);
// mesh_scan_polygon also when a surface name cannot be copied.
EDError mesh_scan_point(void* data, const EDPointInfo* point) noexcept;
EDError mesh_scan_polygon(void* data, const EDPolygonInfo* polygon) noexcept;
// Sets `included` on the scanned polygon's record; unknown polygons are
// passed over.
EDError mesh_mark_polygon(void* data, const EDPolygonInfo* polygon) noexcept;

// EXPORT_OK, or EXPORT_NO_MEMORY when the corner array (then no polygon stays
// valid) or the points' polygon lists (then corners keep their face normals)
// could not be made.
ExportResult mesh_bind_corners(MeshExportState& state) noexcept;
void mesh_smooth_normals(MeshExportState& state) noexcept;
void mesh_assign_uvs(MeshExportState& state) noexcept;

// ---- surfaces.cpp ----------------------------------------------------------------
// Records the object's surfaces (every surface of the host when the object
// has no name). Missing services or allocations leave no surfaces;
// EXPORT_NO_MEMORY only when the records themselves could not be made.
ExportResult mesh_collect_surfaces(MeshExportState& state) noexcept;
