#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Instrumented test runs with clang: the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer
# (build-asan/), then the tests labelled "threaded" under ThreadSanitizer (build-tsan/).
# Usage: scripts/sanitize.sh [asan|tsan]   (both when no argument is given)
set -euo pipefail
cd "$(dirname "$0")/.."
# llvm brings llvm-symbolizer: without it reports carry no function names and the suppressions cannot match.
bash scripts/deps.sh clang libclang-rt-14-dev llvm

werror=OFF
[ -n "${CI:-}" ] && werror=ON
jobs=$(nproc)

run() {
    local name=$1 sanitize=$2 started=$SECONDS
    shift 2
    CXX=clang++ cmake -S . -B "build-$name" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
        -DLENTROVA_SANITIZE="$sanitize" -DLENTROVA_WERROR="$werror" -DLENTROVA_BUILD_BENCH=OFF >/dev/null
    cmake --build "build-$name" -j"$jobs"
    local built=$SECONDS
    ctest --test-dir "build-$name" --output-on-failure -j"$jobs" "$@"
    echo "sanitize $name: build $((built - started)) s, tests $((SECONDS - built)) s"
}

asan() { run asan address,undefined; }
tsan() { run tsan thread -L threaded; }
case ${1:-all} in
    all) asan && tsan ;;
    asan) asan ;;
    tsan) tsan ;;
    *) echo "usage: $0 [asan|tsan]" >&2; exit 2 ;;
esac
