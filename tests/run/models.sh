# Models chosen by name: --model and the settings line model_spec give the same run; the
# reports name the model and its estimates, paupfile.nex re-scores under it, the replicate
# folders carry it; a bad model string or two different models are refused by name.
source "$(dirname "$0")/lib.bash"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

setup() {  # dir example
    mkdir -p "$1"; cp "$SRC/examples/$2/"* "$1/"
    sed -i 's/^max_iter .*/max_iter         600/' "$1/settings"
}

for prog in "$FREEML" "$CLOCKML"; do
    name=$(basename "$prog")
    ex=brown_free; [ "$name" = clockml ] && ex=brown_clock
    a=$WORK/$name-option; setup "$a" $ex
    (cd "$a" && "$prog" --model GTR+I+G4 >stdout.txt 2>&1) || { fail "$name --model GTR+I+G4: status $?"; continue; }
    grep -q "^The GTR+F+I+G4 Model will be used$" "$a/results" || fail "$name: results does not name the model"
    for line in "The model is GTR+F+I+G4; its estimates with the best tree, whose log-likelihood is -" \
        "The final estimate of the exchange rates of A-C, A-G, A-T, C-G, C-T and G-T are " \
        "The final estimate of the Gamma shape alpha is " \
        "The final estimate of the proportion of invariable sites is " \
        "The base frequencies are A "; do
        grep -qF " $line" "$a/results" || fail "$name: results lacks '$line'"
    done
    best=$(sed -n 's/.*the best tree, whose log-likelihood is \(.*\):$/\1/p' "$a/results")
    grep -q "ln L at first hit:  $best\|Max ln L for tree:  $best" "$a/besttree" || fail "$name: besttree's first tree is not the reported best ($best)"
    grep -q "^lset nst=6 rmatrix=([0-9.e -]*) basefreq=empirical rates=gamma shape=[0-9.e-]* ncat=4 reprate=mean pinvar=[0-9.e-]* clock=" "$a/paupfile.nex" ||
        fail "$name: paupfile.nex lset: $(grep lset "$a/paupfile.nex")"
    grep -q "^  model_spec  *GTR+I+G4 " "$a/runlog" || fail "$name: the runlog does not record the model"
    # The same model by the folder's settings: the same reports.
    b=$WORK/$name-line; setup "$b" $ex
    echo "model_spec         GTR+I+G4" >>"$b/settings"
    (cd "$b" && "$prog" >/dev/null 2>&1) || fail "$name model_spec line: status $?"
    # (clockml's timing lines aside)
    for f in results besttree treefile paupfile.nex best.tre; do
        cmp -s <(grep -v "Time to perform" "$a/$f") <(grep -v "Time to perform" "$b/$f") ||
            fail "$name: $f differs between --model and the settings line"
    done
    ok "$name: a named model by option and by settings line"
done

# Refusals: a misspelt model, a bad modifier, two different models, a line nobody knows.
d=$WORK/refuse; setup "$d" brown_free
out=$(cd "$d" && "$FREEML" --model GTR+X 2>&1); st=$?
[ "$st" = 1 ] && [ "$out" = "freeml: --model GTR+X: '+X' is not a modifier this program knows (+F, +FQ, +I, +G)" ] || fail "bad modifier: $st '$out'"
out=$(cd "$d" && "$FREEML" --model WAG 2>&1); st=$?
[ "$st" = 1 ] && [ "$out" = "freeml: --model WAG: 'WAG' is not a model this program knows (JC, K2P, F84, HKY, TN93, GTR)" ] || fail "unknown model: $st '$out'"
echo "model_spec         HKY+G4" >>"$d/settings"
out=$(cd "$d" && "$FREEML" --model GTR 2>&1 | grep Error); 
[ "$out" = "Error in settings: its line model_spec names the model HKY+G4, but --model asks for GTR; give one of them" ] || fail "two models: '$out'"
sed -i 's/^model_spec .*/modelspec          HKY+G4/' "$d/settings"
out=$(cd "$d" && "$FREEML" 2>&1 | grep Error)
[ "$out" = "Error in settings, line 23: 'modelspec' follows the 22 settings lines; only a line model_spec (a model such as GTR+G4), a line stop_flat (a rise and a number of moves), a line local_opt or newton_guard (0 or 1) or a comment starting with '#' may follow them" ] || fail "unknown line: '$out'"
ok "model refusals"

# Replicates carry the model into every folder, and their summary names it.
r=$WORK/reps; setup "$r" brown_free
(cd "$r" && "$FREEML" --replicates 2 --jobs 2 --model HKY+G4 >/dev/null) || fail "replicates with a model: status $?"
grep -q "^model_spec  *HKY+G4 " "$r/rep-002/settings" || fail "rep-002/settings lacks the model"
grep -q "^Replicate searches of freeml under HKY+G4: 2 requested$" "$r/replicates" || fail "replicates does not name the model"
grep -q "^The HKY+F+G4 Model will be used$" "$r/rep-002/results" || fail "rep-002 did not run the model"
ok "replicates under a named model"
finish
