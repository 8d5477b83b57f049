# Every libFuzzer target for a bounded time, starting from the seed corpus in
# fuzz/corpus/<target> (which replays every earlier finding first). Any crash,
# sanitizer report, leak or timeout fails the step; its input is left in
# build-fuzz/artifacts for adding to the corpus once fixed.
set -euo pipefail
source tools/deps.sh
lx_install cmake make g++ clang libclang-rt-14-dev
SECONDS_PER_TARGET=${LX_FUZZ_SECONDS:-60}
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DLX_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DLX_FUZZ=ON -DLX_BUILD_TESTS=OFF -DLX_BUILD_TOOLS=OFF -DLX_BUILD_BENCH=OFF
cmake --build build-fuzz -j"$(nproc)" --target lx_fuzz
mkdir -p build-fuzz/artifacts
for target in build-fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target" | sed 's/^fuzz_//')
    work=build-fuzz/corpus-$name
    mkdir -p "$work"
    extra=()
    [ -f "fuzz/$name.dict" ] && extra+=(-dict="fuzz/$name.dict")
    [ -f "fuzz/$name.options" ] && read -r -a options <"fuzz/$name.options" && extra+=("${options[@]}")
    echo "== fuzzing $name for ${SECONDS_PER_TARGET}s"
    log=build-fuzz/$name.log
    status=0
    "$target" -max_total_time="$SECONDS_PER_TARGET" -timeout=20 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/"$name"- \
        "${extra[@]}" "$work" "fuzz/corpus/$name" >"$log" 2>&1 || status=$?
    grep -E '^(stat::|Done|#[0-9]+ +DONE)' "$log" || true
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$log"
        echo "fuzz target $name failed (exit $status)" >&2
        exit 1
    fi
done
