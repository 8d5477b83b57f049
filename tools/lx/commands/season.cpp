// lx season: every session file under a folder, grouped by track, kept in a
// SQLite database that a re-run brings up to date.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>

#include "commands.h"
#include "season.h"
#include "season_db.h"
#include "season_page.h"
#include "sha256.h"

namespace fs = std::filesystem;

namespace lxtool {

namespace {

struct SeasonOptions {
    std::string folder, db = "season.sqlite", output;
    bool reports = false;
};

// Paths the run itself writes, which are no sessions.
bool own_file(const fs::path& path, const SeasonOptions& o) {
    std::error_code error;
    auto canonical = [&](const fs::path& p) { return fs::weakly_canonical(p, error).string(); };
    std::string p = canonical(path);
    if (p.rfind(canonical(o.db), 0) == 0) return true; // the database and its journal
    return !o.output.empty() && p.rfind(canonical(o.output) + "/", 0) == 0;
}

std::vector<SeasonFile> files_under(const SeasonOptions& o) {
    std::error_code error;
    if (!fs::is_directory(o.folder, error)) refuse(o.folder + " is not a folder");
    std::vector<SeasonFile> files;
    auto options = fs::directory_options::skip_permission_denied;
    for (auto it = fs::recursive_directory_iterator(o.folder, options, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (!it->is_regular_file(error) || own_file(it->path(), o)) continue;
        SeasonFile f;
        f.path = it->path().string();
        f.size = static_cast<long long>(it->file_size(error));
        // Unix time, as Python's st_mtime_ns: either writer's run may follow the other's.
        auto since = std::chrono::file_clock::to_sys(it->last_write_time(error)).time_since_epoch();
        f.mtime_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count();
        files.push_back(f);
    }
    std::sort(files.begin(), files.end(),
              [](const SeasonFile& a, const SeasonFile& b) { return a.path < b.path; });
    return files;
}

// The files to analyse: new or changed content. Unchanged files and content
// already stored are skipped; an unreadable file is a refused session.
std::vector<SessionRows> first_reading(SeasonDb& db, std::vector<SeasonFile> files, int& skipped,
                                       std::vector<SeasonFile>& copies) {
    std::vector<SessionRows> read;
    std::set<std::string> seen;
    for (SeasonFile& f : files) {
        if (db.unchanged(f)) {
            ++skipped;
            continue;
        }
        std::optional<std::string> hash = sha256_of_file(f.path);
        f.hash = hash ? *hash : "unreadable:" + f.path;
        if (db.stored(f.hash)) {
            if (hash) db.record_file(f);
            ++skipped;
            continue;
        }
        if (!seen.insert(f.hash).second) {
            copies.push_back(f); // recorded once the first of its content is stored
            continue;
        }
        if (!hash) {
            SessionRows rows;
            rows.file = f;
            rows.status = STATUS_REFUSED;
            rows.reason = "cannot read " + f.path;
            read.push_back(rows);
            continue;
        }
        read.push_back(read_session(f));
    }
    return read;
}

// Groups the analysed sessions in rounds: each tests the first track near it
// that it has not been tested against; one near no track and after no other
// waiting session near it becomes a track. Python's lx.Season runs the same
// rounds, so a season comes out alike from either.
void group_by_track(SeasonDb& db, std::vector<SessionRows> waiting) {
    std::vector<Track> tracks = db.tracks();
    std::map<std::string, std::set<long long>> tried;
    References references;
    while (!waiting.empty()) {
        std::vector<SessionRows> next;
        std::vector<const SessionRows*> earlier;
        std::vector<Track> made;
        for (const SessionRows& s : waiting) {
            const Track* candidate = nullptr;
            for (const Track& t : tracks)
                if (near(s.centre, t.centre) && !tried[s.file.path].count(t.id)) {
                    candidate = &t;
                    break;
                }
            bool blocked = std::any_of(earlier.begin(), earlier.end(), [&](const SessionRows* e) {
                return near(e->centre, s.centre);
            });
            earlier.push_back(&s);
            if (candidate) {
                std::optional<SessionRows> on =
                    read_on_track(s, references, candidate->reference_path);
                if (on) {
                    db.write(*on, candidate->id, false);
                    continue;
                }
                tried[s.file.path].insert(candidate->id);
                next.push_back(s);
            } else if (blocked) {
                next.push_back(s);
            } else {
                made.push_back({db.write(s, 0, true), s.file.path, s.venue, s.centre});
            }
        }
        tracks.insert(tracks.end(), made.begin(), made.end());
        waiting = std::move(next);
    }
}

void run_season(const SeasonOptions& o) {
    std::vector<SeasonFile> files = files_under(o);
    if (!o.output.empty()) {
        std::error_code error;
        fs::create_directories(o.output, error);
        check_writable((fs::path(o.output) / "season.html").string());
    }
    SeasonDb db(o.db);
    int skipped = 0;
    std::vector<SeasonFile> copies;
    std::vector<SessionRows> read = first_reading(db, files, skipped, copies);
    std::vector<SessionRows> analysed;
    for (const SessionRows& s : read) {
        if (s.analysed())
            analysed.push_back(s);
        else
            db.write(s, 0, false);
    }
    group_by_track(db, analysed);
    for (const SeasonFile& f : copies) db.record_file(f);
    skipped += int(copies.size());
    print_season(db);
    std::fprintf(out, "%s: %zu read, %d unchanged\n", o.db.c_str(), read.size(), skipped);
    if (!o.output.empty())
        std::fprintf(out, "%s\n", write_season_page(db, o.output, o.reports).c_str());
    if (db.analysed_sessions() == 0) refuse("no session under " + o.folder + " was analysed");
}

} // namespace

Command add_season(CLI::App& app) {
    static SeasonOptions o;
    CLI::App* c = app.add_subcommand(
        "season", "Analyse every session file under a folder into a SQLite database, grouped "
                  "by track; a re-run reads only new or changed files");
    c->add_option("DIR", o.folder, "folder of session files (searched with its subfolders)")
        ->required();
    c->add_option("--db", o.db, "the season database")->capture_default_str();
    c->add_option("-o,--output", o.output, "folder for season.html: best laps and corners");
    c->add_flag("--reports", o.reports,
                "with -o, also write each session's report, which season.html links to");
    return {c, [] { run_season(o); }};
}

} // namespace lxtool
