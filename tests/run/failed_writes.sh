# A report that cannot be written whole is a failed run: the file is named on standard
# output and the exit status is 1, whether it fails on opening (a directory in its place,
# a read-only folder) or while writing (a file size limit; the full disk is in
# reliability.sh). A write that fails at the start stops the run before its search.
source "$(dirname "$0")/lib.bash"

WORK=$(mktemp -d)
trap 'chmod -R u+w "$WORK"; rm -rf "$WORK"' EXIT

# Runs prog in a copy of an example after `prepare` has spoiled the folder (under a file
# size limit of $LIMIT blocks when set); checks the status and that a line of standard
# output matches the given pattern.
case_run() {  # name program example expected-line prepare-command...
    local name=$1 prog=$2 ex=$3 want=$4 dir=$WORK/$1
    shift 4
    mkdir -p "$dir"
    cp "$SRC/examples/$ex/"* "$dir/"
    sed -i 's/^max_iter .*/max_iter         300/' "$dir/settings"
    (cd "$dir" && "$@")
    (
        cd "$dir" || exit
        if [ -n "${LIMIT:-}" ]; then ulimit -f "$LIMIT"; trap '' XFSZ; fi
        "$prog" >../$name.out 2>../$name.err
        echo $? >../$name.status
    )
    local st; st=$(cat "$WORK/$name.status")
    [ "$st" = 1 ] || { fail "$name: exit status $st, want 1"; return; }
    grep -qx "$want" "$WORK/$name.out" || { fail "$name: no line '$want'"; tail -3 "$WORK/$name.out"; return; }
    ok "$name"
}

case_run treefile_directory "$FREEML" dna_free "Can't open treefile: Is a directory" mkdir treefile.part
# A report written whole that cannot take its name is a failed run too.
case_run besttree_directory "$CLOCKML" mtprim9_clock \
    "Error writing besttree: cannot rename besttree.part to besttree: Is a directory" mkdir besttree
# A file size limit stops the writes part way; the signal it raises is ignored so that
# the write itself fails.
LIMIT=2 case_run size_limit "$CLOCKML" mtprim9_clock "Error writing [a-z.]*: File too large.*" true
if [ "$(id -u)" != 0 ]; then
    case_run read_only_folder "$FREEML" brown_free \
        "Error: cannot lock the folder .* (zelvo.lock): Permission denied" chmod a-w .
fi
finish
