// Test helpers for the UV template exporter, shared by its own tests and the
// tests of the two mesh exporters that open it: a picture
// drawn by the test itself (the incremental Bresenham loop transcribed from
// its description), a reader for the uncompressed Targa files the host's
// saver writes, and a scene holding every case of the polygon scan.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <lwhost.h>
#include <lwmeshes.h>
#include <lwpanel.h>

#include "host.h"
#include "scene_builder.h"
#include "test_files.h"
#include "uv_template.h"
#include "../temp_dir.h"

namespace uv_test {

using lwhost::Host;
using lwhost::SceneBuilder;
using Pixel = std::pair<long long, long long>;
using Rgb = std::array<std::uint8_t, 3>;

// ---- the reference drawing, transcribed from the algorithm's description ----

// The incremental loop, every pixel it visits, in order.
inline std::vector<Pixel> reference_line(long long x0, long long y0, long long x1, long long y1) {
    std::vector<Pixel> pixels;
    const long long ax = 2 * std::llabs(x1 - x0), ay = 2 * std::llabs(y1 - y0);
    const long long sx = x1 < x0 ? -1 : 1, sy = y1 < y0 ? -1 : 1;
    pixels.emplace_back(x0, y0);
    if (ax > ay) {
        long long d = ay - ax / 2;
        while (x0 != x1) {
            if (d >= 0) {
                y0 += sy;
                d -= ax;
            }
            x0 += sx;
            d += ay;
            pixels.emplace_back(x0, y0);
        }
    } else {
        long long d = ax - ay / 2;
        while (y0 != y1) {
            if (d >= 0) {
                x0 += sx;
                d -= ay;
            }
            y0 += sy;
            d += ax;
            pixels.emplace_back(x0, y0);
        }
    }
    return pixels;
}

// A picture, row 0 at the top, as the Targa file should show it.
struct Picture {
    int size = 0;
    std::vector<Rgb> pixels;

    Picture() = default;
    Picture(int side, Rgb fill) : size(side), pixels(std::size_t(side) * std::size_t(side), fill) {}
    Rgb at(int x, int y) const { return pixels[std::size_t(y) * std::size_t(size) + std::size_t(x)]; }
    void plot(long long x, long long y, Rgb colour) {
        if (x >= 0 && y >= 0 && x < size && y < size) pixels[std::size_t(y) * std::size_t(size) + std::size_t(x)] = colour;
    }
    void line(Pixel from, Pixel to, Rgb colour) {
        for (const Pixel& p : reference_line(from.first, from.second, to.first, to.second)) plot(p.first, p.second, colour);
    }
    void outline(const std::vector<Pixel>& corners, Rgb colour) {
        for (std::size_t k = 0; k < corners.size(); ++k) line(corners[k], corners[(k + 1) % corners.size()], colour);
    }
};

// Reads an uncompressed 24-bit Targa file; an empty picture when it is not one.
inline Picture read_targa(const std::string& path) {
    const std::vector<std::uint8_t> bytes = test_support::read_bytes(path);
    if (bytes.size() < 18) return {};
    const int width = bytes[12] | (bytes[13] << 8), height = bytes[14] | (bytes[15] << 8);
    const bool top_first = (bytes[17] & 0x20) != 0;
    if (bytes[0] != 0 || bytes[1] != 0 || bytes[2] != 2 || bytes[16] != 24 || width != height ||
        bytes.size() != 18 + std::size_t(width) * std::size_t(height) * 3)
        return {};
    Picture picture(width, Rgb{0, 0, 0});
    for (int row = 0; row < height; ++row) {
        const int y = top_first ? row : height - 1 - row;
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* bgr = &bytes[18 + (std::size_t(row) * std::size_t(width) + std::size_t(x)) * 3];
            picture.pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)] = Rgb{bgr[2], bgr[1], bgr[0]};
        }
    }
    return picture;
}

// The first differing pixel, or "" when the pictures agree.
inline std::string difference(const Picture& actual, const Picture& expected) {
    if (actual.size != expected.size)
        return "size " + std::to_string(actual.size) + " instead of " + std::to_string(expected.size);
    for (int y = 0; y < expected.size; ++y)
        for (int x = 0; x < expected.size; ++x)
            if (actual.at(x, y) != expected.at(x, y))
                return "pixel (" + std::to_string(x) + "," + std::to_string(y) + ") is " +
                       std::to_string(actual.at(x, y)[0]) + "," + std::to_string(actual.at(x, y)[1]) + "," +
                       std::to_string(actual.at(x, y)[2]);
    return "";
}

// ---- rendering through the host ------------------------------------------------

// A folder of its own per instance (and per process, as test programs may
// run side by side), removed with everything in it.
using TempDir = test_files::TempDir;

inline bool exists(const std::string& path) { return std::filesystem::exists(path); }

inline UvTemplateSource source_for(Host& host, MeshSource polygons) {
    UvTemplateSource source{};
    source.global = Host::global_function;
    source.messages = static_cast<const LWMessageFuncs*>(host.global(LWMESSAGEFUNCS_GLOBAL, 0));
    source.panels = static_cast<LWPanelFuncs*>(host.global(LWPANELFUNCS_GLOBAL, 0));
    auto* objects = static_cast<const LWObjectFuncs*>(host.global(LWOBJECTFUNCS_GLOBAL, 0));
    source.uv_map_count = objects ? objects->numVMaps(LWVMAP_TXUV) : 0;
    source.polygons = polygons;
    return source;
}

// One object file holding every case of the polygon scan, each in a UV map of
// its own, so that rendering one map draws only that case's polygons.
struct ScanScene {
    Host host;
    int mesh = -1;
    lwhost::ItemId object = 0;

    ScanScene() {
        SceneBuilder b(host.scene);
        auto m = b.mesh("/models/crate.lwo");
        mesh = m.index();

        auto s0 = m.point(0, 0, 0), s1 = m.point(1, 0, 0), s2 = m.point(1, 1, 0), s3 = m.point(0, 1, 0);
        m.quad(s0, s1, s2, s3);
        m.uv("Square", s0, 0, 0).uv("Square", s1, 1, 0).uv("Square", s2, 1, 1).uv("Square", s3, 0, 1);

        // A triangle, and a two-point and a one-point polygon that only
        // Modeler's source draws.
        auto t0 = m.point(0, 0, 1), t1 = m.point(1, 0, 1), t2 = m.point(0, 1, 1);
        m.triangle(t0, t1, t2);
        m.uv("Triangle", t0, 0.25f, 0.25f).uv("Triangle", t1, 0.75f, 0.25f).uv("Triangle", t2, 0.5f, 0.75f);
        auto q0 = m.point(0, 0, 2), q1 = m.point(1, 0, 2);
        m.polygon({q0, q1});
        m.uv("Triangle", q0, 0.1f, 0.9f).uv("Triangle", q1, 0.9f, 0.9f);
        auto r0 = m.point(0, 0, 3);
        m.polygon({r0});
        m.uv("Triangle", r0, 0.5f, 0.5f);

        // A quad with one vertex outside the map is skipped; the triangle is not.
        auto p0 = m.point(0, 0, 4), p1 = m.point(1, 0, 4), p2 = m.point(1, 1, 4), p3 = m.point(0, 1, 4);
        m.quad(p0, p1, p2, p3);
        m.uv("Partial", p0, 0.1f, 0.1f).uv("Partial", p1, 0.9f, 0.1f).uv("Partial", p2, 0.9f, 0.9f);
        auto a0 = m.point(0, 0, 5), a1 = m.point(1, 0, 5), a2 = m.point(0, 1, 5);
        m.triangle(a0, a1, a2);
        m.uv("Partial", a0, 0.2f, 0.5f).uv("Partial", a1, 0.4f, 0.5f).uv("Partial", a2, 0.3f, 0.7f);

        // A per-polygon value wins over the point's own.
        auto e0 = m.point(0, 0, 6), e1 = m.point(1, 0, 6), e2 = m.point(0, 1, 6);
        auto seam = m.triangle(e0, e1, e2);
        m.uv("Seam", e0, 0.2f, 0.2f).uv("Seam", e1, 0.8f, 0.2f).uv("Seam", e2, 0.5f, 0.8f);
        m.uv_for_polygon("Seam", seam, e2, 0.5f, 0.5f);

        // A second layer, which Modeler's source scans whatever the foreground is.
        m.layer(1);
        auto l0 = m.point(0, 0, 7), l1 = m.point(1, 0, 7), l2 = m.point(0, 1, 7);
        m.triangle(l0, l1, l2);
        m.uv("Triangle", l0, 0.1f, 0.1f).uv("Triangle", l1, 0.3f, 0.1f).uv("Triangle", l2, 0.2f, 0.3f);

        object = b.object("crate", m, 0);
        host.scene.current_mesh = mesh;
        host.scene.foreground_layers = 1;
    }
};

inline constexpr Rgb BLACK{0, 0, 0};
inline constexpr Rgb WHITE{255, 255, 255};

inline UvColor colour(Rgb rgb) { return UvColor{{rgb[0], rgb[1], rgb[2]}}; }

// Renders `map` to a file and reads it back.
inline Picture render(Host& host, const MeshSource& polygons, const char* map, int size, Rgb foreground,
               Rgb background) {
    TempDir dir;
    const std::string path = dir.file(std::string(map) + ".tga");
    UvTemplateSource source = source_for(host, polygons);
    EXPECT_EQ(uv_template_render(path.c_str(), source, map, size, colour(foreground), colour(background)),
              UV_TEMPLATE_OK);
    return read_targa(path);
}

// What both sources draw alike.
inline void expect_shared_cases(Host& host, const MeshSource& polygons) {
    {  // the unit square: of its outline only the top row and left column lie inside
        Picture expected(512, WHITE);
        for (int k = 0; k < 512; ++k) {
            expected.plot(k, 0, BLACK);
            expected.plot(0, k, BLACK);
        }
        EXPECT_EQ(difference(render(host, polygons, "Square", 512, BLACK, WHITE), expected), "");
    }
    {  // one vertex without a value: the quad is skipped, the triangle drawn
        Rgb red{255, 0, 0}, grey{40, 40, 40};
        Picture expected(50, grey);
        expected.outline({{10, 25}, {20, 25}, {15, 15}}, red);
        EXPECT_EQ(difference(render(host, polygons, "Partial", 50, red, grey), expected), "");
    }
    {  // the seam's per-polygon value (0.5, 0.5) moves the third corner from (10, 4) to (10, 10)
        Picture expected(20, WHITE);
        expected.outline({{4, 16}, {16, 16}, {10, 10}}, BLACK);
        EXPECT_EQ(difference(render(host, polygons, "Seam", 20, BLACK, WHITE), expected), "");
    }
    {  // a map no polygon has: the background alone
        EXPECT_EQ(difference(render(host, polygons, "Nothing", 8, BLACK, WHITE), Picture(8, WHITE)), "");
    }
}

}  // namespace uv_test
