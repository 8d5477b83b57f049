# The real sessions in ../shared/data/real (never copied into the repository):
# lx laps and lx report on each of the five, lx info on the two MoTeC
# examples, and every full lap's logger time against the folder's laps.csv
# to the millisecond; the MoTeC LD and iRacing telemetry sessions against
# their folders' facts, and the LD written again compared field by field
# (45-binary.py). Skipped where the folder is absent.
set -euo pipefail
real=${LX_REAL_DATA:-../shared/data/real}
if [ ! -d "$real" ]; then
    echo "real data: $real absent, skipped"
    exit 0
fi
lx=${LX_TOOL:-build/tools/lx}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failed=0

# "lap time" per lap from lx laps: the lap number and its m:ss.sss in seconds.
lap_times() {
    awk '$1 ~ /^[0-9]+$/ && $2 ~ /^[0-9]+:[0-9][0-9]\.[0-9][0-9][0-9]$/ {
        split($2, t, ":"); printf "%d %.3f\n", $1, t[1] * 60 + t[2] }' "$1"
}

# check FILE LAPS_CSV FIRST_LAP_COLUMN OFFSET: the full laps of LAPS_CSV (for
# this file) against lx's lap (csv lap + OFFSET), or lx's lap OFFSET when the
# csv numbers laps as the logger does.
check() {
    local file=$1 laps_csv=$2 offset=$3 name
    name=$(basename "$(dirname "$file")")/$(basename "$file")
    "$lx" laps "$file" >"$dir/laps.txt" || { echo "FAIL lx laps $name"; failed=1; return; }
    "$lx" report "$file" -o "$dir/report" >/dev/null || { echo "FAIL lx report $name"; failed=1; return; }
    [ -s "$dir/report/report.html" ] || { echo "FAIL no report for $name"; failed=1; }
    lap_times "$dir/laps.txt" >"$dir/found.txt"
    echo "== $name"
    cat "$dir/found.txt"
    awk -v file="$(basename "$file")" -v offset="$offset" -v name="$name" '
        NR == FNR { found[$1] = $2; next }
        FNR == 1 { for (i = 1; i <= NF; i++) col[$i] = i; next }
        ("file" in col) && $col["file"] != file { next }
        $0 ~ /full lap/ {
            lap = ("file" in col) ? offset : $col["lap"] + offset
            want = sprintf("%.3f", $col["logger_lap_time_s"])
            if (!(lap in found) || found[lap] != want) {
                printf "FAIL %s lap %d: lx %s, logger %s\n", name, lap, found[lap], want; bad = 1
            } else checked++
        }
        END { printf "%s: %d full laps match the logger\n", name, checked; exit bad }
    ' FS=' ' "$dir/found.txt" FS=, "$laps_csv" || failed=1
}

check "$real/aim-kart-rustavi-mychron5/aim.csv" "$real/aim-kart-rustavi-mychron5/laps.csv" 1
check "$real/aim-kart-rustavi-solo2dl/aim.csv" "$real/aim-kart-rustavi-solo2dl/laps.csv" 1
check "$real/aim-yamaha-r6-imola/YamahaR6.csv" "$real/aim-yamaha-r6-imola/laps.csv" 1
# Each RaceChrono file starts a few seconds before its full lap: that is lap 2.
for f in "$real"/racechrono-tianma/session_*.csv; do
    check "$f" "$real/racechrono-tianma/laps.csv" 2
done
for f in "$real"/motec-csv-examples/*.csv; do
    "$lx" info "$f" >/dev/null || { echo "FAIL lx info $(basename "$f")"; failed=1; }
done
/usr/bin/python3 .ci/steps/45-binary.py "$real" "$lx" "$dir" || failed=1
for f in "$real/motec-ld-calder-park/Sample1.ld" "$real/iracing-ibt-redbull-ring/amg.ibt"; do
    [ -f "$f" ] || continue
    "$lx" report "$f" -o "$dir/report" >/dev/null 2>&1 || { echo "FAIL lx report $(basename "$f")"; failed=1; }
done
exit $failed
