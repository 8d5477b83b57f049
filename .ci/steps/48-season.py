"""A season of the real sessions: the tracks `lx season` found, and lx.Season
on a Dask LocalCluster (two worker processes on loopback) giving the same
database as on one machine."""

import sqlite3
import sys
import tempfile
from pathlib import Path

import lx

TABLES = ("sessions", "tracks", "laps", "corners", "sectors", "files")


def tracks_of(db: str) -> dict:
    """Each file's folder by track; None for sessions on no known track."""
    con = sqlite3.connect(db)
    rows = con.execute("SELECT path, track, status FROM sessions").fetchall()
    return {Path(p).parent.name + "/" + Path(p).name: (t, s) for p, t, s in rows}


def check_grouping(db: str) -> None:
    found = tracks_of(db)
    track = {k: t for k, (t, _) in found.items()}
    rustavi = track["aim-kart-rustavi-mychron5/aim.csv"], track["aim-kart-rustavi-solo2dl/aim.csv"]
    tianma = [t for k, t in track.items() if k.startswith("racechrono-tianma/session_")]
    apart = [
        track["aim-yamaha-r6-imola/YamahaR6.csv"],
        track["vbo-massa-finalese-racechrono/vbox-modena.vbo"],
        track["motec-ld-calder-park/Sample1.ld"],
    ]
    assert rustavi[0] is not None and rustavi[0] == rustavi[1], rustavi
    assert len(tianma) == 2 and tianma[0] is not None and tianma[0] == tianma[1], tianma
    assert len(set(apart + [rustavi[0], tianma[0]])) == 5, (apart, rustavi, tianma)
    unknown = {k for k, (t, s) in found.items() if t is None and s != "refused"}
    assert {
        "iracing-ibt-redbull-ring/amg.ibt",
        "vbo-circuit-tools-example/racelogic.vbo",
    } <= unknown
    print(
        f"season: {db}: Rustavi, Tianma on one track each; Imola, Massa Finalese, Calder apart; "
        f"on no known track: {', '.join(sorted(unknown))}"
    )


def dump(db: str) -> dict:
    con = sqlite3.connect(db)
    return {t: sorted(con.execute(f"SELECT * FROM {t}").fetchall(), key=repr) for t in TABLES}


def main() -> None:
    real, tool_db = sys.argv[1], sys.argv[2]
    check_grouping(tool_db)
    from distributed import Client, LocalCluster

    with tempfile.TemporaryDirectory() as tmp:
        one, many = f"{tmp}/one.sqlite", f"{tmp}/dask.sqlite"
        lx.Season(real, db=one).close()
        check_grouping(one)
        with LocalCluster(
            n_workers=2,
            threads_per_worker=1,
            processes=True,
            host="127.0.0.1",
            dashboard_address=None,
        ) as cluster:
            with Client(cluster) as client:
                lx.Season(real, db=many, executor=client.get_executor()).close()
        a, b = dump(one), dump(many)
        for t in TABLES:
            assert a[t] == b[t], f"table {t} differs between one machine and the Dask cluster"
        print(
            f"season: the Dask LocalCluster (2 worker processes) wrote the one-machine "
            f"database: {sum(len(v) for v in a.values())} rows alike"
        )


if __name__ == "__main__":
    main()
