# lx as others get it, from a clean clone of the committed tree: installed into
# a temporary prefix and used by a C program three ways (find_package,
# pkg-config, add_subdirectory); the shared library's exports; the Debian
# package unpacked into a temporary root and run from there; the Python module
# installed offline into a venv after the README's main build, imported in an
# empty environment, and its examples run. Each step's time is logged.
set -euo pipefail
source tools/deps.sh
lx_install cmake g++ gcc make pkgconf dpkg-dev file libcli11-dev libsqlite3-dev libssl-dev git \
    python3 python3-venv python3-pip python3-setuptools python3-numpy python3-pandas \
    python3-matplotlib

work=$PWD/build-package
rm -rf "$work"
mkdir -p "$work"
src=$work/src prefix=$work/prefix build=$work/build
sample=$src/examples/sample.txt

timed() {
    local name=$1 start=$EPOCHREALTIME
    shift
    "$@"
    awk -v name="$name" -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "time: %s %.1f s\n", name, b - a }'
}

count_laps='import sys, lx; print(f"{sys.argv[1]}: {lx.open(sys.argv[1]).info.laps} laps")'

# A consumer's output, shown, and checked for the sample's ten laps.
expect_laps() {
    local out
    out=$(cat)
    echo "$1: $out"
    [ "$out" = "$sample: 10 laps" ] || { echo "$1 printed no lap count" >&2; exit 1; }
}

build_and_install() {
    git clone --quiet --no-hardlinks "$PWD" "$src"
    # The Debian package's prefix, so that the library goes to the multiarch folder.
    cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
        -DLX_BUILD_TESTS=OFF -DLX_BUILD_STANDIN=OFF -DLX_WERROR=ON >/dev/null
    cmake --build "$build" -j"$(nproc)" --target lx lx_tool >/dev/null
    cmake --install "$build" --prefix "$prefix" | sed -n "s|^-- Installing: $prefix/|installed: |p"
}

check_exports() {
    local lib
    lib=$(find "$prefix" -name 'liblx.so.*.*')
    local others
    others=$(nm -D --defined-only "$lib" | awk '$3 !~ /^lx_/')
    if [ -n "$others" ]; then
        echo "liblx exports more than lx_ names:" >&2
        echo "$others" >&2
        exit 1
    fi
    objdump -p "$lib" | grep -q 'SONAME *liblx\.so\.[0-9]*$'
    echo "exports: $(nm -D --defined-only "$lib" | wc -l) lx_ names; $(objdump -p "$lib" | grep SONAME)"
}

consumer_find_package() {
    cmake -S "$src/examples/consumer" -B "$work/by-find-package" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
    cmake --build "$work/by-find-package" >/dev/null
    "$work/by-find-package/laps" "$sample" | expect_laps find_package
}

consumer_pkg_config() {
    local pc
    pc=$(dirname "$(find "$prefix" -name lx.pc)")
    # shellcheck disable=SC2046
    cc -std=c11 -Wall -Werror -o "$work/by-pkg-config" "$src/examples/consumer/laps.c" \
        $(PKG_CONFIG_PATH=$pc pkg-config --cflags --libs lx)
    LD_LIBRARY_PATH=$(PKG_CONFIG_PATH=$pc pkg-config --variable=libdir lx) \
        "$work/by-pkg-config" "$sample" | expect_laps pkg-config
}

consumer_add_subdirectory() {
    cmake -S "$src/examples/consumer" -B "$work/by-subdirectory" -DLX_SOURCE="$src" >/dev/null
    # Only the library comes along: no tests, tool, stand-in or their packages.
    if grep -qE '^(lx_tool|lx_standin|lx_[a-z]+_tests):' <(cmake --build "$work/by-subdirectory" \
        --target help); then
        echo "add_subdirectory brought more than the library" >&2
        exit 1
    fi
    cmake --build "$work/by-subdirectory" -j"$(nproc)" >/dev/null
    "$work/by-subdirectory/laps" "$sample" | expect_laps add_subdirectory
}

debian_package() {
    (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" >/dev/null)
    local deb listing root=$work/deb-root
    deb=$(ls "$work"/lx_*.deb)
    listing=$(dpkg-deb -c "$deb" | awk '$6 !~ /\/$/ {print "packaged: " $6}')
    echo "$listing"
    for want in '/usr/lib/.*/liblx\.so\.[0-9]' '/usr/include/lx\.h' '/usr/include/lx_data\.h' \
        '/usr/bin/lx' '/lx/lxConfig\.cmake' '/pkgconfig/lx\.pc' '/dist-packages/lx/__init__\.py' \
        '/dist-packages/lx/_install\.py' '/usr/share/doc/lx/copyright'; do
        grep -q "$want" <<<"$listing" || { echo "$deb lacks $want" >&2; exit 1; }
    done
    dpkg-deb -x "$deb" "$root"
    # The tool finds the library beside it through its run path.
    local laps
    laps=$("$root/usr/bin/lx" laps "$sample")
    echo "$laps" | sed -n 1,4p
    [ "$(grep -c '^ *[0-9]* *[0-9]*:[0-9.]*' <<<"$laps")" -eq 10 ] || { echo "$laps" >&2; exit 1; }
    # The packaged module finds the library by its SONAME, as in /usr/lib.
    local lib
    lib=$(find "$root" -name 'liblx.so.[0-9]')
    env -i PYTHONPATH="$root/usr/lib/python3/dist-packages" LD_LIBRARY_PATH="$(dirname "$lib")" \
        /usr/bin/python3 -c "$count_laps" "$sample" | expect_laps "the packaged Python module"
}

# The README's way: its main build in the clone, then pip copies that build's
# library into the package; used from elsewhere in an empty environment.
python_venv() {
    (cd "$src" && bash tools/run-sample.sh "$work/report" >/dev/null)
    /usr/bin/python3 -m venv --system-site-packages "$work/venv"
    (cd "$src" && "$work/venv/bin/pip" install -q --no-build-isolation --no-index ./python)
    local python=(env -i HOME="$work" MPLBACKEND=Agg "$work/venv/bin/python")
    (cd / && "${python[@]}" -c "$count_laps" "$sample") | expect_laps "the pip-installed module"
    (cd / && "${python[@]}" -c 'import lx; print(f"lx {lx.__version__} with {lx.library_path()}")')
    mkdir -p "$work/season"
    for n in 1 2 3; do cp "$sample" "$work/season/session-$n.txt"; done
    (cd "$work" && "${python[@]}" "$src/examples/python/season.py" season)
    (cd "$work" && "${python[@]}" "$src/examples/python/corners.py" "$sample")
    (cd "$work" && "${python[@]}" "$src/examples/python/plot_laps.py" "$sample" "$work/laps.png")
    file "$work/laps.png" | grep -q 'PNG image'
}

timed "clone, build, install" build_and_install
timed "exports" check_exports
timed "consumer via find_package" consumer_find_package
timed "consumer via pkg-config" consumer_pkg_config
timed "consumer via add_subdirectory" consumer_add_subdirectory
timed "Debian package" debian_package
timed "Python venv and examples" python_venv
