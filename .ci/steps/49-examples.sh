# Every Python example on every file of ../shared/data/real (never copied into
# the repository): each exits 0, or 1 with one line saying why; and Python's
# laps equal `lx laps --json`. Skipped where the folder is absent.
set -euo pipefail
source tools/deps.sh
lx_install python3 python3-numpy python3-pandas python3-matplotlib
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
# Python's laps and the tool's JSON, where the tool reads the file.
tool=${LX_TOOL:-$PWD/build/tools/lx}
if [ -x "$tool" ]; then
    find "$real" -type f -print0 | sort -z |
        xargs -0 /usr/bin/python3 .ci/steps/49-laps-json.py "$tool" || failed=1
else
    echo "laps-json: no $tool, skipped"
fi
exit "$failed"
