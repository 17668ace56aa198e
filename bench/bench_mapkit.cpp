// IntMap and StringMap against std::unordered_map on 1M keys. Integer keys
// come as host IDs do: addresses of records 32 bytes apart, and, as a worst
// case for the folding hash, random 64-bit values. Lookups and removals visit
// the keys in shuffled order so the cache sees what a scene walk would.
#include "mapkit.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

constexpr int KEY_COUNT = 1 << 20;

enum KeyKind { ADDRESSES = 0, RANDOM64 = 1 };

const std::vector<IntMapKey>& int_keys(int kind) {
    static std::vector<IntMapKey> keys[2];
    std::vector<IntMapKey>& k = keys[kind];
    if (k.empty()) {
        k.resize(KEY_COUNT);
        std::mt19937_64 rng(1);
        for (int i = 0; i < KEY_COUNT; ++i) {
            k[i] = kind == ADDRESSES ? 0x00007f3a5c000000u + 32u * static_cast<unsigned>(i) : rng();
        }
    }
    return k;
}

const std::vector<IntMapKey>& shuffled_int_keys(int kind) {
    static std::vector<IntMapKey> keys[2];
    std::vector<IntMapKey>& k = keys[kind];
    if (k.empty()) {
        k = int_keys(kind);
        std::shuffle(k.begin(), k.end(), std::mt19937_64(2));
    }
    return k;
}

// Vertex position texts, as the mesh exporters key them.
const std::vector<std::string>& string_keys() {
    static std::vector<std::string> keys;
    if (keys.empty()) {
        keys.reserve(KEY_COUNT);
        std::mt19937 rng(3);
        std::uniform_real_distribution<double> coord(-100.0, 100.0);
        char text[96];
        for (int i = 0; i < KEY_COUNT; ++i) {
            std::snprintf(text, sizeof text, "%06.6f %06.6f %06.6f", coord(rng), coord(rng),
                          coord(rng));
            keys.emplace_back(text);
        }
    }
    return keys;
}

void* value_of(std::size_t i) { return reinterpret_cast<void*>(i + 1); }

void fill_intmap(IntMap* map, const std::vector<IntMapKey>& keys, int expected = 0) {
    intmap_init(map, expected);
    for (std::size_t i = 0; i < keys.size(); ++i) intmap_insert(map, keys[i], value_of(i));
}

void fill_unordered(std::unordered_map<std::uintptr_t, void*>* map,
                    const std::vector<IntMapKey>& keys) {
    for (std::size_t i = 0; i < keys.size(); ++i) (*map)[keys[i]] = value_of(i);
}

const char* kind_label(int kind) { return kind == ADDRESSES ? "addresses" : "random64"; }

// Growing from an empty map, and sized once for the count up front as owners
// do when the host reports its counts.
void BM_IntMapInsert(benchmark::State& state) {
    int kind = static_cast<int>(state.range(0));
    int expected = state.range(1) ? KEY_COUNT : 0;
    const auto& keys = int_keys(kind);
    for (auto _ : state) {
        IntMap map{};
        fill_intmap(&map, keys, expected);
        benchmark::DoNotOptimize(map.count);
        intmap_free(&map);
    }
    state.SetItemsProcessed(state.iterations() * KEY_COUNT);
    state.SetLabel(kind_label(kind));
}

void BM_UnorderedInsert(benchmark::State& state) {
    int kind = static_cast<int>(state.range(0));
    const auto& keys = int_keys(kind);
    for (auto _ : state) {
        std::unordered_map<std::uintptr_t, void*> map;
        if (state.range(1)) map.reserve(KEY_COUNT);
        fill_unordered(&map, keys);
        benchmark::DoNotOptimize(map.size());
    }
    state.SetItemsProcessed(state.iterations() * KEY_COUNT);
    state.SetLabel(kind_label(kind));
}

void BM_IntMapGet(benchmark::State& state) {
    int kind = static_cast<int>(state.range(0));
    IntMap map{};
    fill_intmap(&map, int_keys(kind));
    const auto& probe = shuffled_int_keys(kind);
    for (auto _ : state) {
        std::uintptr_t sum = 0;
        for (IntMapKey key : probe) {
            void* out = nullptr;
            intmap_get(&map, key, &out);
            sum += reinterpret_cast<std::uintptr_t>(out);
        }
        benchmark::DoNotOptimize(sum);
    }
    intmap_free(&map);
    state.SetItemsProcessed(state.iterations() * KEY_COUNT);
    state.SetLabel(kind_label(kind));
}

void BM_UnorderedGet(benchmark::State& state) {
    int kind = static_cast<int>(state.range(0));
    std::unordered_map<std::uintptr_t, void*> map;
    fill_unordered(&map, int_keys(kind));
    const auto& probe = shuffled_int_keys(kind);
    for (auto _ : state) {
        std::uintptr_t sum = 0;
        for (IntMapKey key : probe) {
            auto it = map.find(key);
            if (it != map.end()) sum += reinterpret_cast<std::uintptr_t>(it->second);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * KEY_COUNT);
    state.SetLabel(kind_label(kind));
}

void BM_IntMapRemove(benchmark::State& state) {
    int kind = static_cast<int>(state.range(0));
    const auto& probe = shuffled_int_keys(kind);
    for (auto _ : state) {
        state.PauseTiming();
        IntMap map{};
        fill_intmap(&map, int_keys(kind));
        state.ResumeTiming();
        for (IntMapKey key : probe) intmap_remove(&map, key);
        benchmark::DoNotOptimize(map.count);
        state.PauseTiming();
        intmap_free(&map);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * KEY_COUNT);
    state.SetLabel(kind_label(kind));
}

void BM_UnorderedRemove(benchmark::State& state) {
    int kind = static_cast<int>(state.range(0));
    const auto& probe = shuffled_int_keys(kind);
    for (auto _ : state) {
        state.PauseTiming();
        std::unordered_map<std::uintptr_t, void*> map;
        fill_unordered(&map, int_keys(kind));
        state.ResumeTiming();
        for (IntMapKey key : probe) map.erase(key);
        benchmark::DoNotOptimize(map.size());
    }
    state.SetItemsProcessed(state.iterations() * KEY_COUNT);
    state.SetLabel(kind_label(kind));
}

// The string map does not copy keys, so the fair rival keys on string_view.
void fill_strmap(StringMap* map, const std::vector<std::string>& keys) {
    strmap_init(map, 0);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const char* key = keys[i].c_str();
        strmap_insert(map, key, value_of(i), map_string_hash(key));
    }
}

void BM_StringMapInsert(benchmark::State& state) {
    const auto& keys = string_keys();
    for (auto _ : state) {
        StringMap map{};
        fill_strmap(&map, keys);
        benchmark::DoNotOptimize(map.count);
        strmap_free(&map);
    }
    state.SetItemsProcessed(state.iterations() * KEY_COUNT);
}

void BM_UnorderedStringInsert(benchmark::State& state) {
    const auto& keys = string_keys();
    for (auto _ : state) {
        std::unordered_map<std::string_view, void*> map;
        for (std::size_t i = 0; i < keys.size(); ++i) map[keys[i]] = value_of(i);
        benchmark::DoNotOptimize(map.size());
    }
    state.SetItemsProcessed(state.iterations() * KEY_COUNT);
}

// Lookups use copies of the keys, as a caller holding its own text would.
void BM_StringMapGet(benchmark::State& state) {
    const auto& keys = string_keys();
    StringMap map{};
    fill_strmap(&map, keys);
    std::vector<std::string> probe = keys;
    std::shuffle(probe.begin(), probe.end(), std::mt19937_64(4));
    for (auto _ : state) {
        std::uintptr_t sum = 0;
        for (const std::string& key : probe) {
            void* out = nullptr;
            strmap_get(&map, key.c_str(), &out, map_string_hash(key.c_str()));
            sum += reinterpret_cast<std::uintptr_t>(out);
        }
        benchmark::DoNotOptimize(sum);
    }
    strmap_free(&map);
    state.SetItemsProcessed(state.iterations() * KEY_COUNT);
}

void BM_UnorderedStringGet(benchmark::State& state) {
    const auto& keys = string_keys();
    std::unordered_map<std::string_view, void*> map;
    for (std::size_t i = 0; i < keys.size(); ++i) map[keys[i]] = value_of(i);
    std::vector<std::string> probe = keys;
    std::shuffle(probe.begin(), probe.end(), std::mt19937_64(4));
    for (auto _ : state) {
        std::uintptr_t sum = 0;
        for (const std::string& key : probe) {
            auto it = map.find(key);
            if (it != map.end()) sum += reinterpret_cast<std::uintptr_t>(it->second);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * KEY_COUNT);
}

void key_kinds(benchmark::internal::Benchmark* b) {
    b->ArgName("keys")->Arg(ADDRESSES)->Arg(RANDOM64)->Unit(benchmark::kMillisecond);
}

void key_kinds_sized(benchmark::internal::Benchmark* b) {
    b->ArgNames({"keys", "presized"})->ArgsProduct({{ADDRESSES, RANDOM64}, {0, 1}});
    b->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_IntMapInsert)->Apply(key_kinds_sized);
BENCHMARK(BM_UnorderedInsert)->Apply(key_kinds_sized);
BENCHMARK(BM_IntMapGet)->Apply(key_kinds);
BENCHMARK(BM_UnorderedGet)->Apply(key_kinds);
BENCHMARK(BM_IntMapRemove)->Apply(key_kinds);
BENCHMARK(BM_UnorderedRemove)->Apply(key_kinds);
BENCHMARK(BM_StringMapInsert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnorderedStringInsert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StringMapGet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnorderedStringGet)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
