# The number of threads never changes a report: one thread against three (more threads
# than this machine may have cores, and an odd split of the patterns), for both programs,
# with the classic model, a named model with rate categories and invariable sites, and
# per-lineage information; the replicates pass the count on to every run.
source "$(dirname "$0")/lib.bash"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

case_pair() {  # label program example max_iter [options...]
    local label=$1 prog=$2 ex=$3 iters=$4 t
    shift 4
    for t in 1 3; do
        mkdir -p "$WORK/$label-$t"
        cp "$SRC/examples/$ex/"* "$WORK/$label-$t/"
        sed -i "s/^max_iter .*/max_iter         $iters/" "$WORK/$label-$t/settings"
        [ -z "${ZELVO_SANITIZED:-}" ] || sed -i "s/^n_keep .*/n_keep           3/" "$WORK/$label-$t/settings"
        [ -z "${EXTRA_LINE:-}" ] || echo "$EXTRA_LINE" >>"$WORK/$label-$t/settings"
        (cd "$WORK/$label-$t" && "$prog" --threads $t "$@" >/dev/null 2>&1) ||
            { fail "$label --threads $t: status $?"; return; }
    done
    grep -q "^threads  *3 " "$WORK/$label-3/runlog" || fail "$label: the runlog does not give the threads"
    same_reports "$label" "$WORK/$label-1" "$WORK/$label-3" "the 1-thread run's" &&
        ok "$label: reports identical with 1 and 3 threads"
}

# Fewer moves and kept trees in the sanitizer build, which runs several times slower.
ITERS=1500; [ -z "${ZELVO_SANITIZED:-}" ] || ITERS=500
case_pair freeml-classic "$FREEML" vertebrates_free_thorough $ITERS
case_pair clockml-lin-info "$CLOCKML" vertebrates_clock_thorough $ITERS
case_pair freeml-gtr-i-g4 "$FREEML" brown_free 400 --model GTR+I+G4
case_pair clockml-hky-g4 "$CLOCKML" mtprim9_clock 400 --model HKY+G4
# The optimisation from both sides of each node (its walk and outside rows), and the guarded
# Newton steps of the re-estimation.
both="local_opt 1
newton_guard 1"
EXTRA_LINE=$both case_pair freeml-local-gtr-g4 "$FREEML" brown_free 400 --model GTR+I+G4
EXTRA_LINE=$both case_pair clockml-local-lin-info "$CLOCKML" vertebrates_clock_thorough $ITERS
EXTRA_LINE=$both case_pair freeml-local-classic "$FREEML" vertebrates_free_thorough $ITERS

# Replicates: each run is given the threads asked for.
r=$WORK/reps
mkdir -p "$r" && cp "$SRC/examples/brown_free/"* "$r/"
sed -i 's/^max_iter .*/max_iter         300/' "$r/settings"
(cd "$r" && "$FREEML" --replicates 2 --jobs 1 --threads 2 >/dev/null 2>&1) || fail "replicates --threads 2: status $?"
grep -q "^threads  *2 " "$r/rep-002/runlog" || fail "rep-002 was not run with 2 threads"

out=$(cd "$r" && "$FREEML" --threads 0 2>&1); st=$?
[ "$st" = 1 ] && [[ "$out" == *"--threads"* ]] || fail "--threads 0 accepted: $st '$out'"
[ $FAILS = 0 ] && ok "threads"
exit $((FAILS > 0))
