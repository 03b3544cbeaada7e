#!/usr/bin/env bash
# End-to-end session in the real QGIS: prepares the data and the headless host's reference
# outputs, runs session.py in QGIS under Xvfb with the plug-in of BIN_DIR, and passes when the
# session reports "SESSION OK".
#
#   run_session.sh BIN_DIR SOURCE_DIR OUT_DIR [SHARED_DATA_DIR]
#
# Without the shared data folder (its Lotek collar files) the session skips the import.
set -euo pipefail
. "$(dirname "$0")/qgis_session_prelude.sh" "the desktop end-to-end session"
bin=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)
out=$3
rm -rf "$out" && mkdir -p "$out/ref/travel"
out=$(cd "$out" && pwd)

# One animal's fixes in UTM 33N; the desktop works on a WGS 84 GeoPackage copy in a UTM project.
"$bin/orvex" --quiet simulate --out "$out/utm" --animals 1 --fixes 80 --seed 7 > /dev/null
ogr2ogr -f GPKG -t_srs EPSG:4326 "$out/fixes.gpkg" "$out/utm/fixes.shp" -nln fixes

# The headless host's answers for the same fixes.
export ORVEX_REGISTRY="$out/registry"
"$bin/orvex" --quiet --yes mcp "$out/utm/fixes.shp" --all-points -o "$out/ref/mcp.shp" > /dev/null
cp "$out"/utm/fixes.* "$out/ref/travel/"
"$bin/orvex" --quiet --yes travel "$out/ref/travel/fixes.shp" > /dev/null
"$bin/orvex" --quiet --yes kde "$out/utm/fixes.shp" --id AnimalID --out-dir "$out/ref/kde" --bandwidth manual:300 \
  --extent full:1100 --cell-size 50 --isopleths 50,95 > /dev/null
"$bin/orvex" --quiet --yes bbmm "$out/utm/fixes.shp" --id AnimalID --sigma2 30 --out-dir "$out/ref/bbmm" \
  --extent full:1100 --cell-size 50 --isopleths 50,95 > /dev/null
k=$("$bin/orvex" --quiet locoh "$out/utm/fixes.shp" --id AnimalID --method k --suggest | awk -F, 'NR == 2 { print $3 }')
echo "$k" > "$out/ref/suggested_k.txt"
"$bin/orvex" --quiet --yes locoh "$out/utm/fixes.shp" --id AnimalID --method k --param "$k" --isopleths 50,95 \
  --out-dir "$out/ref/locoh" > /dev/null
"$bin/orvex" --quiet --yes overlap "$out/ref/bbmm/bbmm0.tif" "$out/ref/kde/kde0_b1.tif" --out-dir "$out/ref/overlap" > /dev/null
# Three animals in one layer, interleaved out of time order, A3's first fix at A1's first time:
# travel over the whole layer, then per animal, then Time2 duplicates per animal, as the
# session runs them.
mkdir -p "$out/herd"
"$bin/orvex" --quiet simulate --out "$out/herd_sorted" --animals 3 --fixes 30 --seed 11 > /dev/null
ogr2ogr -dialect SQLite -nln herd -sql "SELECT Geometry, AnimalID, CASE WHEN rowid = 60 THEN (SELECT Time2 FROM fixes \
  WHERE rowid = 0) ELSE Time2 END AS Time2, Time1, Date FROM fixes ORDER BY rowid % 5, rowid" \
  "$out/herd/herd.shp" "$out/herd_sorted/fixes.shp"
mkdir -p "$out/ref/herd" && cp "$out"/herd/herd.* "$out/ref/herd/"
"$bin/orvex" --quiet --yes travel "$out/ref/herd/herd.shp" > /dev/null 2>&1
"$bin/orvex" --quiet --yes travel "$out/ref/herd/herd.shp" --by AnimalID > /dev/null
"$bin/orvex" --quiet --yes dedup-time "$out/ref/herd/herd.shp" --by AnimalID > /dev/null
lotek=${4:-}/lotek/collar_a.mdb
if [ -f "$lotek" ]; then
  "$bin/orvex" --quiet --yes --map-crs EPSG:32633 import-lotek "$lotek" --out "$out/ref/lotek.shp" > /dev/null
else
  lotek=""
fi
unset ORVEX_REGISTRY

"$bin/orvex-qgis-project" "$out/session.qgz" --crs EPSG:32633 "$out/fixes.gpkg"
ORVEX_E2E_OUT="$out" ORVEX_E2E_LOTEK="$lotek" timeout 150 "${display[@]}" \
  "$source_dir/scripts/qgis-desktop.sh" "$bin" "$out/profiles" --code "$source_dir/tests/qgis_e2e/session.py" \
  "$out/session.qgz" > "$out/qgis.txt" 2>&1 || true
cat "$out/session.log"
# The outputs read back with GDAL's programs and compared with the headless host's.
python3 "$source_dir/tests/qgis_e2e/compare.py" "$out" | tee "$out/compare.log"
grep -q "^SESSION OK" "$out/session.log"
grep -q "^OUTPUTS MATCH" "$out/compare.log"
