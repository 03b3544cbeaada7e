#!/usr/bin/env bash
# The Processing algorithms in the real QGIS: prepares the fixes and the command line's reference
# outputs, runs processing_session.py in QGIS under Xvfb with the plug-in of BIN_DIR, then
# compares the algorithms' files with the command line's (compare_outputs.py).
#
#   run_processing.sh BIN_DIR SOURCE_DIR OUT_DIR [SHARED_DATA_DIR]
#
# Without the shared data folder (its Lotek collar files) the session skips the Lotek import.
set -euo pipefail
. "$(dirname "$0")/../qgis_e2e/qgis_session_prelude.sh" "the Processing session"
bin=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)
out=$3
rm -rf "$out" && mkdir -p "$out/ref"
out=$(cd "$out" && pwd)

# Two animals' fixes in UTM 33N, as a GeoPackage layer; the project is in UTM 34N.
"$bin/orvex" --quiet simulate --out "$out/utm" --animals 2 --fixes 80 --seed 7 > /dev/null
ogr2ogr -f GPKG "$out/fixes.gpkg" "$out/utm/fixes.shp" -nln fixes

# The command line's answers for the same fixes.
export ORVEX_REGISTRY="$out/registry"
orvex() { "$bin/orvex" --quiet --yes "$@" > /dev/null; }
orvex mcp "$out/fixes.gpkg" --by AnimalID --out "$out/ref/mcp/{layer}_mcp{percent}.shp"
orvex mcp "$out/fixes.gpkg" --where "AnimalID = 'A1'" --percent 50,95 --out "$out/ref/mcp_a1/{layer}_mcp{percent}.shp"
orvex kde "$out/fixes.gpkg" --id AnimalID --out-dir "$out/ref/kde" --bandwidth manual:300 --extent full:1100 \
  --cell-size 50 --isopleths 50,95
for command in travel dedup-time dedup-xy; do
  mkdir -p "$out/ref/$command" && cp "$out/fixes.gpkg" "$out/ref/$command/fixes.gpkg"
  orvex "$command" "$out/ref/$command/fixes.gpkg"
  mkdir -p "$out/ref/$command-by" && cp "$out/fixes.gpkg" "$out/ref/$command-by/fixes.gpkg"
  orvex "$command" "$out/ref/$command-by/fixes.gpkg" --by AnimalID
done
orvex kernel "$out/fixes.gpkg" --by AnimalID --h 1.0 --resolution 40 --out "$out/ref/kernel/kernel_{id}_h{h}.shp"
orvex bbmm "$out/fixes.gpkg" --id AnimalID --sigma2 30 --out-dir "$out/ref/bbmm" --extent full:1100 --cell-size 50 \
  --isopleths 50,95
orvex locoh "$out/fixes.gpkg" --id AnimalID --method k --param auto --out-dir "$out/ref/locoh"
orvex mcp "$out/fixes.gpkg" --by AnimalID --curve --out "$out/ref/mcpcurve/{layer}_mcp{percent}.shp"
orvex kde "$out/fixes.gpkg" --id AnimalID --independence="$out/ref/independence.csv" \
  --out-dir "$out/independence-kde"
orvex overlap "$out"/ref/kde/*.tif --out-dir "$out/ref/overlap"
movebank="$source_dir/tests/data/movebank_three_animals.csv"
orvex import-movebank "$movebank" --out "$out/ref/movebank/movebank.shp"
lotek=${4:-}/lotek/collar_a.mdb
if [ -f "$lotek" ]; then
  orvex --map-crs EPSG:32633 import-lotek "$lotek" --out "$out/ref/lotek/lotek.shp"
else
  lotek=""
fi
unset ORVEX_REGISTRY

"$bin/orvex-qgis-project" "$out/session.qgz" --crs EPSG:32634 "$out/fixes.gpkg"
ORVEX_PROC_OUT="$out" ORVEX_PROC_MODEL="$source_dir/docs/models/home_range.model3" ORVEX_PROC_MOVEBANK="$movebank" \
  ORVEX_PROC_LOTEK="$lotek" timeout 180 "${display[@]}" \
  "$source_dir/scripts/qgis-desktop.sh" "$bin" "$out/profiles" --code "$source_dir/tests/qgis_processing/processing_session.py" \
  "$out/session.qgz" > "$out/qgis.txt" 2>&1 || true
cat "$out/session.log"
python3 "$source_dir/tests/qgis_processing/compare_outputs.py" "$out" | tee "$out/compare.log"
grep -q "^SESSION OK" "$out/session.log"
grep -q "^OUTPUTS MATCH" "$out/compare.log"
