// What a file said that the session's fixed fields cannot hold: the channel
// titles and units as written, the format, the metadata and the logger's own
// lap times. Filled by whoever opens the file; null when nobody did.
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
};

// Deletes a record; safe on null. Never throws.
void free_record(SessionRecord* record);

} // namespace lx
