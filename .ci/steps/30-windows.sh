# The 32-bit lx.dll: cross-built with MinGW-w64; its export table (the plain
# names of lx.h at the ordinals of lx.def), its imports (system DLLs only) and
# its calling convention (every export pops its own arguments) checked; the
# unit tests run under Wine; the stand-in's output compared with Linux's.
set -euo pipefail
source tools/deps.sh
source tools/win32.sh
lx_install cmake g++ make libgtest-dev
lx_install_win32

win=build-win32
cmake --toolchain cmake/toolchain-i686-w64-mingw32.cmake -S . -B $win \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLX_BUILD_TOOLS=OFF -DLX_BUILD_BENCH=OFF -DLX_WERROR=ON
cmake --build $win -j"$(nproc)"
dll=$win/bin/lx.dll
objdump=i686-w64-mingw32-objdump

# Exports: exactly lx.h's names, each at its ordinal in lx.def.
declared=$(sed -n 's/^LX_API [^(]*[ *]\(lx_[a-z_]*\)(.*/\1/p' include/lx.h | sort)
defined=$(sed -n 's/^ *\(lx_[a-z_]*\)@[0-9]* @\([0-9]*\)$/\2 \1/p' src/lx.def | sort -n)
exported=$($objdump -p $dll | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^\s*\[ *\([0-9]*\)\] \(.*\)$/\1 \2/p' | awk '{print $1 + 1, $2}' | sort -n)
if [ "$(echo "$declared" | wc -l)" -ne 24 ] || [ "$declared" != "$(echo "$defined" | cut -d' ' -f2 | sort)" ]; then
    echo "lx.def does not list the 24 exports of lx.h" >&2
    exit 1
fi
if [ "$exported" != "$defined" ]; then
    echo "lx.dll exports differ from lx.def:" >&2
    diff <(echo "$defined") <(echo "$exported") >&2 || true
    exit 1
fi
echo "exports: 24 plain names at ordinals 1-24"

imports=$($objdump -p $dll | sed -n 's/^\s*DLL Name: //p')
if echo "$imports" | grep -viqE '^(kernel32|msvcrt|user32|advapi32|ntdll)\.dll$'; then
    echo "lx.dll imports more than system DLLs:" $imports >&2
    exit 1
fi
echo "imports:" $imports

# __stdcall: every return of an export pops exactly its arguments (ret $N).
$objdump -d $dll | awk '
    /^[0-9a-f]+ <_?lx_[a-z_]+@[0-9]+>:$/ {
        name = $2; gsub(/[<>:_]*$/, "", name); sub(/^<_?/, "", name)
        size = name; sub(/.*@/, "", size); inside = 1; rets[name] = 0; next
    }
    /^[0-9a-f]+ <.*>:$/ { inside = 0; next }
    inside && /\tret/ {
        rets[name]++
        if ($0 !~ sprintf("\tret +\\$0x%x$", size)) { print "wrong return in " name ": " $0; bad++ }
    }
    END {
        for (n in rets) { total++; if (rets[n] == 0) { print "no return found in " n; bad++ } }
        if (total != 24) { print "found " total " exports in the code, not 24"; bad++ }
        exit bad > 0
    }' >&2
echo "calling convention: every export ends in ret \$N"

# Some kernels run no 32-bit program at all (no IA-32 emulation): then Wine
# cannot start, and what is left to check is the DLL itself, done above.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo "SKIPPED: this kernel runs no 32-bit program, so the DLL's tests and the stand-in comparison cannot run under Wine here"
    exit 0
fi
lx_wine_start "$PWD/$win/wineprefix"
trap lx_wine_stop EXIT
# A Wine that cannot run 32-bit programs does nothing and exits 0.
if ! wine $win/bin/lx_linked.exe | grep -q '^linked: open 0'; then
    echo "Wine runs no 32-bit program here" >&2
    exit 1
fi
ctest --test-dir $win --output-on-failure -j"$(nproc)"

# The Linux stand-in, in the build of tools/test.sh.
[ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLX_WERROR=ON
cmake --build build --target lx_standin lx -j"$(nproc)"
tools/standin/compare.sh build/tools/standin/lx_standin build/liblx.so $win/bin/lx_standin.exe \
    $win/compare
