#include "smoothing.h"

SmoothingLimit smoothing_limit(double smoothing_angle) noexcept {
    const float limit = static_cast<float>(smoothing_angle);
    return SmoothingLimit{limit, std::cos(static_cast<double>(limit))};
}
