import os
import re
import subprocess
from pathlib import Path

import pytest
import sqlite3

import lx
from conftest import SAMPLE, write_circuit


def rows(db, sql):
    with sqlite3.connect(db) as con:
        return con.execute(sql).fetchall()


def test_season_of_bad_files_lists_each_and_keeps_the_rest(tmp_path):
    folder = tmp_path / "season"
    (folder / "sub").mkdir(parents=True)
    text = SAMPLE.read_bytes()
    (folder / "sample.txt").write_bytes(text)
    (folder / "sub" / "same.txt").write_bytes(text)  # one session under two paths
    (folder / "empty.csv").write_bytes(b"")
    (folder / "binary.ld").write_bytes(bytes(range(256)) * 8)
    (folder / "truncated.txt").write_bytes(text[: len(text) // 40])
    (folder / "lapless.txt").write_bytes(text.split(b"\n", 1)[0] + b"\n")
    write_circuit(folder / "circuit.txt")  # another track
    db = tmp_path / "s.sqlite"
    season = lx.Season(folder, db=db)
    assert (season.read, season.unchanged) == (6, 1)
    found = dict(
        rows(
            db, "SELECT path, status || ':' || IFNULL(track, '') || ':' || reason " "FROM sessions"
        )
    )
    name = {os.path.basename(p): v for p, v in found.items()}
    assert name["circuit.txt"] == "analysed:1:"
    assert name["sample.txt"] == "analysed:2:"
    for bad in ("empty.csv", "binary.ld"):
        assert name[bad].startswith("refused::") and len(name[bad]) > 12, name[bad]
    assert name["lapless.txt"] == "no full lap::no laps"
    assert name["truncated.txt"].split(":")[1] == "", name["truncated.txt"]
    # Consistent: every row belongs to a session, every track to its reference.
    assert rows(db, "PRAGMA integrity_check") == [("ok",)]
    for table in ("laps", "corners", "sectors"):
        assert not rows(db, f"SELECT 1 FROM {table} WHERE session NOT IN (SELECT id FROM sessions)")
    assert rows(db, "SELECT COUNT(*) FROM files") == [(7,)]
    assert rows(
        db,
        "SELECT t.id FROM tracks t JOIN sessions s ON s.id = t.reference "
        "AND s.track = t.id ORDER BY t.id",
    ) == [(1,), (2,)]
    best = season.table("track_bests").set_index("track")
    assert (
        best.loc[1, "best_time"]
        == rows(
            db,
            "SELECT MIN(time) FROM laps JOIN sessions ON "
            "session = id WHERE track = 1 AND class = 'full'",
        )[0][0]
    )
    assert (season.table("track_corner_bests")["best_min_kmh"] > 0).all()
    season.close()
    # A re-run reads nothing; a changed file is read again, a copied one found by content.
    (folder / "circuit.txt").write_bytes(b"not a session")
    (folder / "copy.txt").write_bytes(text)
    again = lx.Season(folder, db=db)
    assert (again.read, again.unchanged) == (1, 7)


def test_the_tool_writes_the_season_python_writes(tmp_path):
    tool = Path(lx.library_path()).resolve().parent / "tools" / "lx"
    if not tool.exists():
        pytest.skip(f"no lx tool at {tool}")
    folder = tmp_path / "season"
    folder.mkdir()
    (folder / "sample.txt").write_bytes(SAMPLE.read_bytes())
    (folder / "empty.csv").write_bytes(b"")
    write_circuit(folder / "circuit.txt")
    for seed, day in ((1, "Sunday, May 3, 2026"), (2, "Sunday, May 10, 2026")):
        gen = [tool.parent / "lx-gen", "--format", "aim-csv", "--laps", "3", "--seed", str(seed)]
        text = subprocess.run(gen, check=True, capture_output=True, text=True).stdout
        (folder / f"gps{seed}.csv").write_text(text.replace("Sunday, May 3, 2026", day))
    lx.Season(folder, db=tmp_path / "py.sqlite").close()
    run = subprocess.run(
        [tool, "season", folder, "--db", tmp_path / "tool.sqlite", "-o", tmp_path / "page"],
        capture_output=True,
        text=True,
    )
    assert run.returncode == 0, run.stderr
    assert "empty.csv: " in run.stdout and "track 2" in run.stdout
    page = (tmp_path / "page" / "season.html").read_text()
    assert "Track 2: " in page and "Track 3" not in page
    # Best lap against date: the later day to the right, the faster lap lower.
    circles = re.findall(r"<circle cx='([0-9.]+)' cy='([0-9.]+)'.*?<title>(\S+) (\S+)", page)
    assert [c[2] for c in circles] == ["2026-05-03", "2026-05-10"], circles
    (x1, y1, _, t1), (x2, y2, _, t2) = circles
    assert float(x1) < float(x2) and (float(y1) < float(y2)) == (t1 > t2), circles
    # The sample is the generator's circuit: without positions, placed by the same-track test.
    sql = "SELECT DISTINCT track FROM sessions WHERE path LIKE '%gps%' OR path LIKE '%sample.txt'"
    assert rows(tmp_path / "tool.sqlite", sql) == [(2,)]
    for table in ("tracks", "laps", "corners", "sectors", "files"):
        sql = f"SELECT * FROM {table}"
        assert rows(tmp_path / "py.sqlite", sql) == rows(tmp_path / "tool.sqlite", sql), table
    sql = "SELECT path, status, track, day, fastest_lap, optimal_lap, latitude, longitude FROM sessions"
    assert rows(tmp_path / "py.sqlite", sql) == rows(tmp_path / "tool.sqlite", sql)
    run = subprocess.run([tool, "season", folder / "empty.csv"], capture_output=True, text=True)
    assert run.returncode == 1 and "not a folder" in run.stderr
