// Lap classes and the dead-reckoned closure of a lap, from what the session
// math measured.
#pragma once

#include "frame/frame.h"

namespace lx::data {

// True once the session math has given the laps their lengths.
bool session_math_ran(const Session* s);

// The lx_lap_class of a lap (see lx_data.h).
int lap_class(const Session* s, int lap);

} // namespace lx::data
