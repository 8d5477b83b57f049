#include "data/laps.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/units.h"
#include "lx_data.h"
#include "session/record.h"

namespace lx::data {

namespace {

constexpr double FULL_TOLERANCE = 0.10; // a full lap is within 10 % of the median
constexpr double DOUBLE_FACTOR = 1.8;   // above this many medians, a lap mark was missed
constexpr double SLOW_FACTOR = 1.07;    // a full lap slower than this many median times

// NaN for none.
double median(std::vector<double> values) {
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    std::size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

bool starts_at_mark(const Session* s, int lap) {
    return lap > 0 || (s->record != nullptr && s->record->starts_at_mark);
}

bool ends_at_mark(const Session* s, int lap) {
    return lap < s->nlaps - 1 || (s->record != nullptr && s->record->ends_at_mark);
}

// Only these have a length to compare: the recording's own start and end
// are wherever the logger was switched on and off.
bool bounded(const Session* s, int lap) {
    return starts_at_mark(s, lap) && ends_at_mark(s, lap);
}

double median_bounded_length(const Session* s) {
    std::vector<double> lengths;
    for (int l = 0; l < s->nlaps; ++l)
        if (bounded(s, l)) lengths.push_back(s->laps[l].lap_length);
    return median(std::move(lengths));
}

int class_by_length(const Session* s, int lap, double median_length) {
    if (!starts_at_mark(s, lap)) return LX_LAP_OUT;
    if (!ends_at_mark(s, lap)) return LX_LAP_IN;
    double length = s->laps[lap].lap_length;
    if (!(median_length > 0.0)) return LX_LAP_PARTIAL;
    if (std::abs(length - median_length) <= FULL_TOLERANCE * median_length) return LX_LAP_FULL;
    if (length > DOUBLE_FACTOR * median_length) return LX_LAP_DOUBLE;
    return LX_LAP_PARTIAL;
}

} // namespace

bool session_math_ran(const Session* s) {
    for (int l = 0; l < s->nlaps; ++l)
        if (s->laps[l].lap_length > 0.0f) return true;
    return false;
}

int lap_class(const Session* s, int lap) {
    if (!session_math_ran(s)) return LX_LAP_UNKNOWN;
    return class_by_length(s, lap, median_bounded_length(s));
}

// Without the logger's time, the time its reader gave the lap: counted from
// its samples, but for a last lap that no line closes, which lasts to its
// last sample (a binary reader's).
double lap_time(const Session* s, int lap) {
    if (!logger_timed(s, lap)) return s->laps[lap].laptime;
    return static_cast<double>(s->record->logger_ms[static_cast<std::size_t>(lap)]) / MS_PER_SECOND;
}

double sample_time(const Session* s, int lap) {
    return s->laps[lap].raw_laptime;
}

bool logger_timed(const Session* s, int lap) {
    const SessionRecord* r = s->record;
    return r != nullptr && lap >= 0 && static_cast<std::size_t>(lap) < r->logger_ms.size() &&
           r->logger_ms[static_cast<std::size_t>(lap)] >= 0;
}

bool lap_slow(const Session* s, int lap) {
    if (!session_math_ran(s)) return false;
    double median_length = median_bounded_length(s);
    if (class_by_length(s, lap, median_length) != LX_LAP_FULL) return false;
    std::vector<double> times;
    for (int l = 0; l < s->nlaps; ++l)
        if (class_by_length(s, l, median_length) == LX_LAP_FULL) times.push_back(lap_time(s, l));
    return lap_time(s, lap) > SLOW_FACTOR * median(std::move(times));
}

bool lap_truncated(const Session* s, int lap) {
    const SessionRecord* r = s->record;
    return r != nullptr && r->truncated && !r->ends_at_mark && lap == s->nlaps - 1;
}

} // namespace lx::data
