// Vertex maps in the host's scene at import scale: points made through
// Modeler's mesh edit, each given its values at once (as an importer does),
// one UV map per run of points (one per material) and a few weight maps
// with 1-3 weights per point; then the scene's map list read through
// "Scene Objects 4" and every weight read back point by point.
//
//   bench_vertex_maps [points] [uv maps] [weight maps]
//   (defaults 3000000 1000 20)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <lwmeshedt.h>
#include <lwmeshes.h>
#include <lwmodeler.h>

#include "bench_support.h"
#include "host.h"
#include "mesh_edit.h"
#include "scene.h"
#include "scene_builder.h"

namespace {

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const long points = argc > 1 ? std::atol(argv[1]) : 3000000;
    const long uv_maps = argc > 2 ? std::atol(argv[2]) : 1000;
    const long weight_maps = argc > 3 ? std::atol(argv[3]) : 20;
    if (points < 1 || uv_maps < 1 || weight_maps < 3) {
        std::fprintf(stderr, "usage: bench_vertex_maps [points >= 1] [uv maps >= 1] [weight maps >= 3]\n");
        return 2;
    }
    std::vector<std::string> uv_names, weight_names;
    for (long m = 0; m < uv_maps; ++m) uv_names.push_back("Material" + std::to_string(m));
    for (long m = 0; m < weight_maps; ++m) weight_names.push_back("bone" + std::to_string(m));
    const long run = (points + uv_maps - 1) / uv_maps;  // points per UV map

    lwhost::Host host;
    lwhost::SceneBuilder builder(host.scene);
    const int mesh = builder.mesh("/models/big.lwo").index();
    host.scene.current_mesh = mesh;
    bench::reset_peak();
    const long rss_before = bench::status_kb("VmRSS:");

    auto start = std::chrono::steady_clock::now();
    MeshEditOp* op = lwhost::begin_mesh_edit(host, 0, 0, 0);
    if (!op) return 1;
    long written = 0;
    for (long p = 0; p < points; ++p) {
        double xyz[3] = {double(p % 1000), double(p / 1000), 0.0};
        LWPntID id = op->addPoint(op->state, xyz);
        float uv[2] = {float(p % 1000) / 1000.0f, float(p / 1000) / 3000.0f};
        if (op->pntVMap(op->state, id, LWVMAP_TXUV, uv_names[std::size_t(p / run)].c_str(), 2, uv) != EDERR_NONE)
            return 1;
        const int links = 1 + int(p % 3);
        const long first = (p / 5000) % weight_maps;
        for (int k = 0; k < links; ++k) {
            float w = 1.0f / float(links);
            const char* name = weight_names[std::size_t((first + k) % weight_maps)].c_str();
            if (op->pntVMap(op->state, id, LWVMAP_WGHT, name, 1, &w) != EDERR_NONE) return 1;
            ++written;
        }
    }
    const double edit_seconds = since(start);
    start = std::chrono::steady_clock::now();
    op->done(op->state, EDERR_NONE, 0);
    const double commit_seconds = since(start);
    const long rss_model = bench::status_kb("VmRSS:");

    // The scene's map names, one service call per name.
    start = std::chrono::steady_clock::now();
    auto* objects = static_cast<LWObjectFuncs*>(host.global("Scene Objects 4", 0));
    std::size_t name_bytes = 0;
    int listed = 0;
    if (objects) {
        for (LWID type : {LWVMAP_TXUV, LWVMAP_WGHT}) {
            const int n = objects->numVMaps(type);
            for (int i = 0; i < n; ++i, ++listed)
                if (const char* name = objects->vmapName(type, i)) name_bytes += std::string(name).size();
        }
    }
    const double list_seconds = since(start);

    // Every weight of every point, map by map (an exporter's pass), twice:
    // the first pass may build lookup indexes.
    const lwhost::Layer& layer = host.scene.meshes[std::size_t(mesh)]->layers[0];
    double sum = 0.0;
    long found = 0;
    double read_seconds[2] = {0.0, 0.0};
    for (double& seconds : read_seconds) {
        start = std::chrono::steady_clock::now();
        sum = 0.0;
        found = 0;
        for (const std::string& name : weight_names) {
            const lwhost::VertexMap* map = layer.find_vmap(lwhost::kWeight, name);
            if (!map) return 1;
            for (std::uint32_t p = 0; p < std::uint32_t(points); ++p)
                if (const float* w = map->get(p)) {
                    sum += *w;
                    ++found;
                }
        }
        seconds = since(start);
    }

    std::printf("%ld points, %ld UV maps, %ld weight maps, %ld weights (%ld read back, sum %.1f)\n", points,
                uv_maps, weight_maps, written, found, sum);
    std::printf("edit (addPoint + pntVMap): %.2f s\n", edit_seconds);
    std::printf("commit: %.2f s\n", commit_seconds);
    std::printf("list %d map names through Scene Objects: %.6f s (%zu bytes)\n", listed, list_seconds, name_bytes);
    std::printf("read every weight of every point: %.2f s, again %.2f s\n", read_seconds[0], read_seconds[1]);
    std::printf("resident: %ld MB before, %ld MB after the commit, peak %ld MB\n", rss_before / 1024,
                rss_model / 1024, bench::status_kb("VmHWM:") / 1024);
    return found == written ? 0 : 1;
}
