#!/usr/bin/env bash
# The tests-to-code ratio: lines of tests/ against lines of src/, tools/ and bench/, counted two ways
# (all lines; lines that are neither blank nor a whole-line comment). Printed, never a failure.
cd "$(dirname "$0")/.."
all() { find "$@" -type f -print0 | xargs -0 cat | wc -l; }
code() { find "$@" -type f -print0 | xargs -0 cat | grep -Ev '^\s*($|//|#([^a-z]|$)|!)' | wc -l; }
t_all=$(all tests); c_all=$(all src tools bench)
t_code=$(code tests); c_code=$(code src tools bench)
awk -v ta="$t_all" -v ca="$c_all" -v tc="$t_code" -v cc="$c_code" 'BEGIN {
  printf "tests-to-code ratio: %.2f (%d lines of tests / %d of src, tools, bench); without blank and comment lines %.2f (%d / %d)\n",
         ta / ca, ta, ca, tc / cc, tc, cc }'
