#!/usr/bin/env bash
# The main job: builds the lx tool and writes the HTML report of the bundled
# sample session. Usage: tools/run-sample.sh [OUTPUT_DIR] (default out/report).
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/deps.sh
lx_install cmake g++ make libcli11-dev libsqlite3-dev libssl-dev
out=${1:-out/report}
cmake -S . -B build-sample -DCMAKE_BUILD_TYPE=Release -DLX_BUILD_TESTS=OFF >/dev/null
cmake --build build-sample --target lx_tool -j2 >/dev/null
build-sample/tools/lx report examples/sample.txt -o "$out" >/dev/null
echo "Report of examples/sample.txt: $(cd "$out" && pwd)/report.html"
echo "Open it in a browser; the command-line tool is build-sample/tools/lx (lx --help)."
