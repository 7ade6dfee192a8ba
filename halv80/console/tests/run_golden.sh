#!/bin/sh
# run_golden.sh HALV80C INPUT EXPECTED: types INPUT into the console runner and
# compares its transcript with EXPECTED.
set -eu
actual=$("$1" "$2"; echo x)
actual=${actual%x}
expected=$(cat "$3"; echo x)
expected=${expected%x}
if [ "$actual" != "$expected" ]; then
  printf '%s\n' "--- expected" "$expected" "--- actual" "$actual"
  exit 1
fi
