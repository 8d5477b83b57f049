#!/usr/bin/env bash
# Installs what the build needs, builds everything and runs the tests: the
# C++ unit tests, the tool's, and the Python package's against the library
# just built (CTest runs them all).
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/deps.sh
lx_install cmake g++ make libgtest-dev libbenchmark-dev libcli11-dev libsqlite3-dev libssl-dev \
    python3 python3-numpy python3-pytest python3-pandas python3-matplotlib
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLX_WERROR=ON
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
