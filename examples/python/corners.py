"""Where a session's laps lose time, corner by corner, and its best laps:
python3 corners.py FILE [SPEED_CHANNEL LATERAL_CHANNEL]
"""
import sys

import lx


def report(path, speed="Speed", lateral="Lateral Acc"):
    with lx.open(path) as s:
        s.session_math(speed, lateral)
        full = [lap.index for lap in s.laps[1:-1] if lap.lap_class == lx.LapClass.FULL]
        fastest = min(full, key=lambda lap: s.lap(lap).laptime)
        print("corner  hand   apex m  radius m  min km/h  most lost (lap)")
        for c in s.corners(fastest, reference=fastest):
            # Each lap's stretches against the fastest: corners sit at odd places.
            lost = {lap: s.stretches(lap, reference=fastest)[2 * c.number - 1].gain for lap in full}
            worst = max(lost, key=lost.get)
            hand = "right" if c.direction > 0 else "left"
            print(
                f"{c.number:6}  {hand:5} {c.apex:8.1f} {c.radius:9.1f} {c.min_speed * 3.6:9.1f}"
                f"  {lost[worst]:+.3f} ({worst + 1})"
            )
        best, optimal = s.theoretical_best(), s.optimal_lap()
        print(f"fastest lap {fastest + 1}: {s.lap(fastest).laptime:.3f} s")
        print(f"theoretical best: {best.time:.3f} s, optimal lap: {optimal.time:.3f} s from")
        print(
            "  " + ", ".join(f"{p.start:.0f}-{p.end:.0f} m lap {p.lap + 1}" for p in optimal.pieces)
        )


if __name__ == "__main__":
    report(sys.argv[1], *sys.argv[2:4])
