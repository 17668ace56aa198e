#include "surface_shading.h"

#include "export_names.h"
#include "host_glue.h"

const char* uv_image_name(const LWTextureFuncs* textures, const LWImageList* images, LWTextureID texture) noexcept {
    for (LWTLayerID layer = textures->firstLayer(texture); layer != nullptr;
         layer = textures->nextLayer(texture, layer)) {
        if (textures->layerType(layer) != TLT_IMAGE) continue;
        int projection = -1;
        textures->getParam(layer, TXTAG_PROJ, &projection);
        if (projection != TXPRJ_UVMAP) continue;
        LWImageID image = nullptr;
        textures->getParam(layer, TXTAG_IMAGE, &image);
        if (image == nullptr) continue;
        if (const char* name = images->name(image)) return name;
    }
    return nullptr;
}

bool read_surface_shading(GlobalFunc* global, const LWSurfaceFuncs* surface_funcs, LWSurfaceID surface,
                          double& out_smoothing_angle, std::string& out_texture_image) noexcept {
    if (const double* values = surface_funcs->getFlt(surface, SURF_SMAN)) out_smoothing_angle = values[0];

    const LWTextureID texture = surface_funcs->getTex(surface, SURF_COLR);
    if (texture == nullptr) return false;
    auto* textures = get_service<LWTextureFuncs>(global, LWTEXTUREFUNCS_GLOBAL);
    auto* images = get_service<LWImageList>(global, LWIMAGELIST_GLOBAL);
    if (textures == nullptr || images == nullptr) return false;
    if (const char* image = uv_image_name(textures, images, texture)) {
        try {
            out_texture_image.assign(image);
        } catch (...) {
            out_texture_image.clear();
            return false;
        }
    }
    return true;
}

ExportResult read_export_surface(GlobalFunc* global, const LWSurfaceFuncs* surface_funcs, LWSurfaceID surface,
                                 ExportSurface& record, StringMap& surface_map) noexcept {
    const char* name = surface_funcs->name(surface);
    if (name == nullptr || !copy_host_text(record.name, name)) return EXPORT_NO_SERVICE;
    strmap_insert(&surface_map, record.name.c_str(), &record, map_string_hash(record.name.c_str()));
    return read_surface_shading(global, surface_funcs, surface, record.smoothing_angle, record.texture_image)
               ? EXPORT_OK
               : EXPORT_NO_SERVICE;
}

const char* export_material_name(int group_by, const char* surface_name, const ExportSurface* surface,
                                 const char* uv_map) noexcept {
    switch (group_by) {
        case GROUP_BY_SURFACE:
            return surface_name;
        case GROUP_BY_TEXTURE:
            return surface != nullptr && !surface->texture_image.empty() ? surface->texture_image.c_str()
                                                                         : surface_name;
        default:
            return uv_map != nullptr ? uv_map : surface_name;
    }
}
