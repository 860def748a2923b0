# The run record: a complete run leaves runlog beside its reports; a run stopped by an
# error leaves its record in runlog.part and the earlier runlog untouched; a replicate run
# has one of its own and one in every replicate folder.
source "$(dirname "$0")/lib.bash"

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

d=$WORK/clock
mkdir -p "$d"
cp "$SRC/examples/mtprim9_clock/"* "$d/"
sed -i 's/^max_iter .*/max_iter         300/' "$d/settings"
(cd "$d" && "$CLOCKML" >stdout.txt) || fail "clock: the run failed"
for want in "^version       clockml " "^command       .*clockml$" "^input         infile ([0-9]* bytes): 9 sequences, 888 sites, the programs' own format$" \
    "^seeds         seed1 12345, seed2 67890" "^  max_iter           300 " "^exit status   0: the run is complete$" "^reports       written"; do
    grep -q "$want" "$d/runlog" || fail "clock: runlog has no line '$want'"
done
[ "$(grep -c '^  [a-z_0-9]* .* # ' "$d/runlog")" = 22 ] || fail "clock: runlog does not list the 22 settings"
[ -e "$d/runlog.part" ] && fail "clock: runlog.part left after a complete run"
cp "$d/runlog" "$d/runlog.first"

sed -i 's/^model .*/model            7/' "$d/settings"
(cd "$d" && "$CLOCKML" >stdout.txt) && fail "clock: a bad model gave status 0"
cmp -s "$d/runlog" "$d/runlog.first" || fail "clock: a failed run changed runlog"
err=$(grep "^Error" "$d/stdout.txt")
grep -qxF "error         $err" "$d/runlog.part" || fail "clock: runlog.part lacks the message '$err'"
grep -q "^exit status   1: the run stopped with an error$" "$d/runlog.part" || fail "clock: runlog.part lacks the status"
ok "clock: runlog of a complete and a failed run"

r=$WORK/free
mkdir -p "$r"
cp "$SRC/examples/brown_free/"* "$r/"
sed -i 's/^max_iter .*/max_iter         300/' "$r/settings"
(cd "$r" && "$FREEML" --replicates 2 --jobs 2 >stdout.txt) || fail "free: the replicates failed"
grep -q "^command       .*freeml --replicates 2 --jobs 2$" "$r/runlog" || fail "free: runlog lacks the command line"
grep -q "^replicates    2 searches (rep-001 ...) and 0 bootstrap replicates (boot-...), 2 at a time" "$r/runlog" || fail "free: runlog lacks the replicates"
grep -q "^seeds         seed1 [0-9]*, seed2 [0-9]*" "$r/rep-002/runlog" || fail "free: rep-002 has no runlog"
cmp -s <(grep "^  seed" "$r/rep-002/runlog") <(sed 's/^/  /' "$r/rep-002/settings" | grep "^  seed") ||
    fail "free: rep-002's runlog does not show its own seeds"
ok "free: runlog of a replicate run"
finish
