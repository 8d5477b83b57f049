# The benchmarks must keep building; the reader's one is also run once for its
# check that the reader and the plain fgets + sscanf reader agree on every
# value of a generated 50 MB export. The CSV importer's speed against
# pandas.read_csv and its memory are shown, not enforced: other work on a
# shared machine moves them (bench_import_pandas.py --check enforces them).
# So are every reader's input bytes per second on generated 50 MB files (the
# text export, RaceChrono and MoTeC CSV, VBO: aim 300 MB/s; MoTeC LD and
# iRacing telemetry: aim 1 GB/s) and the VBO and binary readers' memory beyond
# the arrays (aim 16 MB).
set -euo pipefail
source tools/deps.sh
lx_install cmake g++ make libbenchmark-dev python3 python3-pandas python3-numpy
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLX_WERROR=ON -DLX_BUILD_BENCH=ON \
    -DLX_BUILD_TESTS=OFF -DLX_BUILD_TOOLS=OFF
cmake --build build-bench -j"$(nproc)"
out=$(build-bench/bench/bench_reader --benchmark_filter=reference_reader 2>&1)
echo "$out"
if grep -q "ERROR OCCURRED" <<<"$out"; then
    echo "the reader and the reference reader disagree" >&2
    exit 1
fi
(cd build-bench && /usr/bin/python3 ../bench/bench_import_pandas.py bench/bench_import)
# Lap matching on 1 and 2 threads: the bits must agree, the speed-up is shown.
(cd build-bench/bench && ./bench_matching)
(cd build-bench && bench/bench_import_vbo)
(cd build-bench && bench/bench_reader --benchmark_filter=read_export)
(cd build-bench && bench/bench_import_text)
(cd build-bench && bench/bench_binary)
# Python's ThreadPoolExecutor over 100 sessions with 1 and 2 threads: shown.
LX_LIBRARY=build-bench/liblx.so /usr/bin/python3 bench/bench_python_threads.py
