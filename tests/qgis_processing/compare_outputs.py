#!/usr/bin/env python3
# Compares the Processing algorithms' outputs (OUT/qgis) with the command line's (OUT/ref), both
# read back with GDAL's programs. Prints one line per difference and "OUTPUTS MATCH" when none.
#
#   compare_outputs.py OUT
#
# Tolerances: both ran the same program on the same fixes (the algorithm on its copy of the
# layer), so rasters, isopleths, pictures, CSV tables and MCP areas must agree exactly; numbers that pass through a
# second layer (the algorithm's OUTPUT) are compared to 1e-9 relative, what a text round trip of
# a double keeps with margin.
import csv
import glob
import io
import os
import subprocess
import sys

OUT = sys.argv[1]
REF = os.path.join(OUT, "ref")
QGIS = os.path.join(OUT, "qgis")
problems = []


def table(path, *options):
    """A vector layer's features as dicts of text (geometry as WKT), read by ogr2ogr."""
    text = subprocess.run(["ogr2ogr", "-f", "CSV", "/vsistdout/", path, "-lco", "GEOMETRY=AS_WKT", *options],
                          check=True, capture_output=True, text=True).stdout
    return list(csv.DictReader(io.StringIO(text)))


def same_number(a, b):
    try:
        x, y = float(a), float(b)
    except ValueError:
        return a == b
    return abs(x - y) <= 1e-9 * max(1.0, abs(x), abs(y))


def compare_rows(what, ours, theirs, fields):
    if len(ours) != len(theirs):
        problems.append("%s: %d features, the command line %d" % (what, len(ours), len(theirs)))
        return
    for index, (row, reference) in enumerate(zip(ours, theirs)):
        for field in fields:
            if not same_number(row.get(field, ""), reference.get(field, "")):
                problems.append("%s feature %d %s: %s, the command line %s" % (what, index, field, row.get(field),
                                                                             reference.get(field)))


def compare_mcp(name, reference_folder):
    rows = {row["Layer"]: row for row in table(os.path.join(QGIS, name))}
    references = sorted(glob.glob(os.path.join(reference_folder, "*.shp")))
    if len(rows) != len(references) or not references:
        problems.append("%s: layers %s, the command line %s" % (name, sorted(rows), references))
    for reference in references:
        stem = os.path.splitext(os.path.basename(reference))[0]
        expected = table(reference)[0]
        compare_rows("%s %s" % (name, stem), [rows.get(stem, {})], [expected], ("NPoints", "NUsed", "Area"))


def same_bytes(ours, theirs):
    with open(ours, "rb") as a, open(theirs, "rb") as b:
        return a.read() == b.read()


def compare_folder(name, kinds=(".tif", ".shp")):
    """Every file of these kinds in the command line's folder, equal in the algorithm's: vector
    files feature by feature, the others byte for byte."""
    reference_folder = os.path.join(REF, name)
    files = sorted(os.path.relpath(path, reference_folder)
                   for path in glob.glob(os.path.join(reference_folder, "*")) if path.endswith(kinds))
    if not files:
        problems.append("%s: the command line wrote no %s" % (name, " or ".join(kinds)))
    for file in files:
        ours, theirs = os.path.join(QGIS, name, file), os.path.join(reference_folder, file)
        if not os.path.exists(ours):
            problems.append("%s: no %s" % (name, file))
        elif not (table(ours) == table(theirs) if file.endswith(".shp") else same_bytes(ours, theirs)):
            problems.append("%s: %s differs from the command line's" % (name, file))


def compare_file(name):
    if not same_bytes(os.path.join(QGIS, name), os.path.join(REF, name)):
        problems.append("%s differs from the command line's" % name)


def compare_import(name, reference):
    """An import's OUTPUT layer against the command line's shapefile, every field."""
    ours, theirs = table(os.path.join(QGIS, name)), table(os.path.join(REF, reference))
    fields = [field for field in (theirs[0] if theirs else {}) if field.lower() != "fid"]
    compare_rows(name, ours, theirs, fields)


def compare_edited(algorithm, command):
    ours = table(os.path.join(QGIS, algorithm + ".gpkg"))
    theirs = table(os.path.join(REF, command, "fixes.gpkg"))
    fields = [field for field in (theirs[0] if theirs else {}) if field.lower() != "fid"]
    compare_rows(algorithm, ours, theirs, fields)


CHECKS = ((compare_mcp, "mcp.gpkg", os.path.join(REF, "mcp")),
          (compare_mcp, "mcp_a1.shp", os.path.join(REF, "mcp_a1")),
          (compare_folder, "kde"),
          (compare_folder, "kernel"),
          (compare_folder, "bbmm"),
          (compare_folder, "locoh"),
          (compare_folder, "mcpcurve", (".shp", ".svg")),
          (compare_folder, "overlap", (".csv",)),
          (compare_file, "independence.csv"),
          (compare_import, "movebank.gpkg", "movebank/movebank.shp"),
          (compare_edited, "travel", "travel"),
          (compare_edited, "deduptime", "dedup-time"),
          (compare_edited, "dedupxy", "dedup-xy"),
          (compare_edited, "travel_by", "travel-by"),
          (compare_edited, "deduptime_by", "dedup-time-by"),
          (compare_edited, "dedupxy_by", "dedup-xy-by"))
if os.path.isdir(os.path.join(REF, "lotek")):
    CHECKS += ((compare_import, "lotek.gpkg", "lotek/lotek.shp"),)
CHECKS += tuple((compare_mcp, "batch%d.gpkg" % row, os.path.join(REF, "mcp")) for row in range(3))
for check, *arguments in CHECKS:
    try:
        check(*arguments)
    except (subprocess.CalledProcessError, OSError, IndexError) as error:
        problems.append("%s %s: %s" % (check.__name__, arguments[0], error))
for problem in problems:
    print(problem)
print("OUTPUTS MATCH" if not problems else "%d DIFFERENCES" % len(problems))
sys.exit(1 if problems else 0)
