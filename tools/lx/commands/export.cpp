// lx motec, lx map, lx chart: one lap as a MoTeC file, a track map, a chart.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>

#include "analysed.h"
#include "commands.h"
#include "figures.h"

namespace lxtool {

namespace {

struct LapOptions {
    std::string file, output, size = "900x700", channel;
    int lap = 0;
    bool raw = false;
    float heading = 0;
    std::optional<double> low, high;
    MathOptions math;
};

// FILE's name with a suffix, in the current folder; any character of a
// channel name that a file name would trip over becomes '_'.
std::string default_output(const std::string& file, int lap, std::string suffix) {
    for (char& c : suffix)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') c = '_';
    return std::filesystem::path(file).stem().string() + "-lap" + std::to_string(lap) + suffix;
}

std::pair<int, int> window_size(const std::string& size) {
    int w = 0, h = 0;
    char x = 0;
    if (std::sscanf(size.c_str(), "%d%c%d", &w, &x, &h) != 3 || x != 'x' || w < 200 || h < 150 ||
        w > 5000 || h > 5000)
        usage_error("--size takes WIDTHxHEIGHT in pixels, from 200x150 to 5000x5000");
    return {w, h};
}

std::string lap_title(const Session& s, int lap) {
    lx_lap_info l = lap_info(s, lap);
    char buf[256];
    std::snprintf(buf, sizeof buf, "%s, lap %d: %s, %.0f m",
                  std::filesystem::path(s.source).filename().c_str(), lap_info(s, lap).number,
                  laptime_text(l.laptime).c_str(), l.length);
    return buf;
}

// The session math with the chosen channels, and which they are.
void compute_math(const Session& s, const MathOptions& math) {
    AnalysisRequest request;
    request.math = math;
    print_channel_lines(s, analyse(s, request).info);
}

void run_motec(const LapOptions& o) {
    Session s = Session::open(o.file);
    int lap = lap_index(s, o.lap, "--lap");
    std::string path = o.output.empty() ? default_output(o.file, o.lap, ".csv") : o.output;
    check_writable(path);
    if (!o.raw) compute_math(s, o.math);
    if (lx_write_motec(s.handle(), lap, path.c_str()) != LX_OK)
        library_refused("cannot write " + path);
    std::fprintf(out, "Wrote lap %d (%s) to %s\n", o.lap,
                 laptime_text(lap_info(s, lap).laptime).c_str(), path.c_str());
}

void run_map(const LapOptions& o) {
    auto [w, h] = window_size(o.size);
    Session s = Session::open(o.file);
    int lap = lap_index(s, o.lap, "--lap");
    std::string path = o.output.empty() ? default_output(o.file, o.lap, "-map.svg") : o.output;
    check_writable(path);
    compute_math(s, o.math);
    std::vector<double> kmh = speed_kmh(s, lap);
    svg::Box area{20, 40, double(w) - 40, double(h) - 100};
    std::string body =
        "<text x='20' y='24' class='heading'>" + svg::escape(lap_title(s, lap)) + "</text>\n";
    body += track_map(s, lap, area, kmh, o.heading * 3.14159265f / 180);
    auto [lo, hi] = std::minmax_element(kmh.begin(), kmh.end());
    body += speed_bar(double(w) / 2 - 150, double(h) - 45, 300, *lo, *hi);
    write_file(path, svg::document(w, h, body, lap_title(s, lap)));
    std::fprintf(out, "Wrote the map of lap %d to %s\n", o.lap, path.c_str());
    std::vector<std::string> lines = reckoning_lines(s);
    if (!lines.empty())
        std::fprintf(out, "Drawn from GPS; the dead-reckoned map lies from it, per full lap:\n");
    for (const std::string& line : lines) std::fprintf(out, "  %s\n", line.c_str());
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// The unit of a channel's values as the library holds them.
std::string unit_of(const Session& s, int channel) {
    std::string unit = channel_info(s, channel).unit;
    if (unit.empty() && channel == derived_channel(s, LX_CHANNEL_SPEED)) return "m/s";
    return unit;
}

// The lap's own range, rounded outwards, unless the command line sets it.
std::pair<double, double> chart_range(const Session& s, int lap, int channel, const LapOptions& o) {
    std::vector<float> values = lap_samples(s, lap, channel);
    double lo = 0, hi = 1;
    if (!values.empty()) {
        auto [min, max] = std::minmax_element(values.begin(), values.end());
        lo = svg::round_down(*min);
        hi = svg::round_up(*max);
    }
    lo = o.low.value_or(lo);
    hi = o.high.value_or(hi);
    if (!(hi > lo)) {
        if (o.low || o.high)
            usage_error("the top of the chart (" + number(hi) + ") must be above its bottom (" +
                        number(lo) + "): see --min and --max");
        hi = lo + 1; // a constant channel still gets an axis
    }
    return {lo, hi};
}

void run_chart(const LapOptions& o) {
    auto [w, h] = window_size(o.size);
    Session s = Session::open(o.file);
    int lap = lap_index(s, o.lap, "--lap");
    std::string path =
        o.output.empty() ? default_output(o.file, o.lap, "-" + o.channel + ".svg") : o.output;
    check_writable(path);
    AnalysisRequest request; // the derived channels exist from here
    request.math = o.math;
    Analysed a = analyse(s, request);
    int channel = find_channel(s, o.channel, "--channel");
    auto [lo, hi] = chart_range(s, lap, channel, o);
    print_channel_lines(s, a.info);
    double length = lap_info(s, lap).length;
    svg::Box area{80, 40, double(w) - 110, double(h) - 100};
    std::string unit = unit_of(s, channel);
    std::string title = channel_title(s, channel);
    svg::Axis x{0, length, "distance into the lap (m)"};
    svg::Axis y{lo, hi, title + (unit.empty() ? "" : " (" + unit + ")")};
    std::string body = "<text x='80' y='24' class='heading'>" + svg::escape(lap_title(s, lap)) +
                       "</text>\n" + svg::axes(area, x, y);
    ChartSpec spec{channel, float(lo), float(hi), float(length), area};
    body += clip_to(area, "plot") + chart_line(s, lap, spec, {"#1f5fa8", 1.6}).svg + "</g>\n";
    write_file(path, svg::document(w, h, body, lap_title(s, lap) + ", " + title));
    std::fprintf(out, "Wrote the chart of %s in lap %d, from %s to %s%s, to %s\n", title.c_str(),
                 o.lap, number(lo).c_str(), number(hi).c_str(),
                 unit.empty() ? "" : (" " + unit).c_str(), path.c_str());
}

CLI::App* lap_command(CLI::App& app, const char* name, const char* what, LapOptions& o,
                      const char* output_help) {
    CLI::App* c = app.add_subcommand(name, what);
    c->add_option("FILE", o.file, "session file")->required();
    c->add_option("--lap", o.lap, "lap (from 1, as lx laps lists them)")->required();
    c->add_option("-o,--output", o.output, output_help);
    add_math_options(c, o.math);
    return c;
}

} // namespace

Command add_motec(CLI::App& app) {
    static LapOptions o;
    CLI::App* c = lap_command(app, "motec", "Write a lap as a MoTeC CSV file", o,
                              "file to write (default: FILE's name with -lapN.csv)");
    c->add_flag("--raw", o.raw, "only the file's channels: skip the derived channels");
    return {c, [] { run_motec(o); }};
}

Command add_map(CLI::App& app) {
    static LapOptions o;
    CLI::App* c = lap_command(app, "map", "Draw a lap's track map as SVG, coloured by speed", o,
                              "SVG file to write (default: FILE's name with -lapN-map.svg)");
    c->add_option("--size", o.size, "picture size in pixels, WIDTHxHEIGHT")->capture_default_str();
    c->add_option("--heading", o.heading, "rotate the map by this many degrees")
        ->check(within(-360, 360));
    return {c, [] { run_map(o); }};
}

Command add_chart(CLI::App& app) {
    static LapOptions o;
    o.size = "1000x450";
    CLI::App* c = lap_command(app, "chart", "Draw one channel of a lap against distance as SVG", o,
                              "SVG file to write (default: FILE's name with -lapN-NAME.svg)");
    c->add_option("--channel", o.channel,
                  "channel, by its title as the file wrote it or its stored name (lx info lists "
                  "them; derived: i_speed, i_latg, i_longg, i_radius, ...)")
        ->required();
    c->add_option("--min", o.low, "value at the bottom (default: the lap's lowest, rounded)")
        ->check(within(-1e30, 1e30));
    c->add_option("--max", o.high, "value at the top (default: the lap's highest, rounded)")
        ->check(within(-1e30, 1e30));
    c->add_option("--size", o.size, "picture size in pixels, WIDTHxHEIGHT")->capture_default_str();
    return {c, [] { run_chart(o); }};
}

} // namespace lxtool
