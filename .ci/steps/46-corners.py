"""Corners of AiM sessions against the logger's GPS Radius channel (metres,
10000 on a straight): every full lap finds the reference lap's corners, their
apexes agree from lap to lap, and each corner's radius and apex are where the
logger's own radius says. One line per session; FAIL lines and exit 1 otherwise.

    46-corners.py AIM_CSV...
"""

import sys
from pathlib import Path

import numpy as np
import pandas as pd

import lx

# A corner's radius (1000 / peak curvature) lies within this share of the
# smallest GPS Radius between its entry and exit (observed: up to 24 % over).
RADIUS_AGREEMENT = 0.35
# The GPS Radius at the apex exceeds that smallest one by at most this share
# (observed: 9 %): the peak of the curvature is where the logger turns tightest.
APEX_RADIUS = 0.15
# Corners one lap has and another lacks: kinks of at least this radius (their
# curvature hovers at the threshold), or a corner split in two on one of them.
GENTLE_RADIUS = 40.0
# Apexes: median distance from the corner's median apex over the laps, and
# the share of apexes within NEAR_APEX of it (long corners with two near-equal
# peaks move their apex by 10-25 m from lap to lap).
MEDIAN_APEX_M, NEAR_APEX_M, NEAR_SHARE = 3.0, 10.0, 0.8


def check_session(path):
    failures, name = [], Path(path).parent.name
    s = lx.open(path)
    laps = s.laps
    full = list(laps.lap[laps["class"] == "full"])
    reference = s.analysis.reference_lap
    length = dict(zip(laps.lap, laps.length_m))
    ref_corners = s.corners(reference)
    apexes = {number: [] for number in ref_corners.corner}
    extra, radius_ratio, apex_ratio = 0, [], []
    for lap in full:
        scale = length[reference] / length[lap]
        frame = s.frame(lap)
        d, gps_radius = frame.distance_m.to_numpy(), frame["GPS Radius"].to_numpy(np.float64)
        corners = s.corners(lap)
        for c in corners.itertuples():
            where = f"{name} lap {lap} corner {c.corner} (apex {c.apex_m:.0f} m)"
            if c.paired is not pd.NA:
                apexes[c.paired].append(c.apex_m * scale)
            else:
                extra += 1
                inside = (
                    (ref_corners.entry_m <= c.apex_m * scale)
                    & (c.apex_m * scale <= ref_corners.exit_m)
                ).any()
                if c.radius_m < GENTLE_RADIUS and not inside:
                    failures.append(f"{where}: radius {c.radius_m:.0f} m, not on the reference lap")
            smallest = gps_radius[(d >= c.entry_m) & (d <= c.exit_m)].min()
            radius_ratio.append(c.radius_m / smallest)
            apex_ratio.append(np.interp(c.apex_m, d, gps_radius) / smallest)
            if abs(radius_ratio[-1] - 1) > RADIUS_AGREEMENT:
                failures.append(
                    f"{where}: radius {c.radius_m:.1f} m, the logger's GPS Radius {smallest:.1f} m"
                )
            if apex_ratio[-1] > 1 + APEX_RADIUS:
                failures.append(
                    f"{where}: GPS Radius {apex_ratio[-1] * smallest:.1f} m at the apex, "
                    f"{smallest:.1f} m at its smallest"
                )
        # Reference corners a lap may lack, as it may have corners the reference lacks:
        # kinks, and halves of a corner split in two where this lap's curvature dips
        # less between the peaks (its corner then holds the other half's apex).
        paired = set(corners.paired.dropna())
        missing = [
            r.corner
            for r in ref_corners.itertuples()
            if r.corner not in paired
            and r.radius_m < GENTLE_RADIUS
            and not (
                (corners.entry_m <= r.apex_m / scale) & (r.apex_m / scale <= corners.exit_m)
            ).any()
        ]
        if missing:
            failures.append(f"{name} lap {lap} lacks corners {sorted(missing)} of the reference")
    deviation = np.array([abs(a - np.median(v)) for v in apexes.values() for a in v])
    near = np.mean(deviation <= NEAR_APEX_M)
    if np.median(deviation) > MEDIAN_APEX_M or near < NEAR_SHARE:
        failures.append(
            f"{name}: apexes {np.median(deviation):.1f} m from their corner's median, "
            f"{near:.0%} within {NEAR_APEX_M:.0f} m"
        )
    s.close()
    summary = (
        f"{name}: {len(full)} full laps find the {len(ref_corners)} corners of lap "
        f"{reference} ({extra} more: kinks or splits); apexes {np.median(deviation):.1f} m "
        f"from the median, {near:.0%} within {NEAR_APEX_M:.0f} m; radius / GPS Radius "
        f"{min(radius_ratio):.2f}-{max(radius_ratio):.2f}, GPS Radius at the apex at most "
        f"{max(apex_ratio):.2f} x its smallest"
    )
    return failures, summary


def main(paths):
    failed = False
    for path in paths:
        failures, summary = check_session(path)
        for line in failures:
            print("FAIL corners: " + line)
        failed |= bool(failures)
        print(("FAILED " if failures else "") + summary)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
