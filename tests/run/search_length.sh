# How long a search runs: --write-settings in a folder with an infile derives the move cap
# and a stop_flat line from its size; stop_flat ends a search whose best log-likelihood
# stays flat, says so, and leaves a run without the line as it was; bad lines are named.
source "$(dirname "$0")/lib.bash"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

d=$WORK/sized; mkdir -p "$d"; cp "$SRC/examples/vertebrates_free_thorough/infile" "$d/"
out=$(cd "$d" && "$FREEML" --write-settings) || fail "--write-settings with an infile: status $?"
grep -q "for the 17 sequences and [0-9]* site patterns of infile" <<<"$out" || fail "--write-settings does not name the size: '$out'"
grep -q "^max_iter  *200000 " "$d/settings" || fail "max_iter is not 200000 for 17 sequences"
grep -q "^stop_flat  *0.01 2000 " "$d/settings" || fail "no stop_flat 0.01 2000 line for 17 sequences"
grep -q "^local_opt  *1 " "$d/settings" || fail "no local_opt 1 line"
grep -q "^newton_guard  *1 " "$d/settings" || fail "no newton_guard 1 line"
grep -q "^improve_tol  *0.01 " "$d/settings" || fail "freeml's improve_tol is not 0.01"
awk 'NR <= 22 && $1 != "improve_tol"' "$d/settings" | diff -q - <(cd "$WORK" && mkdir bare && cd bare && "$FREEML" --write-settings >/dev/null && grep -v "^improve_tol" settings) >/dev/null ||
    fail "the other lines for a small alignment differ from the fixed recommendation"
ok "--write-settings sizes the settings to the folder's infile"

# A short window ends both searches of the example; the same run twice is the same.
f=$WORK/flat; mkdir -p "$f"; cp "$SRC/examples/vertebrates_free_thorough/"* "$f/"
echo "stop_flat          0.01 300" >>"$f/settings"
(cd "$f" && "$FREEML" >stdout.txt 2>&1) || fail "stop_flat run: status $?"
grep -q "^  The best log-likelihood has not risen by more than 0.01 in 300 moves: the search has converged$" "$f/stdout.txt" ||
    fail "the run does not say that stop_flat ended a search"
grep -q "^ A search also ends when its best log-likelihood has not risen by more than 0.01 in 300 iterations: both searches ended so$" "$f/results" ||
    fail "results lacks the stop_flat line"
first=$(sed -n 's/^ Total iterations in first anneal is \([0-9]*\),.*/\1/p' "$f/results")
[ -n "$first" ] && [ "$first" -lt 6188 ] || fail "the first search ran $first moves, not fewer than without stop_flat (6188)"
mkdir "$WORK/again" && cp "$f/infile" "$f/settings" "$WORK/again/"
(cd "$WORK/again" && "$FREEML" >/dev/null 2>&1)
same_reports "stop_flat" "$f" "$WORK/again" "the same run's" && ok "stop_flat ends the searches, and says so"

# Refusals name the line and the value.
r=$WORK/refuse; mkdir -p "$r"; cp "$SRC/examples/brown_free/"* "$r/"
cp "$r/settings" "$r/settings.orig"
for bad in "stop_flat 0.01" "stop_flat -1 500" "stop_flat 0.01 0" "stop_flat 0.01 x"; do
    { cat "$r/settings.orig"; echo "$bad"; } >"$r/settings"
    out=$(cd "$r" && "$FREEML" 2>&1 | grep Error)
    case $bad in
        "stop_flat 0.01") want="Error in settings, line 23: stop_flat needs two values: a rise of the log-likelihood and a number of moves (such as 0.01 25000)" ;;
        "stop_flat -1 500") want="Error in settings, line 23: stop_flat: the rise is '-1'; it must be a number, 0 or more" ;;
        "stop_flat 0.01 0") want="Error in settings, line 23: stop_flat: the number of moves is '0'; it must be a whole number, 1 or more" ;;
        *) want="Error in settings, line 23: stop_flat: the number of moves is 'x'; it must be a whole number, 1 or more" ;;
    esac
    [ "$out" = "$want" ] || fail "'$bad': '$out'"
done
ok "bad stop_flat lines are refused by line and value"
finish
