#!/usr/bin/env bash
# The real QGIS with the plug-in under Xvfb on a project whose coordinate system is switched
# between runs (crs_session.py): prepares the fixes and the command line's reference outputs on
# the fixes projected beforehand into each system, runs the session and compares.
#
#   run_crs_session.sh BIN_DIR SOURCE_DIR OUT_DIR
set -euo pipefail
. "$(dirname "$0")/qgis_session_prelude.sh" "the desktop coordinate-system session"
bin=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)
out=$3
rm -rf "$out" && mkdir -p "$out/ref/travel" "$out/merc"
out=$(cd "$out" && pwd)

# One animal's fixes in UTM 33N; the desktop works on a copy in degrees, in a project saved in
# degrees; the references are computed on the UTM fixes and on a World Mercator copy.
"$bin/orvex" --quiet simulate --out "$out/utm" --animals 1 --fixes 80 --seed 7 > /dev/null
ogr2ogr -f GPKG -t_srs EPSG:4326 "$out/fixes.gpkg" "$out/utm/fixes.shp" -nln fixes
ogr2ogr -t_srs EPSG:3395 "$out/merc/fixes.shp" "$out/utm/fixes.shp"

export ORVEX_REGISTRY="$out/registry"
for system in utm merc; do
  "$bin/orvex" --quiet --yes mcp "$out/$system/fixes.shp" --all-points -o "$out/ref/mcp_$system.shp" > /dev/null
  "$bin/orvex" --quiet --yes kde "$out/$system/fixes.shp" --id AnimalID --out-dir "$out/ref/kde_$system" \
    --bandwidth manual:300 --extent full:1100 --cell-size 50 --isopleths 50,95 > /dev/null
done
cp "$out"/utm/fixes.* "$out/ref/travel/"
"$bin/orvex" --quiet --yes travel "$out/ref/travel/fixes.shp" > /dev/null
unset ORVEX_REGISTRY

"$bin/orvex-qgis-project" "$out/session.qgz" --crs EPSG:4326 "$out/fixes.gpkg"
ORVEX_E2E_OUT="$out" timeout 150 "${display[@]}" \
  "$source_dir/scripts/qgis-desktop.sh" "$bin" "$out/profiles" --code "$source_dir/tests/qgis_e2e/crs_session.py" \
  "$out/session.qgz" > "$out/qgis.txt" 2>&1 || true
cat "$out/session.log"
python3 "$source_dir/tests/qgis_e2e/crs_compare.py" "$out" | tee "$out/compare.log"
grep -q "^SESSION OK" "$out/session.log"
grep -q "^OUTPUTS MATCH" "$out/compare.log"
