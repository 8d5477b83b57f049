#!/usr/bin/env bash
# Installs what the build needs, builds everything and runs the unit tests,
# then the Python module's tests against the library just built.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/deps.sh
lx_install cmake g++ make libgtest-dev libbenchmark-dev libcli11-dev
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLX_WERROR=ON
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"

lx_install python3 python3-numpy python3-pytest python3-pandas python3-matplotlib
status=0
LX_LIBRARY=$PWD/build/liblx.so MPLBACKEND=Agg /usr/bin/python3 -m pytest -q -p no:cacheprovider \
    --basetemp="$PWD/build/python-tests" python/tests || status=$?
# pytest exits 5 when it collects no tests (e.g. a -k that selects none): not a failure.
[ "$status" -eq 0 ] || [ "$status" -eq 5 ]
