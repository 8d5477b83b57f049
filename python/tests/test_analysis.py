import subprocess
import sys

import numpy as np
import pytest

import lx
from conftest import FAST, PIECES, RADIUS, ROOT, SLOW, SLOW_1, SLOW_2, write_circuit

FULL = [2, 3, 4]
PER_METRE = 1 / SLOW - 1 / FAST  # seconds lost per metre driven slow


def test_laps_and_what_adds_up(circuit):
    laps = circuit.laps
    assert list(laps.lap) == [1, 2, 3, 4, 5] and not laps.slow.any()
    assert list(laps["class"]) == ["out", "full", "full", "full", "in"]
    assert laps.time_s.dtype == np.float64 and laps.attrs["units"]["gap_s"] == "s"
    info = circuit.analysis
    assert info.reference_lap == info.fastest_lap == 3 and info.full_laps == 3
    gaps = dict(zip(laps.lap, laps.gap_s))
    assert gaps[2] == pytest.approx(
        np.diff(SLOW_1)[0] * PER_METRE - np.diff(SLOW_2)[0] * PER_METRE, abs=0.06
    )
    for lap in FULL:
        assert circuit.time_diff(lap).time_diff_s.iloc[-1] == pytest.approx(gaps[lap], abs=1e-3)
        assert circuit.stretches(lap).gain_s.sum() == pytest.approx(gaps[lap], abs=1e-3)
    sectors = circuit.sectors()
    assert list(sectors.lap) == FULL and len(sectors.attrs["cuts_m"]) == 2
    parts = sectors[["sector_1_s", "sector_2_s", "sector_3_s"]].sum(axis=1)
    np.testing.assert_allclose(parts, sectors.time_s, atol=1e-3)
    optimal, best = circuit.optimal_lap(), circuit.theoretical_best()
    assert best.attrs["time_s"] <= optimal.attrs["time_s"] <= info.fastest_time
    assert optimal.time_s.sum() == pytest.approx(optimal.attrs["time_s"], abs=1e-3)
    assert set(optimal.lap) <= set(FULL) and info.optimal_lap == optimal.attrs["time_s"]
    # Lap 2 drove the second straight slowly: the stretch before corner 2 says so.
    stretch = circuit.stretches(2).query("kind == 'straight' and before == 2")
    assert stretch.gain_s.item() == pytest.approx(np.diff(SLOW_1)[0] * PER_METRE, abs=0.1)


def test_corners_in_the_units_asked(circuit, tmp_path):
    corners = circuit.corners(2)
    assert list(corners.hand) == ["right"] * 4 and list(corners.paired) == [1, 2, 3, 4]
    np.testing.assert_allclose(corners.radius_m, RADIUS, rtol=0.1)
    np.testing.assert_allclose(corners.min_speed_kmh, FAST * 3.6, rtol=0.02)
    assert corners.attrs["units"]["min_speed_kmh"] == "km/h"
    summary = circuit.corners()
    assert list(summary.corner) == [1, 2, 3, 4] and summary.attrs["lap"] == 3
    with lx.open(circuit.path, speed_unit="m/s") as s:
        np.testing.assert_allclose(s.corners(2).min_speed_ms, FAST, rtol=0.02)
        s.analyse(invert_lat=True)
        assert set(s.corners(2).hand) == {"left"}


def test_refusals_name_the_cause(circuit, tmp_path):
    circuit.analyse(reference=2)
    channels = circuit.info.channels
    circuit.analyse(reference=(circuit, 4))
    assert circuit.info.channels == channels and circuit.analysis.reference_lap == 4
    other = [(length * 1.5 if radius == 0 else length, radius) for length, radius in PIECES]
    with lx.open(write_circuit(tmp_path / "other.txt", other)) as elsewhere:
        elsewhere.analyse()
        with pytest.raises(lx.TrackError) as caught:
            circuit.analyse(reference=elsewhere)
        assert caught.value.status is lx.Status.TRACK
    refused = [
        (lx.LapError, dict(reference=1)),  # the out-lap
        (lx.ChannelError, dict(speed="Sped")),
        (lx.ArgumentError, dict(cuts=[500, 400])),
        (lx.ArgumentError, dict(speed_units="knots")),
        (TypeError, dict(reference="fast")),
        (TypeError, dict(corners={"min_length": 3})),
    ]
    for error, options in refused:
        with pytest.raises(error):
            circuit.analyse(**options)
    circuit.analyse()
    for error, call in [
        (lx.LapError, lambda: circuit.time_diff(1)),
        (lx.LapError, lambda: circuit.stretches(5)),
        (lx.LapError, lambda: circuit.corners(6)),
    ]:
        with pytest.raises(error, match="lap"):
            call()


def test_lap_matching_twice_adds_nothing(circuit):
    assert circuit.match_laps(circuit, 3) >= 3
    channels = circuit.info.channels
    circuit.match_laps(circuit, 3)
    assert circuit.info.channels == channels
    with circuit.cut(circuit, 3) as cut:
        assert len(cut.lap_numbers) >= 3


def test_examples(circuit, child_env, tmp_path):
    def run(name, *args):
        return subprocess.run(
            [sys.executable, ROOT / "examples/python" / name, *map(str, args)],
            env=child_env,
            capture_output=True,
            text=True,
        )

    out = run("corners.py", circuit.path)
    assert out.returncode == 0, out.stderr
    assert [line.split()[1] for line in out.stdout.splitlines()[2:6]] == ["right"] * 4
    folder = tmp_path / "season"
    folder.mkdir()
    (folder / "a.txt").write_bytes(open(circuit.path, "rb").read())
    (folder / "b.txt").write_text("not a session\n")
    lines = run("season.py", folder).stdout.splitlines()
    assert lines[0].startswith(f"{folder / 'a.txt'}: 5 laps, fastest lap 3 in ")
    assert lines[1].startswith(f"{folder / 'b.txt'}: not a file") and len(lines) == 2
    bad = run("corners.py", folder / "b.txt")
    assert bad.returncode == 1 and len((bad.stdout + bad.stderr).splitlines()) == 1
    pytest.importorskip("matplotlib")
    assert run("plot_laps.py", circuit.path, tmp_path / "laps.png").returncode == 0
    assert (tmp_path / "laps.png").read_bytes().startswith(b"\x89PNG")
