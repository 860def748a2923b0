# One alignment in FASTA, PHYLIP (strict and relaxed, sequential wrapped and interleaved,
# CRLF or CR line ends, lower case, names repeated in later blocks), NEXUS (comments, quoted
# names, MATCHCHAR, interleave), with or without a byte-order mark, and the run's own
# paupfile.nex gives byte for byte the reports of the programs' own format; malformed
# files give one line and status 1.
source "$(dirname "$0")/lib.bash"

w=$(mktemp -d)
python3 - "$SRC/examples/brown_free/infile" "$w" <<'PY'
import sys
lines = open(sys.argv[1]).read().split('\n')
n, s = map(int, lines[0].split()[:2])
rows = [l for l in lines[1:] if l.strip()]
names = [r[:10].strip() for r in rows]
seqs = [r[10:].replace(' ', '') for r in rows]
out = sys.argv[2] + '/'
def put(name, text):
    open(out + name, 'w', newline='').write(text)
put('fasta', ''.join('>%s a description\n%s\n' % (a, '\n'.join(b[i:i + 60] for i in range(0, s, 60))) for a, b in zip(names, seqs)))
put('phylip_strict', '%d %d\n' % (n, s) + ''.join('%-10s%s\n' % (a, b) for a, b in zip(names, seqs)))
put('phylip_wrapped', ' %d %d\n' % (n, s) + ''.join('%s  %s\n' % (a, '\n'.join(b[i:i + 50] for i in range(0, s, 50))) for a, b in zip(names, seqs)))
blocks = []
for k in range(0, s, 60):
    for a, b in zip(names, seqs):
        blocks.append(('%-10s' % a if k == 0 else '') + ' '.join(b[k + j:k + j + 10] for j in range(0, 60, 10) if k + j < s))
    blocks.append('')
put('phylip_interleaved_crlf', ('%d %d\n' % (n, s) + '\n'.join(blocks)).replace('\n', '\r\n'))
put('phylip_names_lower', '%d %d\n' % (n, s) + '\n'.join('%s %s' % (a, b[k:k + 60].lower()) for k in range(0, s, 60) for a, b in zip(names, seqs)) + '\n')
nx = '#NEXUS\n[written by the test]\nbegin data;\n dimensions ntax=%d nchar=%d;\n format datatype=dna missing=? gap=- matchchar=. interleave;\nmatrix\n' % (n, s)
for k in range(0, s, 70):
    for i, (a, b) in enumerate(zip(names, seqs)):
        c = b[k:k + 70]
        if i > 0:
            c = ''.join('.' if x == y and x in 'ACGT' else x for x, y in zip(c, seqs[0][k:k + 70]))
        nx += "'%s' %s [row %d]\n" % (a, c, i)
put('nexus', nx + ';\nend;\n')
# EQUATE: X stands for A, O for the set (G), in the first two sequences.
eq = nx.replace('interleave;', 'interleave respectcase equate="X=A O=(G)";')
eq = eq.replace("'%s' %s" % (names[0], seqs[0][:70]), "'%s' %s" % (names[0], seqs[0][:70].replace('A', 'X')))
assert eq.count('X') > 10
put('nexus_equate', eq + ';\nend;\n')
# Old Mac line ends (CR alone) and a UTF-8 byte-order mark, as editors write them.
fasta = ''.join('>%s\n%s\n' % (a, b) for a, b in zip(names, seqs))
put('fasta_cr', fasta.replace('\n', '\r'))
put('phylip_cr', ('%d %d\n' % (n, s) + ''.join('%s %s\n' % (a, b) for a, b in zip(names, seqs))).replace('\n', '\r'))
for f in ('fasta', 'phylip_strict', 'nexus'):
    put(f + '_bom', '\ufeff' + open(out + f).read())
PY
own=$(run_in_copy "$FREEML" brown_free)
cp "$own/paupfile.nex" "$w/own_paupfile"
for f in fasta phylip_strict phylip_wrapped phylip_interleaved_crlf phylip_names_lower nexus nexus_equate \
    own_paupfile fasta_cr phylip_cr fasta_bom phylip_strict_bom nexus_bom; do
    d=$(mktemp -d)
    cp "$SRC/examples/brown_free/settings" "$d/"
    cp "$w/$f" "$d/infile"
    (cd "$d" && "$FREEML" >stdout.txt 2>&1; echo $? >status.txt)
    [ "$(cat "$d/status.txt")" = 0 ] || { fail "$f: exit $(cat "$d/status.txt"): $(tail -1 "$d/stdout.txt")"; continue; }
    grep -q "^  infile read as " "$d/stdout.txt" || fail "$f: no line naming the format"
    cmp -s <(grep -v "^  infile read as " "$d/stdout.txt") "$own/stdout.txt" || fail "$f: standard output differs"
    for r in results besttree treefile paupfile.nex; do
        cmp -s "$d/$r" "$own/$r" || fail "$f: $r differs from the run on the programs' own format"
    done
    ok "$f: the same reports ($(grep "read as" "$d/stdout.txt" | sed 's/^  infile read as //'))"
    rm -rf "$d"
done

# Long names and names with Newick punctuation are quoted in the trees.
d=$(mktemp -d)
cp "$SRC/examples/brown_free/settings" "$d/"
sed -e 's/^>Human.*/>Homo_sapiens(modern),sample:1/' -e "s/^>Gorilla.*/>Gorilla's_name_of_exactly_sixty-four_characters_0123456789abcdef/" \
    "$w/fasta" >"$d/infile"
(cd "$d" && "$FREEML" >stdout.txt 2>&1; echo $? >status.txt)
[ "$(cat "$d/status.txt")" = 0 ] || fail "long names: exit $(cat "$d/status.txt")"
grep -q "'Homo_sapiens(modern),sample:1'" "$d/treefile" || fail "a name with punctuation is not quoted in treefile"
grep -q "'Gorilla''s_name_of_exactly_sixty-four_characters_0123456789abcdef'" "$d/treefile" ||
    fail "a 64-character name with a quote is not quoted in treefile"
# best.tre: the best tree alone, the tree line of treefile, read whole by a Newick library.
[ "$(wc -l <"$d/best.tre")" = 1 ] || fail "best.tre is not one line"
grep -qxF "$(cat "$d/best.tre")" "$d/treefile" || fail "best.tre is not the best tree of treefile"
if /usr/bin/python3 -c "import Bio" 2>/dev/null; then
    /usr/bin/python3 - "$d/best.tre" <<'PY' || fail "Bio.Phylo cannot read best.tre with its five names"
import sys
from Bio import Phylo
names = sorted(t.name for t in Phylo.read(sys.argv[1], "newick").get_terminals())
assert len(names) == 5 and "Homo_sapiens(modern),sample:1" in names, names
PY
fi
ok "long names quoted; best.tre"
rm -rf "$d"

expect_error() {  # label, infile text, start of the message
    local d
    d=$(mktemp -d)
    cp "$SRC/examples/brown_free/settings" "$d/"
    printf "$2" >"$d/infile"
    (cd "$d" && "$FREEML" >stdout.txt 2>&1; echo $? >status.txt)
    [ "$(cat "$d/status.txt")" = 1 ] || fail "$1: exit $(cat "$d/status.txt")"
    [ "$(grep -c . "$d/stdout.txt")" -ge 1 ] && grep -q "^$3" "$d/stdout.txt" || fail "$1: $(tail -1 "$d/stdout.txt")"
    rm -rf "$d"
}
expect_error "unequal FASTA" '>a\nACGT\n>b\nACG\n>c\nACGT\n' \
    "Error in infile, line 3: the sequence of taxon b has 3 sites, but that of a has 4"
expect_error "duplicate names" '>a\nACGT\n>b\nACGT\n>a\nACGT\n' "Error in infile, line 5: taxa 1 and 3 have the same name 'a'"
expect_error "empty sequence" '>a\n\n>b\nACGT\n>c\nACGT\n' "Error in infile, line 1: the sequence of taxon a is empty"
expect_error "bad character" '>a\nACGT\n>b\nACXT\n>c\nACGT\n' "Error in infile, line 3: taxon b, site 3: 'X'"
expect_error "short PHYLIP" '3 4\nx ACGT\ny ACGT\n' "Error in infile, line .*: not in a format the program reads"
expect_error "NEXUS taxa" '#NEXUS\nbegin data; dimensions ntax=3 nchar=4; matrix\na ACGT\nb ACGU\n;end;' \
    "Error in infile, line .*: not in a format .*read as NEXUS, it fails here: the MATRIX holds 2 taxa"
expect_error "protein NEXUS" '#NEXUS\nbegin data; dimensions ntax=3 nchar=4; format datatype=protein; matrix\na ACGT\n;end;' \
    "Error in infile, line 2: not in a format .*only DNA"
expect_error "bad EQUATE" '#NEXUS\nbegin data; dimensions ntax=3 nchar=4; format equate="X=(AJ)"; matrix\na ACGT\nb ACGT\nc ACGX\n;end;' \
    "Error in infile, line 2: not in a format .*EQUATE entry 'X=(AJ)' is not a symbol"
expect_error "no format" 'hello world\n' "Error in infile, line 1: not in a format the program reads (its own, FASTA, PHYLIP or NEXUS); it begins with 'hello'"
NX='#NEXUS\nbegin data; dimensions ntax=3 nchar=4;\n'
expect_error "EQUATE of a base" "${NX}format equate=\"A=C\";\nmatrix\na ACGT\nb ACGT\nc ACGA\n;end;" \
    "Error in infile, line 3: not in a format .*: EQUATE entry 'A=C' would redefine 'A', itself a nucleotide, ambiguity, gap or missing code$"
expect_error "MISSING a base" "${NX}format missing=A;\nmatrix\na ACGT\nb ACGT\nc ACGA\n;end;" \
    "Error in infile, line 3: not in a format .*: missing=A would read every 'A' of the matrix, a nucleotide code, as something else$"
expect_error "open quote" "${NX}matrix\na ACGT\n'b ACGT\nc ACGA\n;end;" \
    "Error in infile, line 5: not in a format .*: a quoted name opens here, and its quote ' is never closed$"
# Names that NEXUS readers take for one: '_' is a blank to them, and case does not count.
expect_error "one name to NEXUS" "${NX}matrix\n'a b' ACGT\nb ACGT\na_b ACGA\n;end;" \
    "Error in infile, line 6: the names of taxa 1 ('a b', line 4) and 3 ('a_b') are one name to NEXUS readers, which read '_' as a blank and ignore case; rename one of them$"
expect_error "one name to NEXUS (FASTA)" '>Taxon_1\nACGT\n>b\nACGT\n>taxon_1\nACGA\n' \
    "Error in infile, line 5: the names of taxa 1 ('Taxon_1', line 1) and 3 ('taxon_1') are one name to NEXUS readers"
ok "malformed files"

# A quoted NEXUS name may hold ';': it is a name, not the end of the MATRIX.
d=$(mktemp -d)
cp "$SRC/examples/brown_free/settings" "$d/"
printf "#NEXUS\nbegin data; dimensions ntax=4 nchar=8;\nmatrix\n';' ACGTACGT\nb ACGTACGA\nc ACGTTCGA\nd ACCTTCGA\n;end;\n" >"$d/infile"
(cd "$d" && "$FREEML" >stdout.txt 2>&1; echo $? >status.txt)
[ "$(cat "$d/status.txt")" = 0 ] && grep -q "';':" "$d/best.tre" && ok "a quoted name ';'" ||
    fail "a quoted name ';': $(tail -1 "$d/stdout.txt")"
rm -rf "$d"
rm -rf "$w" "$own"
finish
