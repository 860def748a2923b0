# --help and --version answer on standard output with status 0 and touch no file; any
# other argument gets one line on standard error naming it and status 1, and no run.
# --write-settings writes the recommended settings once; --replicates runs searches whose
# reports are those of plain runs with the derived seeds, whatever --jobs is.
source "$(dirname "$0")/lib.bash"
WORK_CLI=$(mktemp -d)
trap 'rm -rf "$WORK_CLI"' EXIT

for prog in "$CLOCKML" "$FREEML"; do
    name=$(basename "$prog")
    d=$(mktemp -d)
    cp "$SRC/examples/brown_clock/"* "$d/"
    before=$(ls -l --time-style=full-iso "$d")
    out=$(cd "$d" && "$prog" --help); st=$?
    [ "$st" = 0 ] || fail "$name --help: status $st"
    head -1 <<<"$out" | grep -qx "Usage: $name \[--help | --version | --write-settings | --replicates R \[--jobs J\]\]" || fail "$name --help: usage line"
    for word in infile settings results besttree treefile paupfile.nex doc/input.md "man $name"; do
        grep -qF "$word" <<<"$out" || fail "$name --help does not mention $word"
    done
    ver=$(cd "$d" && "$prog" --version); st=$?
    [ "$st" = 0 ] || fail "$name --version: status $st"
    grep -qx "$name 1.0 (.*)" <<<"$ver" || fail "$name --version: '$ver'"
    for arg in -h --verbose infile --jobs; do
        err=$(cd "$d" && "$prog" "$arg" 2>&1 >/dev/null); st=$?
        [ "$st" = 1 ] || fail "$name $arg: status $st"
        case $arg in
            --jobs) want="$name: --jobs needs a whole number from 1 to 999" ;;
            *) want="$name: unknown argument '$arg' (try '$name --help')" ;;
        esac
        [ "$err" = "$want" ] || fail "$name $arg: '$err'"
    done
    [ "$(ls -l --time-style=full-iso "$d")" = "$before" ] || fail "$name: the folder changed"
    # The manual page agrees with --help on the options and the files.
    # The build makes the pages beside the programs; they describe every settings line.
    man="$(dirname "$prog")/man/$name.1"
    if [ -f "$man" ]; then
        for word in --help --version --write-settings --replicates --jobs infile settings results besttree treefile paupfile.nex best.tre runlog; do
            grep -qF -- "${word//-/\\-}" "$man" || grep -qF -- "$word" "$man" || fail "$man lacks $word"
        done
        k=0
        kind=${name%ml}
        while read -r label _; do
            k=$((k + 1))
            grep -qx "\.B $k $label" "$man" || fail "$man does not describe settings line $k ($label)"
        done < <(awk '{ print $1 }' "$SRC/examples/vertebrates_${kind}_thorough/settings")
    else
        fail "$man missing"
    fi
    rm -rf "$d"

    # The written settings are the thorough example's values, and a second write is refused.
    d=$(mktemp -d)
    ex=vertebrates_clock_thorough; [ "$name" = freeml ] && ex=vertebrates_free_thorough
    (cd "$d" && "$prog" --write-settings >/dev/null) || fail "$name --write-settings: status $?"
    diff <(awk '{ print $2 + 0 }' "$d/settings") <(awk '{ print $2 + 0 }' "$SRC/examples/$ex/settings") >/dev/null ||
        fail "$name --write-settings: values differ from $ex"
    (cd "$d" && "$prog" --write-settings 2>/dev/null) && fail "$name --write-settings overwrote settings"
    rm -rf "$d"

    # Three replicates, one and two at a time: equal summaries and reports; the second
    # replicate is the plain run with its seeds; the best one's reports are copied up.
    ex=brown_clock; [ "$name" = freeml ] && ex=brown_free
    for j in 1 2; do
        d=$WORK_CLI/$name-$j; mkdir -p "$d"; cp "$SRC/examples/$ex/"* "$d/"
        (cd "$d" && "$prog" --replicates 3 --jobs $j >/dev/null) || fail "$name --replicates 3 --jobs $j: status $?"
    done
    a=$WORK_CLI/$name-1 b=$WORK_CLI/$name-2
    cmp -s "$a/replicates" "$b/replicates" || fail "$name: the summary depends on --jobs"
    for f in besttree treefile paupfile.nex rep-003/besttree; do cmp -s "$a/$f" "$b/$f" || fail "$name: $f depends on --jobs"; done
    p=$WORK_CLI/$name-plain; mkdir -p "$p"; cp "$SRC/examples/$ex/"* "$p/"
    s1=$(awk '/^seed1/ { print $2 }' "$a/rep-002/settings"); s2=$(awk '/^seed2/ { print $2 }' "$a/rep-002/settings")
    sed -i "s/^seed1 .*/seed1 $s1/; s/^seed2 .*/seed2 $s2/" "$p/settings"
    (cd "$p" && "$prog" >/dev/null)
    for f in besttree treefile paupfile.nex; do cmp -s "$p/$f" "$a/rep-002/$f" || fail "$name: rep-002/$f is not the plain run's"; done
    best=$(sed -n 's/^The best tree is that of \(rep-[0-9]*\) .*/\1/p' "$a/replicates")
    [ -n "$best" ] && cmp -s "$a/treefile" "$a/$best/treefile" || fail "$name: the best replicate's treefile was not copied"
    grep -q "of the 3 replicates with a tree found its topology" "$a/replicates" || fail "$name: summary line"
    ok "$name command line"
done
finish
