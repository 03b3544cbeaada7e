# A scripted session in the real QGIS with the plug-in, as a biologist works: a project saved in
# degrees (EPSG:4326) with a GeoPackage of fixes in degrees, switched to the fixes' UTM zone
# between runs, then to World Mercator (EPSG:3395). MCP, the KDE batch and travel run after each
# switch; run_crs_session.sh compares their files with the command line's on the fixes
# projected beforehand. On the way: Edit > Undo after travel and after a duplicate removal, a
# layer with the user's unsaved edits, a read-only layer, and travel refused in degrees.
# The verdict goes to $ORVEX_E2E_OUT/session.log ("SESSION OK" when everything held).
import os

from qgis.PyQt.QtWidgets import QAction, QApplication
from qgis.core import QgsCoordinateReferenceSystem, QgsFeature, QgsProject
from qgis.utils import iface

from session_support import (OUT, answers, check, later, mcp_all_fixes, messages, run_kde, start, start_answering,
                             trigger)


def undo(layer):
    """Edit > Undo of the main window, on the active layer."""
    iface.setActiveLayer(layer)
    action = iface.mainWindow().findChild(QAction, "mActionUndo")
    check(action is not None and action.isEnabled(), "Edit > Undo missing or disabled")
    action.trigger()


def state(layer):
    """The layer as QGIS reads it, edit buffer included: field names and every feature."""
    rows = [(f.id(), f.geometry().asWkt(), tuple(str(v) for v in f.attributes())) for f in layer.getFeatures()]
    return [field.name() for field in layer.fields()], rows


def set_crs(code):
    """As Project > Properties > CRS does."""
    QgsProject.instance().setCrs(QgsCoordinateReferenceSystem(code))
    QApplication.processEvents()


def analyses(tag):
    answers.extend([os.path.join(OUT, "qgis_mcp_%s.shp" % tag), os.path.join(OUT, "qgis_kde_%s" % tag)])
    os.makedirs(os.path.join(OUT, "qgis_kde_%s" % tag), exist_ok=True)
    trigger(layer_of("fixes"), "Orvex8.orvex_MCP")
    trigger(layer_of("fixes"), "ORVEX.clsKDETool")


def layer_of(name):
    return QgsProject.instance().mapLayersByName(name)[0]


def degrees_then_utm(fixes):
    """Runs in the saved project's degrees are refused and change nothing; then the switch."""
    before = state(fixes)
    trigger(fixes, "Orvex8.orvex_MCP")
    check(any("Project > Properties > CRS" in text for text in messages), "MCP in degrees not refused")
    trigger(fixes, "ORVEX.orvexobs")
    check(any("UTM projection" in text for text in messages), "travel in degrees: %s" % messages)
    check(not fixes.isEditable() and state(fixes) == before, "a refused travel changed the layer")
    set_crs("EPSG:32633")
    analyses("utm")


def travel_and_undo(fixes):
    """Travel leaves one undo step in the edit buffer; Edit > Undo restores the layer; the
    second travel is saved for the comparison."""
    before = state(fixes)
    trigger(fixes, "ORVEX.orvexobs")
    check(fixes.isEditable() and fixes.isModified() and fixes.undoStack().count() == 1,
          "travel: editable %s, modified %s, undo steps %d" % (fixes.isEditable(), fixes.isModified(),
                                                               fixes.undoStack().count()))
    check(not any("Error number" in text for text in messages), "travel reported %s" % messages)
    undo(fixes)
    check(state(fixes) == before, "Edit > Undo after travel did not restore the layer")
    trigger(fixes, "ORVEX.orvexobs")
    check(fixes.commitChanges(), "the travel fields could not be saved")


def duplicates_unsaved_and_read_only(fixes):
    """A duplicate removal on a layer with the user's unsaved edits (a copied fix), undone; a
    read-only layer refused by name."""
    check(fixes.startEditing(), "the user cannot start editing")
    copy = QgsFeature(next(fixes.getFeatures()))
    check(fixes.addFeature(copy), "the user's copy of a fix was not added")
    with_copy = state(fixes)
    trigger(fixes, "ORVEX.FindDupxy")
    check(any(text == "Deleted 1 duplicate features" for text in messages), "dedup-xy said %s" % messages)
    check(fixes.isEditable() and fixes.featureCount() == len(with_copy[1]) - 1, "the duplicate is still there")
    undo(fixes)
    check(state(fixes) == with_copy, "Edit > Undo after a duplicate removal did not restore the layer")
    fixes.rollBack()
    fixes.setReadOnly(True)
    before = state(fixes)
    trigger(fixes, "ORVEX.orvexobs")
    check(any('The layer "fixes" is read-only' in text for text in messages), "read-only: %s" % messages)
    check(not fixes.isEditable() and state(fixes) == before, "the read-only layer was changed")
    fixes.setReadOnly(False)


def session():
    fixes = layer_of("fixes")
    check(QgsProject.instance().crs().authid() == "EPSG:4326", "the project was not saved in degrees")
    timer = start_answering({"frmMCPOptions": mcp_all_fixes, "frmKDE": later(run_kde)})
    degrees_then_utm(fixes)
    travel_and_undo(fixes)
    duplicates_unsaved_and_read_only(fixes)
    set_crs("EPSG:3395")
    analyses("merc")
    timer.stop()


start(session)
