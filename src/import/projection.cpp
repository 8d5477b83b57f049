#include "import/projection.h"

#include <cmath>
#include <numbers>

namespace lx {

namespace {

// WGS-84, for metres per degree at the origin.
constexpr double EARTH_A = 6378137.0;
constexpr double EARTH_F = 1.0 / 298.257223563;
constexpr double RADIANS_PER_DEGREE = std::numbers::pi / 180.0;

} // namespace

Projection projection_at(double latitude) {
    double e2 = EARTH_F * (2.0 - EARTH_F);
    double s = std::sin(latitude * RADIANS_PER_DEGREE);
    double w = 1.0 - e2 * s * s;
    double prime_vertical = EARTH_A / std::sqrt(w);
    double meridian = EARTH_A * (1.0 - e2) / (w * std::sqrt(w));
    return {meridian * RADIANS_PER_DEGREE,
            prime_vertical * std::cos(latitude * RADIANS_PER_DEGREE) * RADIANS_PER_DEGREE};
}

} // namespace lx
