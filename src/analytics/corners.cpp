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
    std::vector<double> out(gated.size());
    for (int j = 0; j < n; ++j) {
        int lo = std::max(0, j - half), hi = std::min(n - 1, j + half);
        double sum = 0.0;
        for (int k = lo; k <= hi; ++k) sum += gated[k];
        out[j] = sum / (hi - lo + 1);
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

// Stretches of one hand above the exit threshold that reach the entry one.
std::vector<Corner> raw_corners(const LapTrace& t, const std::vector<double>& c,
                                const CornerOptions& o) {
    std::vector<Corner> found;
    int n = t.samples;
    for (int j = 0; j < n;) {
        int hand = c[j] > o.exit_curvature ? 1 : c[j] < -o.exit_curvature ? -1 : 0;
        if (hand == 0) {
            ++j;
            continue;
        }
        int start = j, peak = j;
        for (; j < n && hand * c[j] > o.exit_curvature; ++j)
            if (hand * c[j] > hand * c[peak]) peak = j;
        if (hand * c[peak] < o.enter_curvature) continue;
        Corner k;
        k.direction = hand;
        k.entry = crossing(t, c, start, hand * o.exit_curvature);
        k.exit = j < n ? crossing(t, c, j, hand * o.exit_curvature) : t.length();
        k.apex = t.position[peak];
        k.peak_curvature = hand * c[peak];
        found.push_back(k);
    }
    return found;
}

std::vector<Corner> merged(const std::vector<Corner>& raw, double gap) {
    std::vector<Corner> out;
    for (const Corner& k : raw) {
        if (!out.empty() && out.back().direction == k.direction &&
            k.entry - out.back().exit < gap) {
            Corner& last = out.back();
            last.exit = k.exit;
            if (k.peak_curvature > last.peak_curvature) {
                last.peak_curvature = k.peak_curvature;
                last.apex = k.apex;
            }
            continue;
        }
        out.push_back(k);
    }
    return out;
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

std::vector<Corner> find_corners(const LapTrace& t, const CornerOptions& o) {
    std::vector<double> c = smoothed_curvature(t, o.min_speed);
    std::vector<Corner> corners;
    for (Corner k : merged(raw_corners(t, c, o), o.merge_gap)) {
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
