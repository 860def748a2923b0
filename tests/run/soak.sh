# Long searches with a small archive on a 30-taxon alignment: the archive never holds
# more than n_keep + 1 records (the archive code aborts if it does, and the listing
# shows at most n_keep + 1 trees) and the peak resident set of a long run stays that of a
# short one.
source "$(dirname "$0")/lib.bash"

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
N_KEEP=3
# Under AddressSanitizer freed memory waits in a quarantine of up to 256 MB, which would
# hide a flat profile behind the sanitizer's own growth; keep it small.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=8"

# Peak resident set (KB) of one run; the folder keeps its reports.
run_soak() {  # name program example max_iter
    local dir=$WORK/$1
    mkdir -p "$dir"
    cp "$SRC/examples/$3/"* "$dir/"
    cp "$SRC/tests/data/soak30.infile" "$dir/infile"
    sed -i -e "s/^max_iter .*/max_iter         $4/" -e 's/^stop_mult .*/stop_mult        1000000/' \
        -e "s/^n_keep .*/n_keep           $N_KEEP/" -e 's/^use_lin_info .*/use_lin_info     0/' \
        -e 's/^estimate .*/estimate         0/' -e 's/^final_opt .*/final_opt        1/' "$dir/settings"
    (cd "$dir" && /usr/bin/time -f "%M" -o rss.txt "$2" >stdout.txt 2>stderr.txt; echo $? >status.txt)
    tail -1 "$dir/rss.txt"
}

soak() {  # name program example short-iterations long-iterations
    local short long dir=$WORK/$1-long
    short=$(run_soak "$1-short" "$2" "$3" "$4")
    long=$(run_soak "$1-long" "$2" "$3" "$5")
    local st; st=$(cat "$dir/status.txt")
    [ "$st" = 0 ] || { fail "$1: exit status $st: $(head -3 "$dir/stderr.txt")"; return; }
    local iters trees
    iters=$(grep -m1 "The number of iterations was" "$dir/results" | grep -o '[0-9]*$')
    trees=$(grep -c "^Tree Number" "$dir/besttree")
    [ "$trees" -le $((N_KEEP + 1)) ] || { fail "$1: $trees trees listed, n_keep is $N_KEEP"; return; }
    grep -q "^The best tree" "$dir/treefile" || { fail "$1: no best tree"; return; }
    # Flat: the long run may not need noticeably more memory than the short one.
    echo "$1: peak resident set ${short} KB after $4 iterations, ${long} KB after $iters"
    [ "$long" -le $((short + short / 5 + 2048)) ] || { fail "$1: memory grows from ${short} KB to ${long} KB"; return; }
    ok "$1"
}

soak clockml "$CLOCKML" mtprim9_clock 500 6000
soak freeml "$FREEML" brown_free 500 6000
finish
