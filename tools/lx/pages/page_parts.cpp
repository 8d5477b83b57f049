#include "page_parts.h"

#include "assets.h"
#include "markup.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lxtool {

namespace {

// A table cell of text.
std::string cell(const std::string& text, const char* cls = nullptr) {
    if (!cls) return markup::text("td", {}, text);
    return markup::text("td", {markup::attr("class", cls)}, text);
}

// The sample of a lap nearest a distance from its start line.
std::size_t sample_at(const std::vector<double>& distances, double metres) {
    auto it = std::lower_bound(distances.begin(), distances.end(), metres);
    if (it == distances.end()) return distances.empty() ? 0 : distances.size() - 1;
    std::size_t i = std::size_t(it - distances.begin());
    return i > 0 && metres - distances[i - 1] < *it - metres ? i - 1 : i;
}

} // namespace

markup::Attribute corner_from(const lx_corner& c) {
    return markup::attr("data-from", c.entry, 0);
}

markup::Attribute corner_to(const lx_corner& c) {
    return markup::attr("data-to", c.exit, 0);
}

std::string page_style() {
    return std::string("<style>\n") + assets::PAGE_CSS + "</style>";
}

std::string page_script() {
    return std::string("<script>\n") + assets::PAGE_JS + "</script>\n";
}

std::string lap_group(const std::string& key, const std::string& content) {
    return "<g class='lap' data-lap='" + key + "'>" + content + "</g>\n";
}

std::string data_area(const svg::Box& a) {
    return "data-area='" + svg::fixed(a.x, 1) + " " + svg::fixed(a.y, 1) + " " +
           svg::fixed(a.w, 1) + " " + svg::fixed(a.h, 1) + "'";
}

std::string with_attributes(const std::string& svg, const std::string& attributes) {
    const std::string open = "<svg ";
    std::size_t at = svg.find(open);
    if (at == std::string::npos) return svg;
    return svg.substr(0, at + open.size()) + attributes + " " + svg.substr(at + open.size());
}

std::string corner_table_html(const Session& s, const std::vector<lx_corner_summary>& corners,
                              int ref_lap) {
    auto number_of = [&](int lap) {
        return lap < 0 ? std::string() : std::to_string(lap_info(s, lap).number);
    };
    auto kmh = [](double speed) { return cell(svg::fixed(speed * KMH, 1)); };
    // the best of each speed and the lap that drove it
    auto best = [&](double speed, int lap) { return kmh(speed) + cell(number_of(lap)); };
    std::string ref = number_of(ref_lap);
    std::string h = "<table class='laps corners numeric'><thead><tr><th>corner</th><th>hand</th>"
                    "<th>apex</th><th>entry, lap " +
                    ref + "</th><th>min, lap " + ref + "</th><th>exit, lap " + ref +
                    "</th><th>best entry</th><th>lap</th><th>best min</th><th>lap</th>"
                    "<th>best exit</th><th>lap</th><th>most lost</th><th>on lap</th>"
                    "</tr></thead><tbody>\n";
    for (const lx_corner_summary& c : corners) {
        std::string lost = c.lost_lap < 0 ? "" : signed_seconds(c.most_lost) + " s";
        h += markup::start("tr", {corner_from(c.corner), corner_to(c.corner)}) +
             cell(std::to_string(c.corner.number)) + cell(hand(c.corner.direction)) +
             cell(svg::fixed(c.corner.apex, 0) + " m") + kmh(c.corner.entry_speed) +
             kmh(c.corner.min_speed) + kmh(c.corner.exit_speed) +
             best(c.best_entry_speed, c.best_entry_lap) + best(c.best_min_speed, c.best_min_lap) +
             best(c.best_exit_speed, c.best_exit_lap) + cell(lost) + cell(number_of(c.lost_lap)) +
             "</tr>\n";
    }
    return h + "</tbody></table>\n<p class='summary'>Speeds in km/h.</p>\n";
}

namespace {

std::string sector_head(const SectorTable& t) {
    std::string h = "<table class='laps sectors'><thead><tr><th>lap</th>";
    for (std::size_t k = 0; k <= t.cuts.size(); ++k)
        h += "<th>sector " + std::to_string(k + 1) + "</th>";
    return h + "<th>lap time</th><th></th></tr></thead><tbody>\n";
}

std::string best_row(const Session& s, const char* name, const Best& best, std::size_t sectors) {
    std::string h = std::string("<tr class='best'>") + cell(name);
    if (best.pieces.size() == sectors) {
        for (const lx_piece& p : best.pieces) h += cell(svg::fixed(p.time, 3));
    } else {
        h += "<td colspan='" + std::to_string(sectors) + "'></td>";
    }
    return h + cell(laptime_text(best.time)) + cell(pieces_text(s, best.pieces), "note") +
           "</tr>\n";
}

} // namespace

std::string sector_table_html(const Session& s, const SectorTable& t) {
    std::string h = sector_head(t);
    std::size_t sectors = t.cuts.size() + 1;
    for (const SectorRow& row : t.rows) {
        lx_lap_info l = lap_info(s, row.lap);
        h += "<tr>" + cell(lap_name(l));
        for (std::size_t k = 0; k < sectors && k < row.times.size(); ++k) {
            bool best = k < t.theoretical.pieces.size() && t.theoretical.pieces[k].lap == row.lap;
            h += cell(svg::fixed(row.times[k], 3) + (best ? " *" : ""),
                      best ? "best-sector" : nullptr);
        }
        h += cell(laptime_text(l.laptime)) + cell("") + "</tr>\n";
    }
    h += best_row(s, "theoretical", t.theoretical, sectors);
    h += best_row(s, "optimal", t.optimal, sectors);
    return h + "</tbody></table>\n";
}

namespace {

constexpr double MARKER_RADIUS = 7;
constexpr double MARKER_OFFSET = 16; // px from the apex to the marker's centre
constexpr double TANGENT_SPAN = 15;  // m either side of the apex for the bend's direction

// The unit vector from the apex into the bend (towards its centre), from the
// turn of the track around it.
Point inside_of(const std::vector<Point>& map, const std::vector<double>& distances, double apex) {
    const Point& a = map[sample_at(distances, apex - TANGENT_SPAN)];
    const Point& m = map[sample_at(distances, apex)];
    const Point& b = map[sample_at(distances, apex + TANGENT_SPAN)];
    double cross = (m.x - a.x) * (b.y - m.y) - (m.y - a.y) * (b.x - m.x);
    double tx = b.x - a.x, ty = b.y - a.y, size = std::hypot(tx, ty);
    if (size <= 0) return {0, -1};
    double side = cross >= 0 ? 1 : -1; // y grows downwards
    return {-ty / size * side, tx / size * side};
}

} // namespace

namespace {

// Where markers may go: the map's area and a margin around it.
struct Room {
    svg::Box bounds;
    const std::vector<Point>& map;
    std::vector<Point> placed;
};

// Whether a marker at p stays in bounds, clear of the track and of the markers placed.
bool clear_at(const Point& p, const Room& room) {
    const svg::Box& b = room.bounds;
    if (p.x < b.x || p.x > b.x + b.w || p.y < b.y || p.y > b.y + b.h) return false;
    auto near = [&](const std::vector<Point>& points, double gap) {
        return std::any_of(points.begin(), points.end(),
                           [&](const Point& q) { return std::hypot(p.x - q.x, p.y - q.y) < gap; });
    };
    return !near(room.placed, 2 * MARKER_RADIUS + 1) && !near(room.map, MARKER_RADIUS + 8);
}

// The first clear place at growing distances inside the bend, then outside,
// then turned ever further from the bend's axis; a leader line joins it to the apex.
Point marker_place(const Point& apex, const Point& in, const Room& room) {
    for (double offset = MARKER_OFFSET; offset <= 6 * MARKER_OFFSET; offset += MARKER_RADIUS)
        for (double degrees :
             {0.0, 180.0, 30.0, -30.0, 150.0, -150.0, 60.0, -60.0, 120.0, -120.0, 90.0, -90.0}) {
            double turn = degrees * std::numbers::pi / 180;
            double dx = in.x * std::cos(turn) - in.y * std::sin(turn);
            double dy = in.x * std::sin(turn) + in.y * std::cos(turn);
            Point at{apex.x + dx * offset, apex.y + dy * offset};
            if (clear_at(at, room)) return at;
        }
    return {apex.x + in.x * MARKER_OFFSET, apex.y + in.y * MARKER_OFFSET};
}

// A numbered circle at `at` joined to its apex.
std::string corner_marker(const Point& apex, const Point& at, int number) {
    using markup::attr;
    return markup::empty("line",
                         {attr("x1", apex.x, 1), attr("y1", apex.y, 1), attr("x2", at.x, 1),
                          attr("y2", at.y, 1), attr("stroke", "#111"), attr("stroke-width", "1")}) +
           markup::empty("circle",
                         {attr("cx", at.x, 1), attr("cy", at.y, 1), attr("r", MARKER_RADIUS, 0),
                          attr("fill", "white"), attr("stroke", "#111")}) +
           markup::text("text",
                        {attr("x", at.x, 1), attr("y", at.y + 3.5, 1), attr("class", "tick"),
                         attr("text-anchor", "middle"), attr("font-weight", "bold")},
                        std::to_string(number)) +
           "\n";
}

} // namespace

std::string corner_markers(const std::vector<lx_corner>& corners, const std::vector<Point>& map,
                           const std::vector<double>& distances, const svg::Box& area) {
    if (map.empty() || distances.size() != map.size()) return "";
    constexpr double margin = 2 * MARKER_RADIUS;
    // the start dot and its label, where track_map writes them
    Room room{{area.x - margin, area.y - margin, area.w + 2 * margin, area.h + 2 * margin},
              map,
              {map[0], {map[0].x + 18, map[0].y - 14}, {map[0].x + 34, map[0].y - 14}}};
    std::string b = "<g class='corners'>";
    for (const lx_corner& c : corners) {
        const Point& apex = map[sample_at(distances, c.apex)];
        Point at = marker_place(apex, inside_of(map, distances, c.apex), room);
        room.placed.push_back(at);
        b +=
            markup::element("g", {corner_from(c), corner_to(c)}, corner_marker(apex, at, c.number));
    }
    return b + "</g>\n";
}

namespace {

// The frame, the zero line and the gain ticks of the bar chart, and the corner
// numbers under the bars.
std::string bar_axes(const svg::Box& area, const svg::Axis& y,
                     const std::vector<lx_corner>& corners) {
    using markup::attr;
    std::string b;
    for (double t : svg::ticks(y.lo, y.hi, 6)) {
        double py = svg::y_pixel(area, y, t);
        b += markup::empty("line", {attr("x1", area.x, 1), attr("y1", py, 1),
                                    attr("x2", area.x + area.w, 1), attr("y2", py, 1),
                                    attr("class", t == 0 ? "zero" : "grid")}) +
             markup::text("text",
                          {attr("x", area.x - 6, 1), attr("y", py + 4, 1), attr("class", "tick"),
                           attr("text-anchor", "end")},
                          (t > 0 ? "+" : "") + svg::fixed(t, 2)) +
             "\n";
    }
    double group = area.w / double(corners.size());
    for (std::size_t i = 0; i < corners.size(); ++i)
        b += markup::text("text",
                          {attr("x", area.x + group * (double(i) + 0.5), 1),
                           attr("y", area.y + area.h + 16, 1), attr("class", "label"),
                           attr("text-anchor", "middle")},
                          std::to_string(corners[i].number)) +
             "\n";
    return b + svg::frame(area, "corner", y.label, 52);
}

svg::Axis gain_axis(const std::vector<CornerGains>& laps) {
    double lo = 0, hi = 0;
    for (const CornerGains& l : laps)
        for (const lx_stretch& st : l.stretches)
            if (st.corner) lo = std::min(lo, st.gain), hi = std::max(hi, st.gain);
    return {svg::round_down(lo - 0.01), svg::round_up(hi + 0.01), "lost (+) or gained (-), s"};
}

} // namespace

std::string corner_bars_figure(const std::vector<lx_corner>& corners,
                               const std::vector<CornerGains>& laps, const std::string& reference) {
    constexpr double w = 1100;
    svg::Box area{76, 34, w - 106, 240};
    svg::Axis y = gain_axis(laps);
    std::string body = "<text x='10' y='20' class='heading'>Time lost or gained in each corner "
                       "against " +
                       svg::escape(reference) + "</text>\n" + bar_axes(area, y, corners);
    double group = area.w / double(std::max<std::size_t>(corners.size(), 1));
    double bar = std::min(14.0, group * 0.8 / double(std::max<std::size_t>(laps.size(), 1)));
    double zero = svg::y_pixel(area, y, 0);
    std::vector<svg::LegendEntry> entries;
    for (std::size_t k = 0; k < laps.size(); ++k) {
        std::string bars;
        for (std::size_t i = 0; i < corners.size(); ++i) {
            std::size_t at = 2 * std::size_t(corners[i].number) - 1;
            if (at >= laps[k].stretches.size()) continue;
            double top = svg::y_pixel(area, y, laps[k].stretches[at].gain);
            double x =
                area.x + group * (double(i) + 0.5) + bar * (double(k) - double(laps.size()) / 2.0);
            bars += "<rect x='" + svg::fixed(x, 1) + "' y='" + svg::fixed(std::min(top, zero), 1) +
                    "' width='" + svg::fixed(bar * 0.9, 1) + "' height='" +
                    svg::fixed(std::fabs(top - zero), 1) + "' fill='" + laps[k].trace.pen.colour +
                    "'/>";
        }
        body += lap_group(laps[k].trace.key, bars);
        svg::Pen swatch;
        swatch.colour = laps[k].trace.pen.colour;
        swatch.width = 8;
        entries.push_back({swatch, laps[k].trace.label});
    }
    // a click on a corner's column zooms the distance charts to it
    for (std::size_t i = 0; i < corners.size(); ++i)
        body += markup::empty(
            "rect", {markup::attr("x", area.x + group * double(i), 1), markup::attr("y", area.y, 1),
                     markup::attr("width", group, 1), markup::attr("height", area.h, 1),
                     markup::attr("fill", "#000"), markup::attr("fill-opacity", "0"),
                     corner_from(corners[i]), corner_to(corners[i])});
    double legend_height = 0;
    body +=
        svg::legend(entries, area.x, area.y + area.h + 58, w - area.x - 20, 190, &legend_height);
    return svg::document(w, area.y + area.h + 66 + legend_height, body,
                         "Time lost or gained per corner");
}

} // namespace lxtool
