#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Configures and builds into build/. Warnings are errors when CI is set.
set -euo pipefail
cd "$(dirname "$0")/.."
werror=OFF
[ -n "${CI:-}" ] && werror=ON
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLENTROVA_WERROR="$werror" "$@" >/dev/null
cmake --build build -j"$(nproc)"
