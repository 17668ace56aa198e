// Real formatting and vertex-line composition: the formatter against the C
// library's snprintf on what a mesh export writes (coordinates in
// -1000..1000, normals in -1..1, texture coordinates in 0..1).
#include "smd_format.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <vector>

namespace {

std::vector<double> realistic_values() {
    std::mt19937_64 random(1234);
    std::uniform_real_distribution<double> coordinate(-1000.0, 1000.0);
    std::uniform_real_distribution<double> normal(-1.0, 1.0);
    std::uniform_real_distribution<double> texture(0.0, 1.0);
    std::vector<double> values;
    for (int i = 0; i < 1024; ++i) {
        for (int axis = 0; axis < 3; ++axis) values.push_back(coordinate(random));
        for (int axis = 0; axis < 3; ++axis) values.push_back(normal(random));
        values.push_back(texture(random));
        values.push_back(texture(random));
    }
    return values;
}

std::vector<SmdVertex> realistic_vertices() {
    const std::vector<double> values = realistic_values();
    std::vector<SmdVertex> vertices;
    for (std::size_t at = 0; at + 8 <= values.size(); at += 8) {
        SmdVertex vertex{};
        vertex.parent = static_cast<int>(at % 40);
        for (int axis = 0; axis < 3; ++axis) {
            vertex.position[axis] = values[at + axis];
            vertex.normal[axis] = values[at + 3 + axis];
        }
        vertex.u = values[at + 6];
        vertex.v = values[at + 7];
        vertex.link_count = static_cast<int>(at / 8 % 3);  // 0, 1 or 2 links
        for (int link = 0; link < vertex.link_count; ++link) {
            vertex.links[link] = SmdLink{vertex.parent + link, 1.0 / (link + 1)};
        }
        vertices.push_back(vertex);
    }
    return vertices;
}

void BM_FormatReal_Smd(benchmark::State& state) {
    const std::vector<double> values = realistic_values();
    char text[SMD_REAL_BUFFER_SIZE];
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(smd_format_real(text, values[i]));
        benchmark::ClobberMemory();
        if (++i == values.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatReal_Smd);

void BM_FormatReal_Snprintf(benchmark::State& state) {
    const std::vector<double> values = realistic_values();
    char text[SMD_REAL_BUFFER_SIZE];
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::snprintf(text, sizeof text, SMD_REAL_FORMAT, values[i]));
        benchmark::ClobberMemory();
        if (++i == values.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatReal_Snprintf);

void BM_VertexLine_Smd(benchmark::State& state) {
    const std::vector<SmdVertex> vertices = realistic_vertices();
    std::vector<char> line(SMD_LINE_CAPACITY);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(smd_compose_vertex_line(line.data(), vertices[i]));
        benchmark::ClobberMemory();
        if (++i == vertices.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_VertexLine_Smd);

// The same line piece by piece with snprintf, as a writer would without the composer.
void BM_VertexLine_Snprintf(benchmark::State& state) {
    const std::vector<SmdVertex> vertices = realistic_vertices();
    std::vector<char> buffer(SMD_LINE_CAPACITY);
    std::size_t i = 0;
    for (auto _ : state) {
        const SmdVertex& v = vertices[i];
        char* out = buffer.data();
        char* const end = out + buffer.size();
        out += std::snprintf(out, end - out, SMD_VERTEX_PARENT_FORMAT, v.parent);
        out += std::snprintf(out, end - out, SMD_VERTEX_POSITION_FORMAT, v.position[0],
                             v.position[1], v.position[2]);
        out += std::snprintf(out, end - out, SMD_VERTEX_NORMAL_FORMAT, v.normal[0], v.normal[1],
                             v.normal[2]);
        out += std::snprintf(out, end - out, SMD_VERTEX_UV_FORMAT, v.u, v.v);
        if (v.link_count >= 1) {
            out += std::snprintf(out, end - out, SMD_LINK_COUNT_FORMAT, v.link_count);
            for (int link = 0; link < v.link_count; ++link) {
                out += std::snprintf(out, end - out, SMD_LINK_FORMAT, v.links[link].node,
                                     v.links[link].weight);
            }
        }
        out += std::snprintf(out, end - out, SMD_LINE_END);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
        if (++i == vertices.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_VertexLine_Snprintf);

}  // namespace

BENCHMARK_MAIN();
