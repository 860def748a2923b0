# A summary counts a folder as complete only when its reports are those of a finished run
# of this program on the inputs beside them: a replicate that failed or was killed in a
# rerun folder, a folder whose infile changed, reports that cannot be read, another
# program's folder and a folder named twice are each refused or listed with the reason,
# and the exit status says so.
source "$(dirname "$0")/lib.bash"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

setup() {  # dir example max_iter
    mkdir -p "$1"; cp "$SRC/examples/$2/"* "$1/"
    sed -i "s/^max_iter .*/max_iter         $3/" "$1/settings"
}
row() { grep "^$2 " "$1/replicates"; }

# --- a failed replicate in a rerun folder, with another alignment of the same taxa -----
d=$WORK/rerun; setup "$d" brown_free 1500
(cd "$d" && "$FREEML" --replicates 2 --jobs 1 >/dev/null) || fail "rerun: first run failed"
old=$(row "$d" rep-002)
awk 'NR == 1 { print; next } { print substr($0, 1, 11) substr($0, 500) substr($0, 12, 488) }' \
    "$SRC/examples/brown_free/infile" >"$d/infile"
mkdir "$d/rep-002/results.part"
(cd "$d" && "$FREEML" --replicates 2 --jobs 1 >stdout.txt); st=$?
[ "$st" = 1 ] || fail "rerun with a failed replicate: status $st, want 1"
row "$d" rep-002 | grep -q "failed: its last run ended with status 1 and wrote no reports (its console file says why)$" ||
    fail "rerun: rep-002 is '$(row "$d" rep-002)' (before: '$old')"
grep -q "^  rep-002 failed: " "$d/stdout.txt" || fail "rerun: standard output does not name rep-002's failure"
grep -q "^error  *rep-002 failed: " "$d/runlog" || fail "rerun: the runlog does not name rep-002's failure"
ok "a failed replicate in a rerun folder"

# --- a replicate killed outright, summarised by --summarise -------------------------------
rmdir "$d/rep-002/results.part"
sed -i -e 's/^max_iter .*/max_iter         1000000000/' -e 's/^stop_mult .*/stop_mult        1000000/' "$d/rep-002/settings"
(cd "$d/rep-002" && exec "$FREEML" >console 2>&1) &
pid=$!
for _ in $(seq 100); do grep -q "Beginning tree search" "$d/rep-002/console" 2>/dev/null && break; sleep 0.05; done
kill -KILL $pid; wait $pid 2>/dev/null
(cd "$d" && "$FREEML" --summarise rep-001 rep-002 >/dev/null); st=$?
[ "$st" = 1 ] || fail "killed replicate: status $st, want 1"
row "$d" rep-002 | grep -q "failed: its last run did not end: it was killed (runlog.part has no end)$" ||
    fail "killed replicate: '$(row "$d" rep-002)'"
ok "a killed replicate"

# --- reports that do not belong to the inputs beside them, or cannot be read --------------
s=$WORK/summ; setup "$s" brown_free 1500
(cd "$s" && "$FREEML" --replicates 3 --jobs 2 >/dev/null) || fail "summarise: the searches failed"
sed -i 's/^\(Human  *\)A/\1C/' "$s/rep-001/infile"          # its infile changed after the run
sed -i 's/\(ln L at first hit: *\).*/\1nan/' "$s/rep-002/besttree"
echo "garbage" >"$s/rep-003/treefile"
c=$WORK/clock; setup "$c" mtprim9_clock 300
(cd "$c" && "$CLOCKML" >/dev/null) || fail "summarise: the clock run failed"
(cd "$s" && "$FREEML" --summarise rep-001 rep-002 rep-003 "$c" >stdout.txt); st=$?
[ "$st" = 1 ] || fail "summarise of unusable folders: status $st, want 1"
for want in "rep-001 .* failed: its infile is not the file its run read (it changed after the run)" \
    "rep-002 .* failed: its besttree gives no finite value after 'ln L at first hit:'" \
    "rep-003 .* failed: its treefile holds no best tree" \
    "$c .* failed: its run record is of clockml, not of freeml"; do
    grep -q "^$want$" "$s/replicates" || fail "summarise: no line '$want'"
done
grep -q "^No replicate wrote a best tree.$" "$s/replicates" || fail "summarise: a best tree was taken from an unusable folder"
out=$(cd "$s" && "$FREEML" --summarise rep-001 ./rep-001/ 2>&1); st=$?
[ "$st" = 1 ] && [ "$out" = "Error: cannot summarise ./rep-001/: it is the folder rep-001, named again; nothing is written" ] ||
    fail "a folder named twice: $st '$out'"
ok "summary refusals"
finish
