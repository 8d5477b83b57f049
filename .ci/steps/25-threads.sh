# Threads at once under ThreadSanitizer (Clang 14), in a build folder of its
# own: the data API's stress test (workers on their own sessions, readers on
# a shared one) and lap matching on several threads. Any report fails it.
set -euo pipefail
source tools/deps.sh
lx_install cmake make clang libclang-rt-14-dev libgtest-dev
cmake -S . -B build-tsan -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DLX_SANITIZE_THREAD=ON -DLX_WERROR=ON -DLX_BUILD_TOOLS=OFF -DLX_BUILD_BENCH=OFF
cmake --build build-tsan -j"$(nproc)" --target lx_threads_tests lx_matching_tests
export TSAN_OPTIONS=halt_on_error=1:abort_on_error=1
build-tsan/tests/lx_threads_tests
build-tsan/tests/lx_matching_tests --gtest_filter='Threads.*'
