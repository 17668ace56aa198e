// mapkit: two open-addressing hash maps from a key to a caller's pointer.
//
//   IntMap     key: an IntMapKey, wide enough for a host ID (an opaque
//              pointer-sized handle) without loss.
//   StringMap  key: a NUL-terminated string, compared byte for byte.
//
// A map is a plain record embedded in its owner (zero it, then init). It owns
// only its slot array: it never copies or frees a key string or a value, so a
// StringMap key must stay alive as long as its entry exists. There is no
// iteration; owners keep their own arrays and use a map to find by key.
//
// Every operation returns a status code from mapkit_generic.h:
//   intmap_init(map, expected)        zeroes the record, sets the loads and
//                                     sizes the array for `expected` entries;
//                                     MAP_NOMEM leaves a map without slots,
//                                     whose first insert allocates again.
//   intmap_free(map)                  frees the array; the record may be
//                                     initialised again.
//   intmap_get(map, key, out_value)   MAP_OK and *out_value, or MAP_NOTFOUND
//                                     with *out_value untouched.
//   intmap_insert(map, key, value)    adds the entry or replaces the value of
//                                     an existing key; a failed growth
//                                     (MAP_NOMEM) still keeps the new entry,
//                                     unless it would take the last free
//                                     slot, which every walk needs to end.
//   intmap_remove(map, key)           MAP_OK, or MAP_NOTFOUND; a failed shrink
//                                     (MAP_NOMEM) still removes the entry.
//   intmap_resize(map, request)       rebuilds the array at map_next_size of
//                                     the request (raised to count + 1 if it
//                                     is not above count), dropping deleted
//                                     marks; MAP_FULL / MAP_NOMEM leave the
//                                     map as it was.
// The strmap_ functions do the same; those taking a key also take its hash,
// which must be map_string_hash(key): resizing recomputes hashes with that
// function, so any other value would lose the entry.
//
// intmap_get / intmap_insert / strmap_get / strmap_insert settle the common
// case of a first probe that needs no walk inline, at the call site; every
// other case goes to the matching _full function, which runs the whole
// operation and may also be called directly. Both give the same results.
//
// A map belongs to one thread. Nothing here throws or reports: callers turn
// codes into texts with map_status_text.
#pragma once

#include <cstdint>
#include <cstring>

#include "mapkit_generic.h"

using IntMapKey = std::uint64_t;

// Host IDs (items, points, polygons) are pointer-sized handles; the maps keep
// them whole.
inline IntMapKey host_id_key(const void* id) noexcept {
    return static_cast<IntMapKey>(reinterpret_cast<std::uintptr_t>(id));
}

struct IntMapSlot {
    std::uint8_t state;  // SLOT_USED, SLOT_DELETED or SLOT_FREE
    IntMapKey key;
    void* value;
};

struct StringMapSlot {
    std::uint8_t state;
    const char* key;  // the caller's string, not a copy
    void* value;
};

// The slot pointer of the shared record points at IntMapSlot elements.
struct IntMap : MapRecord {};
// The slot pointer of the shared record points at StringMapSlot elements.
struct StringMap : MapRecord {};

// Folds the upper half into the lower so that the hash of any key below 2^32
// is the key itself.
inline std::uint32_t intmap_hash(IntMapKey key) noexcept {
    return static_cast<std::uint32_t>(key) ^ static_cast<std::uint32_t>(key >> 32);
}

int intmap_init(IntMap* map, int expected) noexcept;
int intmap_get_full(const IntMap* map, IntMapKey key, void** out_value) noexcept;
int intmap_insert_full(IntMap* map, IntMapKey key, void* value) noexcept;
int intmap_remove(IntMap* map, IntMapKey key) noexcept;
int intmap_resize(IntMap* map, int request) noexcept;
inline void intmap_free(IntMap* map) noexcept { map_free(map); }

int strmap_init(StringMap* map, int expected) noexcept;
int strmap_get_full(const StringMap* map, const char* key, void** out_value,
                    std::uint32_t hash) noexcept;
int strmap_insert_full(StringMap* map, const char* key, void* value,
                       std::uint32_t hash) noexcept;
int strmap_remove(StringMap* map, const char* key, std::uint32_t hash) noexcept;
int strmap_resize(StringMap* map, int request) noexcept;
inline void strmap_free(StringMap* map) noexcept { map_free(map); }

inline bool strmap_key_equal(const char* a, const char* b) noexcept {
    return a == b || std::strcmp(a, b) == 0;
}

// Fast paths. A map without slots has size 0 and always takes the full path.
// Insert writes a free first slot here only while that cannot trigger growth
// (fill < max_fill); the full path does the growth.

inline int intmap_get(const IntMap* map, IntMapKey key, void** out_value) noexcept {
    if (map->size > 0) {
        const IntMapSlot* slot = static_cast<const IntMapSlot*>(map->slots) +
                                 map_first_index(intmap_hash(key),
                                                 static_cast<std::uint32_t>(map->size));
        if (slot->state == SLOT_USED && slot->key == key) {
            *out_value = slot->value;
            return MAP_OK;
        }
        if (slot->state == SLOT_FREE) return MAP_NOTFOUND;
    }
    return intmap_get_full(map, key, out_value);
}

inline int intmap_insert(IntMap* map, IntMapKey key, void* value) noexcept {
    if (map->size > 0) {
        IntMapSlot* slot = static_cast<IntMapSlot*>(map->slots) +
                           map_first_index(intmap_hash(key),
                                           static_cast<std::uint32_t>(map->size));
        if (slot->state == SLOT_USED && slot->key == key) {
            slot->value = value;
            return MAP_OK;
        }
        if (slot->state == SLOT_FREE && map->fill < map->max_fill) {
            slot->state = SLOT_USED;
            slot->key = key;
            slot->value = value;
            ++map->count;
            ++map->fill;
            return MAP_OK;
        }
    }
    return intmap_insert_full(map, key, value);
}

inline int strmap_get(const StringMap* map, const char* key, void** out_value,
                      std::uint32_t hash) noexcept {
    if (map->size > 0) {
        const StringMapSlot* slot =
            static_cast<const StringMapSlot*>(map->slots) +
            map_first_index(hash, static_cast<std::uint32_t>(map->size));
        if (slot->state == SLOT_USED && strmap_key_equal(slot->key, key)) {
            *out_value = slot->value;
            return MAP_OK;
        }
        if (slot->state == SLOT_FREE) return MAP_NOTFOUND;
    }
    return strmap_get_full(map, key, out_value, hash);
}

inline int strmap_insert(StringMap* map, const char* key, void* value,
                         std::uint32_t hash) noexcept {
    if (map->size > 0) {
        StringMapSlot* slot = static_cast<StringMapSlot*>(map->slots) +
                              map_first_index(hash, static_cast<std::uint32_t>(map->size));
        if (slot->state == SLOT_USED && strmap_key_equal(slot->key, key)) {
            slot->value = value;
            return MAP_OK;
        }
        if (slot->state == SLOT_FREE && map->fill < map->max_fill) {
            slot->state = SLOT_USED;
            slot->key = key;
            slot->value = value;
            ++map->count;
            ++map->fill;
            return MAP_OK;
        }
    }
    return strmap_insert_full(map, key, value, hash);
}
