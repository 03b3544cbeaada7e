// The Qt renderer of form models, both ways, and the menus built from the registered toolbar.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTableWidget>

#include "host/command_catalog.h"
#include "platform/headless/form_script.h"
#include "platform/qgis/command_menus.h"
#include "platform/qgis/qt_ui_services.h"
#include "qgis_host/qgis_data.h"
#include "qgis_host/qgis_host_support.h"

namespace orvex::test {
namespace {

using host::ControlKind;

/// A form with one control of every kind, two tabs and a frame, whose handlers log.
struct EveryKindForm {
  EveryKindForm() : form("frmEvery", "Every kind") {
    form.addPage("First");
    form.addPage("Second");
    form.add(ControlKind::Frame, "fraOptions", "Options").setPage(0);
    form.add(ControlKind::OptionButton, "optA", "A")
        .setContainer("fraOptions")
        .setPage(0)
        .setChecked(true, host::Notify::No);
    form.add(ControlKind::OptionButton, "optB", "B").setContainer("fraOptions").setPage(0);
    form.add(ControlKind::CheckBox, "chkFlag", "Flag").setPage(0);
    form.add(ControlKind::Label, "lblName", "Name").setPage(0);
    form.add(ControlKind::TextBox, "txtName").setPage(0);
    form.add(ControlKind::ComboBox, "cmbPick", "Pick:").setPage(1).addItem("one").addItem("two");
    form.add(ControlKind::ListBox, "lstPick").setPage(1).addItem("x").addItem("y");
    form.add(ControlKind::Slider, "sldLevel").setPage(1).setRange(0, 10);
    form.add(ControlKind::ProgressBar, "barDone").setPage(1);
    form.add(ControlKind::Grid, "grdCells").setPage(1).setGrid({{"a", "b"}, {{"1", "2"}}});
    form.add(ControlKind::Button, "btnOK", "OK").onClick = [this] { form.close(host::dialog_result::kOk); };
    for (const char* name : {"optB", "chkFlag", "cmbPick", "lstPick"})
      form.control(name).onClick = [this, name] { log.push_back(std::string("click ") + name); };
    for (const char* name : {"txtName", "sldLevel"})
      form.control(name).onChange = [this, name] { log.push_back(std::string("change ") + name); };
  }
  host::Form form;
  std::vector<std::string> log;
};

TEST(FormDialog, EveryControlKindRendersAndActionsReachTheModel) {
  EveryKindForm every;
  platform::qgis::FormDialog dialog(every.form, nullptr);
  every.form.load();
  dialog.sync();
  const auto widget = [&](const char* name) { return dialog.widget(name); };
  for (const host::Control* control : every.form.controls())
    EXPECT_NE(widget(control->name().c_str()), nullptr);
  ASSERT_NE(dialog.tabs(), nullptr);
  EXPECT_EQ(dialog.tabs()->count(), 2);
  EXPECT_EQ(static_cast<QGroupBox*>(widget("fraOptions"))->title(), "Options");
  EXPECT_TRUE(static_cast<QRadioButton*>(widget("optA"))->isChecked());
  // A field's own caption becomes its label; one that follows a label keeps that label alone.
  const auto* pickLabel = dialog.findChild<QLabel*>("cmbPickCaption");
  ASSERT_NE(pickLabel, nullptr);
  EXPECT_EQ(pickLabel->text(), "Pick:");
  EXPECT_EQ(dialog.findChild<QLabel*>("txtNameCaption"), nullptr);
  // Rows start at the top of their tab.
  auto* grid = qobject_cast<QGridLayout*>(widget("chkFlag")->parentWidget()->layout());
  ASSERT_NE(grid, nullptr);
  int row = -1, column = 0, rows = 0, columns = 0;
  grid->getItemPosition(grid->indexOf(widget("chkFlag")), &row, &column, &rows, &columns);
  EXPECT_LE(row, 2) << "right after the frame";

  // A person's actions, as Qt delivers them.
  static_cast<QRadioButton*>(widget("optB"))->click();
  static_cast<QCheckBox*>(widget("chkFlag"))->click();
  emit static_cast<QLineEdit*>(widget("txtName"))->textEdited("Moose");
  dialog.tabs()->setCurrentIndex(1);
  emit static_cast<QComboBox*>(widget("cmbPick"))->activated(1);
  static_cast<QListWidget*>(widget("lstPick"))->setCurrentRow(1);
  static_cast<QSlider*>(widget("sldLevel"))->setValue(4);
  EXPECT_EQ(every.log, (std::vector<std::string>{"click optB", "click chkFlag", "change txtName",
                                                 "click cmbPick", "click lstPick", "change sldLevel"}));
  EXPECT_TRUE(every.form.control("optB").checked());
  EXPECT_FALSE(static_cast<QRadioButton*>(widget("optA"))->isChecked()) << "the model's group shows";
  EXPECT_EQ(every.form.control("txtName").text(), "Moose");
  EXPECT_EQ(every.form.currentPage(), 1);
  EXPECT_EQ(every.form.control("cmbPick").text(), "two");
  EXPECT_EQ(every.form.control("lstPick").selectedIndex(), 1);
  EXPECT_EQ(every.form.control("sldLevel").value(), 4);

  // The model's own changes reach the widgets.
  every.form.control("lblName").setCaption("Animal");
  every.form.control("barDone").setValue(60, host::Notify::No);
  every.form.control("chkFlag").setEnabled(false);
  every.form.control("grdCells").setGrid({{"a", "b"}, {{"1", "2"}, {"3", "4"}}});
  dialog.sync();
  EXPECT_EQ(static_cast<QLabel*>(widget("lblName"))->text(), "Animal");
  EXPECT_EQ(static_cast<QProgressBar*>(widget("barDone"))->value(), 60);
  EXPECT_FALSE(widget("chkFlag")->isEnabled());
  EXPECT_EQ(static_cast<QTableWidget*>(widget("grdCells"))->rowCount(), 2);

  static_cast<QPushButton*>(widget("btnOK"))->click();
  EXPECT_EQ(every.form.result(), host::dialog_result::kOk);
  EXPECT_EQ(dialog.result(), host::dialog_result::kOk) << "the dialog closes with the form";
}

TEST(FormDialog, EveryMenuDialogFitsTheScreenAboutReadsAsTextAndFieldsNameThemselves) {
  TempFolder folder;
  QgisHost host;
  QgsVectorLayer* layer =
      host.add(QString::fromStdString(writeTimedPoints(folder.path(), "fixes", walk(12)).string()), "fixes");
  layer->selectAll();
  QgsProject::instance()->setCrs(layer->crs());
  std::map<std::string, int> heights;
  host.rendering.onRender = [&](platform::qgis::FormDialog& dialog) {
    heights[dialog.objectName().toStdString()] = dialog.minimumSizeHint().height();
    if (dialog.objectName() == "frmAbout") {
      const auto* text = qobject_cast<QPlainTextEdit*>(dialog.widget("txtAbout"));
      ASSERT_NE(text, nullptr) << "a text area, not a one-line field";
      EXPECT_TRUE(text->isReadOnly());
      EXPECT_GE(text->minimumHeight(), 10 * text->fontMetrics().lineSpacing());
    }
    if (dialog.objectName() == "frmMCPOptions") {
      const auto* style = dialog.findChild<QLabel*>("cmbStyleCaption");
      ASSERT_NE(style, nullptr);
      EXPECT_EQ(style->text(), "Selection Style");
    }
  };
  const std::vector<std::pair<std::string, std::string>> dialogs = {
      {"ORVEX.clsAbout", "frmAbout"},        {"ORVEX.clsKDETool", "frmKDE"},
      {"Orvex8.orvex_MCP", "frmMCPOptions"}, {"ORVEX.MOLE", "frmORVEX"},
      {"ORVEX.clsBBMMTool", "frmBBMM"},      {"ORVEX.clsLOCOHTool", "frmLOCOH"},
      {"ORVEX.clsOverlapTool", "frmOVERLAP"}};
  for (const auto& [progId, form] : dialogs) {
    host.scripted.setFormScript(form, platform::headless::FormScript().cancel());
    host.run(progId);
    EXPECT_EQ(heights.count(form), 1u) << form << " was not shown";
  }
  // Each height is checked against the screen as the dialog is rendered (RenderingUi).
}

TEST(FileDialogs, HostFilterTextBecomesQtFilters) {
  EXPECT_EQ(platform::qgis::toQtFilter("Shapefiles (*.shp)|*.shp|Text files (*.txt)|*.txt; *.csv"),
            "Shapefiles (*.shp) (*.shp);;Text files (*.txt) (*.txt *.csv)");
  EXPECT_EQ(platform::qgis::toQtFilter("MDB Files|*.mdb|no patterns"), "MDB Files (*.mdb)");
  EXPECT_EQ(platform::qgis::toQtFilter(""), "");
}

TEST(CommandMenus, TheToolsMenuComesFirstWithEveryItemAndRangeToolsIsItsOwnMenu) {
  QgisHost host;
  QMainWindow window;
  host::CommandCatalog catalog(host.registry, *host.application);
  platform::qgis::CommandMenus menus(window, catalog, *host.application);
  // Toolbars in ProgID order ("ORVEX.Orvex9ui" before "ORVEX.RangeToolbar"), though the range
  // library's file sorts first: the eight TALVO items, then the range library's own menu.
  ASSERT_EQ(menus.menus().size(), 2u);
  EXPECT_EQ(menus.menus()[0]->title(), "TALVO Tools");
  EXPECT_EQ(menus.menus()[1]->title(), "Range Tools");
  std::vector<std::string> captions;
  for (QAction* action : menus.actions()) captions.push_back(action->text().toStdString());
  EXPECT_EQ(captions, (std::vector<std::string>{
                          "Kernel Density Estimation", "MCP Analysis", "Calculate Travel Times and Distances",
                          "Remove Time2 Field Duplicates", "Remove X/Y Duplicates", "Display Travel",
                          "Import Lotek MDB Files", "About...", "Brownian Bridge Home Range",
                          "LoCoH Home Range", "Home Range Overlap"}));
  for (QAction* action : menus.actions())
    EXPECT_FALSE(action->icon().isNull()) << action->text().toStdString();
}

TEST(CommandMenus, WhileACommandRunsEveryItemIsDisabled) {
  QgisHost host;
  QMainWindow window;
  host::CommandCatalog catalog(host.registry, *host.application);
  platform::qgis::CommandMenus menus(window, catalog, *host.application);
  const auto enabledItems = [&] {
    int count = 0;
    for (QAction* action : menus.actions()) count += action->isEnabled();
    return count;
  };
  const int idle = enabledItems();
  int during = -1;
  host.scripted.setFormScript("frmAbout", platform::headless::FormScript().cancel());
  host.scripted.setFormClosedHook([&](const host::Form&) { during = enabledItems(); });
  QAction* about = window.findChild<QAction*>("orvex:ORVEX.clsAbout");
  ASSERT_NE(about, nullptr);
  about->trigger();
  EXPECT_EQ(during, 0) << "no second command can start from the first one's event processing";
  EXPECT_EQ(enabledItems(), idle);
  EXPECT_GT(idle, 0);
}

}  // namespace
}  // namespace orvex::test
