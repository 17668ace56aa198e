#include "mapkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <deque>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// --- helpers ---------------------------------------------------------------

// Trial division by 6k +- 1: about 15,000 divisions for the largest entry.
bool is_prime(std::int64_t n) {
    if (n < 4) return n > 1;
    if (n % 2 == 0 || n % 3 == 0) return false;
    for (std::int64_t d = 5; d * d <= n; d += 6) {
        if (n % d == 0 || n % (d + 2) == 0) return false;
    }
    return true;
}

template <class Slot>
const Slot& slot_at(const MapRecord& map, int index) {
    return static_cast<const Slot*>(map.slots)[index];
}

// Every invariant a successful operation must leave behind.
template <class Slot>
::testing::AssertionResult invariants_hold(const MapRecord& map) {
    if (!map.slots) return ::testing::AssertionFailure() << "no slot array";
    if (!std::binary_search(map_size_table, map_size_table + MAP_SIZE_COUNT, map.size))
        return ::testing::AssertionFailure() << "size " << map.size << " not in the table";
    if (!(map.count <= map.fill && map.fill < map.size))
        return ::testing::AssertionFailure() << "count " << map.count << " fill " << map.fill
                                             << " size " << map.size;
    int max_fill = static_cast<int>(map.size * 0.5);
    if (max_fill >= map.size) max_fill = map.size - 1;
    if (map.max_fill != max_fill || map.min_used != static_cast<int>(map.size * 0.2))
        return ::testing::AssertionFailure() << "max_fill " << map.max_fill << " min_used "
                                             << map.min_used << " for size " << map.size;
    int used = 0;
    int deleted = 0;
    for (int i = 0; i < map.size; ++i) {
        std::uint8_t state = slot_at<Slot>(map, i).state;
        if (state == SLOT_USED) ++used;
        else if (state == SLOT_DELETED) ++deleted;
        else if (state != SLOT_FREE) return ::testing::AssertionFailure() << "bad state";
    }
    if (used != map.count || used + deleted != map.fill)
        return ::testing::AssertionFailure() << "used " << used << " deleted " << deleted
                                             << " vs count " << map.count << " fill "
                                             << map.fill;
    return ::testing::AssertionSuccess();
}

void* as_value(std::uintptr_t v) { return reinterpret_cast<void*>(v); }

// Fails the allocation after `allow` more have succeeded; uninstalls itself
// with the guard so a failing test cannot leak it into the next one.
int g_allocations_left = -1;
void* counting_alloc(void* block, std::size_t bytes) {
    if (g_allocations_left == 0) return nullptr;
    if (g_allocations_left > 0) --g_allocations_left;
    return std::realloc(block, bytes);
}
struct FailAllocationsAfter {
    explicit FailAllocationsAfter(int allow) {
        g_allocations_left = allow;
        mapkit_set_alloc_hook(counting_alloc);
    }
    ~FailAllocationsAfter() { mapkit_set_alloc_hook(nullptr); }
};

// --- shared parts ------------------------------------------------------------

TEST(MapSizeTable, HoldsAscendingUpperTwinPrimes) {
    const std::int32_t head[] = {5,   7,   13,  19,  31,  43,  61,  73,  103,
                                 109, 139, 151, 181, 193, 199, 229, 241, 271,
                                 283, 313, 349, 421, 433, 463, 523};
    const std::int32_t tail[] = {1649256319, 1731718699, 1818304471,
                                 1909219603, 2004680263, 2147483647};
    ASSERT_EQ(MAP_SIZE_COUNT, 343);
    for (int i = 0; i < 25; ++i) EXPECT_EQ(map_size_table[i], head[i]) << "entry " << i + 1;
    for (int i = 0; i < 6; ++i) EXPECT_EQ(map_size_table[337 + i], tail[i]) << "entry " << 338 + i;

    for (int i = 0; i + 1 < MAP_SIZE_COUNT; ++i) {
        std::int32_t p = map_size_table[i];
        EXPECT_TRUE(is_prime(p) && is_prime(p - 2)) << p << " is no upper twin prime";
        EXPECT_LT(p, map_size_table[i + 1]);
        // Spacing: 4 to 5 per cent above 10,000, 5 per cent from 10^8 (the
        // fixed last step to 2^31 - 1 excepted).
        if (p >= 10000 && i + 2 < MAP_SIZE_COUNT) {
            double ratio = static_cast<double>(map_size_table[i + 1]) / p;
            EXPECT_TRUE(ratio >= 1.04 && ratio <= 1.0501) << p << " ratio " << ratio;
            if (p >= 100000000) {
                EXPECT_NEAR(ratio, 1.05, 0.0001) << p;
            }
        }
    }
}

TEST(MapNextSize, PicksSmallestEntryAtOrAbove) {
    EXPECT_EQ(map_next_size(10), 13);
    EXPECT_EQ(map_next_size(314), 349);
    EXPECT_EQ(map_next_size(2004680263), 2004680263);
    EXPECT_EQ(map_next_size(2004680264), 2147483647);
    EXPECT_EQ(map_next_size(2147483647), 2147483647);
    for (int small : {INT_MIN, -1, 0, 1, 4, 5}) EXPECT_EQ(map_next_size(small), 5) << small;
    EXPECT_EQ(map_next_size(6), 7);
    for (int i = 1; i < MAP_SIZE_COUNT; ++i) {
        EXPECT_EQ(map_next_size(map_size_table[i]), map_size_table[i]);
        EXPECT_EQ(map_next_size(map_size_table[i - 1] + 1), map_size_table[i]);
    }
}

TEST(MapStringHash, UnsignedBytesAndFinalFold) {
    EXPECT_EQ(map_string_hash(""), 5549u);
    EXPECT_EQ(map_string_hash("abc"), 199532399u);
    EXPECT_EQ(map_string_hash("\xff"), 183385u);  // a signed byte would give 183384
    EXPECT_EQ(map_string_hash("1.000000 -2.500000 3.250000"), 2767240968u);  // wraps mod 2^32
}

TEST(MapStatusText, ExactTexts) {
    EXPECT_STREQ(map_status_text[MAP_OK], "ok");
    EXPECT_STREQ(map_status_text[MAP_FULL], "fill >= max. admissible size");
    EXPECT_STREQ(map_status_text[MAP_NOMEM], "malloc failed");
    EXPECT_STREQ(map_status_text[MAP_BADKEY], "bad key");
    EXPECT_STREQ(map_status_text[MAP_NOTFOUND], "key not found");
}

// --- sizing ------------------------------------------------------------------

TEST(IntMapSizing, InitGrowAndShrinkFollowTheLoads) {
    {
        IntMap map{};
        ASSERT_EQ(intmap_init(&map, 0), MAP_OK);
        EXPECT_EQ(map.size, 5);
        EXPECT_EQ(map.max_fill, 2);
        EXPECT_EQ(map.min_used, 1);
        EXPECT_EQ(map.max_load, 0.5);
        EXPECT_EQ(map.min_load, 0.2);
        EXPECT_EQ(intmap_insert(&map, 1, as_value(1)), MAP_OK);
        EXPECT_EQ(intmap_insert(&map, 2, as_value(2)), MAP_OK);
        EXPECT_EQ(map.size, 5);
        // Third key: fill 3 > 2, trunc(4 * 3 / 1.1) = 10, next size 13.
        EXPECT_EQ(intmap_insert(&map, 3, as_value(3)), MAP_OK);
        EXPECT_EQ(map.size, 13);
        EXPECT_EQ(map.max_fill, 6);
        EXPECT_EQ(map.min_used, 2);
        EXPECT_EQ(map.count, 3);
        EXPECT_TRUE(invariants_hold<IntMapSlot>(map));
        intmap_free(&map);
        EXPECT_EQ(map.slots, nullptr);
        EXPECT_EQ(map.size + map.fill + map.count + map.max_fill + map.min_used, 0);
    }
    {
        IntMap map{};
        ASSERT_EQ(intmap_init(&map, 100), MAP_OK);  // trunc(200 / 0.7) = 285
        EXPECT_EQ(map.size, 313);
        EXPECT_EQ(map.max_fill, 156);
        EXPECT_EQ(map.min_used, 62);
        intmap_free(&map);
        ASSERT_EQ(intmap_init(&map, -7), MAP_OK);
        EXPECT_EQ(map.size, 5);
        intmap_free(&map);
    }
    {
        // Removing the only entry: count 0 < min_used 1, rebuilt at 5 slots
        // with every deleted mark gone.
        IntMap map{};
        ASSERT_EQ(intmap_init(&map, 0), MAP_OK);
        ASSERT_EQ(intmap_insert(&map, 42, as_value(1)), MAP_OK);
        EXPECT_EQ(intmap_remove(&map, 42), MAP_OK);
        EXPECT_EQ(map.size, 5);
        EXPECT_EQ(map.count, 0);
        EXPECT_EQ(map.fill, 0);
        EXPECT_TRUE(invariants_hold<IntMapSlot>(map));
        void* out = as_value(99);
        EXPECT_EQ(intmap_get(&map, 42, &out), MAP_NOTFOUND);
        EXPECT_EQ(out, as_value(99));
        EXPECT_EQ(intmap_remove(&map, 42), MAP_NOTFOUND);
        intmap_free(&map);
    }
}

// --- probing -----------------------------------------------------------------

TEST(IntMapProbe, WalksDownByHashModSizeMinusTwo) {
    {
        // 13 slots, step modulo 11. 1, 14 and 27 all start at slot 1; 14
        // steps 3 (to 11), 27 steps 5 (to 9).
        IntMap map{};
        ASSERT_EQ(intmap_init(&map, 3), MAP_OK);
        ASSERT_EQ(map.size, 13);
        for (IntMapKey key : {1u, 14u, 27u, 5u}) ASSERT_EQ(intmap_insert(&map, key, as_value(key)), MAP_OK);
        EXPECT_EQ(slot_at<IntMapSlot>(map, 1).key, 1u);
        EXPECT_EQ(slot_at<IntMapSlot>(map, 11).key, 14u);
        EXPECT_EQ(slot_at<IntMapSlot>(map, 9).key, 27u);
        EXPECT_EQ(slot_at<IntMapSlot>(map, 5).key, 5u);

        // 157 also starts at 1 with step 3: it takes the deleted slot 11 and
        // fill stays.
        ASSERT_EQ(intmap_remove(&map, 14), MAP_OK);
        EXPECT_EQ(map.fill, 4);
        ASSERT_EQ(intmap_insert(&map, 157, as_value(157)), MAP_OK);
        EXPECT_EQ(slot_at<IntMapSlot>(map, 11).key, 157u);
        EXPECT_EQ(slot_at<IntMapSlot>(map, 11).state, SLOT_USED);
        EXPECT_EQ(map.count, 4);
        EXPECT_EQ(map.fill, 4);

        // With slot 1 deleted, 157 and 27 exist behind it: replaced in place,
        // not added again at slot 1.
        ASSERT_EQ(intmap_remove(&map, 1), MAP_OK);
        ASSERT_EQ(intmap_insert(&map, 157, as_value(7)), MAP_OK);
        ASSERT_EQ(intmap_insert(&map, 27, as_value(8)), MAP_OK);
        EXPECT_EQ(slot_at<IntMapSlot>(map, 1).state, SLOT_DELETED);
        EXPECT_EQ(slot_at<IntMapSlot>(map, 11).value, as_value(7));
        EXPECT_EQ(slot_at<IntMapSlot>(map, 9).value, as_value(8));
        EXPECT_EQ(map.count, 3);
        EXPECT_EQ(map.fill, 4);
        ASSERT_EQ(intmap_remove(&map, 157), MAP_OK);
        void* out = nullptr;
        EXPECT_EQ(intmap_get(&map, 157, &out), MAP_NOTFOUND);
        EXPECT_TRUE(invariants_hold<IntMapSlot>(map));
        intmap_free(&map);
    }
    {
        // 5 slots, step modulo 3: 18 starts at 3 like 3 and 18 mod 3 = 0
        // becomes step 1, so it lands at 2.
        IntMap map{};
        ASSERT_EQ(intmap_init(&map, 0), MAP_OK);
        ASSERT_EQ(intmap_insert(&map, 3, as_value(3)), MAP_OK);
        ASSERT_EQ(intmap_insert(&map, 18, as_value(18)), MAP_OK);
        EXPECT_EQ(slot_at<IntMapSlot>(map, 2).key, 18u);
        intmap_free(&map);
    }
    {
        // Hashing is unsigned: 4294967295 mod 5 = 0, mod 3 = 0 raised to 1,
        // so after key 0 it wraps from slot 0 to slot 4.
        IntMap map{};
        ASSERT_EQ(intmap_init(&map, 0), MAP_OK);
        ASSERT_EQ(intmap_insert(&map, 0, as_value(10)), MAP_OK);
        ASSERT_EQ(intmap_insert(&map, 4294967295u, as_value(11)), MAP_OK);
        EXPECT_EQ(slot_at<IntMapSlot>(map, 0).key, 0u);
        EXPECT_EQ(slot_at<IntMapSlot>(map, 4).key, 4294967295u);
        void* out = nullptr;
        EXPECT_EQ(intmap_get(&map, 0, &out), MAP_OK);
        EXPECT_EQ(out, as_value(10));
        EXPECT_EQ(intmap_get(&map, 4294967295u, &out), MAP_OK);
        EXPECT_EQ(out, as_value(11));
        intmap_free(&map);
    }
}

TEST(IntMapKeys, PointerWideKeysKeepEveryBit) {
    EXPECT_EQ(intmap_hash(12345u), 12345u);
    EXPECT_EQ(intmap_hash(0x100000000u), 1u);
    EXPECT_EQ(intmap_hash(0xFFFFFFFF00000000u), 0xFFFFFFFFu);
    EXPECT_EQ(intmap_hash(0x0000000500000005u), 0u);

    IntMap map{};
    ASSERT_EQ(intmap_init(&map, 0), MAP_OK);
    // 2^32 hashes to 1 like key 1: same first slot, step 1 mod 3 = 1 to slot 0.
    ASSERT_EQ(intmap_insert(&map, 1, as_value(1)), MAP_OK);
    ASSERT_EQ(intmap_insert(&map, 0x100000000u, as_value(2)), MAP_OK);
    EXPECT_EQ(slot_at<IntMapSlot>(map, 1).key, 1u);
    EXPECT_EQ(slot_at<IntMapSlot>(map, 0).key, 0x100000000u);

    const IntMapKey keys[] = {0x100000007u, 0x200000007u, 0x00007ffd12345670u,
                              0x00007ffd12345680u, 0xFFFFFFFFFFFFFFFFu, 7u};
    for (IntMapKey key : keys) ASSERT_EQ(intmap_insert(&map, key, as_value(key ^ 0x55)), MAP_OK);
    EXPECT_EQ(map.count, 8);
    for (IntMapKey key : keys) {
        void* out = nullptr;
        EXPECT_EQ(intmap_get(&map, key, &out), MAP_OK) << key;
        EXPECT_EQ(out, as_value(key ^ 0x55)) << key;
    }
    ASSERT_EQ(intmap_remove(&map, 0x200000007u), MAP_OK);
    void* out = nullptr;
    EXPECT_EQ(intmap_get(&map, 0x200000007u, &out), MAP_NOTFOUND);
    EXPECT_EQ(intmap_get(&map, 0x100000007u, &out), MAP_OK);
    EXPECT_EQ(intmap_get(&map, 7u, &out), MAP_OK);
    EXPECT_TRUE(invariants_hold<IntMapSlot>(map));
    intmap_free(&map);
}

TEST(StringMapKeys, EqualTextIsTheSameKey) {
    StringMap map{};
    ASSERT_EQ(strmap_init(&map, 4), MAP_OK);
    const char stored[] = "bone_01";
    char other[] = "bone_01";
    ASSERT_EQ(strmap_insert(&map, stored, as_value(1), map_string_hash(stored)), MAP_OK);
    // A second pointer with equal text replaces the value; the map keeps the
    // first key pointer.
    ASSERT_EQ(strmap_insert(&map, other, as_value(2), map_string_hash(other)), MAP_OK);
    EXPECT_EQ(map.count, 1);
    EXPECT_EQ(map.fill, 1);
    for (int i = 0; i < map.size; ++i) {
        if (slot_at<StringMapSlot>(map, i).state == SLOT_USED) {
            EXPECT_EQ(slot_at<StringMapSlot>(map, i).key, stored);
        }
    }
    void* out = nullptr;
    EXPECT_EQ(strmap_get(&map, other, &out, map_string_hash(other)), MAP_OK);
    EXPECT_EQ(out, as_value(2));
    // Case-sensitive, and the empty string is an ordinary key.
    EXPECT_EQ(strmap_get(&map, "BONE_01", &out, map_string_hash("BONE_01")), MAP_NOTFOUND);
    ASSERT_EQ(strmap_insert(&map, "", as_value(3), map_string_hash("")), MAP_OK);
    EXPECT_EQ(strmap_get(&map, "", &out, 5549u), MAP_OK);
    EXPECT_EQ(out, as_value(3));
    EXPECT_EQ(strmap_remove(&map, other, map_string_hash(other)), MAP_OK);
    EXPECT_EQ(strmap_get(&map, stored, &out, map_string_hash(stored)), MAP_NOTFOUND);
    EXPECT_TRUE(invariants_hold<StringMapSlot>(map));
    strmap_free(&map);
}

// --- allocation failure ------------------------------------------------------

TEST(MapAllocationFailure, MapStaysUsable) {
    void* out = nullptr;
    {
        // Init: no array, lookups find nothing, a later insert allocates.
        IntMap map{};
        {
            FailAllocationsAfter fail(0);
            EXPECT_EQ(intmap_init(&map, 10), MAP_NOMEM);
            EXPECT_EQ(map.slots, nullptr);
            EXPECT_EQ(intmap_get(&map, 1, &out), MAP_NOTFOUND);
            EXPECT_EQ(intmap_remove(&map, 1), MAP_NOTFOUND);
            EXPECT_EQ(intmap_insert(&map, 1, as_value(1)), MAP_NOMEM);
        }
        EXPECT_EQ(intmap_insert(&map, 1, as_value(1)), MAP_OK);
        EXPECT_EQ(map.size, 5);
        EXPECT_EQ(intmap_get(&map, 1, &out), MAP_OK);
        EXPECT_TRUE(invariants_hold<IntMapSlot>(map));
        intmap_free(&map);
    }
    {
        // Growth: the entry is stored anyway and the map runs over max_fill,
        // but never fills its last free slot.
        IntMap map{};
        ASSERT_EQ(intmap_init(&map, 0), MAP_OK);
        ASSERT_EQ(intmap_insert(&map, 10, as_value(10)), MAP_OK);
        ASSERT_EQ(intmap_insert(&map, 11, as_value(11)), MAP_OK);
        {
            FailAllocationsAfter fail(0);
            EXPECT_EQ(intmap_insert(&map, 12, as_value(12)), MAP_NOMEM);
            EXPECT_EQ(intmap_insert(&map, 13, as_value(13)), MAP_NOMEM);
            EXPECT_EQ(map.size, 5);
            EXPECT_EQ(map.count, 4);
            EXPECT_EQ(map.fill, 4);
            EXPECT_EQ(intmap_insert(&map, 14, as_value(14)), MAP_NOMEM);
            EXPECT_EQ(map.count, 4);
            EXPECT_EQ(intmap_get(&map, 14, &out), MAP_NOTFOUND);
            EXPECT_EQ(intmap_insert(&map, 13, as_value(31)), MAP_OK);  // replace needs no room
            for (IntMapKey key : {10u, 11u, 12u}) {
                EXPECT_EQ(intmap_get(&map, key, &out), MAP_OK);
                EXPECT_EQ(out, as_value(key));
            }
        }
        EXPECT_EQ(intmap_insert(&map, 14, as_value(14)), MAP_OK);
        EXPECT_EQ(map.count, 5);
        EXPECT_TRUE(invariants_hold<IntMapSlot>(map));
        EXPECT_EQ(intmap_get(&map, 13, &out), MAP_OK);
        EXPECT_EQ(out, as_value(31));
        intmap_free(&map);
    }
    {
        // Shrink: the entry is gone, the array and its deleted marks stay.
        IntMap map{};
        ASSERT_EQ(intmap_init(&map, 3), MAP_OK);  // 13 slots, min_used 2
        for (IntMapKey key : {1u, 2u}) ASSERT_EQ(intmap_insert(&map, key, as_value(key)), MAP_OK);
        {
            FailAllocationsAfter fail(0);
            EXPECT_EQ(intmap_remove(&map, 1), MAP_NOMEM);
            EXPECT_EQ(map.size, 13);
            EXPECT_EQ(map.count, 1);
            EXPECT_EQ(map.fill, 2);
            EXPECT_EQ(intmap_get(&map, 1, &out), MAP_NOTFOUND);
            EXPECT_EQ(intmap_get(&map, 2, &out), MAP_OK);
        }
        EXPECT_EQ(intmap_remove(&map, 2), MAP_OK);
        EXPECT_EQ(map.size, 5);
        EXPECT_EQ(map.fill, 0);
        intmap_free(&map);
    }
    {
        // A rebuild first copies the entries out, then resizes the array:
        // failing either allocation leaves the map as it was.
        for (int allow : {0, 1}) {
            IntMap map{};
            ASSERT_EQ(intmap_init(&map, 0), MAP_OK);
            for (IntMapKey key : {3u, 4u}) ASSERT_EQ(intmap_insert(&map, key, as_value(key)), MAP_OK);
            {
                FailAllocationsAfter fail(allow);
                EXPECT_EQ(intmap_resize(&map, 100), MAP_NOMEM) << allow;
            }
            EXPECT_EQ(map.size, 5);
            EXPECT_EQ(slot_at<IntMapSlot>(map, 3).key, 3u);
            EXPECT_EQ(slot_at<IntMapSlot>(map, 4).key, 4u);
            EXPECT_TRUE(invariants_hold<IntMapSlot>(map));
            EXPECT_EQ(intmap_resize(&map, 100), MAP_OK);
            EXPECT_EQ(map.size, 103);
            EXPECT_EQ(slot_at<IntMapSlot>(map, 3).key, 3u);
            EXPECT_EQ(slot_at<IntMapSlot>(map, 4).key, 4u);
            intmap_free(&map);
        }
    }
    {
        // The string map shares the rule; its rebuild recomputes hashes.
        StringMap map{};
        ASSERT_EQ(strmap_init(&map, 0), MAP_OK);
        const char* keys[] = {"a", "b", "c", "d"};
        {
            FailAllocationsAfter fail(0);
            for (const char* key : keys) strmap_insert(&map, key, as_value(1), map_string_hash(key));
            EXPECT_EQ(map.count, 4);
        }
        EXPECT_EQ(strmap_resize(&map, 10), MAP_OK);
        EXPECT_EQ(map.size, 13);
        for (const char* key : keys) EXPECT_EQ(strmap_get(&map, key, &out, map_string_hash(key)), MAP_OK);
        EXPECT_TRUE(invariants_hold<StringMapSlot>(map));
        strmap_free(&map);
    }
}

// --- whole behaviour against a reference -------------------------------------

// One face for both map types, so the same drivers run on each. The string
// side passes a fresh copy of the key to every call but insert, so equality
// never rests on the pointer.
struct IntOps {
    using Map = IntMap;
    using Slot = IntMapSlot;
    using Key = IntMapKey;
    using ModelKey = IntMapKey;
    static Key key_of(const ModelKey& k) { return k; }
    static int init(Map* m) { return intmap_init(m, 0); }
    static void free(Map* m) { intmap_free(m); }
    static int insert(Map* m, Key k, void* v) { return intmap_insert(m, k, v); }
    static int insert_full(Map* m, Key k, void* v) { return intmap_insert_full(m, k, v); }
    static int get(const Map* m, Key k, void** out) { return intmap_get(m, k, out); }
    static int get_full(const Map* m, Key k, void** out) { return intmap_get_full(m, k, out); }
    static int remove(Map* m, Key k) { return intmap_remove(m, k); }
};

struct StringOps {
    using Map = StringMap;
    using Slot = StringMapSlot;
    using Key = const char*;
    using ModelKey = std::string;
    static Key key_of(const ModelKey& k) { return k.c_str(); }
    static std::uint32_t hash(Key k) { return map_string_hash(k); }
    static int init(Map* m) { return strmap_init(m, 0); }
    static void free(Map* m) { strmap_free(m); }
    static int insert(Map* m, Key k, void* v) { return strmap_insert(m, k, v, hash(k)); }
    static int insert_full(Map* m, Key k, void* v) { return strmap_insert_full(m, k, v, hash(k)); }
    static int get(const Map* m, Key k, void** out) {
        std::string copy(k);
        return strmap_get(m, copy.c_str(), out, hash(k));
    }
    static int get_full(const Map* m, Key k, void** out) {
        std::string copy(k);
        return strmap_get_full(m, copy.c_str(), out, hash(k));
    }
    static int remove(Map* m, Key k) {
        std::string copy(k);
        return strmap_remove(m, copy.c_str(), hash(k));
    }
};

// The inline fast paths against the full operations on a twin map: same
// statuses, same values, same slot arrays after every step.
template <class Ops, class NextKey>
void expect_fast_path_matches_full(NextKey next_key, int steps, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    typename Ops::Map fast{};
    typename Ops::Map full{};
    ASSERT_EQ(Ops::init(&fast), MAP_OK);
    ASSERT_EQ(Ops::init(&full), MAP_OK);
    for (int step = 0; step < steps; ++step) {
        typename Ops::Key key = next_key(rng);
        void* value = as_value(rng());
        void* a = as_value(1);
        void* b = as_value(1);
        switch (rng() % 3) {
            case 0: ASSERT_EQ(Ops::insert(&fast, key, value), Ops::insert_full(&full, key, value)); break;
            case 1: ASSERT_EQ(Ops::get(&fast, key, &a), Ops::get_full(&full, key, &b)); break;
            default: ASSERT_EQ(Ops::remove(&fast, key), Ops::remove(&full, key));
        }
        ASSERT_EQ(a, b);
        ASSERT_TRUE(fast.size == full.size && fast.count == full.count && fast.fill == full.fill);
        for (int i = 0; i < fast.size; ++i) {
            const auto& x = slot_at<typename Ops::Slot>(fast, i);
            const auto& y = slot_at<typename Ops::Slot>(full, i);
            ASSERT_TRUE(x.state == y.state && x.key == y.key && x.value == y.value)
                << "slot " << i << " at step " << step;
        }
    }
    Ops::free(&fast);
    Ops::free(&full);
}

// Random inserts, removes and gets against std::unordered_map, with every
// invariant checked after every step. Phases of 11,000 steps alternately
// favour inserts and removals, so the map grows and shrinks many times.
template <class Ops, class NextKey>
void expect_model_behaviour(NextKey next_key, int steps, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    typename Ops::Map map{};
    ASSERT_EQ(Ops::init(&map), MAP_OK);
    std::unordered_map<typename Ops::ModelKey, void*> model;
    for (int step = 0; step < steps; ++step) {
        bool growing = (step / 11000) % 2 == 0;
        typename Ops::Key key = next_key(rng, step);
        typename Ops::ModelKey model_key(key);
        unsigned roll = static_cast<unsigned>(rng() % 100);
        void* out = as_value(3);
        if (roll < (growing ? 55u : 25u)) {
            void* value = as_value(rng());
            ASSERT_EQ(Ops::insert(&map, key, value), MAP_OK);
            model[model_key] = value;
        } else if (roll < 75) {
            int expect = model.erase(model_key) ? MAP_OK : MAP_NOTFOUND;
            ASSERT_EQ(Ops::remove(&map, key), expect);
        } else {
            auto it = model.find(model_key);
            ASSERT_EQ(Ops::get(&map, key, &out), it == model.end() ? MAP_NOTFOUND : MAP_OK);
            ASSERT_EQ(out, it == model.end() ? as_value(3) : it->second);
        }
        ASSERT_EQ(map.count, static_cast<int>(model.size()));
        ASSERT_TRUE(invariants_hold<typename Ops::Slot>(map)) << "step " << step;
    }
    for (const auto& [k, v] : model) {
        void* out = nullptr;
        ASSERT_EQ(Ops::get_full(&map, Ops::key_of(k), &out), MAP_OK);
        ASSERT_EQ(out, v);
    }
    Ops::free(&map);
}

TEST(MapFastPath, SameResultsAsTheFullOperations) {
    expect_fast_path_matches_full<IntOps>(
        [](std::mt19937_64& rng) {
            IntMapKey key = rng() % 300;
            return rng() % 3 == 0 ? key | (rng() % 4) << 32 : key;
        },
        20000, 7);
    std::vector<std::string> texts;
    for (int i = 0; i < 200; ++i) texts.push_back(std::to_string(i * 7919) + "w");
    expect_fast_path_matches_full<StringOps>(
        [&](std::mt19937_64& rng) { return texts[rng() % texts.size()].c_str(); }, 10000, 8);
}

TEST(IntMapModel, RandomOperationsMatchUnorderedMap) {
    std::mt19937_64 rng(20240611);
    std::vector<IntMapKey> wide(1500);
    for (auto& key : wide) key = rng();
    for (std::uint64_t i = 0; i < 200; ++i) wide[i] = (wide[i] & 0xFFFFFFFF) | (i << 32);  // same low halves
    // A small dense range, then addresses 16 bytes apart, then random 64-bit keys.
    expect_model_behaviour<IntOps>(
        [&](std::mt19937_64& r, int step) -> IntMapKey {
            if (step < 66667) return r() % 40;
            if (step < 133334) return 0x00007f3a5c000000u + 16 * (r() % 1200);
            return wide[r() % wide.size()];
        },
        200000, 1);
}

TEST(StringMapModel, RandomOperationsMatchUnorderedMap) {
    std::deque<std::string> pool;  // stable addresses: the map keeps the pointers
    for (int i = 0; i < 600; ++i) {
        char text[64];
        std::snprintf(text, sizeof text, "%06.6f %06.6f %06.6f", i * 0.5, -i * 0.25, i * 1.125);
        pool.emplace_back(text);
        pool.emplace_back("Surface_" + std::to_string(i));
    }
    pool.emplace_back("");
    // A few keys first (many collisions and rebuilds at small sizes), then all.
    expect_model_behaviour<StringOps>(
        [&](std::mt19937_64& r, int step) {
            return pool[r() % (step < 50000 ? 60 : pool.size())].c_str();
        },
        100000, 99);
}

}  // namespace
