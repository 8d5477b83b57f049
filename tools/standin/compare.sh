#!/usr/bin/env bash
# Runs the stand-in against the Linux library and under Wine against lx.dll and
# compares their output line by line. Lines starting with "map " (values that
# went through sin, cos or asin) may differ and are counted; any other
# difference fails. Expects Wine's environment to be set up (tools/win32.sh).
# Usage: compare.sh LINUX_STANDIN LINUX_LIBRARY WINDOWS_STANDIN_EXE [OUT_DIR]
# (the Windows stand-in loads the lx.dll beside it)
set -euo pipefail
: "${WINEPREFIX:?set up Wine first (tools/win32.sh: lx_wine_start DIR)}"
linux_standin=$(realpath "$1")
linux_library=$(realpath "$2")
windows_standin=$(realpath "$3")
out=${4:-$(mktemp -d)}
mkdir -p "$out/linux" "$out/windows"
(cd "$out/linux" && "$linux_standin" "$linux_library") >"$out/linux.txt"
(cd "$out/windows" && wine "$windows_standin") >"$out/windows.txt"

# Wine that cannot run the program prints nothing and exits 0.
for side in linux windows; do
    if ! grep -q '^lx standin: done$' "$out/$side.txt"; then
        echo "compare: the $side run did not finish ($out/$side.txt)" >&2
        exit 1
    fi
done

awk -v report="$out/differences.txt" '
    NR == FNR { linux[FNR] = $0; nlinux = FNR; next }
    {
        nwin = FNR
        if ($0 == linux[FNR]) { same++; next }
        if ($0 ~ /^map / && linux[FNR] ~ /^map /) { mapdiff++; print FNR ": " linux[FNR] " | " $0 > report; next }
        other++
        if (other <= 20) print "line " FNR ":\n  linux:   " linux[FNR] "\n  windows: " $0
    }
    END {
        maplines = 0
        for (i = 1; i <= nlinux; i++) if (linux[i] ~ /^map /) maplines++
        printf "compare: %d lines, %d identical, %d of %d map lines differ, %d other differences\n",
            nlinux, same, mapdiff, maplines, other
        if (nlinux != nwin) { printf "compare: %d lines on Linux, %d under Wine\n", nlinux, nwin; exit 1 }
        exit other > 0
    }' "$out/linux.txt" "$out/windows.txt"
