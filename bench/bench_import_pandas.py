#!/usr/bin/python3
"""pandas.read_csv against lx's AiM CSV importer on the same 50 MB export.

    /usr/bin/python3 bench/bench_import_pandas.py build-bench/bench/bench_import [--check]

Runs the benchmark program (which writes the file with the session
generator and times the importer over several repetitions), then reads the
same file with pandas.read_csv the way one reads this layout: the metadata
rows and the units row skipped, the channel names as the header. Both are
timed in CPU seconds and the best run of each counts, so that other work on
a shared machine moves the ratio little. Prints both speeds, their ratio and
the importer's memory beyond the session's arrays; with --check, exits 1
when lx is under 200 MB/s, under 3 times pandas or over 16 MB beyond the
arrays.
"""
import json
import os
import subprocess
import sys
import time

import pandas

FILE = "lx-bench-aim-50mb.csv"
REPETITIONS = 5
MIN_MB_PER_S, MIN_RATIO, MAX_BEYOND_ARRAYS_MB = 200, 3.0, 16


def lx_best_run(program):
    """The repetition with the highest speed, with the most memory any took."""
    env = dict(os.environ, LX_BENCH_KEEP="1")
    out = subprocess.run([program, "--benchmark_format=json", "--benchmark_min_time=1",
                          f"--benchmark_repetitions={REPETITIONS}"],
                         env=env, check=True, capture_output=True, text=True).stdout
    runs = [r for r in json.loads(out)["benchmarks"] if r.get("run_type") == "iteration"]
    best = max(runs, key=lambda r: r["bytes_per_second"])
    best["beyond_arrays_MB"] = max(r["beyond_arrays_MB"] for r in runs)
    return best


def header_rows(path):
    """Line numbers (from 0) of the metadata, the blank lines and the units row."""
    with open(path, "rb") as f:
        lines = [f.readline() for _ in range(64)]
    names = next(i for i, line in enumerate(lines) if line.strip() == b"") + 1
    skip = list(range(names))
    return skip + [names + 1], names


def pandas_bytes_per_second(path):
    skip, _ = header_rows(path)
    best = float("inf")
    for _ in range(REPETITIONS):
        start = time.process_time()
        frame = pandas.read_csv(path, skiprows=skip, header=0, encoding="latin-1")
        best = min(best, time.process_time() - start)
    return os.path.getsize(path) / best, frame.shape


def main():
    args = [a for a in sys.argv[1:] if a != "--check"]
    program = args[0] if args else "build-bench/bench/bench_import"
    try:
        run = lx_best_run(program)
        pandas_rate, shape = pandas_bytes_per_second(FILE)
    finally:
        if os.path.exists(FILE):
            os.remove(FILE)
    lx_rate = run["bytes_per_second"]
    ratio = lx_rate / pandas_rate
    beyond = run["beyond_arrays_MB"]
    print(f"lx importer   {lx_rate / 1e6:7.1f} MB/s  (best of {REPETITIONS}; "
          f"{run['page_faults']:.0f} page faults per read)")
    print(f"pandas        {pandas_rate / 1e6:7.1f} MB/s  (best of {REPETITIONS}; "
          f"{shape[0]} rows, {shape[1]} columns)")
    print(f"ratio         {ratio:7.2f}x  (target {MIN_RATIO:g}x)")
    print(f"peak memory   {run['peak_rss_MB']:7.1f} MB  (session arrays {run['arrays_MB']:.1f} MB, "
          f"beyond them {beyond:.1f} MB; target {MAX_BEYOND_ARRAYS_MB} MB)")
    ok = lx_rate >= MIN_MB_PER_S * 1e6 and ratio >= MIN_RATIO and beyond <= MAX_BEYOND_ARRAYS_MB
    print(f"targets ({MIN_MB_PER_S} MB/s, {MIN_RATIO:g}x pandas, {MAX_BEYOND_ARRAYS_MB} MB beyond "
          "the arrays):", "met" if ok else "NOT met")
    return 0 if ok or "--check" not in sys.argv else 1


if __name__ == "__main__":
    sys.exit(main())
