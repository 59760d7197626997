#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a planted fault and passes only if the process failed and the sanitizer's report names the fault.
set -uo pipefail
program=$1 kind=$2 pattern=$3
output=$("$program" "$kind" 2>&1)
status=$?
printf '%s\n' "$output" | head -n 40
if [ "$status" -eq 0 ]; then
    echo "FAIL: '$kind' ended with status 0; the sanitizer let it through"
    exit 1
fi
if ! grep -q -- "$pattern" <<<"$output"; then
    echo "FAIL: '$kind' failed (status $status) without a report matching '$pattern'"
    exit 1
fi
echo "reported: '$kind' (status $status)"
