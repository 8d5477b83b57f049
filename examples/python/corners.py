"""Where a session's laps lose time, corner by corner, and its best laps:
python3 corners.py SESSION

Exit 1 with one line when the session cannot be analysed or has no full lap.
"""
import sys

import lx


def report(path):
    with lx.open(path) as s:
        analysis = s.analysis
        if analysis.full_laps == 0:
            sys.exit(f"{path}: no full lap to compare corners on")
        corners = s.corners()  # the reference lap's, with the bests of the full laps
        optimal = s.optimal_lap()
    print(f"reference lap {analysis.reference_lap}: {analysis.reference_time:.3f} s")
    columns = ["corner", "hand", "apex_m", "radius_m", "min_speed_kmh", "most_lost_s", "lost_lap"]
    print(corners[columns].to_string(index=False, float_format="{:.1f}".format))
    print(
        f"theoretical best {analysis.theoretical_best:.3f} s, "
        f"optimal lap {optimal.attrs['time_s']:.3f} s from"
    )
    pieces = (f"{p.start_m:.0f}-{p.end_m:.0f} m lap {p.lap}" for p in optimal.itertuples())
    print("  " + ", ".join(pieces))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__.splitlines()[1])
    try:
        report(sys.argv[1])
    except lx.LxError as e:
        why = " ".join(str(e).split())  # one line
        sys.exit(why if sys.argv[1] in why else f"{sys.argv[1]}: {why}")
