#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the programs the search is compared with, builds, and runs the finder and search benchmarks. Trees are made under
# /tmp and removed afterwards; pass --sizes, --seed, --runs or --keep through to bench_search.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh bfs fd-find
bash scripts/build.sh -DCMAKE_BUILD_TYPE=Release
# The finder first: it leaves the trees it made for the search benchmark, which removes them at its end.
build/bench/bench_find "$@"
exec build/bench/bench_search "$@"
