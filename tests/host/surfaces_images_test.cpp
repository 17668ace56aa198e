// "Surface Functions 2", "Texture Functions 2", "LW Image List 3" and
// "Image Utility" with its Targa saver.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include <lwimage.h>
#include <lwmeshedt.h>
#include <lwsurf.h>
#include <lwtxtr.h>

#include "host.h"
#include "mesh_edit.h"
#include "scene.h"
#include "scene_builder.h"
#include "../temp_dir.h"
#include "../unprivileged.h"
#include "test_files.h"

namespace lwhost {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace fs = std::filesystem;

template <class Record>
Record* service(Host& host, const char* name) {
    return static_cast<Record*>(host.global(name, 0));
}

std::vector<std::string> directory_listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A fresh directory per test, removed afterwards.
using TempDir = test_files::TempDir;

// Two objects: ship with surfaces Skin (textured) and Metal, crate with
// another Skin.
struct SurfaceScene {
    Host host;
    int ship = -1, crate = -1, planar_image = -1, uv_image = -1;
    SurfaceScene() {
        SceneBuilder b(host.scene);
        auto ship_mesh = b.mesh("C:/models/ship.lwo");
        auto crate_mesh = b.mesh("C:/models/crate.lwo");
        ship = ship_mesh.index();
        crate = crate_mesh.index();
        auto p = ship_mesh.point(0, 0, 0);
        ship_mesh.uv("Hull UV", p, 0.5f, 0.5f);
        planar_image = b.image("decal.png", 4, 4);
        uv_image = b.image("skin.tga", 8, 8, "C:/images/skin.tga");
        b.surface(ship_mesh, "Skin")
            .smoothing_degrees(89.5)
            .color(0.5, 0.25, 1.0)
            .image_layer(planar_image, Projection::Planar, 1)
            .uv_image_layer(uv_image, "Hull UV");
        b.surface(ship_mesh, "Metal");
        b.surface(crate_mesh, "Skin");
        host.scene.current_mesh = ship;
    }
};

std::vector<std::string> names_of(LWSurfaceFuncs* surf, LWSurfaceID* list) {
    std::vector<std::string> names;
    for (; list && *list; ++list) names.push_back(surf->name(*list));
    return names;
}

TEST(SurfaceFunctionsTest, ListsSurfacesAndTheirChannels) {
    SurfaceScene s;
    auto* surf = service<LWSurfaceFuncs>(s.host, "Surface Functions 2");
    ASSERT_NE(surf, nullptr);

    std::vector<std::string> walked, objects;
    for (LWSurfaceID id = surf->first(); id; id = surf->next(id)) {
        walked.push_back(surf->name(id));
        objects.push_back(surf->sceneObject(id));
    }
    EXPECT_THAT(walked, ElementsAre("Skin", "Metal", "Skin"));
    EXPECT_THAT(objects, ElementsAre("C:/models/ship.lwo", "C:/models/ship.lwo", "C:/models/crate.lwo"));

    EXPECT_THAT(names_of(surf, surf->byObject("C:/models/ship.lwo")), ElementsAre("Skin", "Metal"));
    EXPECT_THAT(names_of(surf, surf->byObject("C:/models/none.lwo")), ElementsAre());
    LWSurfaceID* skins = surf->byName("Skin", nullptr);
    ASSERT_NE(skins, nullptr);
    ASSERT_NE(skins[0], nullptr);
    ASSERT_NE(skins[1], nullptr);
    EXPECT_EQ(skins[2], nullptr);
    EXPECT_STREQ(surf->sceneObject(skins[1]), "C:/models/crate.lwo");
    LWSurfaceID* crate_skin = surf->byName("Skin", "C:/models/crate.lwo");
    ASSERT_NE(crate_skin[0], nullptr);
    EXPECT_EQ(crate_skin[1], nullptr);

    LWSurfaceID skin = surf->first();
    double* angle = surf->getFlt(skin, "SmoothingAngle");
    ASSERT_NE(angle, nullptr);
    EXPECT_DOUBLE_EQ(*angle, 89.5 * 3.14159265358979323846 / 180.0);
    double* color = surf->getFlt(skin, "BaseColor");
    ASSERT_NE(color, nullptr);
    EXPECT_THAT(std::vector<double>(color, color + 3), ElementsAre(0.5, 0.25, 1.0));
    ASSERT_NE(surf->getFlt(skin, "Diffuse"), nullptr);
    EXPECT_EQ(*surf->getFlt(skin, "Diffuse"), 1.0);
    EXPECT_EQ(surf->getFlt(skin, "NoSuchChannel"), nullptr);
    EXPECT_EQ(surf->getInt(skin, "Sidedness"), 1);
    EXPECT_EQ(*surf->getFlt(surf->next(skin), "SmoothingAngle"), 0.0);

    // A texture only where there are base colour layers, and only for BaseColor.
    EXPECT_NE(surf->getTex(skin, "BaseColor"), nullptr);
    EXPECT_EQ(surf->getTex(skin, "Diffuse"), nullptr);
    EXPECT_EQ(surf->getTex(surf->next(skin), "BaseColor"), nullptr);

    // create finds or adds, in the named object.
    LWSurfaceID made = surf->create("C:/models/crate.lwo", "Wood");
    ASSERT_NE(made, nullptr);
    EXPECT_STREQ(surf->name(made), "Wood");
    EXPECT_EQ(surf->create("C:/models/crate.lwo", "Wood"), made);
    EXPECT_EQ(surf->create("C:/models/none.lwo", "Wood"), nullptr);
    surf->setColorVMap(made, "Paint", 0);
    EXPECT_STREQ(surf->getColorVMap(made), "Paint");

    // Handles of other kinds and garbage are refused.
    LWSurfaceID texture_as_surface = surf->getTex(skin, "BaseColor");
    for (LWSurfaceID bad : {static_cast<LWSurfaceID>(nullptr), reinterpret_cast<LWSurfaceID>(0x1234),
                            texture_as_surface, reinterpret_cast<LWSurfaceID>(surface_handle(99))}) {
        EXPECT_EQ(surf->name(bad), nullptr);
        EXPECT_EQ(surf->next(bad), nullptr);
        EXPECT_EQ(surf->getFlt(bad, "SmoothingAngle"), nullptr);
        EXPECT_EQ(surf->getTex(bad, "BaseColor"), nullptr);
        EXPECT_EQ(surf->sceneObject(bad), nullptr);
    }
}

// The walk a mesh exporter does: the first image layer with UV projection
// and a named image supplies the texture name.
std::string uv_texture_name(Host& host, LWSurfaceID surface) {
    auto* surf = service<LWSurfaceFuncs>(host, "Surface Functions 2");
    auto* tex = service<LWTextureFuncs>(host, "Texture Functions 2");
    auto* images = service<LWImageList>(host, "LW Image List 3");
    LWTextureID texture = surf->getTex(surface, "BaseColor");
    for (LWTLayerID layer = tex->firstLayer(texture); layer; layer = tex->nextLayer(texture, layer)) {
        int projection = -1;
        LWImageID image = nullptr;
        if (tex->layerType(layer) != TLT_IMAGE) continue;
        tex->getParam(layer, TXTAG_PROJ, &projection);
        if (projection != TXPRJ_UVMAP) continue;
        tex->getParam(layer, TXTAG_IMAGE, &image);
        if (const char* name = images->name(image)) return name;
    }
    return "";
}

TEST(TextureFunctionsTest, LayersAreWalkedInOrderWithTheirParameters) {
    SurfaceScene s;
    auto* surf = service<LWSurfaceFuncs>(s.host, "Surface Functions 2");
    auto* tex = service<LWTextureFuncs>(s.host, "Texture Functions 2");
    ASSERT_NE(tex, nullptr);
    LWSurfaceID skin = surf->first();
    LWTextureID texture = surf->getTex(skin, "BaseColor");

    // Planar image layer first, UV image layer second: the second one counts.
    EXPECT_EQ(uv_texture_name(s.host, skin), "skin.tga");

    LWTLayerID first = tex->firstLayer(texture);
    ASSERT_NE(first, nullptr);
    int value = -1;
    EXPECT_EQ(tex->layerType(first), TLT_IMAGE);
    EXPECT_EQ(tex->getParam(first, TXTAG_PROJ, &value), 1);
    EXPECT_EQ(value, TXPRJ_PLANAR);
    EXPECT_EQ(tex->getParam(first, TXTAG_AXIS, &value), 1);
    EXPECT_EQ(value, 1);
    LWTLayerID second = tex->nextLayer(texture, first);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(tex->lastLayer(texture), second);
    EXPECT_EQ(tex->nextLayer(texture, second), nullptr);
    EXPECT_EQ(tex->texture(second), texture);
    EXPECT_STREQ(tex->name(texture), "BaseColor");
    EXPECT_EQ(tex->getParam(second, TXTAG_PROJ, &value), 1);
    EXPECT_EQ(value, TXPRJ_UVMAP);

    // Unanswered tags leave the data alone.
    value = 1234;
    EXPECT_EQ(tex->getParam(second, TXTAG_COORD, &value), 0);
    EXPECT_EQ(value, 1234);
    EXPECT_EQ(tex->getParam(second, 999, &value), 0);
    EXPECT_EQ(value, 1234);

    // The layer's UV map ID selects that map in a mesh edit.
    void* vmap = nullptr;
    EXPECT_EQ(tex->getParam(second, TXTAG_VMAP, &vmap), 1);
    ASSERT_NE(vmap, nullptr);
    MeshEditOp* op = begin_mesh_edit(s.host, 0, 0, 0);
    ASSERT_NE(op, nullptr);
    EXPECT_EQ(op->pointVSet(op->state, vmap, 0, nullptr), vmap);
    float uv[2];
    EXPECT_EQ(op->pointVGet(op->state, reinterpret_cast<LWPntID>(point_handle(s.ship, 0, 0)), uv), 1);
    EXPECT_THAT(uv, ElementsAre(0.5f, 0.5f));
    op->done(op->state, EDERR_NONE, 0);

    // A layer of one texture is not walked on from another; garbage is refused.
    LWTextureID other = reinterpret_cast<LWTextureID>(texture_handle(1));  // Metal: no layers
    EXPECT_EQ(tex->firstLayer(other), nullptr);
    EXPECT_EQ(tex->nextLayer(other, first), nullptr);
    for (LWTLayerID bad : {static_cast<LWTLayerID>(nullptr), reinterpret_cast<LWTLayerID>(0xABCDEF),
                           reinterpret_cast<LWTLayerID>(texture), reinterpret_cast<LWTLayerID>(texture_layer_handle(0, 5)),
                           reinterpret_cast<LWTLayerID>(texture_layer_handle(77, 0))}) {
        value = 42;
        EXPECT_EQ(tex->layerType(bad), -1);
        EXPECT_EQ(tex->getParam(bad, TXTAG_PROJ, &value), 0);
        EXPECT_EQ(value, 42);
        EXPECT_EQ(tex->nextLayer(texture, bad), nullptr);
        EXPECT_EQ(tex->texture(bad), nullptr);
    }
    EXPECT_EQ(tex->firstLayer(reinterpret_cast<LWTextureID>(surf->first())), nullptr);  // a surface, not a texture
}

TEST(ImageListTest, ListsLoadsAndReadsImages) {
    SurfaceScene s;
    auto* images = service<LWImageList>(s.host, "LW Image List 3");
    ASSERT_NE(images, nullptr);
    Image& skin = *s.host.scene.images[std::size_t(s.uv_image)];
    skin.rgb[(1 * 8 + 2) * 3 + 0] = 255;  // pixel (2, 1): pure red
    std::vector<std::string> names;
    for (LWImageID id = images->first(); id; id = images->next(id)) names.push_back(images->name(id));
    EXPECT_THAT(names, ElementsAre("decal.png", "skin.tga"));

    LWImageID id = images->next(images->first());
    EXPECT_STREQ(images->filename(id, 0), "C:/images/skin.tga");
    int w = 0, h = 0;
    images->size(id, &w, &h);
    EXPECT_EQ(w, 8);
    EXPECT_EQ(h, 8);
    float rgb[3];
    images->RGB(id, 2, 1, rgb);
    EXPECT_THAT(rgb, ElementsAre(1.0f, 0.0f, 0.0f));
    EXPECT_FLOAT_EQ(images->luma(id, 2, 1), 0.299f);
    images->RGB(id, 8, 0, rgb);  // outside
    EXPECT_THAT(rgb, ElementsAre(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(images->luma(id, -1, 0), 0.0f);

    // load adds one entry per file name.
    LWImageID loaded = images->load("/data/maps/wood.png");
    ASSERT_NE(loaded, nullptr);
    EXPECT_STREQ(images->name(loaded), "wood.png");
    EXPECT_EQ(images->load("/data/maps/wood.png"), loaded);
    EXPECT_EQ(images->load("C:/images/skin.tga"), id);
    EXPECT_EQ(s.host.scene.images.size(), 3u);

    EXPECT_EQ(images->name(reinterpret_cast<LWImageID>(image_handle(3))), nullptr);
    EXPECT_EQ(images->name(reinterpret_cast<LWImageID>(surface_handle(0))), nullptr);
    EXPECT_EQ(images->next(loaded), nullptr);
}

TEST(ImageUtilityTest, PixelMapsIgnorePixelsOutside) {
    Host host;
    auto* util = service<LWImageUtil>(host, "Image Utility");
    ASSERT_NE(util, nullptr);
    EXPECT_EQ(util->saverCount(), 1);
    EXPECT_STREQ(util->saverName(0), "Targa Format (.tga)");
    EXPECT_EQ(util->saverName(1), nullptr);

    LWPixmapID image = util->create(2, 2, LWIMTYP_RGB24);
    ASSERT_NE(image, nullptr);
    unsigned char red[3] = {255, 0, 0}, got[3] = {9, 9, 9};
    util->getPixel(image, 1, 1, got);
    EXPECT_THAT(got, ElementsAre(0, 0, 0));  // starts black
    util->setPixel(image, 1, 0, red);
    for (auto [x, y] : {std::pair{-1, 0}, {2, 0}, {0, 2}, {0, -1}, {2, 2}}) util->setPixel(image, x, y, red);
    int set = 0;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) {
            util->getPixel(image, x, y, got);
            set += got[0] == 255;
        }
    EXPECT_EQ(set, 1);
    got[0] = 7;
    util->getPixel(image, 5, 5, got);
    EXPECT_EQ(got[0], 7);
    int w = 0, h = 0, type = -1;
    util->getInfo(image, &w, &h, &type);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(type, LWIMTYP_RGB24);

    // Sizes that cannot be made.
    EXPECT_EQ(util->create(0, 5, LWIMTYP_RGB24), nullptr);
    EXPECT_EQ(util->create(5, -1, LWIMTYP_RGB24), nullptr);
    EXPECT_EQ(util->create(70000, 1, LWIMTYP_RGB24), nullptr);
    EXPECT_EQ(util->create(40000, 40000, LWIMTYP_RGB24), nullptr);  // 4.8 GB
    EXPECT_EQ(util->create(2, 2, LWIMTYP_SPECIAL), nullptr);

    // Resampling keeps the nearest pixel; other types keep their own pixel size.
    LWPixmapID bigger = util->resample(image, 4, 4, 0);
    ASSERT_NE(bigger, nullptr);
    util->getPixel(bigger, 3, 1, got);
    EXPECT_EQ(got[0], 255);
    util->getPixel(bigger, 1, 1, got);
    EXPECT_EQ(got[0], 0);
    LWPixmapID grey = util->create(3, 1, LWIMTYP_GREY8);
    unsigned char level = 200, wide[4] = {1, 2, 3, 4};
    util->setPixel(grey, 2, 0, &level);
    util->getPixel(grey, 2, 0, wide);
    EXPECT_THAT(wide, ElementsAre(200, 2, 3, 4));  // one byte copied

    // A destroyed map is gone, even when its slot is reused.
    util->destroy(image);
    util->destroy(image);
    util->getInfo(image, &w, &h, &type);
    EXPECT_EQ(w, 0);
    LWPixmapID reused = util->create(1, 1, LWIMTYP_RGB24);
    ASSERT_NE(reused, nullptr);
    EXPECT_NE(reused, image);
    util->setPixel(image, 0, 0, red);
    util->getPixel(reused, 0, 0, got);
    EXPECT_EQ(got[0], 0);
    util->getInfo(reinterpret_cast<LWPixmapID>(0x12345678), &w, &h, &type);
    EXPECT_EQ(w, 0);
    // `bigger`, `grey` and `reused` are left for the host to free.
}

TEST(ImageUtilityTest, TargaSaverWritesBottomUpBgr) {
    TempDir dir;
    Host host;
    auto* util = service<LWImageUtil>(host, "Image Utility");
    LWPixmapID image = util->create(2, 2, LWIMTYP_RGB24);
    unsigned char red[3] = {255, 0, 0}, green[3] = {0, 255, 0}, blue[3] = {0, 0, 255}, mixed[3] = {10, 20, 30};
    util->setPixel(image, 0, 0, red);    // top left
    util->setPixel(image, 1, 0, green);  // top right
    util->setPixel(image, 0, 1, blue);   // bottom left
    util->setPixel(image, 1, 1, mixed);  // bottom right
    fs::path target = fs::path(dir.folder()) / "uv.tga";
    EXPECT_EQ(util->save(image, 0, target.c_str()), 0);

    const std::vector<std::uint8_t> expected = {
        0, 0, 2,           // no id, no colour map, uncompressed true colour
        0, 0, 0, 0, 0,     // colour map fields
        0, 0, 0, 0,        // x and y origin
        2, 0, 2, 0,        // width 2, height 2
        24, 0,             // 24 bits, origin lower left
        255, 0, 0,   30, 20, 10,  // bottom row: blue, (10, 20, 30), as b, g, r
        0, 0, 255,   0, 255, 0,   // top row: red, green
    };
    EXPECT_THAT(test_support::read_bytes(target), ElementsAreArray(expected));
    EXPECT_THAT(directory_listing(dir.folder()), ElementsAre("uv.tga"));

    // A grey map is saved with its level in all three channels.
    LWPixmapID grey = util->create(1, 1, LWIMTYP_GREY8);
    unsigned char level = 77;
    util->setPixel(grey, 0, 0, &level);
    EXPECT_EQ(util->save(grey, 0, (fs::path(dir.folder()) / "grey.tga").c_str()), 0);
    std::vector<std::uint8_t> grey_bytes = test_support::read_bytes(fs::path(dir.folder()) / "grey.tga");
    ASSERT_EQ(grey_bytes.size(), 21u);
    EXPECT_THAT(std::vector<std::uint8_t>(grey_bytes.begin() + 18, grey_bytes.end()), ElementsAre(77, 77, 77));
    util->destroy(grey);
    util->destroy(image);
}

TEST(ImageUtilityTest, FailedSavesLeaveNothingBehind) {
    TempDir dir;
    Host host;
    auto* util = service<LWImageUtil>(host, "Image Utility");
    LWPixmapID image = util->create(64, 64, LWIMTYP_RGB24);
    ASSERT_NE(image, nullptr);
    fs::path target = fs::path(dir.folder()) / "keep.tga";
    { std::ofstream(target, std::ios::binary) << "old"; }

    EXPECT_NE(util->save(image, 1, target.c_str()), 0);            // no such saver
    EXPECT_NE(util->save(nullptr, 0, target.c_str()), 0);          // no image
    EXPECT_NE(util->save(image, 0, nullptr), 0);                   // no file name
    EXPECT_NE(util->save(image, 0, (fs::path(dir.folder()) / "missing" / "x.tga").c_str()), 0);  // no such folder
    EXPECT_NE(util->save(image, 0, dir.folder().c_str()), 0);          // a folder cannot be replaced by a file

    // A write that fails part way (the file size limit) keeps the old file.
    struct rlimit old_limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old_limit;
    small.rlim_cur = 1000;  // the picture needs 18 + 64 * 64 * 3 bytes
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int rc = util->save(image, 0, target.c_str());
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_NE(rc, 0);

    EXPECT_THAT(directory_listing(dir.folder()), ElementsAre("keep.tga"));
    std::vector<std::uint8_t> old_bytes = {'o', 'l', 'd'};
    EXPECT_EQ(test_support::read_bytes(target), old_bytes);

    // And a save that works replaces it whole.
    EXPECT_EQ(util->save(image, 0, target.c_str()), 0);
    EXPECT_EQ(fs::file_size(target), 18u + 64 * 64 * 3);
    EXPECT_THAT(directory_listing(dir.folder()), ElementsAre("keep.tga"));
}

// The saver keeps the rules of the plug-ins' own saves: an existing file we
// may not write is refused, not renamed over, and a symbolic link is kept,
// leading to the new picture.
TEST(ImageUtilityTest, SavesKeepReadOnlyFilesAndLinks) {
    TempDir dir;
    Host host;
    auto* util = service<LWImageUtil>(host, "Image Utility");
    LWPixmapID image = util->create(2, 2, LWIMTYP_RGB24);
    ASSERT_NE(image, nullptr);
    const std::size_t picture_size = 18u + 2 * 2 * 3;

    const fs::path locked = fs::path(dir.folder()) / "locked.tga";
    { std::ofstream(locked, std::ios::binary) << "old"; }
    fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    {
        test_files::Unprivileged user(dir.folder());
        ASSERT_TRUE(user.active());
        EXPECT_NE(util->save(image, 0, locked.c_str()), 0);
    }
    EXPECT_EQ(test_support::read_bytes(locked), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_THAT(directory_listing(dir.folder()), ElementsAre("locked.tga"));

    fs::create_directory(fs::path(dir.folder()) / "pictures");
    const fs::path link = fs::path(dir.folder()) / "uv.tga";
    fs::create_symlink("pictures/real.tga", link);
    EXPECT_EQ(util->save(image, 0, link.c_str()), 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::file_size(fs::path(dir.folder()) / "pictures" / "real.tga"), picture_size);
    EXPECT_THAT(directory_listing(fs::path(dir.folder()) / "pictures"), ElementsAre("real.tga"));
    util->destroy(image);
}

}  // namespace
}  // namespace lwhost
