// surface_shading: what the mesh exporters read of a surface besides its
// name, by the same rule in both.
//
//   uv_image_name(textures, images, texture)
//       The image of the texture's first layer that is an image projected
//       through a UV map and whose image has a name; null when there is none.
//
//   read_surface_shading(global, surface_funcs, surface, out_smoothing_angle,
//                        out_texture_image)
//       The smoothing angle ("SMAN", radians; left as it is when the surface
//       reports none) and uv_image_name of the base colour texture (left as
//       it is when there is none). False when the surface has no base colour
//       texture, "Texture Functions" or "Image List" is missing, or the name
//       could not be copied (out_texture_image is then empty); the angle is
//       read either way.
//
//   read_export_surface(global, surface_funcs, surface, record, surface_map)
//       A surface record for either mesh exporter: its name, then
//       read_surface_shading. The record is entered in surface_map under its
//       name (a later surface of the same name, another object's, takes the
//       entry). EXPORT_OK; EXPORT_NO_SERVICE when the surface has no name (or
//       it could not be copied: nothing else is read then) or
//       read_surface_shading said false (what was read stays).
//
//   export_material_name(group_by, surface_name, surface, uv_map)
//       The text a polygon's triangles are grouped under, before blanks
//       become underscores: GROUP_BY_SURFACE the surface name;
//       GROUP_BY_TEXTURE the surface's texture image when it has one, else
//       the surface name; GROUP_BY_UV_MAP (and any other value) the polygon's
//       UV map when it has one, else the surface name. `surface` (the record
//       of that name) and `uv_map` may be null; `surface_name` may not.
#pragma once

#include <string>

#include "export_result.h"
#include "mapkit.h"

#include <lwimage.h>
#include <lwserver.h>
#include <lwsurf.h>
#include <lwtxtr.h>

const char* uv_image_name(const LWTextureFuncs* textures, const LWImageList* images, LWTextureID texture) noexcept;
bool read_surface_shading(GlobalFunc* global, const LWSurfaceFuncs* surface_funcs, LWSurfaceID surface,
                          double& out_smoothing_angle, std::string& out_texture_image) noexcept;

struct ExportSurface {
    std::string name;
    double smoothing_angle;     // radians; 0 when the surface reports none
    std::string texture_image;  // image of a UV-projected base colour layer; empty: none
};

ExportResult read_export_surface(GlobalFunc* global, const LWSurfaceFuncs* surface_funcs, LWSurfaceID surface,
                                 ExportSurface& record, StringMap& surface_map) noexcept;
const char* export_material_name(int group_by, const char* surface_name, const ExportSurface* surface,
                                 const char* uv_map) noexcept;
