# Whole runs of every shipped example: exit status, the four reports, determinism,
# Newick text, the order of the run report and the NEXUS blocks.
source "$(dirname "$0")/lib.bash"

for ex in $(ls "$SRC/examples"); do
    [ -d "$SRC/examples/$ex" ] || continue
    case $ex in
        *_clock) prog=$CLOCKML ;;
        *_free) prog=$FREEML ;;
        *) continue ;;
    esac
    d1=$(run_in_copy "$prog" "$ex")
    d2=$(run_in_copy "$prog" "$ex")
    st=$(cat "$d1/status.txt")
    if [ "$st" != 0 ]; then fail "$ex: exit status $st"; cat "$d1/stdout.txt" | tail -5; continue; fi
    for f in results besttree treefile paupfile.nex; do
        [ -s "$d1/$f" ] || fail "$ex: $f missing or empty"
    done
    for f in besttree treefile paupfile.nex stdout.txt; do
        cmp -s "$d1/$f" "$d2/$f" || fail "$ex: $f differs between two equal runs"
    done
    if ! diff <(grep -v "Time to perform" "$d1/results") <(grep -v "Time to perform" "$d2/results") >/dev/null; then
        fail "$ex: results differ between two equal runs"
    fi
    # taxon names of the alignment
    awk 'NR == 1 { n = $1; next } NR <= n + 1 { print $1 }' "$d1/infile" >"$d1/names.txt"
    if grep -q " 2 " <(head -1 "$d1/infile"); then :; fi
    while IFS= read -r line; do
        case $line in
            *"("*) msg=$(check_newick_line "$line" "$d1/names.txt") || fail "$ex: treefile tree: $msg: $line" ;;
        esac
    done <"$d1/treefile"
    grep -q "^The best tree and branch lengths found by the algorithm:" "$d1/treefile" || fail "$ex: no best tree"
    # the run report in its order
    prev=0
    for key in "The number of iterations during the burnin period" "iterations after last unique tree" \
               "trials within each tree" "The value of beta" "The estimated value of co" \
               "The number of iterations was" "The final value of ci" "overall number of topology changes" \
               "total number of trees accepted" "The final estimate of mu" "mu associated with the best tree" \
               "maximum unconstrained likelihood" "================"; do
        ln=$(grep -n -m1 -F "$key" "$d1/results" | cut -d: -f1)
        if [ -z "$ln" ] || [ "$ln" -le "$prev" ]; then fail "$ex: report line '$key' missing or out of order"; break; fi
        prev=$ln
    done
    grep -q "^Begin data;" <(sed 's/^ *//' "$d1/paupfile.nex") || fail "$ex: no data block"
    grep -q "^Begin trees;" "$d1/paupfile.nex" || fail "$ex: no trees block"
    grep -q "^Begin paup;" "$d1/paupfile.nex" || fail "$ex: no paup block"
    ok "$ex"
    rm -rf "$d1" "$d2"
done
finish
