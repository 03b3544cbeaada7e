# Runs the Orvex Processing algorithms in QGIS with processing.run, as a script or the Python
# console would, on a GeoPackage layer in UTM 33N inside a project in UTM 34N, with the settings
# the command line got in run_processing.sh. Outputs go to $ORVEX_PROC_OUT/qgis; the verdict
# to $ORVEX_PROC_OUT/session.log ("SESSION OK" when every run returned its outputs).
import os
import traceback

from qgis.core import (QgsApplication, QgsProcessingFeatureSourceDefinition, QgsProcessingModelAlgorithm,
                       QgsProject)
import processing

OUT = os.environ["ORVEX_PROC_OUT"]
MODEL = os.environ["ORVEX_PROC_MODEL"]
QGIS_OUT = os.path.join(OUT, "qgis")
EXPECTED = {"bbmm", "deduptime", "dedupxy", "importlotek", "importmovebank", "independence", "kde", "kernel",
            "mcp", "mcpcurve", "overlap", "travel"}
failures = []


def run(algorithm, parameters):
    try:
        return processing.run(algorithm, parameters)
    except Exception:
        failures.append("%s raised:\n%s" % (algorithm, traceback.format_exc()))
        return {}


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
    run("orvex:mcp", {"INPUT": layer, "FIELD": "AnimalID", "OUTPUT": path("mcp.gpkg")})
    layer.selectByExpression("\"AnimalID\" = 'A1'")
    run("orvex:mcp", {"INPUT": QgsProcessingFeatureSourceDefinition(layer.id(), selectedFeaturesOnly=True),
                      "PERCENT": "50,95", "OUTPUT": path("mcp_a1.shp")})
    layer.removeSelection()
    run("orvex:kde", {"INPUT": layer, "FIELD": "AnimalID", "BANDWIDTH_VALUE": 300, "BUFFER": 1100,
                      "CELL_SIZE": 50, "ISOPLETHS": "50,95", "OUTPUT_FOLDER": path("kde")})
    for algorithm in ("travel", "deduptime", "dedupxy"):
        result = run("orvex:" + algorithm, {"INPUT": layer, "OUTPUT": path(algorithm + ".gpkg")})
        if result and result.get("OUTPUT") != path(algorithm + ".gpkg"):
            failures.append("%s returned %s" % (algorithm, result))

    # The graphical model: duplicate removal by time, then KDE, then MCP, with no dialog.
    model = QgsProcessingModelAlgorithm()
    if not model.fromFile(MODEL):
        failures.append("the model %s did not load" % MODEL)
        return
    result = run(model, {"fixes": layer, "animal_id": "AnimalID", "kde:kde_folder": path("model_kde"),
                         "mcp:home_ranges": path("model_mcp.gpkg")})
    if not os.path.exists(path("model_mcp.gpkg")):
        failures.append("the model wrote no MCP layer: %s" % result)


try:
    session()
except Exception:
    failures.append(traceback.format_exc())
with open(os.path.join(OUT, "session.log"), "w") as log:
    log.write("".join(line + "\n" for line in failures) or "SESSION OK\n")
# Quitting through the main window asks whether to save the changed project, a question nobody
# answers under Xvfb: the session ends the process itself.
os._exit(0)
