#!/usr/bin/env bash
# The tests-to-code ratio: tests/ against src/, tools/ and bench/, counted three ways: all lines of all
# files; lines that are neither blank nor a whole-line comment (data files included); the same in
# source files only (C++, Python, shell, Fortran, CMake; the scenario and case data left out).
# Printed, never a failure.
cd "$(dirname "$0")/.."
src='-name *.cpp -o -name *.hpp -o -name *.py -o -name *.sh -o -name *.f90 -o -name CMakeLists.txt'
all() { find "$@" -type f -print0 | xargs -0 cat | wc -l; }
code() { find "$@" -type f -print0 | xargs -0 cat | grep -Ev '^\s*($|//|#([^a-z]|$)|!)' | wc -l; }
srccode() { find "$@" -type f \( $src \) -print0 | xargs -0 cat | grep -Ev '^\s*($|//|#([^a-z]|$)|!)' | wc -l; }
set -f
awk -v a="$(all tests)" -v b="$(all src tools bench)" -v c="$(code tests)" -v d="$(code src tools bench)" \
    -v e="$(srccode tests)" -v f="$(srccode src tools bench)" 'BEGIN {
  printf "tests-to-code ratio: %.2f of all lines (%d / %d); %.2f without blank and comment lines (%d / %d); %.2f of source files only (%d / %d)\n",
         a / b, a, b, c / d, c, d, e / f, e, f }'
