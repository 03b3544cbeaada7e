#!/usr/bin/env bash
# Fails when a source file includes a header by absolute path or by a relative path that leaves
# the tree: such a build passes only on a machine that happens to hold that file.
# Usage: scripts/check-includes.sh [root]   (default: the repository holding this script)
set -euo pipefail
root=$(cd "${1:-$(dirname "$0")/..}" && pwd -P)
cd "$root"

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  list() { git ls-files -z -- '*.c' '*.cc' '*.cpp' '*.cxx' '*.h' '*.hh' '*.hpp' '*.inc' '*.ipp'; }
else
  list() {
    find . -type f \( -name '*.c' -o -name '*.cc' -o -name '*.cpp' -o -name '*.cxx' -o -name '*.h' \
      -o -name '*.hh' -o -name '*.hpp' -o -name '*.inc' -o -name '*.ipp' \) -print0
  }
fi

# Only includes naming an absolute path or a parent folder need a closer look.
include='^[[:space:]]*#[[:space:]]*include(_next)?[[:space:]]*[<"]'
suspects=$(list | xargs -0 -r grep -nHE "$include(/|[^>\"]*\\.\\.)" || true)

bad=0
while IFS= read -r hit; do
  [ -n "$hit" ] || continue
  file=${hit%%:*}
  rest=${hit#*:}
  line=${rest%%:*}
  target=$(sed -E "s/$include([^>\"]*)[>\"].*/\\2/" <<< "${rest#*:}")
  case "$target" in
    /*) echo "$file:$line: includes an absolute path: $target"; bad=1; continue ;;
  esac
  case "$(realpath -m "$(dirname "$file")/$target")/" in
    "$root"/*) ;;
    *) echo "$file:$line: includes a file outside the tree: $target"; bad=1 ;;
  esac
done <<< "$suspects"

if [ "$bad" -ne 0 ]; then
  echo "check-includes: every header must come from the tree or the system's include paths" >&2
  exit 1
fi
echo "check-includes: every include is inside the tree or on the system's paths"
