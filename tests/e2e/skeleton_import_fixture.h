// The skeleton importer loaded from the built plug-in into a host, and what
// its end-to-end tests check with: independent rotation math for the file's
// turns, command comparison, keys and rest lengths read back.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <lwrender.h>

#include "host.h"
#include "loader.h"
#include "motion.h"
#include "panels.h"
#include "scene_builder.h"
#include "ui_script.h"
#include "../temp_dir.h"

namespace skeleton_import {

using lwhost::Host;
using lwhost::Item;
using lwhost::ItemId;

constexpr const char* TITLE = "SMD Skeleton Reference Importer by Tolvane";
constexpr const char* REFERENCE = "Import SMD reference file";
constexpr const char* SEQUENCE = "Import SMD sequence file";
constexpr double PI = 3.14159265358979323846;

inline std::string plugin_path() { return std::string(LWSMD_PLUGIN_DIR) + "/rigreader.so"; }

inline std::string hex(ItemId id) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", unsigned(id));
    return text;
}

inline std::string select(ItemId id) { return "SelectItem  " + hex(id); }

// A root "root" at (1, 2, 3) unturned and its child "child" at (0, 0, 4)
// turned by (0.1, 0.2, 0.3), one frame block.
const char* const TWO_BONES =
    "version 1\nnodes\n0 \"root\" -1\n1 \"child\" 0\nend\nskeleton\ntime 0\n"
    "0 1.000000 2.000000 3.000000 0.000000 0.000000 0.000000\n"
    "1 0.000000 0.000000 4.000000 0.100000 0.200000 0.300000\nend\n";

// ---- independent rotation math ---------------------------------------------------
//
// An SMD rotation (rx, ry, rz) turns the file's axes by Rz(rz) Ry(ry) Rx(rx)
// (column vectors, right-handed, Z up). The host's axes are the file's with
// the second and third swapped (P), so the same turn in the host is
// P R P, and the host's orientation matrix is Ry(h) Rx(p) Rz(b).

using Mat = std::vector<std::vector<double>>;

inline Mat multiply(const Mat& a, const Mat& b) {
    Mat c(3, std::vector<double>(3, 0.0));
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) c[i][j] += a[i][k] * b[k][j];
    return c;
}

inline Mat host_matrix_of_smd(double rx, double ry, double rz) {
    const Mat x = {{1, 0, 0}, {0, std::cos(rx), -std::sin(rx)}, {0, std::sin(rx), std::cos(rx)}};
    const Mat y = {{std::cos(ry), 0, std::sin(ry)}, {0, 1, 0}, {-std::sin(ry), 0, std::cos(ry)}};
    const Mat z = {{std::cos(rz), -std::sin(rz), 0}, {std::sin(rz), std::cos(rz), 0}, {0, 0, 1}};
    const Mat file = multiply(z, multiply(y, x));
    const int swap[3] = {0, 2, 1};
    Mat host(3, std::vector<double>(3));
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) host[i][j] = file[swap[i]][swap[j]];
    return host;
}

// Heading, pitch, bank in degrees of Ry(h) Rx(p) Rz(b) = m: row 1 of that
// product is (cos p sin b, cos p cos b, -sin p); column 2 is (sin h cos p,
// -sin p, cos h cos p).
inline void host_degrees_of_smd(double rx, double ry, double rz, double out[3]) {
    const Mat m = host_matrix_of_smd(rx, ry, rz);
    out[0] = std::atan2(m[0][2], m[2][2]) * 180.0 / PI;
    out[1] = std::asin(-m[1][2]) * 180.0 / PI;
    out[2] = std::atan2(m[1][0], m[1][1]) * 180.0 / PI;
}

inline std::string rotation_text(double rx, double ry, double rz) {
    double hpb[3];
    host_degrees_of_smd(rx, ry, rz, hpb);
    char text[96];
    std::snprintf(text, sizeof text, "Rotation  %f %f %f", hpb[0], hpb[1], hpb[2]);
    return text;
}

// The item's orientation from its rest rotation matches the file's turn.
inline void expect_rest_turn(const Item& bone, double rx, double ry, double rz) {
    double m[3][3];
    lwhost::hpb_matrix(bone.bone.rest_rotation, m);
    const Mat expected = host_matrix_of_smd(rx, ry, rz);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(m[i][j], expected[i][j], 2e-6) << bone.name << " entry " << i << "," << j;
}

// Lines compared one by one; a "Rotation  " line by its three numbers, to
// the six decimals printed (the angles are floats).
template <class Texts>
inline void expect_commands(const Texts& actual, const std::vector<std::string>& expected) {
    for (std::size_t i = 0; i < actual.size() && i < expected.size(); ++i) {
        if (expected[i].rfind("Rotation  ", 0) == 0 && actual[i].rfind("Rotation  ", 0) == 0) {
            double a[3], e[3];
            ASSERT_EQ(std::sscanf(std::string(actual[i]).c_str() + 10, "%lf %lf %lf", &a[0], &a[1], &a[2]), 3) << actual[i];
            ASSERT_EQ(std::sscanf(expected[i].c_str() + 10, "%lf %lf %lf", &e[0], &e[1], &e[2]), 3);
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(a[k], e[k], 3e-5) << "line " << i << ": " << actual[i];
        } else {
            EXPECT_EQ(actual[i], expected[i]) << "line " << i;
        }
    }
    EXPECT_EQ(actual.size(), expected.size());
}

// ---- fixture ----------------------------------------------------------------------

using TempDir = test_files::TempDir;

// The host at frame 0 of a 24 fps scene whose preview reaches frame 60, the
// importer loaded, and files in a private folder.
struct Importer {
    Host host;
    lwhost::SceneBuilder b{host.scene};
    TempDir dir;

    Importer() {
        b.fps(24).preview(0, 60);
        EXPECT_NE(host.plugins().load(plugin_path()), nullptr);
    }

    std::string file(const std::string& name, const std::string& text) {
        const std::string path = dir.file(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    // One import by `button` of `text`, then the panel closes.
    int import(const char* button, const std::string& text) {
        host.script().press(button).answer_file(file("in.smd", text)).close();
        return run();
    }

    int run() { return host.run_generic("SMD Skeleton Import"); }

    const Item& item(const std::string& name) const {
        const Item* found = host.scene.item(host.scene.find_item(name));
        EXPECT_NE(found, nullptr) << name;
        static const Item none;
        return found ? *found : none;
    }
    ItemId id(const std::string& name) const { return host.scene.find_item(name); }

    std::vector<std::string> errors() const {
        std::vector<std::string> texts;
        for (const auto& message : host.messages) {
            EXPECT_EQ(message.level, lwhost::MessageLevel::Error);
            EXPECT_FALSE(message.has_line2);
            texts.push_back(message.line1);
        }
        return texts;
    }

    void expect_clean() {
        EXPECT_TRUE(lwhost::check_scene(host.scene).empty()) << lwhost::check_scene(host.scene).front();
        EXPECT_TRUE(host.diagnostics.empty()) << host.diagnostics.front();
        EXPECT_EQ(host.panels().live_count(), 0u);
    }
};

inline const lwhost::Key* key_at(const Item& item, int channel, double frame, double fps = 24.0) {
    for (const auto& key : item.motion[std::size_t(channel)].keys)
        if (std::fabs(key.time - frame / fps) < 1e-9) return &key;
    return nullptr;
}

inline double key_value(const Item& item, int channel, double frame) {
    const lwhost::Key* key = key_at(item, channel, frame);
    EXPECT_NE(key, nullptr) << item.name << " channel " << channel << " frame " << frame;
    return key ? key->value : std::nan("");
}

// "SelectItem" and "BoneRestLength" pairs, as "<item name> <length text>".
inline std::vector<std::string> rest_lengths(const Importer& im, std::size_t from = 0) {
    std::vector<std::string> out;
    std::string selected;
    const auto& log = im.host.command_log;
    for (std::size_t i = from; i < log.size(); ++i) {
        if (log[i].rfind("SelectItem  ", 0) == 0) {
            const Item* item = im.host.scene.item(ItemId(std::strtoul(std::string(log[i].substr(12)).c_str(), nullptr, 16)));
            selected = item ? item->name : "?";
        } else if (log[i].rfind("BoneRestLength  ", 0) == 0) {
            out.push_back(selected + " " + std::string(log[i].substr(16)));
        }
    }
    return out;
}

inline std::size_t count_of(const lwhost::CommandLog& log, std::string_view text) {
    return std::size_t(std::count(log.begin(), log.end(), text));
}

}  // namespace skeleton_import
