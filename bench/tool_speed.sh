#!/usr/bin/env bash
# Speed of the lx tool on a two-hour 100 Hz session of 121 laps (41 MB):
# each command's wall time, best of three, against its target (the report
# without --match: 1 s), and the report page's size. Builds a Release tree in build-bench unless LX_BUILD
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

# Best of three runs: wall time and processor time (user + system), in
# seconds. On a machine shared with other work the processor time is the
# steadier figure.
best_of_three() {
    local best_wall= best_cpu=
    for _ in 1 2 3; do
        local wall cpu
        read -r wall cpu < <(/usr/bin/time -f '%e %U %S' "$lx" "$@" 2>&1 >/dev/null |
            awk 'END { printf "%.3f %.3f\n", $1, $2 + $3 }')
        if [[ -z $best_wall ]] || (($(echo "$wall < $best_wall" | bc))); then best_wall=$wall; fi
        if [[ -z $best_cpu ]] || (($(echo "$cpu < $best_cpu" | bc))); then best_cpu=$cpu; fi
    done
    echo "$best_wall $best_cpu"
}

verdict() { (($(echo "$1 < $2" | bc))) && echo "under $2 s" || echo "OVER $2 s"; }

cd "$work"
printf 'session: %s bytes; load average %s\n' "$(stat -c %s "$session")" "$(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-8s %8s %8s  %s\n' command wall cpu target
for command in "info $session" "laps $session" "delta $session --ref-lap 5" \
    "map $session --lap 5 -o map.svg" "chart $session --lap 5 --channel Speed -o chart.svg" \
    "motec $session --lap 5 -o lap.csv"; do
    # shellcheck disable=SC2086 # the command's words
    read -r wall cpu < <(best_of_three $command)
    printf '%-8s %7ss %7ss  %s\n' "${command%% *}" "$wall" "$cpu" "$(verdict "$wall" 0.5)"
done
read -r cut_wall cut_cpu < <(best_of_three cut "$session" --ref "$session" --ref-lap 5)
printf '%-8s %7ss %7ss\n' cut "$cut_wall" "$cut_cpu"
# Lap matching runs only on --match, so the report alone stays within a second.
read -r wall cpu < <(best_of_three report "$session" -o report)
printf '%-8s %7ss %7ss  %s (without --match)\n' report "$wall" "$cpu" "$(verdict "$wall" 1)"
size=$(stat -c %s report/report.html)
printf 'page     %s bytes  %s\n' "$size" "$( ((size < 2000000)) && echo "under 2 MB" || echo "OVER 2 MB")"
