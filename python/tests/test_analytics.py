import math
import re
import subprocess
import sys

import numpy as np
import pytest

import lx
from conftest import ROOT

RATE, FAST, SLOW, RADIUS, G = 20, 20.0, 16.0, 25.0, 9.81
BEND = math.pi**2 / 4 * RADIUS  # a quarter turn with curvature sin(pi u) / RADIUS
# A circuit of four right-hand bends of 90 degrees, the line in the middle of a straight:
# (length, radius or 0) per piece; the two longest straights get the cuts.
PIECES = [(100, 0), (BEND, RADIUS), (260, 0), (BEND, RADIUS), (200, 0), (BEND, RADIUS)]
PIECES += [(230, 0), (BEND, RADIUS), (100, 0)]
LENGTH = sum(p[0] for p in PIECES)
STARTS = np.cumsum([0] + [p[0] for p in PIECES])
APEXES = [STARTS[i] + BEND / 2 for i in (1, 3, 5, 7)]
# Slow stretches (start, end) that stop 30 m before each long straight's middle.
IN_SECTOR_1 = (STARTS[2] + 10, STARTS[2] + 100)
IN_SECTOR_2 = (STARTS[6] + 10, STARTS[6] + 85)
# Laps 1-3 are the full ones; lap 2 is fastest.
SLOW_PARTS = [[], [IN_SECTOR_1], [IN_SECTOR_2], [IN_SECTOR_1, IN_SECTOR_2], []]


def lap_rows(slow_parts):
    rows, s = [], 0.0
    while s < LENGTH:
        speed = SLOW if any(a <= s < b for a, b in slow_parts) else FAST
        piece = np.searchsorted(STARTS, s, side="right") - 1
        # Curvature peaks at the bend's middle, where its radius is RADIUS.
        bend = math.sin(math.pi * (s - STARTS[piece]) / BEND) / RADIUS if PIECES[piece][1] else 0
        lat_g = speed**2 * bend / G
        rows.append((s, speed * 3.6, lat_g))
        s += speed / RATE
    return rows


@pytest.fixture
def circuit(tmp_path):
    path, sample, lines, times = tmp_path / "circuit.txt", 0, [], []
    lines.append("Sample\tTime [s]\tDistance [m]\tSpeed [km/h]\tLateral Acc [g]\t")
    for number, slow in enumerate(SLOW_PARTS, 1):
        rows = lap_rows(slow)
        for j, (s, kmh, g) in enumerate(rows):
            lap = f"Lap: 1/{number}" if j == 0 else ""
            lines.append(f"{lap}\t{sample}\t{j / RATE:.3f}\t{s:.1f}\t{kmh:.2f}\t{g:.4f}")
            sample += 1
        times.append(len(rows) / RATE)
    lines += ["Lap:"] + [f"{k}\tLaptime\t{t:.3f}" for k, t in enumerate(times, 1)]
    path.write_text("\r\n".join(lines) + "\r\n")
    with lx.open(path) as s:
        s.session_math("Speed", "Lateral Acc")
        yield s


def test_corners_and_stretches_of_a_known_circuit(circuit):
    corners = circuit.corners(1, reference=(circuit, 2))
    assert [(c.number, c.direction, c.paired) for c in corners] == [(k, 1, k) for k in (1, 2, 3, 4)]
    for c, apex in zip(corners, APEXES):
        assert c.entry < apex < c.exit and abs(c.apex - apex) < 5
        assert c.radius == pytest.approx(RADIUS, rel=0.1) and c.min_speed == pytest.approx(FAST)
    mirrored = lx.open(circuit.path)
    mirrored.session_math("Speed", "Lateral Acc", invert_lat=True)
    assert {c.direction for c in mirrored.corners(1)} == {-1}
    assert not circuit.same_track(mirrored).same and circuit.same_track(circuit, threshold=0.1).same
    mirrored.close()
    # Lap 1 against the fastest: slower on the second straight, faster on the fourth.
    stretches = circuit.stretches(1)
    assert len(stretches) == 9 and [s.corner for s in stretches[1::2]] == [1, 2, 3, 4]
    gains = [s.gain for s in stretches]
    per_metre = 1 / SLOW - 1 / FAST
    assert gains[2] == pytest.approx(np.diff(IN_SECTOR_1)[0] * per_metre, abs=0.1)
    assert gains[6] == pytest.approx(-np.diff(IN_SECTOR_2)[0] * per_metre, abs=0.1)
    assert sum(gains) == pytest.approx(circuit.lap(1).laptime - circuit.lap(2).laptime, abs=0.06)


def test_sectors_and_best_laps(circuit):
    cuts = circuit.sector_cuts()
    assert len(cuts) == 2 and STARTS[2] + 100 < cuts[0] < STARTS[3] and STARTS[6] + 85 < cuts[1]
    times = {lap: circuit.sector_times(lap) for lap in (1, 2, 3)}
    assert all(
        times[lap].sum() == pytest.approx(circuit.lap(lap).laptime, abs=0.06) for lap in times
    )
    best, optimal = circuit.theoretical_best(), circuit.optimal_lap(cuts)
    assert best.time == pytest.approx(sum(min(t[k] for t in times.values()) for k in range(3)))
    assert best.time == pytest.approx(LENGTH / FAST, abs=0.1)
    # Both slow parts avoided by one join on the straight where the speeds agree.
    assert optimal.time == pytest.approx(best.time, abs=0.06)
    assert [p.lap for p in optimal.pieces[:2]] == [2, 1] and optimal.pieces[0].end == cuts[0]
    assert optimal.time <= circuit.lap(2).laptime - 0.5


def test_analytics_refusals(circuit, tmp_path):
    with lx.open(circuit.path) as raw:
        with pytest.raises(lx.StateError, match="lx_lap_corners: .*session math"):
            raw.corners(1)
    with pytest.raises(lx.ArgumentError, match="cuts must increase"):
        circuit.sector_times(1, [500, 500])
    with pytest.raises(lx.ArgumentError, match="tolerance"):
        circuit.optimal_lap(tolerance=-1)
    with pytest.raises(lx.ArgumentError, match="corner options"):
        circuit.corners(1, options=lx.CornerOptions(min_length=-1))
    for call in (
        lambda: circuit.corners(1, reference="fast"),
        lambda: circuit.corners(1, options={"min_length": 3}),
        lambda: circuit.sector_times(1, ["a"]),
    ):
        with pytest.raises(TypeError):
            call()
    with pytest.raises(lx.LapError):
        circuit.corners(1, reference=7)


def test_corners_example(circuit, child_env):
    example = ROOT / "examples/python/corners.py"
    out = subprocess.run(
        [sys.executable, example, circuit.path], env=child_env, check=True, capture_output=True
    ).stdout.decode()
    assert [line.split()[1] for line in out.splitlines()[1:5]] == ["right"] * 4
    assert re.findall(r"lap (\d)", out.splitlines()[-1])[:2] == ["3", "2"]  # 1-based
