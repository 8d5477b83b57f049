#!/usr/bin/env bash
# The include graph follows the layers of docs/architecture.md: each folder of
# src/ includes only the folders at or below its own layer, exports are
# defined only in the two wrapper layers (src/frame/ for lx.h, src/data/ for
# lx_data.h), only they reach the library-wide state, and tools/ and examples/
# see nothing but the public headers.
# Tests, benchmarks and fuzz targets reach inside on purpose and are not checked.
set -euo pipefail
cd "$(dirname "$0")/../.."

core="aim analysis analytics beacons channels display import motec"
allowed_for() {
    case "$1" in
    base) echo "base" ;;
    session) echo "session base" ;;
    frame) echo "frame $core session base" ;;
    data) echo "data frame $core session base" ;;
    tools | examples) echo "" ;;
    *) echo "$core session base" ;; # a core subsystem
    esac
}

bad=0
while IFS= read -r file; do
    case "$file" in
    src/*) layer=$(echo "$file" | cut -d/ -f2) ;;
    *) layer=$(echo "$file" | cut -d/ -f1) ;;
    esac
    allowed=" $(allowed_for "$layer") "
    while IFS=: read -r line target; do
        [ -n "$target" ] || continue
        if [[ "$allowed" != *" $target "* ]]; then
            echo "$file:$line: includes $target/, above its layer ($layer)" >&2
            bad=1
        fi
    done < <(awk '/^[ \t]*#[ \t]*include[ \t]*"[a-z_]+\// {
        match($0, /"[a-z_]+\//); print FNR ":" substr($0, RSTART + 1, RLENGTH - 2) }' "$file")
done < <(find src tools examples -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) | sort)

# Exports: only the wrappers define them.
exports=$(grep -rlE '^(LX_API|LX_DATA_API) ' src --include='*.cpp' | grep -vE '^src/(frame|data)/' || true)
if [ -n "$exports" ]; then
    echo "exports defined outside src/frame/ and src/data/:" $exports >&2
    bad=1
fi

# Below the wrappers no routine reaches the library-wide state: it gets what it
# needs as arguments.
state=$(grep -rnE '\blibrary\.|\b(lookup_session|store_session|allocate_handle|verbose)\(' src \
    --include='*.cpp' --include='*.h' | grep -vE '^src/(frame|data)/' |
    awk '{ code = $0; sub(/^[^:]*:[^:]*:/, "", code); sub(/\/\/.*/, "", code) }
         code ~ /(^|[^a-z_])library\.|(lookup_session|store_session|allocate_handle|verbose)\(/' ||
    true)
if [ -n "$state" ]; then
    echo "library-wide state reached below the wrappers:" >&2
    echo "$state" >&2
    bad=1
fi

[ "$bad" -eq 0 ] && echo "layers: every include and every export in its place"
exit "$bad"
