#include "data/laps.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "lx_data.h"

namespace lx::data {

namespace {

constexpr double FULL_TOLERANCE = 0.10; // a full lap is within 10 % of the median
constexpr double DOUBLE_FACTOR = 1.8;   // above this many medians, a beacon was missed

// The median length of the laps that lap marks bound at both ends: all but
// the recording's first and last, unless there are no others.
double median_length(const Session* s) {
    int first = s->nlaps > 2 ? 1 : 0;
    int end = s->nlaps > 2 ? s->nlaps - 1 : s->nlaps;
    std::vector<double> lengths;
    for (int l = first; l < end; ++l) lengths.push_back(s->laps[l].lap_length);
    if (lengths.empty()) return 0.0;
    std::size_t mid = lengths.size() / 2;
    std::nth_element(lengths.begin(), lengths.begin() + static_cast<std::ptrdiff_t>(mid),
                     lengths.end());
    double upper = lengths[mid];
    if (lengths.size() % 2 == 1) return upper;
    double lower =
        *std::max_element(lengths.begin(), lengths.begin() + static_cast<std::ptrdiff_t>(mid));
    return (lower + upper) / 2.0;
}

} // namespace

bool session_math_ran(const Session* s) {
    for (int l = 0; l < s->nlaps; ++l)
        if (s->laps[l].lap_length > 0.0f) return true;
    return false;
}

int lap_class(const Session* s, int lap) {
    if (!session_math_ran(s)) return LX_LAP_UNKNOWN;
    double median = median_length(s);
    if (!(median > 0.0)) return LX_LAP_UNKNOWN;
    double length = s->laps[lap].lap_length;
    if (std::abs(length - median) <= FULL_TOLERANCE * median) return LX_LAP_FULL;
    if (lap == 0) return LX_LAP_OUT;
    if (lap == s->nlaps - 1) return LX_LAP_IN;
    if (length > DOUBLE_FACTOR * median) return LX_LAP_DOUBLE;
    return LX_LAP_PARTIAL;
}

double lap_time(const Session* s, int lap) {
    return s->laps[lap].laptime;
}

double sample_time(const Session* s, int lap) {
    return s->laps[lap].raw_laptime;
}

bool logger_timed(const Session*, int) {
    return false;
}

bool lap_slow(const Session*, int) {
    return false;
}

} // namespace lx::data
