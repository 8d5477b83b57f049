#include "matching.h"

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

} // namespace

void compute_error_channel(const Session& ref, int ref_lap, const Session& work) {
    if (!lx_beacon_setup(work.handle()))
        refuse("the library could not add the error and beacon channels");
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
    if (remaining < 0) refuse("the library could not compute the error channel");
}

std::vector<Match> locate_laps(const Session& ref, int ref_lap, const Session& work) {
    int found = lx_locate_laps(ref.handle(), ref_lap, work.handle());
    if (found < 0) refuse("the library could not locate laps");
    // The marks live in the newest "i_beacon" channel: 1 at each lap start.
    int beacon = -1;
    for (int c = 0; c < work.channels(); ++c)
        if (channel_name(work, c) == "i_beacon") beacon = c;
    std::vector<Match> matches;
    int distance = lx_channel_number(work.handle(), 0);
    for (int lap = 0; lap < work.laps() && beacon > 0; ++lap) {
        LapSamples samples = read_lap(work, lap);
        const std::vector<double>& marks = samples.channel(beacon);
        for (int p = 0; p < samples.npoints; ++p)
            if (marks[std::size_t(p)] > 0.5)
                matches.push_back({lap, p, samples.channel(distance)[std::size_t(p)]});
    }
    return matches;
}

Session cut_session(const Session& ref, int ref_lap, const Session& work, int mode,
                    float tolerance) {
    int handle = lx_new_session_from_beacons(ref.handle(), ref_lap, work.handle(), mode, tolerance);
    if (handle < 0) refuse("the library is missing a channel for cutting (lap matching not run)");
    if (handle == 0) refuse("the library could not build the cut session");
    Session cut = Session::adopt(handle);
    cut.source = work.source + " (cut)";
    return cut;
}

} // namespace lxtool
