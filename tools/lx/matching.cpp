#include "matching.h"

#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace lxtool {

namespace {

void show_progress(int done, int total) {
    constexpr int width = 40;
    int filled = total > 0 ? int(long(done) * width / total) : width;
    std::fprintf(stderr, "\rmatching laps [%s%s] %3d%%",
                 std::string(std::size_t(filled), '#').c_str(),
                 std::string(std::size_t(width - filled), '.').c_str(),
                 total > 0 ? int(long(done) * 100 / total) : 100);
}

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

void compute_error_channel(const Session& ref, int ref_lap, const Session& work) {
    if (!lx_beacon_setup(work.handle()))
        library_refused("cannot add the error and beacon channels");
    bool bar = isatty(STDERR_FILENO);
    int remaining = lx_compute_error_channel_step(1, ref.handle(), ref_lap, work.handle());
    int total = remaining + 1, shown = -1;
    while (remaining > 0) {
        int percent = int(long(total - remaining) * 100 / total);
        if (bar && percent != shown) {
            show_progress(total - remaining, total);
            shown = percent;
        }
        remaining = lx_compute_error_channel_step(0, ref.handle(), ref_lap, work.handle());
    }
    if (bar) {
        show_progress(total, total);
        std::fprintf(stderr, "\n");
    }
    if (remaining < 0) library_refused("cannot compute the error channel");
}

std::vector<Match> locate_laps(const Session& ref, int ref_lap, const Session& work) {
    if (lx_locate_laps(ref.handle(), ref_lap, work.handle()) < 0)
        library_refused("cannot locate laps");
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

Session cut_session(const Session& ref, int ref_lap, const Session& work, int mode,
                    float tolerance) {
    int handle = lx_new_session_from_beacons(ref.handle(), ref_lap, work.handle(), mode, tolerance);
    if (handle < 0) library_refused("cannot cut: a channel of lap matching is missing");
    if (handle == 0) library_refused("cannot build the cut session");
    return Session::adopt(handle, work.source + " (cut)");
}

std::string count_of(std::size_t n, const char* noun) {
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

} // namespace lxtool
