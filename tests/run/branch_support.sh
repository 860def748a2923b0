# --alrt and --abayes: after the search, the support of every internal branch of the best
# tree in 'support' and as labels in 'supporttree'; the search's reports are those of the
# same run without them; a clock tree has n - 2 such branches; combinations with replicates
# are refused.
source "$(dirname "$0")/lib.bash"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

for dir in plain support; do mkdir -p "$WORK/$dir"; cp "$SRC/examples/brown_free/"* "$WORK/$dir/"; done
(cd "$WORK/plain" && "$FREEML" >/dev/null 2>&1) || fail "plain run: status $?"
(cd "$WORK/support" && "$FREEML" --alrt 1000 --abayes >out.txt 2>&1) || fail "--alrt --abayes: status $?"
same_reports "--alrt --abayes" "$WORK/plain" "$WORK/support" "a plain run's" && ok "the search's reports are a plain run's"
d=$WORK/support
rows=$(awk '$1 ~ /^[0-9.]+$/ && $2 ~ /^[0-9.]+$/' "$d/support")
[ "$(wc -l <<<"$rows")" = 2 ] || fail "support does not list the 2 internal branches of 5 taxa"
awk '$1 < 0 || $1 > 100 || $2 < 0 || $2 > 1 { exit 1 }' <<<"$rows" || fail "a support value out of range"
head -1 "$d/supporttree" | grep -qx '\[labels: SH-aLRT (%, 1000 resamplings)/aBayes\]' || fail "supporttree's header does not name its labels"
[ "$(sed -n 2p "$d/supporttree" | grep -o ')[0-9.]*/[0-9.]*:' | wc -l)" = 2 ] || fail "supporttree does not label both internal branches"
ok "support and supporttree"

# With local_opt the best tree's lengths are optimised on the walk, but each alternative of
# a branch is fitted outside it: its likelihood ratios are those of the plain run within the
# last digits of the lengths (a walk's stale outside rows gave 68.7 for 4.67).
for dir in alrt local; do mkdir -p "$WORK/$dir"; cp "$SRC/examples/brown_free/"* "$WORK/$dir/"; done
l=$WORK/local; echo "local_opt 1" >>"$l/settings"
for dir in alrt local; do
    (cd "$WORK/$dir" && "$FREEML" --alrt 1000 >/dev/null 2>&1) || fail "--alrt in $dir: status $?"
done
paste <(awk '$1 ~ /^[0-9.]+$/ && $2 ~ /^[0-9.]+$/ { print $2 }' "$WORK/alrt/support") \
      <(awk '$1 ~ /^[0-9.]+$/ && $2 ~ /^[0-9.]+$/ { print $2 }' "$l/support") |
    awk 'NF != 2 || $1 - $2 > 0.05 || $2 - $1 > 0.05 { bad = 1 } END { exit bad || NR != 2 }' ||
    fail "the likelihood ratios with local_opt differ from the plain run's: $(cat "$l/support")"
ok "support with local_opt"

c=$WORK/clock; mkdir -p "$c"; cp "$SRC/examples/brown_clock/"* "$c/"
(cd "$c" && "$CLOCKML" --alrt 1000 >/dev/null 2>&1) || fail "clockml --alrt: status $?"
[ "$(awk '$1 ~ /^[0-9.]+$/ && NF >= 3' "$c/support" | wc -l)" = 3 ] || fail "clockml's support does not list the 3 internal branches of a rooted 5-taxon tree"
head -1 "$c/supporttree" | grep -qx '\[labels: SH-aLRT (%, 1000 resamplings)\]' || fail "clockml's supporttree header"
out=$(cd "$d" && "$FREEML" --abayes --bootstrap 10 --prepare 2>&1)
[ "$out" = "freeml: --alrt and --abayes go with a search, --replicates or --bootstrap (not --prepare) (try 'freeml --help')" ] || fail "--abayes --prepare: '$out'"
ok "refusals"

# With the bootstrap: every label of supporttree gives SH-aLRT, aBayes and the bootstrap
# percentage, in the order its first line names; support comes from the best search.
b=$WORK/boot; mkdir -p "$b"; cp "$SRC/examples/brown_free/"* "$b/"
(cd "$b" && "$FREEML" --replicates 1 --bootstrap 4 --jobs 2 --alrt 200 --abayes >/dev/null 2>&1) || fail "--bootstrap with --alrt: status $?"
head -1 "$b/supporttree" | grep -qx '\[labels: SH-aLRT (%, 200 resamplings)/aBayes/bootstrap (%)\]' || fail "the combined supporttree's header: $(head -1 "$b/supporttree")"
[ "$(sed -n 2p "$b/supporttree" | grep -o ')[0-9.]*/[0-9.]*/[0-9]*:' | wc -l)" = 2 ] || fail "the combined labels are not SH-aLRT/aBayes/bootstrap"
cmp -s "$b/support" "$b/rep-001/support" || fail "support is not the best search's"
ok "support beside the bootstrap"
finish
