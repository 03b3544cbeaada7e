# A scripted session in the real QGIS with the plug-in: the Brownian bridge and LoCoH of the
# "Range Tools" menu, then every item of the "TALVO Tools" menu with the overlap of the bridge's
# and the kernel's UDs after the kernel, runs on a GeoPackage layer (WGS 84) with a selection, in
# a project in UTM 33N. Dialogs are
# answered as a person would; outputs are compared with the headless host's (written by
# run_session.sh before QGIS started); screenshots are saved and checked not to be blank.
# Every dialog is looked at as a person on a 1366 x 768 screen sees it: its minimum height fits
# the screen with its title bar, it opens inside the screen, and a picture of it is saved
# (dialog-<name>.png, the kernel dialog also on the whole screen).
# The verdict goes to $ORVEX_E2E_OUT/session.log ("SESSION OK" when everything held).
import os
import traceback

from qgis.PyQt.QtCore import QMetaObject, QTimer
from qgis.PyQt.QtGui import QImage
from qgis.PyQt.QtWidgets import (QAction, QApplication, QComboBox, QDialog, QDialogButtonBox, QFileDialog, QLineEdit, QMenu,
                                 QMessageBox, QPushButton, QCheckBox, QRadioButton, QDockWidget, QTabWidget)
from qgis.core import QgsProject, QgsVectorLayer
from qgis.utils import iface

OUT = os.environ["ORVEX_E2E_OUT"]
LOTEK = os.environ.get("ORVEX_E2E_LOTEK", "")  # a collar file, empty without the shared data
# The KDE dialog's raster of the animal, the overlap's second UD.
KDE_RASTER = "kde0_b1"
# The TALVO Tools menu's eight items in menu order; the session runs About first.
TALVO_ITEMS = ("ORVEX.clsKDETool", "Orvex8.orvex_MCP", "ORVEX.orvexobs", "ORVEX.FindDupTime2", "ORVEX.FindDupxy",
               "ORVEX.MOLE", "Orvex8.orvex_import", "ORVEX.clsAbout")
failures = []
save_answers = []
seen_dialogs = []


def trace(line):
    with open(os.path.join(OUT, "trace.txt"), "a") as out:
        out.write(line + "\n")


def check(condition, what):
    if not condition:
        failures.append(what)


def distinct_colours(image):
    image = image.scaled(160, 120)
    return len({image.pixel(x, y) for x in range(image.width()) for y in range(image.height())})


def screenshot(widget, name):
    path = os.path.join(OUT, name)
    image = widget.grab().toImage()
    image.save(path)
    check(distinct_colours(QImage(path)) > 8, "screenshot %s is blank" % name)


# The tallest minimum height a dialog may need: a 768-pixel screen less its title bar.
MAX_DIALOG_HEIGHT = 740


def look_at_dialog(dialog, name):
    """The first sight of a dialog: its size on the screen and its picture."""
    needed = dialog.minimumSizeHint().height()
    check(needed <= MAX_DIALOG_HEIGHT, "the dialog %s needs %d px of height" % (name, needed))
    screen = QApplication.primaryScreen().geometry()
    trace("  size %dx%d (needs %d) on a %dx%d screen" % (dialog.width(), dialog.height(), needed,
                                                          screen.width(), screen.height()))
    check(dialog.height() <= screen.height(), "the dialog %s is %d px high, taller than the screen"
          % (name, dialog.height()))
    screenshot(dialog, "dialog-%s.png" % name)
    if name == "frmKDE":
        QApplication.processEvents()
        image = QApplication.primaryScreen().grabWindow(0)
        image.save(os.path.join(OUT, "screen-frmKDE.png"))
        for button in ("btnOK", "btnExit"):
            widget = child(dialog, QPushButton, button)
            corner = widget.mapToGlobal(widget.rect().bottomRight())
            check(screen.contains(corner), "%s of the kernel dialog is off the screen at %s" % (button, corner))


def child(dialog, kind, name):
    return dialog.findChild(kind, name)


def answer_modal():
    """Answers whatever modal window is up, the way the session's person would."""
    try:
        answer_modal_window()
    except Exception:
        trace(traceback.format_exc())


def answer_modal_window():
    dialog = QApplication.activeModalWidget()
    if dialog is None:
        return
    if isinstance(dialog, QFileDialog):
        answer_file(dialog)
        return
    # A property of the Qt object, not of its Python wrapper: wrappers are reused when a new
    # dialog lands at a freed dialog's address.
    if dialog.property("orvexAnswered"):
        return
    dialog.setProperty("orvexAnswered", True)
    name = dialog.objectName()
    trace("modal %s %s %s" % (type(dialog).__name__, name, dialog.windowTitle()))
    seen_dialogs.append(name or type(dialog).__name__)
    if not isinstance(dialog, QMessageBox) and name:
        look_at_dialog(dialog, name)
    if isinstance(dialog, QMessageBox):
        trace("  text: " + dialog.text().replace("\n", " | "))
        for button in (QMessageBox.Yes, QMessageBox.Ok, QMessageBox.Discard):
            if dialog.button(button) is not None:
                dialog.button(button).click()
                return
        dialog.reject()
    elif name == "frmMCPOptions":
        box = child(dialog, QCheckBox, "chkPercent")
        if box.isChecked():
            box.click()
        child(dialog, QPushButton, "btnOK").click()
    elif name == "frmKDE":
        # The run opens message boxes of its own: started from here, this timer's slot would
        # still be running and Qt would not fire it again to answer them.
        QTimer.singleShot(0, lambda: run_kde(dialog))
    elif name == "frmBBMM":
        QTimer.singleShot(0, lambda: run_bbmm(dialog))
    elif name == "frmLOCOH":
        QTimer.singleShot(0, lambda: run_locoh(dialog))
    elif name == "frmOVERLAP":
        QTimer.singleShot(0, lambda: run_overlap(dialog))
    elif name == "frmKeepers":
        child(dialog, QPushButton, "btnExclude").click()
    elif name == "QgsVectorLayerPropertiesBase":
        choose_animal_field(dialog)
    elif name == "frmORVEX":
        # The automatic display runs its own event loop; started from here, this timer's slot
        # would still be running and Qt would not fire it again for the closing message box.
        QTimer.singleShot(0, lambda: display_travel(dialog))
    else:
        dialog.reject()


def on_page(dialog, widget):
    """Shows the tab page that holds `widget`, as a person would before using it."""
    tabs = dialog.findChild(QTabWidget)
    parent = widget
    while tabs is not None and parent is not None:
        if tabs.indexOf(parent) >= 0:
            tabs.setCurrentIndex(tabs.indexOf(parent))
            QApplication.processEvents()
            return widget
        parent = parent.parentWidget()
    return widget


def control(dialog, kind, name):
    found = child(dialog, kind, name)
    check(found is not None, "no control %s in %s" % (name, dialog.objectName()))
    return on_page(dialog, found)


def choose(dialog, name, text):
    box = control(dialog, QComboBox, name)
    found = box.findText(text)
    check(found >= 0, "%s missing from %s's %s" % (text, dialog.objectName(), name))
    box.setCurrentIndex(found)
    box.activated.emit(found)


def type_text(dialog, name, text):
    edit = control(dialog, QLineEdit, name)
    edit.setText(text)
    edit.textEdited.emit(text)


def run_kde(dialog):
    """The settings the headless reference run got on its command line (run_session.sh)."""
    try:
        choose(dialog, "cmbPntL", "fixes")
        choose(dialog, "cmbUIDFLD", "AnimalID")
        control(dialog, QRadioButton, "optBE_MANUAL").click()
        type_text(dialog, "txtBW", "300")
        control(dialog, QRadioButton, "optFull").click()
        type_text(dialog, "txtBuffer", "1100")
        type_text(dialog, "txtCellSize", "50")
        if not control(dialog, QCheckBox, "chkBnds").isChecked():
            control(dialog, QCheckBox, "chkBnds").click()
        type_text(dialog, "txtBnds", "50, 95")
        control(dialog, QPushButton, "btnFolder").click()  # the folder dialog, answered by the timer
        QApplication.processEvents()
        screenshot(dialog, "kde-dialog.png")
        child(dialog, QPushButton, "btnOK").click()  # runs the batch; the dialog closes at the end
        if dialog.isVisible():
            failures.append("the KDE dialog stayed open after OK")
            dialog.reject()
    except Exception:
        trace(traceback.format_exc())


def run_bbmm(dialog):
    """The settings of the headless reference run (run_session.sh); a screenshot of each tab."""
    try:
        choose(dialog, "cmbPntL", "fixes")
        choose(dialog, "cmbUIDFLD", "AnimalID")
        screenshot(dialog, "bbmm-dialog-input.png")
        type_text(dialog, "txtSigma2", "30")
        screenshot(dialog, "bbmm-dialog-bridge.png")
        control(dialog, QRadioButton, "optFull").click()
        type_text(dialog, "txtBuffer", "1100")
        type_text(dialog, "txtCellSize", "50")
        if not control(dialog, QCheckBox, "chkBnds").isChecked():
            control(dialog, QCheckBox, "chkBnds").click()
        type_text(dialog, "txtBnds", "50,95")
        control(dialog, QPushButton, "btnFolder").click()
        QApplication.processEvents()
        screenshot(dialog, "bbmm-dialog-output.png")
        child(dialog, QPushButton, "btnOK").click()
        if dialog.isVisible():
            failures.append("the bridge dialog stayed open after OK")
            dialog.reject()
    except Exception:
        trace(traceback.format_exc())


def run_locoh(dialog):
    """k-LoCoH with the suggested k (written for the headless run by run_session.sh)."""
    try:
        choose(dialog, "cmbPntL", "fixes")
        choose(dialog, "cmbUIDFLD", "AnimalID")
        with open(os.path.join(OUT, "suggested_k.txt"), "w") as out:
            out.write(child(dialog, QLineEdit, "txtParam").text())
        type_text(dialog, "txtBnds", "50,95")
        control(dialog, QPushButton, "btnFolder").click()
        QApplication.processEvents()
        screenshot(dialog, "locoh-dialog.png")
        child(dialog, QPushButton, "btnOK").click()
        if dialog.isVisible():
            failures.append("the LoCoH dialog stayed open after OK")
            dialog.reject()
    except Exception:
        trace(traceback.format_exc())


def run_overlap(dialog):
    """The bridge's and the kernel's UD of the one animal, from the project's raster layers."""
    try:
        for layer in ("bbmm0", KDE_RASTER):
            choose(dialog, "cmbRaster", layer)
            control(dialog, QPushButton, "btnAddLayer").click()
        control(dialog, QPushButton, "btnFolder").click()
        QApplication.processEvents()
        screenshot(dialog, "overlap-dialog.png")
        child(dialog, QPushButton, "btnOK").click()
        if dialog.isVisible():
            failures.append("the overlap dialog stayed open after OK")
            dialog.reject()
    except Exception:
        trace(traceback.format_exc())


def check_range_layers():
    """LoCoH's isopleths graduated by area, the overlap tables as table layers and in the panel."""
    added = {layer.source().split("|")[0]: layer for layer in QgsProject.instance().mapLayers().values()}
    locoh = added.get(os.path.join(OUT, "qgis_locoh", "A1_locoh.shp"))
    check(locoh is not None and locoh.renderer().type() == "graduatedSymbol",
          "the LoCoH isopleths are not on the map graduated by area")
    tables = [layer for layer in QgsProject.instance().mapLayers().values()
              if layer.providerType() == "delimitedtext" and "qgis_overlap" in layer.source()]
    check(len(tables) == 6 and all(layer.featureCount() == 2 for layer in tables),
          "overlap tables on the map: %s" % [layer.name() for layer in tables])
    panel = iface.mainWindow().findChild(QDockWidget, "orvexResults").widget()
    rows = [panel.topLevelItem(i).child(j).child(k).text(0) for i in range(panel.topLevelItemCount())
            for j in range(panel.topLevelItem(i).childCount())
            for k in range(panel.topLevelItem(i).child(j).childCount())]
    check(rows.count("bbmm0") == 6 and rows.count(KDE_RASTER) == 6, "the results panel lists the overlap matrices' rows: %s" % rows)


def check_bbmm_layers():
    """The bridge's raster and isopleths are on the map, in the project's CRS."""
    added = {layer.source().split("|")[0]: layer for layer in QgsProject.instance().mapLayers().values()}
    for name in ("bbmm0.tif", "bbmm0_iso_line.shp", "bbmm0_iso_poly.shp"):
        layer = added.get(os.path.join(OUT, "qgis_bbmm", name))
        check(layer is not None and layer.crs().authid() == "EPSG:32633",
              "bridge output %s not on the map in EPSG:32633" % name)


def display_travel(dialog):
    try:
        pace = child(dialog, QLineEdit, "TxtSec")
        pace.setText("0")
        pace.textEdited.emit("0")
        keep = child(dialog, QCheckBox, "CBKeepGraphic")
        if not keep.isChecked():
            keep.click()
        child(dialog, QPushButton, "CmdTrackMoose").click()
        canvas = iface.mapCanvas()
        canvas.refresh()
        canvas.waitWhileRendering()
        QApplication.processEvents()
        screenshot(canvas, "display-travel.png")
        screenshot(iface.mainWindow(), "desktop.png")
        dialog.reject()
    except Exception:
        trace(traceback.format_exc())


def choose_animal_field(dialog):
    """A layer's properties: the animal field chosen on the Orvex page, then OK."""
    try:
        box = dialog.findChild(QComboBox, "orvexAnimalField")
        index = box.findText("AnimalID")
        box.setCurrentIndex(index)
        box.activated.emit(index)
        QApplication.processEvents()
        screenshot(dialog, "animal-field-page.png")
        # The dialog's own OK, which applies its pages (a hidden page holds a button box too).
        buttons = [box for box in dialog.findChildren(QDialogButtonBox) if box.isVisible()]
        buttons[0].button(QDialogButtonBox.Ok).click()
    except Exception:
        trace(traceback.format_exc())


def message_bar_texts():
    return [item.text() for item in iface.messageBar().items()]


def run_by_animal(item_action):
    """Travel and Time2 duplicate removal on three animals in one layer (run_session.sh's
    herd): over the whole layer first, as the design does, with a warning of negative intervals;
    then with the animal field chosen on the layer's Orvex properties page, per animal. The
    file is compared with the command line's same three runs (compare.py)."""
    herd = QgsVectorLayer(os.path.join(OUT, "herd", "herd.shp"), "herd", "ogr")
    check(herd.isValid(), "the three-animal layer did not load")
    QgsProject.instance().addMapLayer(herd)

    def click(prog_id):
        iface.setActiveLayer(herd)
        herd.selectAll()
        iface.messageBar().clearWidgets()
        item_action(prog_id).trigger()
        if herd.isEditable():  # a run that leaves its edits for the person to save or undo
            herd.commitChanges()
        return message_bar_texts()

    warned = click("ORVEX.orvexobs")
    check(any("T_Obs_Sec is negative for" in text for text in warned),
          "no warning of negative intervals over the whole layer: %s" % warned)
    iface.showLayerProperties(herd, "orvexAnimalFieldPage")  # answered by choose_animal_field
    check(herd.customProperty("orvex/animalField") == "AnimalID", "the Orvex page did not set the animal field")
    warned = click("ORVEX.orvexobs")
    check(not any("T_Obs_Sec is negative" in text for text in warned), "per animal, still warned: %s" % warned)
    fixes = herd.featureCount()
    click("ORVEX.FindDupTime2")
    check(herd.featureCount() == fixes, "per animal, a Time2 shared by two animals was deleted")


def answer_file(dialog):
    """Types the next answer into the file dialog and accepts; tried again while it stays up."""
    if dialog.property("orvexAnswer") is None:
        dialog.setProperty("orvexAnswer", save_answers.pop(0) if save_answers else "")
        trace("file dialog %s -> %s" % (dialog.windowTitle(), dialog.property("orvexAnswer")))
    answer = dialog.property("orvexAnswer")
    if not answer:
        dialog.reject()
        return
    name = dialog.findChild(QLineEdit, "fileNameEdit")
    if name is not None:
        name.setText(answer)
    else:
        dialog.selectFile(answer)
    # QFileDialog's accept() is protected in Python; its slot is reached through Qt.
    QMetaObject.invokeMethod(dialog, "accept")


def action(prog_id):
    found = iface.mainWindow().findChild(QAction, "orvex:" + prog_id)
    check(found is not None and found.isEnabled(), "menu item %s missing or disabled" % prog_id)
    return found


def desktop_with_menu(window, menu):
    """The whole window with the TALVO Tools menu dropped from the menu bar, as a person sees it
    after the session's runs (the README's picture): grabbed from the screen, since an open menu
    is a window of its own."""
    bar = window.menuBar()
    menu.popup(bar.mapToGlobal(bar.actionGeometry(menu.menuAction()).bottomLeft()))
    for _ in range(5):
        QApplication.processEvents()
    frame = window.frameGeometry()
    image = QApplication.primaryScreen().grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
    path = os.path.join(OUT, "desktop-menu.png")
    image.save(path)
    check(distinct_colours(QImage(path)) > 8, "screenshot desktop-menu.png is blank")
    menu.hide()


def save_edits(layer):
    """Travel and the duplicate removals leave their edits unsaved in the layer's buffer, one
    undo step for each run that changed it (travel at least); saved as a person would before
    the files are compared."""
    check(layer.isEditable() and layer.undoStack().count() >= 1,
          "the in-place tools left %d undo steps" % layer.undoStack().count())
    check(layer.commitChanges(), "the layer's edits could not be saved")


def run():
    try:
        window = iface.mainWindow()
        layer = QgsProject.instance().mapLayersByName("fixes")[0]
        iface.setActiveLayer(layer)
        layer.selectAll()
        iface.mapCanvas().setExtent(layer.extent() if layer.crs() == QgsProject.instance().crs()
                                    else iface.mapCanvas().fullExtent())
        iface.mapCanvas().zoomToFullExtent()
        menu = window.findChild(QMenu, "orvex:ORVEX.toolsMenu")
        check(menu is not None and menu.title() == "TALVO Tools", "no TALVO Tools menu")
        titles = [entry.text() for entry in window.menuBar().actions()]
        check("TALVO Tools" in titles and "Range Tools" in titles
              and titles.index("TALVO Tools") < titles.index("Range Tools"),
              "menu bar order: %s" % titles)
        check([entry.objectName() for entry in menu.actions() if not entry.isSeparator()] ==
              ["orvex:" + prog_id for prog_id in TALVO_ITEMS], "the TALVO Tools menu's items changed")
        menu.popup(window.mapToGlobal(window.rect().center()))
        QApplication.processEvents()
        screenshot(menu, "menu.png")
        menu.hide()
        timer = QTimer()
        timer.timeout.connect(answer_modal)
        timer.start(150)
        folders = ("qgis_bbmm", "qgis_locoh", "qgis_kde", "qgis_overlap")  # in the order asked
        for folder in folders:
            os.makedirs(os.path.join(OUT, folder), exist_ok=True)
        save_answers.extend([os.path.join(OUT, folder) for folder in folders])
        save_answers.append(os.path.join(OUT, "qgis_mcp.shp"))
        if LOTEK:
            save_answers.extend([LOTEK, os.path.join(OUT, "qgis_lotek.shp")])
        # The bridge and LoCoH first: the fixes as the headless run read them, before duplicates
        # are removed; the overlap once the kernel's UD is on the map.
        for prog_id in (("ORVEX.clsBBMMTool", "ORVEX.clsLOCOHTool", TALVO_ITEMS[-1], TALVO_ITEMS[0],
                         "ORVEX.clsOverlapTool") + TALVO_ITEMS[1:-1]):
            trace("item " + prog_id)
            # As a person would: the fixes layer picked again (an added output layer becomes the
            # current one) and all its fixes selected again (duplicate removal clears the selection).
            iface.setActiveLayer(layer)
            layer.selectAll()
            item = action(prog_id)
            if item is not None:
                item.trigger()
        run_by_animal(action)
        timer.stop()
        save_edits(layer)
        desktop_with_menu(window, menu)
        check_bbmm_layers()
        check_range_layers()
        for name in ("frmBBMM", "frmLOCOH", "frmOVERLAP", "frmKDE", "frmMCPOptions", "frmORVEX", "frmAbout") + (("frmKeepers",) if LOTEK else ()):
            check(name in seen_dialogs, "dialog %s never shown" % name)
        mcp_path = os.path.join(OUT, "qgis_mcp.shp")
        check(any(added.source().split("|")[0] == mcp_path for added in QgsProject.instance().mapLayers().values()),
              "the MCP polygon was not added to the project")
        layers = QgsProject.instance().mapLayers().values()
        check(not [layer.name() for layer in layers if layer.name().lower().endswith((".shp", ".tif"))],
              "layer names with a file extension: %s" % [layer.name() for layer in layers])
        isopleths = [layer for layer in layers if layer.name() == KDE_RASTER + "_iso_line"]
        check(len(isopleths) == 1 and sorted(item.label() for item in isopleths[0].renderer().legendSymbolItems())
              == ["50 %", "95 %"], "the kernel's isopleth lines are not named 50 % and 95 % in the legend")
        results = window.findChild(QDockWidget, "orvexResults")
        check(results is not None and results.isVisible(), "no results panel after the runs")
    except Exception:
        failures.append(traceback.format_exc())
    with open(os.path.join(OUT, "session.log"), "w") as log:
        log.write("dialogs: %s\n" % ", ".join(seen_dialogs))
        log.write("\n".join(failures) + "\n" if failures else "SESSION OK\n")
    QgsProject.instance().setDirty(False)
    os._exit(0)


def watchdog():
    """A session still running after its time: what is on screen goes to the trace."""
    for widget in QApplication.topLevelWidgets():
        if widget.isVisible():
            trace("visible %s %s %s" % (type(widget).__name__, widget.objectName(), widget.windowTitle()))
    trace("modal now: %s" % QApplication.activeModalWidget())
    iface.mainWindow().grab().save(os.path.join(OUT, "stuck.png"))
    with open(os.path.join(OUT, "session.log"), "w") as log:
        log.write("dialogs: %s\nstuck after 60 s (see trace.txt)\n" % ", ".join(seen_dialogs))
    os._exit(1)


QTimer.singleShot(2500, run)
QTimer.singleShot(60000, watchdog)
