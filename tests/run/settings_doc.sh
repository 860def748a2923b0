# The settings tables of doc/input.md are what the programs print for --describe-settings,
# the descriptions the manual pages and --write-settings use too; the manual page built
# beside each program describes every line.
source "$(dirname "$0")/lib.bash"
doc=$SRC/doc/input.md
for prog in "$CLOCKML" "$FREEML"; do
    name=$(basename "$prog")
    table=$(sed -n "/^<!-- begin: $name --describe-settings -->\$/,/^<!-- end: $name --describe-settings -->\$/p" "$doc" | sed '1d;$d')
    if [ "$table" = "$("$prog" --describe-settings)" ]; then
        ok "$name: doc/input.md holds the settings table the program prints"
    else
        fail "$name: doc/input.md's settings table differs from '$name --describe-settings':"
        diff <(echo "$table") <("$prog" --describe-settings) | head -10
    fi
    # Every comment --write-settings writes is the table's meaning of that line.
    d=$(mktemp -d)
    (cd "$d" && "$prog" --write-settings >/dev/null)
    k=0
    while IFS= read -r line; do
        k=$((k + 1))
        label=$(awk '{ print $1 }' <<<"$line"); meaning=${line#*# }
        grep -qF "| $k | \`$label\` | " <<<"$table" && grep -qF " | $meaning | " <<<"$table" ||
            fail "$name: settings line $k ($label) is written with '$meaning', not as the table has it"
    done <"$d/settings"
    rm -rf "$d"
    man="$(dirname "$prog")/man/$name.1"
    [ "$(grep -c '^\.B [0-9]* [a-z_0-9]*$' "$man")" = 22 ] || fail "$man does not describe 22 settings lines"
done
finish
