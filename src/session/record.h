// What a file said that the session's fixed fields cannot hold: the channel
// titles and units as written, the format, the metadata and the logger's own
// lap times. Filled by whoever opens the file; null when nobody did.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace lx {

struct ChannelTitle {
    std::string title; // UTF-8, as the file wrote it
    std::string unit;  // UTF-8, as the file wrote it; may be empty
};

// How a binary file stored a channel: enough to write it back the same way.
struct ChannelSource {
    std::string short_name;
    double rate = 0; // samples per second of its own
    int type = 0;    // the format's type code
    int size = 0;    // bytes per sample
    int shift = 0, mul = 1, scale = 1,
        decimals = 0; // value = (raw / scale / 10^decimals + shift) * mul
};

struct SessionRecord {
    std::string format; // "text export", "AiM CSV", "RaceChrono CSV", "MoTeC CSV", "MoTeC LD", ...
    std::vector<ChannelTitle> titles; // index: channel number; derived channels need no entry
    std::string venue, vehicle, driver, date, time;
    double start_time = 0.0; // seconds of the first sample since the Unix epoch; 0: unknown
    // Origin of the local east/north channels, in degrees; both 0 when none.
    double origin_latitude = 0.0, origin_longitude = 0.0;
    std::vector<ChannelSource> sources;   // index: channel number; empty unless a binary file
    std::vector<long long> lap_logger_ms; // index: lap; the logger's lap time, -1 when none
    std::vector<std::pair<std::string, std::string>> fields; // further header texts by name
    std::string notes; // what the reader left out or chose on its own, for the user
};

// A header text of the record by name; "" when absent.
std::string record_field(const SessionRecord& record, const std::string& name);

// Deletes a record; safe on null. Never throws.
void free_record(SessionRecord* record);

} // namespace lx
