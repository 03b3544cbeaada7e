#!/usr/bin/env python3
# The coordinate-system session's files against the command line's on the fixes projected
# beforehand (run_crs_session.sh), with compare.py's readers and tolerances: the desktop read
# the fixes from a copy in degrees, a round trip that moves them by far less than a millimetre.
#
#   crs_compare.py OUT
import os
import sys

import compare

OUT = sys.argv[1]


def labelled(path, code):
    """The .prj of a shapefile names the system its coordinates are in."""
    with open(path[:-4] + ".prj") as prj:
        text = prj.read().replace("_", " ").lower()
    return code in text


def check_system(tag, name):
    mcp = os.path.join(OUT, "qgis_mcp_%s.shp" % tag)
    ours, theirs = compare.table(mcp), compare.table(os.path.join(OUT, "ref", "mcp_%s.shp" % tag))
    tolerances = {field: 1e-6 * abs(float(value)) for field, value in (theirs[0].items() if theirs else ())
                  if compare.near(value, value, 1.0)}
    compare.compare_rows("MCP (%s)" % tag, ours, theirs, tolerances)
    if not labelled(mcp, name):
        compare.problems.append("MCP (%s): its .prj does not name %s" % (tag, name))
    compare.compare_ud_folder("KDE (%s)" % tag, "qgis_kde_" + tag, "kde_" + tag)


for step in (lambda: check_system("utm", "utm zone 33n"), lambda: check_system("merc", "world mercator"),
             compare.compare_travel):
    try:
        step()
    except Exception as error:  # a missing file or a failed program is a difference too
        compare.problems.append(str(error))
print("\n".join(compare.problems) if compare.problems else "OUTPUTS MATCH")
sys.exit(1 if compare.problems else 0)
