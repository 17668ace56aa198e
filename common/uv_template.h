// The UV template image exporter, shared by both mesh exporters: a small
// panel where the user picks a UV map, the side of a square image and two
// colours; "Save UV Template Image" asks for a file name, draws the outline
// of every polygon of the object in that UV map and saves the picture through
// the host's Targa saver. Both mesh exporters link it (lwsmd_uvtemplate):
// meshwriter from Modeler, rigwriter from Layout; only where the polygons
// come from differs, and the caller passes that in as a `MeshSource`.
// Nothing here knows either exporter's state record.
//
// How an exporter opens it, from its "UV Template Image Options" button
// event (the exporter keeps owning everything it hands over):
//
//   UvTemplateSource source{};
//   source.global = global;              // the activation's global function
//   source.messages = messages;          // its "Info Messages 2" record
//   source.panels = panels;              // "LWPanelServices", globalFun already set
//   source.uv_map_count = uv_map_count;  // "Scene Objects 4" numVMaps("TXUV")
//   source.polygons = mesh_source_modeler(edit);  // meshwriter: the open mesh edit
//   source.polygons = mesh_source_layout(mesh);   // rigwriter: the selected object's mesh info
//   uv_template_open(control, source);
//
//   UvTemplateResult uv_template_open(control, source)
//       Builds the "UV Template Exporter" panel (320 x 210: "UV Map:" popup
//       listing uv_map_count maps by "Scene Objects 4" vmapName("TXUV", i),
//       "UV Template Image Size:" 512, "Foreground Color" black,
//       "Background Color" white, "Save UV Template Image"), opens it
//       blocking and destroys it. `control` is the exporter's pressed button
//       (unused). Returns UV_TEMPLATE_OK, or UV_TEMPLATE_NO_PANEL after
//       showing "Unable to create UV Template Panel!". `source` must outlive
//       the call; nothing is kept afterwards.
//
//   void uv_template_save(control, request)
//       The save button's event (`request` is the panel's
//       UvTemplateRequest). Asks "File Request 2" for a name ("Save TGA
//       Image", file type "Images", proposed name: the map's name + ".tga")
//       with three 1024-byte buffers of its own, kept while the plug-in is
//       loaded; renders on success. Stops silently when the map has no name,
//       the requester is missing or cancelled, or the size is 0 or less;
//       shows "Error saving UV Template Image!" when rendering fails.
//
//   UvTemplateResult uv_template_render(full_name, source, uv_map_name, image_size,
//                          foreground, background)
//       Creates an image_size square RGB image ("Image Utility"), fills it
//       with `background`, draws every polygon's outline in the map in
//       `foreground`, saves it with the saver named exactly
//       "Targa Format (.tga)" and destroys it. Returns UV_TEMPLATE_OK (also
//       when the host has no such saver: nothing is written),
//       UV_TEMPLATE_NO_SERVICE when "Image Utility" is missing,
//       UV_TEMPLATE_NO_IMAGE when the image cannot be made, or
//       UV_TEMPLATE_SAVE_FAILED when the saver reports a failure.
//
//   int uv_template_polygon(context, polygon)
//       One polygon of the scan: skipped when it is missing, when any vertex
//       has no UV value in the selected map (or a value that is not finite),
//       when it has no vertex, and for the Layout source when it has fewer
//       than 3 vertices; otherwise the closed outline through the vertices'
//       pixels (uv_to_pixel) is drawn with draw_line, the UVs being queried
//       again for the drawing. Always returns 0 (go on scanning).
#pragma once

#include <lwhost.h>
#include <lwmeshedt.h>
#include <lwmeshes.h>
#include <lwpanel.h>
#include <lwserver.h>

#include "mesh_source.h"
#include "uv_raster.h"

// Result codes.
enum [[nodiscard]] UvTemplateResult : int {
    UV_TEMPLATE_OK = 0,
    UV_TEMPLATE_NO_PANEL = 1,     // the panel could not be created
    UV_TEMPLATE_NO_IMAGE = 2,     // "Image Utility" `create` gave no image
    UV_TEMPLATE_NO_SERVICE = 5,   // "Image Utility" missing
    UV_TEMPLATE_SAVE_FAILED = 6,  // the Targa saver reported a failure
};

// The requester buffer length less room for ".tga" and its terminator.
constexpr int UV_TEMPLATE_MAX_STEM = 1019;

constexpr char UV_TEMPLATE_SAVER_NAME[] = "Targa Format (.tga)";

// What the exporter hands over; the exporter keeps owning all of it.
struct UvTemplateSource {
    GlobalFunc* global;
    const LWMessageFuncs* messages;
    LWPanelFuncs* panels;
    int uv_map_count;
    MeshSource polygons;
};

// The open panel: built on the stack by uv_template_open, the user data of
// the popup and the save button while the panel is open.
struct UvTemplateRequest {
    const UvTemplateSource* source;
    LWPanelFuncs* panels;
    LWControl* uv_map;
    LWControl* image_size;
    LWControl* foreground;
    LWControl* background;
    LWControl* save;
    const LWMessageFuncs* messages;
};

// What the polygon scan carries.
struct UvRenderContext {
    const MeshSource* source;
    UvCanvas canvas;
    UvColor foreground;
};

// One polygon as a scan reported it. Modeler's scan gives its info record
// (the vertices come from there); Layout's gives the ID only.
struct UvScanPolygon {
    LWPolID id;
    const EDPolygonInfo* info;
};

UvTemplateResult uv_template_open(LWControlID control, const UvTemplateSource& source) noexcept;
void uv_template_save(LWControlID control, void* request) noexcept;
UvTemplateResult uv_template_render(const char* full_name, const UvTemplateSource& source, const char* uv_map_name,
                                    int image_size, const UvColor& foreground, const UvColor& background) noexcept;
int uv_template_polygon(UvRenderContext& context, const UvScanPolygon& polygon) noexcept;
