// "Surface Functions 2" over scene.surfaces, in list order.
//
// A surface's object is named as Modeler names it (mesh_edit.h: the file
// name, or the reference name of an object never saved); `byName`,
// `byObject` and `create` take that name. `byName`/`byObject` return a
// null-terminated array that stays valid until the next call of either.
// Channels: `getFlt` gives "SmoothingAngle" (radians) and "BaseColor" (three
// values) from the scene, and the file defaults for the other numeric
// channels (Luminosity, Diffuse, Specularity, Reflectivity, Transparency,
// Translucency, IOR, Bump, Glossiness), which the scene does not hold; other
// names give null. `getInt` knows "Sidedness" (1, front only). `getTex`
// gives the base colour texture for "BaseColor" when the surface has texture
// layers (see textures.cpp). Envelopes, images of the reflection and
// refraction channels and channel groups are not modelled (null).
#include <cstring>
#include <string>
#include <vector>

#include <lwsurf.h>

#include "host.h"
#include "mesh_edit.h"
#include "services/services.h"

namespace lwhost {

namespace {

struct SurfaceScratch {
    std::vector<LWSurfaceID> list;  // the last byName/byObject answer
    double value = 0.0;             // the last default channel value handed out
};

struct ChannelDefault {
    const char* name;
    double value;
};
// LWO2's values for a SURF chunk that leaves the channel out.
constexpr ChannelDefault kChannelDefaults[] = {
    {"Luminosity", 0.0}, {"Diffuse", 1.0},      {"Specularity", 0.0}, {"Reflectivity", 0.0}, {"Transparency", 0.0},
    {"Translucency", 0.0}, {"IOR", 1.0},        {"Bump", 1.0},        {"Glossiness", 0.4},
};

Surface* surface_of(Host& host, LWSurfaceID id, int* out_index = nullptr) {
    int index;
    if (!decode_surface(reinterpret_cast<std::uintptr_t>(id), index)) return nullptr;
    if (std::size_t(index) >= host.scene.surfaces.size()) return nullptr;
    if (out_index) *out_index = index;
    return host.scene.surfaces[std::size_t(index)].get();
}

LWSurfaceID id_of(int index) { return reinterpret_cast<LWSurfaceID>(surface_handle(index)); }

LWSurfaceID* answer_list(Host& host, const char* name, const char* object_name, bool match_name) {
    auto& scratch = host.service_state<SurfaceScratch>("surfaces");
    scratch.list.clear();
    int mesh = object_name ? find_modeler_object(host.scene, object_name) : -1;
    if (object_name && mesh < 0) {
        scratch.list.push_back(nullptr);
        return scratch.list.data();
    }
    const auto& surfaces = host.scene.surfaces;
    for (std::size_t i = 0; i < surfaces.size(); ++i) {
        const Surface& s = *surfaces[i];
        if (match_name && s.name != name) continue;
        if (object_name && s.mesh != mesh) continue;
        scratch.list.push_back(id_of(int(i)));
    }
    scratch.list.push_back(nullptr);
    return scratch.list.data();
}

LWSurfaceID surf_create(const char* object_name, const char* surface_name) noexcept {
    Host* host = Host::current();
    if (!host || !surface_name) return nullptr;
    try {
        int mesh = object_name ? find_modeler_object(host->scene, object_name) : host->scene.current_mesh;
        if (mesh < 0 || std::size_t(mesh) >= host->scene.meshes.size()) return nullptr;
        Surface* existing = host->scene.find_surface(mesh, surface_name);
        if (!existing) existing = &host->scene.add_surface(mesh, surface_name);
        for (std::size_t i = 0; i < host->scene.surfaces.size(); ++i)
            if (host->scene.surfaces[i].get() == existing) return id_of(int(i));
        return nullptr;
    } catch (...) {
        return nullptr;
    }
}

LWSurfaceID surf_first() noexcept {
    Host* host = Host::current();
    return host && !host->scene.surfaces.empty() ? id_of(0) : nullptr;
}

LWSurfaceID surf_next(LWSurfaceID id) noexcept {
    Host* host = Host::current();
    int index;
    if (!host || !surface_of(*host, id, &index) || std::size_t(index) + 1 >= host->scene.surfaces.size())
        return nullptr;
    return id_of(index + 1);
}

LWSurfaceID* surf_by_name(const char* name, const char* object_name) noexcept {
    Host* host = Host::current();
    if (!host || !name) return nullptr;
    try {
        return answer_list(*host, name, object_name, true);
    } catch (...) {
        return nullptr;
    }
}

LWSurfaceID* surf_by_object(const char* object_name) noexcept {
    Host* host = Host::current();
    if (!host || !object_name) return nullptr;
    try {
        return answer_list(*host, nullptr, object_name, false);
    } catch (...) {
        return nullptr;
    }
}

const char* surf_name(LWSurfaceID id) noexcept {
    Host* host = Host::current();
    Surface* surface = host ? surface_of(*host, id) : nullptr;
    return surface ? surface->name.c_str() : nullptr;
}

const char* surf_scene_object(LWSurfaceID id) noexcept {
    Host* host = Host::current();
    Surface* surface = host ? surface_of(*host, id) : nullptr;
    if (!surface) return nullptr;
    try {
        // Kept per surface index so that two answers can be held at once.
        auto& names = host->service_state<std::vector<std::string>>("surface objects");
        int index = 0;
        surface_of(*host, id, &index);
        if (names.size() <= std::size_t(index)) names.resize(std::size_t(index) + 1);
        names[std::size_t(index)] = modeler_object_name(host->scene, surface->mesh);
        return names[std::size_t(index)].empty() ? nullptr : names[std::size_t(index)].c_str();
    } catch (...) {
        return nullptr;
    }
}

int surf_get_int(LWSurfaceID id, const char* channel) noexcept {
    Host* host = Host::current();
    if (!host || !channel || !surface_of(*host, id)) return 0;
    return std::strcmp(channel, "Sidedness") == 0 ? 1 : 0;
}

double* surf_get_flt(LWSurfaceID id, const char* channel) noexcept {
    Host* host = Host::current();
    Surface* surface = host ? surface_of(*host, id) : nullptr;
    if (!surface || !channel) return nullptr;
    if (std::strcmp(channel, "SmoothingAngle") == 0) return &surface->smoothing_angle;
    if (std::strcmp(channel, "BaseColor") == 0) return surface->color;
    for (const ChannelDefault& known : kChannelDefaults) {
        if (std::strcmp(channel, known.name) != 0) continue;
        try {
            auto& scratch = host->service_state<SurfaceScratch>("surfaces");
            scratch.value = known.value;  // a copy: a plug-in writing through it changes nothing shared
            return &scratch.value;
        } catch (...) {
            return nullptr;
        }
    }
    return nullptr;
}

LWEnvelopeID surf_get_env(LWSurfaceID, const char*) noexcept { return nullptr; }

LWTextureID surf_get_tex(LWSurfaceID id, const char* channel) noexcept {
    Host* host = Host::current();
    int index;
    Surface* surface = host ? surface_of(*host, id, &index) : nullptr;
    if (!surface || !channel || std::strcmp(channel, "BaseColor") != 0 || surface->color_texture.empty())
        return nullptr;
    return reinterpret_cast<LWTextureID>(texture_handle(index));
}

LWImageID surf_get_img(LWSurfaceID, const char*) noexcept { return nullptr; }
LWChanGroupID surf_chan_grp(LWSurfaceID) noexcept { return nullptr; }

const char* surf_get_color_vmap(LWSurfaceID id) noexcept {
    Host* host = Host::current();
    Surface* surface = host ? surface_of(*host, id) : nullptr;
    return surface && !surface->color_vmap.empty() ? surface->color_vmap.c_str() : nullptr;
}

void surf_set_color_vmap(LWSurfaceID id, const char* name, int) noexcept {
    Host* host = Host::current();
    Surface* surface = host ? surface_of(*host, id) : nullptr;
    if (!surface) return;
    try {
        surface->color_vmap = name ? name : "";
    } catch (...) {
    }
}

LWSurfaceFuncs g_surface_funcs = {
    surf_create,   surf_first,   surf_next,         surf_by_name,  surf_by_object,      surf_name,
    surf_scene_object, surf_get_int, surf_get_flt,  surf_get_env,  surf_get_tex,        surf_get_img,
    surf_chan_grp, surf_get_color_vmap, surf_set_color_vmap,
};

}  // namespace

namespace services {
void* surface_funcs(Host&) { return &g_surface_funcs; }
}  // namespace services

}  // namespace lwhost
