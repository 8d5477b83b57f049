-- A season of sessions: written by `lx season` and lx.Season, read by both.
-- schema_version changes when a table or column changes meaning or goes.
-- Speeds are km/h, times seconds, lengths metres; laps are numbered as
-- `lx laps` shows them, from 1.
CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT NOT NULL);
INSERT OR IGNORE INTO meta VALUES ('schema_version', '1');

-- What a re-run skips by: a file whose size and modification time are as
-- recorded is not read again; a changed one is hashed and found by content.
CREATE TABLE IF NOT EXISTS files (
    path TEXT PRIMARY KEY,
    size INTEGER NOT NULL,
    mtime_ns INTEGER NOT NULL,
    hash TEXT NOT NULL,
    lx_version TEXT NOT NULL
);

-- A track: the sessions whose GPS centres lie within 2 km of its reference
-- session's and that the library's same-track test puts on it. Its corners
-- and sectors are the reference session's fastest lap's.
CREATE TABLE IF NOT EXISTS tracks (
    id INTEGER PRIMARY KEY,
    reference INTEGER NOT NULL,
    name TEXT NOT NULL,
    latitude REAL,
    longitude REAL,
    length REAL NOT NULL
);

-- status: 'analysed'; 'no full lap' or 'not analysed' (opened, on an unknown
-- track); 'refused' (not read: another kind of file, damaged, unreadable).
-- reason says why for all but the first. track null: unknown.
CREATE TABLE IF NOT EXISTS sessions (
    id INTEGER PRIMARY KEY,
    hash TEXT NOT NULL,
    lx_version TEXT NOT NULL,
    path TEXT NOT NULL,
    status TEXT NOT NULL,
    reason TEXT NOT NULL,
    track INTEGER REFERENCES tracks(id),
    format TEXT NOT NULL,
    venue TEXT NOT NULL,
    vehicle TEXT NOT NULL,
    driver TEXT NOT NULL,
    date_text TEXT NOT NULL,
    day TEXT,
    laps INTEGER NOT NULL,
    full_laps INTEGER NOT NULL,
    fastest_lap INTEGER,
    fastest_time REAL,
    theoretical_best REAL,
    optimal_lap REAL,
    latitude REAL,
    longitude REAL,
    UNIQUE (hash, lx_version)
);

CREATE TABLE IF NOT EXISTS laps (
    session INTEGER NOT NULL REFERENCES sessions(id),
    lap INTEGER NOT NULL,
    logger_lap INTEGER NOT NULL,
    class TEXT NOT NULL,
    slow INTEGER NOT NULL,
    time REAL NOT NULL,
    gap REAL,
    length REAL NOT NULL,
    PRIMARY KEY (session, lap)
);

-- Per session and corner of its track's reference lap: the best minimum
-- speed over the session's full laps.
CREATE TABLE IF NOT EXISTS corners (
    session INTEGER NOT NULL REFERENCES sessions(id),
    corner INTEGER NOT NULL,
    hand TEXT NOT NULL,
    apex REAL NOT NULL,
    best_min_kmh REAL NOT NULL,
    best_min_lap INTEGER NOT NULL,
    PRIMARY KEY (session, corner)
);

-- Every full lap's times at its track's sector cuts.
CREATE TABLE IF NOT EXISTS sectors (
    session INTEGER NOT NULL REFERENCES sessions(id),
    lap INTEGER NOT NULL,
    sector INTEGER NOT NULL,
    time REAL NOT NULL,
    PRIMARY KEY (session, lap, sector)
);

-- The bests per track are views: they follow whatever sessions are stored.
CREATE VIEW IF NOT EXISTS track_sessions AS
SELECT t.id AS track, t.name AS track_name, s.id AS session, s.path, s.day, s.fastest_lap,
       s.fastest_time
FROM sessions s JOIN tracks t ON s.track = t.id
WHERE s.fastest_time IS NOT NULL;

CREATE VIEW IF NOT EXISTS track_bests AS
SELECT track, track_name, MIN(fastest_time) AS best_time, session, path, day, fastest_lap AS lap,
       COUNT(*) AS sessions
FROM track_sessions GROUP BY track;

CREATE VIEW IF NOT EXISTS track_corner_bests AS
SELECT s.track, c.corner, c.hand, c.apex, MAX(c.best_min_kmh) AS best_min_kmh,
       c.session, c.best_min_lap AS lap
FROM corners c JOIN sessions s ON c.session = s.id
GROUP BY s.track, c.corner;

CREATE VIEW IF NOT EXISTS track_sector_bests AS
SELECT s.track, x.sector, MIN(x.time) AS best_time, x.session, x.lap
FROM sectors x JOIN sessions s ON x.session = s.id
GROUP BY s.track, x.sector;
