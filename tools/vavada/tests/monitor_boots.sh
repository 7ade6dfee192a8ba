#!/bin/sh
# monitor_boots.sh VAVADA DATA HALV80C: the shipped monitor source DATA/mon80.asm,
# built by the monitor assembler in a project folder, gives the shipped monitor
# DATA/MON80.QQN byte for byte, with its listing and filtered source beside it;
# the console runner boots that monitor from the project folder on the
# simulated emulator and runs a session on it. Sources the assembler refuses
# fail with its exit status 1 and leave no monitor. A boot with a broken
# monitor in the same place fails, which shows the folder's monitor is the one
# booted.
set -eu
vavada=$1 data=$2 runner=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "monitor_boots: $*" >&2; exit 1; }

mkdir "$work/prj"
cp "$data/mon80.asm" "$work/prj/"
(cd "$work/prj" && "$vavada" mon80.asm) || fail "the shipped source did not build"
cmp "$work/prj/mon80.qqn" "$data/MON80.QQN" || fail "the built monitor differs from the shipped one"
[ -s "$work/prj/mon80.PRN" ] || fail "no listing"
[ -s "$work/prj/mon80.SRC" ] || fail "no filtered source"
[ ! -e "$work/prj/mon80.o" ] && [ ! -e "$work/prj/mon80.bin" ] || fail "intermediate files left"

# The session: a byte through the monitor into target RAM and back.
printf 'EB 9000 5A\nDB 9000,9000\nEXIT\n' > "$work/session.in"
run() {
  (cd "$work/prj" && PATH="$(dirname "$runner"):$PATH" HALV80_REGISTRY_DIR="$work/registry" "$runner" "$work/session.in")
}
out=$(run) || fail "the runner ended with status $?: $out"
case $out in
  *"7F80H"*) ;;
  *) fail "no monitor code area in the banner: $out" ;;
esac
case $out in
  *"9000 5A"*) ;;
  *) fail "the byte did not come back: $out" ;;
esac

# Refused sources: a code address off its 128-byte block, a bad instruction.
for edit in 's/0x7F80/0x7F40/' 's/^break_entry:/break_entry: ld (hl),(hl)/'; do
  rm -f "$work/prj/mon80.qqn"
  sed "$edit" "$data/mon80.asm" > "$work/prj/mon80.asm"
  status=0
  (cd "$work/prj" && "$vavada" mon80.asm 2> "$work/err") || status=$?
  [ "$status" = 1 ] || fail "a refused source ($edit) ended with $status"
  [ ! -e "$work/prj/mon80.qqn" ] || fail "a refused source ($edit) left a monitor"
done

# A broken monitor where the built one stood does not boot.
head -c 20 "$data/MON80.QQN" > "$work/prj/mon80.qqn"
status=0
run > /dev/null 2>&1 || status=$?
[ "$status" != 0 ] || fail "a broken monitor booted"
echo "monitor_boots: ok"
