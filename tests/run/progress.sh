# The live status line reaches standard error when it is a terminal (run under a
# pseudo-terminal with script(1)), and never when standard error is a file; standard
# output and the reports are the same either way.
source "$(dirname "$0")/lib.bash"

if ! command -v script >/dev/null; then
    echo "script(1) not installed (bsdutils): skipped"
    exit 0
fi

d=$(run_in_copy "$CLOCKML" mtprim9_clock)
[ "$(cat "$d/status.txt")" = 0 ] || fail "redirected run: status $(cat "$d/status.txt")"
[ -s "$d/stderr.txt" ] && fail "redirected run wrote to standard error: $(head -c 200 "$d/stderr.txt")"
mkdir "$d/tty"
cp "$SRC/examples/mtprim9_clock/"* "$d/tty/"
# Standard output to a file, standard error to the pseudo-terminal that script records.
(cd "$d/tty" && script -qfec "'$CLOCKML' >stdout.txt" /dev/null >terminal.txt </dev/null)
term="$d/tty/terminal.txt"
grep -q $'\r''burn-in iter [0-9]* lnL -[0-9.]* best -[0-9.]* T [0-9.e+-]* trees [0-9]* [0-9]*:[0-9][0-9]:[0-9][0-9]' "$term" ||
    fail "no burn-in status line on the terminal"
for phase in "first search" "second search" "done"; do
    grep -q $'\r'"$phase iter " "$term" || fail "no '$phase' status line on the terminal"
done
tail -c 1 "$term" | od -c | grep -q '\\n' || fail "the status line is not ended with a newline"
cmp -s "$d/stdout.txt" "$d/tty/stdout.txt" || fail "standard output differs under a terminal"
for f in besttree treefile paupfile.nex; do
    cmp -s "$d/$f" "$d/tty/$f" || fail "$f differs under a terminal"
done
grep -a $'\r''done' "$term" | tr '\r' '\n' | grep -a '^done' | sed 's/\x1b\[K//g' | tail -1
rm -rf "$d"
ok "status line on a terminal only"
finish
