#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the libFuzzer targets (fuzz/fuzz_*.cpp) with clang into build-fuzz/ and runs each for a bounded time
# from its committed corpus, as many at once as there are cores, then prints executions per second. A failed
# property or a crash fails the run and leaves the input in build-fuzz/findings/.
# Usage: scripts/fuzz.sh [seconds per target]   (30 when not given)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh clang libclang-rt-14-dev llvm

seconds=${1:-30}
werror=OFF
[ -n "${CI:-}" ] && werror=ON
jobs=$(nproc)
started=$SECONDS
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLENTROVA_FUZZ=ON \
    -DLENTROVA_SANITIZE=address,undefined -DLENTROVA_WERROR="$werror" -DLENTROVA_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$jobs" --target lentrova_fuzzers
built=$SECONDS

rm -rf build-fuzz/findings build-fuzz/logs
mkdir -p build-fuzz/findings build-fuzz/logs
targets=()
for source in fuzz/fuzz_*.cpp; do
    targets+=("$(basename "$source" .cpp)")
done

fuzz_one() {
    local name=$1
    # New inputs go to a scratch corpus; the committed one is only read.
    local scratch=build-fuzz/corpus/$name
    mkdir -p "$scratch"
    local args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
                -artifact_prefix="build-fuzz/findings/$name-")
    [ -f "fuzz/$name.dict" ] && args+=(-dict="fuzz/$name.dict")
    "build-fuzz/fuzz/$name" "${args[@]}" "$scratch" "fuzz/corpus/$name" >"build-fuzz/logs/$name.log" 2>&1
}

declare -A pids
for name in "${targets[@]}"; do
    while (($(jobs -rp | wc -l) >= jobs)); do
        wait -n || true
    done
    fuzz_one "$name" &
    pids[$name]=$!
done

failed=0
printf '\n%-22s %12s %10s %10s  %s\n' target runs "exec/s" "new units" result
for name in "${targets[@]}"; do
    status=0
    wait "${pids[$name]}" || status=$?
    log=build-fuzz/logs/$name.log
    stat() { sed -n "s/^stat::$1: *//p" "$log" | tail -n 1; }
    result=ok
    if ((status != 0)); then
        result="FAILED (status $status)"
        failed=1
    fi
    printf '%-22s %12s %10s %10s  %s\n' "$name" "$(stat number_of_executed_units)" "$(stat average_exec_per_sec)" \
        "$(stat new_units_added)" "$result"
done
for name in "${targets[@]}"; do
    if grep -qE 'PROPERTY FAILED|ERROR: (libFuzzer|AddressSanitizer|LeakSanitizer)|runtime error' \
        "build-fuzz/logs/$name.log"; then
        echo
        echo "== $name =="
        grep -E -A12 'PROPERTY FAILED|ERROR: |runtime error' "build-fuzz/logs/$name.log" | head -n 40
        ls build-fuzz/findings/"$name"-* 2>/dev/null | sed 's/^/finding: /'
        echo "replay with: build-fuzz/fuzz/$name <finding>"
    fi
done
echo "fuzz: build $((built - started)) s, fuzzing $((SECONDS - built)) s ($seconds s per target)"
exit "$failed"
