// Lap classes and the dead-reckoned closure of a lap, from what the session
// math measured.
#pragma once

#include "frame/frame.h"

namespace lx::data {

// True once the session math has given the laps their lengths.
bool session_math_ran(const Session* s);

// The lx_lap_class of a lap (see lx_data.h).
int lap_class(const Session* s, int lap);

// The one lap time every view shows: the logger's own where the file gives
// one, else sample_time.
double lap_time(const Session* s, int lap);
// Counted from the samples.
double sample_time(const Session* s, int lap);
// True when lap_time is the logger's own.
bool logger_timed(const Session* s, int lap);
// A full lap slower than 107 % of the median full lap.
bool lap_slow(const Session* s, int lap);
// The recording's last lap of a file that ends inside a row or record.
bool lap_truncated(const Session* s, int lap);

} // namespace lx::data
