#!/usr/bin/env bash
# Starts QGIS with the Orvex plug-in of a build folder, enabled, in a fresh profile.
#
#   scripts/qgis-desktop.sh BIN_DIR PROFILE_DIR [qgis arguments...]
#
# BIN_DIR holds liborvexplugin.so beside the component libraries. PROFILE_DIR is made (or
# reset) as a QGIS profiles folder whose "default" profile searches BIN_DIR for C++ plug-ins
# and enables the Orvex plug-in, so QGIS loads it at start with no clicks.
set -euo pipefail

bin_dir=$(cd "$1" && pwd)
profiles=$2
shift 2

settings="$profiles/profiles/default/QGIS"
rm -rf "$profiles/profiles/default"
mkdir -p "$settings"
cat > "$settings/QGIS3.ini" <<INI
[plugins]
searchPathsForPlugins=$bin_dir

[Plugins]
liborvexplugin=true

[qgis]
showTips=false
checkVersion=false

[core]
NewsFeed\\httpsfeedqgisorg\\disabled=true
INI

exec qgis --profiles-path "$profiles" --profile default --nologo --noversioncheck "$@"
