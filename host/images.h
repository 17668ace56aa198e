// Pictures the host holds: reading the scene's images (Image, scene.h) pixel
// by pixel, and the pixel maps plug-ins make, fill and save.
//
// Scene images are RGB, three bytes a pixel; outside the image (or past a
// short buffer) there is no pixel.
//
// A pixel map has one of seven layouts (PixelType, numbered as the plug-in
// interface numbers its image types): RGB24 three bytes r, g, b; Grey8 and
// Index8 one byte; RGBA32 four bytes; GreyFP, RGBFP, RGBAFP one, three, four
// floats. Maps are zeroed when made, at most 65535 pixels a side and 1 GiB
// in all. They live in a PixmapStore (one per host) until destroyed or until
// the store goes. A map's handle carries a kind tag, its slot and the slot's
// generation, so a destroyed or made-up handle is refused in O(1).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scene.h"

namespace lwhost {

// --- scene images -------------------------------------------------------------

// The index of the image with that file name, or of a new entry for it named
// for the part after the last '/'. The file is not read: a new entry is
// 0 x 0 until someone fills it. Throws std::bad_alloc.
int find_or_add_image(Scene& scene, const std::string& filename);

// The pixel's three bytes, or null outside the image.
const std::uint8_t* image_pixel(const Image& image, int x, int y);
// The pixel nearest to (x, y) (rounded half up), or null outside the image
// or for a coordinate that is not finite.
const std::uint8_t* image_nearest_pixel(const Image& image, double x, double y);
// 0.299 r + 0.587 g + 0.114 b, on 0..1.
double pixel_luma(const std::uint8_t* rgb);

// --- pixel maps ---------------------------------------------------------------

enum class PixelType : int { RGB24 = 0, Grey8 = 1, Index8 = 2, GreyFP = 3, RGBFP = 4, RGBA32 = 5, RGBAFP = 6 };

// Bytes of one pixel of a type number, 0 for a number that is no PixelType.
int pixel_bytes_of(int type);

struct Pixmap {
    int width = 0, height = 0;
    PixelType type = PixelType::RGB24;
    int pixel_bytes = 3;
    std::vector<std::uint8_t> bytes;

    // The pixel's bytes, or null outside the map.
    std::uint8_t* pixel(int x, int y);
    // The map's colours as RGB24 rows: grey repeated, alpha dropped, floats
    // clamped to 0..1 and rounded. Throws std::bad_alloc.
    std::vector<std::uint8_t> rgb24() const;
};

class PixmapStore {
public:
    static constexpr std::size_t kMaxBytes = std::size_t(1) << 30;

    // A zeroed map; 0 for a type number that is no PixelType, a side below 1
    // or above 65535, a map past kMaxBytes, or no memory.
    std::uintptr_t create(int width, int height, int type) noexcept;
    // The map a handle names, or null.
    Pixmap* find(std::uintptr_t handle) noexcept;
    // Frees the map; an unknown handle is ignored.
    void destroy(std::uintptr_t handle) noexcept;
    // A new map of the same type and the given size, by nearest neighbour;
    // 0 when the source is unknown or the new map cannot be made.
    std::uintptr_t resample(std::uintptr_t handle, int width, int height) noexcept;

private:
    struct Slot {
        std::unique_ptr<Pixmap> pixmap;
        std::uint32_t generation = 0;  // bumped at destroy, so old handles stop matching
    };
    Slot* slot_of(std::uintptr_t handle);

    std::vector<Slot> slots_;
    std::vector<std::uint32_t> free_slots_;
};

// Writes the map as an uncompressed 24-bit Targa file (targa.h); returns a
// TargaResult. Throws std::bad_alloc.
int save_pixmap_targa(const Pixmap& pixmap, const char* filename);

}  // namespace lwhost
