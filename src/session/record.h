// What a file said that the session's fixed fields cannot hold: the channel
// titles and units as written, the format, the metadata and the logger's own
// lap times. Filled by whoever opens the file; null when nobody did.
#pragma once

#include <string>
#include <vector>

namespace lx {

struct ChannelTitle {
    std::string title; // UTF-8, as the file wrote it
    std::string unit;  // UTF-8, as the file wrote it; may be empty
};

// A line a GPS track crosses, in degrees, as the reader used it.
struct GpsGate {
    std::string name;
    double latitude[2] = {0, 0}, longitude[2] = {0, 0}; // the ends of the line
};

// Where a lap crossed a split gate: seconds after the lap's start crossing,
// metres along the lap's Distance.
struct SplitCrossing {
    int lap = 0;   // session lap, from 0
    int split = 0; // split gate, from 0
    double time = 0, distance = 0;
};

struct SessionRecord {
    std::string format; // "text export", "AiM CSV", "RaceChrono CSV", "MoTeC CSV", "VBO"
    std::vector<ChannelTitle> titles; // index: channel number; derived channels need no entry
    std::string venue, vehicle, driver, date, time;
    double start_time = 0.0; // seconds of the first sample since the Unix epoch; 0: unknown
    // Origin of the local east/north channels, in degrees; both 0 when none.
    double origin_latitude = 0.0, origin_longitude = 0.0;
    // The logger's lap times in milliseconds, one per session lap; -1 where
    // a lap is not bounded by two crossings. Empty when the reader kept none.
    std::vector<long long> lap_times_ms;
    bool has_start_gate = false;
    GpsGate start_gate;
    std::vector<GpsGate> split_gates;
    std::vector<SplitCrossing> splits;
    // How the file was read and what was odd in it, for people: gate
    // readings, time gaps, a cut last row.
    std::vector<std::string> notes;
};

// Deletes a record; safe on null. Never throws.
void free_record(SessionRecord* record);

} // namespace lx
