# The soak tests: 10,000 opens and frees, and ten large sessions kept open
# through repeated analyses, with resident memory checked to stay flat.
set -euo pipefail
source tools/deps.sh
lx_install cmake g++ make libgtest-dev
[ -x build/tests/lx_soak_tests ] || {
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLX_WERROR=ON
    cmake --build build -j"$(nproc)" --target lx_soak_tests
}
LX_SOAK=1 build/tests/lx_soak_tests --gtest_brief=1
