# Every unit-test program under valgrind: no leak, no invalid access.
set -euo pipefail
source tools/deps.sh
lx_install valgrind
for t in build/tests/lx_*_tests; do
    valgrind -q --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite "$t" --gtest_brief=1
done
