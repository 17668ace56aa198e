// ref_state: what the reference mesh exporter gathers about the selected
// object before its panel opens, and the steps that gather and write it.
//
// One RefExportState per activation. The activation creates it (every member
// starts zero or empty, the settings at the panel's initial values), fills
// the host services, object, object_file, mesh, and the geometry's source
// and point and polygon counts, then:
//
//   ref_allocate(state)   0, EXPORT_NO_MEMORY (1) or EXPORT_NO_SERVICE (5: no mesh
//                         or no "Scene Objects 4"). Records every surface of
//                         the scene and sizes every array and map once from
//                         the counts: the geometry (export_geometry.h),
//                         weight maps, bones. On a failure whatever was
//                         allocated stays in the state for ref_release; the
//                         panel must not open.
//   ref_collect(state)    the whole gathering, in this order:
//                         ref_collect_weight_maps; the geometry's scans,
//                         corners, smoothed normals; ref_collect_bones; the
//                         geometry's UVs; ref_assign_weights;
//                         ref_count_polygons. Returns 0, or EXPORT_NO_MEMORY
//                         when a step ran out of memory on the way (the
//                         state is then consistent but incomplete; treat it
//                         like a failed ref_allocate: release, no panel).
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
//       object, object_file, mesh, the geometry's source and counts, the
//       panel block, and the settings while the panel is open.
//   geometry.cpp   the steps above, over the shared geometry core.
//   skeleton.cpp   weight_maps, bones, bone_map, weight_bone_map,
//       bone_count, null_bone_count, point_weights.
//
// Who frees what: the state owns everything it points at except the host's
// records (services, item IDs, point and polygon IDs, vertex map handles)
// and the panel block, which the panel code creates and destroys before the
// state is released. Pointers between the records stay valid because every
// array is sized once; the state is therefore neither copied nor moved.
//
// Names that are absent: the std::string fields (object_file, bone names,
// weight_map) use the empty text for "none"; a bone whose weight map name is
// empty is a null bone. A copy that fails for lack of memory leaves the field
// empty (a bone then keeps an empty name and is written as "").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <lwhost.h>
#include <lwmeshes.h>
#include <lwpanel.h>
#include <lwrender.h>
#include <lwserver.h>

#include "export_counts.h"
#include "export_geometry.h"
#include "export_names.h"
#include "export_result.h"
#include "mapkit.h"

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

// A point's bone influences. A corner's weights depend only on its point, so
// they are kept once per point (and per stand-in), in point_weights, in the
// geometry's point numbering (export_point_index). There is one record per
// point, so a slot names its map by number rather than by pointer (24 bytes
// a point, not 40); ref_influence gives the map.
struct RefPointWeights {
    float weights[REF_MAX_INFLUENCES];  // largest first after ref_assign_weights
    // 1 + the map's index in weight_maps; 0: an empty slot, so a zeroed
    // record has none.
    std::uint32_t influences[REF_MAX_INFLUENCES];
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
    // Its points, polygons and surfaces; source: the mesh, counts: its
    // numPoints and numPolygons.
    ExportGeometry geometry;

    // ---- Skeleton (skeleton.cpp) --------------------------------------------------
    std::vector<RefWeightMap> weight_maps;  // one per "WGHT" map of the scene, scene order
    std::vector<RefBone> bones;             // node order
    int bone_count = 0;            // bones recorded (the object's bone count until ref_collect_bones ran)
    int null_bone_count = 0;       // recorded bones without a weight map
    IntMap bone_map{};             // bone item ID -> RefBone*
    StringMap weight_bone_map{};   // weight map name -> RefBone* (keys: the bones' weight_map)
    // One per point and stand-in (export_point_total), made by ref_assign_weights.
    BigVector<RefPointWeights> point_weights;

    // ---- Results and settings ---------------------------------------------------
    ExportCounts counts{};
    int group_by = GROUP_BY_UV_MAP;
    int verify_uv = 1;           // 1: triangles without complete UVs are left out
    int include_null_bones = 1;  // 1: null bones are listed in the nodes section
    float scale = 40.0f;         // position factor used by the writer

    int scan_index = 0;  // next record to fill while adding bones
};

// ---- geometry.cpp --------------------------------------------------------------
ExportResult ref_allocate(RefExportState& state) noexcept;
ExportResult ref_collect(RefExportState& state) noexcept;
void ref_count_polygons(RefExportState& state) noexcept;
void ref_release(RefExportState& state) noexcept;

// ---- skeleton.cpp --------------------------------------------------------------
void ref_collect_weight_maps(RefExportState& state) noexcept;
// 0, or EXPORT_NO_SERVICE when "LW Bone Info 3" (or Item Info) is missing: no
// bone is recorded and bone_count becomes 0.
ExportResult ref_collect_bones(RefExportState& state) noexcept;
// Returns 1 when the bone was recorded; 0 when it was already there or the
// bones array (sized from the object's bone count) is full.
int ref_add_bone(LWItemID bone, RefExportState& state, const LWBoneInfo* bone_info) noexcept;
// Fills point_weights: every point's (and stand-in's) weights and
// influences; a corner reads them through its point. 0, or EXPORT_NO_MEMORY
// when the weights or the list of maps could not be made (no influences
// then).
ExportResult ref_assign_weights(RefExportState& state) noexcept;

// A point's weights; null for a point of no record or before
// ref_assign_weights made them.
const RefPointWeights* ref_point_weights(const RefExportState& state, const ExportPoint* point) noexcept;
// The weight map of a slot; null for an empty slot.
const RefWeightMap* ref_influence(const RefExportState& state, const RefPointWeights& weights, int slot) noexcept;
