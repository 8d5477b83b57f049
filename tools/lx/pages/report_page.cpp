#include "report_page.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <optional>

#include "analysed.h"
#include "driver_views.h"
#include "figures.h"
#include "markup.h"
#include "matching.h"
#include "page_parts.h"

namespace fs = std::filesystem;

namespace lxtool {

namespace {

// Laps overlaid on the charts: beyond this many the page grows without
// showing more.
constexpr std::size_t MOST_DRAWN = 12;

struct LapInfo {
    lx_lap_info info{};
    std::string time, gap;
    double top_kmh = 0;
    bool racing = false, drawn = false;
};

// A full lap that is not slow races; the others (slow laps, out-laps, in-laps,
// laps with a missed beacon) are drawn thin and grey.
struct Report {
    std::string name;
    int fastest = 0; // the reference lap: the fastest full one; -1: there is none
    int shown = 0;   // the lap of the map and the distance scale: the fastest, else the longest
    std::string rate;
    std::vector<LapInfo> laps;
    std::vector<int> drawn;            // laps on the charts, the fastest last
    double chart_length = 0;           // metres across the charts
    std::vector<std::string> channels; // which channels the math used, and why
};

// A measure rounded to decimals, with its unit.
std::string measure(double value, int decimals, const char* unit) {
    return svg::fixed(value, decimals) + " " + unit;
}

// Why the sections that set laps against a reference lap stay empty without one.
constexpr const char* NO_FULL_LAP = "the session has no full lap to set the others against";

// The fastest, then racing laps by time, then the others by time, up to MOST_DRAWN.
std::vector<int> drawn_laps(const Report& r) {
    std::vector<int> order;
    for (int lap = 0; lap < int(r.laps.size()); ++lap)
        if (lap != r.fastest) order.push_back(lap);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const LapInfo& la = r.laps[std::size_t(a)];
        const LapInfo& lb = r.laps[std::size_t(b)];
        if (la.racing != lb.racing) return la.racing;
        return la.info.laptime < lb.info.laptime;
    });
    order.resize(std::min(order.size(), MOST_DRAWN - (r.fastest >= 0)));
    std::reverse(order.begin(), order.end()); // the slowest drawn first, underneath
    if (r.fastest >= 0) order.push_back(r.fastest);
    return order;
}

int longest_lap(const Report& r) {
    auto shorter = [](const LapInfo& x, const LapInfo& y) { return x.info.length < y.info.length; };
    return int(std::max_element(r.laps.begin(), r.laps.end(), shorter) - r.laps.begin());
}

// The laps asked for, each once, the fastest last when it is one of them.
std::vector<int> chosen_laps(const Report& r, const std::vector<int>& asked) {
    std::vector<int> laps;
    for (int lap : asked)
        if (std::find(laps.begin(), laps.end(), lap) == laps.end()) laps.push_back(lap);
    auto fastest = std::find(laps.begin(), laps.end(), r.fastest);
    if (fastest != laps.end()) std::rotate(fastest, fastest + 1, laps.end());
    return laps;
}

Report gather(const Session& s, const Analysed& a, const std::vector<std::string>& channels,
              const std::vector<int>& show_laps) {
    Report r;
    r.name = fs::path(s.source).filename().string();
    r.channels = channels;
    r.fastest = a.info.ref_lap;
    if (s.laps() == 0) refuse(s.source + " has no laps");
    r.rate = rate_text(s.info());
    for (int lap = 0; lap < s.laps(); ++lap) {
        LapInfo l;
        l.info = a.laps[std::size_t(lap)].info;
        l.time = laptime_text(l.info.laptime);
        l.gap = signed_seconds(a.laps[std::size_t(lap)].gap);
        for (double v : speed_kmh(s, lap)) l.top_kmh = std::max(l.top_kmh, v);
        l.racing = l.info.lap_class == LX_LAP_FULL && !l.info.slow;
        r.laps.push_back(l);
    }
    r.drawn = show_laps.empty() ? drawn_laps(r) : chosen_laps(r, show_laps);
    for (int lap : r.drawn) r.laps[std::size_t(lap)].drawn = true;
    r.shown = r.fastest >= 0 ? r.fastest : longest_lap(r);
    r.chart_length = r.laps[std::size_t(r.shown)].info.length;
    return r;
}

std::string lap_note(const Report& r, int lap) {
    const LapInfo& l = r.laps[std::size_t(lap)];
    std::string note = lap == r.fastest                  ? "fastest"
                       : l.info.lap_class != LX_LAP_FULL ? class_name(l.info.lap_class)
                       : l.racing                        ? ""
                                                         : "slow";
    if (!l.drawn) note += note.empty() ? "not in the charts" : ", not in the charts";
    return note;
}

svg::Pen lap_pen(const Report& r, int lap) {
    if (lap == r.fastest) return {"#111111", 2.6};
    const LapInfo& l = r.laps[std::size_t(lap)];
    if (!l.racing) return {"#9a9a9a", 0.8};
    return {svg::lap_colour(lap), 1.5};
}

std::string lap_label(const Report& r, int lap) {
    const LapInfo& l = r.laps[std::size_t(lap)];
    std::string label = "lap " + lap_name(l.info) + "  " + l.time;
    if (lap == r.fastest) label += "  fastest";
    return label;
}

std::string lap_table(const Report& r) {
    std::string h = "<table class='laps'><thead><tr><th>lap</th><th>time</th><th>gap</th>"
                    "<th>length</th><th>top speed</th><th>samples</th><th></th></tr></thead>"
                    "<tbody>\n";
    for (int lap = 0; lap < int(r.laps.size()); ++lap) {
        const LapInfo& l = r.laps[std::size_t(lap)];
        std::string swatch = l.drawn ? lap_pen(r, lap).colour : "transparent";
        h += std::string("<tr") + (lap == r.fastest ? " class='best'" : "") +
             (l.drawn ? " data-lap='" + std::to_string(lap + 1) + "'" : "") + ">";
        h += "<td><span class='swatch' style='background:" + swatch + "'></span>" +
             svg::escape(lap_name(l.info)) + "</td><td>" + l.time + "</td>";
        h += "<td>" + l.gap + "</td>";
        h += "<td>" + measure(l.info.length, 0, "m") + "</td>";
        h += "<td>" + measure(l.top_kmh, 0, "km/h") + "</td>";
        h += "<td>" + std::to_string(l.info.samples) + "</td>";
        h += "<td class='note'>" + svg::escape(lap_note(r, lap)) + "</td></tr>\n";
    }
    return h + "</tbody></table>\n";
}

// The corners and sectors; a failure of either leaves the rest of the page
// and puts the reason in its place.
struct Analysis {
    std::string corner_failure, sector_failure;
    int cuts_from = LX_CUTS_SHAPE;                                  // lx_analysis_info.cuts_from
    std::vector<lx_corner> corners;                                 // the reference lap's
    std::vector<lx_corner_summary> summary;                         // over the full laps
    std::vector<std::pair<int, std::vector<lx_stretch>>> stretches; // per full lap
    SectorTable sectors;
};

Analysis corners_and_sectors(const Session& s, const Analysed& analysed, const Report& r) {
    Analysis a;
    a.cuts_from = analysed.info.cuts_from;
    if (r.fastest < 0) {
        a.corner_failure = a.sector_failure = NO_FULL_LAP;
        return a;
    }
    try {
        a.corners = lap_corners(s, r.fastest, &a.corner_failure);
        a.summary = corner_summary(s);
        for (int lap = 0; lap < s.laps(); ++lap)
            if (r.laps[std::size_t(lap)].info.lap_class == LX_LAP_FULL)
                a.stretches.push_back({lap, lap_stretches(s, lap)});
    } catch (const Failure& f) {
        a.corner_failure = f.message;
    }
    try {
        a.sectors = sector_table(s, analysed);
    } catch (const Failure& f) {
        a.sector_failure = f.message;
    }
    return a;
}

// As wide as the charts; a tall track is drawn narrower, centred.
constexpr double MAP_WIDTH = 1100, MAP_HEIGHT_MOST = 620;

// Where the map of the fastest lap lies in its figure.
svg::Box map_area(const Session& s, const Report& r) {
    double aspect = std::clamp(map_aspect(s, r.shown), 0.3, 1.2);
    double height = std::min((MAP_WIDTH - 40) * aspect, MAP_HEIGHT_MOST);
    double width = height / aspect;
    return {(MAP_WIDTH - width) / 2, 50, width, height};
}

std::string map_figure(const Session& s, const Report& r, const Analysis& a) {
    constexpr double w = MAP_WIDTH;
    svg::Box area = map_area(s, r);
    double h = area.h + 120;
    std::vector<double> kmh = speed_kmh(s, r.shown);
    auto [lo, hi] = std::minmax_element(kmh.begin(), kmh.end());
    std::string body = "<text x='10' y='20' class='heading'>Track map, lap " +
                       lap_name(r.laps[std::size_t(r.shown)].info) +
                       (r.fastest >= 0 ? " (fastest), corners numbered" : " (the longest)") +
                       "</text>\n";
    body += track_map(s, r.shown, area, kmh, 0.0f);
    body += corner_markers(a.corners, map_points(s, r.shown, area, 0.0f), lap_distances(s, r.shown),
                           area);
    body += map_cursor();
    body += speed_bar(w / 2 - 140, h - 36, 280, *lo, *hi);
    return with_attributes(svg::document(w, h, body, "Track map of the fastest lap"), "id='map'");
}

// Where the map comes from GPS, how far dead reckoning lies from it.
std::string gps_caption(const Session& s) {
    std::vector<std::string> lines = reckoning_lines(s);
    if (lines.empty()) return "";
    std::string text = "Drawn from GPS. The map dead-reckoned from speed and lateral g lies from "
                       "it (RMS after the best rotation and shift), per full lap: ";
    for (std::size_t i = 0; i < lines.size(); ++i) text += (i ? "; " : "") + lines[i];
    return "<figcaption>" + svg::escape(text) + ".</figcaption>";
}

// The drawn laps overlaid on one distance scale, the fastest last.
std::string overlay(const Session& s, const Report& r, const ChartSpec& spec,
                    std::vector<std::pair<double, int>>* ends = nullptr) {
    std::string lines = clip_to(spec.area, "clip" + std::to_string(spec.channel));
    for (int lap : r.drawn) {
        ChartLine line = chart_line(s, lap, spec, lap_pen(r, lap));
        lines += lap_group(std::to_string(lap + 1), line.svg);
        if (ends && !line.svg.empty()) ends->push_back({line.end_y, lap});
    }
    return lines + "</g>\n";
}

std::string with_legend(const Report& r, std::string body, const svg::Box& area, double width,
                        double* height) {
    std::vector<svg::LegendEntry> entries;
    for (auto lap = r.drawn.rbegin(); lap != r.drawn.rend(); ++lap)
        entries.push_back({lap_pen(r, *lap), lap_label(r, *lap)});
    double legend_height = 0;
    body += svg::legend(entries, area.x, area.y + area.h + 58, width - area.x - 20, 190,
                        &legend_height);
    *height = area.y + area.h + 58 + legend_height + 8;
    return body;
}

std::string speed_figure(const Session& s, const Report& r) {
    constexpr double w = 1100;
    svg::Box area{70, 34, w - 100, 330};
    double top = 0, bottom = INFINITY;
    for (int lap : r.drawn) {
        top = std::max(top, r.laps[std::size_t(lap)].top_kmh);
        for (double v : speed_kmh(s, lap)) bottom = std::min(bottom, v);
    }
    // fitted to the drawn laps, on round numbers
    svg::Axis x{0, r.chart_length, "distance into the lap (m)"};
    svg::Axis y{svg::round_down(std::max(0.0, bottom * 0.95)), svg::round_up(top * 1.05),
                "speed (km/h)"};
    ChartSpec spec{derived_channel(s, LX_CHANNEL_SPEED), float(y.lo / KMH), float(y.hi / KMH),
                   float(r.chart_length), area};
    std::string body = "<text x='10' y='20' class='heading'>Speed against distance</text>\n" +
                       svg::axes(area, x, y) + overlay(s, r, spec);
    double height = 0;
    body = with_legend(r, body, area, w, &height);
    return with_attributes(svg::document(w, height, body, "Speed against distance"),
                           "id='speed-chart' " + data_area(area));
}

// The vertical range of the time difference over the drawn racing laps;
// slow laps may run off it.
std::pair<double, double> delta_range(const Session& s, const Report& r) {
    double lo = 0, hi = 0;
    for (int lap : r.drawn) {
        if (!r.laps[std::size_t(lap)].racing) continue;
        for (double v : time_diff(s, lap).diff) lo = std::min(lo, v), hi = std::max(hi, v);
    }
    return {svg::round_down(lo - 0.05), svg::round_up(hi + 0.05)};
}

// Each full lap's gap beside the end of its curve, moved apart where they
// would overlap.
std::string gap_labels(const Report& r, const svg::Box& area,
                       std::vector<std::pair<double, int>> ends) {
    constexpr double line_height = 11;
    std::sort(ends.begin(), ends.end());
    std::string b;
    double next_free = area.y;
    for (const auto& [y, lap] : ends) {
        const LapInfo& l = r.laps[std::size_t(lap)];
        if (l.gap.empty()) continue;
        double at = std::max(std::clamp(y, area.y, area.y + area.h), next_free);
        next_free = at + line_height;
        b += "<text x='" + svg::fixed(area.x + area.w + 4, 1) + "' y='" + svg::fixed(at + 4, 1) +
             "' class='tick' fill='" + lap_pen(r, lap).colour + "'>" + l.gap + "</text>\n";
    }
    return b;
}

std::string delta_figure(const Session& s, const Report& r) {
    constexpr double w = 1100;
    svg::Box area{70, 34, w - 130, 300};
    auto [lo, hi] = delta_range(s, r);
    svg::Axis x{0, r.chart_length, "distance into the lap (m)"};
    svg::Axis y{lo, hi, "time difference (s)"};
    std::vector<std::pair<double, int>> ends;
    std::string lines = clip_to(area, "clip-diff");
    for (int lap : r.drawn) {
        if (r.laps[std::size_t(lap)].info.lap_class != LX_LAP_FULL) continue;
        TimeDiff d = time_diff(s, lap);
        ChartLine line = curve_line(d.distance, d.diff, area, x, y, lap_pen(r, lap));
        lines += lap_group(std::to_string(lap + 1), line.svg);
        if (!line.svg.empty()) ends.push_back({line.end_y, lap});
    }
    lines += "</g>\n";
    std::string body = "<text x='10' y='20' class='heading'>Time difference to lap " +
                       lap_name(r.laps[std::size_t(r.fastest)].info) +
                       " (fastest): above zero a lap is behind, below it is ahead; at the "
                       "right, each lap's gap</text>\n" +
                       svg::axes(area, x, y) + lines + gap_labels(r, area, ends);
    double height = 0;
    body = with_legend(r, body, area, w, &height);
    return with_attributes(svg::document(w, height, body, "Time difference to the fastest lap"),
                           data_area(area));
}

struct CutLap {
    double start, length; // metres into the session
    std::string time, note;
};

struct Starts {
    std::string reference; // the matched lap, named
    std::string failure;   // why there are none, when matching could not run
    std::vector<Match> matches;
    std::vector<CutLap> cut; // only those between two lap starts that matching found
};

// Where each sample lies, in metres from the session's start.
std::vector<double> session_metres(const Session& s) {
    int distance = derived_channel(s, LX_CHANNEL_DISTANCE);
    std::vector<double> metres;
    double lap_start = 0;
    for (int lap = 0; lap < s.laps(); ++lap) {
        for (float d : lap_samples(s, lap, distance)) metres.push_back(lap_start + double(d));
        lap_start += lap_info(s, lap).length;
    }
    return metres;
}

bool near_a_match(double at, const std::vector<double>& found) {
    for (double f : found)
        if (std::fabs(at - f) <= BEACON_TOLERANCE) return true;
    return false;
}

std::vector<double> match_metres(const Session& s, const std::vector<Match>& matches) {
    std::vector<double> lap_start{0};
    for (int lap = 0; lap < s.laps(); ++lap)
        lap_start.push_back(lap_start.back() + lap_info(s, lap).length);
    std::vector<double> at;
    for (const Match& m : matches) at.push_back(lap_start[std::size_t(m.lap)] + m.distance);
    return at;
}

// The cut keeps every sample in order, so a cut lap's first sample places it
// in the session; it was found when it starts and ends at a match (or at a
// beacon that one confirms).
std::vector<CutLap> found_laps(const Session& s, const Session& cut,
                               const std::vector<Match>& matches) {
    std::vector<double> metres = session_metres(s), found = match_metres(s, matches);
    std::vector<CutLap> laps;
    std::size_t first = 0;
    for (int lap = 0; lap < cut.laps(); ++lap) {
        lx_lap_info l = lap_info(cut, lap);
        std::size_t end = first + std::size_t(l.samples);
        if (end < metres.size() && near_a_match(metres[first], found) &&
            near_a_match(metres[end], found))
            laps.push_back({metres[first], metres[end] - metres[first], laptime_text(l.laptime),
                            origin_text(l)});
        first = end;
    }
    return laps;
}

// The rest of the report stands without lap matching, so its failure only
// replaces this section with the reason.
Starts find_starts(const Session& s, const LapMatching& matching) try {
    Starts st;
    st.reference = "lap " + lap_name(lap_info(*matching.reference, matching.lap));
    if (matching.reference->source != s.source)
        st.reference += " of " + fs::path(matching.reference->source).filename().string();
    Session cut =
        match_and_cut(*matching.reference, matching.lap, s, LX_CUT_SNAP, BEACON_TOLERANCE);
    st.matches = marked_matches(s);
    st.cut = found_laps(s, cut, st.matches);
    return st;
} catch (const Failure& f) {
    Starts none;
    none.failure = f.message;
    return none;
}

// Distance along the whole session mapped across the lap-starts figure.
struct Timeline {
    svg::Box area;
    double total;
    double px(double metres) const { return area.x + metres / total * area.w; }
};

// A row of blocks, one per lap, labelled with its number and time.
std::string band(const Timeline& t, double y, const std::vector<double>& starts,
                 const std::vector<double>& lengths, const std::vector<std::string>& labels,
                 const char* title) {
    using markup::attr;
    std::string b = markup::text("text",
                                 {attr("x", t.area.x - 8, 1), attr("y", y + 24, 1),
                                  attr("class", "label"), attr("text-anchor", "end")},
                                 title) +
                    "\n";
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        double x0 = t.px(starts[i]), x1 = t.px(starts[i] + lengths[i]);
        b += markup::empty("rect",
                           {attr("x", x0, 1), attr("y", y, 1),
                            attr("width", std::max(0.0, x1 - x0), 1), attr("height", "36"),
                            attr("fill", i % 2 ? "#dde6f0" : "#c6d4e4"), attr("stroke", "white")}) +
             "\n";
        if (x1 - x0 >= double(labels[i].size()) * 6.5 + 4) // only where the label fits
            b += markup::text("text",
                              {attr("x", (x0 + x1) / 2, 1), attr("y", y + 22, 1),
                               attr("class", "tick"), attr("text-anchor", "middle")},
                              labels[i]) +
                 "\n";
    }
    return b;
}

// A triangle at each match, with its distance from the nearest beacon.
std::string match_marks(const Timeline& t, const std::vector<double>& lap_start,
                        const std::vector<Match>& matches) {
    using markup::attr;
    std::string b;
    double y = t.area.y, last_label = -1e9;
    for (const Match& m : matches) {
        double at = lap_start[std::size_t(m.lap)] + m.distance, x = t.px(at);
        bool beacon = m.near_beacon();
        const char* colour = beacon ? "#c0392b" : "#e67e22";
        b += markup::empty("path", {attr("d", "M " + svg::fixed(x, 1) + " " +
                                                  svg::fixed(y + 82, 1) + " l -6 -11 l 12 0 z"),
                                    attr("fill", colour)}) +
             markup::empty("line", {attr("x1", x, 1), attr("y1", y + 42, 1), attr("x2", x, 1),
                                    attr("y2", y + 120, 1), attr("stroke", colour),
                                    attr("stroke-width", "1.5"), attr("stroke-dasharray", "3 2")}) +
             "\n";
        if (x - last_label < 48) continue; // labels of close matches would overlap
        last_label = x;
        std::string distance = (m.from_beacon >= 0 ? "+" : "") + measure(m.from_beacon, 0, "m");
        b +=
            markup::text("text",
                         {attr("x", x, 1), attr("y", y + 134, 1), attr("class", "tick"),
                          attr("text-anchor", "middle"), attr("fill", beacon ? "#333" : "#d35400")},
                         beacon ? distance : "no beacon") +
            "\n";
    }
    return b;
}

std::string beacon_lines(const Timeline& t, const std::vector<double>& lap_start) {
    using markup::attr;
    std::string b;
    for (std::size_t i = 1; i + 1 < lap_start.size(); ++i) {
        double x = t.px(lap_start[i]);
        b += markup::empty("line", {attr("x1", x, 1), attr("y1", t.area.y - 6, 1), attr("x2", x, 1),
                                    attr("y2", t.area.y + 42, 1), attr("stroke", "#1d3f6e"),
                                    attr("stroke-width", "2.5")}) +
             "\n";
    }
    return b;
}

std::string starts_legend(double x, double y) {
    using markup::attr;
    auto legend_text = [&](double at, const char* text) {
        return markup::text("text",
                            {attr("x", at, 1), attr("y", y + 4, 1), attr("class", "legend")}, text);
    };
    return markup::empty("line", {attr("x1", x, 1), attr("y1", y, 1), attr("x2", x + 22, 1),
                                  attr("y2", y, 1), attr("stroke", "#1d3f6e"),
                                  attr("stroke-width", "2.5")}) +
           legend_text(x + 28, "beacon seen by the logger") +
           markup::empty("path", {attr("d", "M " + svg::fixed(x + 260, 1) + " " +
                                                svg::fixed(y + 6, 1) + " l -6 -11 l 12 0 z"),
                                  attr("fill", "#c0392b")}) +
           legend_text(x + 272, "lap start found by matching, with its distance from the beacon "
                                "(orange: no beacon there)") +
           "\n";
}

// Two bands over the whole session: the logger's laps between its beacons,
// and the laps after cutting that matching found, with the lap starts.
std::string starts_figure(const Report& r, const Starts& st) {
    constexpr double w = 1100, h = 250;
    std::vector<double> lap_start{0}, starts;
    std::vector<std::string> labels;
    std::vector<double> lengths;
    for (std::size_t i = 0; i < r.laps.size(); ++i) {
        lap_start.push_back(lap_start.back() + r.laps[i].info.length);
        lengths.push_back(r.laps[i].info.length);
        labels.push_back(std::to_string(i + 1) + ": " + r.laps[i].time);
    }
    Timeline t{{110, 40, w - 140, 150}, lap_start.back()};
    std::string b = "<text x='10' y='20' class='heading'>Lap starts: the logger's beacons and "
                    "the starts that matching " +
                    svg::escape(st.reference) + " found</text>\n";
    b += band(t, t.area.y, lap_start, lengths, labels, "logger laps");
    labels.clear();
    lengths.clear();
    for (std::size_t i = 0; i < st.cut.size(); ++i) {
        labels.push_back(std::to_string(i + 1) + ": " + st.cut[i].time);
        starts.push_back(st.cut[i].start);
        lengths.push_back(st.cut[i].length);
    }
    b += band(t, t.area.y + 84, starts, lengths, labels, "after cutting");
    b += beacon_lines(t, lap_start) + match_marks(t, lap_start, st.matches);
    b += starts_legend(t.area.x, h - 22);
    return svg::document(w, h, b, "Lap starts");
}

std::string cut_table(const Starts& st) {
    std::string h = "<table class='laps'><thead><tr><th>lap</th><th>time</th><th>length</th>"
                    "<th>origin</th></tr></thead><tbody>\n";
    for (std::size_t i = 0; i < st.cut.size(); ++i) {
        const std::string& note = st.cut[i].note;
        h += "<tr><td>" + std::to_string(i + 1) + "</td><td>" + st.cut[i].time + "</td><td>" +
             measure(st.cut[i].length, 0, "m") + "</td><td class='note'>" + svg::escape(note) +
             "</td></tr>\n";
    }
    return h + "</tbody></table>\n";
}

double total_km(const Report& r) {
    double metres = 0;
    for (const LapInfo& l : r.laps) metres += l.info.length;
    return metres / 1000;
}

// What the overlays show and what they leave out.
std::string drawn_caption(const Report& r) {
    std::size_t left_out = r.laps.size() - r.drawn.size();
    std::string text = r.fastest < 0
                           ? std::string("No full lap: every lap thin and grey")
                           : "Lap " + lap_name(r.laps[std::size_t(r.fastest)].info) +
                                 " (fastest) in black, full laps within 7 % of its time in "
                                 "colour, other laps thin and grey";
    if (left_out == 0) return text + ".";
    return text + "; " + count_of(r.drawn.size(), "lap") + " drawn, the other " +
           count_of(left_out, "lap") +
           " (the slowest) left out to keep the page light: the "
           "table lists every lap.";
}

std::string channels_note(const Report& r) {
    std::string h = "<p class='summary'>";
    for (const std::string& line : r.channels) h += svg::escape(line) + "<br>";
    return h + "</p>\n";
}

Trace trace(const Session& s, const Report& r, int lap) {
    return {&s, lap, std::to_string(lap + 1), lap_label(r, lap), lap_pen(r, lap)};
}

// The drawn full laps but the fastest, in lap order, with their corner gains.
std::vector<CornerGains> drawn_gains(const Session& s, const Report& r, const Analysis& a) {
    std::vector<CornerGains> gains;
    for (const auto& [lap, stretches] : a.stretches)
        if (lap != r.fastest && r.laps[std::size_t(lap)].drawn)
            gains.push_back({trace(s, r, lap), stretches});
    return gains;
}

std::string sentence(const std::string& text) {
    return "<p class='summary'>" + svg::escape(text) + "</p>\n";
}

std::string corner_section(const Session& s, const Report& r, const Analysis& a) {
    std::string h = "<h2>Corners</h2>";
    if (!a.corner_failure.empty()) return h + sentence("No corners: " + a.corner_failure + ".");
    std::string ref = "lap " + lap_name(r.laps[std::size_t(r.fastest)].info);
    if (a.corners.empty())
        return h + sentence("No corners found on " + ref +
                            ": its curvature never stays high "
                            "enough, long enough, at speed.");
    h += sentence("Found from each lap's curvature alone, numbered from the start line and paired "
                  "by place. Minimum speeds over the full laps; most lost: the most time another "
                  "full lap took over the corner beyond " +
                  ref + "'s.");
    h += corner_table_html(s, a.summary, r.fastest);
    std::vector<CornerGains> gains = drawn_gains(s, r, a);
    if (gains.empty())
        return h + sentence("No other full lap in the charts to set against " + ref + ".");
    return h + "<figure>" + corner_bars_figure(a.corners, gains, ref + " (fastest)") +
           "<figcaption>Each drawn full lap's time from corner entry to exit minus " + ref +
           "'s (above zero: lost), at places carried by the lap's length.</figcaption></figure>\n";
}

std::string sector_section(const Session& s, const Report& r, const Analysis& a) {
    std::string h = "<h2>Sectors</h2>";
    if (!a.sector_failure.empty()) return h + sentence("No sectors: " + a.sector_failure + ".");
    std::string cuts;
    for (double c : a.sectors.cuts) cuts += (cuts.empty() ? "" : " and ") + measure(c, 0, "m");
    if (cuts.empty()) cuts = "nothing (one sector)";
    h += sentence("Cut at " + cuts + " of lap " + lap_name(r.laps[std::size_t(r.fastest)].info) +
                  cuts_from_words(a.cuts_from) +
                  ", carried to each full lap by its length; * marks each sector's best. "
                  "Theoretical: the best sectors summed. "
                  "Optimal: the fastest lap put together from stretches actually driven, joined "
                  "on straights where the two laps' speeds differ by less than " +
                  measure(LX_OPTIMAL_TOLERANCE * KMH, 1, "km/h") + ".");
    return h + sector_table_html(s, a.sectors);
}

// What the script needs: every drawn full lap, sampled along the distance.
std::string hover_section(const Session& s, const Report& r) {
    std::vector<Trace> traces;
    for (auto lap = r.drawn.rbegin(); lap != r.drawn.rend(); ++lap)
        if (r.laps[std::size_t(*lap)].info.lap_class == LX_LAP_FULL)
            traces.push_back(trace(s, r, *lap));
    std::vector<Point> map = map_points(s, r.shown, map_area(s, r), 0.0f);
    return hover_data(traces, map, lap_distances(s, r.shown), r.chart_length) + page_script();
}

// Venue, vehicle, driver, date and logger as the file states them.
std::string facts_text(const lx_session_info& info) {
    const std::pair<const char*, const char*> facts[] = {
        {"venue", info.venue}, {"vehicle", info.vehicle}, {"driver", info.driver},
        {"date", info.date},   {"time", info.time},       {"logger", info.logger}};
    std::string text;
    for (const auto& [name, value] : facts)
        if (value[0]) text += std::string(text.empty() ? "" : ", ") + name + " " + value;
    if (text.empty()) return "";
    text[0] = char(std::toupper(static_cast<unsigned char>(text[0])));
    return svg::escape(text) + ". ";
}

std::string starts_section(const Report& r, const Starts& st) {
    if (!st.failure.empty())
        return "<h2>Lap starts</h2>" + sentence("No lap matching: " + st.failure + ".");
    std::string h = "<h2>Lap starts</h2><figure>" + starts_figure(r, st) + "</figure>\n";
    h += "<h2>Laps after cutting</h2>";
    if (st.cut.empty())
        return h + sentence("Matching " + st.reference + " found no lap between two starts.");
    return h + sentence("The laps between two starts that matching " + st.reference + " found.") +
           cut_table(st);
}

// A lap's time minus the reference lap's along the distance, when there is one.
std::string delta_section(const Session& s, const Report& r) {
    std::string h = "<h2>Time difference</h2>";
    if (r.fastest < 0) return h + sentence(std::string("No time difference: ") + NO_FULL_LAP + ".");
    return h + "<figure>" + delta_figure(s, r) +
           "<figcaption>Each full lap's time minus the fastest lap's at the same share of their "
           "lengths, so each curve ends at the gap written beside it; the scale follows the "
           "racing laps, slow laps leave it. " +
           drawn_caption(r) + "</figcaption></figure>\n";
}

std::vector<Trace> drawn_traces(const Session& s, const Report& r) {
    std::vector<Trace> traces;
    for (int lap : r.drawn) traces.push_back(trace(s, r, lap));
    return traces;
}

std::string driver_section(const Session& s, const Report& r, const std::vector<int>& channels) {
    std::string h = "<h2>Driver and engine</h2>";
    if (channels.empty())
        return h + sentence("No channel plays the throttle, brake, RPM, gear or steering; name "
                            "some with --traces.");
    std::string names;
    for (int c : channels) names += (names.empty() ? "" : ", ") + channel_title(s, c);
    return h + "<figure>" + traces_figure(channels, drawn_traces(s, r), r.chart_length) +
           markup::text("figcaption", {},
                        "Channels by the role their titles give them (--traces names others): " +
                            names + ". On the speed chart's distance scale.") +
           "</figure>\n";
}

std::string gg_section(const Session& s, const Report& r) {
    std::string h = "<h2>g-g diagram</h2><figure>" +
                    gg_figure(drawn_traces(s, r), trace(s, r, r.shown)) +
                    "<figcaption>Lateral against longitudinal acceleration of every drawn lap, one "
                    "dot a sample; the dashed line joins lap " +
                    svg::escape(lap_name(r.laps[std::size_t(r.shown)].info)) +
                    "'s highest combined g in each 10 degree direction.</figcaption></figure>\n";
    return h;
}

std::string fastest_text(const Report& r) {
    if (r.fastest < 0) return "No full lap.";
    const LapInfo& best = r.laps[std::size_t(r.fastest)];
    return "Fastest: lap " + svg::escape(lap_name(best.info)) + " in " + best.time + " (" +
           measure(best.info.length, 0, "m") + "). Gap: a full lap's time minus the fastest's.";
}

std::string html_page(const Session& s, const Report& r, const std::optional<Starts>& st,
                      const Analysis& a, const ReportViews& views) {
    std::string h = "<!DOCTYPE html>\n<html lang='en'><head><meta charset='utf-8'><title>" +
                    svg::escape(r.name) + ": lap report</title>" + page_style() + "</head><body>\n";
    h += "<h1>" + svg::escape(r.name) + "</h1>\n<div class='summary'>" +
         count_of(r.laps.size(), "lap") + ", " + measure(total_km(r), 1, "km, ") + r.rate +
         " samples per second. " + facts_text(s.info()) + fastest_text(r) + "</div>\n";
    h += "<h2>Laps</h2>" + lap_table(r);
    h += "<h2>Track</h2><figure>" + map_figure(s, r, a) + gps_caption(s) + "</figure>\n";
    h += "<h2>Speed</h2><figure>" + speed_figure(s, r) + "<figcaption>On the distance scale of " +
         (r.fastest < 0 ? "the longest lap. " : "the fastest lap. ") + drawn_caption(r) +
         "</figcaption></figure>\n";
    h += driver_section(s, r, views.traces);
    h += delta_section(s, r);
    h += gg_section(s, r);
    h += corner_section(s, r, a) + sector_section(s, r, a);
    if (st) h += starts_section(r, *st);
    h += channels_note(r);
    h += "<p class='summary'>Made by lx from " + svg::escape(s.source) +
         ". Hover over the speed chart to read every lap at one place; click a lap in the table to "
         "hide or show it.</p>\n";
    return h + hover_section(s, r) + "</body></html>\n";
}

} // namespace

std::string report_page(const Session& s, const Analysed& analysed,
                        const std::vector<std::string>& channels, const LapMatching& matching,
                        const ReportViews& views) {
    Report r = gather(s, analysed, channels, views.show_laps);
    Analysis a = corners_and_sectors(s, analysed, r);
    std::optional<Starts> st;
    if (matching.reference) st = find_starts(s, matching);
    return html_page(s, r, st, a, views);
}

} // namespace lxtool
