// smoothing: the rule both mesh exporters smooth normals by, so that they
// smooth alike.
//
//   smoothing_limit(smoothing_angle)
//       The limit for a surface's smoothing angle (radians).
//
//   within_smoothing_angle(dot, limit)
//       Whether another face bends away from this one by no more than the
//       angle: the arc cosine of the dot product of the two normals rounded
//       to float, compared in float with the angle rounded to float. A dot
//       product that rounding pushed past +-1 has no arc cosine and counts
//       as within; a NaN does not.
//
//   SmoothingLimitCache::of(surface)
//       The limit of the surface's smoothing angle, taken again only when
//       the surface differs from the one asked for last: runs of polygons
//       share a surface, and its cosine need not be taken for each.
#pragma once

#include <cmath>

#include "surface_shading.h"

struct SmoothingLimit {
    float limit;    // the angle, rounded to float
    double cosine;  // of `limit`
};

SmoothingLimit smoothing_limit(double smoothing_angle) noexcept;

// acos is only needed near the limit: outside a margin around cos(limit) the
// order of the dot products decides with the same result, since acos falls
// monotonically and the margin (1e-6 in the cosine, at least as much in the
// angle) is far wider than any rounding of the two sides. Inline: it runs for
// every pair of faces at a point.
inline bool within_smoothing_angle(float dot, const SmoothingLimit& limit) noexcept {
    if (dot > 1.0f || dot < -1.0f) return true;
    constexpr double MARGIN = 1e-6;
    if (dot > limit.cosine + MARGIN) return true;
    if (dot < limit.cosine - MARGIN) return false;
    const float angle = static_cast<float>(std::acos(static_cast<double>(dot)));
    return angle <= limit.limit;  // false for a NaN dot
}

class SmoothingLimitCache {
public:
    const SmoothingLimit& of(const ExportSurface& wanted) noexcept {
        if (&wanted != surface_) {
            surface_ = &wanted;
            limit_ = smoothing_limit(wanted.smoothing_angle);
        }
        return limit_;
    }

private:
    const ExportSurface* surface_ = nullptr;
    SmoothingLimit limit_{};
};
