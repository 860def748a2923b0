# Malformed inputs of whole runs: each case writes one input file over a small valid
# folder, runs the program and checks the exit status, the first line of the diagnostic
# and that no report claims a finished run. CRLF line ends and a missing final newline
# are ordinary input and must give a complete run.
source "$(dirname "$0")/lib.bash"

WORK=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$WORK"' EXIT

INFILE='4 12 1 0 0 0 0
alpha      ACGTACGTACGT
beta       ACGTACGAACGT
gamma      ACGTTCGAACGT
delta      ACCTTCGAACGA
'
SEQS='alpha      ACGTACGTACGT
beta       ACGTACGAACGT
gamma      ACGTTCGAACGT
delta      ACCTTCGAACGA
'
CLOCK_SETTINGS='model            4
keep_gaps        0
burnin_iter      50
burnin_prob      0.9
trial_prob       0.05
stop_mult        50
print_patterns   0
print_alignment  0
beta_num         1.0
beta_frac        0.5
improve_tol      0.001
n_keep           5
max_iter         300
beta_len         10.0
estimate         0
use_lin_info     1
accept_prob2     0.5
delta_lnl2       1.0
final_opt        0
nreps            0
seed1            12345
seed2            67890
'
FREE_SETTINGS='model            2
keep_gaps        0
burnin_iter      50
burnin_prob      0.9
trial_prob       0.05
stop_mult        50
print_patterns   0
print_alignment  0
beta_num         1.0
beta_frac        0.5
improve_tol      0.001
n_keep           5
max_iter         300
beta_len         10.0
estimate         0
accept_prob2     0.5
delta_lnl2       1.0
gamma_shape      20.0
final_opt        0
nreps            0
seed1            12345
seed2            67890
'
LIN_INFO='1 1.0 1.0
2 1.0 1.0
3 1.0 1.0
4 1.0 1.0
'
CASES=0

# Bytes 1..255 from a fixed linear congruential sequence.
junk() {  # seed count
    local x=$1 i out=''
    for ((i = 0; i < $2; i++)); do
        x=$(((x * 1103515245 + 12345) % 2147483648))
        out+=$(printf '\\x%02x' $(((x >> 16) % 255 + 1)))
    done
    printf "$out"
}

# One setting replaced: settings text with line "name value".
clock_with() { sed "s/^$1 .*/$1 $2/" <<<"$CLOCK_SETTINGS"; }
free_with() { sed "s/^$1 .*/$1 $2/" <<<"$FREE_SETTINGS"; }

# Runs prog (clock|free) in a fresh folder where file (or "-" for none) holds the text
# on standard input; "missing:<file>" removes that file instead.
run_case() {  # name prog file
    local dir=$WORK/$1
    rm -rf "$dir"; mkdir -p "$dir"
    printf '%s' "$INFILE" >"$dir/infile"
    if [ "$2" = clock ]; then
        printf '%s' "$CLOCK_SETTINGS" >"$dir/settings"
        printf '%s' "$LIN_INFO" >"$dir/lin_info"
    else
        printf '%s' "$FREE_SETTINGS" >"$dir/settings"
    fi
    case $1 in
        infile_dev_zero) rm -f "$dir/infile"; ln -s /dev/zero "$dir/infile"; cat >/dev/null ;;
        settings_folder) rm -f "$dir/settings"; mkdir "$dir/settings"; cat >/dev/null ;;
        *)
            case $3 in
                missing:*) rm -f "$dir/${3#missing:}"; cat >/dev/null ;;
                *) cat >"$dir/$3" ;;
            esac ;;
    esac
    local prog=$CLOCKML
    [ "$2" = free ] && prog=$FREEML
    (cd "$dir" && timeout 60 "$prog" >stdout.txt 2>stderr.txt; echo $? >status.txt)
    echo "$dir"
}

# The first line of a diagnostic on standard output: the banner and the line counting
# the sequences come first when the header was read.
first_line() {
    grep -a -v -e '^$' -e '^ ZELVO Version' -e 'sequences and .* sites read from infile$' -e '^RateVec\[' "$1" | head -1
}

# A rejected input: status 1, the given first line (on standard error when the last
# argument is "stderr"), and no report of a finished run.
bad() {  # name prog file expected-first-line [stderr]
    CASES=$((CASES + 1))
    local dir got
    dir=$(run_case "$1" "$2" "$3")
    if [ "${5:-}" = stderr ]; then got=$(head -1 "$dir/stderr.txt"); else got=$(first_line "$dir/stdout.txt"); fi
    local st; st=$(cat "$dir/status.txt")
    if [ "$st" != 1 ]; then fail "$1: exit status $st, want 1"; return; fi
    if [ "$got" != "$4" ]; then fail "$1: first line '$got', want '$4'"; return; fi
    if [ -f "$dir/treefile" ] && grep -q "The best tree" "$dir/treefile"; then fail "$1: treefile claims a best tree"; return; fi
    if [ -f "$dir/results" ] && grep -q -e "The number of iterations was" -e "^=====" "$dir/results"; then
        fail "$1: results holds a run report"; return
    fi
    ok "$1"
}

# An accepted input: a complete run.
good() {  # name prog file
    CASES=$((CASES + 1))
    local dir st
    dir=$(run_case "$1" "$2" "$3")
    st=$(cat "$dir/status.txt")
    if [ "$st" != 0 ]; then fail "$1: exit status $st, want 0: $(first_line "$dir/stdout.txt")"; return; fi
    grep -q "The best tree" "$dir/treefile" || { fail "$1: no best tree in treefile"; return; }
    grep -q "The number of iterations was" "$dir/results" || { fail "$1: no run report"; return; }
    ok "$1"
}

# --- infile: header -----------------------------------------------------------------
H="Error in infile, line 1:"
NF="$H not in a format the program reads (its own, FASTA, PHYLIP or NEXUS); it begins with "
NF_END="', where its own format and PHYLIP begin with the number of sequences, FASTA with '>' and NEXUS with '#NEXUS'"
bad empty_infile clock infile "Error in infile, line 1: the header ends before field 1 (ntaxa); it needs seven integers" </dev/null
bad header_three_fields clock infile "Error in infile, line 2: the header ends before field 4 (nblocks); it needs seven integers" <<<"4 12 1"
bad ntaxa_zero clock infile "$H ntaxa is 0; a tree search needs at least 3 sequences" <<<"0 12 1 0 0 0 0
$SEQS"
bad ntaxa_negative free infile "$H ntaxa is -4; a tree search needs at least 3 sequences" <<<"-4 12 1 0 0 0 0
$SEQS"
bad ntaxa_two clock infile "$H ntaxa is 2; a tree search needs at least 3 sequences" <<<"2 12 1 0 0 0 0
$SEQS"
bad ntaxa_beyond_int clock infile "$H header field 1 (ntaxa) is 99999999999, out of range" <<<"99999999999 12 1 0 0 0 0
$SEQS"
bad ntaxa_huge clock infile "$H 2000000000 sequences of 12 sites cannot fit in a file of 121 bytes" <<<"2000000000 12 1 0 0 0 0
$SEQS"
bad nsites_zero clock infile "$H nsites is 0; there must be at least one site" <<<"4 0 1 0 0 0 0
$SEQS"
bad nsites_negative free infile "$H nsites is -12; there must be at least one site" <<<"4 -12 1 0 0 0 0
$SEQS"
bad nsites_huge clock infile "$H 4 sequences of 2000000000 sites cannot fit in a file of 120 bytes" <<<"4 2000000000 1 0 0 0 0
$SEQS"
bad header_word clock infile "$H header field 2 (nsites) is 'twelve', not an integer" <<<"4 twelve 1 0 0 0 0
$SEQS"
# A byte-order mark (Windows editors write one) is no part of the text.
good header_utf8_bom clock infile < <(printf '\xef\xbb\xbf%s' "$INFILE")
bad layout_zero clock infile "Error in data format specification" <<<"4 12 0 0 0 0 0
$SEQS"
bad layout_three free infile "Error in data format specification" <<<"4 12 3 0 0 0 0
$SEQS"
bad layout_negative clock infile "Error in data format specification" <<<"4 12 -1 0 0 0 0
$SEQS"

# --- infile: interleaved layout ------------------------------------------------------
INTER='alpha      ACGT ACGT
beta       ACGT ACGA
gamma      ACGT TCGA
delta      ACCT TCGA
ACGT
ACGT
ACGT
ACGA
'
good interleaved_ok clock infile <<<"4 12 2 2 8 4 4
$INTER"
bad nblocks_one clock infile "$H nblocks is 1; an interleaved file has at least 2 blocks" <<<"4 12 2 1 8 4 4
$INTER"
bad block_width_zero free infile "$H block_width is 0; it must be positive" <<<"4 12 2 2 0 4 4
$INTER"
bad group_width_negative clock infile "$H group_width is -4; it must be positive" <<<"4 12 2 2 8 -4 4
$INTER"
bad blocks_do_not_add_up clock infile "$H the blocks hold (2 - 1) * 8 + 5 = 13 sites, but nsites is 12" <<<"4 12 2 2 8 4 5
$INTER"
bad block_line_short clock infile "Error in infile, line 3: block 1 of taxon beta has 4 sites, but the block holds 8" <<<"4 12 2 2 8 4 4
alpha      ACGT ACGT
beta       ACGT
gamma      ACGT TCGA
delta      ACCT TCGA
ACGT
ACGT
ACGT
ACGA"
bad block_missing clock infile "Error in infile, line 8: the file ends before block 2 of taxon gamma" <<<"4 12 2 2 8 4 4
alpha      ACGT ACGT
beta       ACGT ACGA
gamma      ACGT TCGA
delta      ACCT TCGA
ACGT
ACGT"
bad last_block_long free infile "Error in infile, line 9: block 2 of taxon delta has 5 sites, but the block holds 4" <<<"4 12 2 2 8 4 4
$(head -7 <<<"$INTER")
ACGAA"

# A header that counts fewer sequences or blocks than the file holds.
bad extra_sequence clock infile "Error in infile, line 6: 'epsilon' follows the last sequence, but the header gives 4 taxa" <<<"4 12 1 0 0 0 0
${SEQS}epsilon    ACGTACGTACGA"
bad extra_block free infile "Error in infile, line 10: 'ACGT' follows the last sequence, but the header gives 4 taxa in 2 blocks" <<<"4 12 2 2 8 4 4
$(head -8 <<<"$INTER")
ACGT"

# --- infile: sequences ---------------------------------------------------------------
bad sequence_short clock infile "Error in infile, line 3: the sequence of taxon beta has 11 sites, but nsites is 12" <<<"4 12 1 0 0 0 0
alpha      ACGTACGTACGT
beta       ACGTACGAACG
gamma      ACGTTCGAACGT
delta      ACCTTCGAACGA"
bad sequence_long free infile "Error in infile, line 5: the sequence of taxon delta has 13 sites, but nsites is 12" <<<"4 12 1 0 0 0 0
alpha      ACGTACGTACGT
beta       ACGTACGAACGT
gamma      ACGTTCGAACGT
delta      ACCTTCGAACGAA"
bad sequence_wrapped clock infile "Error in infile, line 3: the sequence of taxon beta has 6 sites, but nsites is 12" <<<"4 12 1 0 0 0 0
alpha      ACGTACGTACGT
beta       ACGTAC
GAACGT
gamma      ACGTTCGAACGT
delta      ACCTTCGAACGA"
bad taxa_missing clock infile "Error in infile, line 5: the file ends before taxon 4 of 4" <<<"4 12 1 0 0 0 0
alpha      ACGTACGTACGT
beta       ACGTACGAACGT
gamma      ACGTTCGAACGT"
bad unknown_character clock infile "Error in infile, line 4: taxon gamma, site 5: 'X' is not a nucleotide or ambiguity code" <<<"4 12 1 0 0 0 0
alpha      ACGTACGTACGT
beta       ACGTACGAACGT
gamma      ACGTXCGAACGT
delta      ACCTTCGAACGA"
bad digit_in_sequence free infile "Error in infile, line 2: taxon alpha, site 12: '1' is not a nucleotide or ambiguity code" <<<"4 12 1 0 0 0 0
alpha      ACGTACGTACG1
beta       ACGTACGAACGT
gamma      ACGTTCGAACGT
delta      ACCTTCGAACGA"
bad nul_in_sequence clock infile "Error in infile, line 3: taxon beta, site 3: '\\x00' is not a nucleotide or ambiguity code" < <(printf '4 12 1 0 0 0 0\nalpha      ACGTACGTACGT\nbeta       AC\0TACGAACGT\ngamma      ACGTTCGAACGT\ndelta      ACCTTCGAACGA\n')
bad dot_in_first clock infile "Error in infile, line 2: taxon alpha, site 1: '.' in the first sequence has no base above it to copy" <<<"4 12 1 0 0 0 0
alpha      .CGTACGTACGT
beta       ACGTACGAACGT
gamma      ACGTTCGAACGT
delta      ACCTTCGAACGA"
bad all_sites_gapped clock infile "Error in infile: every site has a gap in at least one sequence, so no site is left once the gapped sites are excluded" <<<"4 3 1 0 0 0 0
alpha      -CG
beta       A-G
gamma      AC-
delta      -CG"

# --- infile: names -------------------------------------------------------------------
bad name_too_long clock infile "Error in infile, line 3: the name of taxon 2, 'beta_longer', is longer than 10 characters" <<<"4 12 1 0 0 0 0
alpha      ACGTACGTACGT
beta_longer ACGTACGAACGT
gamma      ACGTTCGAACGT
delta      ACCTTCGAACGA"
bad name_duplicate free infile "Error in infile, line 4: taxa 1 and 3 have the same name 'alpha'" <<<"4 12 1 0 0 0 0
alpha      ACGTACGTACGT
beta       ACGTACGAACGT
alpha      ACGTTCGAACGT
delta      ACCTTCGAACGA"
bad name_empty clock infile "Error in infile, line 3: the name of taxon 2 is missing: 'ACGTACGAACGT' is a sequence" <<<"4 12 1 0 0 0 0
alpha      ACGTACGTACGT
           ACGTACGAACGT
gamma      ACGTTCGAACGT
delta      ACCTTCGAACGA"
bad name_control_character clock infile "Error in infile, line 4: the name of taxon 3, 'gam\\x01ma', contains a control character" < <(printf '%s' "$INFILE" | sed 's/gamma/gam\x01ma/')
bad name_punctuation clock infile "Error in infile, line 5: the name of taxon 4, 'del:ta', contains ':', which tree files cannot hold" <<<"4 12 1 0 0 0 0
alpha      ACGTACGTACGT
beta       ACGTACGAACGT
gamma      ACGTTCGAACGT
del:ta     ACCTTCGAACGA"

# --- infile: junk and line ends ------------------------------------------------------
bad binary_junk clock infile "$NF'\xB9u\x9F\xEB\x933\xA0\xABQ\xCC\xF9w3x\xF0D\xA1\xC3\x1AB\xFDl\xEBO\xD4Z\x14\xA9\xD2B\xCC\xA1,\x9C@bevPJ...$NF_END" < <(junk 7 3000)
bad junk_after_header free infile "Error in infile, line 3: the sequence of taxon "$'\xd9'" has 176 sites, but nsites is 12" < <(printf '4 12 1 0 0 0 0\n'; junk 11 3000)
good crlf_line_ends clock infile < <(printf '%s' "$INFILE" | sed 's/$/\r/')
good crlf_everywhere free settings < <(printf '%s' "$FREE_SETTINGS" | sed 's/$/\r/')
good no_final_newline clock infile < <(printf '%s' "${INFILE%$'\n'}")

# --- settings ------------------------------------------------------------------------
S="Error in settings, line"
bad settings_empty clock settings "Error in settings: only 0 of the 22 settings lines are present" </dev/null
bad settings_too_few_lines free settings "Error in settings: only 10 of the 22 settings lines are present" < <(head -10 <<<"$FREE_SETTINGS")
bad settings_last_value_missing clock settings "$S 22: setting 22 (seed2) has no value" < <(sed '/^seed2/s/ .*//' <<<"$CLOCK_SETTINGS")
bad model_word clock settings "$S 1: setting 1 (model) is 'F84', not an integer" < <(clock_with model F84)
bad burnin_prob_word free settings "$S 4: setting 4 (burnin_prob) is '0.9x', not a number" < <(free_with burnin_prob 0.9x)
bad burnin_prob_zero clock settings "$S 4: burnin_prob is 0; it must lie in (0, 1]" < <(clock_with burnin_prob 0)
bad burnin_prob_above_one free settings "$S 4: burnin_prob is 1.5; it must lie in (0, 1]" < <(free_with burnin_prob 1.5)
bad trial_prob_negative clock settings "$S 5: trial_prob is -0.05; it must lie in (0, 1]" < <(clock_with trial_prob -0.05)
bad trial_prob_nan clock settings "$S 5: setting 5 (trial_prob) is 'nan', not a number" < <(clock_with trial_prob nan)
bad accept_prob2_zero free settings "$S 16: accept_prob2 is 0; it must lie in (0, 1)" < <(free_with accept_prob2 0)
bad accept_prob2_one free settings "$S 16: accept_prob2 is 1; it must lie in (0, 1)" < <(free_with accept_prob2 1)
bad gamma_shape_zero free settings "$S 18: gamma_shape is 0; it must be positive" < <(free_with gamma_shape 0)
bad gamma_shape_negative free settings "$S 18: gamma_shape is -2; it must be positive" < <(free_with gamma_shape -2)
bad n_keep_negative clock settings "$S 12: n_keep is -3; it cannot be negative" < <(clock_with n_keep -3)
bad n_keep_beyond_int free settings "$S 12: setting 12 (n_keep) is 99999999999, out of range" < <(free_with n_keep 99999999999)
bad max_iter_negative clock settings "$S 13: max_iter is -5; it cannot be negative" < <(clock_with max_iter -5)
bad stop_mult_negative free settings "$S 6: stop_mult is -1; it cannot be negative" < <(free_with stop_mult -1)
bad stop_count_huge clock settings "Error in settings: the number of iterations after the last unique tree (4000000000) is too large" < <(clock_with stop_mult 1000000000)
bad seed1_zero clock settings "$S 21: seed1 is 0; it must lie in 1 to 2147483562, the generator's range" < <(clock_with seed1 0)
bad seed2_negative free settings "$S 22: seed2 is -67890; it must lie in 1 to 2147483398, the generator's range" < <(free_with seed2 -67890)
bad seed1_too_large clock settings "$S 21: seed1 is 2147483600; it must lie in 1 to 2147483562, the generator's range" < <(clock_with seed1 2147483600)
bad gamma_shape_underflow free settings "$S 18: setting 18 (gamma_shape) is 1e-300, too small for a single-precision number (the smallest is about 1.4e-45)" < <(free_with gamma_shape 1e-300)
bad beta_frac_one free settings "$S 10: beta_frac is 1; it must lie in [0, 1)" < <(free_with beta_frac 1)
bad delta_lnl2_huge free settings "$S 17: delta_lnl2 is 3e38; with accept_prob2 0.5 and the cooling constant 0.631579 the second search's starting temperature is inf, and it must be finite" < <(free_with delta_lnl2 3e38)
bad seed_word free settings "$S 21: setting 21 (seed1) is '12a45', not an integer" < <(free_with seed1 12a45)
bad settings_junk clock settings "$S 1: setting 1 (model) is '\xEB\xC2\xFF\xD39\xBA\x7F\x07\xE2\x17\xC1^\x12\xBBu}\xB8P\xA5\xF4BE\xAER\xCCE8\xD5\x89\x7F\x1FM', not an integer" < <(junk 3 500)
bad settings_missing clock missing:settings "Can't open settings: No such file or directory"
bad infile_missing free missing:infile "Can't open infile: No such file or directory"

# --- lin_info ------------------------------------------------------------------------
L="Error in lin_info, line"
bad lin_info_missing clock missing:lin_info "Can't open lin_info: No such file or directory"
bad lin_info_empty clock lin_info "Error in lin_info: there is no line for sequence 1; 4 lines are needed" </dev/null
bad lin_info_short clock lin_info "Error in lin_info: there is no line for sequence 4; 4 lines are needed" < <(head -3 <<<"$LIN_INFO")
bad lin_info_word clock lin_info "$L 2: expected an integer and two numbers for sequence 2" < <(sed '2s/1.0 1.0/one 1.0/' <<<"$LIN_INFO")
bad lin_info_two_values clock lin_info "$L 3: expected an integer and two numbers for sequence 3" < <(sed '3s/ 1.0$//' <<<"$LIN_INFO")
bad lin_info_zero clock lin_info "$L 4: the values of sequence 4 must be positive (read 0 and 1.0)" < <(sed '4s/1.0 1.0/0 1.0/' <<<"$LIN_INFO")
bad lin_info_underflow clock lin_info "$L 2: value 2 of sequence 2, 1e-308, is too small for a single-precision number (the smallest is about 1.4e-45)" < <(sed '2s/1.0 1.0/1.0 1e-308/' <<<"$LIN_INFO")
bad lin_info_rate_zero clock lin_info "$L 3: the values of sequence 3 (1.0 and 0.001) give the lineage rate 9.76661e-309, outside what a double-precision number holds" < <(sed '3s/1.0 1.0/1.0 0.001/' <<<"$LIN_INFO")
bad lin_info_rates_unusable clock lin_info "Error in lin_info: the log-likelihood of the starting tree is -inf with the lineage rates these values give (from 1.58115e-31 for sequence 1, values 1 and 0.01, to 1.58115e-31 for sequence 1, values 1 and 0.01); rates this far from 1 leave no branch a length the model can evaluate" < <(sed 's/1.0 1.0/1.0 0.01/' <<<"$LIN_INFO")

# --- inputs that are not files ---------------------------------------------------------
bad infile_dev_zero free infile "Can't open infile: it is a character device, not a file" < <(echo)
bad settings_folder clock settings "Can't open settings: it is a folder, not a file" < <(echo)
bad settings_oversize free settings "Error in settings: the file holds more than 1048576 bytes, the limit for settings" < <(printf '%s' "$FREE_SETTINGS"; head -c 1100000 /dev/zero | tr '\0' ' ')
bad lin_info_negative clock lin_info "$L 1: the values of sequence 1 must be positive (read 1.0 and -2.5)" < <(sed '1s/1.0 1.0/1.0 -2.5/' <<<"$LIN_INFO")
bad lin_info_junk clock lin_info "$L 1: expected an integer and two numbers for sequence 1" < <(junk 5 200)

[ "$CASES" -ge 40 ] || fail "only $CASES cases"
echo "$CASES cases"
finish
