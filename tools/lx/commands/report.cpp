// lx report: the command; the page itself is pages/report_page.cpp.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <optional>

#include "analysed.h"
#include "commands.h"
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
};

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
    write_file(path, report_page(s, a, channel_reasons(a.info), matching));
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
    add_math_options(c, o.math);
    return {c, [] { run_report(o); }};
}

} // namespace lxtool
