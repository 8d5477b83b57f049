#!/usr/bin/env bash
# Speed of the lx tool on a two-hour 100 Hz session of 121 laps (41 MB):
# each command's wall time, best of three, against its target, and the
# report page's size. Builds a Release tree in build-bench unless LX_BUILD
# names one that holds tools/lx and tools/lx-gen.
#     bash bench/tool_speed.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${LX_BUILD:-build-bench}
if [[ -z ${LX_BUILD:-} ]]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DLX_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build" -j2 --target lx_tool lx_gen_tool >/dev/null
fi
lx=$PWD/$build/tools/lx
work=$PWD/$build/tool-speed
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
session=$work/session.txt
"$PWD/$build/tools/lx-gen" --laps 119 --rate 100 --seed 3 -o "$session" >/dev/null

# Best wall time of three runs, in seconds.
best_of_three() {
    local best=
    for _ in 1 2 3; do
        local start end took
        start=$(date +%s.%N)
        "$lx" "$@" >/dev/null
        end=$(date +%s.%N)
        took=$(echo "$end - $start" | bc)
        if [[ -z $best ]] || (($(echo "$took < $best" | bc))); then best=$took; fi
    done
    printf '%.3f' "$best"
}

verdict() { (($(echo "$1 < $2" | bc))) && echo "under $2 s" || echo "OVER $2 s"; }

cd "$work"
printf 'session: %s, %s bytes\n' "$session" "$(stat -c %s "$session")"
for command in "info $session" "laps $session" "delta $session --ref-lap 5" \
    "map $session --lap 5 -o map.svg" "chart $session --lap 5 --channel Speed -o chart.svg" \
    "motec $session --lap 5 -o lap.csv"; do
    # shellcheck disable=SC2086 # the command's words
    took=$(best_of_three $command)
    printf '%-8s %6s s  %s\n' "${command%% *}" "$took" "$(verdict "$took" 0.5)"
done
cut=$(best_of_three cut "$session" --ref "$session" --ref-lap 5)
report=$(best_of_three report "$session" -o report)
printf '%-8s %6s s\n' cut "$cut"
printf '%-8s %6s s  %s (cut + 2 s)\n' report "$report" "$(verdict "$report" "$(echo "$cut + 2" | bc)")"
size=$(stat -c %s report/report.html)
printf 'page     %6s bytes  %s\n' "$size" "$( ((size < 2000000)) && echo "under 2 MB" || echo "OVER 2 MB")"
