#!/bin/sh
# run_golden.sh HALV80C INPUT EXPECTED: types INPUT into the console runner and
# compares its transcript with EXPECTED. The runner works in a fresh folder
# with a registry of its own, and finds the board's data files beside it
# along PATH, as an installed program would.
set -eu
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
program_folder=$(cd "$(dirname "$1")" && pwd)
actual=$(cd "$work" && PATH="$program_folder:$PATH" HALV80_REGISTRY_DIR="$work/registry" "$1" "$2"; echo x)
actual=${actual%x}
expected=$(cat "$3"; echo x)
expected=${expected%x}
if [ "$actual" != "$expected" ]; then
  printf '%s\n' "--- expected" "$expected" "--- actual" "$actual"
  exit 1
fi
