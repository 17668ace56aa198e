// ref_state: what the reference mesh exporter gathers about the selected
// object before its panel opens, and the steps that gather and write it.
//
// One RefExportState per activation. The activation creates it (every member
// starts zero or empty, the settings at the panel's initial values), fills the host services, object, object_file, mesh, point_count
// and polygon_count, then:
//
//   ref_allocate(state)   0, EXPORT_NO_MEMORY (1) or EXPORT_NO_SERVICE (5: no mesh
//                         or no "Scene Objects 4"). Sizes every array and map
//                         once from the counts: polygons, points, surfaces
//                         (ref_collect_surfaces), weight maps, bones. On a
//                         failure whatever was allocated stays in the state for
//                         ref_release; the panel must not open.
//   ref_collect(state)    the whole gathering, in this order:
//                         ref_collect_weight_maps; ref_scan_point through the
//                         mesh's scanPoints; ref_scan_polygon through
//                         scanPolys; ref_bind_corners; ref_smooth_normals;
//                         ref_collect_bones; ref_assign_uvs;
//                         ref_assign_weights; ref_count_polygons.
//                         Returns 0, or EXPORT_NO_MEMORY when a step ran out of
//                         memory on the way (the state is then consistent
//                         but incomplete; treat it like a failed
//                         ref_allocate: release, no panel).
//   ref_count_polygons(state)   recomputes `counts` from the polygons and the
//                         verify_uv setting; the panel calls it again when
//                         "Don't verify UV information" changes.
//   ref_write_smd(state, stream)  (writer.h) writes the reference file.
//   ref_release(state)    frees every array, name copy and map, and destroys
//                         the mesh info through its `destroy` when that is
//                         set. Safe on a zeroed or half-filled state and when
//                         called twice.
//
// Who fills what
//
//   activation and panel code   global, item_info, object_info, messages,
//       object, object_file, mesh, point_count, polygon_count, the panel
//       block, and the settings while the panel is open.
//   geometry.cpp   points and stray_points (but their weights), polygons,
//       corners, point_polygons, point_map, polygon_map, uv_map_count,
//       uv_map_names, tag_names, counts.
//   surfaces.cpp   surfaces, surface_map, RefPolygon::surface lookups.
//   skeleton.cpp   weight_maps, bones, bone_map, weight_bone_map,
//       bone_count, null_bone_count, the points' weights and influences.
//
// Who frees what: the state owns everything it points at except the host's
// records (services, item IDs, point and polygon IDs, vertex map handles)
// and the panel block, which the panel code creates and destroys before the
// state is released. Texts from the host are copied once: each RefPolygon's
// uv_map points at the state's copy of that map's name (uv_map_names), each
// point's polygons into the one point_polygons array. Pointers between the
// records stay valid because every array is sized once (corners,
// stray_points and point_polygons in ref_bind_corners, the rest in
// ref_allocate); the state is therefore neither copied nor moved.
//
// Names that are absent: the std::string fields (object_file, surface and
// bone names, texture_image, weight_map) use the empty text for "none"; a
// bone whose weight map name is empty is a null bone. A copy that fails for
// lack of memory leaves the field empty (a bone then keeps an empty name and
// is written as ""). RefPolygon::uv_map is null for "none".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <lwhost.h>
#include <lwmeshes.h>
#include <lwpanel.h>
#include <lwrender.h>
#include <lwserver.h>
#include <lwsurf.h>

#include "export_counts.h"
#include "export_names.h"
#include "export_result.h"
#include "mapkit.h"
#include "surface_shading.h"

// Polygons of more points are never exported, so a record keeps at most four
// point IDs and corners.
constexpr int REF_MAX_CORNERS = 4;
// Bone influences kept per point (and so per corner).
constexpr int REF_MAX_INFLUENCES = 3;

struct RefBone;

struct RefWeightMap {
    std::string name;  // empty when the scene gave none (or the copy failed)
    void* handle;      // the mesh's handle ("WGHT" pntVLookup); null when the object lacks the map
    // What weight_bone_map gives for name, noted by ref_assign_weights so the
    // writer needs no string look-up per corner; null when no bone names it.
    const RefBone* bone;
};

// Memory is what a large export costs most (every page is touched once), so
// the per-corner records are lean:
//   - a corner's position, weights and influences depend only on its point,
//     so they live once in the RefPoint the corner refers to;
//   - normals and texture coordinates are floats: every value they hold comes
//     from a float (the host's UV values, normals normalised in float), so
//     nothing is lost; sums of normals are formed in double where that
//     matters.
struct RefPoint {
    LWPntID id;
    float position[3];  // base position, host axes; zero for a stand-in
    int polygon_count;  // corners of valid polygons that use the point
    LWPolID* polygons;  // polygon_count entries in point_polygons, each polygon once, unused ones null
    float weights[REF_MAX_INFLUENCES];  // largest first after ref_assign_weights
    const RefWeightMap* influences[REF_MAX_INFLUENCES];  // null: empty slot
};

struct RefCorner {
    // The corner's point: its record in `points`, or, when the scan did not
    // record that point ID, a stand-in in `stray_points` (zero position, no
    // polygon list, its own weights). Never null once bound.
    const RefPoint* point;
    float u, v;
    float normal[3];  // smoothed corner normal, host axes
};

struct RefPolygon {
    LWPolID id;   // null for a slot the scan never filled
    int valid;    // a "FACE" of 3 or 4 points
    int has_uv;   // one UV map covered every corner
    int size;     // the host's point count, whatever it is
    LWID type;    // the host's polygon type code
    LWPntID point_ids[REF_MAX_CORNERS];  // valid polygons only
    float normal[3];                      // unit face normal, host axes
    ExportSurface* surface;                  // null: no known surface
    const char* uv_map;                   // points into uv_map_names; null: none
    // The "SURF" tag text when it names no recorded surface (copied once per
    // text into tag_names); the material name falls back to it. Else null.
    const char* tag_name;
    // `size` corners in the state's corner array for a valid polygon (set by
    // ref_bind_corners), so that triangles do not carry a fourth; null for
    // any other polygon.
    RefCorner* corners;
};

struct RefBone {
    LWItemID id;
    LWItemID parent_id;  // the parent bone, or null for a root bone
    int index;           // node number
    std::string name;
    double position[3];  // rest position, host axes (world for a root bone)
    double rotation[3];  // heading, pitch, bank: rest rotation then pivot rotation
    std::string weight_map;  // empty: a null bone
};

// The panel code's own record (its controls); declared and owned there.
struct RefPanel;

struct RefExportState {
    RefExportState() = default;
    RefExportState(const RefExportState&) = delete;
    RefExportState& operator=(const RefExportState&) = delete;

    // ---- Host services (set by the activation) --------------------------------
    GlobalFunc* global = nullptr;
    const LWItemInfo* item_info = nullptr;      // "LW Item Info 3"
    const LWObjectInfo* object_info = nullptr;  // "LW Object Info 4"
    const LWMessageFuncs* messages = nullptr;   // "Info Messages 2"

    // ---- Panel (set and cleared by the panel code) ----------------------------
    // The panel is destroyed before the state is released, so ref_release
    // leaves these alone.
    LWPanelFuncs* panel_funcs = nullptr;  // "LWPanelServices"
    LWPanelID panel = nullptr;
    RefPanel* panel_data = nullptr;

    // ---- The selected object ----------------------------------------------------
    LWItemID object = nullptr;
    std::string object_file;     // "LW Object Info 4" filename; empty when none
    LWMeshInfo* mesh = nullptr;  // frozen mesh info; ref_release destroys it
    int point_count = 0;         // mesh numPoints
    int polygon_count = 0;       // mesh numPolygons

    // ---- Geometry (geometry.cpp) --------------------------------------------------
    std::vector<RefPolygon> polygons;     // polygon_count records, scan order
    std::vector<RefPoint> points;         // point_count records, scan order
    std::vector<RefPoint> stray_points;   // stand-ins for corner points the scan did not record
    std::vector<RefCorner> corners;       // storage of every valid polygon's corners
    std::vector<LWPolID> point_polygons;  // storage of every RefPoint::polygons
    IntMap polygon_map{};                 // polygon ID -> RefPolygon*
    IntMap point_map{};                   // point ID -> RefPoint*
    int uv_map_count = 0;                 // "TXUV" maps of the scene
    std::vector<std::string> uv_map_names;  // uv_map_count entries; RefPolygon::uv_map points here

    // ---- Surfaces (surfaces.cpp) --------------------------------------------------
    std::vector<ExportSurface> surfaces;  // one per scene surface, host order
    StringMap surface_map{};           // surface name -> ExportSurface* (keys: the records' names)
    // "SURF" tags that name no recorded surface, once each (the strings stay
    // in place when the vector grows); tag_name_map finds them by text.
    std::vector<std::unique_ptr<std::string>> tag_names;
    StringMap tag_name_map{};

    // ---- Skeleton (skeleton.cpp) --------------------------------------------------
    std::vector<RefWeightMap> weight_maps;  // one per "WGHT" map of the scene, scene order
    std::vector<RefBone> bones;             // node order
    int bone_count = 0;            // bones recorded (the object's bone count until ref_collect_bones ran)
    int null_bone_count = 0;       // recorded bones without a weight map
    IntMap bone_map{};             // bone item ID -> RefBone*
    StringMap weight_bone_map{};   // weight map name -> RefBone* (keys: the bones' weight_map)

    // ---- Results and settings ---------------------------------------------------
    ExportCounts counts{};
    int group_by = GROUP_BY_UV_MAP;
    int verify_uv = 1;           // 1: triangles without complete UVs are left out
    int include_null_bones = 1;  // 1: null bones are listed in the nodes section
    float scale = 40.0f;         // position factor used by the writer

    int scan_index = 0;  // next record to fill during a scan or while adding bones
};

// ---- geometry.cpp --------------------------------------------------------------
ExportResult ref_allocate(RefExportState& state) noexcept;
ExportResult ref_collect(RefExportState& state) noexcept;
void ref_count_polygons(RefExportState& state) noexcept;
void ref_release(RefExportState& state) noexcept;

// Scan callbacks (data: the RefExportState). 0 continues; 1 stops the scan
// when the state or the ID is missing, or when the host reports more
// elements than it counted (nothing beyond the counted records is stored).
int ref_scan_point(void* data, LWPntID point) noexcept;
int ref_scan_polygon(void* data, LWPolID polygon) noexcept;

// 0, or EXPORT_NO_MEMORY when the corner array or the points' polygon lists
// could not be allocated. Without corners no polygon stays valid; without
// the lists corners keep their face normals.
ExportResult ref_bind_corners(RefExportState& state) noexcept;
// Unit normal of the plane through corners 0, 1 and the last one, computed in
// floats from the corners' positions; polygon.normal and every corner normal.
void ref_face_normal(RefPolygon& polygon) noexcept;
void ref_smooth_normals(RefExportState& state) noexcept;
void ref_assign_uvs(RefExportState& state) noexcept;

// ---- skeleton.cpp --------------------------------------------------------------
void ref_collect_weight_maps(RefExportState& state) noexcept;
// 0, or EXPORT_NO_SERVICE when "LW Bone Info 3" (or Item Info) is missing: no
// bone is recorded and bone_count becomes 0.
ExportResult ref_collect_bones(RefExportState& state) noexcept;
// Returns 1 when the bone was recorded; 0 when it was already there or the
// bones array (sized from the object's bone count) is full.
int ref_add_bone(LWItemID bone, RefExportState& state, const LWBoneInfo* bone_info) noexcept;
// Fills every point's (and stand-in's) weights and influences; a corner
// reads them through its point. 0, or EXPORT_NO_MEMORY when the list of maps
// could not be made (no influences then).
ExportResult ref_assign_weights(RefExportState& state) noexcept;

// ---- surfaces.cpp --------------------------------------------------------------
// 0, EXPORT_NO_MEMORY, or EXPORT_NO_SERVICE when "Surface Functions 2" is missing
// (no surface is recorded then).
ExportResult ref_collect_surfaces(RefExportState& state) noexcept;
// The text a polygon's triangles are grouped under, before blanks are
// replaced; never null: see surfaces.cpp for the fallbacks.
const char* ref_material_name(const RefExportState& state, const RefPolygon& polygon) noexcept;
