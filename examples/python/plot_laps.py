"""Speed against distance of the fastest full lap and the slowest:
python3 plot_laps.py SESSION [OUT.png]

Exit 1 with one line when the session cannot be analysed or has no full lap.
"""
import sys

import matplotlib

matplotlib.use("Agg")  # a file, never a window
import matplotlib.pyplot as plt  # noqa: E402

import lx  # noqa: E402


def plot(path, out):
    with lx.open(path) as s:
        full = s.laps.query("`class` == 'full'").sort_values("time_s")
        if full.empty:
            sys.exit(f"{path}: no full lap to plot")
        for lap in dict.fromkeys([full.lap.iloc[0], full.lap.iloc[-1]]):
            frame = s.frame(lap)
            plt.plot(frame.distance_m, frame.speed_kmh, label=f"lap {lap}")
    plt.xlabel("distance (m)"), plt.ylabel("speed (km/h)"), plt.legend()
    plt.savefig(out)


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__.splitlines()[1])
    try:
        plot(sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else "laps.png")
    except lx.LxError as e:
        why = " ".join(str(e).split())  # one line
        sys.exit(why if sys.argv[1] in why else f"{sys.argv[1]}: {why}")
