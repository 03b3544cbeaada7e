#!/usr/bin/env bash
# The include check passes on the tree and fails on each kind of include that leaves it.
set -uo pipefail
root=$1
check=$root/scripts/check-includes.sh
"$check" "$root" || { echo "FAIL: the tree itself has an include from outside it"; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/lib/sub"
printf '#include "lib/sub/b.h"\n#include <vector>\n' > "$scratch/lib/a.cpp"
printf '#include "../a.h"\n' > "$scratch/lib/sub/b.h"
"$check" "$scratch" >/dev/null || { echo "FAIL: includes inside the tree were refused"; exit 1; }

status=0
for planted in '#include "/tmp/anything.h"' '#  include </usr/include/stdio.h>' \
               '#include "../../../outside.h"' '#include_next <../../../x.h>'; do
  printf '%s\n' "$planted" > "$scratch/lib/sub/planted.h"
  if "$check" "$scratch" >/dev/null 2>&1; then
    echo "FAIL: not refused: $planted"
    status=1
  fi
done
exit $status
