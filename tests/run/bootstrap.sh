# Bootstrap replicates: the same files for any --jobs; the original search is the plain
# run; the support tree is the best tree with labels; folders prepared for a workflow
# engine, run one by one and summarised give the same files; Ctrl-C writes the support of
# the replicates that completed. With snakemake installed, the workflow gives them too.
source "$(dirname "$0")/lib.bash"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
SUMMARY="replicates bootstrap supporttree consensus.tre besttree treefile paupfile.nex best.tre"

same_files() {  # label dir-a dir-b
    for f in $SUMMARY; do cmp -s "$2/$f" "$3/$f" || fail "$1: $f differs"; done
}

for prog in "$FREEML" "$CLOCKML"; do
    name=$(basename "$prog")
    ex=brown_free; [ "$name" = clockml ] && ex=mtprim9_clock
    for j in 1 2; do
        d=$WORK/$name-$j; mkdir -p "$d"; cp "$SRC/examples/$ex/"* "$d/"
        sed -i 's/^max_iter .*/max_iter         1500/' "$d/settings"
        (cd "$d" && "$prog" --bootstrap 5 --jobs $j >stdout.txt) || fail "$name --bootstrap 5 --jobs $j: status $?"
    done
    a=$WORK/$name-1
    same_files "$name --jobs 1 and 2" "$a" "$WORK/$name-2"
    grep -q "^Bootstrap of $name: 5 replicates requested; the support below is that of the 5 that completed$" "$a/bootstrap" ||
        fail "$name: bootstrap heading"
    [ "$(grep -c '^boot-00[1-5] .* complete ' "$a/bootstrap")" = 5 ] || fail "$name: bootstrap lists 5 complete replicates"
    grep -q "^Bootstrap replicate: the [0-9]* sites used were drawn again" "$a/boot-003/results" || fail "$name: boot-003 was not resampled"
    # The support tree is the best tree with a whole percentage after each inner ')'.
    sed -E 's/\)[0-9]+/)/g' "$a/supporttree" | cmp -s - "$a/best.tre" || fail "$name: supporttree is not best.tre with labels"
    labels=$(grep -o ')[0-9]*' "$a/supporttree" | grep -c ')[0-9]')
    inner=$(grep -o ')' "$a/best.tre" | wc -l)
    # Every inner node but the root holds a split (or clade) of two taxa or more.
    [ "$labels" = $((inner - 1)) ] || fail "$name: $labels support labels for $inner inner nodes"
    grep -q "^tree support = \[&[UR]\] (" "$a/paupfile.nex" && grep -q "^tree consensus = \[&[UR]\] (" "$a/paupfile.nex" ||
        fail "$name: paupfile.nex lacks the support trees"
    # The original search is the plain run of the folder.
    p=$WORK/$name-plain; mkdir -p "$p"; cp "$SRC/examples/$ex/"* "$p/"
    sed -i 's/^max_iter .*/max_iter         1500/' "$p/settings"
    (cd "$p" && "$prog" >/dev/null)
    for f in besttree treefile best.tre; do cmp -s "$p/$f" "$a/rep-001/$f" || fail "$name: rep-001/$f is not the plain run's"; done

    # The workflow's way: prepare, run each folder, summarise.
    w=$WORK/$name-steps; mkdir -p "$w"; cp "$SRC/examples/$ex/"* "$w/"
    sed -i 's/^max_iter .*/max_iter         1500/' "$w/settings"
    (cd "$w" && "$prog" --bootstrap 5 --prepare >/dev/null) || fail "$name --prepare: status $?"
    [ -e "$w/boot-005/settings" ] && [ ! -e "$w/boot-005/treefile" ] || fail "$name --prepare ran a search"
    for f in "$w"/rep-* "$w"/boot-*; do
        arg=; case $f in */boot-*) arg=--resample ;; esac
        (cd "$f" && "$prog" $arg >console) || fail "$name: $f failed"
    done
    (cd "$w" && "$prog" --summarise rep-001 boot-00[1-5] >/dev/null) || fail "$name --summarise: status $?"
    same_files "$name --summarise" "$a" "$w"
    ok "$name: bootstrap"
done

# Misuse is refused before anything is written.
d=$WORK/misuse; mkdir -p "$d"
out=$(cd "$d" && "$FREEML" --summarise rep-001 2>&1); st=$?
[ "$st" = 1 ] && [ "$out" = "Error: cannot summarise rep-001: No such file or directory; nothing is written" ] || fail "--summarise of a missing folder: $st '$out'"
out=$(cd "$d" && "$FREEML" --resample --bootstrap 3 2>&1); st=$?
[ "$st" = 1 ] && [ "$out" = "freeml: --resample makes one run a bootstrap replicate and goes alone (try 'freeml --help')" ] || fail "--resample --bootstrap: $st '$out'"
[ -z "$(ls "$d")" ] || fail "misuse wrote files: $(ls "$d")"

# Ctrl-C: the replicates stop, the support comes from those that completed (none here).
d=$WORK/interrupted; mkdir -p "$d"; cp "$SRC/examples/brown_free/"* "$d/"
cp "$SRC/tests/data/soak30.infile" "$d/infile"
sed -i -e 's/^max_iter .*/max_iter         1000000000/' -e 's/^stop_mult .*/stop_mult        1000000/' "$d/settings"
(cd "$d" && exec "$FREEML" --bootstrap 3 --jobs 2 >stdout.txt) &
pid=$!
sleep 2
kill -INT $pid
wait $pid
st=$?
[ "$st" = 130 ] || fail "interrupted bootstrap: status $st, want 130"
grep -q "the support below is that of the 0 that completed (3 did not" "$d/bootstrap" || fail "interrupted bootstrap: no count of completed replicates"
grep -q "^The best tree and branch lengths" "$d/treefile" || fail "interrupted bootstrap: no best tree"
ok "interrupted bootstrap"

# The workflow with Snakemake on this machine: two genes, the same files as the options.
if command -v snakemake >/dev/null; then
    w=$WORK/workflow; mkdir -p "$w"
    cp "$SRC/workflow/Snakefile" "$w/"
    cat >"$w/config.yaml" <<CONF
program: freeml
bin: $(dirname "$FREEML")
settings: $SRC/examples/brown_free/settings
replicates: 2
bootstrap: 3
genes:
  brown: $SRC/examples/brown_free/infile
  dna: $SRC/examples/dna_free/infile
CONF
    (cd "$w" && snakemake --cores 2 --configfile config.yaml -q >snakemake.out 2>&1) || { fail "snakemake: $(tail -3 "$w/snakemake.out")"; }
    for gene in brown dna; do
        l=$WORK/local-$gene; mkdir -p "$l"
        cp "$SRC/examples/brown_free/settings" "$l/"; cp "$SRC/examples/${gene}_free/infile" "$l/"
        (cd "$l" && "$FREEML" --replicates 2 --bootstrap 3 --jobs 2 >/dev/null)
        same_files "workflow $gene" "$w/results/$gene" "$l"
    done
    [ "$(wc -l <"$w/results/gene_trees.tre")" = 2 ] || fail "workflow: gene_trees.tre does not hold two trees"
    for gene in brown dna; do
        t=$(cat "$w/results/$gene/supporttree")
        grep -qxF "  tree $gene = $t" "$w/results/gene_trees.nex" &&
            grep -qxF "$gene	$t" "$w/results/gene_trees.tsv" || fail "workflow: $gene's tree is not named in gene_trees.nex/.tsv"
    done
    ok "workflow (snakemake --cores 2)"
else
    echo "snakemake is not installed: the workflow part is left out"
fi
finish
