#!/bin/sh
# whole_lines.sh HALV80C PROGRAM.hex PROGRAM.sym: a program held to its clock
# runs free while a script types many lines; wherever its stop comes, every
# line is typed whole at a prompt of its own and the stop is shown (once)
# between two lines. Nothing here depends on when the stop comes. The lines
# are long (trailing blanks), so that it most likely comes while one is typed.
set -eu
runner=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/run"
for f in "$@"; do cp "$f" "$work/run/"; done
program_folder=$(cd "$(dirname "$runner")" && pwd)
lines=60
pad=$(printf '%150s' '')
{
  echo 'L prof'
  echo 'G =start'
  i=0
  while [ "$i" -lt "$lines" ]; do
    echo "DB 9000,9001$pad"
    i=$((i + 1))
  done
} > "$work/run/script.in"
(cd "$work/run" && PATH="$program_folder:$PATH" HALV80_REGISTRY_DIR="$work/registry" HALV80_SIM_PACED=1 \
  "$runner" script.in) > "$work/out"
whole=$(grep -c '^>DB 9000,9001 *$' "$work/out" || true)
stops=$(grep -c '^=> ' "$work/out" || true)
refused=$(grep -c 'エラー' "$work/out" || true)
if [ "$whole" -ne "$lines" ] || [ "$stops" -gt 1 ] || [ "$refused" -ne 0 ]; then
  echo "--- $whole of $lines lines whole, $stops stops shown, $refused errors"
  cat "$work/out"
  exit 1
fi
