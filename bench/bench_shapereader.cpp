// Whole mesh import through the host: shapereader.so reads a generated SMD
// reference file of 10 000, 100 000 and 1 000 000 triangles with "SMD Mesh
// Import" into an empty current object: the script presses "Import SMD Mesh
// File", answers the requester and closes the panel.
//
// Two shapes of file:
//   grid       a wavy grid of quads split into triangles, 500 quads a row;
//              every grid point is written with the same text wherever it
//              is used (so it is shared), with a smooth normal, a UV, and
//              three links to 12 nodes. Four materials in bands of rows, so
//              points on a band's edge are shared by two materials.
//   character  shaped like a real character export (character_smd.h): 20
//              nodes, 1 to 3 links per vertex line, no shared positions, a
//              new material every 1 000 triangles; the largest size is also
//              run with a single material ("character/1").
//
// Printed per size: the time from activation until the activation returned
// (the import, the end of the edit, the surface commands and the release of
// the state), the process's CPU time over the same span, triangles per
// second, the peak resident memory during the run, the resident memory
// before it, and the file's size. Peaks come from /proc/self/status VmHWM,
// reset before each run through /proc/self/clear_refs.
//
// Usage: bench_shapereader [largest triangle count] [grid|character]
// (default 1000000, both shapes)
#include <algorithm>
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
#include "character_smd.h"

namespace {

constexpr int COLUMNS = 500;  // quads per grid row
constexpr int NODES = 12;
constexpr int MATERIALS = 4;
const char* const MATERIAL_NAMES[MATERIALS] = {"hull.bmp", "deck.bmp", "sail_cloth.bmp", "rigging.bmp"};

// The vertex line of grid point (r, c): position on a wave, its normal, the
// UV, and links to the three nodes nearest along the rows.
std::string vertex_line(int r, int c, int rows) {
    const double x = c * 0.5, y = r * 0.5;
    const double z = 2.0 * std::sin(c * 0.05) * std::cos(r * 0.04);
    const double dx = 2.0 * 0.05 / 0.5 * std::cos(c * 0.05) * std::cos(r * 0.04);
    const double dy = -2.0 * 0.04 / 0.5 * std::sin(c * 0.05) * std::sin(r * 0.04);
    const double length = std::sqrt(dx * dx + dy * dy + 1.0);
    const double along = double(r) / (rows + 1) * (NODES - 2);
    const int first = int(along);
    const double share = along - first;
    const double w0 = 0.5 * (1.0 - share), w1 = 0.5, w2 = 0.5 * share;
    char line[256];
    std::snprintf(line, sizeof line, "%d %f %f %f %f %f %f %f %f 3 %d %f %d %f %d %f\n", first, x, y, z, -dx / length,
                  -dy / length, 1.0 / length, double(c) / COLUMNS, double(r) / rows, first, w0, first + 1, w1,
                  first + 2, w2);
    return line;
}

// Writes the file; returns its size in bytes, or -1.
long long write_reference(const std::string& path, int triangles) {
    const int rows = std::max(1, triangles / (2 * COLUMNS));
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return -1;
    std::string text = "version 1\nnodes\n";
    char line[128];
    for (int n = 0; n < NODES; ++n) {
        std::snprintf(line, sizeof line, "%d \"bone %d\" %d\n", n, n, n - 1);
        text += line;
    }
    text += "end\nskeleton\ntime 0\n";
    for (int n = 0; n < NODES; ++n) {
        std::snprintf(line, sizeof line, "%d 0.000000 0.000000 1.000000 0.000000 0.000000 0.000000\n", n);
        text += line;
    }
    text += "end\ntriangles\n";
    std::fputs(text.c_str(), file);
    std::vector<std::string> previous(COLUMNS + 1), current(COLUMNS + 1);
    for (int c = 0; c <= COLUMNS; ++c) previous[std::size_t(c)] = vertex_line(0, c, rows);
    std::string block;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c <= COLUMNS; ++c) current[std::size_t(c)] = vertex_line(r + 1, c, rows);
        const char* material = MATERIAL_NAMES[r * MATERIALS / rows];
        block.clear();
        for (int c = 0; c < COLUMNS; ++c) {
            const std::string& a = previous[std::size_t(c)];
            const std::string& b = previous[std::size_t(c + 1)];
            const std::string& d = current[std::size_t(c)];
            const std::string& e = current[std::size_t(c + 1)];
            ((block += material) += '\n').append(e).append(d).append(a);
            ((block += material) += '\n').append(b).append(e).append(a);
        }
        std::fputs(block.c_str(), file);
        previous.swap(current);
    }
    std::fputs("end\n", file);
    const bool good = std::fflush(file) == 0 && !std::ferror(file);
    if (std::fclose(file) != 0 || !good) return -1;
    std::error_code ignored;
    return static_cast<long long>(std::filesystem::file_size(path, ignored));
}

struct Result {
    double seconds = 0;
    double cpu = 0;
    long before_kb = -1;
    long peak_kb = -1;
    long long file_bytes = 0;
    std::size_t points = 0, polygons = 0;
    int rc = -1;
};

// The file of one shape: "grid", "character" (a material per 1 000
// triangles) or "character/1" (one material).
long long write_file(const std::string& shape, const std::string& path, int triangles) {
    if (shape == "grid") return write_reference(path, triangles);
    const long per_material = shape == "character" ? 1000 : triangles;
    if (!bench::write_character_smd(path, triangles, per_material)) return -1;
    std::error_code ignored;
    return static_cast<long long>(std::filesystem::file_size(path, ignored));
}

Result run(const std::string& shape, int triangles, const std::string& folder) {
    Result result;
    const std::string path = folder + "/" + std::to_string(triangles) + ".smd";
    result.file_bytes = write_file(shape, path, triangles);
    if (result.file_bytes < 0) {
        std::fprintf(stderr, "bench_shapereader: cannot write %s\n", path.c_str());
        std::exit(1);
    }
    {
        lwhost::Host host;
        lwhost::SceneBuilder builder(host.scene);
        const int mesh = builder.mesh("/bench/imported.lwo").index();
        host.scene.current_mesh = mesh;
        std::string error;
        if (host.plugins().load(std::string(LWSMD_PLUGIN_DIR) + "/shapereader.so", &error) == nullptr) {
            std::fprintf(stderr, "bench_shapereader: %s\n", error.c_str());
            std::exit(1);
        }
        host.script().press("Import SMD Mesh File").answer_file(path).close();

        if (!bench::reset_peak())
            std::fprintf(stderr, "bench_shapereader: VmHWM cannot be reset; peaks include earlier runs\n");
        result.before_kb = bench::status_kb("VmRSS:");
        const double cpu_start = bench::cpu_seconds();
        const auto start = std::chrono::steady_clock::now();
        bench::profile_span(true);
        result.rc = host.run_command("SMD Mesh Import");
        bench::profile_span(false);
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        result.cpu = bench::cpu_seconds() - cpu_start;
        result.peak_kb = bench::status_kb("VmHWM:");
        const lwhost::Layer& layer = host.scene.meshes[std::size_t(mesh)]->layers[0];
        result.points = layer.points.size();
        result.polygons = layer.polygons.size();
        if (!host.messages.empty())
            std::fprintf(stderr, "bench_shapereader: message \"%s\"\n", host.messages[0].line1.c_str());
    }
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const int largest = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const std::string only = argc > 2 ? argv[2] : "";
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("bench_shapereader_" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(folder);
    std::printf("%-12s %10s %9s %9s %12s %10s %10s %10s %10s %10s\n", "file", "triangles", "seconds", "cpu s", "tris/s", "peak MB",
                "before MB", "run MB", "file MB", "points");
    const auto print = [](const std::string& shape, const Result& r) {
        std::printf("%-12s %10zu %9.3f %9.3f %12.0f %10.1f %10.1f %10.1f %10.1f %10zu%s\n", shape.c_str(), r.polygons,
                    r.seconds, r.cpu, double(r.polygons) / r.seconds, r.peak_kb / 1024.0, r.before_kb / 1024.0,
                    (r.peak_kb - r.before_kb) / 1024.0, double(r.file_bytes) / (1024.0 * 1024.0), r.points,
                    r.rc == 0 ? "" : "  (activation failed)");
        std::fflush(stdout);
    };
    for (const std::string shape : {"grid", "character"}) {
        if (!only.empty() && only != shape) continue;
        for (int triangles = 10000; triangles <= largest; triangles *= 10) print(shape, run(shape, triangles, folder));
    }
    if (only.empty() || only == "character") print("character/1", run("character/1", largest, folder));
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
