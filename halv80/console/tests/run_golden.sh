#!/bin/sh
# run_golden.sh HALV80C INPUT EXPECTED: types INPUT into the console runner and
# compares its transcript with EXPECTED; the runner must also exit with 0 (a
# sanitizer that finds a fault changes the status, maybe after the last line).
# The runner works in a fresh folder with a registry of its own, and finds the
# board's data files beside it along PATH, as an installed program would.
set -eu
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/run"
program_folder=$(cd "$(dirname "$1")" && pwd)
status=0
actual=$(cd "$work/run" && PATH="$program_folder:$PATH" HALV80_REGISTRY_DIR="$work/registry" "$1" "$2" || echo "$?" > "$work/status"; echo x)
actual=${actual%x}
[ -f "$work/status" ] && status=$(cat "$work/status")
expected=$(cat "$3"; echo x)
expected=${expected%x}
if [ "$actual" != "$expected" ]; then
  printf '%s\n' "--- expected" "$expected" "--- actual" "$actual"
  exit 1
fi
if [ "$status" -ne 0 ]; then
  echo "--- the runner exited with status $status"
  exit 1
fi
