// Whole animation export through the host: 100 bones (ten chains of ten,
// every bone keyed on all six position and rotation channels, five of them
// goal-oriented) over 3,000 frames, from the press of the save button to the
// closed file. Goal: under 0.3 s.
//
// The press-to-file time is the run with a press less the same run without
// one (activation, handlers applied and removed, panel opened and closed);
// both are the best of a few runs, as wall time and as the thread's CPU time
// (the second is steadier on a busy machine).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "host.h"
#include "loader.h"
#include "scene_builder.h"
#include "ui_script.h"
#include "bench_support.h"

namespace {

constexpr int CHAINS = 10;
constexpr int CHAIN_LENGTH = 10;
constexpr int FRAMES = 3000;
constexpr int KEY_SPACING = 10;  // frames between keys
constexpr int RUNS = 5;

void build_scene(lwhost::SceneBuilder& b) {
    using namespace lwhost;
    b.fps(30).preview(0, FRAMES - 1);
    MeshBuilder mesh = b.mesh("C:/models/crowd.lwo");
    mesh.triangle(mesh.point(0, 0, 0), mesh.point(1, 0, 0), mesh.point(0, 1, 0));
    ItemId object = b.object("crowd", mesh);
    ItemId goals[CHAINS / 2];
    for (int g = 0; g < CHAINS / 2; ++g) {
        goals[g] = b.null_object("goal" + std::to_string(g));
        for (int frame = 0; frame < FRAMES; frame += 100) b.key(goals[g], kHeading, frame, 0.01 * frame + g);
    }
    for (int chain = 0; chain < CHAINS; ++chain) {
        ItemId parent = 0;
        for (int link = 0; link < CHAIN_LENGTH; ++link) {
            const std::string name = "bone" + std::to_string(chain) + "_" + std::to_string(link);
            BoneBuilder bone = b.bone(object, name, parent).rest({0, 0.2, 0}, {0, 0, 0}).weight_map(name);
            // The last bone of every other chain looks at a goal.
            if (link == CHAIN_LENGTH - 1 && chain % 2 == 0) bone.flags(LWITEMF_GOAL_ORIENT).goal(goals[chain / 2]);
            for (int frame = 0; frame < FRAMES; frame += KEY_SPACING)
                for (int channel = kPositionX; channel <= kBank; ++channel)
                    b.key(bone, channel, frame, std::sin(0.01 * frame + channel + link) * 0.5);
            parent = bone;
        }
    }
    b.select(object);
}

struct Times {
    double wall = 1e9;
    double cpu = 1e9;
};

Times run_once(bool press, const std::string& output) {
    lwhost::Host host;
    lwhost::SceneBuilder builder(host.scene);
    build_scene(builder);
    std::string error;
    if (!host.plugins().load(std::string(LWSMD_PLUGIN_DIR) + "/motionwriter.so", &error)) {
        std::fprintf(stderr, "bench_motionwriter: %s\n", error.c_str());
        std::exit(1);
    }
    if (press) host.script().press("Save animation SMD file").answer_file(output);
    host.script().close();
    const double cpu_start = bench::thread_cpu_seconds();
    const auto start = std::chrono::steady_clock::now();
    const int rc = host.run_generic("SMD Animation");
    const auto stop = std::chrono::steady_clock::now();
    const double cpu_stop = bench::thread_cpu_seconds();
    if (rc != 0 || !host.messages.empty()) {
        std::fprintf(stderr, "bench_motionwriter: export failed (%d)\n", rc);
        std::exit(1);
    }
    return {std::chrono::duration<double>(stop - start).count(), cpu_stop - cpu_start};
}

void keep_best(Times& best, const Times& run) {
    best.wall = std::min(best.wall, run.wall);
    best.cpu = std::min(best.cpu, run.cpu);
}

}  // namespace

int main() {
    const std::string output = "/tmp/bench_motionwriter_" + std::to_string(long(getpid())) + ".smd";
    Times with_press, without_press;
    for (int run = 0; run < RUNS; ++run) {
        keep_best(without_press, run_once(false, output));
        keep_best(with_press, run_once(true, output));
    }
    FILE* file = std::fopen(output.c_str(), "rb");
    long size = 0;
    if (file) {
        std::fseek(file, 0, SEEK_END);
        size = std::ftell(file);
        std::fclose(file);
    }
    std::remove(output.c_str());
    std::printf("bones %d, frames %d, goal-oriented %d\n", CHAINS * CHAIN_LENGTH, FRAMES, CHAINS / 2);
    std::printf("                               wall      cpu\n");
    std::printf("activation to close, no save   %.4f s  %.4f s\n", without_press.wall, without_press.cpu);
    std::printf("activation to close, one save  %.4f s  %.4f s\n", with_press.wall, with_press.cpu);
    std::printf("press to closed file           %.4f s  %.4f s (goal 0.3 s)\n", with_press.wall - without_press.wall,
                with_press.cpu - without_press.cpu);
    std::printf("file size                      %ld bytes\n", size);
    std::printf("peak resident memory           %ld KiB\n", bench::peak_resident_kb());
    return 0;
}
