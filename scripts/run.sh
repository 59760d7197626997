#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Starts the program: first checks for a graphical session, then installs what building and running it takes
# and is missing, builds the program and lentrova-find into build/ (no tests, benchmarks or fuzzers), and
# starts it. A build/ configured before is built as it is, without configuring again, and not at all when no
# source is newer than the programs.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<'TEXT'
Lentrova is a desktop program and needs a graphical session: neither DISPLAY nor WAYLAND_DISPLAY is set.
Run this from a terminal on your desktop. On a machine without one, a virtual display can stand in
(as root: apt-get install xvfb xauth), with: xvfb-run -a bash scripts/run.sh
TEXT
    exit 1
fi
bash scripts/deps.sh --program
if [ ! -f build/CMakeCache.txt ]; then
    werror=OFF
    [ -n "${CI:-}" ] && werror=ON
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLENTROVA_WERROR="$werror" -DLENTROVA_BUILD_TESTS=OFF \
        -DLENTROVA_BUILD_BENCH=OFF >/dev/null
fi
# Nothing newer than both programs: the build would only confirm it, which takes seconds of make and moc.
built() {
    [ -x build/lentrova ] && [ -x build/lentrova-find ] || return 1
    local program
    for program in build/lentrova build/lentrova-find; do
        [ -z "$(find src cmake install CMakeLists.txt -newer "$program" -print -quit 2>/dev/null)" ] || return 1
    done
}
if ! built; then
    cmake --build build -j"$(nproc)" --target lentrova lentrova-find
fi
echo "lentrova-find is at build/lentrova-find"
exec build/lentrova
