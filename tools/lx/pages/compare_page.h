// lx compare -o: the two sessions' best laps on one page.
#pragma once

#include <string>

#include "tool.h"

namespace lxtool {

// Writes compare.html into folder and returns its path. a and b hold the
// session math; m says they are the same track.
std::string write_compare_page(const Session& a, const Session& b, const lx_track_match& m,
                               const lx_corner_options& options, const std::string& folder);

} // namespace lxtool
