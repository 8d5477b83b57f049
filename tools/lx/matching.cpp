#include "matching.h"

#include <cmath>
#include <cstdio>

namespace lxtool {

namespace {

// The beacons lie between the logger's laps: where each lap after the first starts.
std::vector<double> beacon_positions(const Session& s) {
    std::vector<double> at;
    double start = 0;
    for (int lap = 0; lap < s.laps(); ++lap) {
        if (lap > 0) at.push_back(start);
        start += lap_info(s, lap).length;
    }
    return at;
}

double from_nearest(const std::vector<double>& beacons, double at) {
    double nearest = HUGE_VAL;
    for (double b : beacons)
        if (std::fabs(at - b) < std::fabs(nearest)) nearest = at - b;
    return nearest;
}

// The beacon channel: 1 at each lap start that matching found; 0 when none.
int beacon_channel(const Session& s) {
    return s.info().beacon_channel;
}

} // namespace

bool Match::near_beacon() const {
    return std::fabs(from_beacon) <= BEACON_TOLERANCE;
}

std::vector<Match> marked_matches(const Session& work) {
    int beacon = beacon_channel(work);
    int distance = derived_channel(work, LX_CHANNEL_DISTANCE);
    std::vector<double> beacons = beacon_positions(work);
    std::vector<Match> matches;
    double lap_start = 0;
    for (int lap = 0; lap < work.laps() && beacon > 0; ++lap) {
        int number = lap_info(work, lap).number;
        std::vector<float> marks = lap_samples(work, lap, beacon);
        std::vector<float> metres = lap_samples(work, lap, distance);
        for (std::size_t p = 0; p < marks.size() && p < metres.size(); ++p)
            if (marks[p] > 0.5f)
                matches.push_back(
                    {lap, int(p), number, metres[p], from_nearest(beacons, lap_start + metres[p])});
        lap_start += lap_info(work, lap).length;
    }
    return matches;
}

Session match_and_cut(const Session& ref, int ref_lap, const Session& work, int mode,
                      float tolerance) {
    lx_match_options options{0, mode, tolerance};
    int handle = lx_cut_session(ref.handle(), ref_lap, work.handle(), &options);
    if (handle < 0) library_refused("cannot cut");
    return Session::adopt(handle, work.source + " (cut)");
}

} // namespace lxtool
