// The normal an exporter writes for a corner of a polygon, as an array a
// test can index and compare.
#pragma once

#include <array>

#include "export_geometry.h"

inline std::array<double, 3> corner_normal(const ExportPolygon& polygon, int corner) {
    std::array<double, 3> normal{};
    export_corner_normal(polygon, polygon.corners[corner], normal.data());
    return normal;
}
