#include "images.h"

#include <cmath>
#include <cstring>
#include <new>

#include "targa.h"

namespace lwhost {

// --- scene images -------------------------------------------------------------

int find_or_add_image(Scene& scene, const std::string& filename) {
    for (std::size_t i = 0; i < scene.images.size(); ++i)
        if (scene.images[i]->filename == filename) return int(i);
    std::size_t slash = filename.find_last_of('/');
    std::string name = slash == std::string::npos ? filename : filename.substr(slash + 1);
    return scene.add_image(name, filename, 0, 0);
}

const std::uint8_t* image_pixel(const Image& image, int x, int y) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) return nullptr;
    std::size_t at = (std::size_t(y) * std::size_t(image.width) + std::size_t(x)) * 3;
    return at + 3 <= image.rgb.size() ? image.rgb.data() + at : nullptr;
}

const std::uint8_t* image_nearest_pixel(const Image& image, double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y)) return nullptr;
    double rx = std::floor(x + 0.5), ry = std::floor(y + 0.5);
    if (rx < 0 || ry < 0 || rx >= image.width || ry >= image.height) return nullptr;
    return image_pixel(image, int(rx), int(ry));
}

double pixel_luma(const std::uint8_t* p) { return (0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]) / 255.0; }

// --- pixel maps ---------------------------------------------------------------

namespace {

constexpr std::uintptr_t kPixmapKind = std::uintptr_t(0x86) << 56;

// Handle: kind in bits 56-63, generation in bits 32-55, slot + 1 in bits 0-31.
std::uintptr_t pixmap_handle(std::uint32_t slot, std::uint32_t generation) {
    return kPixmapKind | (std::uintptr_t(generation & 0xFFFFFFu) << 32) | (std::uintptr_t(slot) + 1);
}

std::uint8_t float_byte(float value) {
    if (!(value > 0.0f)) return 0;
    if (value >= 1.0f) return 255;
    return std::uint8_t(value * 255.0f + 0.5f);
}

}  // namespace

int pixel_bytes_of(int type) {
    switch (PixelType(type)) {
    case PixelType::RGB24: return 3;
    case PixelType::Grey8: case PixelType::Index8: return 1;
    case PixelType::RGBA32: return 4;
    case PixelType::GreyFP: return int(sizeof(float));
    case PixelType::RGBFP: return int(3 * sizeof(float));
    case PixelType::RGBAFP: return int(4 * sizeof(float));
    }
    return 0;
}

std::uint8_t* Pixmap::pixel(int x, int y) {
    if (x < 0 || y < 0 || x >= width || y >= height) return nullptr;
    return bytes.data() + (std::size_t(y) * std::size_t(width) + std::size_t(x)) * std::size_t(pixel_bytes);
}

std::vector<std::uint8_t> Pixmap::rgb24() const {
    if (type == PixelType::RGB24) return bytes;
    std::size_t count = std::size_t(width) * std::size_t(height);
    std::vector<std::uint8_t> rgb(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = bytes.data() + i * std::size_t(pixel_bytes);
        float f[4] = {0, 0, 0, 0};
        std::uint8_t* out = rgb.data() + i * 3;
        switch (type) {
        case PixelType::Grey8: case PixelType::Index8:
            out[0] = out[1] = out[2] = p[0];
            break;
        case PixelType::RGBA32:
            std::memcpy(out, p, 3);
            break;
        case PixelType::GreyFP:
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

std::uintptr_t PixmapStore::create(int w, int h, int type) noexcept {
    int pixel_bytes = pixel_bytes_of(type);
    if (pixel_bytes == 0 || w < 1 || h < 1 || w > kTargaMaxSide || h > kTargaMaxSide) return 0;
    // Both sides are at most 65535, so the product fits in 64 bits; the cap
    // keeps a request from exhausting memory.
    std::size_t bytes = std::size_t(w) * std::size_t(h) * std::size_t(pixel_bytes);
    if (bytes > kMaxBytes) return 0;
    try {
        auto pixmap = std::make_unique<Pixmap>();
        pixmap->width = w;
        pixmap->height = h;
        pixmap->type = PixelType(type);
        pixmap->pixel_bytes = pixel_bytes;
        pixmap->bytes.assign(bytes, 0);
        std::uint32_t slot;
        if (!free_slots_.empty()) {
            slot = free_slots_.back();
            free_slots_.pop_back();
        } else {
            slots_.emplace_back();
            slot = std::uint32_t(slots_.size() - 1);
        }
        slots_[slot].pixmap = std::move(pixmap);
        return pixmap_handle(slot, slots_[slot].generation);
    } catch (...) {
        return 0;
    }
}

PixmapStore::Slot* PixmapStore::slot_of(std::uintptr_t handle) {
    if ((handle & (std::uintptr_t(0xFF) << 56)) != kPixmapKind) return nullptr;
    std::uint32_t low = std::uint32_t(handle & 0xFFFFFFFFu), generation = std::uint32_t((handle >> 32) & 0xFFFFFFu);
    if (low == 0 || low > slots_.size()) return nullptr;
    Slot& slot = slots_[low - 1];
    if (!slot.pixmap || (slot.generation & 0xFFFFFFu) != generation) return nullptr;
    return &slot;
}

Pixmap* PixmapStore::find(std::uintptr_t handle) noexcept {
    Slot* slot = slot_of(handle);
    return slot ? slot->pixmap.get() : nullptr;
}

void PixmapStore::destroy(std::uintptr_t handle) noexcept {
    Slot* slot = slot_of(handle);
    if (!slot) return;
    try {
        // Room first, so a failure leaves the map in place rather than a slot lost.
        free_slots_.reserve(free_slots_.size() + 1);
    } catch (...) {
        return;
    }
    slot->pixmap.reset();
    ++slot->generation;
    free_slots_.push_back(std::uint32_t(slot - slots_.data()));
}

std::uintptr_t PixmapStore::resample(std::uintptr_t handle, int w, int h) noexcept {
    Pixmap* source = find(handle);
    if (!source) return 0;
    int width = source->width, height = source->height;
    std::uintptr_t made = create(w, h, int(source->type));
    Pixmap* target = find(made);  // maps are heap objects: `source` stays valid
    if (!target) return 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            std::memcpy(target->pixel(x, y),
                        source->pixel(int(std::int64_t(x) * width / w), int(std::int64_t(y) * height / h)),
                        std::size_t(target->pixel_bytes));
    return made;
}

int save_pixmap_targa(const Pixmap& pixmap, const char* filename) {
    if (pixmap.type == PixelType::RGB24) return targa_save(filename, pixmap.width, pixmap.height, pixmap.bytes.data());
    return targa_save(filename, pixmap.width, pixmap.height, pixmap.rgb24().data());
}

}  // namespace lwhost
