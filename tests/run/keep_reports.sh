# A run never destroys reports it has not replaced with complete ones: a rerun that fails
# on its input, or that is killed, leaves the last good reports byte for byte, the failed
# run's output staying beside them under the .part names. An interrupt during the
# optimisation of the archived trees ends the run within two seconds, with its reports.
source "$(dirname "$0")/lib.bash"

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
REPORTS="results besttree treefile paupfile.nex"

dir=$WORK/rerun
mkdir -p "$dir"
cp "$SRC/examples/brown_clock/"* "$dir/"
(cd "$dir" && "$CLOCKML" >/dev/null) || fail "first run failed"
mkdir "$dir/good"
for f in $REPORTS; do cp "$dir/$f" "$dir/good/"; done
for f in $REPORTS; do [ -e "$dir/$f.part" ] && fail "a complete run left $f.part"; done

unchanged() {  # what
    local f
    for f in $REPORTS; do
        cmp -s "$dir/$f" "$dir/good/$f" || { fail "$1: $f changed"; return 1; }
    done
}

# A mistake in settings: the run stops, the reports of the good run stay.
cp "$dir/settings" "$dir/settings.good"
sed -i 's/^model .*/model            9/' "$dir/settings"
(cd "$dir" && "$CLOCKML" >stdout.txt)
st=$?
[ "$st" = 1 ] || fail "failed rerun: exit status $st, want 1"
unchanged "failed rerun" && [ -s "$dir/results.part" ] && ok "failed rerun keeps the reports"
cp "$dir/settings.good" "$dir/settings"

# A run killed part way, in the search: the reports of the good run stay.
cp "$SRC/tests/data/soak30.infile" "$dir/infile"
sed -i -e 's/^max_iter .*/max_iter         1000000000/' -e 's/^stop_mult .*/stop_mult        1000000/' \
    -e 's/^use_lin_info .*/use_lin_info     0/' "$dir/settings"
(cd "$dir" && exec "$CLOCKML" >stdout.txt 2>&1) &
pid=$!
sleep 1
kill -KILL "$pid"
wait "$pid" 2>/dev/null
unchanged "killed rerun" && ok "killed rerun keeps the reports"

# SIGINT in the optimisation phase (a short search, many archived trees to optimise).
dir=$WORK/optimise
mkdir -p "$dir"
cp "$SRC/examples/brown_free/"* "$dir/"
cp "$SRC/tests/data/soak30.infile" "$dir/infile"
sed -i -e 's/^max_iter .*/max_iter         1500/' -e 's/^n_keep .*/n_keep           100/' \
    -e 's/^burnin_iter .*/burnin_iter      0/' "$dir/settings"
# Line-buffered standard output shows when the optimisation begins (stdbuf preloads a
# library, which a sanitizer build must be told to accept).
(cd "$dir" && ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0" \
    exec stdbuf -oL "$FREEML" >stdout.txt 2>stderr.txt) &
pid=$!
for _ in $(seq 1 1200); do
    grep -q "Beginning tree optimization" "$dir/stdout.txt" 2>/dev/null && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
done
sleep 0.5
start=$(date +%s%N)
kill -INT "$pid"
for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
ms=$((($(date +%s%N) - start) / 1000000))
if kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid"
    fail "interrupt in the optimisation: still running after $ms ms"
else
    wait "$pid"
    st=$?
    if [ "$st" != 130 ]; then
        fail "interrupt in the optimisation: exit status $st, want 130: $(tail -2 "$dir/stdout.txt")"
    elif ! grep -q "^ The search was interrupted" "$dir/results" ||
        ! grep -q "^The best tree and branch lengths" "$dir/treefile"; then
        fail "interrupt in the optimisation: reports incomplete"
    elif grep -q "Beginning second tree search" "$dir/stdout.txt"; then
        fail "interrupt in the optimisation: the second search began"
    elif [ "$ms" -gt 2000 ]; then
        fail "interrupt in the optimisation: exit after $ms ms, want at most 2000"
    else
        ok "interrupt in the optimisation: exit after $ms ms, reports written"
    fi
fi
finish
