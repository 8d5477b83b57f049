#!/usr/bin/env bash
# Speed of a season: LX_SEASON_SESSIONS (200) generated sessions of mixed
# formats, 10 to 30 laps at 20 to 100 Hz, all of one circuit. Prints sessions
# per second of `lx season` on one core, the re-run of the unchanged season
# against the first run (aim: at most 5 %), and the speed-up of lx.Season on
# two worker processes over one (aim: 1.6 on two cores). Printed, not
# enforced. Builds a Release tree in build-bench unless LX_BUILD names one.
#     bash bench/season_speed.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${LX_BUILD:-build-bench}
if [[ -z ${LX_BUILD:-} ]]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DLX_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build" -j2 --target lx lx_tool lx_gen_tool >/dev/null
fi
build=$(cd "$build" && pwd)
count=${LX_SEASON_SESSIONS:-200}
work=$build/season-speed
rm -rf "$work"
mkdir -p "$work/sessions"
trap 'rm -rf "$work"' EXIT
formats=(text aim-csv racechrono-csv motec-csv vbo ld ibt)
suffix=(txt csv csv csv vbo ld ibt)
bytes=0
for ((i = 0; i < count; i++)); do
    k=$((i % ${#formats[@]}))
    laps=$((8 + (i * 7) % 21)) # timed laps; with the out- and in-lap 10 to 30
    rate=$((20 + (i * 37) % 81))
    file=$work/sessions/s$i.${suffix[k]}
    "$build/tools/lx-gen" --format "${formats[k]}" --gps --laps "$laps" --rate "$rate" \
        --seed $((i + 1)) -o "$file" >/dev/null
    bytes=$((bytes + $(stat -c %s "$file")))
done
echo "season: $count sessions, $((bytes / 1000000)) MB"

seconds() { # wall seconds of a command
    local start=$EPOCHREALTIME
    "$@" >/dev/null
    echo "$EPOCHREALTIME - $start" | bc
}
first=$(seconds taskset -c 0 "$build/tools/lx" season "$work/sessions" --db "$work/one.sqlite")
again=$(seconds taskset -c 0 "$build/tools/lx" season "$work/sessions" --db "$work/one.sqlite")
printf 'lx season, one core: %.1f s, %.1f sessions/s\n' "$first" "$(echo "$count / $first" | bc -l)"
printf 're-run unchanged:    %.3f s, %.1f %% of the first run (aim: at most 5 %%)\n' "$again" \
    "$(echo "100 * $again / $first" | bc -l)"

python() {
    PYTHONPATH=$PWD/python LX_LIBRARY=$build/liblx.so /usr/bin/python3 -c "
import sys, lx
from concurrent.futures import ProcessPoolExecutor
workers = int(sys.argv[2])
with ProcessPoolExecutor(workers) as pool:
    lx.Season('$work/sessions', db=sys.argv[1], executor=pool if workers > 1 else None).close()
" "$@"
}
one=$(seconds python "$work/py1.sqlite" 1)
two=$(seconds python "$work/py2.sqlite" 2)
printf 'lx.Season: one process %.1f s, two worker processes %.1f s: speed-up %.2f (aim: 1.6)\n' \
    "$one" "$two" "$(echo "$one / $two" | bc -l)"
