# Memory over long runs: 10,000 opens and frees, 1,000 sessions of the data API
# opened, analysed and closed on four threads (live blocks back exactly, RSS
# within 2 MB after a warm-up), and ten large sessions kept
# open through repeated analyses, with resident memory checked to stay flat.
set -euo pipefail
source tools/deps.sh
lx_install cmake g++ make libbenchmark-dev
[ -x build-bench/bench/soak_memory ] || {
    cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLX_WERROR=ON -DLX_BUILD_BENCH=ON \
        -DLX_BUILD_TESTS=OFF -DLX_BUILD_TOOLS=OFF
    cmake --build build-bench -j"$(nproc)" --target soak_memory
}
(cd build-bench && bench/soak_memory)
