// A generated SMD skeleton for the skeleton benchmarks: chains of bones,
// every bone in every frame block, each channel on its own slow wave.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>

namespace bench {

// Writes `frames` frame blocks of `chains` chains of `chain_length` bones;
// false when the file cannot be written. One frame block makes a reference.
inline bool write_skeleton_smd(const std::string& path, int chains, int chain_length, int frames) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) return false;
    const int bones = chains * chain_length;
    std::fprintf(file, "version 1\nnodes\n");
    for (int bone = 0; bone < bones; ++bone) {
        const int parent = bone % chain_length == 0 ? -1 : bone - 1;
        std::fprintf(file, "%d\t \"bone %d_%d\"\t %d\n", bone, bone / chain_length, bone % chain_length, parent);
    }
    std::fprintf(file, "end\nskeleton\n");
    for (int frame = 0; frame < frames; ++frame) {
        std::fprintf(file, "time %d\n ", frame);
        for (int bone = 0; bone < bones; ++bone) {
            const double t = 0.01 * frame + 0.1 * bone;
            std::fprintf(file, "%d  %f %f %f  %f %f %f\n", bone, std::sin(t), 8.0 + std::cos(t),
                         0.5 * std::sin(2 * t), 0.3 * std::sin(t), 0.2 * std::cos(t), 0.1 * std::sin(3 * t));
        }
    }
    std::fprintf(file, "end\n");
    const bool good = std::fflush(file) == 0 && !std::ferror(file);
    return std::fclose(file) == 0 && good;
}

}  // namespace bench
