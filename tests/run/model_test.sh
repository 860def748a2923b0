# --model-test ranks the 24 candidates by BIC with the criteria computed from lnL and k as
# documented (checked here by awk), names the best and lists the tree; --model auto then
# searches with it; clockml fits on a rooted tree; bad criteria are refused.
source "$(dirname "$0")/lib.bash"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

d=$WORK/free; mkdir -p "$d"; cp "$SRC/examples/brown_free/"* "$d/"
(cd "$d" && "$FREEML" --model-test >out.txt 2>&1) || fail "--model-test: status $?"
rows=$(awk '$3 ~ /^[0-9]+$/ && NF == 6' "$d/modeltest")
[ "$(wc -l <<<"$rows")" = 24 ] || fail "modeltest does not list 24 candidates"
sites=$(sed -n 's/.* and \([0-9]*\) sites of infile.*/\1/p' "$d/modeltest")
awk -v N="$sites" '{ k = $3; aic = 2 * k - 2 * $2; bic = k * log(N) - 2 * $2; aicc = aic + 2 * k * (k + 1) / (N - k - 1)
       if ((aic - $4)^2 > 1e-6 || (aicc - $5)^2 > 1e-6 || (bic - $6)^2 > 1e-6) bad = bad " " $1
       if (NR > 1 && $6 < prev) bad = bad " order:" $1; prev = $6 }
     END { if (bad != "") { print bad; exit 1 } }' <<<"$rows" || fail "the criteria or the order are not as documented"
grep -q "^ JC  *[-0-9.]*  *7 " <<<"$rows" || fail "JC's k is not the 7 branch lengths"
grep -q "^ GTR+F+I+G4  *[-0-9.]*  *17 " <<<"$rows" || fail "GTR+F+I+G4's k is not 7 + 5 + 3 + 1 + 1"
best=$(sed -n 's/^Best model by BIC: //p' "$d/modeltest")
[ "$(head -1 <<<"$rows" | awk '{ print $1 }')" = "$(sed 's/^\(HKY\|F84\|TN93\|GTR\)/\1+F/; s/^\(HKY+F\|F84+F\|TN93+F\|GTR+F\)+F/\1/' <<<"$best")" ] ||
    fail "the best model '$best' is not the first row"
(cd "$d" && "$FREEML" --model auto >auto.txt 2>&1) || fail "--model auto: status $?"
grep -q "^The search uses $best, the best model by BIC" "$d/auto.txt" || fail "--model auto does not name $best"
grep -q "^model_spec\|Model will be used" "$d/results" && grep -q "$(head -1 <<<"$rows" | awk '{ print $1 }') Model will be used" "$d/results" ||
    fail "--model auto did not search with $best"
ok "--model-test ranks the candidates, --model auto searches with the best"

c=$WORK/clock; mkdir -p "$c"; cp "$SRC/examples/brown_clock/"* "$c/"
(cd "$c" && "$CLOCKML" --model-test --criterion aic >/dev/null 2>&1) || fail "clockml --model-test: status $?"
grep -q "sorted by AIC" "$c/modeltest" && grep -q "UPGMA" "$c/modeltest" || fail "clockml's model test is not by AIC on the UPGMA tree"
out=$(cd "$c" && "$CLOCKML" --model-test --criterion DIC 2>&1); st=$?
[ "$st" = 1 ] && [ "$out" = "clockml: --criterion DIC: give BIC, AIC or AICc" ] || fail "bad criterion: $st '$out'"
out=$(cd "$c" && "$CLOCKML" --criterion AIC 2>&1)
[ "$out" = "clockml: --criterion goes with --model-test or --model auto (try 'clockml --help')" ] || fail "--criterion alone: '$out'"
ok "clockml's model test, and refusals"
finish
