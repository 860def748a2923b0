# Dated clock trees: tip dates (the dengue-4 example against BEAST's estimates), calibrated
# clades kept whole and within their bounds, determinism over threads, resume and bootstrap
# intervals, and the refusals of bad dates and calibrations with file, line and value.
source "$(dirname "$0")/lib.bash"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

copy() { mkdir -p "$WORK/$1" && cp "$SRC/examples/$2/"* "$WORK/$1/"; }
value() { sed -n "s/^$2 \([0-9.e-]*\).*/\1/p" "$1/results" | head -1; }

# Dengue-4: BEAST 1.6.2's posterior means (its integration tests) are a rate of 8.13e-4 per
# site per year and a root 68.3 years before 1994; the maximum-likelihood tree lies near.
copy dengue dengue4_dated
(cd "$WORK/dengue" && "$CLOCKML" --threads 1 >out.txt 2>&1) || fail "dengue: status $?"
d=$WORK/dengue
rate=$(value "$d" "The estimated substitution rate is")
age=$(value "$d" "The root age is")
awk -v r="$rate" -v a="$age" 'BEGIN { exit !(r > 6e-4 && r < 1e-3 && a > 55 && a < 85) }' ||
    fail "dengue: rate $rate or root age $age far from BEAST's 8.13e-4 and 68.3"
grep -q "^Root-to-tip regression" "$d/results" || fail "dengue: no root-to-tip regression"
root=$(sed -n 's/.*)\[&age=\([0-9.]*\),date=[0-9.]*\];$/\1/p' "$d/dated.tre")
awk -v a="$age" -v b="$root" 'BEGIN { exit !(b != "" && a - b < 1e-4 && b - a < 1e-4) }' ||
    fail "dengue: dated.tre's root age '$root' is not $age"
[ "$(grep -c '\[&age=' "$d/dated.tre")" = 1 ] && [ "$(grep -o '\[&age=' "$d/dated.tre" | wc -l)" = 16 ] ||
    fail "dengue: dated.tre has not one age per inner node"
copy dengue2 dengue4_dated
(cd "$WORK/dengue2" && "$CLOCKML" --threads 2 >/dev/null 2>&1) || fail "dengue, two threads: status $?"
same_reports "dengue, two threads" "$d" "$WORK/dengue2" "one thread's" && cmp -s "$d/dated.tre" "$WORK/dengue2/dated.tre" &&
    ok "dengue: rate $rate, root age $age; the same reports with two threads"

# Killed after a checkpoint and resumed: the same reports and dated tree.
copy resumed dengue4_dated
(cd "$WORK/resumed" && ZELVO_CHECKPOINT_STEPS=7 ZELVO_CHECKPOINT_KILL=60 "$CLOCKML" --threads 1 >/dev/null 2>&1)
[ -f "$WORK/resumed/checkpoint" ] || fail "resume: no checkpoint was left"
(cd "$WORK/resumed" && "$CLOCKML" --resume --threads 1 >/dev/null 2>&1) || fail "resume: status $?"
same_reports "dated resume" "$d" "$WORK/resumed" "the uninterrupted run's" && cmp -s "$d/dated.tre" "$WORK/resumed/dated.tre" &&
    ok "dated run resumed with the same reports"

# Calibrations without dates: the root fixed at 100, a clade the data do not favour
# (Human with Gorilla, not with Chimpanzee) kept whole and within 20..30.
copy cal brown_clock
printf 'Human,Chimpanzee,Gorilla,Orangutan,Gibbon 100\nHuman, Gorilla  20..30\n' >"$WORK/cal/calibrations"
(cd "$WORK/cal" && "$CLOCKML" >/dev/null 2>&1) || fail "calibrations: status $?"
grep -q "^The root age is 100.0000$" "$WORK/cal/results" || fail "calibrations: the root is not at 100"
hg=$(grep -o '(Human:[0-9.]*,Gorilla:[0-9.]*)\[&age=[0-9.]*\]\|(Gorilla:[0-9.]*,Human:[0-9.]*)\[&age=[0-9.]*\]' "$WORK/cal/dated.tre")
hg_age=${hg##*age=}
hg_age=${hg_age%]}
[ -n "$hg" ] && awk -v a="$hg_age" 'BEGIN { exit !(a >= 20 && a <= 30) }' &&
    ok "calibrations: root at 100, Human+Gorilla whole at $hg_age" || fail "calibrations: Human+Gorilla not whole within 20..30: $(cat "$WORK/cal/dated.tre")"

# Bootstrap: intervals of the rate, the root age and every clade's age.
copy boot dengue4_dated
(cd "$WORK/boot" && "$CLOCKML" --bootstrap 3 --jobs 2 >/dev/null 2>&1) || fail "bootstrap: status $?"
grep -q "^substitution rate  [0-9.e-]*  \[[0-9.e-]*, [0-9.e-]*\]$" "$WORK/boot/age_intervals" &&
    grep -q "age_95%={" "$WORK/boot/dated.tre" && ok "bootstrap intervals written" ||
    fail "bootstrap: no intervals: $(head -5 "$WORK/boot/age_intervals" 2>&1)"

# Bad inputs name the file, the line and the value; nothing is run.
refused() {  # label file text expected [options...]
    local label=$1 file=$2 text=$3 want=$4 out
    shift 4
    rm -rf "$WORK/bad" && copy bad dengue4_dated
    [ "$file" = - ] || printf "$text" >"$WORK/bad/$file"
    out=$(cd "$WORK/bad" && "$CLOCKML" "$@" 2>&1)
    [ $? = 1 ] && [[ "$out" == *"$want"* ]] && [ ! -f "$WORK/bad/results" ] && ok "refused: $label" ||
        fail "$label: not refused as expected: $out"
}
refused "unknown taxon" dates 'D4Brazi82 1982\nD4Nowhere 1990\n' "Error in dates, line 2: 'D4Nowhere' is not the name of a sequence"
refused "bad date" dates 'D4Brazi82 1982-02-30\n' "Error in dates, line 1: the date of D4Brazi82, '1982-02-30', is neither"
refused "missing date" dates 'D4Brazi82 1982\n' "has no date; every sequence needs one"
refused "bounds in the wrong order" calibrations 'D4Thai63,D4Thai78 50..40\n' "Error in calibrations, line 1: the bounds '50..40' are in the wrong order"
refused "overlapping clades" calibrations 'D4Thai63,D4Thai78 40..\nD4Thai78,D4Thai84 ..60\n' "line 2: this clade shares taxa with the clade of line 1"
refused "clade younger than its tips" calibrations '# D4Philip56 was sampled 38 years before 1994\nD4Philip56,D4Philip64 ..30\n' "Error in calibrations, line 2: the clade's age at most 30 leaves it no age"
out=$(cd "$WORK/dengue" && "$CLOCKML" --score dated.tre 2>&1)
[[ "$out" == *"--score does not take tip dates or calibrations yet"* ]] && ok "refused: --score with dates" || fail "--score with dates: $out"
out=$("$FREEML" --calibrations x 2>&1)
[[ "$out" == *"calibrations are clockml's"* ]] && ok "freeml refuses --calibrations" || fail "freeml --calibrations: $out"
# freeml with dates: the temporal signal of its best tree.
mkdir -p "$WORK/free" && cp "$SRC/examples/dengue4_dated/infile" "$SRC/examples/dengue4_dated/dates" "$WORK/free/"
(cd "$WORK/free" && "$FREEML" --write-settings >/dev/null && "$FREEML" >/dev/null 2>&1) || fail "freeml with dates: status $?"
grep -q "^  slope [0-9.e-]* substitutions per site per unit of time, root date 1[89][0-9.]*,$" "$WORK/free/results" &&
    ok "freeml: root-to-tip regression of its best tree" || fail "freeml: no regression in results"

finish
