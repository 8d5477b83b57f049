// lx report: the command; the page itself is pages/report_page.cpp.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <optional>

#include "analysed.h"
#include "commands.h"
#include "driver_views.h"
#include "options.h"
#include "report_page.h"

namespace fs = std::filesystem;

namespace lxtool {

namespace {

struct ReportOptions {
    std::string file, output = "lx-report";
    std::vector<double> cuts; // sector cuts in metres; none: the library's
    MathOptions math;
    MatchFlag match;
    std::string traces, show_laps;
};

// "3,5-7": laps 3, 5, 6 and 7 as indices from 0, each checked.
std::vector<int> lap_list(const Session& s, const std::string& text) {
    std::vector<int> laps;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t comma = std::min(text.find(',', from), text.size());
        std::string item = text.substr(from, comma - from);
        std::size_t dash = item.find('-');
        int first = 0, last = 0;
        try {
            first = std::stoi(item.substr(0, dash));
            last = dash == std::string::npos ? first : std::stoi(item.substr(dash + 1));
        } catch (const std::exception&) {
            refuse("--show-laps: '" + item + "' is not a lap or a range FIRST-LAST");
        }
        if (last < first) refuse("--show-laps: " + item + " runs backwards");
        for (int lap = first; lap <= last; ++lap) laps.push_back(lap_index(s, lap, "--show-laps"));
        from = comma + 1;
    }
    return laps;
}

// The lap of --match, in a session analysed as FILE is.
int match_lap(const Session& ref, const ReportOptions& o) {
    AnalysisRequest request;
    request.math = o.math;
    int fastest = analyse(ref, request).info.ref_lap;
    if (o.match.lap >= 0) return lap_index(ref, o.match.lap, "--match");
    if (fastest < 0)
        refuse(ref.source + " has no full lap to match with: name one as --match REF:LAP");
    return fastest;
}

void run_report(const ReportOptions& o) {
    Session s = Session::open(o.file);
    std::optional<Session> ref;
    LapMatching matching;
    if (!o.match.reference.empty()) {
        ref.emplace(Session::open(o.match.reference));
        matching = {&*ref, match_lap(*ref, o)};
    }
    std::error_code error;
    fs::create_directories(o.output, error);
    std::string path = (fs::path(o.output) / "report.html").string();
    check_writable(path);
    AnalysisRequest request;
    request.math = o.math;
    request.cuts = o.cuts;
    Analysed a = analyse(s, request);
    ReportViews views{o.traces.empty() ? role_channels(s) : named_channels(s, o.traces),
                      lap_list(s, o.show_laps)};
    write_file(path, report_page(s, a, channel_reasons(a.info), matching, views));
    std::fprintf(out, "%s\n", path.c_str());
}

} // namespace

Command add_report(CLI::App& app) {
    static ReportOptions o;
    CLI::App* c = app.add_subcommand(
        "report", "Write an HTML report: lap table, track map with numbered corners, speed and "
                  "time difference of every lap, corner and sector tables with the theoretical and "
                  "optimal laps, time per corner; with --match, the lap starts that matching "
                  "finds and the laps they cut");
    c->add_option("FILE", o.file, "session file")->required();
    c->add_option("-o,--output", o.output, "folder for report.html")->capture_default_str();
    add_sectors_option(c, o.cuts);
    add_match_option(c, o.match);
    c->add_option("--traces", o.traces,
                  "channels traced against distance, by title, comma-separated (default: "
                  "those the library gives the throttle, brake, RPM, gear and steering)");
    c->add_option("--show-laps", o.show_laps,
                  "laps on the charts, e.g. 3,5-7 (default: the fastest and up to 11 others)");
    add_math_options(c, o.math);
    return {c, [] { run_report(o); }};
}

} // namespace lxtool
