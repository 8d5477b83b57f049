// lx compare -o: the laps of two to four sessions on one page.
#pragma once

#include <string>
#include <vector>

#include "tool.h"

namespace lxtool {

// Two analysed sessions of one track: B's fastest full lap against A's.
struct Compared {
    const Session* a = nullptr;
    const Session* b = nullptr;
    lx_analysis_info a_info{}, b_info{}; // B's against A's reference lap
    lx_track_match match{};
    int lap_a = -1, lap_b = -1;                       // from 0
    std::vector<lx_stretch> a_stretches, b_stretches; // over A's corners
    std::vector<double> a_sectors, b_sectors;         // at A's cuts
};

// Writes compare.html into folder and returns its path: every pair's B
// against their one A.
std::string write_compare_page(const std::vector<Compared>& pairs, const std::string& folder);

} // namespace lxtool
