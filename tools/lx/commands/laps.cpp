// lx laps: every lap's time, length, class and gap to the reference lap.
#include <CLI/CLI.hpp>

#include "analysed.h"
#include "commands.h"
#include "json.h"

namespace lxtool {

namespace {

struct LapsOptions {
    std::string file;
    bool json = false;
    MathOptions math;
};

std::string class_text(const lx_lap_info& l) {
    std::string text = l.slow ? "slow" : class_name(l.lap_class);
    return l.truncated ? text + ", truncated" : text;
}

void print_table(const Session& s, const Analysed& a) {
    print_channel_lines(s, a.info);
    int w = lap_width(s);
    row("  %*s  %-10s %10s %9s  %s", w, "lap", "time", "length m", "gap s", "class");
    for (int lap = 0; lap < int(a.laps.size()); ++lap) {
        const lx_analysis_lap& l = a.laps[std::size_t(lap)];
        std::string note = lap == a.info.ref_lap ? "fastest" : class_text(l.info);
        row("  %*s  %-10s %10.1f %9s  %s", w, lap_name(l.info).c_str(),
            laptime_text(l.info.laptime).c_str(), l.info.length, signed_seconds(l.gap).c_str(),
            note.c_str());
    }
    if (!a.has_reference()) std::fprintf(out, "No full lap: none is the fastest, no gaps.\n");
}

void print_json(const Session& s, const Analysed& a) {
    Json j;
    j.begin_object().integer("schema", 1).text("file", s.source);
    j.begin_object("reference");
    if (a.has_reference())
        j.integer("lap", lap_info(s, a.info.ref_lap).number).number("time", a.info.ref_time, 3);
    j.end_object();
    j.begin_array("laps");
    for (const lx_analysis_lap& l : a.laps) {
        j.begin_object();
        lap_json(j, l);
        j.end_object();
    }
    j.end_array().end_object();
    std::fputs(j.str().c_str(), out);
}

void run_laps(const LapsOptions& o) {
    Session s = Session::open(o.file);
    AnalysisRequest request;
    request.math = o.math;
    Analysed a = analyse(s, request);
    // After the analysis, so that a refused file gets the one line saying why.
    print_notes(s);
    if (o.json)
        print_json(s, a);
    else
        print_table(s, a);
}

} // namespace

Command add_laps(CLI::App& app) {
    static LapsOptions o;
    CLI::App* c = app.add_subcommand(
        "laps", "List every lap's time, length, gap to the fastest full lap (lap time minus its "
                "time: negative is faster) and class");
    c->add_option("FILE", o.file, "session file")->required();
    add_json_option(c, o.json);
    add_math_options(c, o.math);
    return {c, [] { run_laps(o); }};
}

} // namespace lxtool
