"""Speed of two laps against distance: python3 plot_laps.py SESSION [OUT.png]"""
import sys
import matplotlib.pyplot as plt
import lx

with lx.open(sys.argv[1]) as s:
    s.session_math("Speed", "Lateral Acc")
    for lap in (1, 2):
        metres, speed = s.samples(lap, lx.Derived.DISTANCE), s.samples(lap, lx.Derived.SPEED)
        plt.plot(metres - metres[0], speed * 3.6, label=f"lap {lap + 1}")
plt.xlabel("distance (m)"), plt.ylabel("speed (km/h)"), plt.legend()
plt.savefig(sys.argv[2] if len(sys.argv) > 2 else "laps.png")
