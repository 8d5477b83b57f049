// Writes a generated logger session in the tab-separated lap export.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>

#include "gen.h"

int main(int argc, char** argv) {
    lxgen::SessionPlan plan;
    std::string output;
    bool lf = false, no_trailer = false;
    CLI::App app{"Generates a logged club-racing session (out-lap, timed laps, in-lap)"};
    app.add_option("-o,--output", output, "file to write (default: standard output)");
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
    app.add_flag("--lf", lf, "end lines with LF alone instead of CR LF");
    app.add_flag("--no-trailer", no_trailer, "omit the lap summary after the end row");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    plan.crlf = !lf;
    plan.trailer = !no_trailer;
    if (plan.missed_beacon_after >= plan.flying_laps) plan.missed_beacon_after = 0;
    std::string text = lxgen::make_session_text(plan);
    if (output.empty()) {
        std::cout << text;
        return std::cout ? 0 : 1;
    }
    std::ofstream out(output, std::ios::binary);
    out << text;
    if (!out) {
        std::cerr << "lx-gen: cannot write " << output << "\n";
        return 1;
    }
    return 0;
}
