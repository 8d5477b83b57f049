# Each format lx-gen writes, converted by lx convert to each format lx writes
# and read again: the same laps and classes, closed laps within a millisecond,
# the open last lap within a sample step (the binary readers end it at its
# last sample, the text readers a step on). Into VBO the lines are the track's
# crossings of the gate, between samples, where the source's may sit on a
# sample: each line moves by up to a step, a lap by up to two.
# Into VBO the in-lap is cut again where it crosses the line in the pit lane,
# which the generated beacon misses: its pieces add up to it. The text export
# keeps no positions, so it is not written as VBO.
set -euo pipefail
lx=${LX_TOOL:-build/tools/lx}
gen=${LX_GEN:-build/tools/lx-gen}
rate=20
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failed=0
for from in text aim-csv racechrono-csv motec-csv vbo ld ibt; do
    "$gen" --format "$from" --gps --laps 5 --rate $rate --seed 11 -o "$dir/from" >/dev/null
    "$lx" laps "$dir/from" --json >"$dir/before.json" 2>/dev/null
    for to in text vbo ld motec-csv; do
        [ "$from/$to" = text/vbo ] && continue
        "$lx" convert "$dir/from" --to "$to" -o "$dir/to" >/dev/null 2>&1 &&
            "$lx" laps "$dir/to" --json >"$dir/after.json" 2>/dev/null &&
            /usr/bin/python3 - "$dir/before.json" "$dir/after.json" "$to" "$rate" <<'PY' ||
import json, sys
before, after = (json.load(open(f))["laps"] for f in sys.argv[1:3])
to, step = sys.argv[3], 1 / float(sys.argv[4])
slack = 0.0015
closed = 2 * step + slack if to == "vbo" else slack
if to == "vbo" and len(after) > len(before) and before[-1]["class"] == "in":
    pieces = after[len(before) - 1:]
    after = after[:len(before) - 1] + [dict(pieces[-1], time=sum(p["time"] for p in pieces))]
same = len(before) == len(after) and all(
    a["class"] == b["class"] and
    abs(a["time"] - b["time"]) <= (closed if k + 1 < len(before) else max(closed, step + slack))
    for k, (a, b) in enumerate(zip(before, after)))
if not same:
    for name, laps in (("before", before), ("after", after)):
        print(f"  {name} {[(l['class'], round(l['time'], 3)) for l in laps]}")
sys.exit(0 if same else 1)
PY
            { echo "FAIL $from to $to: other laps"; failed=1; continue; }
        echo "$from to $to: $(grep -o '"class"' "$dir/before.json" | wc -l) laps the same"
    done
done
exit $failed
