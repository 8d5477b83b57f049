#!/usr/bin/python3
"""Python threads over the data API: 100 sessions of the generator's sample
(examples/sample.txt), each opened, analysed, its corners and sectors taken and
closed, by a ThreadPoolExecutor of 1 and then 2 threads.

    LX_LIBRARY=build-bench/liblx.so /usr/bin/python3 bench/bench_python_threads.py

Prints both times and the speed-up (aim: 1.6 times with 2 threads), not
enforced: other work on a shared machine moves it. Exits 1 when the two runs'
results differ.
"""
import sys
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "python"))
import lx  # noqa: E402

SAMPLE = ROOT / "examples" / "sample.txt"
SESSIONS = 100


def work(path):
    with lx.open(path) as s:
        corners = s.corners()
        sectors = s.sectors()
        return len(corners), float(sectors.attrs["theoretical_best_s"])


def timed(threads):
    start = time.perf_counter()
    with ThreadPoolExecutor(threads) as pool:
        results = list(pool.map(work, [SAMPLE] * SESSIONS))
    return time.perf_counter() - start, results


def main():
    timed(1)  # warm-up: the library loaded, pandas' first calls made
    one, first = timed(1)
    two, second = timed(2)
    print(f"python threads: {SESSIONS} sessions, 1 thread {one:.2f} s, 2 threads {two:.2f} s, "
          f"speed-up {one / two:.2f} (aim 1.6, not enforced)")
    if first != second:
        print("python threads: the results of 1 and 2 threads differ", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
