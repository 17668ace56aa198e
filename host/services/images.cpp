// "LW Image List 3" over scene.images, and "Image Utility" over the host's
// pixel maps (images.h) and its one saver, "Targa Format (.tga)" (targa.h).
//
// Image list: `load` adds an entry for the file name (its name is the part
// after the last '/'), or returns the entry that already has that file name;
// the file is not read, so a loaded image has size 0 x 0 until someone fills
// scene.images. `RGB` gives 0..1 per channel, `luma` the luma, the spot
// functions the nearest pixel; outside the image everything reads 0. Images
// have no alpha (`hasAlpha` 0, `alpha` 1, opaque). `clear`, `needAA`,
// `sceneLoad`, `sceneSave` and `evaluate` do nothing (null).
//
// Image utility: `create` makes a map of any LWImageType but
// LWIMTYP_SPECIAL (null when the store refuses it); setPixel/getPixel copy
// one pixel and ignore coordinates outside the map; `resample` is nearest
// neighbour. `save` (map, 0, file) writes a Targa file from the map's colours
// and returns 0, or non-zero for a bad map or saver index, a null file name
// or a failed write (the target is then left as it was).
#include <cstdint>
#include <cstring>
#include <string>

#include <lwimage.h>

#include "host.h"
#include "images.h"
#include "services/services.h"
#include "targa.h"

namespace lwhost {

namespace {

// ---------------------------------------------------------------------------
// Image list

Image* image_of(Host& host, LWImageID id, int* out_index = nullptr) {
    int index;
    if (!decode_image(reinterpret_cast<std::uintptr_t>(id), index)) return nullptr;
    if (std::size_t(index) >= host.scene.images.size()) return nullptr;
    if (out_index) *out_index = index;
    return host.scene.images[std::size_t(index)].get();
}

LWImageID image_id(int index) { return reinterpret_cast<LWImageID>(image_handle(index)); }

LWImageID list_first() noexcept {
    Host* host = Host::current();
    return host && !host->scene.images.empty() ? image_id(0) : nullptr;
}

LWImageID list_next(LWImageID id) noexcept {
    Host* host = Host::current();
    int index;
    if (!host || !image_of(*host, id, &index) || std::size_t(index) + 1 >= host->scene.images.size()) return nullptr;
    return image_id(index + 1);
}

LWImageID list_load(const char* filename) noexcept {
    Host* host = Host::current();
    if (!host || !filename || !*filename) return nullptr;
    try {
        return image_id(find_or_add_image(host->scene, filename));
    } catch (...) {
        return nullptr;
    }
}

const char* list_name(LWImageID id) noexcept {
    Host* host = Host::current();
    Image* image = host ? image_of(*host, id) : nullptr;
    return image ? image->name.c_str() : nullptr;
}

const char* list_filename(LWImageID id, LWFrame) noexcept {
    Host* host = Host::current();
    Image* image = host ? image_of(*host, id) : nullptr;
    return image ? image->filename.c_str() : nullptr;
}

int list_is_color(LWImageID id) noexcept {
    Host* host = Host::current();
    return host && image_of(*host, id) ? 1 : 0;
}

void list_need_aa(LWImageID) noexcept {}

void list_size(LWImageID id, int* w, int* h) noexcept {
    Host* host = Host::current();
    Image* image = host ? image_of(*host, id) : nullptr;
    if (w) *w = image ? image->width : 0;
    if (h) *h = image ? image->height : 0;
}

LWBufferValue list_luma(LWImageID id, int x, int y) noexcept {
    Host* host = Host::current();
    Image* image = host ? image_of(*host, id) : nullptr;
    const std::uint8_t* p = image ? image_pixel(*image, x, y) : nullptr;
    return p ? LWBufferValue(pixel_luma(p)) : 0.0f;
}

void list_rgb(LWImageID id, int x, int y, LWBufferValue rgb[3]) noexcept {
    Host* host = Host::current();
    Image* image = host ? image_of(*host, id) : nullptr;
    const std::uint8_t* p = image ? image_pixel(*image, x, y) : nullptr;
    if (!rgb) return;
    for (int c = 0; c < 3; ++c) rgb[c] = p ? LWBufferValue(p[c] / 255.0) : 0.0f;
}

const std::uint8_t* nearest_pixel(LWImageID id, double x, double y) {
    Host* host = Host::current();
    Image* image = host ? image_of(*host, id) : nullptr;
    return image ? image_nearest_pixel(*image, x, y) : nullptr;
}

double list_luma_spot(LWImageID id, double x, double y, double, int) noexcept {
    const std::uint8_t* p = nearest_pixel(id, x, y);
    return p ? pixel_luma(p) : 0.0;
}

void list_rgb_spot(LWImageID id, double x, double y, double, int, double rgb[3]) noexcept {
    const std::uint8_t* p = nearest_pixel(id, x, y);
    if (!rgb) return;
    for (int c = 0; c < 3; ++c) rgb[c] = p ? p[c] / 255.0 : 0.0;
}

void list_clear(LWImageID) noexcept {}
LWImageID list_scene_load(const LWLoadState*) noexcept { return nullptr; }
void list_scene_save(const LWSaveState*, LWImageID) noexcept {}
int list_has_alpha(LWImageID) noexcept { return 0; }
LWBufferValue list_alpha(LWImageID, int, int) noexcept { return 1.0f; }
double list_alpha_spot(LWImageID, double, double, double, int) noexcept { return 1.0; }
LWPixmapID list_evaluate(LWImageID, LWTime) noexcept { return nullptr; }

LWImageList g_image_list = {
    list_first,   list_next,      list_load,     list_name,       list_filename,   list_is_color,
    list_need_aa, list_size,      list_luma,     list_rgb,        list_luma_spot,  list_rgb_spot,
    list_clear,   list_scene_load, list_scene_save, list_has_alpha, list_alpha,    list_alpha_spot,
    list_evaluate,
};

// ---------------------------------------------------------------------------
// Pixel maps

constexpr char kTargaSaver[] = "Targa Format (.tga)";

static_assert(int(PixelType::RGB24) == LWIMTYP_RGB24 && int(PixelType::Grey8) == LWIMTYP_GREY8 &&
                  int(PixelType::Index8) == LWIMTYP_INDEX8 && int(PixelType::GreyFP) == LWIMTYP_GREYFP &&
                  int(PixelType::RGBFP) == LWIMTYP_RGBFP && int(PixelType::RGBA32) == LWIMTYP_RGBA32 &&
                  int(PixelType::RGBAFP) == LWIMTYP_RGBAFP,
              "pixel types are numbered as the image types");

std::uintptr_t handle_of(LWPixmapID id) { return reinterpret_cast<std::uintptr_t>(id); }
LWPixmapID pixmap_id(std::uintptr_t handle) { return reinterpret_cast<LWPixmapID>(handle); }

PixmapStore* store() {
    Host* host = Host::current();
    return host ? &host->pixmaps() : nullptr;
}

Pixmap* pixmap_of(LWPixmapID id) {
    PixmapStore* pixmaps = store();
    return pixmaps ? pixmaps->find(handle_of(id)) : nullptr;
}

LWPixmapID util_create(int w, int h, LWImageType type) noexcept {
    PixmapStore* pixmaps = store();
    return pixmaps ? pixmap_id(pixmaps->create(w, h, int(type))) : nullptr;
}

void util_destroy(LWPixmapID id) noexcept {
    if (PixmapStore* pixmaps = store()) pixmaps->destroy(handle_of(id));
}

void util_set_pixel(LWPixmapID id, int x, int y, void* pixel) noexcept {
    Pixmap* pixmap = pixmap_of(id);
    std::uint8_t* at = pixmap && pixel ? pixmap->pixel(x, y) : nullptr;
    if (at) std::memcpy(at, pixel, std::size_t(pixmap->pixel_bytes));
}

void util_get_pixel(LWPixmapID id, int x, int y, void* pixel) noexcept {
    Pixmap* pixmap = pixmap_of(id);
    std::uint8_t* at = pixmap && pixel ? pixmap->pixel(x, y) : nullptr;
    if (at) std::memcpy(pixel, at, std::size_t(pixmap->pixel_bytes));
}

void util_get_info(LWPixmapID id, int* w, int* h, int* type) noexcept {
    Pixmap* pixmap = pixmap_of(id);
    if (w) *w = pixmap ? pixmap->width : 0;
    if (h) *h = pixmap ? pixmap->height : 0;
    if (type) *type = pixmap ? int(pixmap->type) : 0;
}

LWPixmapID util_resample(LWPixmapID id, int w, int h, int) noexcept {
    PixmapStore* pixmaps = store();
    return pixmaps ? pixmap_id(pixmaps->resample(handle_of(id), w, h)) : nullptr;
}

int util_save(LWPixmapID id, int saver, const char* filename) noexcept {
    Pixmap* pixmap = pixmap_of(id);
    Host* host = Host::current();
    if (!pixmap || saver != 0 || !filename) return 1;
    try {
        int rc = save_pixmap_targa(*pixmap, filename);
        if (rc != TARGA_OK) host->note(std::string("Image Utility: cannot save ") + filename);
        return rc;
    } catch (...) {
        return TARGA_WRITE_FAILED;
    }
}

int util_saver_count() noexcept { return 1; }
const char* util_saver_name(int index) noexcept { return index == 0 ? kTargaSaver : nullptr; }

LWImageUtil g_image_util = {
    util_create,   util_destroy,  util_save,          util_set_pixel, util_get_pixel,
    util_get_info, util_resample, util_saver_count,   util_saver_name,
};

}  // namespace

namespace services {
void* image_list(Host&) { return &g_image_list; }
void* image_util(Host&) { return &g_image_util; }
}  // namespace services

}  // namespace lwhost
