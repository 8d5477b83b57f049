// What a file said that the session's fixed fields cannot hold: the channel
// titles and units as written, the format, the metadata and the logger's own
// lap times. Filled by whoever opens or cuts the file; null when nobody did.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace lx {

struct ChannelTitle {
    std::string title; // UTF-8, as the file wrote it
    std::string unit;  // UTF-8, as the file wrote it; may be empty
};

// What a layer above keeps with a session, freed with it.
struct Attachment {
    virtual ~Attachment() = default;
};

struct SessionRecord {
    std::string format;               // "text export", "AiM CSV", "RaceChrono CSV", "MoTeC CSV"
    std::vector<ChannelTitle> titles; // index: channel number; derived channels need no entry
    std::string venue, vehicle, driver, date, time;
    double start_time = 0.0; // seconds of the first sample since the Unix epoch; 0: unknown
    // Origin of the local east/north channels, in degrees; both 0 when none.
    double origin_latitude = 0.0, origin_longitude = 0.0;
    std::unique_ptr<Attachment> analysis; // the data API's analysis; null until it runs
    std::string logger;       // the logger or program that wrote the file, as it says
    double stated_rate = 0.0; // samples per second the file states; 0: none
    // A recording starts or ends at a lap mark only where it was cut at one: a
    // window of laps, a cut by lap matching, a file that names its one lap.
    bool starts_at_mark = false, ends_at_mark = false;
    int first_lap = 1; // the file's place of the session's first lap, from 1
    // Per lap: the logger's own lap time in whole milliseconds; < 0 when the
    // file gives none. Kept whole so the time comes back exactly.
    std::vector<long long> logger_ms;
};

// Deletes a record; safe on null. Never throws.
void free_record(SessionRecord* record);

} // namespace lx
