#!/usr/bin/env python3
# Reads the desktop session's outputs and the headless host's back with GDAL's programs
# (ogr2ogr, gdal_translate) and compares them. Prints one line per difference; exit 1 if any.
#
#   compare.py OUT
#
# Tolerances: the desktop read the fixes from a WGS 84 GeoPackage into a UTM 33N project, a
# round trip that moves them by far less than a millimetre, so positions agree to 1e-3 m,
# densities to 1e-6 of the grid's largest value, and whole-metre areas and lengths to 1 m.
import csv
import glob
import io
import os
import subprocess
import sys

OUT = sys.argv[1]
problems = []


def table(path, *options):
    """The features of a vector file as dicts of text, read by ogr2ogr."""
    text = subprocess.run(["ogr2ogr", "-f", "CSV", "/vsistdout/", path, *options], check=True,
                          capture_output=True, text=True).stdout
    return list(csv.DictReader(io.StringIO(text)))


def grid(path):
    """A raster's header and cells, read by gdal_translate as an ASCII grid."""
    text = subprocess.run(["gdal_translate", "-q", "-of", "AAIGrid", path, "/vsistdout/"], check=True,
                          capture_output=True, text=True).stdout
    header, cells = {}, []
    lines = iter(text.splitlines())
    for line in lines:  # the header, up to the first row of cells
        words = line.split()
        if not words[0][0].isalpha():
            cells.extend(float(word) for word in words)
            break
        header[words[0].lower()] = float(words[1])
    wanted = int(header.get("ncols", 0) * header.get("nrows", 0))
    for line in lines:  # the cells; the grid's .prj text follows them on the same stream
        if len(cells) >= wanted:
            break
        cells.extend(float(word) for word in line.split())
    return header, cells


def near(a, b, tolerance):
    try:
        return abs(float(a) - float(b)) <= tolerance
    except ValueError:
        return a == b


def compare_rows(what, ours, theirs, tolerances, key=None):
    if key:
        theirs = {row[key]: row for row in theirs}
        pairs = [(row, theirs.get(row[key])) for row in ours]
    else:
        if len(ours) != len(theirs):
            problems.append("%s: %d features vs %d" % (what, len(ours), len(theirs)))
        pairs = list(zip(ours, theirs))
    for number, (a, b) in enumerate(pairs):
        if b is None:
            problems.append("%s: feature %d has no headless counterpart" % (what, number))
            continue
        for field, value in b.items():
            tolerance = tolerances.get(field, 0.0)
            if field not in a or not (a[field] == value or (tolerance and near(a[field], value, tolerance))):
                problems.append("%s: feature %d %s = %s, headless %s" % (what, number, field, a.get(field), value))
    return len(pairs)


def compare_ud_folder(what, ours, theirs):
    """A utilisation-distribution tool's output folder: the same files, rasters and isopleths."""
    ours, theirs = os.path.join(OUT, ours), os.path.join(OUT, "ref", theirs)
    names = sorted(os.listdir(theirs))
    if sorted(os.listdir(ours)) != names:
        problems.append("%s files: %s vs %s" % (what, sorted(os.listdir(ours)), names))
    rasters = [name for name in names if name.endswith(".tif")]
    if not rasters:
        problems.append("%s: no raster in the headless output" % what)
    for name in rasters:
        (header_a, cells_a), (header_b, cells_b) = grid(os.path.join(ours, name)), grid(os.path.join(theirs, name))
        for field in ("ncols", "nrows", "xllcorner", "yllcorner", "cellsize"):
            if not near(header_a.get(field, 0), header_b.get(field, 0), 1e-3):
                problems.append("%s %s: %s %s vs %s" % (what, name, field, header_a.get(field), header_b.get(field)))
        largest = max(cells_b, default=0.0)
        if len(cells_a) != len(cells_b) or any(abs(a - b) > 1e-6 * largest for a, b in zip(cells_a, cells_b)):
            problems.append("%s %s: densities differ by more than 1e-6 of the largest" % (what, name))
    for shp in (name for name in names if name.endswith(".shp")):
        levels = {field: 1e-6 for field in ("ISOPLETH", "ISOPLETH1", "ISOPLETH2")}
        levels.update({field: 1.0 for field in ("AREA", "PERIMETER", "LENGTH")})
        compare_rows(what + " " + shp, table(os.path.join(ours, shp)), table(os.path.join(theirs, shp)), levels)


def compare_mcp():
    ours, theirs = table(os.path.join(OUT, "qgis_mcp.shp")), table(os.path.join(OUT, "ref", "mcp.shp"))
    # Areas and perimeters of the same hull: 1e-6 relative (the fixes moved by far less).
    tolerances = {field: 1e-6 * abs(float(value)) for field, value in (theirs[0].items() if theirs else ())
                  if near(value, value, 1.0)}
    compare_rows("MCP", ours, theirs, tolerances)


def compare_lotek():
    ours, theirs = os.path.join(OUT, "qgis_lotek.shp"), os.path.join(OUT, "ref", "lotek.shp")
    if not os.path.exists(theirs):
        return  # no shared Lotek fixture: the session did not import
    xy = ["-lco", "GEOMETRY=AS_XY"]
    count = compare_rows("Lotek", table(ours, *xy), table(theirs, *xy), {"X": 1e-3, "Y": 1e-3})
    if count < 100:
        problems.append("Lotek: only %d fixes imported" % count)


def compare_travel():
    # Every travel field of every fix left in the GeoPackage (duplicate removal ran after the
    # travel fields), matched to the headless host's fix by its time.
    fields = {"T_Obs_Sec": 1e-3, "T_Cumul": 1e-3, "Dist": 1e-3, "Dist_Cumul": 1.0, "Me_per_Sec": 1e-6,
              "Mi_per_hr": 1e-5}
    ours = table(os.path.join(OUT, "fixes.gpkg"), "-select", ",".join(["Time2", *fields]))
    theirs = table(glob.glob(os.path.join(OUT, "ref", "travel", "fixes.shp"))[0], "-select", ",".join(["Time2", *fields]))
    for row in ours + theirs:
        row["Time2"] = str(round(float(row["Time2"])))
    count = compare_rows("travel", ours, theirs, fields, key="Time2")
    if count < 40:
        problems.append("travel: only %d fixes compared" % count)


def compare_herd():
    # Three animals in one layer after travel over the whole layer, travel per animal and Time2
    # duplicate removal per animal: the same file, fix by fix, as the same runs of the command
    # line, with compare_travel's tolerances (the fields QGIS adds may keep other widths).
    fields = {"T_Obs_Sec": 1e-3, "T_Cumul": 1e-3, "Dist": 1e-3, "Dist_Cumul": 1.0, "Me_per_Sec": 1e-6,
              "Mi_per_hr": 1e-5}
    ours, theirs = table(os.path.join(OUT, "herd", "herd.shp")), table(os.path.join(OUT, "ref", "herd", "herd.shp"))
    if compare_rows("travel per animal", ours, theirs, fields) != 90:
        problems.append("travel per animal: not the 90 fixes of three animals (%d)" % len(ours))


def compare_kde():
    compare_ud_folder("KDE", "qgis_kde", "kde")


def compare_bbmm():
    compare_ud_folder("bridge", "qgis_bbmm", "bbmm")


def compare_locoh():
    # The dialog suggested the k the command line suggests, and its isopleths are the command's.
    with open(os.path.join(OUT, "suggested_k.txt")) as ours, open(os.path.join(OUT, "ref", "suggested_k.txt")) as theirs:
        if ours.read().strip() != theirs.read().strip():
            problems.append("LoCoH: the dialog suggested another k than orvex locoh --suggest")
    for shp in (name for name in os.listdir(os.path.join(OUT, "ref", "locoh")) if name.endswith(".shp")):
        compare_rows("LoCoH " + shp, table(os.path.join(OUT, "qgis_locoh", shp)),
                     table(os.path.join(OUT, "ref", "locoh", shp)), {"Area": 1.0})


def compare_overlap():
    # Six tables of the two UDs, which agree to 1e-6 of their largest density: indices to 1e-5.
    for index in ("HR", "PHR", "VI", "BA", "UDOI", "HD"):
        name = index + ".csv"
        ours, theirs = [list(csv.reader(open(os.path.join(OUT, folder, name)))) for folder in ("qgis_overlap", "ref/overlap")]
        if len(ours) != 3 or [row[0] for row in ours] != [row[0] for row in theirs] or ours[0] != theirs[0]:
            problems.append("overlap %s: animals %s vs %s" % (index, ours, theirs))
            continue
        for a, b in zip(ours[1:], theirs[1:]):
            if not all(near(x, y, 1e-5) for x, y in zip(a[1:], b[1:])):
                problems.append("overlap %s: %s vs %s" % (index, a, b))


if __name__ == "__main__":  # crs_compare.py imports the readers
    for step in (compare_kde, compare_bbmm, compare_locoh, compare_overlap, compare_mcp, compare_lotek,
                 compare_travel, compare_herd):
        try:
            step()
        except Exception as error:  # a missing file or a failed program is a difference too
            problems.append("%s: %s" % (step.__name__, error))
    print("\n".join(problems) if problems else "OUTPUTS MATCH")
    sys.exit(1 if problems else 0)
