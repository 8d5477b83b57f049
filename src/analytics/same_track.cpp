// Whether two best laps were driven on the same track: their lengths, and the
// error of one lap's curvature laid over the other's at the best offset.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analytics/analytics.h"

namespace lx::analytics {

namespace {

constexpr double GRID_STEP = 2.0; // metres between compared curvature values
constexpr int MIN_CELLS = 16;
constexpr int MAX_CELLS = 50000; // the fit tries every offset of every cell

// Smoothed curvature at cells evenly spread over the lap.
std::vector<double> on_grid(const LapTrace& t, int cells, double min_speed) {
    std::vector<double> smooth = smoothed_curvature(t, min_speed);
    std::vector<double> grid(static_cast<std::size_t>(cells));
    for (int i = 0; i < cells; ++i) grid[i] = smooth[t.sample_at((i + 0.5) * t.length() / cells)];
    return grid;
}

struct Fit {
    double error; // mean absolute difference
    int offset;   // cells
};

Fit best_fit(const std::vector<double>& a, const std::vector<double>& b) {
    int m = static_cast<int>(a.size());
    Fit best{INFINITY, 0};
    for (int o = 0; o < m; ++o) {
        double sum = 0.0;
        for (int i = 0; i < m && sum < best.error * m; ++i) sum += std::fabs(a[i] - b[(i + o) % m]);
        if (sum / m < best.error) best = {sum / m, o};
    }
    return best;
}

double mean_magnitude(const std::vector<double>& v) {
    double sum = 0.0;
    for (double x : v) sum += std::fabs(x);
    return sum / static_cast<double>(v.size());
}

std::string describe(const char* format, double x, double y) {
    char text[160];
    std::snprintf(text, sizeof text, format, x, y);
    return text;
}

} // namespace

TrackMatch match_tracks(const LapTrace& a, const LapTrace& b, double threshold, double min_speed) {
    TrackMatch m;
    m.length_a = a.length();
    m.length_b = b.length();
    int cells = cell_count(m.length_a, GRID_STEP, MIN_CELLS, MAX_CELLS);
    std::vector<double> ca = on_grid(a, cells, min_speed), cb = on_grid(b, cells, min_speed);
    Fit fit = best_fit(ca, cb);
    double scale = mean_magnitude(ca);
    m.match = scale > 0.0 ? fit.error / scale : INFINITY;
    for (double& c : cb) c = -c;
    double mirrored = scale > 0.0 ? best_fit(ca, cb).error / scale : INFINITY;
    m.offset = fit.offset * m.length_b / cells;
    double share = std::fabs(m.length_a - m.length_b) / std::max(m.length_a, m.length_b);
    if (share > SAME_LENGTH_SHARE)
        m.why = describe("the best laps' lengths differ by more than 3 %%: %.0f m and %.0f m",
                         m.length_a, m.length_b);
    else if (!(m.match < threshold) && mirrored < threshold)
        m.why = describe("the curvature matches only mirrored (error %.2f, not %.2f): one "
                         "session's lateral channel has the other sign",
                         mirrored, m.match);
    else if (!(m.match < threshold))
        m.why = describe("the curvature does not match: error %.2f of the mean curvature, "
                         "more than %.2f",
                         m.match, threshold);
    m.same = m.why.empty();
    return m;
}

} // namespace lx::analytics
