#!/usr/bin/env bash
# The core's layers, read from its includes: data flows one way (ofi ->
# convert -> glf, then job -> delivery; io and settings serve them all), no
# include runs back up, and nothing in the core includes Qt.  The renderer
# sits beside the job run: it reads GLF text and may use the conversion
# driver, and nothing of the core knows it.
set -euo pipefail
cd "$(dirname "$0")/../src"

# module: the modules it may include besides itself.
declare -A allowed=(
    [io]=""
    [settings]="io"
    [ofi]="io"
    [glf]=""
    [convert]="ofi glf io"
    [delivery]="io"
    [job]="convert ofi glf io settings delivery"
    [render]="convert ofi glf io"
)
# The modules that draw with Qt; the rest of the core never includes it.
declare -A drawsWithQt=([render]=1)

status=0
for module in "${!allowed[@]}"; do
    while IFS= read -r line; do
        file=${line%%:*}
        target=$(sed -n 's/.*#include "\([a-z]*\)\/.*/\1/p' <<<"$line")
        [ -z "$target" ] || [ "$target" = "$module" ] && continue
        if [[ " ${allowed[$module]} " != *" $target "* ]]; then
            echo "layering: $file includes $target/ (src/$module may include: ${allowed[$module]:-nothing})"
            status=1
        fi
    done < <(grep -rn '#include "' "$module" || true)
    if [ -z "${drawsWithQt[$module]:-}" ] && grep -rnE '#include <Q[A-Za-z]*>' "$module"; then
        echo "layering: src/$module includes Qt"
        status=1
    fi
done
[ $status -eq 0 ] && echo "layering: the core's includes run one way"
exit $status
