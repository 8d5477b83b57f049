// Which channels give speed and accelerations: chosen by name and, for the
// lateral one, by how well its laps close and how near its map lies to the
// GPS track; then the session math computed with them.
#pragma once

#include <string>
#include <vector>

#include "frame/frame.h"
#include "lx_data.h"

namespace lx::data {

struct ChannelRequest {
    const char* speed = nullptr; // null or "": chosen
    const char* lateral = nullptr;
    const char* longitudinal = nullptr; // "none": derived from speed
    int speed_units = LX_SPEED_AUTO;
    int invert_lat = 0;
    int invert_long = 0;
};

struct ChannelChoice {
    int speed = 0, longitudinal = 0; // longitudinal 0: derived from speed
    int speed_units = LX_SPEED_KMH;
    bool lateral_given = false;
    std::vector<lx_lateral_candidate> lateral; // the chosen one first
    std::string reasons;                       // lines ending in '\n'
    std::string warning;                       // "" unless the choice is doubtful
};

// Chooses, adds the derived channels where missing and leaves the session
// math computed with the chosen channels. LX_OK or a failure naming the
// option that would settle it.
int choose_channels(Session* s, int handle, const ChannelRequest& request, ChannelChoice& choice);

// The laps' GPS track in metres east and north; false without one.
bool gps_track(const Session* s, int lap, std::vector<double>& x, std::vector<double>& y);
// The lap's map dead-reckoned from speed and lateral g, in metres, as the
// map export draws it at heading 0; false without one.
bool reckoned_map(Session* s, int lap, std::vector<double>& x, std::vector<double>& y);
// How far the lap's dead-reckoned map lies from its GPS track: RMS metres
// after the best rotation and shift; NaN without a track or a map.
double reckoning_error(Session* s, int lap);

} // namespace lx::data
