// IntMap and StringMap: the full operations behind the inline fast paths. Both
// types run the same walks (mapkit_generic.h); only hashing and key equality
// differ.
#include "mapkit.h"

#include <cstddef>

// map_mark_free marks slots free by filling every byte with 0xFF, which
// relies on the state being each slot's first byte.
static_assert(offsetof(IntMapSlot, state) == 0);
static_assert(offsetof(StringMapSlot, state) == 0);

namespace {

struct IntKeyEqual {
    bool operator()(IntMapKey a, IntMapKey b) const noexcept { return a == b; }
};

struct IntKeyHash {
    std::uint32_t operator()(IntMapKey key) const noexcept { return intmap_hash(key); }
};

struct StringKeyEqual {
    bool operator()(const char* a, const char* b) const noexcept {
        return strmap_key_equal(a, b);
    }
};

// Resizing has no caller-supplied hashes, hence the recomputation.
struct StringKeyHash {
    std::uint32_t operator()(const char* key) const noexcept { return map_string_hash(key); }
};

template <class Slot, class Key, class Equal>
int get_full(const MapRecord* map, Key key, void** out_value, std::uint32_t hash) noexcept {
    if (map->size <= 0) return MAP_NOTFOUND;
    const Slot* slot = map_find_slot(static_cast<const Slot*>(map->slots),
                                     static_cast<std::uint32_t>(map->size), hash, key,
                                     Equal{});
    if (!slot) return MAP_NOTFOUND;
    *out_value = slot->value;
    return MAP_OK;
}

template <class Slot, class Key, class Equal, class HashOf>
int insert_full(MapRecord* map, Key key, void* value, std::uint32_t hash) noexcept {
    if (!map->slots) {
        // Never initialised (zeroed record) or init ran out of memory: start
        // the array now rather than fail every insert.
        if (map->max_load == 0.0) map_reset_record(map);
        int rc = map_resize_slots<Slot>(map, 0, HashOf{});
        if (rc != MAP_OK) return rc;
    }
    bool exists = false;
    Slot* slot = map_find_place(static_cast<Slot*>(map->slots),
                                static_cast<std::uint32_t>(map->size), hash, key, Equal{},
                                &exists);
    if (exists) {
        slot->value = value;
        return MAP_OK;
    }
    if (slot->state == SLOT_DELETED) {
        slot->state = SLOT_USED;
        slot->key = key;
        slot->value = value;
        ++map->count;
        return MAP_OK;
    }
    if (map->fill + 1 >= map->size) {
        // Only after growths that failed for memory: the walks need one free
        // slot to end, so the array must grow before it takes this entry.
        int rc = map_resize_slots<Slot>(map, map_grow_request(map), HashOf{});
        if (rc != MAP_OK) return rc;
        slot = map_find_place(static_cast<Slot*>(map->slots),
                              static_cast<std::uint32_t>(map->size), hash, key, Equal{},
                              &exists);
    }
    slot->state = SLOT_USED;
    slot->key = key;
    slot->value = value;
    ++map->count;
    ++map->fill;
    if (map->fill > map->max_fill) {
        return map_resize_slots<Slot>(map, map_grow_request(map), HashOf{});
    }
    return MAP_OK;
}

template <class Slot, class Key, class Equal, class HashOf>
int remove_key(MapRecord* map, Key key, std::uint32_t hash) noexcept {
    if (map->size <= 0) return MAP_NOTFOUND;
    Slot* slot = map_find_slot(static_cast<Slot*>(map->slots),
                               static_cast<std::uint32_t>(map->size), hash, key, Equal{});
    if (!slot) return MAP_NOTFOUND;
    slot->state = SLOT_DELETED;
    --map->count;
    if (map->count < map->min_used) {
        return map_resize_slots<Slot>(map, map_shrink_request(map), HashOf{});
    }
    return MAP_OK;
}

template <class Slot, class HashOf>
int init_map(MapRecord* map, int expected) noexcept {
    map_reset_record(map);
    return map_resize_slots<Slot>(map, map_init_request(map, expected), HashOf{});
}

}  // namespace

int intmap_init(IntMap* map, int expected) noexcept {
    return init_map<IntMapSlot, IntKeyHash>(map, expected);
}

int intmap_get_full(const IntMap* map, IntMapKey key, void** out_value) noexcept {
    return get_full<IntMapSlot, IntMapKey, IntKeyEqual>(map, key, out_value, intmap_hash(key));
}

int intmap_insert_full(IntMap* map, IntMapKey key, void* value) noexcept {
    return insert_full<IntMapSlot, IntMapKey, IntKeyEqual, IntKeyHash>(map, key, value,
                                                                       intmap_hash(key));
}

int intmap_remove(IntMap* map, IntMapKey key) noexcept {
    return remove_key<IntMapSlot, IntMapKey, IntKeyEqual, IntKeyHash>(map, key,
                                                                      intmap_hash(key));
}

int intmap_resize(IntMap* map, int request) noexcept {
    return map_resize_slots<IntMapSlot>(map, request, IntKeyHash{});
}

int strmap_init(StringMap* map, int expected) noexcept {
    return init_map<StringMapSlot, StringKeyHash>(map, expected);
}

int strmap_get_full(const StringMap* map, const char* key, void** out_value,
                    std::uint32_t hash) noexcept {
    return get_full<StringMapSlot, const char*, StringKeyEqual>(map, key, out_value, hash);
}

int strmap_insert_full(StringMap* map, const char* key, void* value,
                       std::uint32_t hash) noexcept {
    return insert_full<StringMapSlot, const char*, StringKeyEqual, StringKeyHash>(map, key,
                                                                                  value, hash);
}

int strmap_remove(StringMap* map, const char* key, std::uint32_t hash) noexcept {
    return remove_key<StringMapSlot, const char*, StringKeyEqual, StringKeyHash>(map, key,
                                                                                 hash);
}

int strmap_resize(StringMap* map, int request) noexcept {
    return map_resize_slots<StringMapSlot>(map, request, StringKeyHash{});
}
