#!/bin/sh
# run_golden.sh HALV80C INPUT EXPECTED [FILE...]: types INPUT into the console
# runner and compares its transcript with EXPECTED; the runner must also exit
# with 0 (a sanitizer that finds a fault changes the status, maybe after the
# last line). The runner works in a fresh folder with a registry of its own,
# holding copies of the FILEs, and finds the board's data files beside it along
# PATH, as an installed program would. The fresh folder's path, in either
# form ("/tmp/x/run" or "\tmp\x\run"), reads "<run>" in the transcript.
# Start-up switches for the runner, when the session needs any, stand in a
# file beside INPUT named like it with ".args" for ".in", separated by blanks.
# With GOLDEN_UPDATE=1 the transcript is written to EXPECTED instead.
# Files listed in NAME.show (beside NAME.in) are shown after the transcript.
# NAME.status holds the exit status the runner must end with instead of 0;
# what it wrote on its error stream then follows the transcript.
set -eu
runner=$1 input=$2 expected_file=$3
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/run"
for f in "$@"; do cp "$f" "$work/run/"; done
program_folder=$(cd "$(dirname "$runner")" && pwd)
args_file=${input%.in}.args
switches=
[ -f "$args_file" ] && switches=$(cat "$args_file")
status_file=${input%.in}.status
expected_status=0
errors=/dev/stderr
if [ -f "$status_file" ]; then
  expected_status=$(cat "$status_file")
  errors=$work/err
fi
status=0
# shellcheck disable=SC2086 # the switches are split at blanks on purpose
(cd "$work/run" && PATH="$program_folder:$PATH" HALV80_REGISTRY_DIR="$work/registry" "$runner" "$input" $switches) \
  > "$work/out" 2> "$errors" || status=$?
if [ -f "$status_file" ]; then
  printf -- '--- stderr\n' >> "$work/out"
  cat "$work/err" >> "$work/out"
fi
# NAME.show lists files of the run folder whose bytes follow the transcript,
# made visible with cat -A (CR as ^M, the end-of-file mark as ^Z).
show_list=${input%.in}.show
if [ -f "$show_list" ]; then
  while IFS= read -r f; do
    [ -n "$f" ] || continue
    printf -- '--- %s\n' "$f" >> "$work/out"
    if [ -f "$work/run/$f" ]; then cat -A "$work/run/$f" >> "$work/out"; echo >> "$work/out"; else echo "(none)" >> "$work/out"; fi
  done < "$show_list"
fi
run_host="$work/run"
run_system=$(printf '%s' "$run_host" | sed 's|/|\\\\|g')
actual=$(sed -e "s|$run_host|<run>|g" -e "s|$run_system|<run>|g" "$work/out"; echo x)
actual=${actual%x}
if [ "${GOLDEN_UPDATE:-0}" = 1 ]; then
  printf '%s' "$actual" > "$expected_file"
fi
expected=$(cat "$expected_file"; echo x)
expected=${expected%x}
if [ "$actual" != "$expected" ]; then
  printf '%s\n' "--- expected" "$expected" "--- actual" "$actual"
  exit 1
fi
if [ "$status" -ne "$expected_status" ]; then
  echo "--- the runner exited with status $status, not $expected_status"
  exit 1
fi
