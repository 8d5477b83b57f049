# Corners found from the curvature, checked on the AiM kart sessions in
# ../shared/data/real (never copied into the repository) against the logger's
# own GPS Radius channel. Skipped where the folder is absent.
set -euo pipefail
real=${LX_REAL_DATA:-../shared/data/real}
if [ ! -d "$real" ]; then
    echo "corners: $real absent, skipped"
    exit 0
fi
sessions=("$real"/aim-kart-*/aim.csv)
[ -e "${sessions[0]}" ] || { echo "FAIL corners: no AiM kart session in $real"; exit 1; }
LX_LIBRARY=${LX_LIBRARY:-$PWD/build/liblx.so} PYTHONPATH=$PWD/python \
    /usr/bin/python3 .ci/steps/46-corners.py "${sessions[@]}"
