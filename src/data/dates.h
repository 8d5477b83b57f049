// The day a session was recorded, read from the date its file states in the
// way that format writes dates.
#pragma once

#include <string>

#include "session/record.h"

namespace lx::data {

// "YYYY-MM-DD", or "" when the file states no date or one that could be
// read two ways (05/03/2026) or misses the century (01/11/07).
std::string session_day(const SessionRecord& record);

} // namespace lx::data
