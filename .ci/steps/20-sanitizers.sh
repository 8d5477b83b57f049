# The unit tests built with AddressSanitizer and UndefinedBehaviorSanitizer, in
# a build folder of their own; any report fails the step.
set -euo pipefail
source tools/deps.sh
lx_install cmake g++ make libgtest-dev libcli11-dev libsqlite3-dev libssl-dev
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DLX_SANITIZE=ON -DLX_WERROR=ON -DLX_BUILD_TOOLS=ON -DLX_BUILD_BENCH=OFF
cmake --build build-sanitize -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-sanitize --output-on-failure -j"$(nproc)"
