# clockml --clock-test: both searches run in their folders with the same model and seeds,
# the statistic is twice the difference of their best log-likelihoods, and the p-value is
# the chi-square tail with n - 2 degrees of freedom, here checked against its closed form
# for an odd number of degrees of freedom (erfc and a finite sum).
source "$(dirname "$0")/lib.bash"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
cp "$SRC/examples/mtprim9_clock/"* .
"$CLOCKML" --clock-test --model HKY > out.txt 2>&1 || fail "--clock-test: status $?"
grep -q "model_spec *HKY" clock-test/free/runlog && grep -q "seed1 *12345" clock-test/free/runlog ||
    fail "the unrooted search did not run with the model and seeds of the folder"
clock=$(sed -n 's/^Max ln L for tree: *//p' clock-test/clock/besttree | head -1)
free=$(sed -n 's/^ln L at first hit: *//p' clock-test/free/besttree | head -1)
python3 - "$clock" "$free" clocktest <<'PY' || fail "clocktest does not hold the test of the two runs"
import math, re, sys
clock, free = float(sys.argv[1]), float(sys.argv[2])
text = open(sys.argv[3]).read()
value = lambda label: float(re.search(re.escape(label) + r".*?\s(-?[0-9.e+-]+)\n", text).group(1))
x, df = 2 * (free - clock), 7
# P(chi2_7 >= x) = erfc(sqrt(x/2)) + sqrt(2x/pi) e^(-x/2) (1 + x/3 + x^2/15)
p = math.erfc(math.sqrt(x / 2)) + math.sqrt(2 * x / math.pi) * math.exp(-x / 2) * (1 + x / 3 + x * x / 15)
assert abs(value("statistic, 2 (lnL_free - lnL_clock):") - x) < 2e-6, text
assert value("(n = 9 sequences):") == df, text
assert abs(value("p-value (chi-square):") - p) < 1e-4 * max(p, 1e-3), (p, text)
assert ("is rejected" in text) == (p < 0.05), text
PY
out=$("$FREEML" --clock-test 2>&1); st=$?
[ "$st" = 1 ] && [[ "$out" == *"--clock-test is clockml's"* ]] || fail "freeml took --clock-test: $st $out"
[ $FAILS = 0 ] && ok "clock test"
exit $((FAILS > 0))
