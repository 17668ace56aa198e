// Whole reference exports through the host: "SMD Export Layout" on a rigged
// grid (build_rigged_grid: one UV map, smoothing on, 20 bones with weight
// maps, one or two weights per point), from the activation to the closed
// file, at 10k, 100k and 1M triangles.
//
// Prints per size: the time of the activation (threshold, gathering, panel,
// one save and the rename, release), triangles per second, the file size,
// the resident memory before the activation (the host's scene), the peak
// resident memory of the process during it (scene included) and the peak's
// growth over the scene alone. Peaks are read from VmHWM after resetting it
// through /proc/self/clear_refs, so each size is measured on its own.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "host.h"
#include "loader.h"
#include "scene_builder.h"
#include "ui_script.h"

namespace {

long status_kb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0) return std::stol(line.substr(length + 1));
    }
    return -1;
}

bool reset_peak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return static_cast<bool>(clear);
}

struct Result {
    double seconds = 0;
    long triangles = 0;
    long file_bytes = 0;
    long scene_kb = 0;
    long peak_kb = 0;
    int rc = -1;
};

Result run(int columns, int rows, const std::string& folder) {
    Result result;
    lwhost::Host host;
    lwhost::SceneBuilder builder(host.scene);
    const lwhost::ItemId object = lwhost::build_rigged_grid(builder, "/bench/grid.lwo", columns, rows, 20);
    builder.select(object);
    std::string error;
    if (host.plugins().load(std::string(LWSMD_PLUGIN_DIR) + "/rigwriter.so", &error) == nullptr) {
        std::fprintf(stderr, "bench_rigwriter: %s\n", error.c_str());
        return result;
    }
    const std::string path = folder + "/grid_" + std::to_string(columns) + "x" + std::to_string(rows) + ".smd";
    host.script().press("Save SMD file").answer_file(path).close();

    result.triangles = 2L * columns * rows;
    result.scene_kb = status_kb("VmRSS:");
    const bool peak_ok = reset_peak();
    const auto start = std::chrono::steady_clock::now();
    result.rc = host.run_generic("SMD Export Layout");
    const auto stop = std::chrono::steady_clock::now();
    result.peak_kb = peak_ok ? status_kb("VmHWM:") : -1;
    result.seconds = std::chrono::duration<double>(stop - start).count();
    std::error_code ignored;
    result.file_bytes = static_cast<long>(std::filesystem::file_size(path, ignored));
    std::filesystem::remove(path, ignored);
    if (!host.messages.empty()) std::fprintf(stderr, "bench_rigwriter: message \"%s\"\n", host.messages[0].line1.c_str());
    return result;
}

}  // namespace

// With two arguments (columns rows) only that grid is run, for a profiler.
int main(int argc, char** argv) {
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("bench_rigwriter_" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(folder);
    struct Size {
        int columns, rows;
    };
    // 10k, 100k and 1M triangles; the largest has 1001 x 501 = 501,501 points.
    Size sizes[] = {{100, 50}, {250, 200}, {1000, 500}};
    std::size_t count = 3;
    if (argc == 3) {
        sizes[0] = Size{std::atoi(argv[1]), std::atoi(argv[2])};
        count = 1;
    }
    double first_rate = 0;
    std::printf("%12s %10s %14s %12s %12s %12s %12s\n", "triangles", "seconds", "triangles/s", "file MB",
                "scene MB", "peak MB", "growth MB");
    for (std::size_t i = 0; i < count; ++i) {
        const Size& size = sizes[i];
        const Result r = run(size.columns, size.rows, folder);
        if (r.rc != 0) {
            std::fprintf(stderr, "bench_rigwriter: activation returned %d\n", r.rc);
            return 1;
        }
        const double rate = r.triangles / r.seconds;
        if (first_rate == 0) first_rate = rate;
        std::printf("%12ld %10.3f %14.0f %12.1f %12.1f %12.1f %12.1f\n", r.triangles, r.seconds, rate,
                    r.file_bytes / 1e6, r.scene_kb / 1024.0, r.peak_kb / 1024.0, (r.peak_kb - r.scene_kb) / 1024.0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
