// The small rigged model of the reference exporter's golden files and
// end-to-end tests, and a way to run the built plug-in on it.
//
// Object "Rig" (file /models/rig.lwo) at position (1, 0, 0), points
//   p0 (0,0,0)  p1 (1,0,0)  p2 (1,1,0)  p3 (0,1,0)
//   p4 (0,-1,1) p5 (0,2,1)  p6 (2,0,0)  p7 (2,1,0)
// polygons in scan order
//   Q quad p0 p1 p2 p3 "Skin"       T triangle p0 p4 p1 "Skin" (45 degrees from Q)
//   M triangle p3 p2 p5 "Metal"     N triangle p1 p6 p7 "Skin" (no complete UVs)
//   a subpatch, a five-sided face and a two-point face, all "Skin"
// surfaces "Skin" (smoothing 89.5 degrees; base colour: a planar image layer
// "Planar Decal", then a UV image layer "Skin Color") and "Metal" (smoothing 0);
// UV maps "Main" (Q, M with a per-polygon value at M's p3, and p1 of N) and
// "Detail Map" (T, and p1 of N); weight maps in scene order Arm, Unused,
// Hip, Spine, TailTip, Hand (p2 lies in all six); bones made in the order
// Hip, Arm (pivot heading 90 degrees), Hand, Spine, Tail (no weight map),
// TailTip, so that the depth-first node order Hip, Spine, Tail, TailTip, Arm,
// Hand differs from it. A light is selected before the object.
#pragma once

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>

#include "host.h"
#include "loader.h"
#include "scene_builder.h"
#include "test_files.h"

namespace rigtest {

constexpr double kPi = 3.14159265358979323846;

inline lwhost::ItemId build_rig(lwhost::SceneBuilder& b) {
    auto m = b.mesh("/models/rig.lwo");
    const auto p0 = m.point(0, 0, 0), p1 = m.point(1, 0, 0), p2 = m.point(1, 1, 0), p3 = m.point(0, 1, 0);
    const auto p4 = m.point(0, -1, 1), p5 = m.point(0, 2, 1), p6 = m.point(2, 0, 0), p7 = m.point(2, 1, 0);
    m.quad(p0, p1, p2, p3, "Skin");
    m.triangle(p0, p4, p1, "Skin");
    const auto metal = m.triangle(p3, p2, p5, "Metal");
    m.triangle(p1, p6, p7, "Skin");
    m.polygon({p0, p1, p2, p3}, "Skin", lwhost::kPatch);
    m.polygon({p0, p1, p6, p7, p2}, "Skin");
    m.polygon({p2, p7}, "Skin");

    m.uv("Main", p0, 0.0f, 0.0f).uv("Main", p1, 1.0f, 0.0f).uv("Main", p2, 1.0f, 1.0f).uv("Main", p3, 0.0f, 1.0f);
    m.uv("Main", p5, 0.5f, 0.5f);
    m.uv_for_polygon("Main", metal, p3, 0.25f, 0.75f);
    m.uv("Detail Map", p0, 0.125f, 0.25f).uv("Detail Map", p4, 0.5f, 0.875f).uv("Detail Map", p1, 0.875f, 0.25f);

    // p2 first, so that the maps exist in this order.
    m.weight("Arm", p2, 0.3f).weight("Unused", p2, 0.9f).weight("Hip", p2, 0.1f);
    m.weight("Spine", p2, 0.2f).weight("TailTip", p2, 0.25f).weight("Hand", p2, 0.4f);
    m.weight("Spine", p0, 1.0f);
    m.weight("Hip", p1, 0.2f).weight("Spine", p1, 0.6f);
    m.weight("TailTip", p3, 0.0f);
    m.weight("Arm", p4, 0.5f).weight("Hand", p4, 0.5f);
    m.weight("Hip", p6, 1.0f).weight("Hip", p7, 1.0f);

    const int planar = b.image("Planar Decal", 4, 4);
    const int skin = b.image("Skin Color", 4, 4);
    b.surface(m, "Skin").smoothing_degrees(89.5).image_layer(planar, lwhost::Projection::Planar).uv_image_layer(skin, "Main");
    b.surface(m, "Metal").smoothing_degrees(0.0);

    const lwhost::ItemId object = b.object("Rig", m).position({1, 0, 0});
    const lwhost::ItemId hip = b.bone(object, "Hip").rest({0, 0.5, 0}, {0, 0, 0}).weight_map("Hip");
    const lwhost::ItemId arm =
        b.bone(object, "Arm").rest({0.5, 1, 0}, {0, kPi / 6, 0}).pivot_rotation({kPi / 2, 0, 0}).weight_map("Arm");
    b.bone(object, "Hand", arm).rest({0, 0.5, 0}, {0, 0, 0}).weight_map("Hand");
    b.bone(object, "Spine", hip).rest({0, 0.5, 0}, {kPi / 2, 0, 0}).weight_map("Spine");
    const lwhost::ItemId tail = b.bone(object, "Tail", hip).rest({0, 0, -0.5}, {0, -kPi / 4, 0});
    b.bone(object, "TailTip", tail).rest({0, 0, -0.25}, {0, 0, kPi / 3}).weight_map("TailTip");

    const lwhost::ItemId light = b.light("Key Light");
    b.select(light).select(object);
    return object;
}

inline std::string plugin_path() { return std::string(LWSMD_PLUGIN_DIR) + "/rigwriter.so"; }

using test_support::read_file;

}  // namespace rigtest
