// "LW Bone Info 3": a bone's rest pose, weight map and deformation settings.
//
// restParam answers LWIP_POSITION and LWIP_ROTATION with the rest values
// relative to the parent, and LWIP_W_POSITION with the rest world position
// of the bone's base: the rest chain of its parent bones, then the world
// transform at time 0 of the first non-bone parent (normally its object).
// Anything else, and any item that is not a bone, gives zeros.
#include <cstdint>

#include "host.h"
#include "lwrender.h"
#include "motion.h"
#include "services/services.h"

namespace lwhost {
namespace services {
namespace {

const Item* bone(LWItemID id) {
    Host* host = Host::current();
    if (!host || !id) return nullptr;
    const Item* item = host->scene.item(ItemId(reinterpret_cast<std::uintptr_t>(id) & 0xFFFFFFFFu));
    return item && item->type == ItemType::Bone ? item : nullptr;
}

unsigned int flags(LWItemID id) noexcept {
    const Item* item = bone(id);
    if (!item) return 0;
    return item->bone.flags | (item->bone.weight_map_only ? unsigned(LWBONEF_WEIGHT_MAP_ONLY) : 0u);
}

void rest_param(LWItemID id, LWItemParam param, LWDVector out) noexcept {
    if (!out) return;
    out[0] = out[1] = out[2] = 0.0;
    const Item* item = bone(id);
    if (!item) return;
    const double* source = nullptr;
    if (param == LWIP_POSITION) source = item->bone.rest_position;
    if (param == LWIP_ROTATION) source = item->bone.rest_rotation;
    if (source) {
        for (int k = 0; k < 3; ++k) out[k] = source[k];
    } else if (param == LWIP_W_POSITION) {
        bone_rest_world_transform(Host::current()->scene, item->id).apply(item->pivot, out);
    }
}

double rest_length(LWItemID id) noexcept {
    const Item* item = bone(id);
    return item ? item->bone.rest_length : 0.0;
}

void limits(LWItemID, double* inner, double* outer) noexcept {
    if (inner) *inner = 0.0;
    if (outer) *outer = 0.0;
}

const char* weight_map(LWItemID id) noexcept {
    const Item* item = bone(id);
    return item && !item->bone.weight_map.empty() ? item->bone.weight_map.c_str() : nullptr;
}

double strength(LWItemID id) noexcept {
    const Item* item = bone(id);
    return item ? item->bone.strength : 0.0;
}

int falloff(LWItemID id) noexcept {
    const Item* item = bone(id);
    return item ? item->bone.falloff : 0;
}

void zero_pair(LWItemID, double* self, double* parent) noexcept {
    if (self) *self = 0.0;
    if (parent) *parent = 0.0;
}

LWBoneInfo g_bone_info = {flags, rest_param, rest_length, limits, weight_map, strength, falloff, zero_pair, zero_pair};

}  // namespace

void* bone_info(Host&) { return &g_bone_info; }

}  // namespace services
}  // namespace lwhost
