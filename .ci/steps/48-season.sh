# A season of the real sessions in ../shared/data/real (never copied into the
# repository): `lx season` puts the two Rustavi kart sessions on one track, the
# two Tianma sessions on another, Imola, Massa Finalese and Calder apart and
# the lap-less files on no known track, and a re-run reads nothing; lx.Season
# on a Dask LocalCluster (two worker processes on loopback) gives the
# one-machine database. Skipped where the folder is absent. Then the speed of
# a season of generated sessions: printed, not enforced.
set -euo pipefail
source tools/deps.sh
lx_install libsqlite3-dev libssl-dev python3-distributed bc util-linux
real=${LX_REAL_DATA:-../shared/data/real}
tool=${LX_TOOL:-build/tools/lx}
if [ -d "$real" ]; then
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' EXIT
    "$tool" season "$real" --db "$tmp/s.sqlite" -o "$tmp/page" >"$tmp/out.txt"
    grep -q "^track 2 " "$tmp/out.txt"
    "$tool" season "$real" --db "$tmp/s.sqlite" | grep -q ": 0 read, "
    PYTHONPATH=python LX_LIBRARY=${LX_LIBRARY:-build/liblx.so} \
        /usr/bin/python3 .ci/steps/48-season.py "$real" "$tmp/s.sqlite"
else
    echo "season: $real absent, skipped"
fi
LX_BUILD=${LX_BUILD:-build} bash bench/season_speed.sh
