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
#pragma once

#include <string>

#include <lwimage.h>
#include <lwserver.h>
#include <lwsurf.h>
#include <lwtxtr.h>

const char* uv_image_name(const LWTextureFuncs* textures, const LWImageList* images, LWTextureID texture) noexcept;
bool read_surface_shading(GlobalFunc* global, const LWSurfaceFuncs* surface_funcs, LWSurfaceID surface,
                          double& out_smoothing_angle, std::string& out_texture_image) noexcept;
