#include "analytics.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace lxtool {

namespace {

constexpr int MAX_CORNERS = 256;

} // namespace

std::vector<lx_corner> lap_corners(const Session& ref, int ref_lap, const Session& s, int lap,
                                   const lx_corner_options& o) {
    std::vector<lx_corner> out(MAX_CORNERS);
    int n = lx_lap_corners(ref.handle(), ref_lap, s.handle(), lap, &o, out.data(), MAX_CORNERS);
    if (n < 0) refuse(lx_last_error());
    out.resize(std::size_t(std::min(n, MAX_CORNERS)));
    return out;
}

std::vector<lx_stretch> lap_stretches(const Session& ref, int ref_lap, const Session& s, int lap,
                                      const lx_corner_options& o) {
    std::vector<lx_stretch> out(2 * MAX_CORNERS + 1);
    int n =
        lx_lap_stretches(ref.handle(), ref_lap, s.handle(), lap, &o, out.data(), int(out.size()));
    if (n < 0) refuse(lx_last_error());
    out.resize(std::size_t(std::min<int>(n, int(out.size()))));
    return out;
}

const char* hand(int direction) {
    return direction > 0 ? "right" : "left";
}

std::vector<int> full_laps(const Session& s) {
    std::vector<int> laps;
    int bounded = s.laps() > 2 ? 1 : 0;
    for (int lap = bounded; lap < s.laps() - bounded; ++lap)
        if (lap_info(s, lap).lap_class == LX_LAP_FULL) laps.push_back(lap);
    return laps;
}

int resolved_reference(const Session& s, int ref_lap, const lx_corner_options& o) {
    if (ref_lap >= 0) return ref_lap;
    std::vector<int> laps = full_laps(s);
    if (laps.empty()) refuse(s.source + ": no full lap to take as the reference");
    auto samples = [&](int lap) { return lap_info(s, lap).samples; };
    int best = *std::min_element(laps.begin(), laps.end(),
                                 [&](int a, int b) { return samples(a) < samples(b); });
    lap_corners(s, -1, s, best, o); // refuses, naming why, when the library cannot use it
    return best;
}

std::vector<double> lap_distances(const Session& s, int lap) {
    std::vector<double> at;
    double sum = 0;
    for (float step : lap_samples(s, lap, derived_channel(s, LX_CHANNEL_SEGMENT_LENGTH))) {
        at.push_back(sum);
        sum += step;
    }
    return at;
}

CornerTable corner_table(const Session& s, int ref, const lx_corner_options& o) {
    CornerTable t;
    t.reference = lap_corners(s, ref, s, ref, o);
    t.laps = full_laps(s);
    for (int lap : t.laps) t.stretches.push_back(lap_stretches(s, ref, s, lap, o));
    for (const lx_corner& c : t.reference) {
        CornerSummary sum{c};
        for (std::size_t i = 0; i < t.laps.size(); ++i) {
            const lx_stretch& st = t.stretches[i][std::size_t(2 * c.number - 1)];
            if (sum.best_lap == 0 || st.min_speed > sum.best_min)
                sum.best_min = st.min_speed, sum.best_lap = t.laps[i] + 1;
            if (sum.lost_lap == 0 || st.gain > sum.most_lost)
                sum.most_lost = st.gain, sum.lost_lap = t.laps[i] + 1;
        }
        t.corners.push_back(sum);
    }
    return t;
}

SectorTable sector_table(const Session& s, int ref, std::vector<double> cuts, double tolerance,
                         const lx_corner_options& o) {
    SectorTable t;
    if (cuts.empty()) {
        cuts.resize(2);
        if (lx_sector_cuts(s.handle(), ref, &o, cuts.data(), 2) < 0) refuse(lx_last_error());
    }
    t.cuts = cuts;
    int n = int(cuts.size());
    t.theory.resize(std::size_t(n + 1));
    t.optimal.resize(std::size_t(n + 1));
    if (lx_theoretical_best(s.handle(), ref, cuts.data(), n, &t.theory_time, t.theory.data(),
                            n + 1) < 0)
        refuse(lx_last_error());
    int pieces = lx_optimal_lap(s.handle(), ref, cuts.data(), n, tolerance, &o, &t.optimal_time,
                                t.optimal.data(), n + 1);
    if (pieces < 0) refuse(lx_last_error());
    t.optimal.resize(std::size_t(pieces));
    for (int lap : full_laps(s)) {
        SectorRow row{lap, std::vector<double>(std::size_t(n + 1))};
        // a lap the library cannot time is in none of the best laps either
        if (lx_sector_times(s.handle(), ref, s.handle(), lap, cuts.data(), n, row.times.data(),
                            n + 1) >= 0)
            t.rows.push_back(row);
    }
    return t;
}

std::string pieces_text(const std::vector<lx_piece>& pieces) {
    std::ostringstream text;
    for (std::size_t i = 0; i < pieces.size(); ++i)
        text << (i ? ", " : "") << std::lround(pieces[i].start) << "-" << std::lround(pieces[i].end)
             << " m lap " << pieces[i].lap + 1;
    return text.str();
}

} // namespace lxtool
