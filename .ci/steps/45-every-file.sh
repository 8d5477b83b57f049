# Every session file in ../shared/data/real (the loggers' own laps and channel
# lists, the provenance notes and the files derived from the sessions skipped
# by name): lx laps and lx report each exit 0, or refuse with exit 1 and one
# line on stderr. Skipped where the folder is absent.
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

# run NAME COMMAND...: exit 0, or exit 1 with exactly one line on stderr.
run() {
    local name=$1 status=0 lines
    shift
    "$@" >/dev/null 2>"$dir/why.txt" || status=$?
    lines=$(wc -l <"$dir/why.txt")
    if [ "$status" -eq 0 ] || { [ "$status" -eq 1 ] && [ "$lines" -eq 1 ]; }; then
        echo "$name: exit $status$([ "$status" -eq 1 ] && echo ", $(cat "$dir/why.txt")")"
    else
        echo "FAIL $name: exit $status, $lines lines on stderr"
        cat "$dir/why.txt"
        failed=1
    fi
}

while IFS= read -r -d '' f; do
    case $(basename "$f") in
    laps.csv | channels.csv | PROVENANCE.md | normalised_*.csv | *_normalised_*.csv) continue ;;
    esac
    name=${f#"$real"/}
    run "lx laps $name" "$lx" laps "$f"
    rm -rf "$dir/report"
    run "lx report $name" "$lx" report "$f" -o "$dir/report"
done < <(find "$real" -type f -print0 | sort -z)
exit $failed
