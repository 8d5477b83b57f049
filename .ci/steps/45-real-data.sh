# The real sessions in ../shared/data/real (never copied into the repository):
# lx laps and lx report on each of the five, lx info on the two MoTeC
# examples, and every full lap's logger time against the folder's laps.csv
# to the millisecond; the two VBO files; the MoTeC LD and iRacing telemetry
# sessions against their folders' facts, and the LD written again compared
# field by field (45-binary.py); then, through the data API, each session's
# lap classes and every full lap's time, the logger's exactly; the lateral
# channels' sign against the GPS track's turning; files cut at 90 % opened with
# a note and a truncated last lap; the whole-session MoTeC CSV giving the same
# lap times. Skipped where the folder is absent.
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
# VBO: the Massa Finalese file's gates are rebuilt across the track, so a
# crossing may move by a millisecond against laps.csv; within 1 ms passes.
vbo_check() {
    local file=$1 laps_csv=$2
    "$lx" laps "$file" >"$dir/laps.txt" || { echo "FAIL lx laps $file"; failed=1; return; }
    "$lx" report "$file" -o "$dir/report" >/dev/null || { echo "FAIL lx report $file"; failed=1; }
    lap_times "$dir/laps.txt" >"$dir/found.txt"
    awk -v name="$(basename "$file")" '
        NR == FNR { found[$1] = $2; next }
        FNR == 1 { for (i = 1; i <= NF; i++) col[$i] = i; next }
        $0 ~ /full lap/ {
            lap = $col["lap"] + 1; want = $col["logger_lap_time_s"]
            d = found[lap] - want; if (d < 0) d = -d
            if (!(lap in found) || d > 0.0015) {
                printf "FAIL %s lap %d: lx %s, logger %s\n", name, lap, found[lap], want; bad = 1
            } else checked++
        }
        END { printf "%s: %d full laps within 1 ms of the logger\n", name, checked
              exit bad || checked != 20 }
    ' FS=' ' "$dir/found.txt" FS=, "$laps_csv" || failed=1
}
massa=$real/vbo-massa-finalese-racechrono
if [ -d "$massa" ]; then
    vbo_check "$massa/vbox-modena.vbo" "$massa/laps.csv"
    [ "$(wc -l <"$dir/found.txt")" -eq 22 ] || { echo "FAIL vbox-modena.vbo: not out-lap, 20 laps, in-lap"; failed=1; }
    # Without its [laptiming] a start line is proposed and the laps found again.
    sed '/^\[laptiming\]/,/^\r\{0,1\}$/d' "$massa/vbox-modena.vbo" >"$dir/no-gates.vbo"
    "$lx" laps "$dir/no-gates.vbo" >"$dir/laps.txt" || { echo "FAIL lx laps no-gates.vbo"; failed=1; }
    full=$(lap_times "$dir/laps.txt" | awk '$2 > 44 && $2 < 46' | wc -l)
    echo "vbox-modena.vbo without [laptiming]: $full laps of 44-46 s"
    [ "$full" -ge 20 ] || { echo "FAIL no-gates.vbo: $full laps of 44-46 s"; failed=1; }
    # Given as --start-line, 20 m across the track at the proposed place, the same laps.
    line=$("$lx" laps "$dir/no-gates.vbo" 2>&1 >/dev/null | awk '/start line proposed at/ {
        split($7, p, ","); pi = atan2(0, -1); h = ($9 + 90) * pi / 180; d = 10 / 111320
        la = d * cos(h); lo = d * sin(h) / cos(p[1] * pi / 180)
        printf "%.7f,%.7f,%.7f,%.7f", p[1] - la, p[2] - lo, p[1] + la, p[2] + lo }')
    "$lx" laps "$dir/no-gates.vbo" --start-line "$line" >"$dir/laps.txt" 2>/dev/null ||
        { echo "FAIL lx laps no-gates.vbo --start-line $line"; failed=1; }
    full=$(lap_times "$dir/laps.txt" | awk '$2 > 44 && $2 < 46' | wc -l)
    echo "vbox-modena.vbo without [laptiming], --start-line $line: $full laps of 44-46 s"
    [ "$full" -ge 20 ] || { echo "FAIL no-gates.vbo --start-line: $full laps of 44-46 s"; failed=1; }
fi
# Circuit Tools' example: 6 rows, the hour rolling over, a 239 s gap kept
# (243 s from first to last row), one lap.
tools_vbo=$real/vbo-circuit-tools-example/racelogic.vbo
if [ -f "$tools_vbo" ]; then
    "$lx" info "$tools_vbo" >"$dir/info.txt" || { echo "FAIL lx info racelogic.vbo"; failed=1; }
    awk '$2 == "Sample" { samples = $4 + 1 } $2 == "Time" { span = $5 }
         /^Laps \(/ { laps = $2 }
         END { printf "racelogic.vbo: %d rows over %s s, laps %s\n", samples, span, laps
               exit !(samples == 6 && span == 243 && laps == "(1):") }' "$dir/info.txt" ||
        { echo "FAIL racelogic.vbo"; failed=1; }
fi
for f in "$real"/motec-csv-examples/*.csv; do
    "$lx" info "$f" >/dev/null || { echo "FAIL lx info $(basename "$f")"; failed=1; }
done

lib=${LX_LIBRARY_DIR:-build}
facts=$dir/lap-facts
${CXX:-c++} -std=c++20 -Iinclude .ci/steps/45-lap-facts.cpp -L"$lib" \
    -Wl,-rpath,"$(cd "$lib" && pwd)" -llx -o "$facts"

# classes FILE SPEED LATERAL EXPECTED LAPS_CSV OFFSET: the lap classes in order,
# and each full lap timed by the logger as LAPS_CSV says (its lap + OFFSET is
# the logger's lap number).
classes() {
    local file=$1 expected=$4 laps_csv=$5 offset=$6 name got
    name=$(basename "$(dirname "$file")")/$(basename "$file")
    "$facts" "$file" "$2" "$3" >"$dir/facts.txt" || { echo "FAIL lap facts of $name"; failed=1; return; }
    got=$(awk '{ printf "%s%s", (NR > 1 ? " " : ""), $3 }' "$dir/facts.txt")
    if [ "$got" != "$expected" ]; then
        echo "FAIL $name classes: $got; expected $expected"
        failed=1
    fi
    awk -v file="$(basename "$file")" -v offset="$offset" -v name="$name" '
        NR == FNR { if ($3 == "full") { full[$2] = $5; timed[$2] = $4 }; next }
        FNR == 1 { for (i = 1; i <= NF; i++) col[$i] = i; next }
        ("file" in col) && $col["file"] != file { next }
        { logger[$col["lap"] + offset] = sprintf("%.3f", $col["logger_lap_time_s"]) }
        END {
            for (lap in full) {
                if (!timed[lap] || !(lap in logger) || full[lap] != logger[lap]) {
                    printf "FAIL %s logger lap %d: %s, the logger %s\n", name, lap, full[lap], logger[lap]
                    bad = 1
                } else checked++
            }
            printf "%s: %d full laps on the logger'"'"'s time\n", name, checked
            exit bad
        }
    ' FS=' ' "$dir/facts.txt" FS=, "$laps_csv" || failed=1
}

classes "$real/aim-kart-rustavi-mychron5/aim.csv" "GPS Speed" "GPS LatAcc" \
    "out full full full full full full full full in" "$real/aim-kart-rustavi-mychron5/laps.csv" 1
classes "$real/aim-kart-rustavi-solo2dl/aim.csv" "GPS Speed" "GPS LatAcc" \
    "out full full full full full partial in" "$real/aim-kart-rustavi-solo2dl/laps.csv" 1
classes "$real/aim-yamaha-r6-imola/YamahaR6.csv" "GPS_Speed" "GPS_LatAcc" \
    "out full full in" "$real/aim-yamaha-r6-imola/laps.csv" 1
for f in "$real"/racechrono-tianma/session_*.csv; do
    # Three columns are titled speed: the GPS's is the first.
    classes "$f" 15 lateral_acc "out full in" "$real/racechrono-tianma/laps.csv" 0
done
/usr/bin/python3 .ci/steps/45-binary.py "$real" "$lx" "$dir" || failed=1

# Lateral g positive in right-hand turns, against the turning of the GPS track.
sign=$dir/lateral-sign
${CC:-cc} -std=c11 -Iinclude .ci/steps/45-lateral-sign.c -L"$lib" \
    -Wl,-rpath,"$(cd "$lib" && pwd)" -llx -lm -o "$sign"
for pair in "vbo-massa-finalese-racechrono/vbox-modena.vbo:latacc-calc" \
    "iracing-ibt-redbull-ring/amg.ibt:LatAccel" "aim-yamaha-r6-imola/YamahaR6.csv:GPS_LatAcc"; do
    f=$real/${pair%%:*}
    [ -f "$f" ] || continue
    "$sign" "$f" "${pair#*:}" || { echo "FAIL lateral sign of ${pair%%:*}"; failed=1; }
done

# Cut short at 90 %: opened to the last whole sample, with the note saying where.
for f in "$real/motec-ld-calder-park/Sample1.ld" "$real/iracing-ibt-redbull-ring/amg.ibt" \
    "$real/aim-yamaha-r6-imola/YamahaR6.csv"; do
    [ -f "$f" ] || continue
    cut=$dir/cut-$(basename "$f")
    head -c $(($(wc -c <"$f") * 9 / 10)) "$f" >"$cut"
    "$lx" laps "$cut" >"$dir/laps.txt" 2>"$dir/why.txt" && grep -q "lx: note: .*ends" "$dir/why.txt" &&
        grep -q "truncated" "$dir/laps.txt" ||
        { echo "FAIL $(basename "$f") cut short"; cat "$dir/why.txt"; failed=1; }
    echo "$(basename "$f") cut at 90 %: $(grep "ends" "$dir/why.txt" | head -1)"
done

# The whole session as MoTeC CSV gives the same lap times.
for f in "$real/motec-ld-calder-park/Sample1.ld" "$real/aim-yamaha-r6-imola/YamahaR6.csv" \
    "$real/vbo-massa-finalese-racechrono/vbox-modena.vbo"; do
    [ -f "$f" ] || continue
    "$lx" convert "$f" --to motec-csv -o "$dir/whole.csv" >/dev/null &&
        "$lx" laps "$f" 2>/dev/null >"$dir/a.txt" && "$lx" laps "$dir/whole.csv" 2>/dev/null >"$dir/b.txt" &&
        [ "$(lap_times "$dir/a.txt")" = "$(lap_times "$dir/b.txt")" ] ||
        { echo "FAIL $(basename "$f") as MoTeC CSV: other lap times"; failed=1; }
    echo "$(basename "$f") as MoTeC CSV: $(lap_times "$dir/b.txt" | wc -l) lap times the same"
done
for f in "$real/motec-ld-calder-park/Sample1.ld" "$real/iracing-ibt-redbull-ring/amg.ibt"; do
    [ -f "$f" ] || continue
    # A report even without a full lap (the .ibt holds one out-lap).
    rm -rf "$dir/report"
    "$lx" report "$f" -o "$dir/report" >/dev/null 2>"$dir/why.txt" && [ -s "$dir/report/report.html" ] ||
        { echo "FAIL lx report $(basename "$f")"; cat "$dir/why.txt"; failed=1; }
done
exit $failed
