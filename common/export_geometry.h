// export_geometry: the geometry both mesh exporters gather from an object
// before their panels open, by one set of rules: points and polygons as the
// host scans them, which polygons can be written as triangles, their corners,
// face normals and smoothed corner normals, each polygon's texture
// coordinates from the first UV map that covers it, the object's surfaces,
// and the counts the panels' geometry lists show. Where the object comes
// from is the geometry's MeshSource (Modeler's mesh edit or Layout's mesh
// info); nothing here knows either exporter's state, which keeps an
// ExportGeometry as a member and adds its own (the reference exporter its
// skeleton and the points' weights, the static one its layer choice).
//
// The steps, in the order an exporter runs them:
//
//   export_collect_surfaces(geometry, global, object_name)
//       Once, before the scans. Records surfaces ("Surface Functions 2"): the object's own
//       (byObject) when object_name is given, else every surface of the
//       host, each with read_export_surface. EXPORT_OK; EXPORT_NO_SERVICE
//       when the service is missing, EXPORT_NO_MEMORY when the records could
//       not be made (no surfaces then, either way). A surface without a name
//       or texture is kept with what could be read.
//   export_geometry_allocate(geometry, objects)
//       Sizes the point and polygon records and their maps once from
//       point_count and polygon_count (negative counts are taken as 0) and
//       counts the UV maps ("Scene Objects 4" numVMaps "TXUV"). EXPORT_OK,
//       or EXPORT_NO_MEMORY with the records released. UV map names that
//       cannot be made leave the object without UVs.
//   export_scan(geometry)
//       The point scan, then the polygon scan, through the source (Modeler:
//       the geometry's `layers`); the callbacks below fill the records.
//   export_bind_corners(geometry)
//       Gives every valid polygon its corners (one array for all), binds each
//       corner to its point record or, when the scan did not record that
//       point ID, to a stand-in of its own in stray_points (zero position, no
//       polygon list), sets the face normal (Layout: export_face_normal;
//       Modeler: the host's, read in the scan), which every corner has until
//       smoothed, and lists each point's valid polygons once, in polygon
//       order.
//       EXPORT_OK, or EXPORT_NO_MEMORY: without corners no polygon stays
//       valid; without the lists corners keep their face normals.
//   export_smooth_normals(geometry)
//       For each valid polygon whose surface has a smoothing angle above 0:
//       every corner on a recorded point gets the normalised sum of the
//       face normal and the face normals of the point's other polygons
//       within the angle (within_smoothing_angle on float copies, summed in
//       double, normalised in float). Others keep the face normal.
//   export_assign_uvs(geometry, objects)
//       For each UV map in scene order ("Scene Objects 4" vmapName), every
//       valid polygon not yet covered reads its corners in order; the first
//       corner without a value ends the attempt (the corners before it keep
//       what they read), a polygon whose every corner has one takes the map:
//       has_uv 1, uv_map the geometry's copy of its name.
//   export_count_polygons(geometry, verify_uv)
//       The geometry lists' counts over the included polygons
//       (count_export_polygon).
//   export_geometry_release(geometry)
//       Frees every record, copy and map; counts and the scan index back to 0.
//       Safe on an empty or half-filled geometry and when called twice. The
//       source is the caller's and stays.
//
// Pointers between records stay valid because no array is resized once
// filled; a geometry is therefore neither copied nor moved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <lwmeshedt.h>
#include <lwmeshes.h>
#include <lwserver.h>

#include "big_block.h"
#include "export_counts.h"
#include "export_result.h"
#include "mapkit.h"
#include "mesh_source.h"
#include "surface_shading.h"

// Polygons of more points are never exported, so a record keeps at most four
// point IDs and corners.
constexpr int EXPORT_MAX_CORNERS = 4;

// Memory is what a large export costs most (every page is touched once):
// what a corner shares with the other corners of its point (position,
// polygons, and the reference exporter's weights) lives once, in its point.
struct ExportPoint {
    LWPntID id;
    double position[3];  // host axes, unscaled (Layout's base position); zero for a stand-in
    int polygon_count;   // corners of valid polygons that use the point
    LWPolID* polygons;   // polygon_count entries in point_polygons, each polygon once, unused ones null
};

// A corner's normal is its polygon's face normal (double: Modeler's is the
// host's) unless smoothing gave it one of its own, which is normalised in
// float; keeping only that float makes a corner 32 bytes instead of 40.
// export_corner_normal gives the normal a corner is written with.
struct ExportCorner {
    ExportPoint* point;  // its record or stand-in; never null once bound
    float u, v;          // every value is one of the host's floats
    float normal[3];     // the smoothed normal, host axes; only when `smoothed`
    std::uint8_t smoothed;  // 1: `normal` holds; 0: the polygon's face normal does
};

// One surface text as polygons carry it, once per text: the text, and the
// surface record of that name when there is one (found when first met).
struct ExportSurfaceName {
    std::string text;
    const ExportSurface* surface;
};

// One per polygon of the object, so the yes/no fields are bytes and the
// record is 104 bytes with 64-bit IDs.
struct ExportPolygon {
    LWPolID id;     // null for a record the scan never filled
    int size;       // the host's point count, whatever it is
    LWID type;      // the host's polygon type code
    int layer;      // Modeler's layer number (0 in Layout)
    std::uint8_t valid;     // 1: a face of 3 or 4 points
    std::uint8_t has_uv;    // 1: one UV map covered every corner
    std::uint8_t included;  // 1: to be counted and written (from the scan; the static
                            // exporter clears it for polygons outside its layer choice)
    LWPntID point_ids[EXPORT_MAX_CORNERS];  // valid polygons only
    double normal[3];                       // unit face normal, host axes
    const ExportSurfaceName* surface;       // null: the host gave no surface name
    const char* uv_map;                     // into uv_map_names; null: none
    ExportCorner* corners;                  // `size` corners for a valid polygon; else null
};

struct ExportGeometry {
    ExportGeometry() = default;
    ExportGeometry(const ExportGeometry&) = delete;
    ExportGeometry& operator=(const ExportGeometry&) = delete;

    MeshSource source{};
    int layers = 0;         // Modeler: the layers the scans visit (OPLYR_ codes)
    int point_count = 0;    // records to make (the host's counts)
    int polygon_count = 0;
    int scan_index = 0;     // next record a scan fills

    // A large object's records take hundreds of megabytes: big blocks.
    BigVector<ExportPolygon> polygons;    // polygon_count records, scan order
    BigVector<ExportPoint> points;        // point_count records, scan order
    std::vector<ExportPoint> stray_points;  // stand-ins for corner points the scan did not record
    BigVector<ExportCorner> corners;      // storage of every valid polygon's corners
    BigVector<LWPolID> point_polygons;    // storage of every ExportPoint::polygons
    IntMap polygon_map{};                 // polygon ID -> ExportPolygon*
    IntMap point_map{};                   // point ID -> ExportPoint*

    int uv_map_count = 0;                   // "TXUV" maps of the scene
    std::vector<std::string> uv_map_names;  // uv_map_count entries; ExportPolygon::uv_map points here

    std::vector<ExportSurface> surfaces;  // host order
    StringMap surface_map{};              // surface name -> ExportSurface* (keys: the records' names)
    // Each distinct surface text of the polygons, once (the records stay in
    // place when the vector grows); surface_name_map finds them by text.
    std::vector<std::unique_ptr<ExportSurfaceName>> surface_names;
    StringMap surface_name_map{};
};

ExportResult export_collect_surfaces(ExportGeometry& geometry, GlobalFunc* global, const char* object_name) noexcept;
ExportResult export_geometry_allocate(ExportGeometry& geometry, const LWObjectFuncs& objects) noexcept;
void export_scan(ExportGeometry& geometry) noexcept;
ExportResult export_bind_corners(ExportGeometry& geometry) noexcept;
void export_smooth_normals(ExportGeometry& geometry) noexcept;
void export_assign_uvs(ExportGeometry& geometry, const LWObjectFuncs& objects) noexcept;
ExportCounts export_count_polygons(const ExportGeometry& geometry, int verify_uv) noexcept;
void export_geometry_release(ExportGeometry& geometry) noexcept;

// The normal a corner of the polygon is written with, host axes.
inline void export_corner_normal(const ExportPolygon& polygon, const ExportCorner& corner, double out[3]) noexcept {
    for (int k = 0; k < 3; ++k) out[k] = corner.smoothed != 0 ? corner.normal[k] : polygon.normal[k];
}

// The scan callbacks (data: the ExportGeometry). Each stores one record at
// scan_index and goes on (0); it stops the scan (1) when the geometry or the
// host's record is missing, or once the counted records are all filled, so
// nothing beyond them is stored. Modeler's polygon scan also stops when a
// surface text cannot be copied; Layout's goes on without the surface.
int export_scan_layout_point(void* data, LWPntID point) noexcept;
int export_scan_layout_polygon(void* data, LWPolID polygon) noexcept;
EDError export_scan_modeler_point(void* data, const EDPointInfo* point) noexcept;
EDError export_scan_modeler_polygon(void* data, const EDPolygonInfo* polygon) noexcept;

// Layout's face normal: the unit normal of the plane through corners 0, 1 and
// the last one, computed in floats from the corners' positions; sets the
// polygon's normal. A polygon without bound corners is left alone.
void export_face_normal(ExportPolygon& polygon) noexcept;

// The records of host IDs; null when the scan did not record the ID.
ExportPolygon* export_find_polygon(const ExportGeometry& geometry, LWPolID id) noexcept;
ExportPoint* export_find_point(const ExportGeometry& geometry, LWPntID id) noexcept;

// A point's number among all points the corners may refer to: its index in
// points, or points.size() plus its index in stray_points; SIZE_MAX for a
// record of neither. Lets an exporter keep more per point in an array of its
// own.
std::size_t export_point_index(const ExportGeometry& geometry, const ExportPoint* point) noexcept;
inline std::size_t export_point_total(const ExportGeometry& geometry) noexcept {
    return geometry.points.size() + geometry.stray_points.size();
}

// Whether the polygon's triangles are written: valid with corners, included,
// and covered by a UV map unless UVs are not verified (verify_uv 0).
inline bool export_polygon_written(const ExportPolygon& polygon, int verify_uv) noexcept {
    return polygon.valid != 0 && polygon.included == 1 && polygon.corners != nullptr &&
           (polygon.has_uv == 1 || verify_uv == 0);
}

// The text the polygon's triangles are grouped under, before blanks become
// underscores (export_material_name over its surface and UV map); a polygon
// the host gave no surface name is "default". Never null.
const char* export_polygon_material(int group_by, const ExportPolygon& polygon) noexcept;
