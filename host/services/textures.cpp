// "Texture Functions 2": read access to a surface's base colour texture
// (Surface::color_texture), the texture "Surface Functions 2" `getTex` gives.
//
// Layers are walked with firstLayer/nextLayer/lastLayer in the surface's
// order; `layerType` gives TLT_IMAGE 0, TLT_PROC 1 or TLT_GRAD 2 (-1 for a
// handle that is no layer). `getParam`
// answers TXTAG_PROJ (int, a TXPRJ_ code; TXPRJ_UVMAP 5 for UV), TXTAG_AXIS
// (int), TXTAG_IMAGE (LWImageID, null when the layer has no image) and
// TXTAG_VMAP (a vertex map ID as pointVSet takes it, null without a UV map),
// returning 1; other tags return 0 and leave `data` alone. Texture and layer
// handles carry their surface and layer indices (scene.h), so each call is
// O(1) and refuses handles it did not make. Creating, evaluating, loading,
// saving and changing textures is not modelled: those members return 0 or
// null and change nothing.
#include <lwtxtr.h>

#include "host.h"
#include "mesh_edit.h"
#include "services/services.h"

namespace lwhost {

namespace {

Surface* textured_surface(Host& host, LWTextureID texture, int& index) {
    if (!decode_texture(reinterpret_cast<std::uintptr_t>(texture), index)) return nullptr;
    if (std::size_t(index) >= host.scene.surfaces.size()) return nullptr;
    return host.scene.surfaces[std::size_t(index)].get();
}

const TextureLayer* layer_of(Host& host, LWTLayerID id, int& surface, int& layer) {
    if (!decode_texture_layer(reinterpret_cast<std::uintptr_t>(id), surface, layer)) return nullptr;
    if (std::size_t(surface) >= host.scene.surfaces.size()) return nullptr;
    const auto& layers = host.scene.surfaces[std::size_t(surface)]->color_texture;
    return std::size_t(layer) < layers.size() ? &layers[std::size_t(layer)] : nullptr;
}

LWTLayerID layer_id(int surface, int layer) {
    return reinterpret_cast<LWTLayerID>(texture_layer_handle(surface, layer));
}

LWTLayerID tx_first_layer(LWTextureID texture) noexcept {
    Host* host = Host::current();
    int index;
    Surface* surface = host ? textured_surface(*host, texture, index) : nullptr;
    return surface && !surface->color_texture.empty() ? layer_id(index, 0) : nullptr;
}

LWTLayerID tx_last_layer(LWTextureID texture) noexcept {
    Host* host = Host::current();
    int index;
    Surface* surface = host ? textured_surface(*host, texture, index) : nullptr;
    if (!surface || surface->color_texture.empty()) return nullptr;
    return layer_id(index, int(surface->color_texture.size()) - 1);
}

LWTLayerID tx_next_layer(LWTextureID texture, LWTLayerID current) noexcept {
    Host* host = Host::current();
    int index, surface, layer;
    Surface* owner = host ? textured_surface(*host, texture, index) : nullptr;
    if (!owner || !layer_of(*host, current, surface, layer) || surface != index) return nullptr;
    if (std::size_t(layer) + 1 >= owner->color_texture.size()) return nullptr;
    return layer_id(index, layer + 1);
}

int tx_layer_type(LWTLayerID id) noexcept {
    Host* host = Host::current();
    int surface, layer;
    const TextureLayer* found = host ? layer_of(*host, id, surface, layer) : nullptr;
    return found ? int(found->type) : -1;  // no layer type: an unknown handle never passes for an image layer
}

int tx_get_param(LWTLayerID id, int tag, void* data) noexcept {
    Host* host = Host::current();
    int surface, layer;
    const TextureLayer* found = host ? layer_of(*host, id, surface, layer) : nullptr;
    if (!found || !data) return 0;
    switch (tag) {
    case TXTAG_PROJ:
        *static_cast<int*>(data) = int(found->projection);
        return 1;
    case TXTAG_AXIS:
        *static_cast<int*>(data) = found->axis;
        return 1;
    case TXTAG_IMAGE: {
        bool valid = found->image >= 0 && std::size_t(found->image) < host->scene.images.size();
        *static_cast<LWImageID*>(data) = valid ? reinterpret_cast<LWImageID>(image_handle(found->image)) : nullptr;
        return 1;
    }
    case TXTAG_VMAP:
        *static_cast<void**>(data) = found->uv_map.empty() ? nullptr : vmap_id(*host, kTexUV, found->uv_map);
        return 1;
    default:
        return 0;
    }
}

LWTextureID tx_texture(LWTLayerID id) noexcept {
    Host* host = Host::current();
    int surface, layer;
    if (!host || !layer_of(*host, id, surface, layer)) return nullptr;
    return reinterpret_cast<LWTextureID>(texture_handle(surface));
}

const char* tx_name(LWTextureID texture) noexcept {
    Host* host = Host::current();
    int index;
    return host && textured_surface(*host, texture, index) ? "BaseColor" : nullptr;
}

// Members that would create, evaluate or change textures.
LWTxtrContextID tx_context_create(LWTxtrParamFuncs) noexcept { return nullptr; }
void tx_context_destroy(LWTxtrContextID) noexcept {}
void tx_context_add_param(LWTxtrContextID, LWTxtrParamDesc) noexcept {}
LWTextureID tx_create(int, const char*, LWTxtrContextID, void*) noexcept { return nullptr; }
void tx_destroy(LWTextureID) noexcept {}
void tx_copy(LWTextureID, LWTextureID) noexcept {}
void tx_newtime(LWTextureID, LWTime, LWFrame) noexcept {}
void tx_cleanup(LWTextureID) noexcept {}
void tx_load(LWTextureID, const LWLoadState*) noexcept {}
void tx_save(LWTextureID, const LWSaveState*) noexcept {}
double tx_evaluate(LWTextureID, LWMicropolID, double*) noexcept { return 0.0; }
void tx_set_env_group(LWTextureID, LWChanGroupID) noexcept {}
LWTLayerID tx_layer_add(LWTextureID, int) noexcept { return nullptr; }
void tx_layer_set_type(LWTLayerID, int) noexcept {}
double tx_layer_evaluate(LWTLayerID, LWMicropolID, double*) noexcept { return 0.0; }
LWChanGroupID tx_layer_env_group(LWTLayerID) noexcept { return nullptr; }
int tx_set_param(LWTLayerID, int, void*) noexcept { return 0; }
void tx_evaluate_uv(LWTLayerID, int, int, double*, double*, double uv[2]) noexcept {
    if (uv) uv[0] = uv[1] = 0.0;
}
double tx_noise(double*) noexcept { return 0.0; }
void* tx_user_data(LWTextureID) noexcept { return nullptr; }
LWChanGroupID tx_env_group(LWTextureID) noexcept { return nullptr; }
int tx_type(LWTextureID) noexcept { return 0; }
LWTxtrContextID tx_context(LWTextureID) noexcept { return nullptr; }

LWTextureFuncs g_texture_funcs = {
    tx_context_create, tx_context_destroy, tx_context_add_param, tx_create,        tx_destroy,
    tx_copy,           tx_newtime,         tx_cleanup,           tx_load,          tx_save,
    tx_evaluate,       tx_set_env_group,   tx_first_layer,       tx_last_layer,    tx_next_layer,
    tx_layer_add,      tx_layer_set_type,  tx_layer_type,        tx_layer_evaluate, tx_layer_env_group,
    tx_set_param,      tx_get_param,       tx_evaluate_uv,       tx_noise,         tx_user_data,
    tx_env_group,      tx_texture,         tx_name,              tx_type,          tx_context,
};

}  // namespace

namespace services {
void* texture_funcs(Host&) { return &g_texture_funcs; }
}  // namespace services

}  // namespace lwhost
