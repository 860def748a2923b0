# The one-command form (-s FILE) writes, byte for byte, the reports of the same run made in
# a folder by hand; it refuses a folder that holds reports unless --redo, and keeps the
# folder's own settings on a rerun.
source "$(dirname "$0")/lib.bash"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

# freeml on a FASTA file with the recommended settings, against the folder form.
awk 'NR > 1 { name = substr($0, 1, 10); sub(/ +$/, "", name); seq = substr($0, 11); gsub(/ /, "", seq);
              print ">" name; for (i = 1; i <= length(seq); i += 60) print substr(seq, i, 60) }' \
    "$SRC/examples/brown_free/infile" > brown.fasta
"$FREEML" -s brown.fasta > out.txt 2>&1 || fail "freeml -s: status $?"
mkdir hand && cp brown.fasta hand/infile
(cd hand && "$FREEML" --write-settings >/dev/null && "$FREEML" >/dev/null 2>&1) || fail "folder form: status $?"
cmp -s brown.fasta brown.fasta.freeml/infile || fail "the folder's infile is not the alignment"
same_reports "freeml -s" hand brown.fasta.freeml "the folder form's" && ok "freeml -s: reports equal the folder form's"
best=$(sed -n 's/^Log-likelihood of the best tree (its branch lengths optimised): //p' out.txt)
grep -q -- "$best" hand/besttree && [ -n "$best" ] || fail "the summary's log-likelihood '$best' is not the best tree's"
grep -q "^Best tree: *brown.fasta.freeml/best.tre" out.txt || fail "the summary does not say where the best tree is"

# A folder with reports is refused without --redo; --redo keeps the folder's settings.
sed -i 's/^seed1 .*/seed1            4242/' brown.fasta.freeml/settings
out=$("$FREEML" -s brown.fasta 2>&1); st=$?
[ "$st" = 1 ] && [[ "$out" == *"brown.fasta.freeml already holds"*"--redo"* ]] || fail "reports not protected: $st '$out'"
"$FREEML" -s brown.fasta --redo >/dev/null 2>&1 || fail "--redo: status $?"
grep -q "seed1 *4242" brown.fasta.freeml/runlog || fail "--redo did not keep the folder's settings"
out=$("$FREEML" --prefix x 2>&1); st=$?
[ "$st" = 1 ] && [[ "$out" == *"--prefix goes with -s"* ]] || fail "--prefix alone accepted: $st '$out'"

# clockml with a model, a settings file and a prefix of its own.
cp "$SRC/examples/mtprim9_clock/settings" short.settings
sed -i 's/^max_iter .*/max_iter         300/' short.settings
"$CLOCKML" -s "$SRC/examples/mtprim9_clock/infile" --prefix run9 --settings short.settings \
    --model HKY+G4 > out9.txt 2>&1 || fail "clockml -s: status $?"
mkdir hand9 && cp "$SRC/examples/mtprim9_clock/infile" short.settings hand9/ && mv hand9/short.settings hand9/settings
(cd hand9 && "$CLOCKML" --model HKY+G4 >/dev/null 2>&1) || fail "clockml folder form: status $?"
same_reports "clockml -s --model HKY+G4" hand9 run9 "the folder form's" && ok "clockml -s: reports equal the folder form's"
grep -q "^  the transition/transversion rate ratio kappa is" out9.txt || fail "the summary lacks the model's estimates"
[ $FAILS = 0 ] && ok "one command"
exit $((FAILS > 0))
