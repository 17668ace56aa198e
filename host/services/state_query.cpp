// "LWM: State Query 3": Modeler's state, read from the scene's current object
// (scene.current_mesh) and its foreground/background layers.
//
// Layers are reported with Modeler's numbers (LWO2 layer number + 1); layer
// sets follow the EltOpLayer codes as the mesh edit reads them (mesh_edit.h).
// `numLayers` is the highest layer number of the object (0 without one);
// `layerMask` has bit n - 1 for layer n (layers above 32 do not show);
// `object` gives the object's file name, or for one never saved its Modeler
// name (mesh_edit.h), or null without a current object; `mode` reports the
// selection mode the last mesh edit forced (0 points, 1 polygons) and 0 for
// symmetry; `vmap` gives the first map of the asked kind in the current
// object as Modeler's current one. Texts stay valid until the next call of
// the same function.
#include <algorithm>
#include <string>

#include <lwmodeler.h>

#include "host.h"
#include "mesh_edit.h"
#include "services/services.h"

namespace lwhost {

namespace {

struct QueryTexts {
    std::string surface, layer_list, object, vmap;
};

MeshObject* current_object(Host& host, int* out_index = nullptr) {
    int mesh = host.scene.current_mesh;
    if (mesh < 0 || std::size_t(mesh) >= host.scene.meshes.size()) return nullptr;
    if (out_index) *out_index = mesh;
    return host.scene.meshes[std::size_t(mesh)].get();
}

int query_num_layers() noexcept {
    Host* host = Host::current();
    MeshObject* mesh = host ? current_object(*host) : nullptr;
    return mesh ? mesh->layer_number_end() : 0;
}

unsigned int query_layer_mask(EltOpLayer code) noexcept {
    Host* host = Host::current();
    MeshObject* mesh = host ? current_object(*host) : nullptr;
    if (!mesh) return 0;
    int primary = primary_layer(host->scene);
    unsigned mask = 0;
    for (std::size_t i = 0; i < mesh->layers.size(); ++i) {
        const Layer& layer = mesh->layers[i];
        if (layer.number >= 0 && layer.number < 32 && layer_in_code(host->scene, layer, int(i), primary, code))
            mask |= 1u << layer.number;
    }
    return mask;
}

const char* query_surface() noexcept {
    Host* host = Host::current();
    if (!host) return nullptr;
    try {
        auto& texts = host->service_state<QueryTexts>("state query");
        texts.surface = host->current_surface.empty() ? "Default" : host->current_surface;
        return texts.surface.c_str();
    } catch (...) {
        return nullptr;
    }
}

unsigned int query_bbox(EltOpLayer code, double* minmax) noexcept {
    Host* host = Host::current();
    MeshObject* mesh = host ? current_object(*host) : nullptr;
    BoundingBox box;
    if (mesh) {
        int primary = primary_layer(host->scene);
        for (std::size_t i = 0; i < mesh->layers.size(); ++i)
            if (layer_in_code(host->scene, mesh->layers[i], int(i), primary, code))
                box.add_live_points(mesh->layers[i]);
    }
    if (minmax) std::copy(box.minmax, box.minmax + 6, minmax);
    return unsigned(box.points);
}

// Layer numbers of the set, highest first, separated by one blank. For an
// object other than the current one only the codes that do not depend on
// the layer choice (all, empty, non-empty, a single layer) find layers.
const char* query_layer_list(EltOpLayer code, const char* object_name) noexcept {
    Host* host = Host::current();
    if (!host) return nullptr;
    try {
        int current = host->scene.current_mesh;
        int mesh = object_name ? find_modeler_object(host->scene, object_name) : current;
        if (mesh < 0 || std::size_t(mesh) >= host->scene.meshes.size()) return nullptr;
        const MeshObject& object = *host->scene.meshes[std::size_t(mesh)];
        bool depends_on_choice = code >= OPLYR_PRIMARY && code <= OPLYR_SELECT;
        int primary = primary_layer(host->scene);
        std::vector<int> numbers;
        for (std::size_t i = 0; i < object.layers.size(); ++i) {
            if (mesh != current && depends_on_choice) continue;
            if (layer_in_code(host->scene, object.layers[i], int(i), primary, code))
                numbers.push_back(object.layers[i].number + 1);
        }
        std::sort(numbers.rbegin(), numbers.rend());
        auto& texts = host->service_state<QueryTexts>("state query");
        texts.layer_list.clear();
        for (int n : numbers) {
            if (!texts.layer_list.empty()) texts.layer_list += ' ';
            texts.layer_list += std::to_string(n);
        }
        return texts.layer_list.c_str();
    } catch (...) {
        return nullptr;
    }
}

const char* query_object() noexcept {
    Host* host = Host::current();
    int mesh = -1;
    if (!host || !current_object(*host, &mesh)) return nullptr;
    try {
        auto& texts = host->service_state<QueryTexts>("state query");
        texts.object = modeler_object_name(host->scene, mesh);
        return texts.object.c_str();
    } catch (...) {
        return nullptr;
    }
}

int query_mode(int setting) noexcept {
    Host* host = Host::current();
    if (!host || setting != LWM_MODE_SELECTION) return 0;
    return host->scene.selection_mode;
}

const char* query_vmap(int which, LWID* out_type) noexcept {
    Host* host = Host::current();
    MeshObject* mesh = host ? current_object(*host) : nullptr;
    LWID type = which == LWM_VMAP_WEIGHT ? kWeight
              : which == LWM_VMAP_TEXTURE ? kTexUV
              : which == LWM_VMAP_MORPH ? fourcc('M', 'O', 'R', 'F') : 0;
    if (out_type) *out_type = type;
    if (!mesh || !type) return nullptr;
    const VertexMap* map = mesh->first_vmap(type);
    if (!map) return nullptr;
    try {
        auto& texts = host->service_state<QueryTexts>("state query");
        texts.vmap = map->name;
        return texts.vmap.c_str();
    } catch (...) {
        return nullptr;
    }
}

LWStateQueryFuncs g_state_query = {
    query_num_layers, query_layer_mask, query_surface, query_bbox,
    query_layer_list, query_object,     query_mode,    query_vmap,
};

}  // namespace

namespace services {
void* state_query(Host&) { return &g_state_query; }
}  // namespace services

}  // namespace lwhost
