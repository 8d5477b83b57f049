// A channel's title and unit as its file wrote them, and finding a channel by
// either its title or its stored name.
#pragma once

#include <string_view>

#include "frame/frame.h"

namespace lx::data {

// As the file wrote them; the stored name and unit for derived channels and
// for sessions opened without a record.
std::string_view channel_title(const Session* s, int channel);
std::string_view channel_unit(const Session* s, int channel);

// The channel among the first `among` whose title is name, else whose stored
// name is. A failure (LX_ERR_CHANNEL naming the nearest names, or
// LX_ERR_AMBIGUOUS listing the matches) says `where` first.
int match_channel(const Session* s, std::string_view name, int among, std::string_view where);

// The newest channel of that name that the library appended; 0 when none.
int newest_derived(const Session* s, const char* name);

} // namespace lx::data
