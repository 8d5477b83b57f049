// lx report: one self-contained HTML page with the lap table, the fastest
// lap's map with its corners, speed and time difference of every lap, the
// corners and sectors, and the lap starts that matching found.
#pragma once

#include <string>
#include <vector>

#include "tool.h"

namespace lxtool {

// The page of a session whose math has run; channels: the lines saying which
// channels it used, cuts: the sector cuts given (none: the default).
std::string report_page(const Session& s, const std::vector<std::string>& channels,
                        const std::vector<double>& cuts);

} // namespace lxtool
