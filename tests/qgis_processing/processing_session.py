# Runs the Orvex Processing algorithms in QGIS with processing.run, as a script or the Python
# console would, on a GeoPackage layer in UTM 33N inside a project in UTM 34N, with the settings
# the command line got in run_processing.sh; then the batch interface on a list of three layers
# and the outputs' styles. Outputs go to $ORVEX_PROC_OUT/qgis; the verdict to
# $ORVEX_PROC_OUT/session.log ("SESSION OK" when every run returned its outputs).
import glob
import os
import random
import time
import traceback

from qgis.core import (QgsApplication, QgsFeature, QgsGeometry, QgsPointXY, QgsProcessingFeatureSourceDefinition,
                       QgsProcessingFeedback, QgsProcessingModelAlgorithm, QgsProject, QgsVectorLayer)
from qgis.PyQt.QtCore import QTimer
from qgis.utils import iface
import processing
from processing.gui.BatchAlgorithmDialog import BatchAlgorithmDialog
from processing.tools import dataobjects

OUT = os.environ["ORVEX_PROC_OUT"]
MODEL = os.environ["ORVEX_PROC_MODEL"]
MOVEBANK = os.environ["ORVEX_PROC_MOVEBANK"]
LOTEK = os.environ.get("ORVEX_PROC_LOTEK", "")
QGIS_OUT = os.path.join(OUT, "qgis")
EXPECTED = {"bbmm", "deduptime", "dedupxy", "importlotek", "importmovebank", "independence", "kde", "kernel",
            "locoh", "mcp", "mcpcurve", "overlap", "travel"}
WATCHDOG_SECONDS = 150
CANCEL_FIXES = 100000
CANCEL_SECONDS = 1.0  # from Cancel to processing.run's return
POLYGON_FILL_ALPHA = 90  # the menu tools' isopleth and home-range fill (layer_styles.cpp)
failures = []
timings = []


def timed(what, call):
    """Runs `call`, its time kept for timings.log (and each step's end written at once, so a
    session that hangs shows where)."""
    start = time.monotonic()
    result = call()
    timings.append("%-28s %6.1f s" % (what, time.monotonic() - start))
    with open(os.path.join(OUT, "timings.log"), "w") as log:
        log.write("".join(line + "\n" for line in timings + failures))
    return result


def run(algorithm, parameters, load=False):
    try:
        call = processing.runAndLoadResults if load else processing.run
        return timed(str(algorithm), lambda: call(algorithm, parameters))
    except Exception:
        failures.append("%s raised:\n%s" % (algorithm, traceback.format_exc()))
        return {}


def check_styles():
    """The loaded outputs wear the menu tools' styles: UD rasters a colour ramp, polygons a
    semi-transparent fill."""
    rasters = polygons = 0
    for layer in QgsProject.instance().mapLayers().values():
        source = layer.source()
        if source.startswith(os.path.join(QGIS_OUT, "kde")) and source.endswith(".tif"):
            rasters += 1
            if layer.renderer().type() != "singlebandpseudocolor":
                failures.append("raster %s drawn by %s" % (source, layer.renderer().type()))
        elif isinstance(layer, QgsVectorLayer) and layer.geometryType() == 2 and QGIS_OUT in source:
            polygons += 1
            # One symbol, or one per area class where the isopleths graduate by "Area".
            # The ranges are kept while their symbols are read: a range owns its symbol.
            renderer = layer.renderer()
            ranges = renderer.ranges() if hasattr(renderer, "ranges") else []
            alphas = ({r.symbol().color().alpha() for r in ranges} if ranges
                      else {renderer.symbol().color().alpha()})
            for alpha in alphas:
                if alpha != POLYGON_FILL_ALPHA:
                    failures.append("polygon layer %s filled with alpha %d" % (source, alpha))
    if rasters < 2 or polygons < 1:
        failures.append("styled outputs: %d rasters, %d polygon layers loaded" % (rasters, polygons))


def toolbox_picture(file):
    """The Processing toolbox beside the map, the Orvex provider open on its groups."""
    from qgis.PyQt.QtWidgets import QApplication
    from qgis.utils import plugins
    toolbox = plugins["processing"].toolbox
    toolbox.show()
    toolbox.raise_()
    from qgis.PyQt.QtWidgets import QAbstractItemView
    tree = toolbox.algorithmTree
    model = tree.model()
    for row in range(model.rowCount()):
        index = model.index(row, 0)
        opened = model.data(index) == "Orvex"
        tree.setExpanded(index, opened)
        for group in range(model.rowCount(index) if opened else 0):
            tree.setExpanded(model.index(group, 0, index), True)
        if opened:
            tree.scrollTo(index, QAbstractItemView.PositionAtTop)
    canvas = iface.mapCanvas()
    canvas.zoomToFullExtent()
    canvas.refresh()
    canvas.waitWhileRendering()
    QApplication.processEvents()
    iface.mainWindow().grab().save(file)


def cancel_during_lscv(folder):
    """Cancel while KDE's LSCV scan of one animal's 100,000 fixes runs (it starts at the run's first
    progress, 50 %, and lasts minutes): processing.run returns within a second, with no raster."""
    layer = QgsVectorLayer("Point?crs=EPSG:32633&field=AnimalID:string", "many", "memory")
    draw = random.Random(11)
    features = []
    for _ in range(CANCEL_FIXES):
        feature = QgsFeature(layer.fields())
        feature.setAttributes(["A"])
        feature.setGeometry(QgsGeometry.fromPointXY(QgsPointXY(500000 + draw.gauss(0, 1000),
                                                               5000000 + draw.gauss(0, 1000))))
        features.append(feature)
    layer.dataProvider().addFeatures(features)
    feedback = QgsProcessingFeedback()
    cancelled = []

    def on_progress(percent):
        if percent > 0 and not cancelled:
            cancelled.append(time.monotonic())
            feedback.cancel()

    feedback.progressChanged.connect(on_progress)
    try:
        processing.run("orvex:kde", {"INPUT": layer, "FIELD": "AnimalID", "OUTPUT_FOLDER": folder},
                       feedback=feedback)
        failures.append("the cancelled KDE run returned outputs")
    except Exception:
        pass
    ended = time.monotonic()
    if not cancelled:
        failures.append("the KDE run of %d fixes reported no progress to cancel at" % CANCEL_FIXES)
        return
    timings.append("%-28s %6.2f s" % ("cancel to return", ended - cancelled[0]))
    if ended - cancelled[0] > CANCEL_SECONDS:
        failures.append("Cancel took %.2f s to return" % (ended - cancelled[0]))
    if glob.glob(os.path.join(folder, "*.tif")):
        failures.append("the cancelled run left rasters in %s" % folder)


def batch(layers):
    """The batch interface: its table filled as "Select from open layers" fills the INPUT column,
    each row's parameters (as the dialog reads them) run through orvex:mcp. (The dialog's own Run
    is not pressed: in a session started from --code it now and then never returns.)"""
    algorithm = QgsApplication.processingRegistry().createAlgorithmById("orvex:mcp")
    dialog = BatchAlgorithmDialog(algorithm, iface.mainWindow())
    panel = dialog.mainWidget()
    panel.addRow(len(layers) - 1)
    context = dataobjects.createContext()
    fill = panel.tblParameters.cellWidget(0, panel.parameter_to_column["INPUT"])
    for row, layer in enumerate(layers):
        fill.setRowValue(row, layer.id(), context)
        panel.wrappers[row][panel.parameter_to_column["FIELD"]].setParameterValue("AnimalID", context)
        panel.tblParameters.cellWidget(row + 1, panel.parameter_to_column["OUTPUT"]).setValue(
            os.path.join(QGIS_OUT, "batch%d.gpkg" % row))
    for row in range(panel.batchRowCount()):
        parameters, ok = panel.parametersForRow(row, warnOnInvalid=False)
        if not ok:
            failures.append("batch row %d: parameters refused" % row)
            continue
        run("orvex:mcp", parameters)
    dialog.close()


def session():
    os.makedirs(QGIS_OUT, exist_ok=True)
    provider = QgsApplication.processingRegistry().providerById("orvex")
    if provider is None:
        failures.append("no provider orvex")
        return
    ids = {algorithm.name() for algorithm in provider.algorithms()}
    if ids != EXPECTED:
        failures.append("algorithms %s, expected %s" % (sorted(ids), sorted(EXPECTED)))
    groups = {algorithm.group() for algorithm in provider.algorithms()}
    if not groups <= {"Home range", "Bandwidth", "Movement", "Data preparation", "Import"}:
        failures.append("groups %s" % sorted(groups))

    layer = QgsProject.instance().mapLayersByName("fixes")[0]
    path = lambda name: os.path.join(QGIS_OUT, name)
    # Only INPUT, FIELD and the destination: every other parameter at its default.
    run("orvex:mcp", {"INPUT": layer, "FIELD": "AnimalID", "OUTPUT": path("mcp.gpkg")}, load=True)
    layer.selectByExpression("\"AnimalID\" = 'A1'")
    run("orvex:mcp", {"INPUT": QgsProcessingFeatureSourceDefinition(layer.id(), selectedFeaturesOnly=True),
                      "PERCENT": "50,95", "OUTPUT": path("mcp_a1.shp")})
    layer.removeSelection()
    run("orvex:kde", {"INPUT": layer, "FIELD": "AnimalID", "BANDWIDTH_VALUE": 300, "BUFFER": 1100,
                      "CELL_SIZE": 50, "ISOPLETHS": "50,95", "OUTPUT_FOLDER": path("kde")}, load=True)
    check_styles()
    run("orvex:kernel", {"INPUT": layer, "FIELD": "AnimalID", "H": "1.0", "RESOLUTION": 40,
                         "OUTPUT_FOLDER": path("kernel")})
    run("orvex:bbmm", {"INPUT": layer, "FIELD": "AnimalID", "SIGMA2": 30, "BUFFER": 1100, "CELL_SIZE": 50,
                       "ISOPLETHS": "50,95", "OUTPUT_FOLDER": path("bbmm")})
    run("orvex:locoh", {"INPUT": layer, "FIELD": "AnimalID", "OUTPUT_FOLDER": path("locoh")})
    run("orvex:mcpcurve", {"INPUT": layer, "FIELD": "AnimalID", "OUTPUT_FOLDER": path("mcpcurve")})
    run("orvex:independence", {"INPUT": layer, "FIELD": "AnimalID",
                               "OUTPUT": path("independence.csv")})
    run("orvex:overlap", {"INPUT": sorted(glob.glob(os.path.join(OUT, "ref", "kde", "*.tif"))),
                          "OUTPUT_FOLDER": path("overlap")})
    run("orvex:importmovebank", {"INPUT": [MOVEBANK], "OUTPUT": path("movebank.gpkg")})
    if LOTEK:
        run("orvex:importlotek", {"INPUT": [LOTEK], "MAP_CRS": "EPSG:32633", "OUTPUT": path("lotek.gpkg")})
    for algorithm in ("travel", "deduptime", "dedupxy"):
        result = run("orvex:" + algorithm, {"INPUT": layer, "OUTPUT": path(algorithm + ".gpkg")})
        if result and result.get("OUTPUT") != path(algorithm + ".gpkg"):
            failures.append("%s returned %s" % (algorithm, result))
        # The same with the animal field: each animal's fixes kept apart (--by).
        run("orvex:" + algorithm, {"INPUT": layer, "FIELD": "AnimalID", "OUTPUT": path(algorithm + "_by.gpkg")})

    # The graphical model: duplicate removal by time, then KDE, then MCP, with no dialog.
    model = QgsProcessingModelAlgorithm()
    if not model.fromFile(MODEL):
        failures.append("the model %s did not load" % MODEL)
        return
    result = run(model, {"fixes": layer, "animal_id": "AnimalID", "kde:kde_folder": path("model_kde"),
                         "mcp:home_ranges": path("model_mcp.gpkg")})
    if not os.path.exists(path("model_mcp.gpkg")):
        failures.append("the model wrote no MCP layer: %s" % result)

    copies = [QgsVectorLayer(os.path.join(OUT, "fixes.gpkg|layername=fixes"), "fixes_%d" % n, "ogr")
              for n in range(3)]
    QgsProject.instance().addMapLayers(copies)
    batch(copies)
    QgsProject.instance().removeMapLayers([copy.id() for copy in copies])
    toolbox_picture(os.path.join(OUT, "processing-toolbox.png"))
    timed("cancel (100,000 fixes)", lambda: cancel_during_lscv(path("cancel")))


def main():
    try:
        session()
    except Exception:
        failures.append(traceback.format_exc())
    with open(os.path.join(OUT, "timings.log"), "w") as log:
        log.write("".join(line + "\n" for line in timings))
    with open(os.path.join(OUT, "session.log"), "w") as log:
        log.write("".join(line + "\n" for line in failures) or "SESSION OK\n")
    os._exit(0)  # the logs are written; nothing of the session needs QGIS's orderly exit


def watchdog():
    """A session still running after its time: the window and any modal dialog go to the log."""
    from qgis.PyQt.QtWidgets import QApplication
    iface.mainWindow().grab().save(os.path.join(OUT, "stuck.png"))
    with open(os.path.join(OUT, "session.log"), "w") as log:
        log.write("stuck after %d s; modal: %s; steps done:\n%s\n" % (
            WATCHDOG_SECONDS, QApplication.activeModalWidget(), "\n".join(timings + failures)))
    os._exit(1)


# The session starts once QGIS's event loop runs (the batch dialog and the toolbox need it).
QTimer.singleShot(0, main)
QTimer.singleShot(WATCHDOG_SECONDS * 1000, watchdog)
