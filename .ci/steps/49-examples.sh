# Every Python example on every file of ../shared/data/real (never copied into
# the repository): each exits 0, or 1 with one line saying why. Skipped where
# the folder is absent.
set -euo pipefail
real=${LX_REAL_DATA:-../shared/data/real}
if [ ! -d "$real" ]; then
    echo "examples: $real absent, skipped"
    exit 0
fi
export LX_LIBRARY=${LX_LIBRARY:-$PWD/build/liblx.so} PYTHONPATH=$PWD/python
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
failed=0
while IFS= read -r -d '' file; do
    for example in examples/python/*.py; do
        args=("$file")
        [ "$(basename "$example")" = plot_laps.py ] && args+=("$out/laps.png")
        status=0
        /usr/bin/python3 "$example" "${args[@]}" >"$out/said" 2>&1 || status=$?
        lines=$(wc -l <"$out/said")
        name="$(basename "$example") ${file#"$real"/}"
        if [ "$status" -eq 0 ] || { [ "$status" -eq 1 ] && [ "$lines" -eq 1 ]; }; then
            echo "$name: exit $status$([ "$status" -eq 1 ] && echo ": $(cat "$out/said")")"
        else
            echo "FAIL examples: $name: exit $status, $lines lines:"
            sed 's/^/    /' "$out/said"
            failed=1
        fi
    done
done < <(find "$real" -type f -print0 | sort -z)
exit "$failed"
