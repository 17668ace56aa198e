// "LW Item Info 3": item enumeration, hierarchy, names and parameters over
// host.scene. Item IDs are the scene's IDs widened to pointers; only their
// low 32 bits are read back, as in Layout.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "host.h"
#include "loader.h"
#include "lwrender.h"
#include "motion.h"
#include "services/services.h"

namespace lwhost {
namespace services {
namespace {

LWItemID to_lw(ItemId id) { return reinterpret_cast<LWItemID>(std::uintptr_t(id)); }
ItemId from_lw(LWItemID id) { return ItemId(reinterpret_cast<std::uintptr_t>(id) & 0xFFFFFFFFu); }

Scene* scene() {
    Host* host = Host::current();
    return host ? &host->scene : nullptr;
}

// The item, or null; a non-null ID that names nothing is noted once per call
// so that a plug-in passing stale IDs shows up in the diagnostics.
const Item* find(LWItemID id, const char* function) {
    Host* host = Host::current();
    if (!host || !id) return nullptr;
    const Item* item = host->scene.item(from_lw(id));
    if (!item) {
        char text[96];
        std::snprintf(text, sizeof text, "LW Item Info 3 %s: unknown item %08x", function, unsigned(from_lw(id)));
        try {
            host->note(text);
        } catch (...) {
        }
    }
    return item;
}

// The list an item is enumerated in: objects, lights, cameras, or the bones
// of its object.
const std::vector<ItemId>* sibling_list(const Scene& scene, const Item& item) {
    if (item.type == ItemType::Bone) return &scene.bones_of(item.bone.object);
    return &scene.items(item.type);
}

LWItemID first(LWItemType type, LWItemID bone_object) noexcept {
    Scene* s = scene();
    if (!s) return nullptr;
    if (type == LWI_BONE) {
        const auto& bones = s->bones_of(from_lw(bone_object));
        return bones.empty() ? nullptr : to_lw(bones.front());
    }
    if (type != LWI_OBJECT && type != LWI_LIGHT && type != LWI_CAMERA) return nullptr;
    const auto& items = s->items(ItemType(type));
    return items.empty() ? nullptr : to_lw(items.front());
}

LWItemID next(LWItemID id) noexcept {
    const Item* item = find(id, "next");
    if (!item) return nullptr;
    const std::vector<ItemId>& list = *sibling_list(*scene(), *item);
    // IDs carry their ordinal: bones in bits 16-27, others in bits 0-27.
    std::size_t at = item->type == ItemType::Bone ? (item->id >> 16) & 0xFFFu : item->id & 0x0FFFFFFFu;
    if (at >= list.size() || list[at] != item->id) {  // not in ordinal order: search
        at = 0;
        while (at < list.size() && list[at] != item->id) ++at;
    }
    return at + 1 < list.size() ? to_lw(list[at + 1]) : nullptr;
}

LWItemID first_child(LWItemID parent) noexcept {
    const Item* item = find(parent, "firstChild");
    return item && !item->children.empty() ? to_lw(item->children.front()) : nullptr;
}

// Where nextChild's last answer was: the parent and the index after it.
struct ChildWalk {
    const Item* parent = nullptr;
    std::size_t at = 0;
};

LWItemID next_child(LWItemID parent, LWItemID previous) noexcept {
    const Item* item = find(parent, "nextChild");
    if (!item || !previous) return nullptr;
    // Plug-ins walk children in order; remembering where the last answer was
    // keeps a walk over many children linear.
    ChildWalk* walk = nullptr;
    try {
        walk = &Host::current()->service_state<ChildWalk>("item info child walk");
    } catch (...) {
    }
    const auto& children = item->children;
    ItemId wanted = from_lw(previous);
    std::size_t at = 0;
    if (walk && walk->parent == item && walk->at < children.size() && children[walk->at] == wanted) {
        at = walk->at;
    } else {
        while (at < children.size() && children[at] != wanted) ++at;
        if (at == children.size()) return nullptr;
    }
    if (walk) {
        walk->parent = item;
        walk->at = at + 1;
    }
    return at + 1 < children.size() ? to_lw(children[at + 1]) : nullptr;
}

LWItemID parent(LWItemID id) noexcept {
    const Item* item = find(id, "parent");
    return item ? to_lw(item->parent) : nullptr;
}

LWItemID target(LWItemID id) noexcept {
    const Item* item = find(id, "target");
    return item ? to_lw(item->target) : nullptr;
}

LWItemID goal(LWItemID id) noexcept {
    const Item* item = find(id, "goal");
    return item ? to_lw(item->goal) : nullptr;
}

LWItemType type(LWItemID id) noexcept {
    const Item* item = find(id, "type");
    return item ? LWItemType(item->type) : -1;
}

const char* name(LWItemID id) noexcept {
    const Item* item = find(id, "name");
    return item ? item->name.c_str() : nullptr;
}

void param(LWItemID id, LWItemParam which, LWTime time, LWDVector out) noexcept {
    if (!out) return;
    Scene* s = scene();
    if (!s || !find(id, "param")) {
        out[0] = out[1] = out[2] = 0.0;
        return;
    }
    item_param(*s, from_lw(id), which, time, out);
}

unsigned int limits(LWItemID, LWItemParam, LWDVector min, LWDVector max) noexcept {
    for (double* v : {min, max})
        if (v) v[0] = v[1] = v[2] = 0.0;
    return 0;
}

const char* get_tag(LWItemID id, int tag_number) noexcept {
    const Item* item = find(id, "getTag");
    if (!item || tag_number < 1 || std::size_t(tag_number) > item->tags.size()) return nullptr;
    return item->tags[std::size_t(tag_number) - 1].c_str();
}

// Tag 0 (or one past the last) adds a tag; a null text removes the tag.
void set_tag(LWItemID id, int tag_number, const char* tag) noexcept {
    Scene* s = scene();
    if (!s || !find(id, "setTag")) return;
    Item* item = s->item(from_lw(id));
    try {
        auto& tags = item->tags;
        if (!tag) {
            if (tag_number >= 1 && std::size_t(tag_number) <= tags.size())
                tags.erase(tags.begin() + (tag_number - 1));
        } else if (tag_number >= 1 && std::size_t(tag_number) <= tags.size()) {
            tags[std::size_t(tag_number) - 1] = tag;
        } else if (tag_number == 0 || std::size_t(tag_number) == tags.size() + 1) {
            tags.emplace_back(tag);
        }
    } catch (...) {
    }
}

LWChanGroupID chan_group(LWItemID) noexcept { return nullptr; }

// Only item motion handlers can be applied in this host.
const char* server(LWItemID id, const char* class_name, int index) noexcept {
    Host* host = Host::current();
    if (!host || !class_name || std::strcmp(class_name, "ItemMotionHandler") != 0 || !find(id, "server"))
        return nullptr;
    return host->plugins().motion_handlers().server_name(from_lw(id), index);
}
unsigned int server_flags(LWItemID, const char*, int) noexcept { return 0; }

void controller(LWItemID, LWItemParam, int kinds[3]) noexcept {
    if (kinds) kinds[0] = kinds[1] = kinds[2] = LWMOTCTL_KEYFRAMES;
}

unsigned int flags(LWItemID id) noexcept {
    const Item* item = find(id, "flags");
    return item ? item->flags : 0u;
}

LWTime look_ahead(LWItemID) noexcept { return 0.0; }

double goal_strength(LWItemID id) noexcept {
    const Item* item = find(id, "goalStrength");
    return item ? item->goal_strength : 0.0;
}

void stiffness(LWItemID, LWItemParam, LWDVector out) noexcept {
    if (out) out[0] = out[1] = out[2] = 0.0;
}

LWItemInfo g_item_info = {
    first, next, first_child, next_child, parent, target, goal, type, name, param, limits,
    get_tag, set_tag, chan_group, server, server_flags, controller, flags, look_ahead,
    goal_strength, stiffness,
};

}  // namespace

void* item_info(Host&) { return &g_item_info; }

}  // namespace services
}  // namespace lwhost
