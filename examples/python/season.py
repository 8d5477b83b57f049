"""The fastest full lap of every session, one process per file:
python3 season.py PATH...  (files, or folders of them)

One line per file; exit 1 when none had a full lap. Processes, not threads:
the library's state belongs to one thread of a process.
"""
import sys
from concurrent.futures import ProcessPoolExecutor
from pathlib import Path

import lx


def fastest_lap(path):
    """(found a full lap, one line about the file)."""
    try:
        with lx.open(path) as s:
            laps = s.laps
            full = laps[laps["class"] == "full"]
            count = f"{len(laps)} lap{'' if len(laps) == 1 else 's'}"
            if full.empty:
                return False, f"{path}: {count}, none full"
            best = full.loc[full.time_s.idxmin()]
            return True, f"{path}: {count}, fastest lap {best.lap} in {best.time_s:.3f} s"
    except lx.LxError as e:
        why = " ".join(str(e).split())  # one line
        return False, why if str(path) in why else f"{path}: {why}"


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__.splitlines()[1])
    paths = [Path(p) for p in sys.argv[1:]]
    files = sorted(f for p in paths for f in (p.iterdir() if p.is_dir() else [p]) if f.is_file())
    if not files:
        sys.exit(f"no file in {', '.join(sys.argv[1:])}")
    with ProcessPoolExecutor() as pool:
        results = list(pool.map(fastest_lap, files))
    for _, line in results:
        print(line)
    sys.exit(0 if any(found for found, _ in results) else 1)
