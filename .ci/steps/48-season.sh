# A season of the real sessions in ../shared/data/real (never copied into the
# repository): `lx season` puts the two Rustavi kart sessions on one track, the
# two Tianma sessions on another, Imola, Massa Finalese and Calder apart and
# the lap-less files on no known track; lx.Season on a Dask LocalCluster gives
# the one-machine database. Skipped where the folder is absent.
set -euo pipefail
real=${LX_REAL_DATA:-../shared/data/real}
if [ ! -d "$real" ]; then
    echo "season: $real absent, skipped"
    exit 0
fi
tool=${LX_TOOL:-build/tools/lx}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$tool" season "$real" --db "$tmp/s.sqlite" -o "$tmp/page" > "$tmp/out.txt"
grep -q "unchanged" "$tmp/out.txt"
"$tool" season "$real" --db "$tmp/s.sqlite" | grep -q " 0 read, "
PYTHONPATH=python LX_LIBRARY=${LX_LIBRARY:-build/liblx.so} /usr/bin/python3 .ci/steps/48-season.py "$real" "$tmp/s.sqlite"
