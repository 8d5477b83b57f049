// The time difference of a lap to the reference lap, share of length by share
// of length.
#include <algorithm>

#include "analytics/analytics.h"

namespace lx::analytics {

namespace {

// Seconds on the lap's own clock after a number of sample intervals.
double on_clock(const LapTrace& t, double intervals) {
    return intervals / t.rate * t.time_scale;
}

// Sample intervals from the lap's start to distance, which increases from
// call to call: segment is where the last call stopped.
double intervals_to(const LapTrace& t, double distance, int& segment) {
    while (segment + 1 < t.samples && t.position[segment + 1] <= distance) ++segment;
    double from = t.position[segment], span = t.position[segment + 1] - from;
    double part = span > 0.0 ? std::clamp((distance - from) / span, 0.0, 1.0) : 0.0;
    return segment + part;
}

} // namespace

std::vector<double> time_difference(const LapTrace& lap, const LapTrace& reference) {
    std::vector<double> diff(static_cast<std::size_t>(reference.samples) + 1);
    double share = lap.length() / reference.length();
    int segment = 0;
    for (int i = 0; i < reference.samples; ++i) {
        double at = reference.position[static_cast<std::size_t>(i)] * share;
        diff[static_cast<std::size_t>(i)] =
            on_clock(lap, intervals_to(lap, at, segment)) - on_clock(reference, i);
    }
    diff.back() = on_clock(lap, lap.samples) - on_clock(reference, reference.samples);
    return diff;
}

} // namespace lx::analytics
