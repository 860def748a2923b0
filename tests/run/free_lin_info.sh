# freeml never reads lin_info: a folder with one runs exactly like a folder without, and
# its results carry freeml's own banner line once and nothing of the clock banner.
source "$(dirname "$0")/lib.bash"

d1=$(run_in_copy "$FREEML" brown_free)
d2=$(run_in_copy "$FREEML" brown_free)
printf '1 1.0 1.0\n' >"$d2/lin_info"
(cd "$d2" && "$FREEML" >stdout.txt 2>stderr.txt; echo $? >status.txt)
[ "$(cat "$d1/status.txt")" = 0 ] || fail "freeml without lin_info: exit $(cat "$d1/status.txt")"
[ "$(cat "$d2/status.txt")" = 0 ] || fail "freeml with lin_info: exit $(cat "$d2/status.txt")"
for f in results besttree treefile paupfile.nex stdout.txt; do
    cmp -s "$d1/$f" "$d2/$f" || fail "$f differs when a lin_info file is present"
done
[ "$(grep -c '^MAXIMUM LIKEIHOOD ESTIMATION USING SIMULATED ANNEALING$' "$d1/results")" = 1 ] ||
    fail "results lacks freeml's banner line"
grep -q "MOLECULAR CLOCK" "$d1/results" && fail "freeml results mention the molecular clock"
grep -q "tree mytree=\[&U\]" "$d1/paupfile.nex" || fail "no unrooted NEXUS trees"
grep -q "clock=no;" "$d1/paupfile.nex" || fail "lset line not clock=no"
# the best tree starts with a three-way split
best=$(grep -A2 "^The best tree" "$d1/treefile" | tail -1)
top=$(awk '{ d = 0; n = 0; for (i = 1; i <= length($0); i++) { c = substr($0, i, 1);
      if (c == "(") d++; else if (c == ")") d--; else if (c == "," && d == 1) n++ } print n + 1 }' <<<"$best")
[ "$top" = 3 ] || fail "best tree has $top branches at the top: $best"
ok "freeml ignores lin_info and writes unrooted trees"
rm -rf "$d1" "$d2"
finish
