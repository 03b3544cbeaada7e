# Shared start of the scripts that run a session in the real QGIS, sourced with the session's
# name: skips (exit 77, with the reason) where QGIS, its Python bindings, ogr2ogr or a display
# are missing, and sets `display` to the command that gives QGIS a screen.
#
#   . qgis_session_prelude.sh "the desktop end-to-end session"
skip() { echo "SKIP: $1: $session_name is not run"; exit 77; }
session_name=$1
command -v qgis > /dev/null || skip "no qgis program"
command -v ogr2ogr > /dev/null || skip "no ogr2ogr (gdal-bin)"
# QGIS embeds the system's Python, which need not be the first python3 on the PATH.
{ /usr/bin/python3 -c "import qgis.core" || python3 -c "import qgis.core"; } 2> /dev/null || skip "no QGIS Python bindings (python3-qgis)"
# QGIS runs a --code script without its folder on the module path: the sessions import their
# shared module (session_support.py) from this folder, and leave no byte code in the tree.
export PYTHONPATH="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)${PYTHONPATH:+:$PYTHONPATH}"
export PYTHONDONTWRITEBYTECODE=1
if command -v xvfb-run > /dev/null; then
  display=(xvfb-run -a -s "-screen 0 1366x768x24")  # a common laptop screen
elif [ -n "${DISPLAY:-}" ]; then
  display=()
else
  skip "neither xvfb-run nor a display"
fi
