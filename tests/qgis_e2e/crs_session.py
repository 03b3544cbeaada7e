# A scripted session in the real QGIS with the plug-in, as a biologist works: a project saved in
# degrees (EPSG:4326) with a GeoPackage of fixes in degrees, switched to the fixes' UTM zone
# between runs, then to World Mercator (EPSG:3395). MCP, the KDE batch and travel run after each
# switch; run_crs_session.sh compares their files with the command line's on the fixes
# projected beforehand. On the way: Edit > Undo after travel and after a duplicate removal, a
# layer with the user's unsaved edits, a read-only layer, and travel refused in degrees.
# The verdict goes to $ORVEX_E2E_OUT/session.log ("SESSION OK" when everything held).
import os
import traceback

from qgis.PyQt.QtCore import QMetaObject, QTimer
from qgis.PyQt.QtWidgets import (QAction, QApplication, QCheckBox, QComboBox, QFileDialog, QLineEdit,
                                 QMessageBox, QPushButton, QRadioButton, QTabWidget)
from qgis.core import QgsCoordinateReferenceSystem, QgsFeature, QgsProject
from qgis.utils import iface

OUT = os.environ["ORVEX_E2E_OUT"]
failures = []
answers = []  # file and folder dialogs, in the order the runs ask
messages = []  # the texts of the message boxes answered


def trace(line):
    with open(os.path.join(OUT, "trace.txt"), "a") as out:
        out.write(line + "\n")


def check(condition, what):
    if not condition:
        failures.append(what)


def answer_modal():
    try:
        dialog = QApplication.activeModalWidget()
        if dialog is None:
            return
        if isinstance(dialog, QFileDialog):
            answer_file(dialog)
            return
        if dialog.property("orvexAnswered"):
            return
        dialog.setProperty("orvexAnswered", True)
        name = dialog.objectName()
        trace("modal %s %s" % (type(dialog).__name__, name))
        if isinstance(dialog, QMessageBox):
            messages.append(dialog.text())
            trace("  text: " + dialog.text().replace("\n", " | "))
            for button in (QMessageBox.Yes, QMessageBox.Ok):
                if dialog.button(button) is not None:
                    dialog.button(button).click()
                    return
            dialog.reject()
        elif name == "frmMCPOptions":
            box = dialog.findChild(QCheckBox, "chkPercent")
            if box.isChecked():
                box.click()
            dialog.findChild(QPushButton, "btnOK").click()
        elif name == "frmKDE":
            QTimer.singleShot(0, lambda: run_kde(dialog))  # its message boxes need this slot free
        else:
            dialog.reject()
    except Exception:
        trace(traceback.format_exc())


def answer_file(dialog):
    if dialog.property("orvexAnswer") is None:
        dialog.setProperty("orvexAnswer", answers.pop(0) if answers else "")
    answer = dialog.property("orvexAnswer")
    if not answer:
        dialog.reject()
        return
    name = dialog.findChild(QLineEdit, "fileNameEdit")
    if name is not None:
        name.setText(answer)
    else:
        dialog.selectFile(answer)
    QMetaObject.invokeMethod(dialog, "accept")


def on_page(dialog, widget):
    tabs = dialog.findChild(QTabWidget)
    parent = widget
    while tabs is not None and parent is not None:
        if tabs.indexOf(parent) >= 0:
            tabs.setCurrentIndex(tabs.indexOf(parent))
            QApplication.processEvents()
            return widget
        parent = parent.parentWidget()
    return widget


def run_kde(dialog):
    """The settings of the command line's reference runs (run_crs_session.sh)."""
    try:
        def choose(name, text):
            box = on_page(dialog, dialog.findChild(QComboBox, name))
            box.setCurrentIndex(box.findText(text))
            box.activated.emit(box.findText(text))

        def type_text(name, text):
            edit = on_page(dialog, dialog.findChild(QLineEdit, name))
            edit.setText(text)
            edit.textEdited.emit(text)

        choose("cmbPntL", "fixes")
        choose("cmbUIDFLD", "AnimalID")
        on_page(dialog, dialog.findChild(QRadioButton, "optBE_MANUAL")).click()
        type_text("txtBW", "300")
        on_page(dialog, dialog.findChild(QRadioButton, "optFull")).click()
        type_text("txtBuffer", "1100")
        type_text("txtCellSize", "50")
        if not on_page(dialog, dialog.findChild(QCheckBox, "chkBnds")).isChecked():
            dialog.findChild(QCheckBox, "chkBnds").click()
        type_text("txtBnds", "50, 95")
        on_page(dialog, dialog.findChild(QPushButton, "btnFolder")).click()
        QApplication.processEvents()
        dialog.findChild(QPushButton, "btnOK").click()
        if dialog.isVisible():
            failures.append("the KDE dialog stayed open after OK")
            dialog.reject()
    except Exception:
        trace(traceback.format_exc())


def trigger(layer, prog_id):
    """The menu item, on the layer chosen in the layers panel with all its fixes selected."""
    iface.setActiveLayer(layer)
    layer.selectAll()
    item = iface.mainWindow().findChild(QAction, "orvex:" + prog_id)
    check(item is not None and item.isEnabled(), "menu item %s missing or disabled" % prog_id)
    del messages[:]
    trace("item " + prog_id)
    item.trigger()


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


def run():
    try:
        fixes = layer_of("fixes")
        check(QgsProject.instance().crs().authid() == "EPSG:4326", "the project was not saved in degrees")
        timer = QTimer()
        timer.timeout.connect(answer_modal)
        timer.start(150)
        degrees_then_utm(fixes)
        travel_and_undo(fixes)
        duplicates_unsaved_and_read_only(fixes)
        set_crs("EPSG:3395")
        analyses("merc")
        timer.stop()
    except Exception:
        failures.append(traceback.format_exc())
    with open(os.path.join(OUT, "session.log"), "w") as log:
        log.write("\n".join(failures) + "\n" if failures else "SESSION OK\n")
    QgsProject.instance().setDirty(False)
    os._exit(0)


def watchdog():
    trace("modal now: %s" % QApplication.activeModalWidget())
    with open(os.path.join(OUT, "session.log"), "w") as log:
        log.write("stuck after 60 s (see trace.txt)\n")
    os._exit(1)


QTimer.singleShot(2500, run)
QTimer.singleShot(60000, watchdog)
