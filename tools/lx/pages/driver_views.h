// What the driver did: the traces of the channels that play a role (throttle,
// brake, RPM, gear, steering) against distance, and the g-g diagram.
#pragma once

#include <string>
#include <vector>

#include "page_parts.h"

namespace lxtool {

// The channels the library gives each role, in role order; none that plays no role.
std::vector<int> role_channels(const Session& s);
// The channels named in a comma-separated list of titles or stored names
// (--traces); refuses a name that is not a channel.
std::vector<int> named_channels(const Session& s, const std::string& list);

// One chart per channel against distance, length metres across, the traces'
// laps overlaid; aligned with the speed chart. "" without channels.
std::string traces_figure(const std::vector<int>& channels, const std::vector<Trace>& traces,
                          double length);

// Lateral against longitudinal g of each trace on equal axes, with the
// envelope of envelope_of: its highest combined g in each 10 degree direction.
std::string gg_figure(const std::vector<Trace>& traces, const Trace& envelope_of);

} // namespace lxtool
