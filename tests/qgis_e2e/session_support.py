# What the scripted sessions in the real QGIS share (session.py, crs_session.py): the trace and
# the verdict in $ORVEX_E2E_OUT, the driver that answers modal windows as the session's person
# would, a dialog's controls used as a person uses them, the kernel dialog's reference settings,
# and the session's start and watchdog. QGIS runs a --code script without its folder on the
# module path: qgis_session_prelude.sh puts this folder on PYTHONPATH.
import functools
import os
import traceback

from qgis.PyQt.QtCore import QMetaObject, QTimer
from qgis.PyQt.QtGui import QImage
from qgis.PyQt.QtWidgets import (QAction, QApplication, QCheckBox, QComboBox, QFileDialog, QLineEdit,
                                 QMessageBox, QPushButton, QRadioButton, QTabWidget)
from qgis.core import QgsProject
from qgis.utils import iface

OUT = os.environ["ORVEX_E2E_OUT"]
failures = []
answers = []  # file and folder dialogs, in the order the runs ask
messages = []  # the texts of the message boxes answered
seen_dialogs = []  # the modal windows answered, by object name (or Qt class)


def trace(line):
    with open(os.path.join(OUT, "trace.txt"), "a") as out:
        out.write(line + "\n")


def check(condition, what):
    if not condition:
        failures.append(what)


def traced(function):
    """`function` with what it raises written to the trace: it runs in a Qt slot, where an
    exception would be lost."""
    @functools.wraps(function)
    def guarded(*args):
        try:
            return function(*args)
        except Exception:
            trace(traceback.format_exc())
    return guarded


def distinct_colours(image):
    image = image.scaled(160, 120)
    return len({image.pixel(x, y) for x in range(image.width()) for y in range(image.height())})


def screenshot(widget, name):
    path = os.path.join(OUT, name)
    image = widget.grab().toImage()
    image.save(path)
    check(distinct_colours(QImage(path)) > 8, "screenshot %s is blank" % name)


def child(dialog, kind, name):
    return dialog.findChild(kind, name)


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


def menu_item(prog_id):
    found = iface.mainWindow().findChild(QAction, "orvex:" + prog_id)
    check(found is not None and found.isEnabled(), "menu item %s missing or disabled" % prog_id)
    return found


def trigger(layer, prog_id):
    """The menu item, on the layer chosen in the layers panel with all its fixes selected (again,
    as a person would: an added output layer becomes the current one, and duplicate removal
    clears the selection)."""
    trace("item " + prog_id)
    iface.setActiveLayer(layer)
    layer.selectAll()
    item = menu_item(prog_id)
    del messages[:]
    if item is not None:
        item.trigger()


def answer_file(dialog):
    """Types the next answer into the file dialog and accepts; tried again while it stays up."""
    if dialog.property("orvexAnswer") is None:
        dialog.setProperty("orvexAnswer", answers.pop(0) if answers else "")
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


def later(run):
    """A dialog handler that starts `run(dialog)` from a slot of its own: a run opens message
    boxes, and while the driver's slot still ran Qt would not fire it again to answer them."""
    return lambda dialog: QTimer.singleShot(0, lambda: run(dialog))


def mcp_all_fixes(dialog):
    """The MCP options: every fix (no percentage), then OK."""
    box = child(dialog, QCheckBox, "chkPercent")
    if box.isChecked():
        box.click()
    child(dialog, QPushButton, "btnOK").click()


def choose_fixes(dialog):
    """The layer "fixes" and its animal field, as the reference runs read them."""
    choose(dialog, "cmbPntL", "fixes")
    choose(dialog, "cmbUIDFLD", "AnimalID")


def full_extent_and_isopleths(dialog, isopleths):
    """The reference runs' grid (the layer's extent and 1100 m around it, 50 m cells) and their
    isopleths, on a dialog of the kernel's output options."""
    control(dialog, QRadioButton, "optFull").click()
    type_text(dialog, "txtBuffer", "1100")
    type_text(dialog, "txtCellSize", "50")
    if not control(dialog, QCheckBox, "chkBnds").isChecked():
        control(dialog, QCheckBox, "chkBnds").click()
    type_text(dialog, "txtBnds", isopleths)


@traced
def run_kde(dialog, picture=None):
    """The settings the command line's reference runs got (run_session.sh and
    run_crs_session.sh); a picture of the dialog named `picture` before OK."""
    choose_fixes(dialog)
    control(dialog, QRadioButton, "optBE_MANUAL").click()
    type_text(dialog, "txtBW", "300")
    full_extent_and_isopleths(dialog, "50, 95")
    control(dialog, QPushButton, "btnFolder").click()  # the folder dialog, answered by the driver
    QApplication.processEvents()
    if picture:
        screenshot(dialog, picture)
    press_ok(dialog, "KDE")


def press_ok(dialog, tool):
    """OK runs the batch; the dialog closes at the end of a completed run."""
    child(dialog, QPushButton, "btnOK").click()
    if dialog.isVisible():
        failures.append("the %s dialog stayed open after OK" % tool)
        dialog.reject()


@traced
def answer_modal(handlers, look, buttons):
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
    if isinstance(dialog, QMessageBox):
        messages.append(dialog.text())
        trace("  text: " + dialog.text().replace("\n", " | "))
        for button in buttons:
            if dialog.button(button) is not None:
                dialog.button(button).click()
                return
        dialog.reject()
        return
    if look is not None and name:
        look(dialog, name)
    if name in handlers:
        handlers[name](dialog)
    else:
        dialog.reject()


def start_answering(handlers, look=None, buttons=(QMessageBox.Yes, QMessageBox.Ok)):
    """Answers whatever modal window is up, every 150 ms, until the returned timer is stopped: a
    file dialog from `answers`, a message box with the first of `buttons` it has (else it is
    rejected), a dialog by its object name's handler after `look(dialog, name)` (else it is
    rejected)."""
    timer = QTimer()
    timer.timeout.connect(lambda: answer_modal(handlers, look, buttons))
    timer.start(150)
    return timer


def write_verdict(verdict, list_dialogs):
    with open(os.path.join(OUT, "session.log"), "w") as log:
        if list_dialogs:
            log.write("dialogs: %s\n" % ", ".join(seen_dialogs))
        log.write(verdict)


def start(steps, list_dialogs=False):
    """Runs `steps` once QGIS has settled, then writes the verdict to session.log ("SESSION OK"
    when no check failed and no step raised; first the dialogs seen with `list_dialogs`) and
    quits. A session still running after 60 s is stuck: what is on screen goes to the trace and
    stuck.png, and QGIS quits with status 1."""
    def run():
        try:
            steps()
        except Exception:
            failures.append(traceback.format_exc())
        write_verdict("\n".join(failures) + "\n" if failures else "SESSION OK\n", list_dialogs)
        QgsProject.instance().setDirty(False)
        os._exit(0)

    def watchdog():
        for widget in QApplication.topLevelWidgets():
            if widget.isVisible():
                trace("visible %s %s %s" % (type(widget).__name__, widget.objectName(), widget.windowTitle()))
        trace("modal now: %s" % QApplication.activeModalWidget())
        iface.mainWindow().grab().save(os.path.join(OUT, "stuck.png"))
        write_verdict("stuck after 60 s (see trace.txt)\n", list_dialogs)
        os._exit(1)

    QTimer.singleShot(2500, run)
    QTimer.singleShot(60000, watchdog)
