import math
import os
from pathlib import Path

import numpy as np
import pytest

import lx

ROOT = Path(__file__).resolve().parents[2]
SAMPLE = ROOT / "examples" / "sample.txt"

RATE, FAST, SLOW, RADIUS, G = 20, 20.0, 16.0, 25.0, 9.81
BEND = math.pi**2 / 4 * RADIUS  # a quarter turn with curvature sin(pi u) / RADIUS
# A circuit of four right-hand bends of 90 degrees, the line in the middle of a
# straight: (length, radius or 0) per piece.
PIECES = [(100, 0), (BEND, RADIUS), (260, 0), (BEND, RADIUS), (200, 0), (BEND, RADIUS)]
PIECES += [(230, 0), (BEND, RADIUS), (100, 0)]
STARTS = np.cumsum([0] + [p[0] for p in PIECES])
# Slow stretches (start, end) on the second and fourth straights.
SLOW_1 = (STARTS[2] + 10, STARTS[2] + 100)
SLOW_2 = (STARTS[6] + 10, STARTS[6] + 85)
# Laps 2-4 are the full ones (1 leaves the pits, 5 ends the recording); lap 3 is fastest.
SLOW_PARTS = [[], [SLOW_1], [SLOW_2], [SLOW_1, SLOW_2], []]


def lap_rows(slow_parts, pieces):
    starts = np.cumsum([0] + [p[0] for p in pieces])
    rows, s = [], 0.0
    while s < starts[-1]:
        speed = SLOW if any(a <= s < b for a, b in slow_parts) else FAST
        piece = np.searchsorted(starts, s, side="right") - 1
        length, radius = pieces[piece]
        bend = math.sin(math.pi * (s - starts[piece]) / length) / radius if radius else 0
        rows.append((s, speed * 3.6, speed**2 * bend / G))
        s += speed / RATE
    return rows


def write_circuit(path, pieces=PIECES, slow_parts=SLOW_PARTS):
    """A text export of laps around pieces, with the logger's lap times."""
    sample, lines, times = 0, [], []
    lines.append("Sample\tTime [s]\tDistance [m]\tSpeed [km/h]\tLateral Acc [g]\t")
    for number, slow in enumerate(slow_parts, 1):
        rows = lap_rows(slow, pieces)
        for j, (s, kmh, g) in enumerate(rows):
            lap = f"Lap: 1/{number}" if j == 0 else ""
            lines.append(f"{lap}\t{sample}\t{j / RATE:.3f}\t{s:.1f}\t{kmh:.2f}\t{g:.4f}")
            sample += 1
        times.append(len(rows) / RATE)
    lines += ["Lap:"] + [f"{k}\tLaptime\t{t:.3f}" for k, t in enumerate(times, 1)]
    path.write_text("\r\n".join(lines) + "\r\n")
    return path


@pytest.fixture
def circuit(tmp_path):
    with lx.open(write_circuit(tmp_path / "circuit.txt")) as s:
        yield s


@pytest.fixture
def sample():
    with lx.open(SAMPLE) as s:
        yield s


def pytest_configure(config):
    # Files the tests write go beside the library under test, in its build tree.
    if config.option.basetemp is None:
        config.option.basetemp = str(Path(lx.library_path()).resolve().parent / "python-tests")


@pytest.fixture
def child_env():
    """Environment for a child Python that finds this lx and this library."""
    env = dict(os.environ, LX_LIBRARY=lx.library_path(), MPLBACKEND="Agg")
    env["PYTHONPATH"] = os.pathsep.join(
        [str(Path(lx.__file__).parent.parent), env.get("PYTHONPATH", "")]
    )
    return env
