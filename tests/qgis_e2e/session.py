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

from qgis.PyQt.QtGui import QImage
from qgis.PyQt.QtWidgets import (QApplication, QCheckBox, QComboBox, QDialogButtonBox, QDockWidget, QLineEdit, QMenu,
                                 QMessageBox, QPushButton)
from qgis.core import QgsProject, QgsVectorLayer
from qgis.utils import iface

from session_support import (OUT, answers, check, child, choose, choose_fixes, control, distinct_colours,
                             full_extent_and_isopleths, later, mcp_all_fixes, menu_item, press_ok, run_kde, screenshot,
                             seen_dialogs, start, start_answering, trace, traced, trigger, type_text)

LOTEK = os.environ.get("ORVEX_E2E_LOTEK", "")  # a collar file, empty without the shared data
# The KDE dialog's raster of the animal, the overlap's second UD.
KDE_RASTER = "kde0_b1"
# The TALVO Tools menu's eight items in menu order; the session runs About first.
TALVO_ITEMS = ("ORVEX.clsKDETool", "Orvex8.orvex_MCP", "ORVEX.orvexobs", "ORVEX.FindDupTime2", "ORVEX.FindDupxy",
               "ORVEX.MOLE", "Orvex8.orvex_import", "ORVEX.clsAbout")
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


@traced
def run_bbmm(dialog):
    """The settings of the headless reference run (run_session.sh); a screenshot of each tab."""
    choose_fixes(dialog)
    screenshot(dialog, "bbmm-dialog-input.png")
    type_text(dialog, "txtSigma2", "30")
    screenshot(dialog, "bbmm-dialog-bridge.png")
    full_extent_and_isopleths(dialog, "50,95")
    control(dialog, QPushButton, "btnFolder").click()
    QApplication.processEvents()
    screenshot(dialog, "bbmm-dialog-output.png")
    press_ok(dialog, "bridge")


@traced
def run_locoh(dialog):
    """k-LoCoH with the suggested k (written for the headless run by run_session.sh)."""
    choose_fixes(dialog)
    with open(os.path.join(OUT, "suggested_k.txt"), "w") as out:
        out.write(child(dialog, QLineEdit, "txtParam").text())
    type_text(dialog, "txtBnds", "50,95")
    control(dialog, QPushButton, "btnFolder").click()
    QApplication.processEvents()
    screenshot(dialog, "locoh-dialog.png")
    press_ok(dialog, "LoCoH")


@traced
def run_overlap(dialog):
    """The bridge's and the kernel's UD of the one animal, from the project's raster layers."""
    for layer in ("bbmm0", KDE_RASTER):
        choose(dialog, "cmbRaster", layer)
        control(dialog, QPushButton, "btnAddLayer").click()
    control(dialog, QPushButton, "btnFolder").click()
    QApplication.processEvents()
    screenshot(dialog, "overlap-dialog.png")
    press_ok(dialog, "overlap")


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


@traced
def display_travel(dialog):
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


@traced
def choose_animal_field(dialog):
    """A layer's properties: the animal field chosen on the Orvex page, then OK."""
    box = dialog.findChild(QComboBox, "orvexAnimalField")
    index = box.findText("AnimalID")
    box.setCurrentIndex(index)
    box.activated.emit(index)
    QApplication.processEvents()
    screenshot(dialog, "animal-field-page.png")
    # The dialog's own OK, which applies its pages (a hidden page holds a button box too).
    buttons = [box for box in dialog.findChildren(QDialogButtonBox) if box.isVisible()]
    buttons[0].button(QDialogButtonBox.Ok).click()


def message_bar_texts():
    return [item.text() for item in iface.messageBar().items()]


def run_by_animal():
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
        menu_item(prog_id).trigger()
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


def session():
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
    timer = start_answering(HANDLERS, look_at_dialog, (QMessageBox.Yes, QMessageBox.Ok, QMessageBox.Discard))
    folders = ("qgis_bbmm", "qgis_locoh", "qgis_kde", "qgis_overlap")  # in the order asked
    for folder in folders:
        os.makedirs(os.path.join(OUT, folder), exist_ok=True)
    answers.extend([os.path.join(OUT, folder) for folder in folders])
    answers.append(os.path.join(OUT, "qgis_mcp.shp"))
    if LOTEK:
        answers.extend([LOTEK, os.path.join(OUT, "qgis_lotek.shp")])
    # The bridge and LoCoH first: the fixes as the headless run read them, before duplicates
    # are removed; the overlap once the kernel's UD is on the map.
    for prog_id in (("ORVEX.clsBBMMTool", "ORVEX.clsLOCOHTool", TALVO_ITEMS[-1], TALVO_ITEMS[0],
                     "ORVEX.clsOverlapTool") + TALVO_ITEMS[1:-1]):
        trigger(layer, prog_id)
    run_by_animal()
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


# The dialogs answered by name; a run opens message boxes of its own, so it starts from a slot of
# its own (later).
HANDLERS = {
    "frmMCPOptions": mcp_all_fixes,
    "frmKDE": later(lambda dialog: run_kde(dialog, "kde-dialog.png")),
    "frmBBMM": later(run_bbmm),
    "frmLOCOH": later(run_locoh),
    "frmOVERLAP": later(run_overlap),
    "frmKeepers": lambda dialog: child(dialog, QPushButton, "btnExclude").click(),
    "QgsVectorLayerPropertiesBase": choose_animal_field,
    # The automatic display runs its own event loop.
    "frmORVEX": later(display_travel),
}

start(session, list_dialogs=True)
