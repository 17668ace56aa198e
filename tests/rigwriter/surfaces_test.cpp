// Surfaces of the reference exporter over a host scene: smoothing angles,
// texture image names, shared names, and the material name of a polygon.
#include <gtest/gtest.h>

#include <string>

#include "ref_fixture.h"

namespace {

using lwhost::ItemId;
using lwhost::MeshBuilder;
using lwhost::Projection;
using reftest::RefFixture;

const ExportSurface* find_surface(const RefExportState& state, const char* name) {
    void* found = nullptr;
    if (strmap_get(&state.geometry.surface_map, name, &found, map_string_hash(name)) != MAP_OK) return nullptr;
    return static_cast<const ExportSurface*>(found);
}

std::string material(RefExportState& state, const ExportPolygon& polygon, int group_by) {
    state.group_by = group_by;
    const char* name = export_polygon_material(state.group_by, polygon);
    return name != nullptr ? name : "(null)";
}

TEST(RefSurfaces, ReadsSmoothingAngleAndTheFirstUvProjectedImage) {
    RefFixture f;
    MeshBuilder mesh = f.builder.mesh("C:/models/paint.lwo");
    mesh.triangle(mesh.point(0, 0, 0), mesh.point(1, 0, 0), mesh.point(0, 1, 0), "Painted");
    const int planar = f.builder.image("planar.png", 4, 4);
    const int skin = f.builder.image("skin.png", 4, 4);
    const int later = f.builder.image("later.png", 4, 4);
    f.builder.surface(mesh, "Painted")
        .smoothing_degrees(30)
        .image_layer(planar, Projection::Planar)
        .procedural_layer()
        .uv_image_layer(-1, "UVMap")  // UV-projected but without an image
        .uv_image_layer(skin, "UVMap")
        .uv_image_layer(later, "UVMap");
    f.builder.surface(mesh, "PlanarOnly").image_layer(planar, Projection::Planar);
    f.builder.surface(mesh, "Plain");
    ASSERT_NO_FATAL_FAILURE(f.collect(f.builder.object("paint", mesh)));

    ASSERT_EQ(f.state.geometry.surfaces.size(), 3u);
    EXPECT_EQ(f.state.geometry.surfaces[0].name, "Painted");
    EXPECT_EQ(f.state.geometry.surfaces[1].name, "PlanarOnly");
    EXPECT_EQ(f.state.geometry.surfaces[2].name, "Plain");
    const ExportSurface* painted = find_surface(f.state, "Painted");
    ASSERT_EQ(painted, &f.state.geometry.surfaces[0]);
    EXPECT_NEAR(painted->smoothing_angle, 30 * reftest::kDegree, 1e-12);
    EXPECT_EQ(painted->texture_image, "skin.png");
    EXPECT_TRUE(f.state.geometry.surfaces[1].texture_image.empty());
    EXPECT_TRUE(f.state.geometry.surfaces[2].texture_image.empty());
    EXPECT_EQ(f.state.geometry.surfaces[2].smoothing_angle, 0.0);
    ASSERT_NE(f.state.geometry.polygons.at(0).surface, nullptr);
    EXPECT_EQ(f.state.geometry.polygons.at(0).surface->surface, painted);

    {
        // Without the texture services the image is simply unknown.
        RefFixture g;
        MeshBuilder other = g.builder.mesh("C:/models/paint.lwo");
        other.triangle(other.point(0, 0, 0), other.point(1, 0, 0), other.point(0, 1, 0), "Painted");
        const int image = g.builder.image("skin.png", 4, 4);
        g.builder.surface(other, "Painted").smoothing_degrees(30).uv_image_layer(image, "UVMap");
        g.host.withhold("Texture Functions 2");
        ASSERT_NO_FATAL_FAILURE(g.collect(g.builder.object("paint", other)));
        ASSERT_EQ(g.state.geometry.surfaces.size(), 1u);
        EXPECT_TRUE(g.state.geometry.surfaces[0].texture_image.empty());
        EXPECT_NEAR(g.state.geometry.surfaces[0].smoothing_angle, 30 * reftest::kDegree, 1e-12);
    }
}

TEST(RefSurfaces, LaterSurfaceOfTheSameNameServesBothObjects) {
    RefFixture f;
    MeshBuilder first = f.builder.mesh("C:/models/first.lwo");
    first.triangle(first.point(0, 0, 0), first.point(1, 0, 0), first.point(0, 1, 0), "Skin");
    MeshBuilder second = f.builder.mesh("C:/models/second.lwo");
    second.triangle(second.point(0, 0, 0), second.point(1, 0, 0), second.point(0, 1, 0), "Skin");
    f.builder.surface(first, "Skin").smoothing_degrees(10);
    f.builder.surface(second, "Skin").smoothing_degrees(60);
    const ItemId object = f.builder.object("first", first);
    f.builder.object("second", second);
    ASSERT_NO_FATAL_FAILURE(f.collect(object));

    ASSERT_EQ(f.state.geometry.surfaces.size(), 2u);
    const ExportPolygon& polygon = f.state.geometry.polygons.at(0);
    ASSERT_NE(polygon.surface, nullptr);
    ASSERT_EQ(polygon.surface->surface, &f.state.geometry.surfaces[1]);
    EXPECT_NEAR(polygon.surface->surface->smoothing_angle, 60 * reftest::kDegree, 1e-12);
}

TEST(RefSurfaces, MaterialNameFollowsTheGroupingWithFallbacks) {
    RefFixture f;
    MeshBuilder mesh = f.builder.mesh("C:/models/names.lwo");
    std::uint32_t p[12];
    for (int i = 0; i < 12; ++i) p[i] = mesh.point(i, i % 2, i % 3);
    for (int i = 0; i < 3; ++i) mesh.uv("UV one", p[i], 0.5f, 0.5f);
    const std::uint32_t textured = mesh.triangle(p[0], p[1], p[2], "Skin Mat");
    const std::uint32_t plain = mesh.triangle(p[3], p[4], p[5], "Plain");
    const std::uint32_t untagged = mesh.triangle(p[6], p[7], p[8], "");
    const std::uint32_t ghost = mesh.triangle(p[9], p[10], p[11], "Ghost");  // no such surface
    const int image = f.builder.image("skin map.png", 4, 4);
    f.builder.surface(mesh, "Skin Mat").uv_image_layer(image, "UV one");
    f.builder.surface(mesh, "Plain");
    ASSERT_NO_FATAL_FAILURE(f.collect(f.builder.object("names", mesh)));

    const ExportPolygon& a = f.polygon(mesh, textured);
    EXPECT_EQ(material(f.state, a, GROUP_BY_UV_MAP), "UV one");
    EXPECT_EQ(material(f.state, a, GROUP_BY_SURFACE), "Skin Mat");
    EXPECT_EQ(material(f.state, a, GROUP_BY_TEXTURE), "skin map.png");

    const ExportPolygon& b = f.polygon(mesh, plain);
    EXPECT_EQ(material(f.state, b, GROUP_BY_UV_MAP), "Plain");
    EXPECT_EQ(material(f.state, b, GROUP_BY_SURFACE), "Plain");
    EXPECT_EQ(material(f.state, b, GROUP_BY_TEXTURE), "Plain");

    // Without a recorded surface: the tag text, or "default" without a tag.
    const ExportPolygon& c = f.polygon(mesh, untagged);
    EXPECT_EQ(c.surface, nullptr);
    EXPECT_EQ(material(f.state, c, GROUP_BY_SURFACE), "default");
    EXPECT_EQ(material(f.state, c, GROUP_BY_TEXTURE), "default");
    EXPECT_EQ(material(f.state, c, GROUP_BY_UV_MAP), "default");
    const ExportPolygon& d = f.polygon(mesh, ghost);
    ASSERT_NE(d.surface, nullptr);
    EXPECT_EQ(d.surface->surface, nullptr);
    EXPECT_EQ(material(f.state, d, GROUP_BY_SURFACE), "Ghost");
    EXPECT_EQ(material(f.state, d, GROUP_BY_TEXTURE), "Ghost");
}

TEST(RefSurfaces, WithoutSurfaceServiceTrianglesGroupByTheirTags) {
    RefFixture f;
    MeshBuilder mesh = f.builder.mesh("C:/models/tags.lwo");
    std::uint32_t p[4];
    for (int i = 0; i < 4; ++i) p[i] = mesh.point(i, i * i, 1);
    const std::uint32_t one = mesh.triangle(p[0], p[1], p[2], "Skin Mat");
    const std::uint32_t two = mesh.triangle(p[1], p[2], p[3], "Skin Mat");
    const std::uint32_t three = mesh.triangle(p[0], p[2], p[3], "Eyes");
    f.builder.surface(mesh, "Skin Mat").smoothing_degrees(80);
    f.host.withhold("Surface Functions 2");
    ASSERT_NO_FATAL_FAILURE(f.collect(f.builder.object("tags", mesh)));

    EXPECT_TRUE(f.state.geometry.surfaces.empty());
    {
        ExportGeometry fresh;
        EXPECT_EQ(export_collect_surfaces(fresh, f.state.global, nullptr), EXPORT_NO_SERVICE);
        export_geometry_release(fresh);
    }
    EXPECT_EQ(material(f.state, f.polygon(mesh, one), GROUP_BY_SURFACE), "Skin Mat");
    EXPECT_EQ(material(f.state, f.polygon(mesh, three), GROUP_BY_TEXTURE), "Eyes");
    // One copy per tag text.
    EXPECT_EQ(f.polygon(mesh, one).surface, f.polygon(mesh, two).surface);
    EXPECT_EQ(f.state.geometry.surface_names.size(), 2u);
    // No surface, no smoothing: the shared corner keeps the face normal.
    const ExportPolygon& first = f.polygon(mesh, one);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(corner_normal(first, 1)[k], first.normal[k]);
}

}  // namespace
