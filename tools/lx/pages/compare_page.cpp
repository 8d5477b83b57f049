#include "compare_page.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "analysed.h"
#include "page_parts.h"

namespace fs = std::filesystem;

namespace lxtool {

namespace {

constexpr double CHART_WIDTH = 1100;
// As wide as the charts; a tall track is drawn narrower, centred.
constexpr double MAP_WIDTH = CHART_WIDTH, MAP_HEIGHT_MOST = 620;

// What the page draws: A's lap and each pair's other lap as traces, A's corners.
struct Page {
    const Compared& c; // A against B
    std::vector<Compared> pairs;
    std::vector<Trace> traces; // A's lap, then B's, C's, D's
    std::vector<lx_corner> corners;
    double length;                  // metres across the charts: A's lap
    std::vector<std::string> names; // per trace
};

// The sessions' keys and pens: A in black, the others in colours apart.
constexpr const char* KEYS[] = {"A", "B", "C", "D"};
const svg::Pen PENS[] = {{"#111111", 2.2}, {"#e15759", 1.8}, {"#4e79a7", 1.8}, {"#59a14f", 1.8}};

std::string seconds_cell(double t) {
    return signed_seconds(t) + " s";
}

std::string name_of(const Session& s) {
    return fs::path(s.source).filename().string();
}

// The sessions' names, with their folders when two file names agree.
std::vector<std::string> names_of(const std::vector<const Session*>& sessions) {
    std::vector<std::string> names;
    for (const Session* s : sessions) names.push_back(name_of(*s));
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end()) return names;
    names.clear();
    for (const Session* s : sessions) {
        fs::path p(s->source);
        names.push_back((p.parent_path().filename() / p.filename()).string());
    }
    return names;
}

// The traces of one derived channel against distance, with a legend.
std::string chart(const Page& c, lx_derived_channel id, const svg::Axis& y,
                  const std::string& title, const std::string& attributes) {
    svg::Box area{70, 34, CHART_WIDTH - 100, 300};
    svg::Axis x{0, c.length, "distance into A's lap (m)"};
    std::string body = "<text x='10' y='20' class='heading'>" + svg::escape(title) + "</text>\n" +
                       svg::axes(area, x, y) + clip_to(area, "clip" + std::to_string(int(id)));
    std::vector<svg::LegendEntry> entries;
    for (const Trace& t : c.traces) {
        std::string line;
        if (id == LX_CHANNEL_TIME_DIFF) {
            TimeDiff d = time_diff(*t.session, t.lap);
            line = curve_line(d.distance, d.diff, area, x, y, t.pen).svg;
        } else {
            ChartSpec spec{derived_channel(*t.session, id), float(y.lo / KMH), float(y.hi / KMH),
                           float(c.length), area};
            line = chart_line(*t.session, t.lap, spec, t.pen).svg;
        }
        body += lap_group(t.key, line);
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

svg::Axis speed_axis(const Page& c) {
    double top = 0;
    for (const Trace& t : c.traces)
        for (double v : speed_kmh(*t.session, t.lap)) top = std::max(top, v);
    return {0, svg::round_up(top * 1.05), "speed (km/h)"};
}

svg::Axis diff_axis(const Page& c) {
    double lo = 0, hi = 0;
    for (std::size_t k = 1; k < c.traces.size(); ++k)
        for (double v : time_diff(*c.traces[k].session, c.traces[k].lap).diff)
            lo = std::min(lo, v), hi = std::max(hi, v);
    return {svg::round_down(lo - 0.05), svg::round_up(hi + 0.05), "X-A (s): X behind above zero"};
}

svg::Box map_area(const Page& c) {
    double aspect = std::clamp(map_aspect(*c.c.a, c.c.lap_a), 0.3, 1.2);
    double height = std::min((MAP_WIDTH - 40) * aspect, MAP_HEIGHT_MOST);
    double width = height / aspect;
    return {(MAP_WIDTH - width) / 2, 40, width, height};
}

std::string map_figure(const Page& c) {
    svg::Box area = map_area(c);
    int lap = c.c.lap_a;
    const Session& a = *c.c.a;
    std::vector<double> kmh = speed_kmh(a, lap);
    auto [lo, hi] = std::minmax_element(kmh.begin(), kmh.end());
    // each other lap laid on A's map where both have positions, A's line under them
    std::string lines, laid;
    for (std::size_t k = 1; k < c.traces.size(); ++k) {
        const Trace& t = c.traces[k];
        std::vector<Point> points = laid_on(a, lap, *t.session, t.lap, area);
        if (points.empty()) continue;
        svg::Pen pen = t.pen;
        pen.width = 1.2;
        lines += lap_group(t.key, line_through(points, pen));
        laid += std::string(laid.empty() ? " and " : ", ") + t.key + "'s";
    }
    if (!lines.empty()) {
        svg::Pen pen = c.traces[0].pen;
        pen.width = 1.2;
        lines = lap_group("A", line_through(map_points(a, lap, area, 0.0f), pen)) + lines;
    }
    std::string body =
        "<text x='10' y='20' class='heading'>A's lap " + lap_name(lap_info(a, lap)) + laid +
        ", corners numbered</text>\n" + track_map(a, lap, area, kmh, 0.0f) + lines +
        corner_markers(c.corners, map_points(a, lap, area, 0.0f), lap_distances(a, lap), area) +
        map_cursor() + speed_bar(MAP_WIDTH / 2 - 140, area.y + area.h + 30, 280, *lo, *hi);
    return with_attributes(svg::document(MAP_WIDTH, area.y + area.h + 80, body, "Track map"),
                           "id='map'");
}

std::string laps_table(const Page& c) {
    std::string h = "<table class='laps numeric'><thead><tr><th></th><th>session</th><th>lap</th>"
                    "<th>time</th><th>length</th></tr></thead><tbody>\n";
    for (const Trace& t : c.traces) {
        lx_lap_info l = lap_info(*t.session, t.lap);
        h += "<tr data-lap='" + t.key +
             "'><td><span class='swatch' style='background:" + t.pen.colour + "'></span>" + t.key +
             "</td><td class='note'>" + svg::escape(c.names[std::size_t(&t - c.traces.data())]) +
             "</td><td>" + svg::escape(lap_name(l)) + "</td><td>" + laptime_text(l.laptime) +
             "</td><td>" + svg::fixed(l.length, 0) + " m</td></tr>\n";
    }
    return h + "</tbody></table>\n";
}

// Per corner A's minimum speed, and each other lap's with its time against A
// and the running total (the straights count in the total only).
std::string corners_table(const Page& p) {
    std::string h = "<table class='laps numeric'><thead><tr><th>corner</th><th>apex</th>"
                    "<th>A min</th>";
    for (std::size_t k = 1; k < p.traces.size(); ++k) {
        const std::string& x = p.traces[k].key;
        h += "<th>" + x + " min</th><th>" + x + "-A</th><th>" + x + "-A sum</th>";
    }
    h += "</tr></thead><tbody>\n";
    std::vector<double> totals(p.pairs.size(), 0.0);
    const Compared& c = p.c;
    for (std::size_t i = 0; i < c.a_stretches.size(); ++i) {
        std::string cells;
        for (std::size_t k = 0; k < p.pairs.size(); ++k) {
            const std::vector<lx_stretch>& other = p.pairs[k].b_stretches;
            if (i >= other.size()) continue;
            totals[k] += other[i].gain;
            cells += "<td>" + svg::fixed(other[i].min_speed * KMH, 1) + "</td><td>" +
                     seconds_cell(other[i].gain) + "</td><td>" + seconds_cell(totals[k]) + "</td>";
        }
        int corner = c.a_stretches[i].corner;
        if (!corner || std::size_t(corner) > p.corners.size()) continue;
        const lx_corner& at = p.corners[std::size_t(corner - 1)];
        h += markup::start("tr", {corner_from(at), corner_to(at)}) + "<td>" +
             std::to_string(corner) + "</td><td>" + svg::fixed(at.apex, 0) + " m</td><td>" +
             svg::fixed(c.a_stretches[i].min_speed * KMH, 1) + "</td>" + cells + "</tr>\n";
    }
    return h + "</tbody></table>\n";
}

Page gather(const std::vector<Compared>& pairs) {
    const Compared& c = pairs.front();
    std::vector<const Session*> sessions{c.a};
    std::vector<int> laps{c.lap_a};
    for (const Compared& pair : pairs) sessions.push_back(pair.b), laps.push_back(pair.lap_b);
    Page p{c, pairs, {}, {}, lap_info(*c.a, c.lap_a).length, names_of(sessions)};
    for (std::size_t k = 0; k < sessions.size() && k < std::size(KEYS); ++k)
        p.traces.push_back({sessions[k], laps[k], KEYS[k],
                            std::string(KEYS[k]) + ": lap " +
                                lap_name(lap_info(*sessions[k], laps[k])) + " of " + p.names[k],
                            PENS[k]});
    std::string why;
    p.corners = lap_corners(*c.a, c.lap_a, &why);
    return p;
}

std::string summary(const Compared& c, const std::string& key) {
    const lx_track_match& m = c.match;
    double shift = std::min(m.offset, m.length_b - m.offset);
    double gap = lap_info(*c.b, c.lap_b).laptime - lap_info(*c.a, c.lap_a).laptime;
    return "<p class='summary'>" + key + ": the same track: best laps " +
           svg::fixed(m.length_a, 0) + " m and " + svg::fixed(m.length_b, 0) +
           " m long, their curvatures " + svg::fixed(m.match, 2) + " apart (" +
           svg::fixed(LX_SAME_TRACK_THRESHOLD, 1) + " at most for one track). " + key + " " +
           (gap >= 0 ? "lost " : "gained ") + svg::fixed(std::fabs(gap), 3) +
           " s on A. A's start line lies " + svg::fixed(shift, 0) + " m from " + key +
           "'s; corners are carried from each session's own line.</p>\n";
}

std::string page(const Page& c) {
    std::string title = c.names[0] + " against " + c.names[1];
    for (std::size_t k = 2; k < c.names.size(); ++k)
        title += (k + 1 == c.names.size() ? " and " : ", ") + c.names[k];
    std::string h = "<!DOCTYPE html>\n<html lang='en'><head><meta charset='utf-8'><title>" +
                    svg::escape(title) + "</title>" + page_style() + "</head><body>\n<h1>" +
                    svg::escape(title) + "</h1>\n";
    for (std::size_t k = 0; k < c.pairs.size(); ++k) h += summary(c.pairs[k], KEYS[k + 1]);
    h += "<h2>Laps</h2>" + laps_table(c) + "<h2>Track</h2><figure>" + map_figure(c) +
         "</figure>\n<h2>Corners</h2>" + corners_table(c);
    h += "<h2>Speed</h2><figure>" +
         chart(c, LX_CHANNEL_SPEED, speed_axis(c), "Speed against distance", "id='speed-chart'") +
         "</figure>\n";
    h += "<h2>Time difference</h2><figure>" +
         chart(c, LX_CHANNEL_TIME_DIFF, diff_axis(c), "Time difference to A", "") +
         "<figcaption>Each lap's time minus A's at the same share of each lap's length: above "
         "zero it is behind; each curve ends at its gap.</figcaption></figure>\n";
    std::vector<CornerGains> gains;
    for (std::size_t k = 0; k < c.pairs.size(); ++k)
        gains.push_back({c.traces[k + 1], c.pairs[k].b_stretches});
    if (!c.corners.empty())
        h += "<h2>Corner by corner</h2><figure>" + corner_bars_figure(c.corners, gains, "A") +
             "</figure>\n";
    h += "<p class='summary'>Made by lx. Hover over the speed chart to read both laps at one "
         "place; click a lap in the table to hide or show it.</p>\n";
    return h +
           hover_data(c.traces, map_points(*c.c.a, c.c.lap_a, map_area(c), 0.0f),
                      lap_distances(*c.c.a, c.c.lap_a), c.length) +
           page_script() + "</body></html>\n";
}

} // namespace

std::string write_compare_page(const std::vector<Compared>& pairs, const std::string& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    std::string path = (fs::path(folder) / "compare.html").string();
    check_writable(path);
    write_file(path, page(gather(pairs)));
    return path;
}

} // namespace lxtool
