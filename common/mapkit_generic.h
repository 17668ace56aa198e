// mapkit_generic: what the two open-addressing hash maps (IntMap, StringMap in
// mapkit.h) share: status codes, slot states, the size table, the probe
// sequence, the string hash, the map record and its allocation, and the find /
// place / rehash walks written once for both key types.
//
// Interface
//
//   map_status_text[code]     text of a status code (MAP_OK .. MAP_NOTFOUND).
//   map_size_table[i]         the MAP_SIZE_COUNT slot counts a map may have.
//   map_next_size(request)    smallest table entry >= request; 5 for any
//                             request up to 5, 2147483647 for any request at
//                             or above it.
//   map_string_hash(text)     the hash StringMap callers pass with each key.
//   map_free(map)             frees the slot array and zeroes the counters and
//                             the slot pointer (the loads stay); safe on a
//                             zeroed or already freed record.
//   mapkit_set_alloc_hook(f)  routes every allocation of the maps through f,
//                             which must behave as realloc(block, bytes)
//                             (block nullptr: a new block) and may fail by
//                             returning nullptr; nullptr restores realloc.
//                             Blocks are released with free(). Meant for
//                             tests that fail allocations.
//
// The templates at the bottom are the building blocks of mapkit.cpp; owners
// of maps use mapkit.h, not these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Status codes of every map operation.
constexpr int MAP_OK = 0;        // success
constexpr int MAP_FULL = 1;      // resize: no table size exceeds the entry count
constexpr int MAP_NOMEM = 2;     // resize: the new slot array could not be allocated
constexpr int MAP_BADKEY = 3;    // kept for the text table; no operation returns it
constexpr int MAP_NOTFOUND = 4;  // get / remove of an absent key
constexpr int MAP_STATUS_COUNT = 5;

extern const char* const map_status_text[MAP_STATUS_COUNT];

// Slot states. A free slot ends every probe walk; a deleted one does not.
constexpr std::uint8_t SLOT_USED = 0;
constexpr std::uint8_t SLOT_DELETED = 0xFE;
constexpr std::uint8_t SLOT_FREE = 0xFF;

// Each entry but the last is the upper member p of a twin-prime pair: the map
// has p slots and takes its probe step modulo p - 2, so every step is
// non-zero and below p and a walk reaches every slot.
constexpr int MAP_SIZE_COUNT = 343;
extern const std::int32_t map_size_table[MAP_SIZE_COUNT];

int map_next_size(int request) noexcept;
std::uint32_t map_string_hash(const char* text) noexcept;

// The record both map types embed, fields in this order. Loads are set by
// init and never change; the slot array belongs to the map.
struct MapRecord {
    std::int32_t size;      // slots in the array; a map_size_table entry once initialised
    std::int32_t fill;      // used plus deleted slots
    std::int32_t count;     // used slots, i.e. entries
    std::int32_t max_fill;  // largest fill before the map grows
    std::int32_t min_used;  // smallest count before the map shrinks
    double max_load;        // 0.5
    double min_load;        // 0.2
    void* slots;            // IntMapSlot* or StringMapSlot*, from the C heap
};

void map_free(MapRecord* map) noexcept;

using MapAllocHook = void* (*)(void* block, std::size_t bytes);
void mapkit_set_alloc_hook(MapAllocHook hook) noexcept;

// ---------------------------------------------------------------------------
// Building blocks for mapkit.cpp and the inline fast paths in mapkit.h.

// Sets the loads and clears everything else, as init and a first insert into
// a never-initialised record both need.
void map_reset_record(MapRecord* map) noexcept;

// Request sizes of init, growth and shrink, clamped to int range.
int map_init_request(const MapRecord* map, int expected) noexcept;
int map_grow_request(const MapRecord* map) noexcept;
int map_shrink_request(const MapRecord* map) noexcept;

// Resize steps. map_pick_size gives the new size for a request (MAP_FULL if
// none exceeds count). map_reallocate resizes or (block nullptr) allocates an
// array of count elements through the allocation hook; nullptr on failure,
// with the block untouched. map_mark_free marks every slot SLOT_FREE.
// map_set_slots installs a rebuilt array of `moved` entries.
int map_pick_size(const MapRecord* map, int request, std::int32_t* out_size) noexcept;
void* map_reallocate(void* block, std::size_t count, std::size_t element_bytes) noexcept;
void map_mark_free(void* slots, std::size_t count, std::size_t slot_bytes) noexcept;
void map_set_slots(MapRecord* map, void* slots, std::int32_t size, std::int32_t moved) noexcept;

inline std::uint32_t map_first_index(std::uint32_t hash, std::uint32_t size) noexcept {
    return hash % size;
}

inline std::uint32_t map_probe_step(std::uint32_t hash, std::uint32_t size) noexcept {
    std::uint32_t step = hash % (size - 2);
    return step == 0 ? 1 : step;
}

// The walk goes down by step and wraps at the bottom.
inline std::uint32_t map_next_index(std::uint32_t index, std::uint32_t step,
                                    std::uint32_t size) noexcept {
    return index >= step ? index - step : index + (size - step);
}

// Find: the used slot holding key, or nullptr. The map must have a free slot,
// which the insert rules guarantee, or the walk would not end.
template <class Slot, class Key, class Equal>
Slot* map_find_slot(Slot* slots, std::uint32_t size, std::uint32_t hash, Key key,
                    Equal equal) noexcept {
    std::uint32_t index = map_first_index(hash, size);
    std::uint32_t step = 0;
    for (;;) {
        Slot* slot = slots + index;
        if (slot->state == SLOT_FREE) return nullptr;
        if (slot->state == SLOT_USED && equal(slot->key, key)) return slot;
        if (step == 0) step = map_probe_step(hash, size);
        index = map_next_index(index, step, size);
    }
}

// Find a place to insert: the used slot holding key (*out_exists true), else
// the first deleted slot on the walk, else the free slot that ends it.
template <class Slot, class Key, class Equal>
Slot* map_find_place(Slot* slots, std::uint32_t size, std::uint32_t hash, Key key,
                     Equal equal, bool* out_exists) noexcept {
    *out_exists = false;
    std::uint32_t index = map_first_index(hash, size);
    std::uint32_t step = 0;
    Slot* first_deleted = nullptr;
    for (;;) {
        Slot* slot = slots + index;
        if (slot->state == SLOT_FREE) return first_deleted ? first_deleted : slot;
        if (slot->state == SLOT_USED) {
            if (equal(slot->key, key)) {
                *out_exists = true;
                return slot;
            }
        } else if (!first_deleted) {
            first_deleted = slot;
        }
        if (step == 0) step = map_probe_step(hash, size);
        index = map_next_index(index, step, size);
    }
}

inline void map_prefetch_for_write(const void* address) noexcept {
#if defined(__GNUC__)
    __builtin_prefetch(address, 1);
#else
    (void)address;
#endif
}

// Puts one entry into an array without deleted slots and without its key:
// keys in a map are distinct, so a full find-place would end at the first
// free slot on the walk, and comparing keys is not needed.
template <class Slot, class Key>
void map_place_new(Key key, void* value, std::uint32_t hash, Slot* to,
                   std::uint32_t to_size) noexcept {
    std::uint32_t index = map_first_index(hash, to_size);
    if (to[index].state != SLOT_FREE) {
        std::uint32_t step = map_probe_step(hash, to_size);
        do {
            index = map_next_index(index, step, to_size);
        } while (to[index].state != SLOT_FREE);
    }
    to[index].state = SLOT_USED;
    to[index].key = key;
    to[index].value = value;
}

// An entry waiting to be placed while its map is rebuilt.
template <class Key>
struct MapEntry {
    Key key;
    void* value;
};

// Places `entries` in order into the all-free array `to`: the order a rebuild
// visits the old slots in.
//
// Target slots of a large array lie on more pages than the TLB covers, so
// placing entries one by one waits for one miss after another. Entries are
// hashed a window ahead and their first target prefetched, so the misses
// overlap; the ring keeps each hash until its entry is placed.
template <class Slot, class Key, class HashOf>
void map_place_all(const MapEntry<Key>* entries, std::uint32_t count, Slot* to,
                   std::uint32_t to_size, HashOf hash_of) noexcept {
    constexpr std::uint32_t AHEAD = 32;
    constexpr std::uint32_t RING = 64;  // power of two > AHEAD
    std::uint32_t hashes[RING];
    std::uint32_t ahead = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t horizon = count - i > AHEAD ? i + AHEAD : count;
        for (; ahead < horizon; ++ahead) {
            std::uint32_t hash = hash_of(entries[ahead].key);
            hashes[ahead % RING] = hash;
            map_prefetch_for_write(to + map_first_index(hash, to_size));
        }
        map_place_new(entries[i].key, entries[i].value, hashes[i % RING], to, to_size);
    }
}

// Rebuild for one slot type. The entries are first copied out in index order;
// the array is then resized in place where the allocator can (large arrays
// keep their pages, so only the added part is new memory), marked free and
// refilled. Either allocation failing leaves the map as it was.
template <class Slot, class HashOf>
int map_resize_slots(MapRecord* map, int request, HashOf hash_of) noexcept {
    using Key = decltype(Slot::key);
    std::int32_t size = 0;
    int rc = map_pick_size(map, request, &size);
    if (rc != MAP_OK) return rc;
    Slot* slots = static_cast<Slot*>(map->slots);
    std::uint32_t capacity = slots ? static_cast<std::uint32_t>(map->count) : 0;
    std::uint32_t count = 0;
    MapEntry<Key>* entries = nullptr;
    if (capacity > 0) {
        entries = static_cast<MapEntry<Key>*>(
            map_reallocate(nullptr, capacity, sizeof(MapEntry<Key>)));
        if (!entries) return MAP_NOMEM;
        const std::uint32_t old_size = static_cast<std::uint32_t>(map->size);
        for (std::uint32_t i = 0; i < old_size && count < capacity; ++i) {
            if (slots[i].state == SLOT_USED) {
                entries[count++] = MapEntry<Key>{slots[i].key, slots[i].value};
            }
        }
    }
    void* resized = map_reallocate(slots, static_cast<std::size_t>(size), sizeof(Slot));
    if (!resized) {
        std::free(entries);
        return MAP_NOMEM;
    }
    map_mark_free(resized, static_cast<std::size_t>(size), sizeof(Slot));
    map_place_all(entries, count, static_cast<Slot*>(resized), static_cast<std::uint32_t>(size),
                  hash_of);
    std::free(entries);
    map_set_slots(map, resized, size, static_cast<std::int32_t>(count));
    return MAP_OK;
}
