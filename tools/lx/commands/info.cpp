// lx info: what a session holds, as the file wrote it.
#include <CLI/CLI.hpp>

#include <charconv>
#include <cmath>

#include "commands.h"
#include "json.h"
#include "options.h"
#include "tool.h"

namespace lxtool {

namespace {

struct InfoOptions {
    std::string file;
    bool json = false;
};

// The facts the file states, as it states them; those it leaves out are not listed.
std::vector<std::pair<const char*, std::string>> facts(const lx_session_info& info) {
    std::vector<std::pair<const char*, std::string>> all = {
        {"venue", info.venue}, {"vehicle", info.vehicle}, {"driver", info.driver},
        {"date", info.date},   {"time", info.time},       {"logger", info.logger}};
    std::vector<std::pair<const char*, std::string>> stated;
    for (const auto& fact : all)
        if (!fact.second.empty()) stated.push_back(fact);
    return stated;
}

// The shortest text that reads back as the same float.
std::string shortest(float value) {
    char text[32];
    auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

std::string json_float(float value) {
    return std::isfinite(value) ? shortest(value) : "null";
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
        float min = 0.0f, max = 0.0f;
        lx_channel_range(s.handle(), c, &min, &max);
        row("  %3d  %-24s %-8s %14s %14s  %s", c, info.title, info.unit, shortest(min).c_str(),
            shortest(max).c_str(), stored.c_str());
    }
}

void print_text(const Session& s, const lx_session_info& info) {
    std::fprintf(out, "File: %s (%s)\n", s.source.c_str(), info.format);
    for (const auto& [name, value] : facts(info))
        std::fprintf(out, "%c%s: %s\n", name[0] - 'a' + 'A', name + 1, value.c_str());
    if (info.sample_rate > 0)
        std::fprintf(out, "Sample rate: %s per second\n", rate_text(info).c_str());
    else
        std::fprintf(out, "Sample rate: unknown, no samples\n");
    print_channels(s);
    std::fprintf(out, "Laps (%d):\n", s.laps());
    row("  %3s  %-10s %8s  %s", "lap", "time", "samples", "logger's number");
    for (int lap = 0; lap < s.laps(); ++lap) {
        lx_lap_info l = lap_info(s, lap);
        row("  %3d  %-10s %8d  %d", l.number, laptime_text(l.laptime).c_str(), l.samples,
            l.logger_lap);
    }
}

void print_json(const Session& s, const lx_session_info& info) {
    Json j;
    j.begin_object().integer("schema", 1).text("file", s.source).text("format", info.format);
    for (const auto& [name, value] : facts(info)) j.text(name, value);
    j.number("sample_rate", info.sample_rate > 0 ? std::stod(rate_text(info)) : NAN, 9);
    j.begin_array("channels");
    for (int c = 0; c < s.channels(); ++c) {
        lx_channel_info ci = channel_info(s, c);
        j.begin_object().integer("channel", c).text("title", ci.title).text("unit", ci.unit);
        j.text("name", ci.name).boolean("derived", ci.derived);
        float min = 0.0f, max = 0.0f;
        if (s.laps() > 0 && lx_channel_range(s.handle(), c, &min, &max) == LX_OK)
            j.raw("min", json_float(min)).raw("max", json_float(max));
        j.end_object();
    }
    j.end_array().begin_array("laps");
    for (int lap = 0; lap < s.laps(); ++lap) {
        lx_lap_info l = lap_info(s, lap);
        j.begin_object().integer("lap", l.number).integer("logger_lap", l.logger_lap);
        j.number("time", l.laptime, 3).integer("samples", l.samples).end_object();
    }
    j.end_array().begin_array("notes");
    for (const std::string& text : s.notes()) j.text(nullptr, text);
    j.end_array().end_object();
    std::fputs(j.str().c_str(), out);
}

void run_info(const InfoOptions& o) {
    Session s = Session::open(o.file);
    print_notes(s);
    if (o.json)
        print_json(s, s.info());
    else
        print_text(s, s.info());
}

} // namespace

Command add_info(CLI::App& app) {
    static InfoOptions o;
    CLI::App* c =
        app.add_subcommand("info", "List what the file states about the session (venue, vehicle, "
                                   "driver, date, logger), its channels and laps");
    c->add_option("FILE", o.file, "session file")->required();
    add_json_option(c, o.json);
    return {c, [] { run_info(o); }};
}

} // namespace lxtool
