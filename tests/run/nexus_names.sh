# paupfile.nex is NEXUS that NEXUS readers take whole when names hold NEXUS punctuation
# ('-', '+', '=', '/'): Biopython's reader (Debian python3-biopython) reads the data block
# and every tree back with the names of infile. treefile keeps them bare.
source "$(dirname "$0")/lib.bash"

PY=/usr/bin/python3
if ! "$PY" -c "import Bio.Nexus" 2>/dev/null; then
    echo "Biopython not installed (python3-biopython): skipped"
    exit 0
fi
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
NAMES="orang-utan goat-cow a+b x=y Gib/bon"

for prog in "$CLOCKML:brown_clock" "$FREEML:brown_free"; do
    dir=$WORK/${prog#*:}
    mkdir -p "$dir"
    cp "$SRC/examples/${prog#*:}/"* "$dir/"
    sed -i 's/^max_iter .*/max_iter         500/' "$dir/settings"
    # The example's names replaced, in the 10-character name column.
    awk -v names="$NAMES" 'BEGIN { split(names, n, " ") }
        NR == 1 { print; next } { printf "%-10s%s\n", n[NR - 1], substr($0, 11) }' \
        "$SRC/examples/${prog#*:}/infile" >"$dir/infile"
    (cd "$dir" && "${prog%%:*}" >stdout.txt) || { fail "${prog#*:}: run failed"; continue; }
    msg=$("$PY" - "$dir/paupfile.nex" $NAMES 2>&1 <<'PYEOF'
import sys
from Bio.Nexus import Nexus
want = sys.argv[2:]
n = Nexus.Nexus(sys.argv[1])
assert n.taxlabels == want, ("data block", n.taxlabels)
assert len(n.trees) > 0, "no trees"
# Biopython keeps the quotes of quoted names in trees.
unquote = lambda s: s[1:-1].replace("''", "'") if s[:1] == "'" else s
for t in n.trees:
    got = sorted(unquote(x) for x in t.get_taxa())
    assert got == sorted(want), ("tree", got)
print(len(n.trees), "trees")
PYEOF
    ) || { fail "${prog#*:}: paupfile.nex not read back: $(tail -1 <<<"$msg")"; continue; }
    grep -q "'" "$dir/treefile" && { fail "${prog#*:}: treefile quotes names"; continue; }
    ok "${prog#*:}: paupfile.nex read back ($msg)"
done
finish
