#!/usr/bin/env bash
# The codec library's sources are in layers: a file may include its own layer's headers and
# those of the layers below it, never one above. Prints every include that breaks the rule and
# exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/../codec/src"
layers=(base simd io formats message library)
rank() {
    local i
    for i in "${!layers[@]}"; do
        [[ ${layers[$i]} == "$1" ]] && { echo "$i"; return; }
    done
    echo -1
}
bad=0
while IFS= read -r file; do
    own=$(rank "${file%%/*}")
    if [[ $own -lt 0 ]]; then
        echo "$file: not in a layer (${layers[*]})"
        bad=1
        continue
    fi
    while IFS= read -r inc; do
        target=$(rank "${inc%%/*}")
        if [[ $target -lt 0 && $inc != codec/* ]]; then
            echo "$file: includes \"$inc\", which is in no layer"
            bad=1
        elif [[ $target -gt $own ]]; then
            echo "$file: includes \"$inc\" from a higher layer"
            bad=1
        fi
    done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(find . -name '*.h' -o -name '*.cpp' | sed 's|^\./||' | sort)
exit $bad
