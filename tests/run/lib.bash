# Helpers of the whole-run tests (sourced).
set -u
CLOCKML=$1
FREEML=$2
SRC=$3
FAILS=0

fail() { echo "FAIL: $*"; FAILS=$((FAILS + 1)); }
ok() { echo "ok: $*"; }

# Two runs wrote the same reports, byte for byte but for clockml's two timing lines
# (processor time); else one failure naming the first report that differs.
same_reports() {  # label dir-a dir-b what-b-is-compared-with
    local f
    for f in results besttree treefile paupfile.nex best.tre; do
        cmp -s <(grep -v "Time to perform" "$2/$f") <(grep -v "Time to perform" "$3/$f") ||
            { fail "$1: $f differs from $4"; return 1; }
    done
}

# Runs a program in a fresh copy of an example folder; prints the folder.
run_in_copy() {  # program example-folder
    local dir
    dir=$(mktemp -d)
    cp "$SRC/examples/$2/"* "$dir/"
    (cd "$dir" && "$1" >stdout.txt 2>stderr.txt; echo $? >status.txt)
    echo "$dir"
}

# Every tree line of a Newick text must balance its parentheses and hold each taxon once.
check_newick_line() {  # line, names-file
    awk -v names="$2" 'BEGIN { while ((getline n < names) > 0) want[n] = 1 }
        {
            line = $0; sub(/^\[[^]]*\] */, "", line); sub(/;$/, "", line)
            depth = 0
            for (i = 1; i <= length(line); i++) {
                c = substr(line, i, 1)
                if (c == "(") depth++
                if (c == ")") depth--
                if (depth < 0) { print "unbalanced"; exit 1 }
            }
            if (depth != 0) { print "unbalanced"; exit 1 }
            gsub(/:[-0-9.e]+/, "", line); gsub(/[()]/, "", line)
            n = split(line, parts, ",")
            for (i = 1; i <= n; i++) { if (!(parts[i] in want) || seen[parts[i]]++) { print "bad taxon " parts[i]; exit 1 } }
            for (w in want) if (!(w in seen)) { print "missing " w; exit 1 }
        }' <<<"$1"
}

finish() {
    if [ "$FAILS" -gt 0 ]; then echo "$FAILS failures"; exit 1; fi
    echo "all passed"
}
