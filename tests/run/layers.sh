# The layers of common/ may include only their own folder and the folders below them:
# base < input < engine < search < output < runs < app. An include that points upward
# fails the test, naming the file, its line and the include.
source "$(dirname "$0")/lib.bash"

rank() {
    case $1 in
        base) echo 0 ;; input) echo 1 ;; engine) echo 2 ;; search) echo 3 ;;
        output) echo 4 ;; runs) echo 5 ;; app) echo 6 ;; *) echo -1 ;;
    esac
}

checked=0
while IFS= read -r file; do
    layer=${file#"$SRC"/common/}; layer=${layer%%/*}
    own=$(rank "$layer")
    [ "$own" -ge 0 ] || { fail "$file is in no layer folder"; continue; }
    while IFS=: read -r line text; do
        target=$(sed -E 's/^#include "([^"]*)".*/\1/' <<<"$text")
        case $target in */*) ;; *) fail "$file:$line: '$target' does not name its folder"; continue ;; esac
        to=$(rank "${target%%/*}")
        if [ "$to" -lt 0 ]; then
            fail "$file:$line: '$target' is not in a layer of common/"
        elif [ "$to" -gt "$own" ]; then
            fail "$file:$line: $layer includes '$target', a layer above it"
        fi
        checked=$((checked + 1))
    done < <(grep -n '^#include "' "$file")
done < <(find "$SRC/common" -name '*.cpp' -o -name '*.hpp' | sort)
[ "$FAILS" = 0 ] && ok "$checked includes of common/ point to their own layer or below"
finish
