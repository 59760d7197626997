#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks that the three libraries keep their places: the engine includes nothing of the desktop, the command
# line or Qt's GUI modules and loads no GUI library, and lentrova-find holds no desktop class.
# Usage: scripts/check-layers.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
fail=0
complain() { echo "check-layers: $*" >&2; fail=1; }

# The engine's include path holds the engine alone, so a desktop header fails its build; this names the line.
if hits=$(grep -rnE '#include\s*[<"](app|ui|services|extras|finder)/|#include\s*<Qt(Gui|Widgets|DBus)|#include\s*<Q(Widget|Application|GuiApplication|Clipboard|Icon|Pixmap|Image|Painter|Action|Menu|Dialog|MessageBox)>' src/engine); then
  complain "the engine includes what it may not:"; echo "$hits" >&2
fi

whole="$build/liblentrova_engine_whole.so"
if [ ! -f "$whole" ]; then
  complain "$whole is missing (build the lentrova_engine_whole target)"
elif ldd "$whole" | grep -E 'libQt6(Gui|Widgets|DBus)'; then
  complain "the engine loads a GUI library"
fi

find="$build/lentrova-find"
if [ ! -x "$find" ]; then
  complain "$find is missing"
else
  classes=$(grep -rhE '^(class|struct) [A-Z][A-Za-z0-9]*[^;]*$' src/desktop --include='*.h' | awk '{print $2}' | sort -u)
  symbols=$(nm -C "$find")
  for c in $classes; do
    if grep -qE "(^|[^A-Za-z0-9_:])$c::" <<<"$symbols"; then complain "lentrova-find holds the desktop class $c"; fi
  done
fi
[ "$fail" = 0 ] && echo "check-layers: the engine, the desktop and the command line keep their places"
exit "$fail"
