#!/usr/bin/env bash
# Builds quelmar if needed and runs it on the embedded example: the configuration and auxiliary files
# of this folder and the message stream messages.txt, in a fresh working directory out/example/.
# Standard output (the record stream) is shown; the log stays in out/example/.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
top="$(dirname "$here")"
build="${QUELMAR_BUILD_DIR:-$top/build}"
if [ ! -x "$build/quelmar" ]; then
  cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release > /dev/null
  cmake --build "$build" -j2 --target quelmar > /dev/null
fi
work="$top/out/example"
rm -rf "$work"
mkdir -p "$work"
# Everything but the stream and this script is run input: configuration and auxiliary files.
find "$here" -maxdepth 1 -type f ! -name run.sh ! -name messages.txt ! -name README.md -exec cp {} "$work" \;
cd "$work"
"$build/quelmar" "$@" < "$here/messages.txt"
echo "== log: $work/$(ls "$work" | grep -m1 '\.log$')" >&2
