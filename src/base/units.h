// Unit factors shared by the subsystems, each defined here and nowhere else.
#pragma once

namespace lx {

constexpr double G = 9.8081;           // m/s^2 in one g
constexpr double MS_PER_MPH = 0.44704; // m/s in one mile per hour
constexpr double KMH_PER_MS = 3.6;     // km/h in one m/s
constexpr double KMH_PER_MPH = 1.609344;
constexpr double FEET_PER_METRE = 3.2808399;
constexpr double MS_PER_SECOND = 1000.0; // milliseconds: loggers state lap times in them

constexpr float MPH_TO_MS = static_cast<float>(MS_PER_MPH);
constexpr float KMH_TO_MS = static_cast<float>(1.0 / KMH_PER_MS);
constexpr float MS2_TO_G = static_cast<float>(1.0 / G);
constexpr float MS_TO_MPH = static_cast<float>(1.0 / MS_PER_MPH); // MoTeC speed scale

} // namespace lx
