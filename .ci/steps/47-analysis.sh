# The analysis of each real CSV session in ../shared/data/real (never copied
# into the repository), checked through the data API by 47-analysis.c: the
# invariants of every full lap, the best laps' order, and the fastest lap
# against the logger's best in the folder's laps.csv. Skipped where the
# folder is absent.
set -euo pipefail
real=${LX_REAL_DATA:-../shared/data/real}
if [ ! -d "$real" ]; then
    echo "analysis: $real absent, skipped"
    exit 0
fi
build=${LX_BUILD:-$PWD/build}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cc -std=c11 -O2 -Wall -Wextra -Werror -Iinclude .ci/steps/47-analysis.c -o "$dir/check" \
    -L"$build" -Wl,-rpath,"$build" -llx -lm

# The logger's best full lap in LAPS_CSV, among the rows for FILE where it has
# a file column.
logger_best() {
    awk -F, -v file="$(basename "$2")" '
        NR == 1 { for (i = 1; i <= NF; i++) col[$i] = i; next }
        ("file" in col) && $col["file"] != file { next }
        $0 ~ /full lap/ { t = $col["logger_lap_time_s"]; if (best == "" || t < best) best = t }
        END { print best }' "$1"
}

failed=0
for file in "$real"/aim-kart-rustavi-mychron5/aim.csv "$real"/aim-kart-rustavi-solo2dl/aim.csv \
    "$real"/aim-yamaha-r6-imola/YamahaR6.csv "$real"/racechrono-tianma/session_*.csv; do
    echo "== $file"
    "$dir/check" "$file" "$(logger_best "$(dirname "$file")/laps.csv" "$file")" || failed=1
done
exit $failed
