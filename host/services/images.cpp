// "LW Image List 3" over scene.images, and "Image Utility": in-memory pixel
// maps and the one saver, "Targa Format (.tga)" (targa.h).
//
// Image list: `load` adds an entry for the file name (its name is the part
// after the last '/'), or returns the entry that already has that file name;
// the file is not read, so a loaded image has size 0 x 0 until someone fills
// scene.images. Pixels are read from Image::rgb: `RGB` gives 0..1 per
// channel, `luma` 0.299 r + 0.587 g + 0.114 b, the spot functions the nearest
// pixel; outside the image everything reads 0. Images have no alpha
// (`hasAlpha` 0, `alpha` 1, opaque). `clear`, `needAA`, `sceneLoad`,
// `sceneSave` and `evaluate` do nothing (null).
//
// Image utility: `create` (w, h, type) makes a zeroed pixel map of any
// LWImageType but LWIMTYP_SPECIAL, each pixel as the type lays it out (RGB24
// three bytes r, g, b; GREY8/INDEX8 one byte; RGBA32 four bytes; GREYFP,
// RGBFP, RGBAFP one, three, four floats); null when w or h is below 1 or
// above 65535, or the map would pass 1 GiB. setPixel/getPixel copy one pixel
// and ignore coordinates outside the map. `resample` makes a new map of the
// same type by nearest neighbour. Maps live until `destroy` or until the host
// dies. `save` (map, 0, file) writes a Targa file from the map's colours
// (grey repeated, alpha dropped, floats clamped to 0..1 and rounded) and
// returns 0, or non-zero for a bad map or saver index, a null file name or a
// failed write (the target is then left as it was). Map handles carry a slot
// and a generation, so a destroyed or made-up handle is refused in O(1).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <lwimage.h>

#include "host.h"
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

// The pixel's three bytes, or null outside the image (or past a short buffer).
const std::uint8_t* image_pixel(const Image& image, int x, int y) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) return nullptr;
    std::size_t at = (std::size_t(y) * std::size_t(image.width) + std::size_t(x)) * 3;
    return at + 3 <= image.rgb.size() ? image.rgb.data() + at : nullptr;
}

double luma_of(const std::uint8_t* p) { return (0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]) / 255.0; }

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
        auto& images = host->scene.images;
        for (std::size_t i = 0; i < images.size(); ++i)
            if (images[i]->filename == filename) return image_id(int(i));
        std::string path(filename);
        std::size_t slash = path.find_last_of('/');
        std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        return image_id(host->scene.add_image(name, path, 0, 0));
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
    return p ? LWBufferValue(luma_of(p)) : 0.0f;
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
    if (!image || !std::isfinite(x) || !std::isfinite(y)) return nullptr;
    double rx = std::floor(x + 0.5), ry = std::floor(y + 0.5);
    if (rx < 0 || ry < 0 || rx >= image->width || ry >= image->height) return nullptr;
    return image_pixel(*image, int(rx), int(ry));
}

double list_luma_spot(LWImageID id, double x, double y, double, int) noexcept {
    const std::uint8_t* p = nearest_pixel(id, x, y);
    return p ? luma_of(p) : 0.0;
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

constexpr std::size_t kMaxPixmapBytes = std::size_t(1) << 30;
constexpr std::uintptr_t kPixmapKind = std::uintptr_t(0x86) << 56;
constexpr char kTargaSaver[] = "Targa Format (.tga)";

struct Pixmap {
    int width = 0, height = 0, type = LWIMTYP_RGB24, pixel_bytes = 3;
    std::vector<std::uint8_t> bytes;
};

struct PixmapSlot {
    std::unique_ptr<Pixmap> pixmap;
    std::uint32_t generation = 0;  // bumped at destroy, so old handles stop matching
};

struct PixmapTable {
    std::vector<PixmapSlot> slots;
    std::vector<std::uint32_t> free_slots;
};

// Handle: kind in bits 56-63, generation in bits 32-55, slot + 1 in bits 0-31.
LWPixmapID pixmap_id(std::uint32_t slot, std::uint32_t generation) {
    return reinterpret_cast<LWPixmapID>(kPixmapKind | (std::uintptr_t(generation & 0xFFFFFFu) << 32) |
                                        (std::uintptr_t(slot) + 1));
}

Pixmap* pixmap_of(LWPixmapID id, std::uint32_t* out_slot = nullptr) {
    std::uintptr_t handle = reinterpret_cast<std::uintptr_t>(id);
    if ((handle & (std::uintptr_t(0xFF) << 56)) != kPixmapKind) return nullptr;
    std::uint32_t low = std::uint32_t(handle & 0xFFFFFFFFu), generation = std::uint32_t((handle >> 32) & 0xFFFFFFu);
    Host* host = Host::current();
    if (!host || low == 0) return nullptr;
    try {
        auto& table = host->service_state<PixmapTable>("pixmaps");
        if (low > table.slots.size()) return nullptr;
        PixmapSlot& slot = table.slots[low - 1];
        if (!slot.pixmap || (slot.generation & 0xFFFFFFu) != generation) return nullptr;
        if (out_slot) *out_slot = low - 1;
        return slot.pixmap.get();
    } catch (...) {
        return nullptr;
    }
}

int pixel_bytes_of(int type) {
    switch (type) {
    case LWIMTYP_RGB24: return 3;
    case LWIMTYP_GREY8: case LWIMTYP_INDEX8: return 1;
    case LWIMTYP_RGBA32: return 4;
    case LWIMTYP_GREYFP: return int(sizeof(float));
    case LWIMTYP_RGBFP: return int(3 * sizeof(float));
    case LWIMTYP_RGBAFP: return int(4 * sizeof(float));
    default: return 0;
    }
}

LWPixmapID make_pixmap(int w, int h, int type) {
    int pixel_bytes = pixel_bytes_of(type);
    if (pixel_bytes == 0 || w < 1 || h < 1 || w > kTargaMaxSide || h > kTargaMaxSide) return nullptr;
    // Both sides are at most 65535, so the product fits in 64 bits; the cap
    // keeps a request from exhausting memory.
    std::size_t bytes = std::size_t(w) * std::size_t(h) * std::size_t(pixel_bytes);
    if (bytes > kMaxPixmapBytes) return nullptr;
    Host* host = Host::current();
    if (!host) return nullptr;
    try {
        auto pixmap = std::make_unique<Pixmap>();
        pixmap->width = w;
        pixmap->height = h;
        pixmap->type = type;
        pixmap->pixel_bytes = pixel_bytes;
        pixmap->bytes.assign(bytes, 0);
        auto& table = host->service_state<PixmapTable>("pixmaps");
        std::uint32_t slot;
        if (!table.free_slots.empty()) {
            slot = table.free_slots.back();
            table.free_slots.pop_back();
        } else {
            table.slots.emplace_back();
            slot = std::uint32_t(table.slots.size() - 1);
        }
        table.slots[slot].pixmap = std::move(pixmap);
        return pixmap_id(slot, table.slots[slot].generation);
    } catch (...) {
        return nullptr;
    }
}

LWPixmapID util_create(int w, int h, LWImageType type) noexcept { return make_pixmap(w, h, int(type)); }

void util_destroy(LWPixmapID id) noexcept {
    std::uint32_t slot;
    if (!pixmap_of(id, &slot)) return;
    try {
        auto& table = Host::current()->service_state<PixmapTable>("pixmaps");
        table.slots[slot].pixmap.reset();
        ++table.slots[slot].generation;
        table.free_slots.push_back(slot);
    } catch (...) {
    }
}

std::uint8_t* pixel_at(Pixmap& pixmap, int x, int y) {
    if (x < 0 || y < 0 || x >= pixmap.width || y >= pixmap.height) return nullptr;
    return pixmap.bytes.data() + (std::size_t(y) * std::size_t(pixmap.width) + std::size_t(x)) * std::size_t(pixmap.pixel_bytes);
}

void util_set_pixel(LWPixmapID id, int x, int y, void* pixel) noexcept {
    Pixmap* pixmap = pixmap_of(id);
    std::uint8_t* at = pixmap && pixel ? pixel_at(*pixmap, x, y) : nullptr;
    if (at) std::memcpy(at, pixel, std::size_t(pixmap->pixel_bytes));
}

void util_get_pixel(LWPixmapID id, int x, int y, void* pixel) noexcept {
    Pixmap* pixmap = pixmap_of(id);
    std::uint8_t* at = pixmap && pixel ? pixel_at(*pixmap, x, y) : nullptr;
    if (at) std::memcpy(pixel, at, std::size_t(pixmap->pixel_bytes));
}

void util_get_info(LWPixmapID id, int* w, int* h, int* type) noexcept {
    Pixmap* pixmap = pixmap_of(id);
    if (w) *w = pixmap ? pixmap->width : 0;
    if (h) *h = pixmap ? pixmap->height : 0;
    if (type) *type = pixmap ? pixmap->type : 0;
}

LWPixmapID util_resample(LWPixmapID id, int w, int h, int) noexcept {
    Pixmap* source = pixmap_of(id);
    if (!source) return nullptr;
    int width = source->width, height = source->height, type = source->type;
    LWPixmapID made = make_pixmap(w, h, type);
    Pixmap* target = pixmap_of(made);  // maps are heap objects: `source` stays valid
    if (!target) return nullptr;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            std::memcpy(pixel_at(*target, x, y),
                        pixel_at(*source, int(std::int64_t(x) * width / w), int(std::int64_t(y) * height / h)),
                        std::size_t(target->pixel_bytes));
    return made;
}

std::uint8_t float_byte(float value) {
    if (!(value > 0.0f)) return 0;
    if (value >= 1.0f) return 255;
    return std::uint8_t(value * 255.0f + 0.5f);
}

// The map's colours as RGB24 rows. Throws std::bad_alloc.
std::vector<std::uint8_t> rgb_of(const Pixmap& pixmap) {
    std::size_t count = std::size_t(pixmap.width) * std::size_t(pixmap.height);
    if (pixmap.type == LWIMTYP_RGB24) return pixmap.bytes;
    std::vector<std::uint8_t> rgb(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = pixmap.bytes.data() + i * std::size_t(pixmap.pixel_bytes);
        float f[4] = {0, 0, 0, 0};
        std::uint8_t* out = rgb.data() + i * 3;
        switch (pixmap.type) {
        case LWIMTYP_GREY8: case LWIMTYP_INDEX8:
            out[0] = out[1] = out[2] = p[0];
            break;
        case LWIMTYP_RGBA32:
            std::memcpy(out, p, 3);
            break;
        case LWIMTYP_GREYFP:
            std::memcpy(f, p, sizeof(float));
            out[0] = out[1] = out[2] = float_byte(f[0]);
            break;
        default:  // RGBFP, RGBAFP
            std::memcpy(f, p, 3 * sizeof(float));
            for (int c = 0; c < 3; ++c) out[c] = float_byte(f[c]);
            break;
        }
    }
    return rgb;
}

int util_save(LWPixmapID id, int saver, const char* filename) noexcept {
    Pixmap* pixmap = pixmap_of(id);
    Host* host = Host::current();
    if (!pixmap || saver != 0 || !filename) return 1;
    try {
        int rc = pixmap->type == LWIMTYP_RGB24
                     ? targa_save(filename, pixmap->width, pixmap->height, pixmap->bytes.data())
                     : targa_save(filename, pixmap->width, pixmap->height, rgb_of(*pixmap).data());
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
