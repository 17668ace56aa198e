// Whole skeleton import through the host: a reference of 100 bones (ten
// chains of ten) and then, in the same panel opening, a sequence of the same
// skeleton over 3,000 frame blocks, every bone in every block.
//
// The sequence time is the run with both presses less the run with the
// reference press alone; both are the best of a few runs, as wall time and
// as the thread's CPU time (the second is steadier on a busy machine). The
// first run is shown too: it touches all the memory it fills for the first
// time, where later runs may reuse what the previous host freed. Peak memory
// is the process's largest resident size, reached in the largest run.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host.h"
#include "loader.h"
#include "scene_builder.h"
#include "ui_script.h"
#include "bench_support.h"
#include "skeleton_smd.h"

namespace {

constexpr int CHAINS = 10;
constexpr int CHAIN_LENGTH = 10;
constexpr int BONES = CHAINS * CHAIN_LENGTH;
constexpr int FRAMES = 3000;
constexpr int RUNS = 3;

struct Times {
    double wall = 1e9;
    double cpu = 1e9;
    std::size_t commands = 0;
    double key_bytes = 0;  // the host's keys and command log when the run ended
    double log_bytes = 0;
};

// What the host holds after the run, as allocated: key arrays, and the
// command log's blocks and index.
void measure_host(const lwhost::Host& host, Times& times) {
    for (lwhost::ItemId object : host.scene.items(lwhost::ItemType::Object))
        for (lwhost::ItemId bone : host.scene.bones_of(object))
            for (const auto& envelope : host.scene.item(bone)->motion)
                times.key_bytes += double(envelope.keys.capacity() * sizeof(lwhost::Key) +
                                          envelope.param_rows.capacity() * sizeof(lwhost::KeyParams));
    times.log_bytes = double(host.command_log.allocated_bytes());
}

Times run_once(const std::string& reference, const std::string* sequence) {
    lwhost::Host host;
    lwhost::SceneBuilder builder(host.scene);
    builder.fps(30).preview(0, 60);
    std::string error;
    if (!host.plugins().load(std::string(LWSMD_PLUGIN_DIR) + "/rigreader.so", &error)) {
        std::fprintf(stderr, "bench_rigreader: %s\n", error.c_str());
        std::exit(1);
    }
    host.script().press("Import SMD reference file").answer_file(reference);
    if (sequence) host.script().press("Import SMD sequence file").answer_file(*sequence);
    host.script().close();
    const double cpu_start = bench::thread_cpu_seconds();
    const auto start = std::chrono::steady_clock::now();
    const int rc = host.run_generic("SMD Skeleton Import");
    const auto stop = std::chrono::steady_clock::now();
    const double cpu_stop = bench::thread_cpu_seconds();
    if (rc != 0 || !host.messages.empty() || !host.diagnostics.empty()) {
        std::fprintf(stderr, "bench_rigreader: import failed (%d)\n", rc);
        std::exit(1);
    }
    Times times{std::chrono::duration<double>(stop - start).count(), cpu_stop - cpu_start, host.command_log.size()};
    measure_host(host, times);
    return times;
}

void keep_best(Times& best, const Times& run) {
    best.wall = std::min(best.wall, run.wall);
    best.cpu = std::min(best.cpu, run.cpu);
    best.commands = run.commands;
    best.key_bytes = run.key_bytes;
    best.log_bytes = run.log_bytes;
}

}  // namespace

int main() {
    const std::string stem = "/tmp/bench_rigreader_" + std::to_string(long(getpid()));
    const std::string reference = stem + "_ref.smd", sequence = stem + "_seq.smd";
    if (!bench::write_skeleton_smd(reference, CHAINS, CHAIN_LENGTH, 1) ||
        !bench::write_skeleton_smd(sequence, CHAINS, CHAIN_LENGTH, FRAMES)) {
        std::fprintf(stderr, "bench_rigreader: cannot write %s\n", stem.c_str());
        return 1;
    }
    Times reference_only, both, first_reference_only, first_both;
    for (int run = 0; run < RUNS; ++run) {
        const Times alone = run_once(reference, nullptr);
        const Times with_sequence = run_once(reference, &sequence);
        if (run == 0) first_reference_only = alone, first_both = with_sequence;
        keep_best(reference_only, alone);
        keep_best(both, with_sequence);
    }
    std::remove(reference.c_str());
    std::remove(sequence.c_str());
    std::printf("bones %d, sequence frames %d\n", BONES, FRAMES);
    std::printf("                                   wall      cpu     commands\n");
    std::printf("reference import alone            %.4f s  %.4f s  %zu\n", reference_only.wall, reference_only.cpu,
                reference_only.commands);
    std::printf("reference, then the sequence      %.4f s  %.4f s  %zu\n", both.wall, both.cpu, both.commands);
    std::printf("the sequence import               %.4f s  %.4f s\n", both.wall - reference_only.wall,
                both.cpu - reference_only.cpu);
    std::printf("the sequence import, first run    %.4f s  %.4f s\n", first_both.wall - first_reference_only.wall,
                first_both.cpu - first_reference_only.cpu);
    std::printf("peak resident memory              %.1f MB\n", double(bench::peak_resident_kb()) / 1024.0);
    std::printf("host key arrays, allocated        %.1f MB\n", both.key_bytes / (1024.0 * 1024.0));
    std::printf("host command log, allocated       %.1f MB\n", both.log_bytes / (1024.0 * 1024.0));
    return 0;
}
