// lx report: one self-contained HTML page with the lap table, the fastest
// lap's map, speed and time difference of every lap, and the lap starts that
// matching found.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "commands.h"
#include "figures.h"
#include "matching.h"

namespace fs = std::filesystem;

namespace lxtool {

namespace {

struct ReportOptions {
    std::string file, output = "lx-report";
    MathOptions math;
};

// A lap within 107 % of the fastest time races; the others (out-laps,
// in-laps, laps with a missed beacon) are drawn in grey.
constexpr double RACING = 1.07;

struct LapInfo {
    LapText text;
    double seconds = 0, length = 0, top_kmh = 0;
    int npoints = 0;
    bool whole = false, racing = false;
    std::vector<double> tdiff, distance;
};

struct Report {
    std::string name;
    int fastest = 0;
    double sample_rate = 0;
    std::vector<LapInfo> laps;
    double chart_length = 0; // metres across the charts
};

std::string format(const char* pattern, double a, double b = 0, double c = 0) {
    char buf[256];
    std::snprintf(buf, sizeof buf, pattern, a, b, c);
    return buf;
}

Report gather(const Session& s) {
    Report r;
    r.name = fs::path(s.source).filename().string();
    r.fastest = fastest_lap(s);
    if (r.fastest < 0) refuse(s.source + " has no whole lap with a time to compare against");
    if (!lx_analysis_setup(s.handle()) || !lx_calc_time_diff(s.handle(), r.fastest, s.handle(), 0))
        refuse("the library could not compute the time difference");
    std::vector<bool> whole = whole_laps(s);
    int speed = lx_channel_number(s.handle(), 1), distance = lx_channel_number(s.handle(), 0);
    int tdiff = lx_channel_number(s.handle(), 8);
    for (int lap = 0; lap < s.laps(); ++lap) {
        LapSamples samples = read_lap(s, lap);
        LapInfo info;
        info.text = lap_text(s, lap);
        info.seconds = seconds_of(info.text.time);
        info.length = lx_lap_length(s.handle(), lap);
        info.npoints = samples.npoints;
        info.whole = whole[std::size_t(lap)];
        for (double v : speed_ms(samples, speed)) info.top_kmh = std::max(info.top_kmh, v * 3.6);
        info.tdiff = samples.channel(tdiff);
        info.distance = samples.channel(distance);
        r.sample_rate = samples.sample_rate;
        r.laps.push_back(info);
    }
    double best = r.laps[std::size_t(r.fastest)].seconds;
    for (LapInfo& l : r.laps) l.racing = l.whole && l.seconds <= best * RACING;
    r.chart_length = r.laps[std::size_t(r.fastest)].length;
    return r;
}

std::string lap_note(const Report& r, int lap) {
    const LapInfo& l = r.laps[std::size_t(lap)];
    const LapInfo& best = r.laps[std::size_t(r.fastest)];
    if (lap == r.fastest) return "fastest";
    double laps_in_one = l.length / best.length;
    if (laps_in_one > 1.8)
        return format("%.0f laps in one: beacon missed", std::round(laps_in_one));
    if (!l.whole) return "partial lap";
    if (!l.racing) return "slow lap";
    return "";
}

svg::Pen lap_pen(const Report& r, int lap) {
    if (lap == r.fastest) return {"#111111", 2.6};
    const LapInfo& l = r.laps[std::size_t(lap)];
    if (!l.racing) return {"#9a9a9a", 1.2, true};
    return {svg::lap_colour(lap), 1.5};
}

std::string lap_label(const Report& r, int lap) {
    const LapInfo& l = r.laps[std::size_t(lap)];
    std::string label = "lap " + std::to_string(lap + 1) + "  " + l.text.time;
    if (lap == r.fastest) label += "  fastest";
    return label;
}

std::string lap_table(const Report& r) {
    const LapInfo& best = r.laps[std::size_t(r.fastest)];
    std::string h = "<table class='laps'><thead><tr><th>lap</th><th>time</th><th>gap</th>"
                    "<th>length</th><th>top speed</th><th>samples</th><th></th></tr></thead>"
                    "<tbody>\n";
    for (int lap = 0; lap < int(r.laps.size()); ++lap) {
        const LapInfo& l = r.laps[std::size_t(lap)];
        svg::Pen pen = lap_pen(r, lap);
        h += std::string("<tr") + (lap == r.fastest ? " class='best'" : "") + ">";
        h += "<td><span class='swatch' style='background:" + pen.colour + "'></span>" +
             std::to_string(lap + 1) + "</td><td>" + l.text.time + "</td>";
        bool comparable = lap != r.fastest && l.length < 1.5 * best.length;
        h += "<td>" + (comparable ? format("+%.3f", l.seconds - best.seconds) : "") + "</td>";
        h += "<td>" + format("%.0f m", l.length) + "</td>";
        h += "<td>" + format("%.0f km/h", l.top_kmh) + "</td>";
        h += "<td>" + std::to_string(l.npoints) + "</td>";
        h += "<td class='note'>" + svg::escape(lap_note(r, lap)) + "</td></tr>\n";
    }
    return h + "</tbody></table>\n";
}

std::string map_figure(const Session& s, const Report& r) {
    constexpr double w = 440;
    double map_height = (w - 40) * std::clamp(map_aspect(s, r.fastest), 0.4, 1.2);
    double h = map_height + 120;
    std::vector<double> kmh = speed_ms(read_lap(s, r.fastest), lx_channel_number(s.handle(), 1));
    for (double& v : kmh) v *= 3.6;
    auto [lo, hi] = std::minmax_element(kmh.begin(), kmh.end());
    std::string body = "<text x='10' y='20' class='heading'>Track map, lap " +
                       std::to_string(r.fastest + 1) + " (fastest)</text>\n";
    body += track_map(s, r.fastest, {20, 50, w - 40, map_height}, kmh, 0.0f);
    body += speed_bar(w / 2 - 140, h - 36, 280, *lo, *hi);
    return svg::document(w, h, body, "Track map of the fastest lap");
}

// Every lap overlaid on one distance scale, the fastest drawn last.
std::string overlay(const Session& s, const Report& r, const ChartSpec& spec) {
    std::string lines = clip_to(spec.area, "clip" + std::to_string(spec.channel));
    for (int lap = 0; lap < int(r.laps.size()); ++lap)
        if (lap != r.fastest && !r.laps[std::size_t(lap)].racing)
            lines += chart_line(s, lap, spec, lap_pen(r, lap));
    for (int lap = 0; lap < int(r.laps.size()); ++lap)
        if (lap != r.fastest && r.laps[std::size_t(lap)].racing)
            lines += chart_line(s, lap, spec, lap_pen(r, lap));
    lines += chart_line(s, r.fastest, spec, lap_pen(r, r.fastest));
    return lines + "</g>\n";
}

std::string with_legend(const Report& r, std::string body, const svg::Box& area, double width,
                        double* height) {
    std::vector<svg::LegendEntry> entries;
    for (int lap = 0; lap < int(r.laps.size()); ++lap)
        entries.push_back({lap_pen(r, lap), lap_label(r, lap)});
    double legend_height = 0;
    body += svg::legend(entries, area.x, area.y + area.h + 58, width - area.x - 20, 190,
                        &legend_height);
    *height = area.y + area.h + 58 + legend_height + 8;
    return body;
}

std::string speed_figure(const Session& s, const Report& r) {
    constexpr double w = 1100;
    svg::Box area{70, 34, w - 100, 330};
    double top = 0;
    for (const LapInfo& l : r.laps) top = std::max(top, l.top_kmh);
    svg::Axis x{0, r.chart_length, "distance into the lap (m)"};
    svg::Axis y{0, svg::round_up(top * 1.05), "speed (km/h)"};
    ChartSpec spec{lx_channel_number(s.handle(), 1), 0.0f, float(y.hi / 3.6), float(r.chart_length),
                   area};
    std::string body = "<text x='10' y='20' class='heading'>Speed against distance, every "
                       "lap</text>\n" +
                       svg::axes(area, x, y) + overlay(s, r, spec);
    double height = 0;
    body = with_legend(r, body, area, w, &height);
    return svg::document(w, height, body, "Speed against distance");
}

std::string delta_figure(const Session& s, const Report& r) {
    constexpr double w = 1100;
    svg::Box area{70, 34, w - 100, 300};
    // The vertical range follows the racing laps; slow laps run off it.
    double lo = 0, hi = 0;
    for (const LapInfo& l : r.laps) {
        if (!l.racing) continue;
        for (std::size_t i = 0; i < l.tdiff.size(); ++i)
            if (l.distance[i] <= r.chart_length) {
                lo = std::min(lo, l.tdiff[i]);
                hi = std::max(hi, l.tdiff[i]);
            }
    }
    svg::Axis x{0, r.chart_length, "distance into the lap (m)"};
    svg::Axis y{svg::round_down(lo - 0.05), svg::round_up(hi + 0.05), "time difference (s)"};
    ChartSpec spec{lx_channel_number(s.handle(), 8), float(y.lo), float(y.hi),
                   float(r.chart_length), area};
    std::string body = "<text x='10' y='20' class='heading'>Time difference to lap " +
                       std::to_string(r.fastest + 1) +
                       " (fastest): above zero a lap is behind, below it is ahead</text>\n" +
                       svg::axes(area, x, y) + overlay(s, r, spec);
    double height = 0;
    body = with_legend(r, body, area, w, &height);
    return svg::document(w, height, body, "Time difference to the fastest lap");
}

struct Starts {
    std::string failure; // why there are none, when matching could not run
    std::vector<Match> matches;
    std::vector<double> cut_lengths;
    std::vector<LapText> cut_texts;
};

// The rest of the report stands without lap matching, so its failure only
// replaces this section with the reason.
Starts find_starts(const Session& s, const Report& r) try {
    Starts st;
    compute_error_channel(s, r.fastest, s);
    st.matches = locate_laps(s, r.fastest, s);
    Session cut = cut_session(s, r.fastest, s, 1, 50.0f);
    for (int lap = 0; lap < cut.laps(); ++lap) {
        st.cut_lengths.push_back(lx_lap_length(cut.handle(), lap));
        st.cut_texts.push_back(lap_text(cut, lap));
    }
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
std::string band(const Timeline& t, double y, const std::vector<double>& lengths,
                 const std::vector<std::string>& labels, const char* title) {
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "<text x='%.1f' y='%.1f' class='label' text-anchor='end'>%s"
                  "</text>\n",
                  t.area.x - 8, y + 24, title);
    std::string b = buf;
    double at = 0;
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        double x0 = t.px(at), x1 = t.px(at + lengths[i]);
        std::snprintf(buf, sizeof buf,
                      "<rect x='%.1f' y='%.1f' width='%.1f' height='36' fill='%s' "
                      "stroke='white'/>\n",
                      x0, y, std::max(0.0, x1 - x0), i % 2 ? "#dde6f0" : "#c6d4e4");
        b += buf;
        if (x1 - x0 >= double(labels[i].size()) * 6.5 + 4) { // only where the label fits
            std::snprintf(buf, sizeof buf,
                          "<text x='%.1f' y='%.1f' class='tick' text-anchor='middle'>%s</text>\n",
                          (x0 + x1) / 2, y + 22, svg::escape(labels[i]).c_str());
            b += buf;
        }
        at += lengths[i];
    }
    return b;
}

// A triangle at each match, with its distance from the nearest beacon.
std::string match_marks(const Timeline& t, const std::vector<double>& lap_start,
                        const std::vector<Match>& matches) {
    std::string b;
    char buf[640];
    double y = t.area.y, last_label = -1e9;
    for (const Match& m : matches) {
        double at = lap_start[std::size_t(m.lap)] + m.distance;
        double nearest = 1e18;
        for (std::size_t i = 1; i + 1 < lap_start.size(); ++i)
            if (std::fabs(at - lap_start[i]) < std::fabs(nearest)) nearest = at - lap_start[i];
        bool beacon = std::fabs(nearest) <= 50;
        const char* colour = beacon ? "#c0392b" : "#e67e22";
        std::snprintf(buf, sizeof buf,
                      "<path d='M %.1f %.1f l -6 -11 l 12 0 z' fill='%s'/>"
                      "<line x1='%.1f' y1='%.1f' x2='%.1f' y2='%.1f' stroke='%s' "
                      "stroke-width='1.5' stroke-dasharray='3 2'/>\n",
                      t.px(at), y + 82, colour, t.px(at), y + 42, t.px(at), y + 120, colour);
        b += buf;
        if (t.px(at) - last_label < 48) continue; // labels of close matches would overlap
        last_label = t.px(at);
        std::snprintf(buf, sizeof buf,
                      "<text x='%.1f' y='%.1f' class='tick' text-anchor='middle' fill='%s'>%s"
                      "</text>\n",
                      t.px(at), y + 134, beacon ? "#333" : "#d35400",
                      beacon ? format("%+.0f m", nearest).c_str() : "no beacon");
        b += buf;
    }
    return b;
}

std::string beacon_lines(const Timeline& t, const std::vector<double>& lap_start) {
    std::string b;
    char buf[256];
    for (std::size_t i = 1; i + 1 < lap_start.size(); ++i) {
        std::snprintf(buf, sizeof buf,
                      "<line x1='%.1f' y1='%.1f' x2='%.1f' y2='%.1f' stroke='#1d3f6e' "
                      "stroke-width='2.5'/>\n",
                      t.px(lap_start[i]), t.area.y - 6, t.px(lap_start[i]), t.area.y + 42);
        b += buf;
    }
    return b;
}

std::string starts_legend(double x, double y) {
    char buf[640];
    std::snprintf(buf, sizeof buf,
                  "<line x1='%.1f' y1='%.1f' x2='%.1f' y2='%.1f' stroke='#1d3f6e' "
                  "stroke-width='2.5'/><text x='%.1f' y='%.1f' class='legend'>beacon seen by "
                  "the logger</text><path d='M %.1f %.1f l -6 -11 l 12 0 z' fill='#c0392b'/>"
                  "<text x='%.1f' y='%.1f' class='legend'>lap start found by matching, with "
                  "its distance from the beacon (orange: no beacon there)</text>\n",
                  x, y, x + 22, y, x + 28, y + 4, x + 260, y + 6, x + 272, y + 4);
    return buf;
}

// Two bands over the whole session: the logger's laps between its beacons,
// and the laps after cutting, with the lap starts that matching found.
std::string starts_figure(const Report& r, const Starts& st) {
    constexpr double w = 1100, h = 250;
    std::vector<double> lap_start{0};
    std::vector<std::string> labels;
    std::vector<double> lengths;
    for (std::size_t i = 0; i < r.laps.size(); ++i) {
        lap_start.push_back(lap_start.back() + r.laps[i].length);
        lengths.push_back(r.laps[i].length);
        labels.push_back(std::to_string(i + 1) + ": " + r.laps[i].text.time);
    }
    Timeline t{{110, 40, w - 140, 150}, lap_start.back()};
    std::string b = "<text x='10' y='20' class='heading'>Lap starts: the logger's beacons and "
                    "the starts that matching lap " +
                    std::to_string(r.fastest + 1) + " found</text>\n";
    b += band(t, t.area.y, lengths, labels, "logger laps");
    labels.clear();
    for (std::size_t i = 0; i < st.cut_texts.size(); ++i)
        labels.push_back(std::to_string(i + 1) + ": " + st.cut_texts[i].time);
    b += band(t, t.area.y + 84, st.cut_lengths, labels, "after cutting");
    b += beacon_lines(t, lap_start) + match_marks(t, lap_start, st.matches);
    b += starts_legend(t.area.x, h - 22);
    return svg::document(w, h, b, "Lap starts");
}

std::string cut_table(const Starts& st) {
    std::string h = "<table class='laps'><thead><tr><th>lap</th><th>time</th><th>length</th>"
                    "<th>origin</th></tr></thead><tbody>\n";
    for (std::size_t i = 0; i < st.cut_texts.size(); ++i) {
        std::string note = st.cut_texts[i].note;
        if (note.rfind("Original #", 0) == 0)
            note = "logger lap " + note.substr(10) + ", unchanged";
        else if (note.empty())
            note = "cut where matching found the lap start";
        h += "<tr><td>" + std::to_string(i + 1) + "</td><td>" + st.cut_texts[i].time + "</td><td>" +
             format("%.0f m", st.cut_lengths[i]) + "</td><td class='note'>" + svg::escape(note) +
             "</td></tr>\n";
    }
    return h + "</tbody></table>\n";
}

const char* STYLE = R"(<style>
body{font-family:Helvetica,Arial,sans-serif;color:#222;margin:24px auto;max-width:1120px}
h1{font-size:22px;margin:0 0 4px}h2{font-size:17px;margin:28px 0 8px}
.summary{color:#555;margin-bottom:16px}
.top{display:flex;gap:24px;align-items:flex-start;flex-wrap:wrap}
table.laps{border-collapse:collapse;font-size:13px}
table.laps th{text-align:right;border-bottom:2px solid #888;padding:4px 10px}
table.laps td{text-align:right;border-bottom:1px solid #e4e4e4;padding:3px 10px;
font-variant-numeric:tabular-nums}
table.laps td.note,table.laps th:last-child{text-align:left;color:#555}
tr.best td{font-weight:bold;background:#f3f3f3}
.swatch{display:inline-block;width:14px;height:4px;margin-right:6px;vertical-align:middle}
figure{margin:0}figcaption{font-size:12px;color:#555;max-width:1100px}
</style>)";

double total_km(const Report& r) {
    double metres = 0;
    for (const LapInfo& l : r.laps) metres += l.length;
    return metres / 1000;
}

std::string html_page(const Session& s, const Report& r, const Starts& st) {
    const LapInfo& best = r.laps[std::size_t(r.fastest)];
    std::string h = "<!DOCTYPE html>\n<html lang='en'><head><meta charset='utf-8'><title>" +
                    svg::escape(r.name) + ": lap report</title>" + STYLE + "</head><body>\n";
    h += "<h1>" + svg::escape(r.name) + "</h1>\n<div class='summary'>" +
         std::to_string(r.laps.size()) + " laps, " +
         format("%.1f km, %.0f samples per second. ", total_km(r), r.sample_rate) +
         "Fastest: lap " + std::to_string(r.fastest + 1) + " in " + best.text.time + " (" +
         format("%.0f m", best.length) + ").</div>\n";
    h += "<div class='top'><div><h2>Laps</h2>" + lap_table(r) + "</div>";
    h += "<figure>" + map_figure(s, r) + "</figure></div>\n";
    h += "<h2>Speed</h2><figure>" + speed_figure(s, r) +
         "<figcaption>Every lap on the distance scale of the fastest lap; grey dashed lines are "
         "slow or partial laps.</figcaption></figure>\n";
    h += "<h2>Time difference</h2><figure>" + delta_figure(s, r) +
         "<figcaption>Seconds behind the fastest lap at the same distance. The scale follows "
         "the racing laps; slow laps leave it.</figcaption></figure>\n";
    if (st.failure.empty()) {
        h += "<h2>Lap starts</h2><figure>" + starts_figure(r, st) + "</figure>\n";
        h += "<h2>Laps after cutting</h2>" + cut_table(st);
    } else {
        h += "<h2>Lap starts</h2><p class='summary'>No lap matching: " + svg::escape(st.failure) +
             ".</p>\n";
    }
    h += "<p class='summary'>Made by lx from " + svg::escape(s.source) + ".</p></body></html>\n";
    return h;
}

void run_report(const ReportOptions& o) {
    Session s = Session::open(o.file);
    compute_math(s, o.math);
    Report r = gather(s);
    Starts st = find_starts(s, r);
    std::string page = html_page(s, r, st);
    std::error_code error;
    fs::create_directories(o.output, error);
    fs::path path = fs::path(o.output) / "report.html";
    std::ofstream f(path, std::ios::binary);
    f << page;
    if (!f) refuse("cannot write " + path.string());
    std::fprintf(out, "%s\n", path.string().c_str());
}

} // namespace

Command add_report(CLI::App& app) {
    static ReportOptions o;
    CLI::App* c = app.add_subcommand(
        "report", "Write an HTML report: lap table, track map, speed and time difference of "
                  "every lap, and the lap starts that matching finds");
    c->add_option("FILE", o.file, "logger export")->required();
    c->add_option("-o,--output", o.output, "folder for report.html")->capture_default_str();
    add_math_options(c, o.math);
    return {c, [] { run_report(o); }};
}

} // namespace lxtool
