// Object file save and load through the host's scene model, on a generated
// object shaped like an imported character: 1 000 surfaces of 1 000
// triangles each, every surface its own patch of points (a 25 x 20 quad
// grid whose rows have points of their own: about one point a triangle,
// shared within a row, never across surfaces), a UV map
// per surface with the last column of each patch as a seam given per
// polygon (VMAD), and 20 weight maps with one to three weights a point.
//
// Printed: the object's counts; for the save and the load, wall time and
// the process's CPU time; the file's size; for the load, the peak resident
// memory over the resident memory before it, against the file's size and
// the memory the loaded scene holds (resident after the load less before).
// Peaks come from /proc/self/status VmHWM, reset through /proc/self/clear_refs.
//
// Usage: bench_lwo2 [triangles, a multiple of 1000] [file] (default 1000000,
// a file in the temporary folder, removed afterwards)
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "bench_support.h"
#include "formats/lwo2.h"
#include "scene_builder.h"

namespace {

constexpr int kColumns = 25, kRows = 20, kBones = 20;

void build_character(lwhost::Scene& scene, int surfaces) {
    lwhost::SceneBuilder builder(scene);
    lwhost::MeshBuilder mesh = builder.mesh("character.lwo");
    const std::size_t row_points = 2 * std::size_t(kColumns + 1);
    const std::size_t patch_triangles = std::size_t(kColumns) * kRows * 2;
    mesh.reserve(row_points * kRows * std::size_t(surfaces), patch_triangles * std::size_t(surfaces));
    std::vector<std::string> bones(kBones);
    for (int b = 0; b < kBones; ++b) bones[std::size_t(b)] = "bone" + std::to_string(b);
    for (int s = 0; s < surfaces; ++s) {
        const std::string name = "Material" + std::to_string(s);
        const std::uint32_t first = std::uint32_t(mesh.current_layer().points.size());
        // Each row of quads has points of its own, as an export with a
        // normal per face corner leaves them: about one point a triangle.
        for (int y = 0; y < kRows; ++y)
            for (int edge = 0; edge < 2; ++edge)
                for (int x = 0; x <= kColumns; ++x) {
                    const double angle = (s * kColumns + x) * 1e-3;
                    const std::uint32_t p = mesh.point(std::cos(angle), (y + edge) * 0.01 + s * 0.2, std::sin(angle));
                    mesh.uv(name, p, float(x) / kColumns, float(y + edge) / kRows);
                }
        const std::uint32_t end = std::uint32_t(mesh.current_layer().points.size());
        for (std::uint32_t p = first; p < end; ++p) {
            const int bone = int(p % kBones);
            const int links = 1 + int(p % 3);
            for (int k = 0; k < links; ++k)
                mesh.weight(bones[std::size_t((bone + k) % kBones)], p, 1.0f / float(links));
        }
        const std::uint32_t stride = kColumns + 1;
        for (int y = 0; y < kRows; ++y)
            for (int x = 0; x < kColumns; ++x) {
                const std::uint32_t p0 = first + std::uint32_t(y) * std::uint32_t(row_points) + std::uint32_t(x);
                const std::uint32_t a = mesh.triangle(p0, p0 + 1, p0 + stride + 1, name);
                const std::uint32_t b = mesh.triangle(p0, p0 + stride + 1, p0 + stride, name);
                if (x == kColumns - 1) {  // the seam: these corners have a UV of their own
                    mesh.uv_for_polygon(name, a, p0 + 1, 1.0f, float(y) / kRows);
                    mesh.uv_for_polygon(name, b, p0 + stride + 1, 1.0f, float(y + 1) / kRows);
                }
            }
        builder.surface(mesh, name).smoothing_degrees(89.5);
    }
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double load_average() {
    double loads[1] = {0};
    return getloadavg(loads, 1) == 1 ? loads[0] : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const long triangles = argc > 1 ? std::atol(argv[1]) : 1000000;
    const int surfaces = int(std::max(1L, triangles / 1000));
    const std::filesystem::path file =
        argc > 2 ? std::filesystem::path(argv[2])
                 : std::filesystem::temp_directory_path() / ("bench_lwo2_" + std::to_string(getpid()) + ".lwo");

    std::size_t points = 0, polygons = 0, file_size = 0;
    {
        lwhost::Scene scene;
        build_character(scene, surfaces);
        const lwhost::Layer& layer = scene.meshes[0]->layers[0];
        points = layer.points.size();
        polygons = layer.polygons.size();
        std::printf("object: %zu points, %zu triangles, %zu surfaces, %zu vertex maps; load average %.2f\n", points,
                    polygons, scene.surfaces.size(), layer.vmaps.size(), load_average());

        const double cpu = bench::cpu_seconds();
        const auto start = std::chrono::steady_clock::now();
        lwhost::save_lwo2(scene, 0, file);
        file_size = std::filesystem::file_size(file);
        std::printf("save: %.3f s wall, %.3f s CPU, %.1f MB file\n", seconds_since(start), bench::cpu_seconds() - cpu,
                    double(file_size) / 1e6);
    }

    lwhost::Scene scene;
    const long before_kb = bench::status_kb("VmRSS:");
    bench::reset_peak();
    const double cpu = bench::cpu_seconds();
    const auto start = std::chrono::steady_clock::now();
    lwhost::load_lwo2(scene, file);
    const double wall = seconds_since(start), used = bench::cpu_seconds() - cpu;
    const long peak_kb = bench::status_kb("VmHWM:"), after_kb = bench::status_kb("VmRSS:");
    const double scene_mb = double(after_kb - before_kb) / 1024, peak_mb = double(peak_kb - before_kb) / 1024;
    const double file_mb = double(file_size) / (1024 * 1024);
    std::printf("load: %.3f s wall, %.3f s CPU; peak %.1f MiB over the start, scene %.1f MiB, file %.1f MiB: "
                "peak %s twice the file plus the scene (%.1f MiB); load average %.2f\n",
                wall, used, peak_mb, scene_mb, file_mb, peak_mb < 2 * file_mb + scene_mb ? "under" : "OVER",
                2 * file_mb + scene_mb, load_average());
    if (argc <= 2) std::filesystem::remove(file);
    return scene.meshes[0]->layers[0].polygons.size() == polygons ? 0 : 1;
}
