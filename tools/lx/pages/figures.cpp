#include "figures.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "markup.h"

namespace lxtool {

namespace {

// Consecutive samples of similar speed share one polyline of one colour.
std::string speed_segments(const std::vector<int>& x, const std::vector<int>& y,
                           const std::vector<double>& speed, const svg::Box& area) {
    auto range = std::minmax_element(speed.begin(), speed.end());
    double lo = *range.first, span = std::max(*range.second - lo, 1.0);
    constexpr int bins = 24;
    auto bin = [&](std::size_t i) {
        return std::min(bins - 1, int((speed[i] - lo) / span * bins));
    };
    std::string s;
    std::size_t n = std::min(x.size(), speed.size()), start = 0;
    while (start + 1 < n) {
        int b = bin(start);
        std::size_t end = start + 1;
        while (end + 1 < n && bin(end) == b) ++end;
        std::vector<int> px(x.begin() + long(start), x.begin() + long(end) + 1);
        std::vector<int> py(y.begin() + long(start), y.begin() + long(end) + 1);
        svg::Pen pen{svg::ramp_colour((b + 0.5) / bins), 5.0};
        s += svg::polyline(px, py, int(px.size()), area, FINE, true, pen);
        start = end;
    }
    return s;
}

int sample_count(const Session& s, int lap) {
    return lap_info(s, lap).samples;
}

} // namespace

std::vector<double> speed_kmh(const Session& s, int lap) {
    std::vector<double> kmh;
    for (float v : lap_samples(s, lap, derived_channel(s, LX_CHANNEL_SPEED)))
        kmh.push_back(v * 3.6);
    return kmh;
}

namespace {

struct Points {
    std::vector<double> x, y; // metres
};

// The GPS track of a lap in metres east and north; empty without one.
Points gps_track(const Session& s, int lap) {
    int n = lx_analysis_gps_track(s.handle(), lap, nullptr, nullptr, 0, nullptr);
    if (n < 2) return {};
    Points p{std::vector<double>(std::size_t(n)), std::vector<double>(std::size_t(n))};
    lx_analysis_gps_track(s.handle(), lap, p.x.data(), p.y.data(), n, nullptr);
    return p;
}

// Rotated by heading (radians, anticlockwise) and scaled into a winx by winy
// window, centred, as lx_scaled_map fills its arrays.
struct Fit {
    double c, s, x0, y0, scale, ox, oy;
    // window pixels of a point in metres
    double px(double x, double y) const { return ox + (c * x - s * y - x0) * scale; }
    double py(double x, double y) const { return oy + (s * x + c * y - y0) * scale; }
};

Fit fit_of(const Points& p, int winx, int winy, double heading) {
    double c = std::cos(heading), s = std::sin(heading);
    std::vector<double> rx, ry;
    for (std::size_t i = 0; i < p.x.size(); ++i) {
        rx.push_back(c * p.x[i] - s * p.y[i]);
        ry.push_back(s * p.x[i] + c * p.y[i]);
    }
    auto [x0, x1] = std::minmax_element(rx.begin(), rx.end());
    auto [y0, y1] = std::minmax_element(ry.begin(), ry.end());
    double scale =
        std::min((winx - 1) / std::max(*x1 - *x0, 1e-9), (winy - 1) / std::max(*y1 - *y0, 1e-9));
    return {c,
            s,
            *x0,
            *y0,
            scale,
            (winx - 1 - (*x1 - *x0) * scale) / 2,
            (winy - 1 - (*y1 - *y0) * scale) / 2};
}

void fit_into(const Points& p, int winx, int winy, double heading, std::vector<int>& x,
              std::vector<int>& y) {
    Fit f = fit_of(p, winx, winy, heading);
    for (std::size_t i = 0; i < p.x.size(); ++i) {
        x[i] = int(std::lround(f.px(p.x[i], p.y[i])));
        y[i] = int(std::lround(f.py(p.x[i], p.y[i])));
    }
}

// The centre of a closed lap, each point weighed by the track it stands for:
// the same wherever the lap starts.
std::pair<double, double> centre(const Points& p) {
    double sx = 0, sy = 0, total = 0;
    for (std::size_t i = 0; i + 1 < p.x.size(); ++i) {
        double step = std::hypot(p.x[i + 1] - p.x[i], p.y[i + 1] - p.y[i]);
        sx += (p.x[i] + p.x[i + 1]) / 2 * step;
        sy += (p.y[i] + p.y[i + 1]) / 2 * step;
        total += step;
    }
    return total > 0 ? std::pair{sx / total, sy / total} : std::pair{0.0, 0.0};
}

// The lap's map in window pixels: from GPS where the session has it.
bool map_pixels(const Session& s, int lap, int winx, int winy, float heading, std::vector<int>& x,
                std::vector<int>& y) {
    Points gps = gps_track(s, lap);
    if (gps.x.size() >= 2 && gps.x.size() == x.size()) {
        fit_into(gps, winx, winy, heading, x, y);
        return true;
    }
    return lx_map_pixels(s.handle(), x.data(), y.data(), int(x.size()), lap, winx, winy, 0, 1.0f,
                         heading) > 0;
}

} // namespace

std::vector<std::string> reckoning_lines(const Session& s) {
    std::vector<std::string> lines;
    for (int lap = 0; lap < s.laps(); ++lap) {
        lx_lap_info l = lap_info(s, lap);
        double error = NAN;
        if (l.lap_class != LX_LAP_FULL ||
            lx_analysis_gps_track(s.handle(), lap, nullptr, nullptr, 0, &error) < 0 ||
            !std::isfinite(error))
            continue;
        lines.push_back("lap " + lap_name(l) + ": " + svg::fixed(error, 2) + " % of " +
                        svg::fixed(l.length, 0) + " m (" + svg::fixed(error / 100 * l.length, 1) +
                        " m RMS)");
    }
    return lines;
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

double map_aspect(const Session& s, int lap) {
    int n = sample_count(s, lap);
    constexpr int window = 1000;
    std::vector<int> x(static_cast<std::size_t>(std::max(n, 1))), y(x.size());
    if (n < 2 || !map_pixels(s, lap, window, window, 0.0f, x, y)) return 1.0;
    auto [x0, x1] = std::minmax_element(x.begin(), x.end());
    auto [y0, y1] = std::minmax_element(y.begin(), y.end());
    return double(*y1 - *y0 + 1) / double(*x1 - *x0 + 1);
}

std::string track_map(const Session& s, int lap, const svg::Box& area,
                      const std::vector<double>& kmh, float heading) {
    int n = sample_count(s, lap);
    if (n < 2) refuse("lap " + std::to_string(lap + 1) + " has too few samples for a map");
    std::vector<int> x(static_cast<std::size_t>(n)), y(x.size());
    if (!map_pixels(s, lap, int(area.w) * FINE, int(area.h) * FINE, heading, x, y))
        library_refused("cannot draw the map of lap " + std::to_string(lap + 1));
    std::string body;
    if (kmh.size() >= std::size_t(n)) {
        body += svg::polyline(x, y, n, area, FINE, true, {"#333", 8.0});
        body += speed_segments(x, y, kmh, area);
    } else {
        body += svg::polyline(x, y, n, area, FINE, true, {"#333", 3.0});
    }
    // Start and direction: a dot on the first sample, an arrow a little later.
    auto px = [&](int i) { return area.x + x[std::size_t(i)] / double(FINE); };
    auto py = [&](int i) { return area.y + area.h - y[std::size_t(i)] / double(FINE); };
    int ahead = std::min(n - 1, std::max(3, n / 60));
    double dx = px(ahead) - px(0), dy = py(ahead) - py(0);
    double angle = std::atan2(dy, dx) * 180 / 3.141592653589793;
    using markup::attr;
    std::string arrow_at = "translate(" + svg::fixed(px(ahead), 1) + " " +
                           svg::fixed(py(ahead), 1) + ") rotate(" + svg::fixed(angle, 1) + ")";
    return body +
           markup::empty("circle", {attr("cx", px(0), 1), attr("cy", py(0), 1), attr("r", "6"),
                                    attr("fill", "white"), attr("stroke", "#111"),
                                    attr("stroke-width", "2.5")}) +
           markup::empty("path", {attr("d", "M -7 -6 L 7 0 L -7 6 z"), attr("fill", "#111"),
                                  attr("transform", arrow_at)}) +
           markup::text("text",
                        {attr("x", px(0) + 10, 1), attr("y", py(0) - 10, 1), attr("class", "label"),
                         attr("font-weight", "bold")},
                        "start") +
           "\n";
}

namespace {

// Lap b's dead-reckoned map laid on lap a's by the library, in metres.
Points reckoned_on(const Session& a, int lap_a, const Session& b, int lap_b) {
    int n = lx_analysis_map_laid(b.handle(), lap_b, a.handle(), lap_a, nullptr, nullptr, 0);
    if (n < 2) return {};
    Points p{std::vector<double>(std::size_t(n)), std::vector<double>(std::size_t(n))};
    lx_analysis_map_laid(b.handle(), lap_b, a.handle(), lap_a, p.x.data(), p.y.data(), n);
    return p;
}

// Without positions in both, both maps dead-reckoned, b's laid on a's, placed
// as the map export places a's.
std::vector<Point> reckoned_laid_on(const Session& a, int lap_a, const Session& b, int lap_b,
                                    const svg::Box& area) {
    Points on = reckoned_on(a, lap_a, a, lap_a), laid = reckoned_on(a, lap_a, b, lap_b);
    if (on.x.size() < 2 || laid.x.size() < 2) return {};
    Fit f = fit_of(on, int(area.w) * FINE, int(area.h) * FINE, 0.0);
    std::vector<Point> points;
    for (std::size_t i = 0; i < laid.x.size(); ++i)
        points.push_back({area.x + f.px(laid.x[i], laid.y[i]) / FINE,
                          area.y + area.h - f.py(laid.x[i], laid.y[i]) / FINE});
    return points;
}

} // namespace

std::vector<Point> laid_on(const Session& a, int lap_a, const Session& b, int lap_b,
                           const svg::Box& area) {
    Points on = gps_track(a, lap_a), laid = gps_track(b, lap_b);
    // a's map is drawn from GPS exactly when this holds, as map_pixels decides
    bool a_from_gps = on.x.size() >= 2 && int(on.x.size()) == sample_count(a, lap_a);
    if (!a_from_gps) return reckoned_laid_on(a, lap_a, b, lap_b, area);
    if (laid.x.size() < 2) return {};
    Fit f = fit_of(on, int(area.w) * FINE, int(area.h) * FINE, 0.0);
    auto [ax, ay] = centre(on);
    auto [bx, by] = centre(laid);
    std::vector<Point> points;
    for (std::size_t i = 0; i < laid.x.size(); ++i) {
        double x = laid.x[i] + ax - bx, y = laid.y[i] + ay - by;
        points.push_back({area.x + f.px(x, y) / FINE, area.y + area.h - f.py(x, y) / FINE});
    }
    return points;
}

std::string line_through(const std::vector<Point>& points, const svg::Pen& pen) {
    std::string coordinates;
    const Point* last = nullptr;
    for (const Point& p : points) {
        // a point within half a pixel of the last adds nothing to see
        if (last && std::hypot(p.x - last->x, p.y - last->y) < 0.5 && &p != &points.back())
            continue;
        coordinates +=
            (coordinates.empty() ? "" : " ") + svg::fixed(p.x, 1) + "," + svg::fixed(p.y, 1);
        last = &p;
    }
    return "<polyline fill='none' stroke-linejoin='round' points='" + coordinates + "' " +
           svg::pen_attributes(pen) + "/>\n";
}

std::vector<Point> map_points(const Session& s, int lap, const svg::Box& area, float heading) {
    int n = sample_count(s, lap);
    if (n < 2) return {};
    std::vector<int> x(static_cast<std::size_t>(n)), y(x.size());
    if (!map_pixels(s, lap, int(area.w) * FINE, int(area.h) * FINE, heading, x, y)) return {};
    std::vector<Point> points;
    for (std::size_t i = 0; i < x.size(); ++i)
        points.push_back({area.x + x[i] / double(FINE), area.y + area.h - y[i] / double(FINE)});
    return points;
}

std::string speed_bar(double x, double y, double width, double lo, double hi) {
    std::string s = "<defs><linearGradient id='speedramp'>";
    for (int i = 0; i <= 8; ++i)
        s += "<stop offset='" + svg::fixed(i / 8.0, 3) + "' stop-color='" +
             svg::ramp_colour(i / 8.0) + "'/>";
    s += "</linearGradient></defs>";
    using markup::attr;
    auto tick = [&](double at, const char* anchor, const std::string& text) {
        return markup::text("text",
                            {attr("x", at, 1), attr("y", y + 24, 1), attr("class", "tick"),
                             attr("text-anchor", anchor)},
                            text);
    };
    return s +
           markup::empty("rect", {attr("x", x, 1), attr("y", y, 1), attr("width", width, 1),
                                  attr("height", "10"), attr("fill", "url(#speedramp)")}) +
           tick(x, "start", svg::fixed(lo, 0)) + tick(x + width, "end", svg::fixed(hi, 0)) +
           markup::text("text",
                        {attr("x", x + width / 2, 1), attr("y", y + 24, 1), attr("class", "label"),
                         attr("text-anchor", "middle")},
                        "speed km/h") +
           "\n";
}

ChartLine chart_line(const Session& s, int lap, const ChartSpec& spec, const svg::Pen& pen) {
    int winx = int(spec.area.w) * FINE, winy = int(spec.area.h) * FINE;
    std::vector<int> x(static_cast<std::size_t>(winx)), y(x.size());
    int m = lx_chart_pixels(s.handle(), lap, spec.channel, spec.cmax, spec.cmin, winx, winx, winy,
                            0, winy, spec.dist_range, x.data(), y.data());
    if (m <= 0) return {}; // a lap without length or samples has no line
    return {svg::polyline(x, y, m, spec.area, FINE, false, pen),
            spec.area.y + y[std::size_t(m - 1)] / double(FINE)};
}

ChartLine curve_line(const std::vector<double>& metres, const std::vector<double>& values,
                     const svg::Box& area, const svg::Axis& x, const svg::Axis& y,
                     const svg::Pen& pen) {
    std::size_t n = std::min(metres.size(), values.size());
    if (n == 0 || !(x.hi > x.lo) || !(y.hi > y.lo)) return {};
    // Per column of a pixel its lowest and highest point: at most about 2,000
    // points a lap, and every peak kept.
    std::string points;
    auto put = [&](double px, double py) {
        points += (points.empty() ? "" : " ") + svg::fixed(px, 1) + "," + svg::fixed(py, 1);
    };
    long column = LONG_MIN;
    double lo = 0, hi = 0, at = 0, last_y = 0;
    for (std::size_t i = 0; i < n; ++i) {
        double px = area.x + (metres[i] - x.lo) / (x.hi - x.lo) * area.w;
        double py = svg::y_pixel(area, y, values[i]);
        long c = std::lround(px);
        if (c != column) {
            if (column != LONG_MIN) put(at, lo), hi != lo ? put(at, hi) : void();
            column = c, lo = hi = py, at = px;
        }
        lo = std::min(lo, py), hi = std::max(hi, py), last_y = py;
    }
    put(at, lo);
    if (hi != lo) put(at, hi);
    put(area.x + (metres[n - 1] - x.lo) / (x.hi - x.lo) * area.w, last_y);
    return {"<polyline points='" + points + "' fill='none' vector-effect='non-scaling-stroke' " +
                svg::pen_attributes(pen) + "/>\n",
            last_y};
}

std::string clip_to(const svg::Box& area, const std::string& id) {
    using markup::attr;
    return markup::element(
               "clipPath", {attr("id", id)},
               markup::empty("rect", {attr("x", area.x, 1), attr("y", area.y, 1),
                                      attr("width", area.w, 1), attr("height", area.h, 1)})) +
           markup::start("g", {attr("clip-path", "url(#" + id + ")")}) + "\n";
}

} // namespace lxtool
