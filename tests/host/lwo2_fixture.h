// What the object file tests share: the corpus, reading and loading bytes,
// building chunks, a text description of a loaded object to compare two
// by, and a mesh built as an importer builds it.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "formats/lwo2.h"
#include "lwo2_walker.h"
#include "scene_builder.h"
#include "../temp_dir.h"
#include "../unprivileged.h"
#include "assimp_library.h"
#include "test_files.h"

namespace lwo2_fixture {

namespace fs = std::filesystem;
using lwhost::FileFormatError;
using lwhost::Layer;
using lwhost::MeshObject;
using lwhost::Scene;
using lwhost::VertexMap;
using test_files::TempDir;

inline fs::path corpus_root() {
    for (const char* root : {"/work/shared/corpus", "../shared/corpus", "../../shared/corpus"})
        if (fs::is_directory(root)) return root;
    return {};
}

// Every object file of the corpus: LWO2 and the older LWOB alike.
inline std::vector<fs::path> corpus_objects() {
    std::vector<fs::path> files;
    const fs::path root = corpus_root();
    if (root.empty()) return files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file() && entry.path().extension() == ".lwo") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

using test_support::read_bytes;

inline bool is_lwo2(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() >= 12 && std::equal(bytes.begin() + 8, bytes.begin() + 12, "LWO2");
}

inline int load_bytes(Scene& scene, const fs::path& name, const std::vector<std::uint8_t>& bytes) {
    return lwhost::load_lwo2(scene, name, std::as_bytes(std::span(bytes)));
}

// A file made of the given chunks, with a correct FORM size.
inline std::vector<std::uint8_t> form(const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& chunks) {
    std::vector<std::uint8_t> out = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'L', 'W', 'O', '2'};
    for (const auto& [id, data] : chunks) {
        out.insert(out.end(), id.begin(), id.end());
        const std::uint32_t n = std::uint32_t(data.size());
        for (int s = 24; s >= 0; s -= 8) out.push_back(std::uint8_t(n >> s));
        out.insert(out.end(), data.begin(), data.end());
        if (n % 2) out.push_back(0);
    }
    const std::uint32_t size = std::uint32_t(out.size() - 8);
    for (int k = 0; k < 4; ++k) out[std::size_t(4 + k)] = std::uint8_t(size >> (24 - 8 * k));
    return out;
}

// ---- comparing two objects -------------------------------------------------

// Everything the model holds of an object and its surfaces, as text, so a
// difference shows where it is.
inline std::string describe(const Scene& scene, int mesh_index) {
    const MeshObject& mesh = *scene.meshes[std::size_t(mesh_index)];
    std::string out;
    auto add = [&](const std::string& s) { out += s + "\n"; };
    for (const std::string& tag : mesh.tags) add("tag " + tag);
    for (const Layer& layer : mesh.layers) {
        add("layer " + std::to_string(layer.number) + " '" + layer.name + "' parent " + std::to_string(layer.parent) +
            " hidden " + std::to_string(layer.hidden) + " pivot " + std::to_string(layer.pivot[0]) + " " +
            std::to_string(layer.pivot[1]) + " " + std::to_string(layer.pivot[2]));
        for (const auto& p : layer.points)
            add("p " + std::to_string(p.position[0]) + " " + std::to_string(p.position[1]) + " " +
                std::to_string(p.position[2]));
        for (const auto& polygon : layer.polygons) {
            std::string line = "poly " + std::to_string(polygon.type) + " s" + std::to_string(polygon.surface_tag) +
                               " g" + std::to_string(polygon.part_tag) + " f" + std::to_string(polygon.flags) + ":";
            for (std::uint32_t k = 0; k < polygon.vertex_count; ++k)
                line += " " + std::to_string(layer.vertices(polygon)[k]);
            add(line);
        }
        for (const VertexMap& map : layer.vmaps) {
            add("map " + std::to_string(map.type) + " '" + map.name + "' " + std::to_string(map.dimension));
            for (const auto row : map.point_values()) {
                std::string line = " v" + std::to_string(row.point);
                for (int k = 0; k < map.dimension; ++k) line += " " + std::to_string(row.value[k]);
                add(line);
            }
            for (const auto row : map.polygon_values()) {
                std::string line = " c" + std::to_string(row.polygon) + "/" + std::to_string(row.point);
                for (int k = 0; k < map.dimension; ++k) line += " " + std::to_string(row.value[k]);
                add(line);
            }
        }
    }
    for (const auto& surface : scene.surfaces) {
        if (surface->mesh != mesh_index) continue;
        add("surface '" + surface->name + "' smoothing " + std::to_string(surface->smoothing_angle) + " colour " +
            std::to_string(surface->color[0]) + " " + std::to_string(surface->color[1]) + " " +
            std::to_string(surface->color[2]) + " vcol '" + surface->color_vmap + "'");
        for (const auto& layer : surface->color_texture)
            add(" layer " + std::to_string(int(layer.type)) + " proj " + std::to_string(int(layer.projection)) + " axis " +
                std::to_string(layer.axis) + " uv '" + layer.uv_map + "' image " +
                (layer.image >= 0 ? scene.images[std::size_t(layer.image)]->filename : "-"));
    }
    return out;
}

// "" when the two descriptions agree, else the first line where they part.
inline std::string first_difference(const std::string& a, const std::string& b) {
    std::size_t line = 1, at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) {
        if (a[at] == '\n') ++line;
        ++at;
    }
    if (at == a.size() && at == b.size()) return "";
    const auto line_at = [&](const std::string& s) {
        const std::size_t start = s.rfind('\n', at == 0 ? 0 : at - 1);
        const std::size_t from = start == std::string::npos || at == 0 ? 0 : start + 1;
        return s.substr(from, s.find('\n', from) - from);
    };
    return "line " + std::to_string(line) + ": '" + line_at(a) + "' against '" + line_at(b) + "'";
}

// The chunks of a walk with the given IDs, as (ID, data) pairs in order.
inline std::vector<std::pair<std::string, std::vector<std::uint8_t>>> chunks_of(const lwo2_walk::Walk& walk,
                                                                         const std::set<std::string>& ids) {
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> out;
    for (const auto& chunk : walk.chunks)
        if (ids.count(chunk.id)) out.emplace_back(chunk.id, chunk.data);
    return out;
}

inline int build_imported(lwhost::SceneBuilder& b, const std::string& name, std::uint32_t extra_points = 0) {
    auto mesh = b.mesh(name);
    for (std::uint32_t i = 0; i < extra_points; ++i) mesh.point(double(i) / 1024, 0, 0);  // exact in a float
    const std::uint32_t base = extra_points;
    for (int i = 0; i < 4; ++i) mesh.point(i % 2, i / 2, 0.5);
    const std::uint32_t t0 = mesh.triangle(base, base + 1, base + 3, "Skin");
    const std::uint32_t t1 = mesh.triangle(base, base + 3, base + 2, "Cloth");
    mesh.uv("Skin", base, 0, 0).uv("Skin", base + 1, 1, 0).uv("Skin", base + 3, 1, 1);
    mesh.uv_for_polygon("Skin", t0, base + 3, 0.5f, 0.25f);
    mesh.uv("Cloth", base + 2, 0, 1);
    mesh.uv_for_polygon("Cloth", t1, base, 0.75f, 0.125f);
    mesh.weight("root", base, 1.0f).weight("root", base + 1, 0.25f).weight("arm", base + 1, 0.75f);
    mesh.weight("arm", base + 3, -0.5f);  // weights may be negative
    if (extra_points) mesh.triangle(0, base + 1, base + 3, "Skin");
    const int image = b.image("skin.png", 4, 4, "images/skin.png");
    b.surface(mesh, "Skin").smoothing_degrees(60).uv_image_layer(image, "Skin");
    b.surface(mesh, "Cloth").smoothing_degrees(0);
    return mesh.index();
}

}  // namespace lwo2_fixture
