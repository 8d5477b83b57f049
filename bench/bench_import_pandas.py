#!/usr/bin/python3
"""pandas.read_csv against lx's AiM CSV importer on the same 50 MB export.

    /usr/bin/python3 bench/bench_import_pandas.py build-bench/bench/bench_import

Runs the benchmark program (which writes the file with the session
generator and times the importer), then reads the same file with
pandas.read_csv the way one reads this layout: the metadata rows and the
units row skipped, the channel names as the header. Prints both speeds and
their ratio; exits 1 when lx is under 200 MB/s or under 3 times pandas.
"""
import json
import os
import subprocess
import sys
import time

import pandas

FILE = "lx-bench-aim-50mb.csv"


def lx_bytes_per_second(program):
    env = dict(os.environ, LX_BENCH_KEEP="1")
    out = subprocess.run([program, "--benchmark_format=json"], env=env, check=True,
                         capture_output=True, text=True).stdout
    run = json.loads(out)["benchmarks"][0]
    return run["bytes_per_second"], run


def header_rows(path):
    """Line numbers (from 0) of the metadata, the blank lines and the units row."""
    with open(path, "rb") as f:
        lines = [f.readline() for _ in range(64)]
    names = next(i for i, line in enumerate(lines) if line.strip() == b"") + 1
    skip = list(range(names))
    return skip + [names + 1], names


def pandas_bytes_per_second(path, rounds=5):
    skip, _ = header_rows(path)
    best = float("inf")
    for _ in range(rounds):
        start = time.process_time()
        frame = pandas.read_csv(path, skiprows=skip, header=0, encoding="latin-1")
        best = min(best, time.process_time() - start)
    return os.path.getsize(path) / best, frame.shape


def main():
    program = sys.argv[1] if len(sys.argv) > 1 else "build-bench/bench/bench_import"
    try:
        lx_rate, run = lx_bytes_per_second(program)
        pandas_rate, shape = pandas_bytes_per_second(FILE)
    finally:
        if os.path.exists(FILE):
            os.remove(FILE)
    ratio = lx_rate / pandas_rate
    print(f"lx importer   {lx_rate / 1e6:7.1f} MB/s  (peak RSS {run['peak_rss_MB']:.1f} MB, "
          f"session arrays {run['arrays_MB']:.1f} MB, beyond them {run['beyond_arrays_MB']:.1f} MB)")
    print(f"pandas        {pandas_rate / 1e6:7.1f} MB/s  ({shape[0]} rows, {shape[1]} columns)")
    print(f"ratio         {ratio:7.2f}x")
    ok = lx_rate >= 200e6 and ratio >= 3 and run["beyond_arrays_MB"] <= 16
    print("targets (200 MB/s, 3x pandas, 16 MB beyond the arrays):", "met" if ok else "NOT met")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
