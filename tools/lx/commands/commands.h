// The subcommands: each adds itself to the application and returns what runs it.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>

namespace lxtool {

struct Command {
    CLI::App* app;
    std::function<void()> run;
};

Command add_info(CLI::App& app);
Command add_laps(CLI::App& app);
Command add_delta(CLI::App& app);
Command add_motec(CLI::App& app);
Command add_map(CLI::App& app);
Command add_chart(CLI::App& app);
Command add_cut(CLI::App& app);
Command add_report(CLI::App& app);
Command add_convert(CLI::App& app);
Command add_corners(CLI::App& app); // analytics.cpp
Command add_sectors(CLI::App& app);
Command add_compare(CLI::App& app);
Command add_season(CLI::App& app);

// A number from lo to hi; refuses nan, which ranges let through.
CLI::Validator within(double lo, double hi);

} // namespace lxtool
