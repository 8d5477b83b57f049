// What a season database holds, as a table on standard output and as a page.
#pragma once

#include <string>

#include "season_db.h"

namespace lxtool {

// Per track its sessions by day with their best laps; then the sessions on
// no known track and the files refused, each with its reason.
void print_season(SeasonDb& db);
// OUT/season.html: per track the best lap against the date and the corner
// bests, with a link to each session's report (written with reports).
// Returns the page's path.
std::string write_season_page(SeasonDb& db, const std::string& output, bool reports);

} // namespace lxtool
