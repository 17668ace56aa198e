// The UV template's rasteriser: UV pairs to pixels, and lines of pixels set
// through the host's "Image Utility". Knows nothing about meshes or panels.
//
//   uv_to_pixel(size, u, v, out_pixel)
//       px = trunc(size * u + 0.5), py = size - trunc(size * v + 0.5),
//       computed in long double (x grows with u; v = 1 is row 0). Returns 1,
//       or 0 when u or v is not finite (such a pair has no pixel). Results
//       beyond +-UV_PIXEL_LIMIT are clamped to it.
//
//   draw_line(from, to, colour, canvas)
//       Sets the pixels of the integer Bresenham line from `from` to `to`,
//       both ends included: x dominant when |dx| > |dy|, y dominant otherwise
//       (also when |dx| = |dy|); a line of length zero is one pixel. Only the
//       pixels inside 0 .. size - 1 reach `setPixel`: the host's image ignores
//       the others anyway (u = 1 gives x = size), and skipping them keeps a
//       line to a far-off UV from walking millions of invisible pixels.
#pragma once

#include <lwimage.h>

// Pixel coordinates are clamped to this magnitude so that the line
// arithmetic (2 * |d| * step) stays inside 64 bits. Only UVs some hundred
// thousand image widths away are affected.
constexpr long long UV_PIXEL_LIMIT = 1LL << 30;

struct UvPixel {
    long long x;
    long long y;
};

// Three bytes red, green, blue: the layout of an LWIMTYP_RGB24 pixel.
struct UvColor {
    unsigned char rgb[3];
};

// Where lines go: a square image of `size` pixels made by `images->create`.
struct UvCanvas {
    const LWImageUtil* images;
    LWPixmapID image;
    int size;
};

int uv_to_pixel(int size, float u, float v, UvPixel& out_pixel) noexcept;
void draw_line(UvPixel from, UvPixel to, const UvColor& colour, const UvCanvas& canvas) noexcept;
