// lx info: what a session holds, as the file wrote it.
#include <CLI/CLI.hpp>

#include <charconv>

#include "commands.h"
#include "tool.h"

namespace lxtool {

namespace {

struct InfoOptions {
    std::string file;
};

// The shortest text that reads back as the same float.
std::string shortest(float value) {
    char text[32];
    auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

void print_channels(const Session& s) {
    std::fprintf(out, "Channels (%d):\n", s.channels());
    row("  %3s  %-24s %-8s %14s %14s  %s", "#", "title", "unit", "min", "max", "stored as");
    for (int c = 0; c < s.channels(); ++c) {
        lx_channel_info info = channel_info(s, c);
        std::string stored = std::string(info.name) == info.title ? "" : info.name;
        if (s.laps() == 0) { // no samples, no range
            row("  %3d  %-24s %-8s %14s %14s  %s", c, info.title, info.unit, "-", "-",
                stored.c_str());
            continue;
        }
        row("  %3d  %-24s %-8s %14s %14s  %s", c, info.title, info.unit,
            shortest(lx_channel_min(s.handle(), c)).c_str(),
            shortest(lx_channel_max(s.handle(), c)).c_str(), stored.c_str());
    }
}

void run_info(const InfoOptions& o) {
    Session s = Session::open(o.file);
    lx_session_info info = s.info();
    std::fprintf(out, "File: %s (%s)\n", o.file.c_str(), info.format);
    if (info.sample_rate > 0)
        std::fprintf(out, "Sample rate: %.9g per second\n", info.sample_rate);
    else
        std::fprintf(out, "Sample rate: unknown, no samples\n");
    print_channels(s);
    std::fprintf(out, "Laps (%d):\n", s.laps());
    row("  %3s  %-10s %8s  %s", "lap", "time", "samples", "logger's number");
    for (int lap = 0; lap < s.laps(); ++lap) {
        lx_lap_info l = lap_info(s, lap);
        row("  %3d  %-10s %8d  %d", lap + 1, laptime_text(l.laptime).c_str(), l.samples,
            l.logger_lap);
    }
}

} // namespace

Command add_info(CLI::App& app) {
    static InfoOptions o;
    CLI::App* c = app.add_subcommand("info", "List a session's channels and laps");
    c->add_option("FILE", o.file, "session file")->required();
    return {c, [] { run_info(o); }};
}

} // namespace lxtool
