"""Python's laps against `lx laps --json`: the same laps, classes and numbers at the
precision the tool prints. One line per file; FAIL lines and exit 1 otherwise.

    49-laps-json.py LX_TOOL FILE...
"""

import json
import math
import subprocess
import sys
from pathlib import Path

import lx

FIELDS = {
    "lap": "lap",
    "logger_lap": "logger_lap",
    "class": "class",
    "slow": "slow",
    "truncated": "truncated",
}
# JSON field: (Python column, half the step the tool rounds to, with room for binary fractions)
NUMBERS = {
    "time": ("time_s", 0.0005001),
    "gap": ("gap_s", 0.0005001),
    "length": ("length_m", 0.0501),
}


def differences(tool_laps, frame):
    found = []
    for row, (_, mine) in zip(tool_laps, frame.iterrows()):
        for theirs, ours in FIELDS.items():
            if row.get(theirs) != mine[ours]:
                found.append(f"lap {mine.lap} {theirs}: {row.get(theirs)} against {mine[ours]}")
        for theirs, (ours, precision) in NUMBERS.items():
            value = row.get(theirs)
            if value is None and math.isnan(mine[ours]):
                continue
            if value is None or abs(value - mine[ours]) > precision:
                found.append(f"lap {mine.lap} {theirs}: {value} against {mine[ours]!r}")
    if len(tool_laps) != len(frame):
        found.append(f"{len(tool_laps)} laps against {len(frame)}")
    return found


def main(tool, paths):
    sample = Path(__file__).resolve().parents[2] / "examples" / "sample.txt"
    if subprocess.run([tool, "laps", "--json", sample], capture_output=True).returncode:
        print(f"laps-json: {tool} has no laps --json, skipped")
        return 0
    failed = False
    for path in paths:
        run = subprocess.run([tool, "laps", "--json", path], capture_output=True, text=True)
        if run.returncode != 0:
            print(f"{path}: lx laps --json refused it: {' '.join(run.stderr.split())[:200]}")
            continue
        try:
            with lx.open(path) as s:
                found = differences(json.loads(run.stdout)["laps"], s.laps)
        except lx.LxError as e:
            found = [f"Python refused what the tool read: {e}"]
        for line in found:
            print(f"FAIL laps-json: {path}: {line}")
        failed |= bool(found)
        print(f"{path}: {'differs' if found else 'the same laps and numbers'}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2:]))
