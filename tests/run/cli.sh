# --help and --version answer on standard output with status 0 and touch no file; any
# other argument gets one line on standard error naming it and status 1, and no run.
source "$(dirname "$0")/lib.bash"

for prog in "$CLOCKML" "$FREEML"; do
    name=$(basename "$prog")
    d=$(mktemp -d)
    cp "$SRC/examples/brown_clock/"* "$d/"
    before=$(ls -l --time-style=full-iso "$d")
    out=$(cd "$d" && "$prog" --help); st=$?
    [ "$st" = 0 ] || fail "$name --help: status $st"
    head -1 <<<"$out" | grep -qx "Usage: $name \[--help | --version\]" || fail "$name --help: usage line"
    for word in infile settings results besttree treefile paupfile.nex README.md "man $name"; do
        grep -qF "$word" <<<"$out" || fail "$name --help does not mention $word"
    done
    ver=$(cd "$d" && "$prog" --version); st=$?
    [ "$st" = 0 ] || fail "$name --version: status $st"
    grep -qx "$name 1.0 (.*)" <<<"$ver" || fail "$name --version: '$ver'"
    for arg in -h --verbose infile; do
        err=$(cd "$d" && "$prog" "$arg" 2>&1 >/dev/null); st=$?
        [ "$st" = 1 ] || fail "$name $arg: status $st"
        [ "$err" = "$name: unknown argument '$arg' (try '$name --help')" ] || fail "$name $arg: '$err'"
    done
    [ "$(ls -l --time-style=full-iso "$d")" = "$before" ] || fail "$name: the folder changed"
    # The manual page agrees with --help on the options and the files.
    man="$SRC/man/$name.1"
    if [ -f "$man" ]; then
        for word in --help --version infile settings results besttree treefile paupfile.nex; do
            grep -qF -- "${word//-/\\-}" "$man" || grep -qF -- "$word" "$man" || fail "$man lacks $word"
        done
    else
        fail "$man missing"
    fi
    rm -rf "$d"
    ok "$name command line"
done
finish
