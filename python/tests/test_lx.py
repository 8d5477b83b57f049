import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

import lx
from conftest import SAMPLE


def test_facts_samples_and_frames(sample, tmp_path):
    assert sample.info.laps == 10 and sample.lap_numbers == list(range(1, 11))
    assert sample.channel("Speed") == 4 and sample.channels[4].unit == "km/h"
    speed = sample.samples(2, "Speed")
    assert speed.dtype == np.float32 and len(speed) == sample.lap(2).samples
    # Lap 2's first Speed sample, as the file wrote it.
    lap_rows = [row for row in SAMPLE.read_text().splitlines() if row.startswith("Lap:")]
    assert speed[0] == np.float32(lap_rows[1].split("\t")[5])
    frame = sample.frame(2)
    np.testing.assert_array_equal(frame["Speed"], speed)
    assert frame.distance_m.iloc[0] == 0 and frame.attrs["units"]["Speed"] == "km/h"
    assert frame.time_s.iloc[-1] < sample.lap(2).laptime <= frame.time_s.iloc[-1] + 0.1
    whole = sample.frame()
    assert list(whole.columns[:2]) == ["lap", "Sample"] and len(whole) == sum(
        sample.lap(n).samples for n in sample.lap_numbers
    )
    # Two channels of one title keep apart; asking by that title is ambiguous.
    twice = tmp_path / "twice.txt"
    rows = [f"{'Lap: 1/1' if j == 0 else ''}\t{j}\t{j / 20:.2f}\t{j:.1f}\t72\t73" for j in range(9)]
    header = "Sample\tTime [s]\tDistance [m]\tSpeed [km/h]\tSpeed [km/h]\t"
    twice.write_text("\r\n".join([header, *rows, "Lap:", "1\tLaptime\t0.450"]) + "\r\n")
    with lx.open(twice) as s:
        with pytest.raises(lx.AmbiguousChannelError):
            s.channel("Speed")
        names = lx.session._column_names(s.channels)
        assert names[3:5] == ["Speed", "Speed_2"]


def test_refusals_raise(sample, tmp_path):
    with pytest.raises(lx.FileError, match="no-such") as caught:
        lx.open(tmp_path / "no-such.txt")
    assert caught.value.status is lx.Status.FILE
    with pytest.raises(lx.ChannelError, match="nearest"):
        sample.samples(1, "Sped")
    with pytest.raises(lx.LapError, match="1-10"):
        sample.lap(11)
    with pytest.raises(lx.FileError, match="x.csv cannot be written"):
        sample.write_motec(1, tmp_path / "no" / "x.csv")
    bad_calls = [
        (IndexError, lambda: sample.samples(0, 0)),
        (LookupError, lambda: sample.samples(1, 99)),
        (TypeError, lambda: sample.samples("1", 0)),
        (TypeError, lambda: sample.lap(1.0)),
        (TypeError, lambda: lx.open(None)),
        (ValueError, lambda: sample.lap(2**40)),
        (ValueError, lambda: lx.open("a\0b")),
        (ValueError, lambda: lx.open(SAMPLE, speed_unit="knots")),
        (ValueError, lambda: sample.map_points(1, points=-5)),
    ]
    for expected, call in bad_calls:
        with pytest.raises(expected):
            call()
    sample.close()
    with pytest.raises(lx.HandleError, match="closed"):
        sample.samples(1, 0)


def test_many_sessions_worked_on_by_threads():
    sessions = [lx.open(SAMPLE) for _ in range(12)]
    try:
        with ThreadPoolExecutor(4) as pool:
            fastest = list(pool.map(lambda s: s.analysis.fastest_time, sessions))
        assert len(set(fastest)) == 1 and len({s.handle for s in sessions}) == 12
    finally:
        for s in sessions:
            s.close()


def test_a_missing_or_older_library_says_what_to_do(child_env, tmp_path):
    older = tmp_path / "liblx.so.1"
    source = tmp_path / "older.c"
    source.write_text("int lx_data_version(void) { return 10203; }\n")
    if subprocess.run(["cc", "-shared", "-fPIC", "-o", older, source]).returncode:
        pytest.skip("no C compiler")
    for library, says in [(tmp_path / "liblx.so", "set LX_LIBRARY"), (older, "data API 1.2")]:
        r = subprocess.run(
            [sys.executable, "-c", "import lx; lx.open('x')"],
            env=dict(child_env, LX_LIBRARY=str(library)),
            capture_output=True,
            text=True,
        )
        assert "LibraryError" in r.stderr and says in r.stderr and "pip install" in r.stderr
    assert lx.__version__[0].isdigit()
