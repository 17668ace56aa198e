#include "surface_shading.h"

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
