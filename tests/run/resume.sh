# A run that ends abruptly after writing a checkpoint (as if killed at that moment), or
# that is stopped by SIGTERM, and is then resumed with --resume, ends with the reports of
# the same run uninterrupted. ZELVO_CHECKPOINT_STEPS=K writes a checkpoint every K steps
# (or trees of an optimisation) and ZELVO_CHECKPOINT_KILL=N ends the process after the N-th,
# so that each case stops at the same point on every machine: in the burn-in, the searches
# and the optimisation of the archived trees. A checkpoint of other settings is refused.
source "$(dirname "$0")/lib.bash"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

reference() {  # name program example [options...]
    local name=$1 prog=$2 ex=$3
    shift 3
    mkdir -p "$WORK/$name" && cp "$SRC/examples/$ex/"* "$WORK/$name/"
    [ -z "${EXTRA_LINE:-}" ] || echo "$EXTRA_LINE" >>"$WORK/$name/settings"
    (cd "$WORK/$name" && "$prog" "$@" >/dev/null 2>&1) || fail "$name: reference run status $?"
}

# reference program example where N [options...]: stop after checkpoint N (every 7 steps),
# resume, compare; `where` is the phase the runlog must name.
stop_at() {
    local ref=$1 prog=$2 ex=$3 where=$4 n=$5 d st
    shift 5
    d=$WORK/$ref-$n
    mkdir -p "$d" && cp "$SRC/examples/$ex/"* "$d/"
    [ -z "${EXTRA_LINE:-}" ] || echo "$EXTRA_LINE" >>"$d/settings"
    (cd "$d" && ZELVO_CHECKPOINT_STEPS=7 ZELVO_CHECKPOINT_KILL=$n "$prog" "$@" >/dev/null 2>&1); st=$?
    [ "$st" = 137 ] && [ -f "$d/checkpoint" ] || { fail "$ref-$n: not stopped at checkpoint $n ($st)"; return; }
    (cd "$d" && "$prog" --resume "$@" >/dev/null 2>&1) || fail "$ref-$n: resumed run status $?"
    grep -q "^resumed  *from checkpoint, .*$where" "$d/runlog" ||
        fail "$ref-$n: resumed elsewhere than in the $where: $(grep '^resumed' "$d/runlog")"
    [ ! -f "$d/checkpoint" ] || fail "$ref-$n: the checkpoint outlived the complete run"
    same_reports "$ref-$n" "$WORK/$ref" "$d" "the uninterrupted run's" && ok "$ref-$n: resumed in the $where, reports equal"
}

reference free "$FREEML" vertebrates_free_thorough --threads 1
stop_at free "$FREEML" vertebrates_free_thorough "first search" 300 --threads 1
stop_at free "$FREEML" vertebrates_free_thorough "optimisation of the archived trees" 885 --threads 2
stop_at free "$FREEML" vertebrates_free_thorough "second search" 1000 --threads 1
reference gtr "$FREEML" brown_free --model GTR+I+G4
stop_at gtr "$FREEML" brown_free "burn-in" 20 --model GTR+I+G4
stop_at gtr "$FREEML" brown_free "first search" 120 --model GTR+I+G4
# The optimisation from both sides of each branch, stopped between two archived trees.
EXTRA_LINE="local_opt 1" reference local "$FREEML" vertebrates_free_thorough --threads 2
EXTRA_LINE="local_opt 1" stop_at local "$FREEML" vertebrates_free_thorough "optimisation of the archived trees" 885 --threads 2

# A checkpoint of other settings is refused, with the reason.
d=$WORK/free-885
(cd "$d" && ZELVO_CHECKPOINT_STEPS=7 ZELVO_CHECKPOINT_KILL=100 "$FREEML" >/dev/null 2>&1)
sed -i 's/^seed1 .*/seed1            777/' "$d/settings"
out=$(cd "$d" && "$FREEML" --resume 2>&1); st=$?
[ "$st" = 1 ] && [[ "$out" == *"cannot resume from checkpoint: it belongs to another run"* ]] ||
    fail "a checkpoint of other settings was taken: $st $out"

# The sanitizer build, several times slower, checks freeml's cases only.
if [ -n "${ZELVO_SANITIZED:-}" ]; then
    [ $FAILS = 0 ] && ok "resume (freeml's cases)"
    exit $((FAILS > 0))
fi
reference clock "$CLOCKML" vertebrates_clock_thorough --threads 1
stop_at clock "$CLOCKML" vertebrates_clock_thorough "optimisation of the archived trees" 1558 --threads 1
stop_at clock "$CLOCKML" vertebrates_clock_thorough "second search" 1700 --threads 1

# SIGTERM (a scheduler's time limit): the run writes its reports and a checkpoint, exits 143,
# and the resumed run ends as the uninterrupted one.
d=$WORK/term; mkdir -p "$d" && cp "$SRC/examples/vertebrates_free_thorough/"* "$d/"
(cd "$d" && exec "$FREEML" --threads 1 --checkpoint-every 1 >/dev/null 2>&1) &
pid=$!
sleep 1.5
kill -TERM $pid; wait $pid; st=$?
if [ "$st" = 143 ]; then
    [ -f "$d/checkpoint" ] || fail "SIGTERM: no checkpoint was written"
    (cd "$d" && "$FREEML" --threads 1 --resume >/dev/null 2>&1) || fail "SIGTERM: resumed run status $?"
fi
same_reports "SIGTERM ($st)" "$WORK/free" "$d" "the uninterrupted run's" && ok "SIGTERM ($st) then --resume: reports equal"
[ $FAILS = 0 ] && ok "resume"
exit $((FAILS > 0))
