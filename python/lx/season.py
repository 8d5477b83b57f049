"""A season: every session file under a folder in one SQLite database, grouped by track.

    import lx
    season = lx.Season("sessions/", db="season.sqlite")           # analyses what is new
    season = lx.Season("sessions/", db="s.sqlite", executor=pool) # any concurrent.futures.Executor
    print(season.table("track_bests"))

Workers open and analyse sessions and return plain rows; this process alone
writes the database, one transaction per session, so a run that is killed
leaves every session it wrote whole. The schema is ``season.sql``, which the
``lx season`` command uses too. A re-run skips files whose path, size and
modification time are as recorded, and files whose content (SHA-256) a
session of this lx version already holds.
"""

from __future__ import annotations

import ctypes
import hashlib
import math
import os
import sqlite3
from concurrent.futures import Executor
from pathlib import Path
from typing import Any, Dict, List, Optional, Tuple

import pandas as pd

from . import _native as n
from .errors import LapError, LxError
from .session import LapClass, Session

SCHEMA = Path(__file__).with_name("season.sql")
SCHEMA_VERSION = 1
EARTH_RADIUS = 6371000.0  # m
SAME_PLACE = 2000.0  # m between track centres
KMH = 3.6
ANALYSED, NO_FULL_LAP, NOT_ANALYSED, REFUSED = "analysed", "no full lap", "not analysed", "refused"
CLASS_KEYS = {
    LapClass.FULL: "full",
    LapClass.OUT: "out",
    LapClass.IN: "in",
    LapClass.PARTIAL: "partial",
    LapClass.DOUBLE: "double",
}

Rows = Dict[str, Any]


def _version() -> str:
    from . import __version__

    return __version__


# ---- workers: a session's rows ---------------------------------------------


def _number(handle: int, lap: int) -> Optional[int]:
    if lap < 0:
        return None
    c = n.LapInfoC()
    n.data_call("lx_lap_info_get", handle, lap, ctypes.byref(c))
    return c.number


def _centre(handle: int, fastest: int) -> Optional[Tuple[float, float]]:
    lat, lon = ctypes.c_double(), ctypes.c_double()
    try:
        n.data_call("lx_session_origin", handle, ctypes.byref(lat), ctypes.byref(lon))
        count = n.data_call("lx_analysis_gps_track", handle, fastest, None, None, 0, None)
    except LxError:
        return None
    x, y = (ctypes.c_double * count)(), (ctypes.c_double * count)()
    n.data_call("lx_analysis_gps_track", handle, fastest, x, y, count, None)
    east = sum(v / count for v in x)
    north = sum(v / count for v in y)
    degree = math.pi / 180
    return (
        lat.value + north / EARTH_RADIUS / degree,
        lon.value + east / (EARTH_RADIUS * math.cos(lat.value * degree)) / degree,
    )


def _analysis(handle: int, laps: int, rows: Rows) -> None:
    """What the analysis gives, once it has run."""
    info = n.AnalysisInfoC()
    n.data_call("lx_analysis_info_get", handle, ctypes.byref(info))
    rows.update(
        full_laps=info.full_laps,
        fastest_lap=_number(handle, info.fastest_lap),
        fastest_time=None if info.fastest_lap < 0 else info.fastest_time,
        theoretical_best=_finite(info.theoretical_best),
        optimal_lap=_finite(info.optimal_lap),
        ref_length=info.ref_length,
        laps_rows=[],
        corners=[],
        sectors=[],
    )
    times = (ctypes.c_double * (n.MAX_CUTS + 1))()
    for lap in range(laps):
        c = n.AnalysisLapC()
        n.data_call("lx_analysis_lap_get", handle, lap, ctypes.byref(c))
        i = c.info
        full = i.lap_class == LapClass.FULL
        rows["laps_rows"].append(
            (
                i.number,
                i.logger_lap,
                CLASS_KEYS.get(i.lap_class, "unknown"),
                i.slow,
                i.laptime,
                _finite(c.gap),
                i.length,
            )
        )
        if full:
            k = n.data_call("lx_analysis_sector_times", handle, lap, times, len(times))
            rows["sectors"] += [(i.number, s + 1, times[s]) for s in range(k)]
    if info.fastest_lap < 0:
        return
    count = n.data_call("lx_analysis_corner_summary", handle, None, 0)
    summary = (n.CornerSummaryC * max(count, 1))()
    n.data_call("lx_analysis_corner_summary", handle, summary, count)
    for c in summary[:count]:
        hand = "right" if c.corner.direction > 0 else "left"
        rows["corners"].append(
            (
                c.corner.number,
                hand,
                c.corner.apex,
                c.best_min_speed * KMH,
                _number(handle, c.best_min_lap),
            )
        )
    rows["centre"] = _centre(handle, info.fastest_lap)


def _finite(value: float) -> Optional[float]:
    return value if math.isfinite(value) else None


def _analyse(session: Session, reference: int = 0) -> None:
    options = n.AnalysisOptionsC()
    n.data_call("lx_analysis_defaults", ctypes.byref(options))
    options.ref_handle = reference
    n.data_call("lx_analyse", session.handle, ctypes.byref(options))


def read_session(file: Rows) -> Rows:
    """Opens and analyses one file on its own: its rows, or why it has none."""
    rows: Rows = dict(
        file=file,
        status=REFUSED,
        reason="",
        centre=None,
        format="",
        venue="",
        vehicle="",
        driver="",
        date_text="",
        day=None,
        laps=0,
        full_laps=0,
        fastest_lap=None,
        fastest_time=None,
        theoretical_best=None,
        optimal_lap=None,
        ref_length=0.0,
        laps_rows=[],
        corners=[],
        sectors=[],
    )
    try:
        with Session(file["path"]) as s:
            info = s.info
            day = ctypes.create_string_buffer(16)
            n.data_call("lx_session_day", s.handle, day, len(day))
            rows.update(
                format=info.format,
                venue=info.venue,
                vehicle=info.vehicle,
                driver=info.driver,
                date_text=info.date,
                laps=info.laps,
                day=day.value.decode() or None,
                status=NO_FULL_LAP,
            )
            if info.laps == 0:
                raise LapError("no laps")
            try:
                _analyse(s)
            except LapError:
                raise
            except LxError:
                rows["status"] = NOT_ANALYSED
                raise
            _analysis(s.handle, info.laps, rows)
            if rows["full_laps"] == 0:
                raise LapError(f"no full lap in {info.laps} laps")
            rows["status"] = ANALYSED
    except (LxError, OSError, ValueError) as e:  # a path that is no text, too
        rows["reason"] = _reason(file["path"], str(e))
    return rows


def _reason(path: str, why: str) -> str:
    """The reason without the file's name, which the listing gives beside it."""
    for prefix in (path + ": ", path + " "):
        if why.startswith(prefix):
            return why[len(prefix) :]
    return why


# Reference sessions this worker keeps open and analysed, a few at a time (the
# library holds ten sessions).
_references: Dict[str, Session] = {}
KEPT_REFERENCES = 4


def _reference(path: str) -> Session:
    if path not in _references:
        if len(_references) == KEPT_REFERENCES:
            _references.pop(next(iter(_references))).close()
        s = Session(path)
        try:
            _analyse(s)
        except LxError:
            s.close()
            raise
        _references[path] = s
    return _references[path]


def read_on_track(session: Rows, reference_path: str) -> Optional[Rows]:
    """The session analysed against the reference session; None for another track."""
    try:
        ref = _reference(reference_path)
        with Session(session["file"]["path"]) as s:
            _analyse(s, ref.handle)
            rows = dict(session)
            _analysis(s.handle, s.info.laps, rows)
            rows["centre"] = session["centre"]
            return rows
    except LxError:
        return None


def near(a: Optional[Tuple[float, float]], b: Optional[Tuple[float, float]]) -> bool:
    """Within 2 km of each other; a session without positions is near any."""
    if a is None or b is None:
        return True  # only the same-track test can tell
    degree = math.pi / 180
    mean = (a[0] + b[0]) / 2 * degree
    north = (a[0] - b[0]) * degree * EARTH_RADIUS
    east = (a[1] - b[1]) * degree * EARTH_RADIUS * math.cos(mean)
    return math.hypot(north, east) <= SAME_PLACE


def _sha256(path: str) -> Optional[str]:
    try:
        with open(path, "rb") as f:
            return hashlib.file_digest(f, "sha256").hexdigest()  # type: ignore[attr-defined]
    except AttributeError:
        with open(path, "rb") as f:
            return hashlib.sha256(f.read()).hexdigest()
    except OSError:
        return None


# ---- the one writer ----------------------------------------------------------


class Season:
    """A season database; with a folder, first brings it up to date.

    Parameters
    ----------
    folder : str or path, optional
        Every file under it (subfolders too) is tried as a session, by content.
    db : str or path
        The SQLite database, created when missing.
    executor : concurrent.futures.Executor, optional
        Where sessions are analysed (e.g. ``distributed.Client(...).get_executor()``);
        None: in this process. The database is the same either way. Its workers
        must be processes of one thread each: the library's state is global.
    """

    def __init__(
        self, folder: Any = None, db: Any = "season.sqlite", executor: Optional[Executor] = None
    ) -> None:
        self.db = os.fspath(db)
        self._con = sqlite3.connect(self.db, isolation_level=None, timeout=5)
        self._con.executescript(SCHEMA.read_text())
        (version,) = self._con.execute(
            "SELECT value FROM meta WHERE key = 'schema_version'"
        ).fetchone()
        if int(version) != SCHEMA_VERSION:
            raise ValueError(f"{self.db} holds schema version {version}, not {SCHEMA_VERSION}")
        self.read = self.unchanged = 0
        if folder is not None:
            self.update(folder, executor)

    def close(self) -> None:
        self._con.close()

    def table(self, name: str) -> pd.DataFrame:
        """A table or view of the schema as a DataFrame (sessions, laps, corners,
        sectors, tracks, track_sessions, track_bests, track_corner_bests, track_sector_bests)."""
        if not name.isidentifier():
            raise ValueError(f"no table {name!r}")
        return pd.read_sql_query(f"SELECT * FROM {name}", self._con)

    def update(self, folder: Any, executor: Optional[Executor] = None) -> None:
        """Analyses the files under folder that are new or changed."""
        mapper = executor.map if executor is not None else map
        files = self._changed(_files_under(os.fspath(folder), self.db), mapper)
        files, copies = _first_of_each(files)
        read = list(mapper(read_session, files))
        self.read = len(read)
        for rows in read:
            if rows["status"] != ANALYSED:
                self._write(rows, None, False)
        self._group([r for r in read if r["status"] == ANALYSED], mapper)
        for f in copies:
            self._record_file(f)
        self.unchanged += len(copies)

    def _changed(self, files: List[Rows], mapper: Any) -> List[Rows]:
        """The files to read: not as recorded, and of content not stored."""
        changed = [f for f in files if not self._unchanged(f)]
        self.unchanged += len(files) - len(changed)
        out = []
        for f, digest in zip(changed, mapper(_sha256, [f["path"] for f in changed])):
            f["hash"] = digest or "unreadable:" + f["path"]
            if self._con.execute(
                "SELECT 1 FROM sessions WHERE hash = ? AND lx_version = ?", (f["hash"], _version())
            ).fetchone():
                if digest:
                    self._record_file(f)
                self.unchanged += 1
                continue
            out.append(f)
        return out

    def _unchanged(self, f: Rows) -> bool:
        return bool(
            self._con.execute(
                "SELECT 1 FROM files WHERE path = ? AND size = ? AND mtime_ns = ? AND "
                "lx_version = ?",
                (f["path"], f["size"], f["mtime_ns"], _version()),
            ).fetchone()
        )

    def _group(self, waiting: List[Rows], mapper: Any) -> None:
        """The rounds of `lx season`: each session tests the first track near it
        not yet tried; one near no track and after no waiting session near it
        becomes a track."""
        tracks = [
            (tid, path, None if lat is None else (lat, lon))
            for tid, path, lat, lon in self._con.execute(
                "SELECT t.id, s.path, t.latitude, t.longitude FROM tracks t "
                "JOIN sessions s ON t.reference = s.id ORDER BY t.id"
            )
        ]
        tried: Dict[str, set] = {}
        while waiting:
            tests, plan, earlier = [], [], []
            for s in waiting:
                path = s["file"]["path"]
                candidate = next(
                    (
                        t
                        for t in tracks
                        if near(s["centre"], t[2]) and t[0] not in tried.get(path, set())
                    ),
                    None,
                )
                blocked = any(near(e["centre"], s["centre"]) for e in earlier)
                earlier.append(s)
                if candidate is not None:
                    tests.append((s, candidate[1]))
                plan.append((s, candidate, blocked))
            results = iter(list(mapper(read_on_track, *zip(*tests))) if tests else [])
            following, made = [], []
            for s, candidate, blocked in plan:
                if candidate is not None:
                    on = next(results)
                    if on is not None:
                        self._write(on, candidate[0], False)
                        continue
                    tried.setdefault(s["file"]["path"], set()).add(candidate[0])
                    following.append(s)
                elif blocked:
                    following.append(s)
                else:
                    made.append((self._write(s, None, True), s["file"]["path"], s["centre"]))
            tracks += made
            waiting = following

    def _record_file(self, f: Rows) -> None:
        self._con.execute(
            "INSERT OR REPLACE INTO files VALUES (?, ?, ?, ?, ?)",
            (f["path"], f["size"], f["mtime_ns"], f["hash"], _version()),
        )

    def _write(self, r: Rows, track: Optional[int], new_track: bool) -> Optional[int]:
        """The session's rows, and its new track, in one transaction."""
        c, f = self._con, r["file"]
        centre = r["centre"] or (None, None)
        c.execute("BEGIN IMMEDIATE")
        try:
            session = c.execute(
                "INSERT INTO sessions (hash, lx_version, path, status, reason, format, venue, "
                "vehicle, driver, date_text, day, laps, full_laps, fastest_lap, fastest_time, "
                "theoretical_best, optimal_lap, latitude, longitude) VALUES "
                "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                (
                    f["hash"],
                    _version(),
                    f["path"],
                    r["status"],
                    r["reason"],
                    r["format"],
                    r["venue"],
                    r["vehicle"],
                    r["driver"],
                    r["date_text"],
                    r["day"],
                    r["laps"],
                    r["full_laps"],
                    r["fastest_lap"],
                    r["fastest_time"],
                    r["theoretical_best"],
                    r["optimal_lap"],
                    *centre,
                ),
            ).lastrowid
            c.executemany(
                "INSERT INTO laps VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                [(session, *x) for x in r["laps_rows"]],
            )
            c.executemany(
                "INSERT INTO corners VALUES (?, ?, ?, ?, ?, ?)",
                [(session, *x) for x in r["corners"]],
            )
            c.executemany(
                "INSERT INTO sectors VALUES (?, ?, ?, ?)", [(session, *x) for x in r["sectors"]]
            )
            if new_track:
                track = c.execute(
                    "INSERT INTO tracks (reference, name, latitude, longitude, length) "
                    "VALUES (?, ?, ?, ?, ?)",
                    (session, r["venue"], *centre, r["ref_length"]),
                ).lastrowid
            if track is not None:
                c.execute("UPDATE sessions SET track = ? WHERE id = ?", (track, session))
            self._record_file(f)
            c.execute("COMMIT")
        except BaseException:
            c.execute("ROLLBACK")
            raise
        return track


def _first_of_each(files: List[Rows]) -> Tuple[List[Rows], List[Rows]]:
    """The first file of each content, and the copies, recorded once it is stored."""
    seen, first, copies = set(), [], []
    for f in files:
        (copies if f["hash"] in seen else first).append(f)
        seen.add(f["hash"])
    return first, copies


def _files_under(folder: str, db: str) -> List[Rows]:
    if not os.path.isdir(folder):
        raise NotADirectoryError(f"{folder} is not a folder")
    own = os.path.realpath(db)
    files = []
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            if os.path.realpath(path).startswith(own) or not os.path.isfile(path):
                continue
            st = os.stat(path)
            files.append(dict(path=path, size=st.st_size, mtime_ns=st.st_mtime_ns, hash=""))
    return sorted(files, key=lambda f: f["path"])
