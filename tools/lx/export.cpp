// lx motec, lx map, lx chart: one lap as a MoTeC file, a track map, a chart.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

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

std::string default_output(const std::string& file, int lap, const std::string& suffix) {
    return std::filesystem::path(file).stem().string() + "-lap" + std::to_string(lap) + suffix;
}

void write_text(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
    if (!f) refuse("cannot write " + path);
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
    char buf[256];
    std::snprintf(buf, sizeof buf, "%s, lap %d: %s, %.0f m",
                  std::filesystem::path(s.source).filename().c_str(), lap + 1,
                  lap_text(s, lap).time.c_str(), double(lx_lap_length(s.handle(), lap)));
    return buf;
}

void run_motec(const LapOptions& o) {
    Session s = Session::open(o.file);
    int lap = lap_index(s, o.lap, "--lap");
    if (!o.raw) compute_math(s, o.math);
    std::string path = o.output.empty() ? default_output(o.file, o.lap, ".csv") : o.output;
    if (!lx_write_lap_motec(s.handle(), lap, path.c_str()))
        refuse("the library could not write " + path);
    std::fprintf(out, "Wrote lap %d (%s) to %s\n", o.lap, lap_text(s, lap).time.c_str(),
                 path.c_str());
}

void run_map(const LapOptions& o) {
    auto [w, h] = window_size(o.size);
    Session s = Session::open(o.file);
    int lap = lap_index(s, o.lap, "--lap");
    compute_math(s, o.math);
    std::vector<double> kmh = speed_ms(read_lap(s, lap), lx_channel_number(s.handle(), 1));
    for (double& v : kmh) v *= 3.6;
    svg::Box area{20, 40, double(w) - 40, double(h) - 100};
    std::string body =
        "<text x='20' y='24' class='heading'>" + svg::escape(lap_title(s, lap)) + "</text>\n";
    body += track_map(s, lap, area, kmh, o.heading * 3.14159265f / 180);
    auto [lo, hi] = std::minmax_element(kmh.begin(), kmh.end());
    body += speed_bar(double(w) / 2 - 150, double(h) - 45, 300, *lo, *hi);
    std::string path = o.output.empty() ? default_output(o.file, o.lap, "-map.svg") : o.output;
    write_text(path, svg::document(w, h, body, lap_title(s, lap)));
    std::fprintf(out, "Wrote the map of lap %d to %s\n", o.lap, path.c_str());
}

// The unit of a channel's values as the library holds them.
std::string unit_of(const Session& s, int channel, const LapSamples& lap) {
    if (channel == lx_channel_number(s.handle(), 1)) return "m/s";
    std::string unit;
    if (channel >= 1 && std::size_t(channel) <= lap.units.size())
        unit = lap.units[std::size_t(channel - 1)];
    // The reader turned the slash of units such as km/h into "_".
    std::replace(unit.begin(), unit.end(), '_', '/');
    return unit;
}

void run_chart(const LapOptions& o) {
    auto [w, h] = window_size(o.size);
    Session s = Session::open(o.file);
    int lap = lap_index(s, o.lap, "--lap");
    compute_math(s, o.math);
    int channel = find_channel(s, o.channel);
    if (channel < 0)
        refuse(o.file + " has no channel named '" + o.channel + "' (lx info lists them)");
    double lo = o.low.value_or(lx_channel_min(s.handle(), channel));
    double hi = o.high.value_or(lx_channel_max(s.handle(), channel));
    if (!o.low && !o.high) {
        lo = svg::round_down(lo);
        hi = svg::round_up(hi);
    }
    if (!(hi > lo)) {
        if (o.low || o.high) usage_error("--max must be above --min");
        hi = lo + 1; // a constant channel still gets an axis
    }
    LapSamples samples = read_lap(s, lap);
    double length = lx_lap_length(s.handle(), lap);
    svg::Box area{80, 40, double(w) - 110, double(h) - 100};
    std::string unit = unit_of(s, channel, samples);
    svg::Axis x{0, length, "distance into the lap (m)"};
    svg::Axis y{lo, hi, o.channel + (unit.empty() ? "" : " (" + unit + ")")};
    std::string body = "<text x='80' y='24' class='heading'>" + svg::escape(lap_title(s, lap)) +
                       "</text>\n" + svg::axes(area, x, y);
    ChartSpec spec{channel, float(lo), float(hi), float(length), area};
    body += clip_to(area, "plot") + chart_line(s, lap, spec, {"#1f5fa8", 1.6}) + "</g>\n";
    std::string path =
        o.output.empty() ? default_output(o.file, o.lap, "-" + o.channel + ".svg") : o.output;
    write_text(path, svg::document(w, h, body, lap_title(s, lap) + ", " + o.channel));
    std::fprintf(out, "Wrote the chart of %s in lap %d to %s\n", o.channel.c_str(), o.lap,
                 path.c_str());
}

CLI::App* lap_command(CLI::App& app, const char* name, const char* what, LapOptions& o,
                      const char* output_help) {
    CLI::App* c = app.add_subcommand(name, what);
    c->add_option("FILE", o.file, "logger export")->required();
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
    c->add_flag("--raw", o.raw, "only the logger's channels: skip the derived channels");
    return {c, [] { run_motec(o); }};
}

Command add_map(CLI::App& app) {
    static LapOptions o;
    CLI::App* c = lap_command(app, "map", "Draw a lap's track map as SVG, coloured by speed", o,
                              "SVG file to write (default: FILE's name with -lapN-map.svg)");
    c->add_option("--size", o.size, "picture size in pixels, WIDTHxHEIGHT")->capture_default_str();
    c->add_option("--heading", o.heading, "rotate the map by this many degrees");
    return {c, [] { run_map(o); }};
}

Command add_chart(CLI::App& app) {
    static LapOptions o;
    o.size = "1000x450";
    CLI::App* c = lap_command(app, "chart", "Draw one channel of a lap against distance as SVG", o,
                              "SVG file to write (default: FILE's name with -lapN-NAME.svg)");
    c->add_option("--channel", o.channel,
                  "channel name (lx info lists them; derived: i_speed, "
                  "i_latg, i_longg, i_radius, ...)")
        ->required();
    c->add_option("--min", o.low, "value at the bottom (default: the channel's minimum)");
    c->add_option("--max", o.high, "value at the top (default: the channel's maximum)");
    c->add_option("--size", o.size, "picture size in pixels, WIDTHxHEIGHT")->capture_default_str();
    return {c, [] { run_chart(o); }};
}

} // namespace lxtool
