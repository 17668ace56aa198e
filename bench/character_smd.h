// A generated SMD reference file shaped like a real character export, for the
// importer benchmarks:
//   - 20 nodes in a binary tree (node n's parent is (n - 1) / 2), named like
//     "Bip01 B07": quoted, with a blank inside;
//   - every vertex line has 1 to 3 links to distinct nodes, whose weights
//     (six decimals) sum to exactly 1, the first link's node as its parent;
//   - no two vertex lines share a position, so nothing can be shared;
//   - a new material every `triangles_per_material` triangles ("mat_0007.tga").
// The same arguments always give the same bytes (a fixed-seed generator).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace bench {

constexpr int CHARACTER_NODES = 20;

// splitmix64: small, fast, and the same everywhere.
class FixedRandom {
public:
    explicit FixedRandom(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return int(next() % std::uint64_t(n)); }
    double unit() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }  // [0, 1)

private:
    std::uint64_t state_;
};

// One vertex line for vertex number v (0, 1, 2, ... over the file).
inline int character_vertex_line(char* out, std::size_t size, std::uint64_t v, FixedRandom& random) {
    // (v mod 1000, v / 1000 mod 1000, v / 1000000) differ for every v: no
    // two positions print alike.
    const double x = double(v % 1000) * 0.25 - 125.0;
    const double y = double(v / 1000 % 1000) * 0.25 - 125.0;
    const double z = double(v / 1000000) * 0.25 + 0.0625 * double(v % 3);
    double nx = random.unit() - 0.5, ny = random.unit() - 0.5, nz = random.unit() + 0.1;
    const double length = __builtin_sqrt(nx * nx + ny * ny + nz * nz);
    nx /= length, ny /= length, nz /= length;
    const double u = random.unit(), w = random.unit();

    int nodes[3];
    const int links = 1 + random.below(3);
    for (int k = 0; k < links; ++k) {
        bool again;
        do {
            nodes[k] = random.below(CHARACTER_NODES);
            again = false;
            for (int j = 0; j < k; ++j) again = again || nodes[j] == nodes[k];
        } while (again);
    }
    // Weights in millionths, summing to exactly 1.000000.
    int micros[3];
    int left = 1000000;
    for (int k = 0; k < links - 1; ++k) {
        micros[k] = 1 + random.below(left - (links - 1 - k));
        left -= micros[k];
    }
    micros[links - 1] = left;

    int n = std::snprintf(out, size, "%d %.6f %.6f %.6f %.6f %.6f %.6f %.6f %.6f %d", nodes[0], x, y, z, nx, ny, nz,
                          u, w, links);
    for (int k = 0; k < links; ++k)
        n += std::snprintf(out + n, size - std::size_t(n), " %d %d.%06d", nodes[k], micros[k] / 1000000,
                           micros[k] % 1000000);
    n += std::snprintf(out + n, size - std::size_t(n), "\n");
    return n;
}

// Writes the file; false when it cannot be written.
inline bool write_character_smd(const std::string& path, long triangles, long triangles_per_material) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return false;
    std::fputs("version 1\nnodes\n", file);
    for (int n = 0; n < CHARACTER_NODES; ++n)
        std::fprintf(file, "%d \"Bip01 B%02d\" %d\n", n, n, n == 0 ? -1 : (n - 1) / 2);
    std::fputs("end\nskeleton\ntime 0\n", file);
    for (int n = 0; n < CHARACTER_NODES; ++n)
        std::fprintf(file, "%d %.6f %.6f %.6f 0.000000 0.000000 0.000000\n", n, n == 0 ? 0.0 : 4.0, 0.0, 0.0);
    std::fputs("end\ntriangles\n", file);
    FixedRandom random(20261208);
    char line[512];
    std::string block;
    std::uint64_t vertex = 0;
    for (long t = 0; t < triangles; ++t) {
        std::snprintf(line, sizeof line, "mat_%04ld.tga\n", t / triangles_per_material);
        block += line;
        for (int corner = 0; corner < 3; ++corner) {
            const int length = character_vertex_line(line, sizeof line, vertex++, random);
            block.append(line, std::size_t(length));
        }
        if (block.size() > (1u << 20)) {
            std::fwrite(block.data(), 1, block.size(), file);
            block.clear();
        }
    }
    block += "end\n";
    std::fwrite(block.data(), 1, block.size(), file);
    const bool good = std::fflush(file) == 0 && !std::ferror(file);
    return std::fclose(file) == 0 && good;
}

}  // namespace bench
