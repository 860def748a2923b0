# Memory that cannot be had ends a run with a message naming what was being made and what
# the alignment needs, the allocation message and status 1, not with an abort: a header of
# 100000 sequences asks for a leaf-pair table far beyond the limit.
source "$(dirname "$0")/lib.bash"

# The sanitizer builds reserve their shadow memory up front and cannot run under a limit.
if grep -aq "__asan_init" "$CLOCKML"; then
    ok "skipped under the address sanitizer"
    finish
    exit 0
fi

d=$(mktemp -d)
{ echo "100000 1 1 0 0 0 0"; head -c 200000 /dev/zero | tr '\0' 'A'; echo; } >"$d/infile"
for prog in "$CLOCKML" "$FREEML"; do
    example=brown_clock
    [ "$prog" = "$FREEML" ] && example=brown_free
    cp "$SRC/examples/$example/settings" "$d/"
    (cd "$d" && ulimit -v 100000 && "$prog" >stdout.txt 2>stderr.txt; echo $? >status.txt)
    name=$(basename "$prog")
    [ "$(cat "$d/status.txt")" = 1 ] || fail "$name out of memory: exit $(cat "$d/status.txt")"
    [ "$(tail -n 1 "$d/stdout.txt")" = "Can't allocate MemAlloc" ] ||
        fail "$name out of memory: last line '$(tail -n 1 "$d/stdout.txt")'"
    grep -qx "Error: out of memory while making the tree arrays and the archive's leaf-pair table (about 37 GB); this alignment of 100000 sequences and 1 sites (up to 1 site patterns) needs about 37 GB in all: .* and 37 GB for the archive's leaf-pair table (sequences x sequences); this process may use at most 98 MB (its address-space limit, ulimit -v)" "$d/stdout.txt" ||
        fail "$name out of memory: '$(tail -n 2 "$d/stdout.txt" | head -1)'"
done
# Four sequences of a million sites: the message names what was being made and what the
# alignment needs, so that a cluster job can be sized.
{ echo "4 1000000 1 0 0 0 0"
  for t in a b c d; do printf '%-10s ' $t; yes ACGTTGCAAG | tr -d '\n' | head -c 1000000; echo; done; } >"$d/infile"
cp "$SRC/examples/brown_free/settings" "$d/"
(cd "$d" && ulimit -v 30000 && "$FREEML" >stdout.txt 2>stderr.txt; echo $? >status.txt)
[ "$(cat "$d/status.txt")" = 1 ] &&
    grep -qx "Error: out of memory while making the [a-z ]* (about [0-9]* [kMG]B); this alignment of 4 sequences and 1000000 sites (up to 65536 site patterns) needs about [0-9]* MB in all: .*; this process may use at most 29 MB (its address-space limit, ulimit -v)" "$d/stdout.txt" ||
    fail "4 x 1000000 out of memory: $(cat "$d/status.txt") '$(head -3 "$d/stdout.txt" | tail -1)'"
[ "$FAILS" = 0 ] && ok "allocation failure"
rm -rf "$d"
finish
