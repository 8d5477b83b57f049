#include "compare_page.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "page_parts.h"

namespace fs = std::filesystem;

namespace lxtool {

namespace {

constexpr double CHART_WIDTH = 1100;
constexpr double MAP_WIDTH = 520;

struct Compared {
    const Session &a, &b;
    const lx_track_match& match;
    std::vector<Trace> traces; // A's lap, then B's
    std::vector<lx_corner> corners;
    std::vector<lx_stretch> a_stretches, b_stretches; // over A's corners
    double length;                                    // metres across the charts: A's lap
    std::pair<std::string, std::string> names;
};

std::string signed_seconds(double t) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.3f s", t);
    return text;
}

std::string name_of(const Session& s) {
    return fs::path(s.source).filename().string();
}

// The two sessions' names, with their folders when the file names agree.
std::pair<std::string, std::string> names_of(const Session& a, const Session& b) {
    if (name_of(a) != name_of(b)) return {name_of(a), name_of(b)};
    auto longer = [](const Session& s) {
        fs::path p(s.source);
        return (p.parent_path().filename() / p.filename()).string();
    };
    return {longer(a), longer(b)};
}

// Each session's time difference against A's lap (A's own is zero).
void time_differences(const Session& ref, int ref_lap, const Session& s) {
    if (derived_channel(s, LX_CHANNEL_TIME_DIFF) == 0 && !lx_analysis_setup(s.handle()))
        library_refused("cannot add the time difference");
    if (!lx_calc_time_diff(ref.handle(), ref_lap, s.handle(), 0))
        library_refused("cannot compute the time difference");
}

// The traces of one derived channel against distance, with a legend.
std::string chart(const Compared& c, lx_derived_channel id, const svg::Axis& y,
                  const std::string& title, const std::string& attributes) {
    svg::Box area{70, 34, CHART_WIDTH - 100, 300};
    svg::Axis x{0, c.length, "distance into A's lap (m)"};
    std::string body = "<text x='10' y='20' class='heading'>" + svg::escape(title) + "</text>\n" +
                       svg::axes(area, x, y) + clip_to(area, "clip" + std::to_string(int(id)));
    std::vector<svg::LegendEntry> entries;
    for (const Trace& t : c.traces) {
        float scale = id == LX_CHANNEL_SPEED ? float(KMH) : 1.0f;
        ChartSpec spec{derived_channel(*t.session, id), float(y.lo / scale), float(y.hi / scale),
                       float(c.length), area};
        body += lap_group(t.key, chart_line(*t.session, t.lap, spec, t.pen).svg);
        entries.push_back({t.pen, t.label});
    }
    body += "</g>\n";
    double legend_height = 0;
    body +=
        svg::legend(entries, area.x, area.y + area.h + 58, CHART_WIDTH - 90, 520, &legend_height);
    return with_attributes(
        svg::document(CHART_WIDTH, area.y + area.h + 66 + legend_height, body, title),
        data_area(area) + " " + attributes);
}

svg::Axis speed_axis(const Compared& c) {
    double top = 0;
    for (const Trace& t : c.traces)
        for (double v : speed_kmh(*t.session, t.lap)) top = std::max(top, v);
    return {0, svg::round_up(top * 1.05), "speed (km/h)"};
}

svg::Axis diff_axis(const Compared& c) {
    double lo = 0, hi = 0;
    const Trace& b = c.traces[1];
    for (float v :
         lap_samples(*b.session, b.lap, derived_channel(*b.session, LX_CHANNEL_TIME_DIFF)))
        lo = std::min(lo, double(v)), hi = std::max(hi, double(v));
    return {svg::round_down(lo - 0.05), svg::round_up(hi + 0.05), "B behind A (s)"};
}

svg::Box map_area(const Compared& c) {
    double height = (MAP_WIDTH - 40) * std::clamp(map_aspect(c.a, c.match.lap_a), 0.4, 1.2);
    return {20, 40, MAP_WIDTH - 40, height};
}

std::string map_figure(const Compared& c) {
    svg::Box area = map_area(c);
    int lap = c.match.lap_a;
    std::vector<double> kmh = speed_kmh(c.a, lap);
    auto [lo, hi] = std::minmax_element(kmh.begin(), kmh.end());
    std::string body =
        "<text x='10' y='20' class='heading'>A's lap " + std::to_string(lap + 1) +
        ", corners numbered</text>\n" + track_map(c.a, lap, area, kmh, 0.0f) +
        corner_markers(c.corners, map_points(c.a, lap, area, 0.0f), lap_distances(c.a, lap), area) +
        map_cursor() + speed_bar(MAP_WIDTH / 2 - 140, area.y + area.h + 30, 280, *lo, *hi);
    return with_attributes(svg::document(MAP_WIDTH, area.y + area.h + 80, body, "Track map"),
                           "id='map'");
}

std::string laps_table(const Compared& c) {
    std::string h = "<table class='laps numeric'><thead><tr><th></th><th>session</th><th>lap</th>"
                    "<th>time</th><th>length</th></tr></thead><tbody>\n";
    for (const Trace& t : c.traces) {
        lx_lap_info l = lap_info(*t.session, t.lap);
        h += "<tr data-lap='" + t.key +
             "'><td><span class='swatch' style='background:" + t.pen.colour + "'></span>" + t.key +
             "</td><td class='note'>" + svg::escape(t.key == "A" ? c.names.first : c.names.second) +
             "</td><td>" + std::to_string(t.lap + 1) + "</td><td>" + laptime_text(l.laptime) +
             "</td><td>" + svg::fixed(l.length, 0) + " m</td></tr>\n";
    }
    return h + "</tbody></table>\n";
}

std::string corners_table(const Compared& c) {
    std::string h =
        "<table class='laps numeric'><thead><tr><th>corner</th><th>apex</th><th>A min</th>"
        "<th>B min</th><th>B gain</th><th>B total</th></tr></thead><tbody>\n";
    double total = 0;
    for (std::size_t i = 0; i < c.b_stretches.size() && i < c.a_stretches.size(); ++i) {
        total += c.b_stretches[i].gain;
        int corner = c.b_stretches[i].corner;
        if (!corner) continue; // the straights count in the total only
        double apex = c.corners[std::size_t(corner - 1)].apex;
        h += "<tr><td>" + std::to_string(corner) + "</td><td>" + svg::fixed(apex, 0) +
             " m</td><td>" + svg::fixed(c.a_stretches[i].min_speed * KMH, 1) + "</td><td>" +
             svg::fixed(c.b_stretches[i].min_speed * KMH, 1) + "</td><td>" +
             signed_seconds(c.b_stretches[i].gain) + "</td><td>" + signed_seconds(total) +
             "</td></tr>\n";
    }
    return h + "</tbody></table>\n";
}

Compared gather(const Session& a, const Session& b, const lx_track_match& m,
                const lx_corner_options& o) {
    Compared c{a, b, m, {}, {}, {}, {}, lap_info(a, m.lap_a).length, names_of(a, b)};
    c.traces = {{&a,
                 m.lap_a,
                 "A",
                 "A: lap " + std::to_string(m.lap_a + 1) + " of " + c.names.first,
                 {"#111111", 2.2}},
                {&b,
                 m.lap_b,
                 "B",
                 "B: lap " + std::to_string(m.lap_b + 1) + " of " + c.names.second,
                 {"#e15759", 1.8}}};
    time_differences(a, m.lap_a, a);
    time_differences(a, m.lap_a, b);
    c.corners = lap_corners(a, m.lap_a, a, m.lap_a, o);
    c.a_stretches = lap_stretches(a, m.lap_a, a, m.lap_a, o);
    c.b_stretches = lap_stretches(a, m.lap_a, b, m.lap_b, o);
    return c;
}

std::string summary(const Compared& c) {
    const lx_track_match& m = c.match;
    double shift = std::min(m.offset, m.length_b - m.offset);
    double gap = lap_info(c.b, m.lap_b).laptime - lap_info(c.a, m.lap_a).laptime;
    return "<p class='summary'>The same track: best laps " + svg::fixed(m.length_a, 0) + " m and " +
           svg::fixed(m.length_b, 0) + " m long, their curvatures " + svg::fixed(m.match, 2) +
           " apart (" + svg::fixed(LX_SAME_TRACK_THRESHOLD, 1) + " at most for one track). B " +
           (gap >= 0 ? "lost " : "gained ") + svg::fixed(std::fabs(gap), 3) +
           " s on A. A's start line lies " + svg::fixed(shift, 0) +
           " m from B's; corners are carried from each session's own line.</p>\n";
}

std::string page(const Compared& c) {
    std::string title = c.names.first + " against " + c.names.second;
    std::string h = "<!DOCTYPE html>\n<html lang='en'><head><meta charset='utf-8'><title>" +
                    svg::escape(title) + "</title>" + PAGE_STYLE + "</head><body>\n<h1>" +
                    svg::escape(title) + "</h1>\n" + summary(c);
    h += "<div class='top'><div><h2>Best laps</h2>" + laps_table(c) + "<h2>Corners</h2>" +
         corners_table(c) + "</div><figure>" + map_figure(c) + "</figure></div>\n";
    h += "<h2>Speed</h2><figure>" +
         chart(c, LX_CHANNEL_SPEED, speed_axis(c), "Speed against distance", "id='speed-chart'") +
         "</figure>\n";
    h += "<h2>Time difference</h2><figure>" +
         chart(c, LX_CHANNEL_TIME_DIFF, diff_axis(c), "B's time difference to A", "") +
         "<figcaption>Above zero B is behind A at the same distance (a moving average, so it "
         "lags).</figcaption></figure>\n";
    if (!c.corners.empty())
        h += "<h2>Corner by corner</h2><figure>" +
             corner_bars_figure(c.corners, {{c.traces[1], c.b_stretches}}, "A") + "</figure>\n";
    h += "<p class='summary'>Made by lx. Hover over the speed chart to read both laps at one "
         "place; click a lap in the table to hide or show it.</p>\n";
    return h +
           hover_data(c.traces, map_points(c.a, c.match.lap_a, map_area(c), 0.0f),
                      lap_distances(c.a, c.match.lap_a), c.length) +
           HOVER_SCRIPT + "</body></html>\n";
}

} // namespace

std::string write_compare_page(const Session& a, const Session& b, const lx_track_match& m,
                               const lx_corner_options& options, const std::string& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    std::string path = (fs::path(folder) / "compare.html").string();
    check_writable(path);
    write_file(path, page(gather(a, b, m, options)));
    return path;
}

} // namespace lxtool
