// lx report: the command; the page itself is pages/report_page.cpp.
#include <CLI/CLI.hpp>

#include <filesystem>

#include "analysed.h"
#include "commands.h"
#include "report_page.h"

namespace fs = std::filesystem;

namespace lxtool {

namespace {

struct ReportOptions {
    std::string file, output = "lx-report";
    std::vector<double> cuts; // sector cuts in metres; none: the library's
    MathOptions math;
};

void run_report(const ReportOptions& o) {
    Session s = Session::open(o.file);
    std::error_code error;
    fs::create_directories(o.output, error);
    std::string path = (fs::path(o.output) / "report.html").string();
    check_writable(path);
    AnalysisRequest request;
    request.math = o.math;
    request.cuts = o.cuts;
    Analysed a = analyse(s, request);
    write_file(path, report_page(s, a, channel_reasons(a.info)));
    std::fprintf(out, "%s\n", path.c_str());
}

} // namespace

Command add_report(CLI::App& app) {
    static ReportOptions o;
    CLI::App* c = app.add_subcommand(
        "report", "Write an HTML report: lap table, track map with numbered corners, speed and "
                  "time difference of every lap, corner and sector tables with the theoretical and "
                  "optimal laps, time per corner, and the lap starts that matching finds");
    c->add_option("FILE", o.file, "session file")->required();
    c->add_option("-o,--output", o.output, "folder for report.html")->capture_default_str();
    add_sectors_option(c, o.cuts);
    add_math_options(c, o.math);
    return {c, [] { run_report(o); }};
}

} // namespace lxtool
