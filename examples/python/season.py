"""The fastest full lap of every session in a folder, one process per file:
python3 season.py FOLDER [SPEED_CHANNEL LATERAL_CHANNEL]

Processes, not threads: the library's state belongs to one thread of a process.
"""
import sys
from concurrent.futures import ProcessPoolExecutor
from pathlib import Path

import lx


def fastest_lap(path, speed="Speed", lateral="Lateral Acc"):
    try:
        with lx.open(path) as s:
            s.session_math(speed, lateral)
            full = [lap for lap in s.laps if lap.lap_class == lx.LapClass.FULL]
            best = min(full, key=lambda lap: lap.laptime, default=None)
            if best is None:
                return f"{path.name}: {len(s.laps)} laps, none full"
            lap = f"lap {best.index + 1} in {best.laptime:.3f} s"
            return f"{path.name}: {len(s.laps)} laps, fastest {lap}"
    except lx.LxError as e:
        return f"{path.name}: {e}"


if __name__ == "__main__":
    files = sorted(p for p in Path(sys.argv[1]).iterdir() if p.is_file())
    channels = sys.argv[2:4]
    with ProcessPoolExecutor() as pool:
        for line in pool.map(fastest_lap, files, *([c] * len(files) for c in channels)):
            print(line)
