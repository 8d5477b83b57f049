#include "driver_views.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>
#include <utility>

#include "markup.h"
#include "options.h"

namespace lxtool {

std::vector<int> role_channels(const Session& s) {
    int roles[LX_ROLES];
    if (lx_analysis_roles(s.handle(), roles) != LX_OK) library_refused("cannot tell channel roles");
    std::vector<int> channels;
    for (int c : roles)
        if (c > 0) channels.push_back(c);
    return channels;
}

std::vector<int> named_channels(const Session& s, const std::string& list) {
    std::vector<int> channels;
    std::size_t from = 0;
    while (from <= list.size()) {
        std::size_t comma = std::min(list.find(',', from), list.size());
        std::string name = list.substr(from, comma - from);
        if (!name.empty()) channels.push_back(find_channel(s, name, "--traces"));
        from = comma + 1;
    }
    return channels;
}

namespace {

constexpr double CHART_WIDTH = 1100;
// The speed chart's left edge and width, so that a metre lies at one x in all.
constexpr double PLOT_X = 70, PLOT_W = CHART_WIDTH - 100, TRACE_H = 150;

std::pair<double, double> value_range(int channel, const std::vector<Trace>& traces) {
    double lo = INFINITY, hi = -INFINITY;
    for (const Trace& t : traces)
        for (float v : lap_samples(*t.session, t.lap, channel))
            if (std::isfinite(v)) lo = std::min(lo, double(v)), hi = std::max(hi, double(v));
    if (!(hi >= lo)) return {0, 1};
    if (hi == lo) return {lo - 1, hi + 1};
    return {svg::round_down(lo), svg::round_up(hi)};
}

std::string channel_heading(const Session& s, int channel) {
    std::string unit = channel_info(s, channel).unit;
    return channel_title(s, channel) + (unit.empty() ? "" : " (" + unit + ")");
}

std::string trace_chart(int channel, const std::vector<Trace>& traces, double length, bool last) {
    const Session& s = *traces.front().session;
    svg::Box area{PLOT_X, 30, PLOT_W, TRACE_H};
    auto [lo, hi] = value_range(channel, traces);
    std::string heading = channel_heading(s, channel);
    svg::Axis x{0, length, last ? "distance into the lap (m)" : ""};
    svg::Axis y{lo, hi, ""};
    std::string body = markup::text("text",
                                    {markup::attr("x", "10"), markup::attr("y", "20"),
                                     markup::attr("class", "heading")},
                                    heading) +
                       "\n" + svg::axes(area, x, y) +
                       clip_to(area, "clip-trace" + std::to_string(channel));
    for (const Trace& t : traces) {
        ChartSpec spec{channel, float(lo), float(hi), float(length), area};
        body += lap_group(t.key, chart_line(*t.session, t.lap, spec, t.pen).svg);
    }
    body += "</g>\n";
    double height = area.y + area.h + (last ? 46 : 24);
    return with_attributes(svg::document(CHART_WIDTH, height, body, heading),
                           "class='trace' " + data_area(area));
}

} // namespace

std::string traces_figure(const std::vector<int>& channels, const std::vector<Trace>& traces,
                          double length) {
    if (channels.empty() || traces.empty()) return "";
    std::string h;
    for (std::size_t i = 0; i < channels.size(); ++i)
        h += trace_chart(channels[i], traces, length, i + 1 == channels.size());
    return h;
}

namespace {

struct GPoint {
    double lat, lon; // g
};

std::vector<GPoint> g_points(const Trace& t) {
    const Session& s = *t.session;
    std::vector<float> lat = lap_samples(s, t.lap, derived_channel(s, LX_CHANNEL_LAT_G));
    std::vector<float> lon = lap_samples(s, t.lap, derived_channel(s, LX_CHANNEL_LONG_G));
    std::vector<GPoint> points;
    for (std::size_t i = 0; i < lat.size() && i < lon.size(); ++i)
        if (std::isfinite(lat[i]) && std::isfinite(lon[i])) points.push_back({lat[i], lon[i]});
    return points;
}

constexpr int DIRECTIONS = 36; // 10 degrees each

// The highest combined g in each direction; 0 where the lap never went.
std::vector<double> envelope(const std::vector<GPoint>& points) {
    std::vector<double> reach(DIRECTIONS, 0.0);
    for (const GPoint& p : points) {
        double angle = std::atan2(p.lon, p.lat) + std::numbers::pi;
        auto k =
            std::size_t(std::min(DIRECTIONS - 1, int(angle / (2 * std::numbers::pi) * DIRECTIONS)));
        reach[k] = std::max(reach[k], std::hypot(p.lat, p.lon));
    }
    return reach;
}

struct GScale {
    svg::Box area;
    double range; // g from the centre to each edge
    double px(double g) const { return area.x + area.w / 2 + g / range * area.w / 2; }
    double py(double g) const { return area.y + area.h / 2 - g / range * area.h / 2; }
};

// Each point as a dot, one per cell of DOT_CELL pixels: the page stays light
// on long laps.
constexpr double DOT_CELL = 2;

std::string dots(const std::vector<GPoint>& points, const GScale& scale, const svg::Pen& pen) {
    std::set<std::pair<long, long>> seen;
    std::string d;
    for (const GPoint& p : points) {
        long x = std::lround(scale.px(p.lat) / DOT_CELL),
             y = std::lround(scale.py(p.lon) / DOT_CELL);
        if (!seen.insert({x, y}).second) continue;
        d += "M" + std::to_string(long(double(x) * DOT_CELL)) + " " +
             std::to_string(long(double(y) * DOT_CELL)) + "h0";
    }
    using markup::attr;
    return markup::empty("path", {attr("d", d), attr("stroke", pen.colour),
                                  attr("stroke-width", "2.5"), attr("stroke-linecap", "round"),
                                  attr("stroke-opacity", "0.6"), attr("fill", "none")});
}

std::string envelope_path(const std::vector<double>& reach, const GScale& scale) {
    std::string d;
    for (std::size_t k = 0; k < reach.size(); ++k) {
        if (reach[k] <= 0) continue;
        double angle = (double(k) + 0.5) / DIRECTIONS * 2 * std::numbers::pi - std::numbers::pi;
        d += (d.empty() ? "M" : " L") + svg::fixed(scale.px(reach[k] * std::cos(angle)), 1) + " " +
             svg::fixed(scale.py(reach[k] * std::sin(angle)), 1);
    }
    using markup::attr;
    return d.empty() ? ""
                     : markup::empty("path", {attr("d", d + " z"), attr("fill", "none"),
                                              attr("stroke", "#111"), attr("stroke-width", "2"),
                                              attr("stroke-dasharray", "6 3")});
}

} // namespace

std::string gg_figure(const std::vector<Trace>& traces, const Trace& envelope_of) {
    std::vector<GPoint> reference = g_points(envelope_of);
    std::vector<double> reach = envelope(reference);
    double top = *std::max_element(reach.begin(), reach.end());
    GScale scale{{70, 34, 380, 380}, svg::round_up(std::max(top, 0.5) * 1.1)};
    svg::Axis x{-scale.range, scale.range, "lateral (g)"};
    svg::Axis y{-scale.range, scale.range, "longitudinal (g): braking below, accelerating above"};
    std::string body = "<text x='10' y='20' class='heading'>g-g diagram</text>\n" +
                       svg::axes(scale.area, x, y) + clip_to(scale.area, "clip-gg");
    std::vector<svg::LegendEntry> entries;
    for (const Trace& t : traces) {
        body += lap_group(t.key, dots(g_points(t), scale, t.pen));
        entries.push_back({t.pen, t.label});
    }
    body += envelope_path(reach, scale) + "</g>\n";
    svg::Pen dashed{"#111", 2, true};
    entries.push_back({dashed, "envelope of " + envelope_of.label});
    double width = 560, legend_height = 0;
    body += svg::legend(entries, scale.area.x, scale.area.y + scale.area.h + 58, width - 90, 460,
                        &legend_height);
    return with_attributes(
        svg::document(width, scale.area.y + scale.area.h + 66 + legend_height, body, "g-g diagram"),
        "id='gg'");
}

} // namespace lxtool
