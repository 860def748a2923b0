# --score: given trees scored on the folder's alignment. The best tree of a search scores
# its own log-likelihood (to 0.01), the table and the optimised trees are written, the
# one-command form finds the trees file from where it was started, and a tree that cannot
# be scored is named with its line and the reason.
source "$(dirname "$0")/lib.bash"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

for ex in brown_free brown_clock; do
    prog=$FREEML; [ $ex = brown_clock ] && prog=$CLOCKML
    d=$WORK/$ex; mkdir -p "$d"; cp "$SRC/examples/$ex/"* "$d/"
    (cd "$d" && "$prog" >/dev/null 2>&1) || fail "$ex: search status $?"
    grep "^\[" "$d/treefile" | head -3 >"$d/trees"
    (cd "$d" && "$prog" --score trees >out.txt 2>&1) || fail "$ex --score: status $?"
    best=$(awk '/^ln L at first hit:|^Max ln L for tree:/ { print $NF; exit }' "$d/besttree")
    first=$(awk '$1 == 1 && NF == 7 { print $2 }' "$d/score")
    awk -v a="$best" -v b="$first" 'BEGIN { exit !(a - b < 0.01 && b - a < 0.01) }' ||
        fail "$ex: the best tree scores $first, the search found $best"
    [ "$(awk 'NF == 7 && $1 ~ /^[0-9]+$/' "$d/score" | wc -l)" = 3 ] || fail "$ex: score does not list three tested trees"
    [ "$(grep -c ';$' "$d/scored.tre")" = 3 ] || fail "$ex: scored.tre does not hold three trees"
    grep -qxF "$(awk '$1 == 1 && NF == 7' "$d/score")" "$d/out.txt" || fail "$ex: standard output does not show the table"
done
ok "--score scores the search's best tree as the search did, and tests the set"

# One-command form: the trees file is named from where the program was started.
cp "$SRC/examples/brown_free/infile" "$WORK/brown.phy"
(cd "$WORK" && "$FREEML" -s brown.phy >/dev/null 2>&1) || fail "freeml -s: status $?"
(cd "$WORK" && "$FREEML" -s brown.phy --score brown_free/trees --rell 1000 >/dev/null 2>&1) || fail "-s with --score: status $?"
[ -s "$WORK/brown.phy.freeml/score" ] || fail "-s with --score wrote no score in the run folder"

# Refusals.
d=$WORK/brown_clock
echo "(Gibbon,Orangutan,(Gorilla,(Human,Chimp)));" >"$d/bad"
out=$(cd "$d" && "$CLOCKML" --score bad 2>&1); st=$?
[ "$st" = 1 ] && [ "$out" = "clockml: --score bad, line 1: tree 1 cannot be scored: it names 'Chimp', which is not a sequence of the infile" ] || fail "unknown taxon: $st '$out'"
printf '\n\n(Gibbon,Orangutan,(Gorilla,(Human,Chimpanzee)));\n' >"$d/bad"
out=$(cd "$d" && "$CLOCKML" --score bad 2>&1)
[ "$out" = "clockml: --score bad, line 3: tree 1 cannot be scored: it is unrooted (three subtrees at its top); clockml scores rooted trees" ] || fail "unrooted tree for clockml: '$out'"
out=$(cd "$d" && "$CLOCKML" --score bad --bootstrap 10 2>&1)
[ "$out" = "clockml: --score goes with --rell, --model, --threads and -s only (try 'clockml --help')" ] || fail "--score with --bootstrap: '$out'"
ok "trees that cannot be scored are named"
finish
