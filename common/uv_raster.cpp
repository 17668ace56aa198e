#include "uv_raster.h"

#include <algorithm>
#include <cmath>

namespace {

long long clamp_pixel(long double value) noexcept {
    if (value > static_cast<long double>(UV_PIXEL_LIMIT)) return UV_PIXEL_LIMIT;
    if (value < -static_cast<long double>(UV_PIXEL_LIMIT)) return -UV_PIXEL_LIMIT;
    return static_cast<long long>(value);
}

long long clamp_pixel(long long value) noexcept {
    return std::clamp(value, -UV_PIXEL_LIMIT, UV_PIXEL_LIMIT);
}

void set_pixel(const UvCanvas& canvas, long long x, long long y, const UvColor& colour) noexcept {
    if (x < 0 || y < 0 || x >= canvas.size || y >= canvas.size) return;
    unsigned char pixel[3] = {colour.rgb[0], colour.rgb[1], colour.rgb[2]};
    canvas.images->setPixel(canvas.image, static_cast<int>(x), static_cast<int>(y), pixel);
}

}  // namespace

int uv_to_pixel(int size, float u, float v, UvPixel& out_pixel) noexcept {
    if (!std::isfinite(u) || !std::isfinite(v)) return 0;
    // Extended precision: size * u is exact there, so the + 0.5 rounding
    // never picks up an error from the product.
    const long double side = size;
    const long double x = std::trunc(side * u + 0.5L);
    const long double y = side - std::trunc(side * v + 0.5L);
    out_pixel.x = clamp_pixel(x);
    out_pixel.y = clamp_pixel(y);
    return 1;
}

// The incremental loop starts with d = 2 * minor - major and takes a minor
// step whenever d >= 0 before a major step; after i major steps it has taken
// floor((2 * minor * i + major) / (2 * major)) minor steps. Computing that
// count directly gives the same pixels and lets the walk start and stop at
// the image's edges.
void draw_line(UvPixel from, UvPixel to, const UvColor& colour, const UvCanvas& canvas) noexcept {
    if (!canvas.images || !canvas.images->setPixel || !canvas.image || canvas.size <= 0) return;
    from = {clamp_pixel(from.x), clamp_pixel(from.y)};
    to = {clamp_pixel(to.x), clamp_pixel(to.y)};

    const long long dx = to.x >= from.x ? to.x - from.x : from.x - to.x;
    const long long dy = to.y >= from.y ? to.y - from.y : from.y - to.y;
    const long long sx = to.x < from.x ? -1 : 1;
    const long long sy = to.y < from.y ? -1 : 1;
    // x dominant only when strictly longer in x: a diagonal walks along y.
    const bool x_major = dx > dy;
    const long long major = x_major ? dx : dy;
    const long long minor = x_major ? dy : dx;
    const long long major_start = x_major ? from.x : from.y;
    const long long minor_start = x_major ? from.y : from.x;
    const long long major_step = x_major ? sx : sy;
    const long long minor_step = x_major ? sy : sx;

    if (major == 0) {
        set_pixel(canvas, from.x, from.y, colour);
        return;
    }
    // Steps whose major coordinate lies inside 0 .. size - 1.
    const long long last_pixel = canvas.size - 1;
    long long first = 0;
    long long last = major;
    if (major_step > 0) {
        first = std::max(first, -major_start);
        last = std::min(last, last_pixel - major_start);
    } else {
        first = std::max(first, major_start - last_pixel);
        last = std::min(last, major_start);
    }
    // Unsigned: with both spans at most 2^31, 2 * minor * i + major < 2^64.
    const unsigned long long twice_major = 2ULL * static_cast<unsigned long long>(major);
    for (long long i = first; i <= last; ++i) {
        const unsigned long long minor_steps =
            (2ULL * static_cast<unsigned long long>(minor) * static_cast<unsigned long long>(i) +
             static_cast<unsigned long long>(major)) /
            twice_major;
        const long long along = major_start + major_step * i;
        const long long across = minor_start + minor_step * static_cast<long long>(minor_steps);
        if (x_major)
            set_pixel(canvas, along, across, colour);
        else
            set_pixel(canvas, across, along, colour);
    }
}
