// Sectors, the theoretical best and the optimal lap.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analytics/analytics.h"
#include "lx_data.h"

namespace lx::analytics {

namespace {

constexpr double CUT_STEP = 2.0;         // m between candidate cut places
constexpr int MIN_CUT_CELLS = 30;        // so that a short lap still has places to cut
constexpr int MAX_CUT_CELLS = 20000;     // pairs of them are tried: longer laps get longer cells
constexpr double MIN_STRAIGHT = 30.0;    // m: a shorter straight is the kink of an S-bend
constexpr double SECTOR_MIN_SHARE = 0.2; // of the reference lap's time
constexpr double SECTOR_MAX_SHARE = 0.5;
constexpr double EVENNESS_WEIGHT = 10.0; // against the place of the cuts on their straights

std::string metres(double d) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f m", d);
    return text;
}

bool on_straight(double at, const std::vector<Corner>& corners) {
    for (const Corner& k : corners)
        if (at >= k.entry && at <= k.exit) return false;
    return true;
}

// The lap boundaries of sector k on the reference.
double sector_start(const SectorTable& t, std::size_t k) {
    return k ? t.cuts[k - 1] : 0.0;
}

// How badly a cut would sit at each cell: on a straight (the averaged
// curvature below the exit threshold for at least MIN_STRAIGHT), 0 at its
// middle rising to 1 at its ends, so that the middle holds the cut where the
// sector times barely move it; elsewhere above 1, more the more it turns.
std::vector<double> misplacement(const std::vector<double>& curvature, double cell, double exit) {
    int n = static_cast<int>(curvature.size());
    std::vector<double> out(curvature.size());
    for (int i = 0; i < n; ++i) out[i] = 1.0 + curvature[i] / exit;
    for (int i = 0; i < n;) {
        int start = i;
        while (i < n && curvature[i] < exit) ++i;
        if (i == start) {
            ++i;
            continue;
        }
        double middle = 0.5 * (start + i), half = 0.5 * (i - start);
        if ((i - start) * cell < MIN_STRAIGHT) continue;
        for (int k = start; k < i; ++k) out[k] = std::fabs(k + 0.5 - middle) / half;
    }
    return out;
}

bool fair_share(double share) {
    return share >= SECTOR_MIN_SHARE && share <= SECTOR_MAX_SHARE;
}

double unevenness(double a, double b, double c) {
    double third = 1.0 / 3.0;
    return (a - third) * (a - third) + (b - third) * (b - third) + (c - third) * (c - third);
}

} // namespace

// Every pair of places that leaves each sector a fair share of the time,
// scored by how far each sits from the middle of a straight and how evenly
// they share it: a corner boundary that moves 10 m moves the score a little,
// where it could flip a ranking of straights by length.
Failure default_cuts(const std::vector<LapTrace>& full_laps, const LapTrace& reference,
                     const CornerOptions& options, std::vector<double>& cuts) {
    double length = reference.length(), total = reference.duration();
    int cells = cell_count(length, CUT_STEP, MIN_CUT_CELLS, MAX_CUT_CELLS);
    double cell = length / cells;
    std::vector<LapTrace> only_reference{reference};
    const std::vector<LapTrace>& laps = full_laps.empty() ? only_reference : full_laps;
    std::vector<double> curvature = averaged_curvature(laps, cells, options.min_speed);
    for (double& c : curvature) c = std::fabs(c);
    std::vector<double> bent = misplacement(curvature, cell, options.exit_curvature);
    std::vector<double> share(static_cast<std::size_t>(cells));
    for (int i = 0; i < cells; ++i) share[i] = reference.time_at((i + 0.5) * cell) / total;
    double best = INFINITY;
    for (int i = 0; i < cells; ++i) {
        if (!fair_share(share[i])) continue;
        for (int j = i + 1; j < cells; ++j) {
            double middle = share[j] - share[i], last = 1.0 - share[j];
            if (!fair_share(middle) || !fair_share(last)) continue;
            double score = bent[i] + bent[j] + EVENNESS_WEIGHT * unevenness(share[i], middle, last);
            if (score < best) {
                best = score;
                cuts = {(i + 0.5) * cell, (j + 0.5) * cell};
            }
        }
    }
    if (best == INFINITY)
        return {LX_ERR_STATE, "no two cuts leave each sector 20-50 % of the reference lap's time"};
    return {};
}

std::vector<double> carried_cuts(const std::vector<double>& cuts, double length_a, double length_b,
                                 double offset) {
    std::vector<double> out;
    if (!(length_a > 0.0) || !(length_b > 0.0) || !std::isfinite(offset)) return out;
    for (double cut : cuts) {
        double at = std::fmod(offset + cut * length_b / length_a, length_b);
        if (at < 0.0) at += length_b;
        if (std::isfinite(at) && at > 0.0) out.push_back(at);
    }
    std::sort(out.begin(), out.end());
    return out;
}

Failure default_cuts(const std::vector<Corner>& corners, double length, std::vector<double>& cuts) {
    (void)length;
    if (corners.size() < 3)
        return {LX_ERR_STATE, "the reference lap has " + std::to_string(corners.size()) +
                                  " corners, too few for default sectors: give them in metres"};
    std::vector<std::pair<double, double>> straights; // length, middle
    for (std::size_t k = 1; k < corners.size(); ++k) {
        double from = corners[k - 1].exit, to = corners[k].entry;
        straights.push_back({to - from, 0.5 * (from + to)});
    }
    std::sort(straights.begin(), straights.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    cuts = {straights[0].second, straights[1].second};
    std::sort(cuts.begin(), cuts.end());
    return {};
}

Failure check_cuts(const std::vector<double>& cuts, double length) {
    for (std::size_t k = 0; k < cuts.size(); ++k) {
        if (!std::isfinite(cuts[k]) || cuts[k] <= 0.0 || cuts[k] >= length)
            return {LX_ERR_ARGUMENT, "sector cut " + metres(cuts[k]) +
                                         " lies outside the reference lap (" + metres(length) +
                                         ")"};
        if (k && cuts[k] <= cuts[k - 1])
            return {LX_ERR_ARGUMENT, "sector cuts must increase: " + metres(cuts[k - 1]) +
                                         " then " + metres(cuts[k])};
    }
    return {};
}

std::vector<double> sector_times(const LapTrace& lap, const LapTrace& ref,
                                 const std::vector<double>& cuts) {
    double scale = lap.length() / ref.length();
    std::vector<double> times;
    double previous = 0.0;
    for (std::size_t k = 0; k <= cuts.size(); ++k) {
        double end = k < cuts.size() ? lap.time_at(cuts[k] * scale) : lap.duration();
        times.push_back(end - previous);
        previous = end;
    }
    return times;
}

SectorTable sector_table(const std::vector<LapTrace>& laps, const LapTrace& ref,
                         const std::vector<double>& cuts) {
    SectorTable table;
    table.length = ref.length();
    table.cuts = cuts;
    for (const LapTrace& lap : laps) {
        table.laps.push_back(lap.lap);
        table.times.push_back(sector_times(lap, ref, cuts));
        std::vector<double> speeds;
        double scale = lap.length() / ref.length();
        for (double cut : cuts) speeds.push_back(lap.speed_at(cut * scale));
        table.speed.push_back(speeds);
    }
    return table;
}

BestLap theoretical_best(const SectorTable& t) {
    BestLap best;
    if (t.laps.empty()) return best;
    for (std::size_t k = 0; k <= t.cuts.size(); ++k) {
        std::size_t pick = 0;
        for (std::size_t i = 1; i < t.laps.size(); ++i)
            if (t.times[i][k] < t.times[pick][k]) pick = i;
        double end = k < t.cuts.size() ? t.cuts[k] : t.length;
        best.pieces.push_back({sector_start(t, k), end, t.times[pick][k], t.laps[pick]});
        best.time += t.times[pick][k];
    }
    return best;
}

// Shortest path over (sector, lap): staying on a lap is always allowed,
// changing lap only where the cut allows it.
BestLap optimal_lap(const SectorTable& t, const std::vector<Corner>& corners, double tolerance) {
    BestLap best;
    std::size_t n = t.laps.size(), sectors = t.cuts.size() + 1;
    if (n == 0) return best;
    std::vector<std::vector<double>> cost(sectors, std::vector<double>(n));
    std::vector<std::vector<std::size_t>> from(sectors, std::vector<std::size_t>(n));
    for (std::size_t i = 0; i < n; ++i) cost[0][i] = t.times[i][0];
    for (std::size_t k = 1; k < sectors; ++k) {
        bool joinable = on_straight(t.cuts[k - 1], corners);
        for (std::size_t j = 0; j < n; ++j) {
            from[k][j] = j;
            double reach = cost[k - 1][j];
            for (std::size_t i = 0; joinable && i < n; ++i) {
                bool close = std::fabs(t.speed[i][k - 1] - t.speed[j][k - 1]) < tolerance;
                if (close && cost[k - 1][i] < reach) {
                    reach = cost[k - 1][i];
                    from[k][j] = i;
                }
            }
            cost[k][j] = reach + t.times[j][k];
        }
    }
    std::size_t at = static_cast<std::size_t>(
        std::min_element(cost.back().begin(), cost.back().end()) - cost.back().begin());
    best.time = cost.back()[at];
    for (std::size_t k = sectors; k-- > 0;) {
        double end = k + 1 < sectors ? t.cuts[k] : t.length;
        best.pieces.push_back({sector_start(t, k), end, t.times[at][k], t.laps[at]});
        at = from[k][at];
    }
    std::reverse(best.pieces.begin(), best.pieces.end());
    // Neighbouring pieces from one lap are one stretch driven.
    std::vector<Piece> joined;
    for (const Piece& p : best.pieces) {
        if (!joined.empty() && joined.back().lap == p.lap) {
            joined.back().end = p.end;
            joined.back().time += p.time;
        } else {
            joined.push_back(p);
        }
    }
    best.pieces = joined;
    return best;
}

} // namespace lx::analytics
