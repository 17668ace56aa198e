// The mesh importer loaded from the built shapereader.so into a host with an
// empty current object, and a small reference file of two triangles.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "host.h"
#include "loader.h"
#include "panels.h"
#include "scene.h"
#include "scene_builder.h"
#include "ui_script.h"
#include "../shapereader/smd_files.h"
#include "test_files.h"

namespace shape_import {

using lwhost::Host;
using lwhost::SceneBuilder;
using importtest::TempDir;

constexpr char kServer[] = "SMD Mesh Import";
constexpr char kImport[] = "Import SMD Mesh File";

// A host with shapereader.so loaded and an empty current object.
struct MeshImporter {
    Host host;
    SceneBuilder builder{host.scene};
    int mesh = -1;
    TempDir dir;

    MeshImporter() {
        std::string error;
        EXPECT_NE(host.plugins().load(std::string(LWSMD_PLUGIN_DIR) + "/shapereader.so", &error), nullptr) << error;
        mesh = builder.mesh("/models/target.lwo").index();
        host.scene.current_mesh = mesh;
    }
    int run(int version = 3) { return host.run_command(kServer, version); }
    std::string file(const std::string& name, const std::string& text) {
        const std::string path = dir.file(name);
        importtest::write_file(path, text);
        return path;
    }
    const lwhost::Layer& layer() const { return host.scene.meshes[std::size_t(mesh)]->layers[0]; }
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const lwhost::Message& m : host.messages) texts.push_back(m.line1);
        return texts;
    }
};

const std::string kTwoTriangles = importtest::smd_file(
    "0 \"root\" -1\n1 \"arm\" 0\n",
    "skin.bmp\n"
    "0 1.000000 2.000000 3.000000 0 0 1 0.25 0.5\n"
    "1 4.000000 0.000000 0.000000 0 0 1 1 0\n"
    "0 0.000000 4.000000 0.000000 0 0 1 0 1 2 0 0.5 1 0.5\n"
    "cloth.bmp\n"
    "0 1.000000 2.000000 3.000000 0 0 1 0.75 0.5\n"
    "0 0.000000 0.000000 8.000000 0 0 1 1 1\n"
    "0 0.000000 4.000000 0.000000 0 0 1 0 1 2 0 0.5 1 0.5\n");

}  // namespace shape_import
