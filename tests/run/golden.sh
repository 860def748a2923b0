# Every shipped example reproduces its recorded reports byte for byte (timing lines
# aside): speed work and new features must not change a printed digit.
source "$(dirname "$0")/lib.bash"

for ex in $(ls "$SRC/tests/golden"); do
    case $ex in
        *_clock) prog=$CLOCKML ;;
        *_free) prog=$FREEML ;;
        *) continue ;;
    esac
    d=$(run_in_copy "$prog" "$ex")
    [ "$(cat "$d/status.txt")" = 0 ] || fail "$ex: exit status $(cat "$d/status.txt")"
    grep -v "Time to perform" "$d/results" >"$d/results.notime"
    cmp -s "$d/results.notime" "$SRC/tests/golden/$ex/results" || fail "$ex: results differ from the recorded run"
    cmp -s "$d/stdout.txt" "$SRC/tests/golden/$ex/stdout" || fail "$ex: standard output differs from the recorded run"
    for f in besttree treefile paupfile.nex; do
        cmp -s "$d/$f" "$SRC/tests/golden/$ex/$f" || fail "$ex: $f differs from the recorded run"
    done
    ok "$ex matches its recorded run"
    rm -rf "$d"
done
finish
