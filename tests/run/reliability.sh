# Runs that must end, and end well: degenerate alignments, unbounded branch lengths, a full
# disk, two runs in one folder, and names outside ASCII.
source "$(dirname "$0")/lib.bash"

WORK=$(mktemp -d)
MOUNTED=""
trap '[ -n "$MOUNTED" ] && umount "$MOUNTED"; rm -rf "$WORK"' EXIT

# A folder with the settings of an example and an infile read from standard input.
folder() {  # name example
    local dir=$WORK/$1
    mkdir -p "$dir"
    cp "$SRC/examples/$2/settings" "$dir/"
    [ -f "$SRC/examples/$2/lin_info" ] && cp "$SRC/examples/$2/lin_info" "$dir/"
    cat >"$dir/infile"
    echo "$dir"
}

identical() {  # ntaxa sequence
    echo "$1 ${#2} 1 0 0 0 0"
    for ((i = 1; i <= $1; i++)); do printf 't%-9d %s\n' "$i" "$2"; done
}

# --- identical sequences: every likelihood maximum lies on a boundary ---------------------
SEQ300=$(head -c 300 /dev/zero | tr '\0' 'A' | sed 's/AAAA/ACGT/g; s/AAA/CGA/g')
for c in "4 ACGTTGCAACGTTGCAAGCT" "6 $SEQ300"; do
    set -- $c
    d=$(identical "$1" "$2" | folder "identical_$1" brown_clock)
    (cd "$d" && timeout 120 "$CLOCKML" >stdout.txt 2>&1; echo $? >status.txt)
    st=$(cat "$d/status.txt")
    if [ "$st" != 0 ]; then fail "identical_$1: status $st (124 is the time limit)"; continue; fi
    lnl=$(awk '/Max ln L for tree/ { print $NF; exit }' "$d/besttree")
    # Every site then has the probability of its base: lnL = sum of ln(pi).
    awk -v l="$lnl" 'BEGIN { exit !(l + 0 < 0 && l + 0 > -1e6) }' || fail "identical_$1: best lnL '$lnl'"
    grep -qi nan "$d/results" "$d/besttree" && fail "identical_$1: a report holds nan"
    ok "identical_$1 ends with lnL $lnl"
done

# --- branch lengths stay below the documented maximum of 100 (200 for the edge written ---
# --- across the stored root, which is two branches) ---------------------------------------
longest() { grep -o ':[0-9.e+-]*' "$1" | tr -d : | sort -g | tail -1; }
d=$(awk 'BEGIN { srand(7); print "8 300 1 0 0 0 0"
        for (i = 1; i <= 8; i++) { s = ""; for (j = 0; j < 300; j++) s = s substr("ACGT", int(rand() * 4) + 1, 1)
            printf "r%-9d %s\n", i, s } }' | folder saturated dna_free)
printf '%s\n' "onlyN      $(head -c 300 /dev/zero | tr '\0' N)" >>"$d/infile"
sed -i '1s/^8 /9 /' "$d/infile"
sed -i 's/^max_iter .*/max_iter         3000/' "$d/settings"
(cd "$d" && timeout 120 "$FREEML" >stdout.txt 2>&1; echo $? >status.txt)
if [ "$(cat "$d/status.txt")" = 0 ]; then
    max=$(longest "$d/treefile")
    awk -v m="$max" 'BEGIN { exit !(m + 0 <= 200) }' && ok "saturated: longest branch $max" ||
        fail "saturated: a branch of length $max"
else
    fail "saturated: status $(cat "$d/status.txt")"
fi

# --- a full disk stops the run before its search ------------------------------------------
mkdir -p "$WORK/tmpfs"
if mount -t tmpfs -o size=96k tmpfs "$WORK/tmpfs" 2>/dev/null; then
    MOUNTED=$WORK/tmpfs
    cp "$SRC/examples/brown_free/"* "$MOUNTED/"
    (cd "$MOUNTED" && "$FREEML" >"$WORK/tmpfs.out" 2>&1; echo $? >"$WORK/tmpfs.status")
    if [ "$(cat "$WORK/tmpfs.status")" = 1 ] &&
        grep -q "^Error writing the reports: the folder $MOUNTED has .* free, and this run's reports need up to .*; the run stops before its search$" "$WORK/tmpfs.out" &&
        ! grep -q "Beginning tree search" "$WORK/tmpfs.out"; then
        ok "full tmpfs stops before the search"
    else
        fail "full tmpfs: status $(cat "$WORK/tmpfs.status")"; tail -2 "$WORK/tmpfs.out"
    fi
else
    echo "skip: cannot mount a tmpfs here (needs root); the full-disk case is not run"
fi

# --- one run at a time in a folder; a stale lock is taken over ----------------------------
d=$WORK/lock
mkdir -p "$d"
cp "$SRC/examples/vertebrates_free_thorough/"* "$d/"
(cd "$d" && exec "$FREEML" >first.txt 2>&1) &
first=$!
for _ in $(seq 50); do [ -s "$d/zelvo.lock" ] && break; sleep 0.1; done
(cd "$d" && "$FREEML" >second.txt 2>&1; echo $? >second.status)
sleep 0.5  # into the search, where Ctrl-C ends the run with its reports
kill -INT "$first" 2>/dev/null; wait "$first"
if [ "$(cat "$d/second.status")" = 1 ] &&
    grep -qx "Error: another run (process $first) is using the folder $d; wait for it to end, or run in another folder" "$d/second.txt"; then
    ok "a second run in the folder is refused"
else
    fail "second run: status $(cat "$d/second.status"): $(cat "$d/second.txt")"
fi
[ -e "$d/zelvo.lock" ] && fail "the lock file outlived its run"
d=$(printf '4 12 1 0 0 0 0\nalpha      ACGTACGTACGT\nbeta       ACGTACGAACGT\ngamma      ACGTTCGAACGT\ndelta      ACCTTCGAACGA\n' | folder stale brown_free)
echo 99999999 >"$d/zelvo.lock"  # left by a killed run: nobody holds it
(cd "$d" && "$FREEML" >stdout.txt 2>&1; echo $? >status.txt)
if [ "$(cat "$d/status.txt")" = 0 ] && [ ! -e "$d/zelvo.lock" ]; then ok "a stale lock file is taken over"; else fail "stale lock: status $(cat "$d/status.txt")"; fi

# --- links are never written through: a symbolic lock is refused by name, a part file ------
# --- left as a link (symbolic or hard) to a file elsewhere is replaced, not written --------
victim=$WORK/victim; echo "a file of the folder's owner elsewhere" >"$victim"; cp "$victim" "$WORK/victim.orig"
d=$(printf '4 12 1 0 0 0 0\nalpha      ACGTACGTACGT\nbeta       ACGTACGAACGT\ngamma      ACGTTCGAACGT\ndelta      ACCTTCGAACGA\n' | folder links brown_free)
ln -s "$victim" "$d/zelvo.lock"
(cd "$d" && "$FREEML" >stdout.txt 2>&1; echo $? >status.txt)
[ "$(cat "$d/status.txt")" = 1 ] &&
    grep -qx "Error: cannot lock the folder $d (zelvo.lock): it is a symbolic link, which a run never writes through; remove it if no run of yours made it" "$d/stdout.txt" ||
    fail "symbolic lock: status $(cat "$d/status.txt"): $(cat "$d/stdout.txt")"
rm "$d/zelvo.lock"
ln -s "$victim" "$d/results.part"; ln -s "$victim" "$d/runlog.part"; ln "$victim" "$d/besttree.part"
(cd "$d" && "$FREEML" >stdout.txt 2>&1; echo $? >status.txt)
[ "$(cat "$d/status.txt")" = 0 ] && [ -f "$d/results" ] && [ ! -L "$d/results" ] && [ ! -L "$d/runlog" ] ||
    fail "linked part files: status $(cat "$d/status.txt"): $(tail -1 "$d/stdout.txt")"
cmp -s "$victim" "$WORK/victim.orig" && ok "links are never written through" || fail "a run wrote through a link to $victim"

# --- names are counted and padded in characters -----------------------------------------
d=$(printf '4 12 1 0 0 0 0\nÆðþœøå     ACGTACGTACGT\nbeta       ACGTACGAACGT\ngamma      ACGTTCGAACGT\ndelta      ACCTTCGAACGA\n' | folder utf8 brown_free)
(cd "$d" && "$FREEML" >stdout.txt 2>&1; echo $? >status.txt)
if [ "$(cat "$d/status.txt")" = 0 ] && grep -qx "Æðþœøå     ACGTACGTACGT" "$d/paupfile.nex" &&
    grep -q "Æðþœøå" "$d/treefile"; then
    ok "a six-character UTF-8 name"
else
    fail "utf8 name: status $(cat "$d/status.txt"): $(tail -1 "$d/stdout.txt")"
fi
d=$(printf '4 12 1 0 0 0 0\nÆðþœøåÆðþœø ACGTACGTACGT\nbeta       ACGTACGAACGT\ngamma      ACGTTCGAACGT\ndelta      ACCTTCGAACGA\n' | folder utf8_long brown_free)
(cd "$d" && "$FREEML" >stdout.txt 2>&1; echo $? >status.txt)
grep -q "is longer than 10 characters" "$d/stdout.txt" && [ "$(cat "$d/status.txt")" = 1 ] &&
    ok "an eleven-character UTF-8 name is too long" || fail "utf8_long: $(tail -1 "$d/stdout.txt")"
finish
