// A season's sessions as rows: each file opened by content and analysed by
// the library, on its own or against its track's reference session.
#pragma once

#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tool.h"

namespace lxtool {

// A file as found in the folder; hash empty until it is read.
struct SeasonFile {
    std::string path, hash;
    long long size = 0, mtime_ns = 0;
};

struct LapRow {
    int lap = 0, logger_lap = 0, slow = 0;
    std::string lap_class;
    double time = 0, gap = 0, length = 0; // gap NaN unless full
};

struct CornerRow {
    int corner = 0, best_min_lap = 0;
    std::string hand;
    double apex = 0, best_min_kmh = 0;
};

struct SectorTime {
    int lap = 0, sector = 0;
    double time = 0;
};

struct GpsCentre {
    double latitude = 0, longitude = 0;
};

extern const char* const STATUS_ANALYSED;
extern const char* const STATUS_REFUSED;
extern const char* const STATUS_NO_FULL_LAP;
extern const char* const STATUS_NOT_ANALYSED; // opened, but the analysis refused it

struct SessionRows {
    SeasonFile file;
    std::string status, reason;
    std::string format, venue, vehicle, driver, date_text, day;
    int laps = 0, full_laps = 0, fastest_lap = 0; // fastest_lap 0: none
    static constexpr double NONE = std::numeric_limits<double>::quiet_NaN();
    double fastest_time = NONE, theoretical_best = NONE, optimal_lap = NONE, ref_length = 0;
    std::optional<GpsCentre> centre;
    std::vector<LapRow> lap_rows;
    std::vector<CornerRow> corners;
    std::vector<SectorTime> sectors;
    bool analysed() const { return status == STATUS_ANALYSED; }
};

// Opens and analyses the file on its own; a refusal or a session without a
// full lap comes back as such with the reason.
SessionRows read_session(const SeasonFile& file);
// Reference sessions kept open and analysed while a track's sessions are
// read against them; a few at a time, as the library holds ten sessions.
class References {
  public:
    // The reference session, opened and analysed; null when it cannot be.
    const Session* get(const std::string& path);

  private:
    std::vector<std::pair<std::string, std::unique_ptr<Session>>> open_;
};

// The session analysed against the reference session's fastest lap, its
// corners and sectors; nullopt when the library says it is another track.
std::optional<SessionRows> read_on_track(const SessionRows& session, References& references,
                                         const std::string& reference_path);

// Within 2 km of each other; a session without positions is near any.
bool near(const std::optional<GpsCentre>& a, const std::optional<GpsCentre>& b);

} // namespace lxtool
