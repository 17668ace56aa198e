// Scene file save and load at animation scale: a null with a chain of 100
// bones, each keyed on its six position and rotation channels at every one
// of 3,000 frames (1.8 million keys). Prints the file size, the thread CPU
// time and the peak resident memory of each step.
//
//   bench_lws [folder]   (default: the system's temporary folder)
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench_support.h"
#include "formats/lws.h"
#include "scene_builder.h"

namespace {

constexpr int kBones = 100;
constexpr int kFrames = 3000;

void build(lwhost::Scene& scene) {
    lwhost::SceneBuilder b(scene);
    b.fps(30).preview(0, kFrames - 1);
    const lwhost::ItemId null = b.null_object("rig");
    lwhost::ItemId parent = 0;
    for (int k = 0; k < kBones; ++k) {
        const lwhost::ItemId bone = b.bone(null, "bone" + std::to_string(k), parent)
                                        .rest({0, 0, 0.1}, {0.01 * k, 0, 0})
                                        .weight_map("bone" + std::to_string(k));
        for (int channel = lwhost::kPositionX; channel <= lwhost::kBank; ++channel) {
            lwhost::Envelope& envelope = b.envelope(bone, channel);
            envelope.keys.reserve(kFrames);
            for (int frame = 0; frame < kFrames; ++frame)
                envelope.keys.push_back({frame / 30.0, std::sin(0.01 * frame + k + channel), lwhost::SpanType::TCB, 0});
        }
        parent = bone;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    const std::filesystem::path file = folder / "bench_lws_scene.lws";
    lwhost::Scene scene;
    build(scene);

    bench::reset_peak();
    double start = bench::thread_cpu_seconds();
    lwhost::save_lws(scene, file);
    const double save_seconds = bench::thread_cpu_seconds() - start;
    const long save_peak = bench::status_kb("VmHWM:");
    const auto bytes = std::filesystem::file_size(file);

    lwhost::Scene loaded;
    bench::reset_peak();
    start = bench::thread_cpu_seconds();
    lwhost::load_lws(loaded, file);
    const double load_seconds = bench::thread_cpu_seconds() - start;
    const long load_peak = bench::status_kb("VmHWM:");
    std::filesystem::remove(file);

    const auto& bones = loaded.bones_of(loaded.items(lwhost::ItemType::Object).at(0));
    std::printf("%d bones x %d frames x 6 channels: %.1f MB file\n", kBones, kFrames, double(bytes) / 1e6);
    std::printf("save: %.2f s, peak resident %.0f MB\n", save_seconds, double(save_peak) / 1024.0);
    std::printf("load: %.2f s, peak resident %.0f MB (%zu bones back, %zu keys on the first channel)\n", load_seconds,
                double(load_peak) / 1024.0, bones.size(), loaded.item(bones.at(0))->motion[0].keys.size());
    return 0;
}
