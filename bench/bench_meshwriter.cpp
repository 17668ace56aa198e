// Whole static export through the host: meshwriter.so exports a generated
// mesh of 10 000, 100 000 and 1 000 000 triangles (two layers, one UV map
// with seams, two smoothed surfaces) with "SMD Export": the script presses
// "Save SMD file", answers the requester and closes the panel.
//
// Printed per size: the time from activation until the activation returned
// (the file is closed by then; the state's release is included), the
// process's CPU time (user + system) over the same span, which a busy
// machine disturbs less, triangles per second (from the elapsed time), the peak resident memory during the run with the scene it
// includes, the scene's own resident memory before the run, and the file's
// size. Peaks come from /proc/self/status VmHWM, reset before each run
// through /proc/self/clear_refs.
//
// Usage: bench_meshwriter [largest triangle count] (default 1000000)
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "host.h"
#include "loader.h"
#include "scene_builder.h"
#include "ui_script.h"
#include "bench_support.h"

namespace {

constexpr int COLUMNS = 500;        // quads per grid row
constexpr int SEAM_EVERY = 50;      // columns between UV seams

// One layer: a grid of `rows` x COLUMNS quads split into triangles, wavy so
// that smoothing has work to do. Rows of the first half are on "Hull", the
// rest on "Deck". Every point has a per-point UV; the triangles right of
// every SEAM_EVERY-th column get per-polygon values on the seam's points, as
// a cut in the UV layout does.
void build_layer(lwhost::MeshBuilder& mesh, int rows, double z) {
    const int columns = COLUMNS;
    const std::size_t points = std::size_t(rows + 1) * std::size_t(columns + 1);
    mesh.reserve(points, std::size_t(rows) * std::size_t(columns) * 2, std::size_t(rows) * std::size_t(columns) * 6);
    std::vector<std::uint32_t> id(points);
    for (int r = 0; r <= rows; ++r) {
        for (int c = 0; c <= columns; ++c) {
            const double height = 0.1 * std::sin(c * 0.3) * std::cos(r * 0.2);
            const std::uint32_t p = mesh.point(c * 0.01, height, z + r * 0.01);
            id[std::size_t(r) * std::size_t(columns + 1) + std::size_t(c)] = p;
            mesh.uv("UVMap", p, float(c) / float(columns), float(r) / float(rows));
        }
    }
    for (int r = 0; r < rows; ++r) {
        const char* surface = r < rows / 2 ? "Hull" : "Deck";
        for (int c = 0; c < columns; ++c) {
            const auto at = [&](int rr, int cc) { return id[std::size_t(rr) * std::size_t(columns + 1) + std::size_t(cc)]; };
            const std::uint32_t a = at(r, c), b = at(r, c + 1), d = at(r + 1, c), e = at(r + 1, c + 1);
            const std::uint32_t first = mesh.triangle(a, d, e, surface);
            const std::uint32_t second = mesh.triangle(a, e, b, surface);
            if (c % SEAM_EVERY == 0 && c > 0) {
                const float u = float(c) / float(columns) + 0.5f;
                mesh.uv_for_polygon("UVMap", first, a, u, float(r) / float(rows));
                mesh.uv_for_polygon("UVMap", first, d, u, float(r + 1) / float(rows));
                mesh.uv_for_polygon("UVMap", second, a, u, float(r) / float(rows));
            }
        }
    }
}

struct Result {
    double seconds = 0;
    double cpu = 0;
    long scene_kb = -1;
    long peak_kb = -1;
    long long file_bytes = 0;
    int rc = -1;
};

Result run(int triangles, const std::string& folder) {
    lwhost::Host host;
    lwhost::SceneBuilder builder(host.scene);
    auto mesh = builder.mesh("/bench/grid.lwo");
    const int rows_per_layer = triangles / 2 / (2 * COLUMNS);
    build_layer(mesh, rows_per_layer, 0.0);
    mesh.layer(1);
    build_layer(mesh, rows_per_layer, 10.0);
    builder.surface(mesh, "Hull").smoothing_degrees(60);
    builder.surface(mesh, "Deck").smoothing_degrees(30);
    host.scene.current_mesh = mesh.index();
    host.scene.foreground_layers = 1;

    std::string error;
    if (host.plugins().load(std::string(LWSMD_PLUGIN_DIR) + "/meshwriter.so", &error) == nullptr) {
        std::fprintf(stderr, "bench_meshwriter: %s\n", error.c_str());
        std::exit(1);
    }
    const std::string path = folder + "/grid_" + std::to_string(triangles) + ".smd";
    host.script().press("Save SMD file").answer_file(path).close();

    Result result;
    if (!bench::reset_peak()) std::fprintf(stderr, "bench_meshwriter: VmHWM cannot be reset; peaks include earlier runs\n");
    result.scene_kb = bench::status_kb("VmRSS:");
    const double cpu_start = bench::cpu_seconds();
    const auto start = std::chrono::steady_clock::now();
    result.rc = host.run_command("SMD Export");
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.cpu = bench::cpu_seconds() - cpu_start;
    result.peak_kb = bench::status_kb("VmHWM:");
    std::error_code ignored;
    result.file_bytes = static_cast<long long>(std::filesystem::file_size(path, ignored));
    if (!host.messages.empty()) std::fprintf(stderr, "bench_meshwriter: message \"%s\"\n", host.messages[0].line1.c_str());
    std::filesystem::remove(path, ignored);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const int largest = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("bench_meshwriter_" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(folder);
    std::printf("%10s %9s %9s %12s %10s %10s %10s %10s\n", "triangles", "seconds", "cpu s", "tris/s", "peak MB",
                "scene MB", "run MB", "file MB");
    for (int triangles = 10000; triangles <= largest; triangles *= 10) {
        const Result r = run(triangles, folder);
        std::printf("%10d %9.3f %9.3f %12.0f %10.1f %10.1f %10.1f %10.1f%s\n", triangles, r.seconds, r.cpu,
                    triangles / r.seconds, r.peak_kb / 1024.0, r.scene_kb / 1024.0, (r.peak_kb - r.scene_kb) / 1024.0,
                    double(r.file_bytes) / (1024.0 * 1024.0), r.rc == 0 ? "" : "  (activation failed)");
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
