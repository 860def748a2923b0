# Memory that cannot be had ends a run with the allocation message and status 1, not with
# an abort: a header of 100000 sequences asks for a leaf-pair table far beyond the limit.
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
done
[ "$FAILS" = 0 ] && ok "allocation failure"
rm -rf "$d"
finish
