// lx: the library's analyses from the command line.
#include <cmath>
#include <cstdio>
#include <vector>

#include "commands.h"
#include "tool.h"

using namespace lxtool;

namespace lxtool {

CLI::Validator within(double lo, double hi) {
    return CLI::Validator(
        [lo, hi](std::string& text) -> std::string {
            double value = 0;
            if (!CLI::detail::lexical_cast(text, value) || !std::isfinite(value))
                return "'" + text + "' is not a number";
            if (value < lo || value > hi)
                return "'" + text + "' is outside " + CLI::detail::to_string(lo) + " to " +
                       CLI::detail::to_string(hi);
            return "";
        },
        "NUMBER in [" + CLI::detail::to_string(lo) + " - " + CLI::detail::to_string(hi) + "]");
}

} // namespace lxtool

namespace {

const std::string COMMANDS =
    "info, laps, delta, cut, motec, map, chart, report, convert, corners, sectors, compare, "
    "season";

// CLI11's messages as one line: "Could not convert: --lap = 9e99" says what
// was wrong but not why.
std::string usage_message(const CLI::ParseError& e) {
    std::string what = e.what();
    const std::string convert = "Could not convert: ";
    if (what.rfind(convert, 0) == 0) {
        std::string rest = what.substr(convert.size());
        std::size_t eq = rest.find(" = ");
        if (eq != std::string::npos)
            return rest.substr(0, eq) + ": cannot use '" + rest.substr(eq + 3) +
                   "' (not a whole number, or too large)";
    }
    return what;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Analyses motorsport data-logger sessions (the logger's tab-separated text "
                 "export, AiM CSV, RaceChrono CSV, MoTeC CSV, MoTeC LD, iRacing telemetry) through "
                 "liblx. Exit codes: 0 "
                 "done, 1 input refused, 2 usage error.",
                 "lx"};
    bool explain = false;
    app.add_flag("-v,--verbose", explain, "say why each channel was chosen");
    app.require_subcommand(1);
    std::vector<Command> commands = {
        add_info(app),    add_laps(app),    add_delta(app),  add_motec(app),   add_map(app),
        add_chart(app),   add_cut(app),     add_report(app), add_convert(app), add_corners(app),
        add_sectors(app), add_compare(app), add_season(app)};
    for (const Command& c : commands) add_open_options(c.app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::string message = usage_message(e);
        if (app.get_subcommands().empty()) {
            message = "no command given; the commands: " + COMMANDS;
            for (int i = 1; i < argc; ++i)
                if (argv[i][0] != '-') {
                    message =
                        "no command '" + std::string(argv[i]) + "'; the commands: " + COMMANDS;
                    break;
                }
        }
        std::fprintf(stderr, "lx: %s (see lx --help)\n", message.c_str());
        return EXIT_USAGE;
    }
    set_verbose(explain);
    int code = 0;
    try {
        for (const Command& c : commands)
            if (c.app->parsed()) c.run();
    } catch (const Failure& f) {
        std::fflush(out);
        std::fprintf(stderr, "lx: %s\n", f.message.c_str());
        code = f.code;
    }
    std::fflush(out);
    return code;
}
