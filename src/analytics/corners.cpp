// Corners from the curvature channel, paired across laps, and the time each
// corner and straight gains against a reference lap.
#include <algorithm>
#include <cmath>

#include "analytics/analytics.h"
#include "lx_data.h"

namespace lx::analytics {

namespace {

constexpr double SMOOTHING_SECONDS = 0.25; // noise in the lateral g shows in single samples
constexpr double CURVATURE_CAP = 200.0;    // radius 5 m: beyond it a sample is noise
constexpr double PAIRING_MARGIN = 20.0;    // m either side of a reference corner
constexpr double SPLIT_STEP = 1.0;         // m between averaged curvature values
constexpr int MAX_SPLIT_CELLS = 100000;
constexpr double SPLIT_REACH = 10.0; // m either side of an averaged split: laps differ

} // namespace

std::vector<double> smoothed_curvature(const LapTrace& t, double min_speed) {
    int n = t.samples;
    std::vector<double> gated(static_cast<std::size_t>(n), 0.0);
    for (int j = 0; j < n; ++j) {
        double c = t.curvature[j];
        if (t.speed[j] >= min_speed && std::isfinite(c))
            gated[j] = std::clamp(c, -CURVATURE_CAP, CURVATURE_CAP);
    }
    int half = static_cast<int>(std::lround(t.rate * SMOOTHING_SECONDS / 2.0));
    // Running sums keep this linear in the samples: the analysis smooths every lap.
    std::vector<double> sum(gated.size() + 1, 0.0);
    for (int j = 0; j < n; ++j) sum[j + 1] = sum[j] + gated[j];
    std::vector<double> out(gated.size());
    for (int j = 0; j < n; ++j) {
        int lo = std::max(0, j - half), hi = std::min(n - 1, j + half);
        out[j] = (sum[hi + 1] - sum[lo]) / (hi - lo + 1);
    }
    return out;
}

namespace {

// Where the curvature crosses level between samples j - 1 and j.
double crossing(const LapTrace& t, const std::vector<double>& c, int j, double level) {
    if (j <= 0) return t.position[0];
    double a = c[j - 1], b = c[j];
    double f = b != a ? std::clamp((level - a) / (b - a), 0.0, 1.0) : 0.0;
    return t.position[j - 1] + f * (t.position[j] - t.position[j - 1]);
}

// Samples [start, end) of one hand above the exit threshold.
struct Run {
    int hand, start, end;
};

std::vector<Run> runs_above(const std::vector<double>& c, double level) {
    std::vector<Run> runs;
    int n = static_cast<int>(c.size());
    for (int j = 0; j < n;) {
        int hand = c[j] > level ? 1 : c[j] < -level ? -1 : 0;
        int start = j;
        while (j < n && hand != 0 && hand * c[j] > level) ++j;
        if (hand != 0)
            runs.push_back({hand, start, j});
        else
            ++j;
    }
    return runs;
}

double run_entry(const LapTrace& t, const std::vector<double>& c, const Run& r, double level) {
    return crossing(t, c, r.start, r.hand * level);
}

double run_exit(const LapTrace& t, const std::vector<double>& c, const Run& r, double level) {
    return r.end < t.samples ? crossing(t, c, r.end, r.hand * level) : t.length();
}

// Runs of one hand closer than the merge gap make one stretch, so that a
// shoulder joins its corner.
std::vector<Run> merged(const LapTrace& t, const std::vector<double>& c, const CornerOptions& o) {
    std::vector<Run> out;
    for (const Run& r : runs_above(c, o.exit_curvature)) {
        if (!out.empty() && out.back().hand == r.hand &&
            run_entry(t, c, r, o.exit_curvature) - run_exit(t, c, out.back(), o.exit_curvature) <
                o.merge_gap) {
            out.back().end = r.end;
            continue;
        }
        out.push_back(r);
    }
    return out;
}

// Between two stretches that reach the entry threshold, the lowest sample,
// where it falls below twice the exit threshold: two corners meet there.
std::vector<int> dips(const std::vector<double>& c, const Run& r, const CornerOptions& o) {
    std::vector<int> found;
    int high = -1, low = -1;
    for (int j = r.start; j < r.end; ++j) {
        double v = r.hand * c[j];
        if (v >= o.enter_curvature) {
            if (high >= 0 && low >= 0 && r.hand * c[low] < 2.0 * o.exit_curvature)
                found.push_back(low);
            high = j;
            low = -1;
        } else if (high >= 0 && (low < 0 || v < r.hand * c[low])) {
            low = j;
        }
    }
    return found;
}

int highest(const std::vector<double>& c, int hand, int from, int to) {
    int peak = from;
    for (int j = from; j < to; ++j)
        if (hand * c[j] > hand * c[peak]) peak = j;
    return peak;
}

// The splits of a stretch that leave pieces long enough for a corner, each
// with a peak of its own above the entry threshold.
std::vector<int> kept_splits(const LapTrace& t, const std::vector<double>& c, const Run& r,
                             const CornerOptions& o, const std::vector<int>& at) {
    auto peaked = [&](int from, int to) {
        return from < to && r.hand * c[highest(c, r.hand, from, to)] >= o.enter_curvature;
    };
    std::vector<int> kept;
    double from = run_entry(t, c, r, o.exit_curvature);
    int start = r.start;
    for (std::size_t i = 0; i < at.size(); ++i) {
        int next = i + 1 < at.size() ? at[i + 1] : r.end;
        double here = t.position[at[i]];
        double end = next == r.end ? run_exit(t, c, r, o.exit_curvature) : t.position[next];
        if (here - from >= o.min_length && end - here >= o.min_length && peaked(start, at[i]) &&
            peaked(at[i], next)) {
            kept.push_back(at[i]);
            from = here;
            start = at[i];
        }
    }
    return kept;
}

// Within SPLIT_REACH of each place given as a share of the lap's length, the
// lowest sample of the stretch.
std::vector<int> guided_splits(const LapTrace& t, const std::vector<double>& c, const Run& r,
                               const std::vector<double>& shares) {
    std::vector<int> at;
    for (double share : shares) {
        double x = share * t.length();
        int low = -1;
        for (int j = r.start; j < r.end; ++j)
            if (std::fabs(t.position[j] - x) <= SPLIT_REACH &&
                (low < 0 || r.hand * c[j] < r.hand * c[low]))
                low = j;
        if (low >= 0 && (at.empty() || low > at.back())) at.push_back(low);
    }
    return at;
}

// A stretch cut into corners at its splits; one that never reaches the entry
// threshold is no corner.
void split_into(const LapTrace& t, const std::vector<double>& c, const Run& r,
                const CornerOptions& o, const std::vector<int>& splits, std::vector<Corner>& out) {
    std::vector<int> ends = kept_splits(t, c, r, o, splits);
    ends.push_back(r.end);
    int start = r.start;
    for (int end : ends) {
        int peak = highest(c, r.hand, start, end);
        Corner k;
        k.direction = r.hand;
        k.apex = t.position[peak];
        k.peak_curvature = r.hand * c[peak];
        k.entry = start == r.start ? run_entry(t, c, r, o.exit_curvature) : t.position[start];
        k.exit = end == r.end ? run_exit(t, c, r, o.exit_curvature) : t.position[end];
        if (k.peak_curvature >= o.enter_curvature) out.push_back(k);
        start = end;
    }
}

bool bad(double v) {
    return !std::isfinite(v) || v < 0.0;
}

} // namespace

Failure complete_options(CornerOptions& o) {
    CornerOptions d;
    for (auto [value, fallback] : {std::pair{&o.enter_curvature, d.enter_curvature},
                                   {&o.exit_curvature, d.exit_curvature},
                                   {&o.min_speed, d.min_speed},
                                   {&o.min_length, d.min_length},
                                   {&o.merge_gap, d.merge_gap}}) {
        if (bad(*value)) return {LX_ERR_ARGUMENT, "corner options must be numbers >= 0"};
        if (*value == 0.0) *value = fallback;
    }
    if (o.exit_curvature > o.enter_curvature)
        return {LX_ERR_ARGUMENT, "the corner exit curvature lies above the entry curvature"};
    return {};
}

std::vector<double> averaged_curvature(const std::vector<LapTrace>& laps, int cells,
                                       double min_speed) {
    std::vector<double> sum(static_cast<std::size_t>(std::max(cells, 0)), 0.0);
    for (const LapTrace& lap : laps) {
        std::vector<double> c = smoothed_curvature(lap, min_speed);
        int j = 0; // the cells walk the lap in order: the last sample at or before each
        for (int i = 0; i < cells; ++i) {
            double at = (i + 0.5) * lap.length() / cells;
            while (j + 1 < lap.samples && lap.position[j + 1] <= at) ++j;
            sum[i] += c[j];
        }
    }
    for (double& v : sum) v /= static_cast<double>(std::max<std::size_t>(laps.size(), 1));
    return sum;
}

std::vector<double> split_shares(const std::vector<LapTrace>& laps, const CornerOptions& o) {
    double length = 0.0;
    for (const LapTrace& lap : laps) length += lap.length() / static_cast<double>(laps.size());
    int cells = cell_count(length, SPLIT_STEP, 0, MAX_SPLIT_CELLS);
    std::vector<double> shares;
    if (cells < 2) return shares;
    // The averaged curvature as a lap of its own, one sample a cell.
    LapTrace profile;
    profile.samples = cells;
    for (int i = 0; i <= cells; ++i) profile.position.push_back(i * length / cells);
    std::vector<double> c = averaged_curvature(laps, cells, o.min_speed);
    for (const Run& r : merged(profile, c, o))
        for (int j : kept_splits(profile, c, r, o, dips(c, r, o)))
            shares.push_back(profile.position[j] / length);
    return shares;
}

std::vector<Corner> find_corners(const LapTrace& t, const CornerOptions& o,
                                 const std::vector<double>* splits) {
    std::vector<double> c = smoothed_curvature(t, o.min_speed);
    std::vector<Corner> corners;
    std::vector<Corner> pieces;
    for (const Run& r : merged(t, c, o))
        split_into(t, c, r, o, splits ? guided_splits(t, c, r, *splits) : dips(c, r, o), pieces);
    for (Corner k : pieces) {
        if (k.exit - k.entry < o.min_length) continue;
        k.number = static_cast<int>(corners.size()) + 1;
        k.entry_speed = t.speed_at(k.entry);
        k.exit_speed = t.speed_at(k.exit);
        k.min_speed = t.min_speed(k.entry, k.exit);
        k.time = t.time_at(k.exit) - t.time_at(k.entry);
        corners.push_back(k);
    }
    return corners;
}

void pair_corners(std::vector<Corner>& corners, double length, const std::vector<Corner>& reference,
                  double reference_length) {
    double scale = reference_length / length;
    std::vector<int> taken(reference.size() + 1, 0);
    for (Corner& k : corners) {
        double apex = k.apex * scale;
        const Corner* best = nullptr;
        for (const Corner& r : reference) {
            bool holds = apex >= r.entry - PAIRING_MARGIN && apex <= r.exit + PAIRING_MARGIN;
            if (r.direction != k.direction || !holds || taken[r.number]) continue;
            if (!best || std::fabs(r.apex - apex) < std::fabs(best->apex - apex)) best = &r;
        }
        k.paired = best ? best->number : 0;
        if (best) taken[best->number] = 1;
    }
}

std::vector<Stretch> compare_stretches(const LapTrace& lap, const LapTrace& ref,
                                       const std::vector<Corner>& corners) {
    std::vector<Stretch> out;
    double scale = lap.length() / ref.length();
    auto add = [&](int corner, int before, double start, double end) {
        Stretch s;
        s.corner = corner;
        s.before = before;
        s.start = start;
        s.end = std::max(start, end);
        double a = s.start * scale, b = s.end * scale;
        s.time = lap.time_at(b) - lap.time_at(a);
        s.gain = s.time - (ref.time_at(s.end) - ref.time_at(s.start));
        s.entry_speed = lap.speed_at(a);
        s.exit_speed = lap.speed_at(b);
        s.min_speed = lap.min_speed(a, b);
        out.push_back(s);
    };
    double at = 0.0;
    for (const Corner& k : corners) {
        add(0, k.number, at, k.entry);
        add(k.number, 0, std::max(at, k.entry), k.exit);
        at = std::max(at, k.exit);
    }
    add(0, 0, at, ref.length());
    return out;
}

} // namespace lx::analytics
