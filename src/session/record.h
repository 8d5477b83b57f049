// What a file said that the session's fixed fields cannot hold: the channel
// titles and units as written, the format, the metadata and the logger's own
// lap times. Filled by whoever opens or cuts the file; null when nobody did.
#pragma once

#include <memory>
#include <string>
#include <utility>
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

// Owns an attachment; a copy of a record holds none, since what is attached
// was worked out for the session it came with.
struct AttachmentSlot : std::unique_ptr<Attachment> {
    using std::unique_ptr<Attachment>::unique_ptr;
    using std::unique_ptr<Attachment>::operator=;
    AttachmentSlot() = default;
    AttachmentSlot(const AttachmentSlot&) : std::unique_ptr<Attachment>() {}
    AttachmentSlot& operator=(const AttachmentSlot&) {
        reset();
        return *this;
    }
    AttachmentSlot(AttachmentSlot&&) = default;
    AttachmentSlot& operator=(AttachmentSlot&&) = default;
    ~AttachmentSlot() = default;
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
    std::string format; // "text export", "AiM CSV", "RaceChrono CSV", "MoTeC CSV", "VBO",
                        // "MoTeC LD", "iRacing telemetry"
    std::vector<ChannelTitle> titles; // index: channel number; derived channels need no entry
    std::string venue, vehicle, driver, date, time;
    double start_time = 0.0; // seconds of the first sample since the Unix epoch; 0: unknown
    // Origin of the local east/north channels, in degrees; both 0 when none.
    double origin_latitude = 0.0, origin_longitude = 0.0;
    AttachmentSlot analysis;  // the data API's analysis; null until it runs
    std::string logger;       // the logger or program that wrote the file, as it says
    double stated_rate = 0.0; // samples per second the file states; 0: none
    // A recording starts or ends at a lap mark only where it was cut at one: a
    // window of laps, a cut by lap matching, a file that names its one lap.
    bool starts_at_mark = false, ends_at_mark = false;
    int first_lap = 1; // the file's place of the session's first lap, from 1
    // Per lap: the logger's own lap time in whole milliseconds; < 0 when the
    // file gives none. Kept whole so the time comes back exactly.
    std::vector<long long> logger_ms;
    bool has_start_gate = false;
    GpsGate start_gate;
    std::vector<GpsGate> split_gates;
    std::vector<SplitCrossing> splits;
    // How the file was read and what was odd in it, for people: gate
    // readings, time gaps, a cut last row.
    std::vector<std::string> notes;
    // The file ends inside its last row or record: its last lap ends early.
    bool truncated = false;
    std::vector<ChannelSource> sources; // index: channel number; empty unless a binary file
    std::vector<std::pair<std::string, std::string>> fields; // further header texts by name
};

// A header text of the record by name; "" when absent.
std::string record_field(const SessionRecord& record, const std::string& name);

// Deletes a record; safe on null. Never throws.
void free_record(SessionRecord* record);

} // namespace lx
