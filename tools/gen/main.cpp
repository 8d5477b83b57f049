// Writes a generated logger session in one of the formats loggers' software exports.
#include <CLI/CLI.hpp>

#include <fstream>
#include <iostream>
#include <map>

#include "gen.h"

int main(int argc, char** argv) {
    lxgen::SessionPlan plan;
    lxgen::Format format = lxgen::Format::text;
    lxgen::TextLayout text;
    lxgen::AimLayout aim;
    lxgen::VboLayout vbo;
    std::string output;
    std::size_t channels = 0;
    bool lf = false, no_trailer = false;
    CLI::App app{"Generates a logged club-racing session (out-lap, timed laps, in-lap)"};
    app.add_option("-o,--output", output, "file to write (default: standard output)");
    app.add_option("--format", format, "text, aim-csv, racechrono-csv, motec-csv, vbo, ld or ibt")
        ->transform(CLI::CheckedTransformer(
            std::map<std::string, lxgen::Format>{{"text", lxgen::Format::text},
                                                 {"aim-csv", lxgen::Format::aim_csv},
                                                 {"racechrono-csv", lxgen::Format::racechrono_csv},
                                                 {"motec-csv", lxgen::Format::motec_csv},
                                                 {"vbo", lxgen::Format::vbo},
                                                 {"ld", lxgen::Format::ld},
                                                 {"ibt", lxgen::Format::ibt}}))
        ->option_text("FORMAT");
    app.add_option("--seed", plan.seed, "random seed")->capture_default_str();
    app.add_option("--laps", plan.flying_laps, "timed laps between out-lap and in-lap")
        ->check(CLI::Range(1, 120))
        ->capture_default_str();
    app.add_option("--missed-beacon", plan.missed_beacon_after,
                   "timed lap whose closing beacon is missed (0: none)")
        ->check(CLI::Range(0, 1000))
        ->capture_default_str();
    app.add_option("--traffic", plan.traffic_lap, "timed lap held up in traffic (0: none)")
        ->check(CLI::Range(0, 1000))
        ->capture_default_str();
    app.add_option("--rate", plan.sample_rate, "samples per second")
        ->check(CLI::Range(1.0, 1000.0))
        ->capture_default_str();
    app.add_option("--channels", channels, "add sensor channels up to this many in all")
        ->check(CLI::Range(0, 1000));
    app.add_flag("--gps", plan.gps, "latitude and longitude channels (always in the CSV formats)");
    app.add_flag("--lf", lf, "text: end lines with LF alone instead of CR LF");
    app.add_flag("--no-trailer", no_trailer, "text: omit the lap summary after the end row");
    app.add_option("--markers", aim.markers, "aim-csv: beacon markers as cells, comma or spaces")
        ->transform(CLI::CheckedTransformer(
            std::map<std::string, lxgen::MarkerCells>{{"cells", lxgen::MarkerCells::separate},
                                                      {"comma", lxgen::MarkerCells::comma},
                                                      {"spaces", lxgen::MarkerCells::spaces}}))
        ->option_text("FORM");
    app.add_flag("--gate-along", vbo.gate_along,
                 "vbo: the start gate as a point on the line and one 30 m back along the track");
    app.add_flag(
        "--legacy", aim.legacy,
        "aim-csv: the older layout (names twice, channel numbers, Latin-1, unquoted samples)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    text.crlf = aim.crlf = !lf;
    text.lap_time_trailer = !no_trailer;
    plan.gps = plan.gps || format != lxgen::Format::text;
    if (plan.missed_beacon_after >= plan.flying_laps) plan.missed_beacon_after = 0;
    lxgen::Recording session = lxgen::drive_session(plan);
    session.widen(channels);
    std::string file = format == lxgen::Format::text      ? lxgen::write_text(session, text)
                       : format == lxgen::Format::aim_csv ? lxgen::write_aim_csv(session, aim)
                       : format == lxgen::Format::vbo     ? lxgen::write_vbo(session, vbo)
                                                          : lxgen::write(session, format);
    if (output.empty()) {
        std::cout << file;
        return std::cout ? 0 : 1;
    }
    std::ofstream out(output, std::ios::binary);
    out << file;
    if (!out) {
        std::cerr << "lx-gen: cannot write " << output << "\n";
        return 1;
    }
    return 0;
}
