#include "season_db.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdlib>

#include "season_schema.h"

namespace lxtool {

const char* const LX_TOOL_VERSION = LX_PROJECT_VERSION;

namespace {

constexpr int SCHEMA_VERSION = 1;

// A prepared statement, finalised when it goes out of scope.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &st_, nullptr) != SQLITE_OK)
            refuse(std::string("season database: ") + sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(st_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& text(const std::string& value) {
        sqlite3_bind_text(st_, ++bound_, value.c_str(), -1, SQLITE_TRANSIENT);
        return *this;
    }
    Statement& integer(long long value) {
        sqlite3_bind_int64(st_, ++bound_, value);
        return *this;
    }
    // NaN and zero-meaning-none become NULL.
    Statement& real(double value, bool present = true) {
        if (present && std::isfinite(value))
            sqlite3_bind_double(st_, ++bound_, value);
        else
            sqlite3_bind_null(st_, ++bound_);
        return *this;
    }
    Statement& null() {
        sqlite3_bind_null(st_, ++bound_);
        return *this;
    }
    // True while there is a row.
    bool step() {
        int rc = sqlite3_step(st_);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            refuse(std::string("season database: ") + sqlite3_errmsg(db_));
        return rc == SQLITE_ROW;
    }
    int columns() { return sqlite3_column_count(st_); }
    long long column_int(int i) { return sqlite3_column_int64(st_, i); }
    double column_real(int i) { return sqlite3_column_double(st_, i); }
    bool column_null(int i) { return sqlite3_column_type(st_, i) == SQLITE_NULL; }
    std::string column_text(int i) {
        const unsigned char* t = sqlite3_column_text(st_, i);
        return t ? reinterpret_cast<const char*>(t) : "";
    }

  private:
    sqlite3* db_;
    sqlite3_stmt* st_ = nullptr;
    int bound_ = 0;
};

} // namespace

SeasonDb::SeasonDb(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) {
        std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        refuse("cannot open the season database " + path + ": " + why);
    }
    sqlite3_busy_timeout(db_, 5000);
    try {
        exec(SEASON_SCHEMA);
        Statement st(db_, "SELECT value FROM meta WHERE key = 'schema_version'");
        long version = st.step() ? std::strtol(st.column_text(0).c_str(), nullptr, 10) : 0;
        if (version != SCHEMA_VERSION)
            refuse(path + " holds a season of schema version " + std::to_string(version) +
                   ", this lx writes version " + std::to_string(SCHEMA_VERSION));
    } catch (...) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
}

SeasonDb::~SeasonDb() {
    sqlite3_close(db_);
}

void SeasonDb::exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::string why = error ? error : "unknown error";
        sqlite3_free(error);
        refuse("season database: " + why);
    }
}

bool SeasonDb::unchanged(const SeasonFile& file) {
    Statement st(db_, "SELECT 1 FROM files WHERE path = ? AND size = ? AND mtime_ns = ? AND "
                      "lx_version = ?");
    st.text(file.path).integer(file.size).integer(file.mtime_ns).text(LX_TOOL_VERSION);
    return st.step();
}

bool SeasonDb::stored(const std::string& hash) {
    Statement st(db_, "SELECT 1 FROM sessions WHERE hash = ? AND lx_version = ?");
    st.text(hash).text(LX_TOOL_VERSION);
    return st.step();
}

void SeasonDb::record_file(const SeasonFile& file) {
    Statement st(db_, "INSERT OR REPLACE INTO files VALUES (?, ?, ?, ?, ?)");
    st.text(file.path).integer(file.size).integer(file.mtime_ns).text(file.hash);
    st.text(LX_TOOL_VERSION).step();
}

long long SeasonDb::insert_session(const SessionRows& r) {
    Statement st(db_, "INSERT INTO sessions (hash, lx_version, path, status, reason, format, "
                      "venue, vehicle, driver, date_text, day, laps, full_laps, fastest_lap, "
                      "fastest_time, theoretical_best, optimal_lap, latitude, longitude) VALUES "
                      "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    st.text(r.file.hash).text(LX_TOOL_VERSION).text(r.file.path).text(r.status).text(r.reason);
    st.text(r.format).text(r.venue).text(r.vehicle).text(r.driver).text(r.date_text);
    if (r.day.empty())
        st.null();
    else
        st.text(r.day);
    st.integer(r.laps).integer(r.full_laps);
    if (r.fastest_lap > 0)
        st.integer(r.fastest_lap);
    else
        st.null();
    st.real(r.fastest_time, r.fastest_lap > 0).real(r.theoretical_best).real(r.optimal_lap);
    st.real(r.centre ? r.centre->latitude : 0, bool(r.centre));
    st.real(r.centre ? r.centre->longitude : 0, bool(r.centre));
    st.step();
    return sqlite3_last_insert_rowid(db_);
}

void SeasonDb::insert_rows(long long session, const SessionRows& r) {
    for (const LapRow& l : r.lap_rows) {
        Statement st(db_, "INSERT INTO laps VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
        st.integer(session).integer(l.lap).integer(l.logger_lap).text(l.lap_class);
        st.integer(l.slow).real(l.time).real(l.gap).real(l.length).step();
    }
    for (const CornerRow& c : r.corners) {
        Statement st(db_, "INSERT INTO corners VALUES (?, ?, ?, ?, ?, ?)");
        st.integer(session).integer(c.corner).text(c.hand).real(c.apex).real(c.best_min_kmh);
        st.integer(c.best_min_lap).step();
    }
    for (const SectorTime& x : r.sectors) {
        Statement st(db_, "INSERT INTO sectors VALUES (?, ?, ?, ?)");
        st.integer(session).integer(x.lap).integer(x.sector).real(x.time).step();
    }
}

long long SeasonDb::write(const SessionRows& r, long long track, bool new_track) {
    exec("BEGIN IMMEDIATE");
    try {
        long long session = insert_session(r);
        insert_rows(session, r);
        if (new_track) {
            Statement st(db_, "INSERT INTO tracks (reference, name, latitude, longitude, length) "
                              "VALUES (?, ?, ?, ?, ?)");
            st.integer(session).text(r.venue);
            st.real(r.centre ? r.centre->latitude : 0, bool(r.centre));
            st.real(r.centre ? r.centre->longitude : 0, bool(r.centre));
            st.real(r.ref_length).step();
            track = sqlite3_last_insert_rowid(db_);
        }
        if (track > 0) {
            Statement st(db_, "UPDATE sessions SET track = ? WHERE id = ?");
            st.integer(track).integer(session).step();
        }
        record_file(r.file);
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    return track;
}

std::vector<Track> SeasonDb::tracks() {
    std::vector<Track> out;
    Statement st(db_, "SELECT t.id, s.path, t.name, t.latitude, t.longitude FROM tracks t JOIN "
                      "sessions s ON t.reference = s.id ORDER BY t.id");
    while (st.step()) {
        Track t;
        t.id = st.column_int(0);
        t.reference_path = st.column_text(1);
        t.name = st.column_text(2);
        if (!st.column_null(3)) t.centre = GpsCentre{st.column_real(3), st.column_real(4)};
        out.push_back(t);
    }
    return out;
}

std::vector<std::vector<std::string>> SeasonDb::rows(const char* sql) {
    Statement st(db_, sql);
    std::vector<std::vector<std::string>> out;
    while (st.step()) {
        std::vector<std::string> row;
        for (int i = 0; i < st.columns(); ++i) row.push_back(st.column_text(i));
        out.push_back(row);
    }
    return out;
}

int SeasonDb::analysed_sessions() {
    Statement st(db_, "SELECT COUNT(*) FROM sessions WHERE status = 'analysed'");
    return st.step() ? int(st.column_int(0)) : 0;
}

} // namespace lxtool
