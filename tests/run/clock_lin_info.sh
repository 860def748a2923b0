# clockml reads lin_info only when use_lin_info is 1: without the file it runs when the
# setting is 0 and stops with the open message when it is 1; with rates it prints them.
source "$(dirname "$0")/lib.bash"

d=$(mktemp -d)
cp "$SRC/examples/brown_clock/infile" "$SRC/examples/brown_clock/settings" "$d/"
sed -i 's/^max_iter .*/max_iter 800/' "$d/settings"
(cd "$d" && "$CLOCKML" >stdout.txt 2>&1; echo $? >status.txt)
[ "$(cat "$d/status.txt")" = 0 ] || fail "clockml without lin_info and use_lin_info 0: exit $(cat "$d/status.txt")"
grep -q "RateVec" "$d/stdout.txt" && fail "RateVec lines without use_lin_info"

sed -i 's/^use_lin_info .*/use_lin_info 1/' "$d/settings"
(cd "$d" && "$CLOCKML" >stdout.txt 2>&1; echo $? >status.txt)
[ "$(cat "$d/status.txt")" = 1 ] || fail "missing lin_info with use_lin_info 1: exit $(cat "$d/status.txt")"
grep -q "^Can't open lin_info: No such file or directory$" "$d/stdout.txt" || fail "no open message for lin_info"

# a sequence with w = 1 and t = 0.6/0.846 gets rate exp(-1)
printf '1 1.0 0.70921986\n2 1.0 1.0\n3 2.0 1.0\n4 1.0 1.0\n5 1.0 1.0\n' >"$d/lin_info"
(cd "$d" && "$CLOCKML" >stdout.txt 2>&1; echo $? >status.txt)
[ "$(cat "$d/status.txt")" = 0 ] || fail "clockml with rates: exit $(cat "$d/status.txt")"
grep -q "^RateVec\[1\] is 0.367879$" "$d/stdout.txt" || fail "rate of sequence 1 is not exp(-1)"
[ "$(grep -c '^RateVec\[' "$d/stdout.txt")" = 5 ] || fail "not one RateVec line per sequence"
ok "lin_info handling"
rm -rf "$d"
finish
