// Latitude and longitude to metres east and north of an origin, in double.
#pragma once

namespace lx {

struct Projection {
    double north_per_degree = 0, east_per_degree = 0;
};

// Metres per degree at this latitude on the WGS-84 ellipsoid.
Projection projection_at(double latitude);

} // namespace lx
