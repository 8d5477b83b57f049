// The season database (SQLite): the schema shared with the Python module,
// one transaction per session, the files a re-run can skip.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "season.h"

struct sqlite3;

namespace lxtool {

struct Track {
    long long id = 0;
    std::string reference_path, name;
    std::optional<GpsCentre> centre;
};

class SeasonDb {
  public:
    // Opens or creates the database; refuses one of another schema version.
    explicit SeasonDb(const std::string& path);
    ~SeasonDb();
    SeasonDb(const SeasonDb&) = delete;
    SeasonDb& operator=(const SeasonDb&) = delete;

    // The file as recorded: same path, size, modification time and lx version.
    bool unchanged(const SeasonFile& file);
    // A session of this content (hash) and lx version is stored.
    bool stored(const std::string& hash);
    void record_file(const SeasonFile& file);
    // Writes the session, and a new track of which it is the reference when
    // new_track, in one transaction. Returns the track's id (0: none).
    long long write(const SessionRows& rows, long long track, bool new_track);
    std::vector<Track> tracks();
    int analysed_sessions();
    // Every row of a query as texts ("" for NULL), for tables and pages.
    std::vector<std::vector<std::string>> rows(const char* sql);

  private:
    void exec(const char* sql);
    long long insert_session(const SessionRows& rows);
    void insert_rows(long long session, const SessionRows& rows);
    sqlite3* db_ = nullptr;
};

// The version a session's rows were made by: part of its key.
extern const char* const LX_TOOL_VERSION;

} // namespace lxtool
