#include "options.h"

#include <CLI/CLI.hpp>

#include "commands.h"

namespace lxtool {

void add_math_options(CLI::App* command, MathOptions& options) {
    command->add_option("--speed", options.speed, "speed channel (default: found by name)")
        ->group("Channels");
    command
        ->add_option("--lat", options.lateral,
                     "lateral acceleration channel, in g (default: of the channels named so, "
                     "the one whose laps close best)")
        ->group("Channels");
    command
        ->add_option("--long", options.longitudinal,
                     "longitudinal acceleration channel in g, or 'none' to derive it from speed")
        ->group("Channels");
    command->add_option("--units", options.units, "unit of the speed channel")
        ->check(CLI::IsMember({"auto", "kmh", "mph"}))
        ->capture_default_str()
        ->group("Channels");
    command->add_flag("--invert-lat", options.invert_lat, "negate lateral acceleration")
        ->group("Channels");
    command->add_flag("--invert-long", options.invert_long, "negate longitudinal acceleration")
        ->group("Channels");
}

void add_corner_options(CLI::App* command, CornerFlags& f) {
    command
        ->add_option("--enter", f.enter,
                     "curvature (1000/radius in m) a corner reaches (default 8)")
        ->check(within(0, 1e6));
    command->add_option("--exit", f.exit, "curvature above which a corner lasts (default 4)")
        ->check(within(0, 1e6));
    command->add_option("--min-speed", f.min_speed_kmh, "km/h below which nothing is a corner (18)")
        ->check(within(0, 1000));
}

void add_ref_lap_option(CLI::App* command, int& ref_lap, bool required) {
    CLI::Option* o = command->add_option(
        "--ref-lap", ref_lap,
        required ? "reference lap (from 1, as lx laps lists them)"
                 : "reference lap (from 1, as lx laps lists them; default: the fastest full lap)");
    if (required) o->required();
}

void add_ref_option(CLI::App* command, std::string& reference, const char* what) {
    command->add_option("--ref", reference, what);
}

void add_json_option(CLI::App* command, bool& json) {
    command->add_flag("--json", json,
                      "print the same numbers as one JSON document (the README lists its fields)");
}

void add_sectors_option(CLI::App* command, std::vector<double>& cuts) {
    command
        ->add_option("--sectors", cuts,
                     "sector cuts in metres from the start line, e.g. 450,1200 (default: the "
                     "middles of the two longest straights)")
        ->delimiter(',')
        ->check(within(0, 1e7));
}

// A file name may hold ':' itself, so only digits after the last one name a lap.
void add_match_option(CLI::App* command, MatchFlag& flag) {
    command
        ->add_option_function<std::string>(
            "--match",
            [&flag](const std::string& value) {
                std::size_t colon = value.rfind(':');
                bool lap_given =
                    colon != std::string::npos && colon + 1 < value.size() &&
                    value.find_first_not_of("0123456789", colon + 1) == std::string::npos;
                flag.reference = lap_given ? value.substr(0, colon) : value;
                flag.lap = -1;
                if (!lap_given) return;
                std::string digits = value.substr(colon + 1);
                if (digits.size() > 9)
                    throw CLI::ValidationError("--match", "lap " + digits + " is too large");
                flag.lap = std::stoi(digits);
            },
            "find the lap starts by matching lap LAP (from 1, as lx laps lists them; default: "
            "the fastest full lap) of session file REF (may be FILE), and show them with the "
            "laps they cut")
        ->type_name("REF[:LAP]");
}

} // namespace lxtool
