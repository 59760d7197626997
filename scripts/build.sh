#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Configures and builds everything (programs, tests, benchmarks, fuzz corpus replays) into build/. Warnings are
# errors when CI is set. Arguments go to cmake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
werror=OFF
[ -n "${CI:-}" ] && werror=ON
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLENTROVA_WERROR="$werror" -DLENTROVA_BUILD_TESTS=ON \
    -DLENTROVA_BUILD_BENCH=ON "$@" >/dev/null
cmake --build build -j"$(nproc)"
