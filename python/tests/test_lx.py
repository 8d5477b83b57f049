import subprocess
import sys
import threading

import numpy as np
import pytest

import lx
from conftest import ROOT, SAMPLE


def test_facts_samples_and_frame(sample):
    assert sample.info.laps == len(sample.laps) == 10
    assert sample.channel("Speed") == 4 and sample.channels[4].unit == "km/h"
    speed = sample.samples(1, "Speed")
    assert speed.dtype == np.float32 and len(speed) == sample.lap(1).samples
    # Lap 2's first Speed sample, as the file wrote it.
    lap_rows = [row for row in SAMPLE.read_text().splitlines() if row.startswith("Lap:")]
    assert speed[0] == np.float32(lap_rows[1].split("\t")[5])
    pd = pytest.importorskip("pandas")
    frame = sample.frame(1)
    assert isinstance(frame, pd.DataFrame) and list(frame.columns)[:3] == [
        "Sample",
        "Time",
        "Distance",
    ]
    np.testing.assert_array_equal(frame["Speed"].to_numpy(), speed)


def test_analysis_calls(sample, tmp_path):
    sample.session_math("Speed", "Lateral Acc", longitudinal="Longitudinal Acc")
    lap = sample.lap(1)
    assert lap.lap_class == lx.LapClass.FULL and 1800 < lap.length < 2000
    np.testing.assert_allclose(
        sample.samples(1, lx.Derived.SPEED), sample.samples(1, "Speed") / 3.6, rtol=1e-3
    )
    sample.time_diff(sample, 1)
    assert not sample.samples(1, lx.Derived.TIME_DIFF).any()  # a lap against itself
    x, y = sample.map_points(1, width=300, height=200)
    assert len(x) == lap.samples and 0 <= x.min() and x.max() <= 300 and y.max() <= 200
    x, y = sample.chart_points(1, "Speed", cmin=0, cmax=200, width=150)
    assert len(x) == 150 and x[-1] <= 150
    assert sample.match_laps(sample, 1) >= 8
    with sample.cut(sample, 1) as cut:
        assert len(cut.laps) >= 8
    sample.write_motec(1, tmp_path / "lap.csv")
    assert (tmp_path / "lap.csv").read_bytes().count(b"\r\n") > lap.samples


def test_refusals_raise(sample, tmp_path):
    with pytest.raises(lx.FileError, match="no-such"):
        lx.open(tmp_path / "no-such.txt")
    with pytest.raises(lx.ChannelError, match="nearest"):
        sample.samples(0, "Sped")
    with pytest.raises(lx.StateError):
        sample.samples(0, lx.Derived.SPEED)
    with pytest.raises(lx.LxError, match="map of lap 0: .*session_math"):
        sample.map_points(0)
    with pytest.raises(lx.LxError, match="x.csv: Failed to open"):  # a core export's own line
        sample.write_motec(0, tmp_path / "no" / "x.csv")
    bad_calls = [
        (IndexError, lambda: sample.lap(10)),
        (IndexError, lambda: sample.samples(-1, 0)),
        (LookupError, lambda: sample.samples(0, 99)),
        (TypeError, lambda: sample.samples("1", 0)),
        (TypeError, lambda: sample.lap(1.0)),
        (TypeError, lambda: lx.open(None)),
        (TypeError, lambda: sample.time_diff("ref", 0)),
        (ValueError, lambda: sample.lap(2**40)),
        (ValueError, lambda: lx.open("a\0b")),
        (ValueError, lambda: sample.map_points(0, points=-5)),
        (ValueError, lambda: sample.session_math("Speed", "Lateral Acc", units="knots")),
    ]
    for expected, call in bad_calls:
        with pytest.raises(expected):
            call()
    sample.close()
    with pytest.raises(lx.HandleError, match="closed"):
        sample.samples(0, 0)


def test_ten_sessions_then_a_clear_refusal():
    sessions = [lx.open(SAMPLE) for _ in range(10)]
    try:
        with pytest.raises(lx.LimitError, match="10|ten"):
            lx.open(SAMPLE)
        sessions.pop().close()
        sessions.append(lx.open(SAMPLE))
    finally:
        for s in sessions:
            s.close()


def test_second_thread_is_refused(sample):
    caught = []
    thread = threading.Thread(
        target=lambda: caught.append(pytest.raises(lx.ThreadError, lambda: sample.info))
    )
    thread.start()
    thread.join()
    assert caught and sample.info.laps == 10


def test_library_lookup_and_examples(child_env, tmp_path):
    env = dict(child_env, LX_LIBRARY=str(tmp_path / "liblx.so"))
    r = subprocess.run(
        [sys.executable, "-c", "import lx; lx.open('x')"], env=env, capture_output=True, text=True
    )
    assert "LibraryError" in r.stderr and "liblx.so" in r.stderr
    season = tmp_path / "season"
    season.mkdir()
    for name in ("a.txt", "b.txt"):
        (season / name).write_bytes(SAMPLE.read_bytes())
    (season / "c.txt").write_text("not a session\n")
    out = subprocess.run(
        [sys.executable, ROOT / "examples/python/season.py", season],
        env=child_env,
        check=True,
        capture_output=True,
        text=True,
    ).stdout.splitlines()
    assert out[:2] == [
        "a.txt: 10 laps, fastest lap 7 in 66.150 s",
        "b.txt: 10 laps, fastest lap 7 in 66.150 s",
    ]
    assert out[2].startswith("c.txt: ") and "not a file lx reads" in out[2]
    pytest.importorskip("matplotlib")
    subprocess.run(
        [sys.executable, ROOT / "examples/python/plot_laps.py", SAMPLE, tmp_path / "laps.png"],
        env=child_env,
        check=True,
    )
    assert (tmp_path / "laps.png").read_bytes().startswith(b"\x89PNG")
