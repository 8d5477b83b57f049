#!/usr/bin/env bash
# Installs what the build needs, builds everything and runs the unit tests.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/deps.sh
lx_install cmake g++ make libgtest-dev libbenchmark-dev libcli11-dev
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLX_WERROR=ON
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
