#!/usr/bin/env bash
# Runs fuzz targets built in a fuzz build folder, each for a set time.
#   scripts/run-fuzz.sh <build folder> <seconds> <target>...
# Each target starts from its seeds in fuzz/corpus/<target>/ and grows a working corpus in
# <build folder>/corpus/<target>/; a crash leaves its input in <build folder>/artifacts/ and
# fails the run. The Access target also starts from the Access fixtures of the shared data
# folder ($ORVEX_SHARED_DATA, default ../shared/data) when they are there.
set -euo pipefail
cd "$(dirname "$0")/.."

build=$1
seconds=$2
shift 2
shared=${ORVEX_SHARED_DATA:-../shared/data}

failed=()
for target in "$@"; do
  work="$build/corpus/$target"
  mkdir -p "$work" "$build/artifacts"
  seeds=("fuzz/corpus/$target")
  if [ "$target" = fuzz_mdb ] && compgen -G "$shared/lotek/*.mdb" >/dev/null; then
    cp -n "$shared"/lotek/*.mdb "$work"/ 2>/dev/null || true
  fi
  echo "== $target ($seconds s)"
  if ! "$build/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" "$work" "${seeds[@]}" \
      >"$build/$target.log" 2>&1; then
    tail -n 40 "$build/$target.log"
    failed+=("$target")
  else
    grep -aE '^stat::number_of_executed_units|Done [0-9]+ runs' "$build/$target.log" | tail -n 2 || true
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (inputs in $build/artifacts/)"
  exit 1
fi
echo "fuzzing passed"
