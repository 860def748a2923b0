# An interrupted search keeps what it found: SIGINT or SIGTERM during the annealing
# stops the search after the proposal in hand, the four reports are written from the
# best tree so far with a line saying so, and the exit status is 128 + the signal.
source "$(dirname "$0")/lib.bash"

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# A folder with the 30-taxon alignment and a search far too long to end by itself.
setup() {  # dir example
    mkdir -p "$1"
    cp "$SRC/examples/$2/"* "$1/"
    cp "$SRC/tests/data/soak30.infile" "$1/infile"
    sed -i -e 's/^max_iter .*/max_iter         1000000000/' -e 's/^stop_mult .*/stop_mult        1000000/' \
        -e 's/^use_lin_info .*/use_lin_info     0/' "$1/settings"
}

interrupted_run() {  # name program example signal status
    local dir=$WORK/$1 pid st
    setup "$dir" "$3"
    (cd "$dir" && exec "$2" >stdout.txt 2>stderr.txt) &
    pid=$!
    sleep 3
    kill -s "$4" "$pid"
    wait "$pid"
    st=$?
    [ "$st" = "$5" ] || { fail "$1: exit status $st, want $5"; return; }
    grep -q "^ The search was interrupted after [0-9]* iterations$" "$dir/results" ||
        { fail "$1: no interruption line in results"; return; }
    # The line comes right before the run report, which is complete.
    local at report
    at=$(grep -n "The search was interrupted" "$dir/results" | cut -d: -f1)
    report=$(grep -n "iterations during the burnin period" "$dir/results" | cut -d: -f1)
    [ -n "$report" ] && [ "$report" -gt "$at" ] || { fail "$1: run report missing or before the line"; return; }
    grep -q "^================" "$dir/results" || { fail "$1: run report incomplete"; return; }
    grep -q "^The best tree and branch lengths found by the algorithm:" "$dir/treefile" ||
        { fail "$1: no best tree in treefile"; return; }
    awk 'NR == 1 { n = $1; next } NR <= n + 1 { print $1 }' "$dir/infile" >"$dir/names.txt"
    local best msg
    best=$(grep -A2 "^The best tree" "$dir/treefile" | grep "(")
    msg=$(check_newick_line "$best" "$dir/names.txt") || { fail "$1: best tree: $msg"; return; }
    grep -q "^Tree Number 1$" "$dir/besttree" || { fail "$1: besttree lists no tree"; return; }
    grep -q "See treefile for best trees" "$dir/besttree" || { fail "$1: besttree incomplete"; return; }
    grep -q "^Begin paup;" "$dir/paupfile.nex" || { fail "$1: paupfile.nex incomplete"; return; }
    grep -q "^exit status   $5: interrupted by SIG$4" "$dir/runlog" || { fail "$1: runlog lacks the interruption"; return; }
    ok "$1 ($(grep "interrupted after" "$dir/results"))"
}

interrupted_run free_sigint "$FREEML" brown_free INT 130
interrupted_run clock_sigterm "$CLOCKML" mtprim9_clock TERM 143
finish
